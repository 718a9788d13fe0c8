#include "exam/ui/CardChooser.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "exam/ui/CardDesigner.h"
#include "platform/Files.h"
#include "platform/qt/Prompts.h"

namespace {

QString PathText(const std::filesystem::path& p)
{
    return QString::fromStdString(files::ToUtf8(p));
}

QTreeWidget* CardList(QWidget* parent, const char* name, const char* caption)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromUtf8(name));
    list->setColumnCount(1);
    list->setHeaderLabels({QString::fromUtf8(caption)});
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setSectionsClickable(false);
    return list;
}

} // namespace

TFormCard::TFormCard(std::function<std::filesystem::path()> programFolder, std::function<bool(const QUrl&)> openUrl,
                     QWidget* parent, Prompts* prompts)
    : QDialog(parent), programFolder_(std::move(programFolder)), openUrl_(std::move(openUrl)), prompts_(prompts)
{
    if (!prompts_) {
        ownPrompts_ = std::make_unique<QtPrompts>(this);
        prompts_ = ownPrompts_.get();
    }
    setObjectName(QStringLiteral("FormCard"));
    setModal(true);
    setSizeGripEnabled(true);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    LVCards1 = CardList(Splitter1, "LVCards1", "自打印卡");
    LVCards2 = CardList(Splitter1, "LVCards2", "机读卡");
    Splitter1->addWidget(LVCards1);
    Splitter1->addWidget(LVCards2);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setMinimumWidth(250);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        b->setMinimumSize(96, 28);
        return b;
    };
    BtnDaiRu = button("BtnDaiRu", "确定");
    QuxiaoButton = button("QuxiaoButton", "取消");
    BtnPrint = button("BtnPrint", "打印答题卡");
    BtnDesign = button("BtnDesign", "设计答题卡");
    Label1 = new QLabel(QStringLiteral("单击左边列表框中的答题卡名称可显示图片"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setStyleSheet(QStringLiteral("color: red;"));

    ImageCard = new QLabel;
    ImageCard->setObjectName(QStringLiteral("ImageCard"));
    ImageCard->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImageCard->setWordWrap(true);  // for the explanation shown when there is no card
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidget(ImageCard);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setBackgroundRole(QPalette::Base);

    auto* bar = new QHBoxLayout;
    bar->addWidget(BtnDaiRu);
    bar->addWidget(QuxiaoButton);
    bar->addWidget(BtnPrint);
    bar->addWidget(BtnDesign);
    bar->addSpacing(16);
    bar->addWidget(Label1);
    bar->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addLayout(bar);
    right->addWidget(ScrollBox1, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Splitter1);
    layout->addLayout(right, 1);
    resize(1100, 720);

    connect(LVCards1, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* i) { LVCards1Click(i); });
    connect(LVCards2, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* i) { LVCards2Click(i); });
    connect(LVCards1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* i) { LVCards1DblClick(i); });
    connect(LVCards2, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* i) { LVCards2DblClick(i); });
    LVCards1->installEventFilter(this);
    LVCards2->installEventFilter(this);
    connect(BtnDaiRu, &QPushButton::clicked, this, &TFormCard::BtnDaiRuClick);
    connect(QuxiaoButton, &QPushButton::clicked, this, &TFormCard::QuxiaoButtonClick);
    connect(BtnPrint, &QPushButton::clicked, this, &TFormCard::BtnPrintClick);
    connect(BtnDesign, &QPushButton::clicked, this, &TFormCard::BtnDesignClick);
}

TFormCard::~TFormCard() = default;

std::string TFormCard::Choose(const std::string& preselection, const std::string& caption)
{
    CardName = preselection;
    setWindowTitle(QString::fromStdString(caption));
    FormShow();
    setWindowState(windowState() | Qt::WindowMaximized);
    if (exec() != QDialog::Accepted)
        return {};
    return CardName;
}

void TFormCard::FillList(QTreeWidget* list, const char* pattern)
{
    list->clear();
    QDir folder(PathText(programFolder_() / files::FromUtf8("模板文件")));
    const QStringList names = folder.entryList({QString::fromUtf8(pattern)}, QDir::Files | QDir::Hidden | QDir::System,
                                               QDir::Name);
    for (const QString& name : names)
        list->addTopLevelItem(new QTreeWidgetItem(list, {name}));
}

void TFormCard::FormShow()
{
    FillList(LVCards1, "DY*.dat");
    FillList(LVCards2, "JD*.dat");
    Label1->setText(NoCards() ? QStringLiteral("没有找到答题卡，请看下面的说明")
                              : QStringLiteral("单击左边列表框中的答题卡名称可显示图片"));
    Preselect();
    ShowCardPicture();
}

void TFormCard::Preselect()
{
    LVCards1->clearSelection();
    LVCards2->clearSelection();
    const QString name = QString::fromStdString(CardName);
    focusList_ = nullptr;
    auto select = [this](QTreeWidget* list, QTreeWidgetItem* item) {
        list->setCurrentItem(item);
        item->setSelected(true);
        focusList_ = list;
        list->setFocus();
    };
    if (name.isEmpty()) {
        // Nothing chosen yet: the first self-printed card, when there is one.
        if (QTreeWidgetItem* first = LVCards1->topLevelItem(0)) {
            select(LVCards1, first);
            CardName = first->text(0).toStdString();
        }
        BtnPrint->setEnabled(true);
        return;
    }
    QTreeWidget* list = name.startsWith(QStringLiteral("DY")) ? LVCards1
                        : name.startsWith(QStringLiteral("JD")) ? LVCards2
                                                                : nullptr;
    if (!list)
        return;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == name) {
            select(list, list->topLevelItem(i));
            break;
        }
    }
    BtnPrint->setEnabled(list == LVCards1);
}

// Moving through a list with the keyboard chooses as a click does; Enter confirms.
bool TFormCard::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == LVCards1 || watched == LVCards2) && event->type() == QEvent::KeyRelease) {
        auto* list = static_cast<QTreeWidget*>(watched);
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            if (QTreeWidgetItem* item = list->currentItem())
                list == LVCards1 ? LVCards1Click(item) : LVCards2Click(item);
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormCard::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The preselected list has the focus once the dialog is up.
    if (focusList_)
        focusList_->setFocus();
}

bool TFormCard::NoCards() const
{
    return LVCards1->topLevelItemCount() == 0 && LVCards2->topLevelItemCount() == 0;
}

void TFormCard::ShowCardPicture()
{
    if (NoCards()) {
        // Two empty lists and no word why left a teacher whose card folder
        // was lost or never installed with nothing to go on.
        pictureShown_ = false;
        ImageCard->setMargin(20);
        ImageCard->setText(
            QStringLiteral("文件夹“%1”里没有答题卡模板（DY*.dat、JD*.dat）。\n\n"
                           "请点“设计答题卡”设计一张，或把答题卡模板（连同同名的 .jpg 图片）复制到这个文件夹，"
                           "再点“新阅卷”。")
                .arg(QDir::toNativeSeparators(PathText(programFolder_() / files::FromUtf8("模板文件")))));
        ImageCard->resize(PictureWidth, PictureHeight);
        return;
    }
    QImage picture;
    pictureShown_ = false;
    if (CardName.size() > 4) {
        std::string jpg = CardName.substr(0, CardName.size() - 4) + ".jpg";
        std::filesystem::path file = programFolder_() / files::FromUtf8("模板文件") / files::FromUtf8(jpg);
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec))
            pictureShown_ = picture.load(PathText(file), "JPEG");
    }
    // The area keeps its size; a larger picture makes it scroll.
    QSize size(PictureWidth, PictureHeight);
    if (pictureShown_)
        size = size.expandedTo(picture.size() + QSize(40, 40));
    QPixmap area(size);
    area.fill(palette().color(QPalette::Window));
    if (pictureShown_) {
        QPainter painter(&area);
        painter.drawImage(QPoint(20, 20), picture);
    }
    ImageCard->setMargin(0);
    ImageCard->setPixmap(area);
    ImageCard->resize(size);
    ScrollBox1->ensureVisible(0, 0);
}

void TFormCard::LVCards1Click(QTreeWidgetItem* item)
{
    if (!item)
        return;
    CardName = item->text(0).toStdString();
    ShowCardPicture();
    BtnPrint->setEnabled(true);
}

void TFormCard::LVCards2Click(QTreeWidgetItem* item)
{
    if (!item)
        return;
    CardName = item->text(0).toStdString();
    ShowCardPicture();
    BtnPrint->setEnabled(false);
}

void TFormCard::LVCards1DblClick(QTreeWidgetItem* item)
{
    LVCards1Click(item);
    BtnDaiRuClick();
}

void TFormCard::LVCards2DblClick(QTreeWidgetItem* item)
{
    LVCards2Click(item);
    BtnDaiRuClick();
}

void TFormCard::BtnDaiRuClick()
{
    accept();
}

void TFormCard::QuxiaoButtonClick()
{
    reject();
}

// The printable card sheets; the dialog stays open. A card made with the
// designer is not in "答题卡.pdf": its own sheet in "答题卡/" opens instead.
void TFormCard::BtnPrintClick()
{
    std::filesystem::path sheet = programFolder_() / files::FromUtf8("答题卡.pdf");
    if (CardName.size() > 4) {
        const std::filesystem::path own =
            programFolder_() / files::FromUtf8("答题卡") / files::FromUtf8(CardName.substr(0, CardName.size() - 4) + ".pdf");
        std::error_code ec;
        if (std::filesystem::is_regular_file(own, ec))
            sheet = own;
    }
    const QUrl document = QUrl::fromLocalFile(PathText(sheet));
    if (openUrl_)
        openUrl_(document);
}

// A card of the teacher's own; once saved it is listed and chosen here.
void TFormCard::BtnDesignClick()
{
    if (!designer_)
        designer_ = new CardDesigner(programFolder_, *prompts_, this);
    const std::string saved = designer_->Design();
    if (saved.empty())
        return;
    CardName = saved;
    FormShow();
}
