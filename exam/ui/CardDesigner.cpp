#include "exam/ui/CardDesigner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include "cardprint/CardFace.h"
#include "cardprint/DesignedCard.h"
#include "platform/Files.h"
#include "platform/qt/Prompts.h"

namespace {

// The preview before the dialog has its size.
constexpr int kPreviewWidth = 760;
constexpr int kPreviewHeight = 700;

QString SubjectListText(const std::vector<CardSubject>& subjects)
{
    QStringList items;
    for (const CardSubject& s : subjects)
        items << QString::fromStdString(s.code + ":" + s.name);
    return items.join(QStringLiteral(","));
}

QSpinBox* Spin(QWidget* parent, const char* name, int lo, int hi, int step, int value)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromUtf8(name));
    s->setRange(lo, hi);
    s->setSingleStep(step);
    s->setValue(value);
    s->setAttribute(Qt::WA_InputMethodEnabled, false);
    return s;
}

} // namespace

CardDesigner::CardDesigner(std::function<std::filesystem::path()> programFolder, Prompts& prompts, QWidget* parent)
    : QDialog(parent), programFolder_(std::move(programFolder)), prompts_(prompts)
{
    setObjectName(QStringLiteral("FormCardDesigner"));
    setWindowTitle(QStringLiteral("设计答题卡"));
    setModal(true);
    setSizeGripEnabled(true);

    const CardDesign defaults;
    EdtName = new QLineEdit(this);
    EdtName->setObjectName(QStringLiteral("EdtName"));
    EdtName->setPlaceholderText(QStringLiteral("如：期中数学35题"));
    EdtQuestions = Spin(this, "EdtQuestions", card_design::MinQuestions, card_design::MaxQuestions, 5, defaults.questions);
    EdtOptions = Spin(this, "EdtOptions", card_design::MinOptions, card_design::MaxOptions, 1, defaults.options);
    EdtBlockOptions = new QLineEdit(this);
    EdtBlockOptions->setObjectName(QStringLiteral("EdtBlockOptions"));
    EdtBlockOptions->setPlaceholderText(QStringLiteral("组号:选项数，如 11:2,12:2"));
    EdtDown = new QLineEdit(this);
    EdtDown->setObjectName(QStringLiteral("EdtDown"));
    EdtDown->setPlaceholderText(QStringLiteral("组号，如 12"));
    EdtAdmission = Spin(this, "EdtAdmission", card_design::MinAdmissionDigits, card_design::MaxAdmissionDigits, 1,
                        defaults.admissionDigits);
    EdtSubject = Spin(this, "EdtSubject", 0, card_design::MaxSubjectDigits, 1, defaults.subjectDigits);
    EdtSubjects = new QLineEdit(SubjectListText(DefaultSubjects(defaults.subjectDigits)), this);
    EdtSubjects->setObjectName(QStringLiteral("EdtSubjects"));
    EdtScore = Spin(this, "EdtScore", 0, card_design::MaxScoreDigits, 1, defaults.scoreDigits);
    CBAb = new QComboBox(this);
    CBAb->setObjectName(QStringLiteral("CBAb"));
    CBAb->addItems({QStringLiteral("自动识别（印A卷和B卷）"), QStringLiteral("总是A卷"), QStringLiteral("总是B卷")});
    CBColour = new QComboBox(this);
    CBColour->setObjectName(QStringLiteral("CBColour"));
    CBColour->addItems({QStringLiteral("黑色（自打印卡）"), QStringLiteral("红色（机读卡）"), QStringLiteral("绿色（机读卡）")});
    CBPaper = new QComboBox(this);
    CBPaper->setObjectName(QStringLiteral("CBPaper"));
    CBPaper->addItems({QStringLiteral("A4"), QStringLiteral("A5"), QStringLiteral("B5")});
    CBLandscape = new QCheckBox(QStringLiteral("横放"), this);
    CBLandscape->setObjectName(QStringLiteral("CBLandscape"));
    CBLandscape->setChecked(defaults.landscape);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("答题卡名称："), EdtName);
    form->addRow(QStringLiteral("题数（5的倍数）："), EdtQuestions);
    form->addRow(QStringLiteral("每题选项数："), EdtOptions);
    form->addRow(QStringLiteral("选项数不同的组："), EdtBlockOptions);
    form->addRow(QStringLiteral("选项竖排的组："), EdtDown);
    form->addRow(QStringLiteral("准考证号位数："), EdtAdmission);
    form->addRow(QStringLiteral("科目代码位数："), EdtSubject);
    form->addRow(QStringLiteral("科目："), EdtSubjects);
    form->addRow(QStringLiteral("主观题分位数："), EdtScore);
    form->addRow(QStringLiteral("AB卷："), CBAb);
    form->addRow(QStringLiteral("印刷颜色："), CBColour);
    auto* paperRow = new QHBoxLayout;
    paperRow->addWidget(CBPaper, 1);
    paperRow->addWidget(CBLandscape);
    form->addRow(QStringLiteral("纸张："), paperRow);

    auto* hint = new QLabel(QStringLiteral("每5题为一组，第1组是1-5题。\n选项数不同或竖排的组要求AB卷固定为A卷或B卷。"), this);
    hint->setWordWrap(true);
    LblInfo = new QLabel(this);
    LblInfo->setObjectName(QStringLiteral("LblInfo"));
    LblInfo->setWordWrap(true);
    LblInfo->setMinimumHeight(60);
    LblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        b->setMinimumSize(80, 28);
        return b;
    };
    BtnSave = button("BtnSave", "保存");
    BtnPrint = button("BtnPrint", "打印");
    BtnClose = button("BtnClose", "关闭");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnSave);
    buttons->addWidget(BtnPrint);
    buttons->addWidget(BtnClose);

    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(hint);
    left->addWidget(LblInfo);
    left->addStretch(1);
    left->addLayout(buttons);
    auto* leftBox = new QWidget(this);
    leftBox->setLayout(left);
    leftBox->setFixedWidth(340);

    ImagePreview = new QLabel;
    ImagePreview->setObjectName(QStringLiteral("ImagePreview"));
    ImagePreview->setAlignment(Qt::AlignCenter);
    ScrollPreview = new QScrollArea(this);
    ScrollPreview->setObjectName(QStringLiteral("ScrollPreview"));
    ScrollPreview->setWidget(ImagePreview);
    ScrollPreview->setWidgetResizable(true);
    ScrollPreview->setBackgroundRole(QPalette::Dark);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(leftBox);
    layout->addWidget(ScrollPreview, 1);
    resize(1160, 760);

    for (QLineEdit* e : {EdtName, EdtBlockOptions, EdtDown, EdtSubjects})
        connect(e, &QLineEdit::textChanged, this, &CardDesigner::DesignChanged);
    for (QSpinBox* s : {EdtQuestions, EdtOptions, EdtAdmission, EdtSubject, EdtScore})
        connect(s, &QSpinBox::valueChanged, this, &CardDesigner::DesignChanged);
    for (QComboBox* c : {CBAb, CBColour, CBPaper})
        connect(c, &QComboBox::currentIndexChanged, this, &CardDesigner::DesignChanged);
    connect(CBLandscape, &QCheckBox::toggled, this, &CardDesigner::DesignChanged);
    connect(BtnSave, &QPushButton::clicked, this, &CardDesigner::BtnSaveClick);
    connect(BtnPrint, &QPushButton::clicked, this, &CardDesigner::BtnPrintClick);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);

    runPrintDialog = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    DesignChanged();
}

std::string CardDesigner::Design()
{
    savedName_.clear();
    DesignChanged();
    exec();
    return savedName_;
}

std::string CardDesigner::ListProblem(CardDesign& d) const
{
    std::string why;
    if (!ParseBlockOptions(EdtBlockOptions->text().toStdString(), d.exceptions, why) ||
        !ParseDownBlocks(EdtDown->text().toStdString(), d.exceptions, why) ||
        (d.subjectDigits > 0 && !ParseSubjectList(EdtSubjects->text().toStdString(), d.subjects, why)))
        return why;
    return {};
}

CardDesign CardDesigner::Current() const
{
    CardDesign d;
    d.name = EdtName->text().toStdString();
    d.questions = EdtQuestions->value();
    d.options = EdtOptions->value();
    d.admissionDigits = EdtAdmission->value();
    d.subjectDigits = EdtSubject->value();
    d.scoreDigits = EdtScore->value();
    d.abMode = CBAb->currentIndex();
    d.colour = static_cast<CardPrintColour>(CBColour->currentIndex());
    d.paper = static_cast<CardPaper>(CBPaper->currentIndex());
    d.landscape = CBLandscape->isChecked();
    (void)ListProblem(d);
    return d;
}

void CardDesigner::DesignChanged()
{
    // A subject list still at its defaults follows the number of code digits.
    if (EdtSubject->value() != subjectDigits_) {
        if (EdtSubjects->text() == SubjectListText(DefaultSubjects(subjectDigits_))) {
            const QSignalBlocker quiet(EdtSubjects);
            EdtSubjects->setText(EdtSubject->value() > 0 ? SubjectListText(DefaultSubjects(EdtSubject->value()))
                                                         : QString());
        }
        subjectDigits_ = EdtSubject->value();
    }
    EdtSubjects->setEnabled(EdtSubject->value() > 0);

    CardDesign d = Current();
    d.exceptions.clear();
    d.subjects.clear();
    listProblem_ = ListProblem(d);
    layout_ = listProblem_.empty() ? LayOutCard(d) : CardLayoutResult{};
    if (!listProblem_.empty())
        layout_.reason = listProblem_;

    if (layout_.ok) {
        const CardTemplate& t = layout_.record;
        LblInfo->setStyleSheet(QString());
        LblInfo->setText(QStringLiteral("%1：卡面 %2 × %3 毫米，填涂格 %4 × %5 毫米，印在%6上。")
                             .arg(QString::fromStdString(layout_.fileName))
                             .arg(layout_.cardWidthMm, 0, 'f', 1)
                             .arg(layout_.cardHeightMm, 0, 'f', 1)
                             .arg(t.CellWidth, 0, 'g', 2)
                             .arg(t.CellHeight, 0, 'g', 2)
                             .arg(QString::fromStdString(PaperText(d.paper, d.landscape))));
    } else {
        LblInfo->setStyleSheet(QStringLiteral("color: red;"));
        LblInfo->setText(QString::fromStdString(layout_.reason));
    }
    BtnSave->setEnabled(layout_.ok);
    BtnPrint->setEnabled(layout_.ok);
    ShowPreview();
}

void CardDesigner::ShowPreview()
{
    if (!layout_.ok) {
        ImagePreview->setPixmap(QPixmap());
        ImagePreview->setText(QStringLiteral("（这张答题卡还排不出来）"));
        return;
    }
    // The card on its sheet, as it will come out of the printer, the whole
    // sheet in view.
    QSize room = ScrollPreview->viewport()->size() - QSize(16, 16);
    if (room.width() < 200 || room.height() < 200)
        room = QSize(kPreviewWidth, kPreviewHeight);
    const double pxPerMm = std::min(room.width() / layout_.page.width, room.height() / layout_.page.height);
    QImage sheet(static_cast<int>(layout_.page.width * pxPerMm), static_cast<int>(layout_.page.height * pxPerMm),
                 QImage::Format_RGB32);
    sheet.fill(Qt::white);
    cardprint::FaceOptions face;
    face.fileName = layout_.fileName;
    face.abType = layout_.papers.empty() ? 0 : layout_.papers.front();
    const QImage card = cardprint::RenderCardImage(layout_.record, face, pxPerMm);
    QPainter p(&sheet);
    p.drawImage(QPointF((sheet.width() - card.width()) / 2.0, (sheet.height() - card.height()) / 2.0), card);
    p.setPen(QPen(QColor(170, 170, 170), 1, Qt::DashLine));
    p.drawRect(QRectF((sheet.width() - card.width()) / 2.0, (sheet.height() - card.height()) / 2.0, card.width(),
                      card.height()));
    p.end();
    ImagePreview->setText(QString());
    ImagePreview->setPixmap(QPixmap::fromImage(sheet));
}

void CardDesigner::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ShowPreview();
}

void CardDesigner::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ShowPreview();
}

void CardDesigner::BtnSaveClick()
{
    DesignChanged();
    if (!layout_.ok) {
        prompts_.ShowMessage(layout_.reason);
        return;
    }
    const std::filesystem::path folder = programFolder_();
    cardprint::DesignedCardFiles files = cardprint::DesignedCardFilesIn(folder / files::FromUtf8("模板文件"), layout_);
    files.pdf = cardprint::DesignedCardFilesIn(folder / files::FromUtf8("答题卡"), layout_).pdf;
    std::error_code ec;
    const bool exists = std::filesystem::exists(files.dat, ec) || std::filesystem::exists(files.jpg, ec) ||
                        std::filesystem::exists(files.pdf, ec);
    if (exists && !prompts_.AskYesNo("答题卡“" + layout_.fileName + "”已经存在，要用新设计的答题卡替换它吗？"))
        return;
    std::string error;
    if (!cardprint::WriteDesignedCard(layout_, files, &error)) {
        prompts_.ShowMessage("答题卡没有保存：" + error);
        return;
    }
    savedName_ = layout_.fileName;
    prompts_.ShowMessage("答题卡已保存。打印用的答题卡在“答题卡/" + files::ToUtf8(files.pdf.filename()) +
                         "”，也可以点“打印”直接打印。");
    accept();
}

void CardDesigner::BtnPrintClick()
{
    DesignChanged();
    if (!layout_.ok)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setDocName(QString::fromStdString(layout_.fileName));
    const double shortSide = std::min(layout_.page.width, layout_.page.height);
    const double longSide = std::max(layout_.page.width, layout_.page.height);
    printer.setPageLayout(QPageLayout(QPageSize(QSizeF(shortSide, longSide), QPageSize::Millimeter, QString(),
                                                QPageSize::FuzzyMatch),
                                      layout_.page.width > layout_.page.height ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0)));
    if (!runPrintDialog || !runPrintDialog(printer))
        return;
    if (!cardprint::PaintCardPages(printer, cardprint::DesignedCardPages(layout_)))
        prompts_.ShowMessage("答题卡没有打印出来，请检查打印机。");
}
