// The main window's shell: construction, start-up, closing, the menu and
// tool bar, help, prompt sounds and speech.
#include "app/ui/MainWindow.h"
#include "marking/RawFile.h"
#include "platform/AppFolders.h"

#include <cstdlib>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>

#include "app/ui/Illustration.h"
#include "app/ui/SettingsDialog.h"
#include "app/ui/WizardPageControl.h"
#include "exam/ui/CardChooser.h"
#include "platform/Files.h"
#include "platform/qt/HelpWindow.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/Prompts.h"

namespace {
// The help request message: topic number in the event.
constexpr QEvent::Type kHelpTopicEvent = static_cast<QEvent::Type>(1125);

class HelpTopicEvent final : public QEvent {
public:
    explicit HelpTopicEvent(int topic) : QEvent(kHelpTopicEvent), topic(topic) {}
    int topic;
};

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
QString PathText(const std::filesystem::path& p) { return Q(files::ToUtf8(p)); }
} // namespace

// "宋体" where installed; otherwise a CJK face that has the same glyphs.
static QFont MainFont()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    if (QFontInfo(font).family() != QStringLiteral("宋体")) {
        for (const char* family : {"Noto Sans CJK SC", "Noto Serif CJK SC", "WenQuanYi Micro Hei", "AR PL UMing CN"}) {
            if (QFontDatabase::hasFamily(QString::fromUtf8(family))) {
                font = QFont(QString::fromUtf8(family));
                // The fallback is a sans face drawn larger than 宋体's
                // bitmaps; 13 px reads like 宋体 at 12 on a school screen.
                font.setPixelSize(13);
                break;
            }
        }
    }
    return font;
}

TMainForm::TMainForm(const MainServices& services, QWidget* parent) : QMainWindow(parent), services_(services)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromUtf8(kMainCaption));
    setFont(MainFont());
    resize(840, 688);
    setMinimumWidth(840);

    Session = NewMarkingSessionState();
    BuildMenuAndToolBar();

    auto* pageControl = new WizardPageControl(this);
    PageControl1 = pageControl;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setTabPosition(QTabWidget::South);
    PageControl1->setDocumentMode(false);
    pageControl->SetChanging([this] { return PageControl1Changing(); });
    const char* captions[6] = {"准备答题卡", "连接摄像头", "学生信息设置", "考试信息设置", "进行阅卷", "成绩输出"};
    QWidget* built[6] = {BuildPage1(), BuildPage2(), BuildPage3(), BuildPage4(), BuildPage5(), BuildPage6()};
    QWidget** sheets[6] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5, &TabSheet6};
    for (int i = 0; i < 6; ++i) {
        *sheets[i] = built[i];
        built[i]->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        PageControl1->addTab(built[i], QString::fromUtf8(captions[i]));
    }
    setCentralWidget(PageControl1);

    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, [this] { ShowHelpTopic(ActivePage()); });

    helpWindow_ = new HelpWindow(this);
    formCard_ = new TFormCard([this] { return ProgramFolder; }, [this](const QUrl& u) { return OpenUrl(u); }, this,
                              services_.prompts);
    formYJSet_ = new TFormYJSet(
        YJSet, [this] { return ProgramFolder; }, *services_.prompts, [this](const QUrl& u) { return OpenUrl(u); },
        this);

    // Centred on the desktop.
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

TMainForm::~TMainForm()
{
    // Widgets handing their focus on while the window is torn down must not
    // reach the pages' handlers of a half-destroyed form.
    for (const auto& c : appConnections_)
        disconnect(c);
    // The same for the pages' own widgets: tables and boxes torn down after
    // this body emit changes that must not reach the handlers.
    for (QObject* child : findChildren<QObject*>())
        child->blockSignals(true);
}

void TMainForm::BuildMenuAndToolBar()
{
    N1 = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    N1->setObjectName(QStringLiteral("N1"));
    auto item = [](QMenu* menu, const char* name, const char* text) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setObjectName(QString::fromUtf8(name));
        return a;
    };
    N16 = item(N1, "N16", "浏览 阅卷原始文件 文件夹");
    N21 = item(N1, "N21", "浏览 原始图片 文件夹");
    N18 = item(N1, "N18", "浏览 学生信息文件 文件夹");
    N19 = item(N1, "N19", "浏览 语音引擎 文件夹");
    N1->addSeparator();
    NSave = item(N1, "NSave", "保存阅卷原始文件");
    NSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    N1->addSeparator();
    N13 = item(N1, "N13", "退出");
    NHelpMenu = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    NHelpMenu->setObjectName(QStringLiteral("NHelpMenu"));
    NHelp = item(NHelpMenu, "NHelp", "帮助");

    ToolBar1 = addToolBar(QStringLiteral("工具栏"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(20, 20));
    BtnSave = ToolBar1->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("保存"));
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    BtnSave->setToolTip(QStringLiteral("保存阅卷原始文件"));
    BtnHelpTool = ToolBar1->addAction(QIcon(PaintIllustration(IllustrationKind::HelpIcon, QSize(40, 40))), QStringLiteral("帮助"));
    BtnHelpTool->setObjectName(QStringLiteral("BtnHelpTool"));
    BtnHelpTool->setToolTip(QStringLiteral("帮助"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    connect(N1, &QMenu::aboutToShow, this, &TMainForm::N1Click);
    connect(N16, &QAction::triggered, this, &TMainForm::N16Click);
    connect(N21, &QAction::triggered, this, &TMainForm::N21Click);
    connect(N18, &QAction::triggered, this, &TMainForm::N18Click);
    connect(N19, &QAction::triggered, this, &TMainForm::N19Click);
    connect(NSave, &QAction::triggered, this, &TMainForm::BtnSaveClick);
    connect(BtnSave, &QAction::triggered, this, &TMainForm::BtnSaveClick);
    connect(N13, &QAction::triggered, this, &TMainForm::N13Click);
    connect(NHelp, &QAction::triggered, this, [this] { ShowHelpTopic(0); });
    connect(BtnHelpTool, &QAction::triggered, this, [this] { ShowHelpTopic(0); });
}

TMainForm::StartResult TMainForm::FormCreate()
{
    // The folder comes first: the marker files below are looked up in it.
    const files::FolderSetup folders = files::SetUpFolders();
    ProgramFolder = folders.folders.user;
    ShippedFolder = folders.folders.shipped;
    if (!folders.error.empty())
        Ask().ShowMessage(folders.error);

    CheckCardColour = 1;
    std::error_code ec;
    if (std::filesystem::exists(ProgramFolder / "ncm.set", ec))
        CheckCardColour = 0;

    // Not Windows NT: the administrator requirement of newer Windows never applies.
    VersionInfo = CurrentOsVersion();

    InstanceLock* lock = services_.instanceLock;
    if (!lock) {
        instanceLock_ = std::make_unique<InstanceLock>(services_.lockFolder);
        lock = instanceLock_.get();
    }
    if (!lock->TryLock())
        return StartResult::EndProcess;

    CreateMissingFolders();
    OfferOlderFiles(folders.folders);

    BtnOpenYJFile1->setEnabled(std::filesystem::exists(ProgramFolder / "biaoji.bj", ec));

    BtnViewCapProperty->setEnabled(false);
    LCardName->setText(QString());
    LblLianJie->setText(QString());
    LblLianJie->hide();  // an empty line above the page's hint until a camera is connected

    Voice.reset();
    SetUnsavedChanges(false);

    if (std::filesystem::exists(ProgramFolder / "YJSet.dat", ec))
        LoadMarkingSettings(YJSet, ProgramFolder / "YJSet.dat");

    if (YJSet.VoicePrompt)
        CreateVoice();
    OfferRecovery();
    return StartResult::Run;
}

// The installation brings these folders; one deleted by hand is made again
// so saving into it works instead of failing later.
void TMainForm::CreateMissingFolders()
{
    for (const char* folder : {"wave", "语音引擎", "帮助"}) {
        std::error_code ec;
        if (ShippedFolder == ProgramFolder)  // an installed package's folders are not ours to make
            std::filesystem::create_directories(ShippedFolder / files::FromUtf8(folder), ec);
    }
}

// A build tree (or an older build unpacked with its data) that holds the
// teacher's work while the installed program is in use on this account: the
// work is offered to the installed program, copied and never deleted, so
// cleaning the build tree loses nothing.
void TMainForm::OfferOlderFiles(const files::AppFolders& folders)
{
    if (!folders.oneFolder || std::getenv("SCORIVO_HOME"))
        return;
    files::FolderEnvironment env = files::CurrentFolderEnvironment();
    env.binaryFolder = "/usr/bin";  // the package's program: its folders, and the names it ships
    const files::AppFolders installed = files::LocateFolders(env);
    std::error_code ec;
    if (!std::filesystem::is_directory(installed.user, ec))
        return;
    const std::vector<std::filesystem::path> found = files::FindOlderFiles(folders.user, installed);
    if (found.empty())
        return;
    if (!Ask().AskYesNo("在程序文件夹 " + files::ToUtf8(folders.user) + " 中找到 " + std::to_string(found.size()) +
                        " 个您的文件（阅卷原始文件、成绩、学生信息、设置等）。\n复制到 " + files::ToUtf8(installed.user) +
                        "，让安装的程序也能使用吗？（原文件保留不动）"))
        return;
    const std::vector<std::filesystem::path> failed = files::CopyOlderFiles(folders.user, found, installed);
    if (!failed.empty())
        Ask().ShowMessage("有 " + std::to_string(failed.size()) + " 个文件没有复制（同名文件已存在或无法写入），例如：" +
                          files::ToUtf8(failed.front()) + "。原文件都还在 " + files::ToUtf8(folders.user) + "。");
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

bool TMainForm::FormClose()
{
    bool dropped = false;
    if (UnsavedChanges()) {
        if (Ask().AskYesNo("是否要保存本次阅卷原始文件?")) {
            // A save that failed has said why; the window stays open with
            // the records rather than closing on them.
            if (!SaveRawMarkingFile())
                return false;
        } else {
            dropped = true;
        }
    }
    if (!Ask().AskYesNo("确定要关闭本软件吗？"))
        return false;
    if (dropped)
        DropRecoveryCopies();  // a deliberate close is no crash
    if (services_.camera)
        services_.camera->Release();
    if (Voice)
        ReleaseVoice();
    if (helpWindow_)
        helpWindow_->close();
    return true;
}

bool TMainForm::UnsavedChanges() const
{
    return BtnSave->isEnabled();
}

void TMainForm::SetUnsavedChanges(bool unsaved)
{
    Session->unsavedChanges = unsaved;
    BtnSave->setEnabled(unsaved);
    NSave->setEnabled(unsaved);
}

void TMainForm::N1Click()
{
    NSave->setEnabled(UnsavedChanges());
}

void TMainForm::N13Click()
{
    close();
}

bool TMainForm::OpenUrl(const QUrl& url)
{
    if (services_.openUrl)
        return services_.openUrl(url);
    return QDesktopServices::openUrl(url);
}

void TMainForm::OpenProgramSubfolder(const char* folder)
{
    // Without a file manager the menu item would do nothing at all.
    const std::filesystem::path path = (std::string_view(folder) == "语音引擎" ? ShippedFolder : ProgramFolder) /
                                       files::FromUtf8(folder);
    if (!OpenUrl(QUrl::fromLocalFile(PathText(path))))
        Ask().ShowMessage("无法打开文件夹（这台电脑上可能没有文件管理器），请手工打开：" + files::ToUtf8(path));
}

void TMainForm::N16Click() { OpenProgramSubfolder("阅卷原始文件"); }
void TMainForm::N21Click() { OpenProgramSubfolder("原始图片"); }
void TMainForm::N18Click() { OpenProgramSubfolder("学生信息文件"); }
void TMainForm::N19Click() { OpenProgramSubfolder("语音引擎"); }

void TMainForm::BtnSaveClick()
{
    if (UnsavedChanges())
        SaveRawMarkingFile();
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize()
{
    LayOutPreview();
    if (Page5GridFrame)
        Page5GridFrame->update();
}

void TMainForm::Splitter1Moved(int pos, int)
{
    // The picture panel never grows past the 482 pixels the preview needs.
    if (pos > 482) {
        QList<int> sizes = Splitter1->sizes();
        int total = sizes.value(0) + sizes.value(1);
        Splitter1->setSizes({482, std::max(0, total - 482)});
    }
    LayOutPreview();
}

// ---- help ----

const char* TMainForm::HelpTopicFile(int topic)
{
    static const char* const files[7] = {"简介.htm", "准备答题卡.htm", "连接摄像头.htm", "学生信息设置.htm",
                                         "考试信息设置.htm", "进行阅卷.htm", "成绩输出.htm"};
    return topic >= 0 && topic <= 6 ? files[topic] : nullptr;
}

void TMainForm::ShowHelpTopic(int topic)
{
    QApplication::postEvent(this, new HelpTopicEvent(topic));
}

bool TMainForm::event(QEvent* e)
{
    if (e->type() == kHelpTopicEvent) {
        const char* page = HelpTopicFile(static_cast<HelpTopicEvent*>(e)->topic);
        if (!page)
            return true;
        std::filesystem::path helpFolder = ShippedFolder / files::FromUtf8("帮助");
        if (helpWindow_->ShowPage(PathText(helpFolder / files::FromUtf8(page))))
            return true;
        // Without the help folder (an incomplete installation) the button
        // would do nothing at all, or open a browser on a missing file.
        const std::filesystem::path start = helpFolder / files::FromUtf8("简介.htm");
        std::error_code ec;
        if (!std::filesystem::is_regular_file(start, ec) || !OpenUrl(QUrl::fromLocalFile(PathText(start))))
            Ask().ShowMessage("没有找到帮助页面：" + files::ToUtf8(helpFolder / files::FromUtf8(page)) +
                              "（帮助文件夹可能没有装好）");
        return true;
    }
    return QMainWindow::event(e);
}

void TMainForm::ShowLocalHelpPage(const char* pageFile, const char* notice)
{
    std::filesystem::path page = ShippedFolder / files::FromUtf8("帮助") / files::FromUtf8(pageFile);
    QString address = QUrl::fromLocalFile(PathText(page)).toString();
    Ask().ShowMessage(std::string(notice) + address.toStdString());
    if (!helpWindow_->ShowPage(PathText(page)))
        OpenUrl(QUrl(address));
}

void TMainForm::ImageDemoClick()
{
    ShowLocalHelpPage("演示动画.htm", "现在将自动打开演示动画网页,如果未能自动打开,请手动访问 ");
}

void TMainForm::ImageTutorialClick()
{
    ShowLocalHelpPage("使用教程.htm", "现在将自动打开使用教程动画网页,如果未能自动打开,请手动访问 ");
}

// ---- sounds and speech ----

std::filesystem::path TMainForm::PromptSoundPath(PromptSoundKind kind) const
{
    const char* name = kind == PromptSoundKind::Success   ? "success.wav"
                       : kind == PromptSoundKind::Warning ? "warning.wav"
                                                          : "wrong.wav";
    return ShippedFolder / "wave" / name;
}

void TMainForm::PlayPromptSound(const std::filesystem::path& waveFile)
{
    if (services_.sound)
        services_.sound->Play(waveFile);
}

void TMainForm::SpeakPrompt()
{
    if (!YJSet.VoicePrompt || !Voice)
        return;
    ::SpeakPrompt(*Voice, StatusText, YJSet.SpeechRate, VersionInfo, services_.sleep);
}

bool TMainForm::CreateVoice()
{
    if (services_.createVoice)
        Voice = services_.createVoice();
    if (!Voice) {
        Ask().ShowMessage("创建语音播报对象失败,无法使用语音播报功能");
        return false;
    }
    return true;
}

void TMainForm::ReleaseVoice()
{
    Voice.reset();
}

// ---- the settings dialog ----

void TMainForm::BtnYJSetClick()
{
    formYJSet_->CBIgnoreJDKColor->setChecked(CheckCardColour == 0);
    formYJSet_->exec();
    if (formYJSet_->Settled)
        CheckCardColour = formYJSet_->CBIgnoreJDKColor->isChecked() ? 0 : 1;
    if (YJSet.VoicePrompt && !Voice)
        CreateVoice();
    else if (!YJSet.VoicePrompt && Voice)
        ReleaseVoice();
}
