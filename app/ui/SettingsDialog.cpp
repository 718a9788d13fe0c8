#include "app/ui/SettingsDialog.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/Files.h"
#include "platform/qt/Prompts.h"

static const char kSpeechNotice[] =
    "语音提示需要语音引擎支持。选中此选项后如果发现没有语音或只能报数字和英文,不能报中文姓名,"
    "请到软件安装目录的语音引擎文件夹(可以通过菜单 文件-浏览 语音引擎 文件夹 打开)下安装语音引擎。"
    "安装方法请看该文件夹里的说明页，也可以请学校的电脑管理员帮助安装。";

TFormYJSet::TFormYJSet(MarkingSettings& settings, std::function<std::filesystem::path()> programFolder,
                       Prompts& prompts, std::function<bool(const QUrl&)> openUrl, QWidget* parent)
    : QDialog(parent), settings_(settings), programFolder_(std::move(programFolder)), prompts_(prompts),
      openUrl_(std::move(openUrl))
{
    setObjectName(QStringLiteral("FormYJSet"));
    setWindowTitle(QStringLiteral("阅卷设置"));
    setModal(true);

    CBYuYin = new WarnedCheckBox(QStringLiteral("语音提示 语速:"), this);
    CBYuYin->setObjectName(QStringLiteral("CBYuYin"));
    CBYuYin->beforeTick = [this] { CBYuYinMouseDown(); };
    TBSpeed = new QSlider(Qt::Horizontal, this);
    TBSpeed->setObjectName(QStringLiteral("TBSpeed"));
    TBSpeed->setRange(1, 10);
    TBSpeed->setSingleStep(1);
    TBSpeed->setPageStep(1);
    TBSpeed->setTickInterval(1);
    TBSpeed->setTickPosition(QSlider::TicksBelow);
    TBSpeed->setMinimumWidth(200);
    auto* slow = new QLabel(QStringLiteral("慢"), this);
    auto* fast = new QLabel(QStringLiteral("快"), this);

    CBIgnoreKeMuJC = new QCheckBox(QStringLiteral(" 忽略科目检查 "), this);
    CBIgnoreKeMuJC->setObjectName(QStringLiteral("CBIgnoreKeMuJC"));
    CBIgnoreJDKColor = new QCheckBox(QStringLiteral("忽略机读卡颜色"), this);
    CBIgnoreJDKColor->setObjectName(QStringLiteral("CBIgnoreJDKColor"));

    auto* speedBox = new QGroupBox(QStringLiteral("自动阅卷速度"), this);
    speedBox->setObjectName(QStringLiteral("GroupBoxSpeed"));
    RBSpeed1 = new QRadioButton(QStringLiteral("正常"), speedBox);
    RBSpeed1->setObjectName(QStringLiteral("RBSpeed1"));
    RBSpeed2 = new QRadioButton(QStringLiteral("快"), speedBox);
    RBSpeed2->setObjectName(QStringLiteral("RBSpeed2"));
    RBSpeed3 = new QRadioButton(QStringLiteral("最快"), speedBox);
    RBSpeed3->setObjectName(QStringLiteral("RBSpeed3"));
    auto* speedNote = new QLabel(QStringLiteral("一般应该选“正常”，在某些灯光环境下，如果自动阅\n"
                                                "卷速度过慢，可以选快或最快。"),
                                 speedBox);
    speedNote->setStyleSheet(QStringLiteral("color: #555;"));
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(RBSpeed1);
    speedRow->addWidget(RBSpeed2);
    speedRow->addWidget(RBSpeed3);
    speedRow->addStretch(1);
    auto* speedLayout = new QVBoxLayout(speedBox);
    speedLayout->addLayout(speedRow);
    speedLayout->addWidget(speedNote);

    CBISavePicture = new QCheckBox(QStringLiteral("阅卷时保存每张答题卡的原始图片(可用于异议人工核对)"), this);
    CBISavePicture->setObjectName(QStringLiteral("CBISavePicture"));
    BtnOpenDir = new QPushButton(QStringLiteral("浏览图片文件保存文件夹"), this);
    BtnOpenDir->setObjectName(QStringLiteral("BtnOpenDir"));
    BtnOpenDir->setMinimumWidth(BtnOpenDir->sizeHint().width() + 20);
    auto* dirNote = new QLabel(QStringLiteral("文件夹里的文件不需要后自己手工删除"), this);
    dirNote->setStyleSheet(QStringLiteral("color: #555;"));

    BtnOK = new QPushButton(QStringLiteral("确  定"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setDefault(true);
    BtnOK->setMinimumWidth(96);
    BtnCancel = new QPushButton(QStringLiteral("取  消"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnCancel->setMinimumWidth(96);

    auto* speechRow = new QHBoxLayout;
    speechRow->addWidget(CBYuYin);
    speechRow->addWidget(slow);
    speechRow->addWidget(TBSpeed, 1);
    speechRow->addWidget(fast);
    auto* checks = new QHBoxLayout;
    checks->addWidget(CBIgnoreKeMuJC);
    checks->addSpacing(20);
    checks->addWidget(CBIgnoreJDKColor);
    checks->addStretch(1);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(BtnOpenDir);
    dirRow->addWidget(dirNote);
    dirRow->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->addLayout(speechRow);
    layout->addLayout(checks);
    layout->addWidget(speedBox);
    layout->addWidget(CBISavePicture);
    layout->addLayout(dirRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(BtnOK, &QPushButton::clicked, this, &TFormYJSet::BtnOKClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TFormYJSet::BtnCancelClick);
    connect(BtnOpenDir, &QPushButton::clicked, this, &TFormYJSet::BtnOpenDirClick);
}

void TFormYJSet::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
    if (parentWidget())  // centred on the main window
        move(parentWidget()->frameGeometry().center() - rect().center());
}

void TFormYJSet::FormShow()
{
    TBSpeed->setValue(settings_.SpeechRate);
    CBISavePicture->setChecked(settings_.SavePictures != 0);
    CBYuYin->setChecked(settings_.VoicePrompt != 0);
    CBIgnoreKeMuJC->setChecked(settings_.IgnoreSubjectCheck != 0);
    QRadioButton* speeds[3] = {RBSpeed1, RBSpeed2, RBSpeed3};
    QRadioButton* match = nullptr;
    for (int i = 0; i < 3; ++i)
        if (settings_.AutoDelay == kAutoSpeeds[i].delay)
            match = speeds[i];
    if (match) {
        match->setChecked(true);
    } else {
        // A stored speed none of the three buttons stands for shows no
        // choice, rather than one left from an earlier cancelled dialog
        // that OK would then apply unseen.
        for (auto* rb : speeds) {
            rb->setAutoExclusive(false);
            rb->setChecked(false);
            rb->setAutoExclusive(true);
        }
    }
    Settled = 0;
}

void TFormYJSet::CBYuYinMouseDown()
{
    prompts_.ShowMessage(kSpeechNotice);
}

void TFormYJSet::BtnOKClick()
{
    settings_.VoicePrompt = CBYuYin->isChecked() ? 1 : 0;
    settings_.IgnoreSubjectCheck = CBIgnoreKeMuJC->isChecked() ? 1 : 0;
    QRadioButton* speeds[3] = {RBSpeed1, RBSpeed2, RBSpeed3};
    for (int i = 0; i < 3; ++i)
        if (speeds[i]->isChecked()) {
            settings_.AutoDelay = kAutoSpeeds[i].delay;
            settings_.AutoTolerance = kAutoSpeeds[i].tolerance;
        }
    settings_.SavePictures = CBISavePicture->isChecked() ? 1 : 0;
    settings_.SpeechRate = TBSpeed->value();
    // The settings apply for this run either way; a file that cannot be
    // written is said once so the user knows they will not last.
    if (!SaveMarkingSettings(settings_, programFolder_() / "YJSet.dat"))
        prompts_.ShowMessage("阅卷设置无法保存到文件 YJSet.dat，本次运行仍按新设置阅卷。");
    Settled = 1;
    accept();
}

void TFormYJSet::BtnCancelClick()
{
    reject();
}

void TFormYJSet::BtnOpenDirClick()
{
    std::filesystem::path folder = programFolder_() / "原始图片";
    prompts_.ShowMessage("下面将弹出图片保存到的文件夹,如未正常弹出,请手工打开下面文件夹:" + files::ToUtf8(folder));
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(files::ToUtf8(folder)));
    if (openUrl_)
        openUrl_(url);
    else
        QDesktopServices::openUrl(url);
}
