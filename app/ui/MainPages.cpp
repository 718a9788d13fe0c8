// Construction of the six wizard pages. Pages 3 to 6 give their content a
// frame that their own subsystem fills (Build…Page).
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>

#include "app/ui/Illustration.h"
#include "app/ui/MainWindow.h"

QPushButton* TMainForm::MakeButton(QWidget* parent, const char* objectName, const char* text)
{
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromUtf8(objectName));
    b->setMinimumSize(96, 28);
    b->setAutoDefault(false);
    return b;
}

// The row of buttons at a page's foot, right-aligned like a wizard's.
QWidget* TMainForm::FootRow(QWidget* page, std::initializer_list<QWidget*> buttons)
{
    auto* row = new QWidget(page);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(8, 4, 8, 6);
    layout->setSpacing(10);
    layout->addStretch(1);
    for (QWidget* b : buttons)
        layout->addWidget(b);
    return row;
}

static QFrame* ContentFrame(QWidget* page, const char* name)
{
    auto* frame = new QFrame(page);
    frame->setObjectName(QString::fromUtf8(name));
    frame->setFrameShape(QFrame::NoFrame);
    return frame;
}

QWidget* TMainForm::BuildPage1()
{
    auto* page = new QWidget;
    Image1 = new Illustration(IllustrationKind::Welcome, page);
    Image1->setObjectName(QStringLiteral("Image1"));

    auto pictureButton = [page](const char* name, const char* caption, IllustrationKind kind) {
        auto* b = new QToolButton(page);
        b->setObjectName(QString::fromUtf8(name));
        b->setText(QString::fromUtf8(caption));
        b->setIcon(QIcon(PaintIllustration(kind, QSize(128, 88))));
        b->setIconSize(QSize(128, 88));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setCursor(Qt::PointingHandCursor);
        b->setMinimumWidth(150);
        return b;
    };
    ImageDemo = pictureButton("ImageDemo", "点击播放演示动画", IllustrationKind::DemoIcon);
    ImageTutorial = pictureButton("ImageTutorial", "点击播放使用教程", IllustrationKind::TutorialIcon);

    auto* cardTitle = new QLabel(QStringLiteral("当前答题卡："), page);
    LCardName = new QLabel(page);
    LCardName->setObjectName(QStringLiteral("LCardName"));
    LCardName->setStyleSheet(QStringLiteral("color: #1a5fa8; font-weight: bold;"));

    BtnNewYJ = MakeButton(page, "BtnNewYJ", "新阅卷");
    BtnOpenYJFile1 = MakeButton(page, "BtnOpenYJFile1", "打开阅卷原始文件");
    BtnBack1 = MakeButton(page, "BtnBack1", "< 上一步");
    BtnNext1 = MakeButton(page, "BtnNext1", "下一步 >");
    BtnHelp1 = MakeButton(page, "BtnHelp1", "帮助");
    BtnBack1->setEnabled(false);
    BtnNext1->setEnabled(false);
    BtnNewYJ->setMinimumWidth(110);
    BtnOpenYJFile1->setMinimumWidth(140);

    auto* side = new QVBoxLayout;
    side->addStretch(1);
    side->addWidget(ImageDemo, 0, Qt::AlignHCenter);
    side->addSpacing(16);
    side->addWidget(ImageTutorial, 0, Qt::AlignHCenter);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addStretch(1);
    top->addWidget(Image1);
    top->addLayout(side);
    top->addStretch(1);
    auto* cardRow = new QHBoxLayout;
    cardRow->addSpacing(16);
    cardRow->addWidget(cardTitle);
    cardRow->addWidget(LCardName, 1);

    auto* foot = new QHBoxLayout;
    foot->setContentsMargins(8, 4, 8, 6);
    foot->setSpacing(10);
    foot->addWidget(BtnNewYJ);
    foot->addWidget(BtnOpenYJFile1);
    foot->addStretch(1);
    foot->addWidget(BtnBack1);
    foot->addWidget(BtnNext1);
    foot->addWidget(BtnHelp1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 8, 4, 0);
    layout->addLayout(top);
    layout->addLayout(cardRow);
    layout->addStretch(1);
    layout->addLayout(foot);

    connect(BtnNewYJ, &QPushButton::clicked, this, &TMainForm::BtnNewYJClick);
    connect(BtnOpenYJFile1, &QPushButton::clicked, this, &TMainForm::BtnOpenYJFile1Click);
    connect(BtnNext1, &QPushButton::clicked, this, &TMainForm::BtnNext1Click);
    connect(BtnHelp1, &QPushButton::clicked, this, [this] { ShowHelpTopic(1); });
    connect(ImageDemo, &QToolButton::clicked, this, &TMainForm::ImageDemoClick);
    connect(ImageTutorial, &QToolButton::clicked, this, &TMainForm::ImageTutorialClick);
    return page;
}

QWidget* TMainForm::BuildPage2()
{
    auto* page = new QWidget;
    ImageCheShi = new QLabel(page);
    ImageCheShi->setObjectName(QStringLiteral("ImageCheShi"));
    ImageCheShi->setFixedSize(640, 480);
    ImageCheShi->setPixmap(PaintIllustration(IllustrationKind::CameraWaiting, QSize(640, 480)));

    LblLianJie = new QLabel(QStringLiteral("说明："), page);
    LblLianJie->setObjectName(QStringLiteral("LblLianJie"));
    LblLianJie->setWordWrap(true);
    LblLianJie->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* hint = new QLabel(QStringLiteral("把摄像头固定在桌面上方，镜头朝下对准一张白纸。"
                                           "点“连接摄像头”，画面出现后调节焦距和高度，"
                                           "让整张答题卡清楚地落在画面中间。"),
                            page);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #444;"));

    BtnConn = MakeButton(page, "BtnConn", "连接摄像头");
    BtnViewCapProperty = MakeButton(page, "BtnViewCapProperty", "画质调节");
    BtnBack2 = MakeButton(page, "BtnBack2", "< 上一步");
    BtnNext2 = MakeButton(page, "BtnNext2", "下一步 >");
    BtnHelp2 = MakeButton(page, "BtnHelp2", "帮助");

    auto* side = new QVBoxLayout;
    side->addWidget(LblLianJie);
    side->addSpacing(8);
    side->addWidget(hint);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(ImageCheShi, 0, Qt::AlignTop);
    top->addLayout(side, 1);

    auto* foot = new QHBoxLayout;
    foot->setContentsMargins(8, 4, 8, 6);
    foot->setSpacing(10);
    foot->addWidget(BtnConn);
    foot->addWidget(BtnViewCapProperty);
    foot->addStretch(1);
    foot->addWidget(BtnBack2);
    foot->addWidget(BtnNext2);
    foot->addWidget(BtnHelp2);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(top);
    layout->addStretch(1);
    layout->addLayout(foot);

    connect(BtnConn, &QPushButton::clicked, this, &TMainForm::BtnConnClick);
    connect(BtnViewCapProperty, &QPushButton::clicked, this, &TMainForm::BtnViewCapPropertyClick);
    connect(BtnBack2, &QPushButton::clicked, this, &TMainForm::BtnBack2Click);
    connect(BtnNext2, &QPushButton::clicked, this, &TMainForm::BtnNext2Click);
    connect(BtnHelp2, &QPushButton::clicked, this, [this] { ShowHelpTopic(2); });
    return page;
}

// A page whose content fills one frame above the back, next and help buttons.
QWidget* TMainForm::FramedPage(int number, QFrame*& frame, QPushButton*& back, QPushButton*& next,
                               QPushButton*& help, void (TMainForm::*onBack)(), void (TMainForm::*onNext)())
{
    auto* page = new QWidget;
    const std::string n = std::to_string(number);
    frame = ContentFrame(page, ("Page" + n + "Frame").c_str());
    back = MakeButton(page, ("BtnBack" + n).c_str(), "< 上一步");
    next = MakeButton(page, ("BtnNext" + n).c_str(), "下一步 >");
    help = MakeButton(page, ("BtnHelp" + n).c_str(), "帮助");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(frame, 1);
    layout->addWidget(FootRow(page, {back, next, help}));
    connect(back, &QPushButton::clicked, this, onBack);
    connect(next, &QPushButton::clicked, this, onNext);
    connect(help, &QPushButton::clicked, this, [this, number] { ShowHelpTopic(number); });
    return page;
}

QWidget* TMainForm::BuildPage3()
{
    QWidget* page = FramedPage(3, Page3Frame, BtnBack3, BtnNext3, BtnHelp3, &TMainForm::BtnBack3Click,
                               &TMainForm::BtnNext3Click);
    BuildStudentPage(Page3Frame);
    return page;
}

QWidget* TMainForm::BuildPage4()
{
    QWidget* page = FramedPage(4, Page4Frame, BtnBack4, BtnNext4, BtnHelp4, &TMainForm::BtnBack4Click,
                               &TMainForm::BtnNext4Click);
    BuildExamPage(Page4Frame);
    return page;
}

QWidget* TMainForm::BuildPage5()
{
    auto* page = new QWidget;
    Page5Frame = ContentFrame(page, "Page5Frame");
    Splitter1 = new QSplitter(Qt::Vertical, Page5Frame);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Panel1 = ContentFrame(Splitter1, "Panel1");
    Page5GridFrame = ContentFrame(Splitter1, "Page5GridFrame");
    Splitter1->addWidget(Panel1);
    Splitter1->addWidget(Page5GridFrame);
    Splitter1->setChildrenCollapsible(false);
    auto* frameLayout = new QVBoxLayout(Page5Frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->addWidget(Splitter1);

    BtnYJSet = MakeButton(page, "BtnYJSet", "阅卷设置");
    BtnAutoAnswerCard = MakeButton(page, "BtnAutoAnswerCard", "开启自动阅卷");
    BtnBack5 = MakeButton(page, "BtnBack5", "< 上一步");
    BtnNext5 = MakeButton(page, "BtnNext5", "下一步 >");
    BtnHelp5 = MakeButton(page, "BtnHelp5", "帮助");
    auto* foot = new QHBoxLayout;
    foot->setContentsMargins(8, 4, 8, 6);
    foot->setSpacing(10);
    // "开启自动阅卷" and "阅卷设置" sit in the marking page's button column.
    foot->addStretch(1);
    foot->addWidget(BtnBack5);
    foot->addWidget(BtnNext5);
    foot->addWidget(BtnHelp5);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(Page5Frame, 1);
    layout->addLayout(foot);

    connect(Splitter1, &QSplitter::splitterMoved, this, &TMainForm::Splitter1Moved);
    connect(BtnYJSet, &QPushButton::clicked, this, &TMainForm::BtnYJSetClick);
    connect(BtnAutoAnswerCard, &QPushButton::clicked, this, &TMainForm::BtnAutoAnswerCardClick);
    connect(BtnBack5, &QPushButton::clicked, this, &TMainForm::BtnBack5Click);
    connect(BtnNext5, &QPushButton::clicked, this, &TMainForm::BtnNext5Click);
    connect(BtnHelp5, &QPushButton::clicked, this, [this] { ShowHelpTopic(5); });
    BuildMarkingPage(Panel1, Page5GridFrame);
    return page;
}

QWidget* TMainForm::BuildPage6()
{
    auto* page = new QWidget;
    Page6Frame = ContentFrame(page, "Page6Frame");
    BtnBack6 = MakeButton(page, "BtnBack6", "< 上一步");
    BtnGoToFirst = MakeButton(page, "BtnGoToFirst", "返回第一步");
    BtnHelp6 = MakeButton(page, "BtnHelp6", "帮助");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(Page6Frame, 1);
    layout->addWidget(FootRow(page, {BtnBack6, BtnGoToFirst, BtnHelp6}));
    connect(BtnBack6, &QPushButton::clicked, this, &TMainForm::BtnBack6Click);
    connect(BtnGoToFirst, &QPushButton::clicked, this, &TMainForm::BtnGoToFirstClick);
    connect(BtnHelp6, &QPushButton::clicked, this, [this] { ShowHelpTopic(6); });
    BuildOutputPage(Page6Frame);
    return page;
}
