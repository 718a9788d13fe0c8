#pragma once
// The main window: it owns the whole marking session for the life of the
// process and leads the user through the six wizard pages.
//
// One class, several files: the shell (start-up, close, menu, help, wizard
// buttons) lives in app/ui/Main*.cpp; each later page defines its own
// Build…Page / Prepare…Page / Reset… members and handlers in its subsystem's
// ui/ folder (students/ui/, exam/ui/, marking/ui/, results/ui/). Until a page
// lands, app/ui/MainLaterPages.cpp holds those members; a page that lands
// moves them out of that file.

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MarkingSettings.h"
#include "platform/AppFolders.h"
#include "platform/Files.h"
#include "platform/PromptAudio.h"
#include "marking/SessionState.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTextEdit;
class QToolBar;
class QToolButton;
class QUrl;
class Desktop;
struct GradeClassChoice;
struct StatisticsModel;
struct StatisticsOutputResult;
class HelpWindow;
class InstanceLock;
class Prompts;
class TFormYJSet;
class Illustration;
class TForm3;
class TFormBZDaAn;
class MarkingGridModel;
class MarkingGridDelegate;
struct MarkingGridFilter;
struct MarkingPageSelection;
class TFormProgress;
class TFormTJProgress;
class ScoreChart;
class TFormCard;
namespace grid {
class CellDelegate;
}

// What the window needs from the camera side (the capture subsystem
// implements it; without one, "连接摄像头" says the camera is unavailable).
class CameraPort {
public:
    virtual ~CameraPort() = default;
    // "连接摄像头": find the cameras, let the user choose, start the capture.
    virtual void Connect() = 0;
    // "画质调节": the camera's own picture controls.
    virtual void ShowProperties() = 0;
    // Rows of the camera table the last connection attempt filled.
    virtual int CameraCount() const = 0;
    // Closing: the frame, the work images and the capture objects go.
    virtual void Release() = 0;
    // `LayOutPreview` on the marking page: the preview fits its control again.
    virtual void LayOutPreview() {}
};

// The card chooser as the wizard sees it: the chosen template's file name
// (UTF-8, with extension), or empty when the chooser was closed without one.
class CardChooser {
public:
    virtual ~CardChooser() = default;
    virtual std::string Choose(const std::string& preselection, const std::string& caption) = 0;
};

// The services the window is built with; main() hands in the real ones,
// tests hand in recorders and a scripted user.
struct MainServices {
    Prompts* prompts = nullptr;       // required
    SoundPlayer* sound = nullptr;     // null: silent
    std::function<std::unique_ptr<SpeechVoice>()> createVoice;  // empty: no voice can be made
    std::function<void(std::chrono::milliseconds)> sleep;        // empty: really sleeps
    std::function<bool(const QUrl&)> openUrl;                    // empty: the desktop opens it
    CameraPort* camera = nullptr;     // null: no camera support built in
    CardChooser* cardChooser = nullptr;  // null: the window's own card chooser `TFormCard`
    Desktop* desktop = nullptr;       // programs for the score files; null: the system's, opened through openUrl
    QString lockFolder;               // empty: the user's runtime folder
    // The single-instance lock when the entry took it before Qt opened the
    // display (a second start then ends before touching it); null: taken here.
    InstanceLock* instanceLock = nullptr;
};

enum class PromptSoundKind { Wrong, Success, Warning };

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(const MainServices& services, QWidget* parent = nullptr);
    ~TMainForm() override;

    enum class StartResult { Run, EndProcess };
    // The checks and loads of start-up; EndProcess when another instance runs
    // (the caller then exits with code 0, silently).
    StartResult FormCreate();

    // ---- session state, owned here for the whole run ----
    std::filesystem::path ProgramFolder;  // the teacher's folders live here
    std::filesystem::path ShippedFolder;  // help, sounds, printable cards: only read
    int32_t CheckCardColour = 1;          // 0 when "ncm.set" exists or the settings ignore the colour
    MarkingSettings YJSet;                // persisted in "YJSet.dat"
    OsVersionRecord VersionInfo;
    // Template name (empty = no card chosen) and data, roster, exam record,
    // marking records: the part of the session a marking raw file holds.
    std::unique_ptr<MarkingSessionState> Session;
    uint8_t SessionStarted = 0;           // 1 after opening a marking file or entering marking
    std::string StatusText;               // the short text of the last marking attempt (UTF-8)
    bool AutoMarking = false;             // "开启自动阅卷" switched on
    std::unique_ptr<SpeechVoice> Voice;   // null unless VoicePrompt is on and a voice could be made
    // (each subsystem adds its session state in its own block below)

    // The save tool button's enabled state is the unsaved-changes flag.
    bool UnsavedChanges() const;
    void SetUnsavedChanges(bool unsaved);

    // ---- the student page (students/ui/StudentPage.cpp) ----
    void ShowRosterOnPage();
    void FoldStudentTable();
    void StorePageIntoRoster();
    void FillStudentView();
    void RefreshStudentView();
    // The student-list check over the shown rows; false leaves the focus
    // where the user has to correct.
    bool RunStudentListCheck();
    void SetRosterModified(bool modified);

    // ---- the exam page (exam/ui/ExamPage.cpp) ----
    void ShowExamPage();

    // ---- the marking page (marking/ui/MarkingPage.cpp) ----
    // Entering the page from the exam page: boxes, header, rescoring, rows.
    void SetUpMarkingGrid();
    // Rows again from the marking session.
    void RefreshMarkingGrid();
    // The grade and class boxes as card acceptance checks them.
    MarkingPageSelection MarkingSelection() const;
    // "请选择年级！" or "请选择班级" when that coding is on and its box has no
    // selection; empty when marking may go on.
    std::string MissingMarkingSelection() const;
    // "查看阅卷原始图片" for the current row.
    void OpenLatestCardPicture();
    // Admission number (GBK) of the card reading processed last; its row
    // becomes the current row when the grid is refreshed.
    std::string MarkingReadingAdmission;

    // ---- prompts, sounds and speech ----
    Prompts& Ask() const { return *services_.prompts; }
    std::filesystem::path PromptSoundPath(PromptSoundKind kind) const;
    void PlayPromptSound(const std::filesystem::path& waveFile);
    // Speaks StatusText when VoicePrompt is on and a voice exists.
    void SpeakPrompt();
    // Creates the voice, or says it cannot; releases it.
    bool CreateVoice();
    void ReleaseVoice();

    // ---- pages ----
    int ActivePage() const;  // 1 .. 6
    void SetActivePage(int page);
    void ShowHelpTopic(int topic);  // 0: 简介, 1 .. 6: the pages
    static const char* HelpTopicFile(int topic);
    HelpWindow* Help() const { return helpWindow_; }
    TFormYJSet* FormYJSet() const { return formYJSet_; }
    TFormCard* FormCard() const { return formCard_; }

    // The marking raw file: saving runs the current page's checks first and
    // reports a failure; opening asks for the file. True when done.
    virtual bool SaveRawMarkingFile();
    virtual bool OpenRawMarkingFile();
    bool OpenRawMarkingFileAt(const std::filesystem::path& path);
    // A raw file named on the command line (the desktop opening a ".yj"):
    // opened as if chosen with "打开阅卷原始文件" on the first page.
    bool OpenGivenRawFile(const std::filesystem::path& path);
    // After every accepted card: the session's recovery copy beside its raw
    // file. One that cannot be written is said once, until one is written again.
    void KeepRecoveryCopy();
    // After a change to the records on the marking page (a key cell, 重新算分,
    // deletions, the typed standard answer): the recovery copy as well, once
    // the exam has the name the copy is named by.
    void KeepRecoveryCopyOfEdit();
    // The session's recovery copies, removed when its records are saved or
    // dropped: the one under the exam's name, and the one last written if the
    // exam had another name then.
    std::vector<std::filesystem::path> RecoveryCopiesOfSession() const;
    void DropRecoveryCopies();
    // At start: a recovery copy a crash left behind is offered, then opened as
    // an unsaved session or deleted.
    void OfferRecovery();

    // ---- widgets, named as their objectName ----
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* TabSheet5 = nullptr;
    QWidget* TabSheet6 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QAction* BtnSave = nullptr;        // tool button "保存阅卷原始文件"
    QAction* BtnHelpTool = nullptr;    // tool button "帮助"
    QMenu* N1 = nullptr;               // "文件"
    QAction* N16 = nullptr;            // "浏览 阅卷原始文件 文件夹"
    QAction* N21 = nullptr;            // "浏览 原始图片 文件夹"
    QAction* N18 = nullptr;            // "浏览 学生信息文件 文件夹"
    QAction* N19 = nullptr;            // "浏览 语音引擎 文件夹"
    QAction* NSave = nullptr;          // "保存阅卷原始文件"
    QAction* N13 = nullptr;            // "退出"
    QMenu* NHelpMenu = nullptr;        // "帮助"
    QAction* NHelp = nullptr;          // "帮助"
    // page 1
    Illustration* Image1 = nullptr;
    QLabel* LCardName = nullptr;
    QToolButton* ImageDemo = nullptr;      // "点击播放演示动画"
    QToolButton* ImageTutorial = nullptr;  // "点击播放使用教程"
    QPushButton* BtnNewYJ = nullptr;
    QPushButton* BtnOpenYJFile1 = nullptr;
    QPushButton* BtnBack1 = nullptr;
    QPushButton* BtnNext1 = nullptr;
    QPushButton* BtnHelp1 = nullptr;
    // page 2
    QLabel* ImageCheShi = nullptr;  // illustration, then the camera preview
    QLabel* LblLianJie = nullptr;
    QPushButton* BtnConn = nullptr;
    QPushButton* BtnViewCapProperty = nullptr;
    QPushButton* BtnBack2 = nullptr;
    QPushButton* BtnNext2 = nullptr;
    QPushButton* BtnHelp2 = nullptr;
    // pages 3 .. 6: each page's content goes into its frame
    QFrame* Page3Frame = nullptr;
    QPushButton* BtnBack3 = nullptr;
    QPushButton* BtnNext3 = nullptr;
    QPushButton* BtnHelp3 = nullptr;
    // page 3 content (students/ui/StudentPage.cpp)
    QPushButton* BtnXSNew = nullptr;
    QPushButton* BtnXSOpenAs = nullptr;
    QPushButton* BtnXSSave = nullptr;
    QPushButton* BtnXSSaveAs = nullptr;
    QLabel* LblCurrentXSFileName = nullptr;
    QLabel* CheshixstsLabel = nullptr;   // the default-roster hint
    QLabel* LblXSTiShi = nullptr;        // tip line: empty or the lock tip
    QGroupBox* GroupBoxNJ = nullptr;
    QCheckBox* CBAllowNJ = nullptr;
    QLabel* LblNJCodeLen = nullptr;
    QLineEdit* EdtNJCodeLen = nullptr;
    QLabel* LblNJCodeLenRange = nullptr;
    QTableWidget* SGridNJ = nullptr;
    QPushButton* BtnNianJiAdd = nullptr;
    QPushButton* BtnNianJiDelete = nullptr;
    QGroupBox* GroupBoxBJ = nullptr;
    QCheckBox* CBAllowBJ = nullptr;
    QLabel* LblBJCodeLen = nullptr;
    QLineEdit* EdtBJCodeLen = nullptr;
    QLabel* LblBJCodeLenRange = nullptr;
    QLabel* LblNJ = nullptr;             // "年级："
    QComboBox* CBNJSelected = nullptr;
    QLabel* LblBJ = nullptr;             // "班级："
    QLineEdit* EdtBJSelected = nullptr;
    QLabel* LblBJ4 = nullptr;            // class code range
    QCheckBox* CBRelation = nullptr;
    QLabel* LblAdmissionLen = nullptr;
    QLineEdit* EdtAdmissionLen = nullptr;
    QLineEdit* EdtAdmissionSub = nullptr;
    QTableWidget* SGridXS = nullptr;
    QPushButton* BtnXueShengAdd = nullptr;
    QPushButton* BtnXueShengDelete = nullptr;
    QPushButton* BtnXueShengAddBatch = nullptr;
    QPushButton* BtnXueShengDeleteAll = nullptr;
    QPushButton* BtnXueShengPasteFrom = nullptr;
    QPushButton* BtnXueShengPasteFromName = nullptr;
    QPlainTextEdit* ExcelMemo = nullptr;  // hidden: receives the clipboard text
    TForm3* Form3 = nullptr;              // "请输入班级人数"
    // student page state
    std::filesystem::path CurrentXSFile;  // empty: the roster came from no file
    bool RosterModified = false;          // unsaved student page changes; BtnXSSave follows it
    bool XSLoading = false;               // the page is being filled from the roster
    bool XSLocked = false;                // coding settings locked while students exist
    int XSRosterIndex = -1;               // roster index of the student table's current row
    QString XSCellTextOnEnter;            // the current student cell's text when entered

    QFrame* Page4Frame = nullptr;
    QPushButton* BtnBack4 = nullptr;
    QPushButton* BtnNext4 = nullptr;
    QPushButton* BtnHelp4 = nullptr;
    // page 4 content (exam/ui/ExamPage.cpp)
    QLineEdit* EdtKSName = nullptr;
    QLabel* LblCardName = nullptr;
    QPushButton* BtnReSelectCard = nullptr;
    QComboBox* CBSelectedKeMu = nullptr;
    QLabel* LblZG = nullptr;
    QComboBox* CBSelectedZG = nullptr;
    QTableWidget* SGridTF = nullptr;
    QComboBox* CBTFSort = nullptr;        // 单选题/多选题 laid over a cell
    QPushButton* BtnTFAdd = nullptr;
    QPushButton* BtnTFDelete = nullptr;
    QTableWidget* SGridDX = nullptr;
    QPushButton* BtnDXAdd = nullptr;
    QPushButton* BtnDXDelete = nullptr;
    QTextEdit* Memo1 = nullptr;
    QTextEdit* Memo2 = nullptr;
    QFrame* Page5Frame = nullptr;
    QSplitter* Splitter1 = nullptr;  // picture panel above, marking grid below
    QFrame* Panel1 = nullptr;
    QFrame* Page5GridFrame = nullptr;
    QPushButton* BtnYJSet = nullptr;
    QPushButton* BtnAutoAnswerCard = nullptr;
    // page 5 content (marking/ui/MarkingPage.cpp)
    QLabel* ImageView = nullptr;        // the live preview
    QPushButton* BtnAnswerCard = nullptr;  // "阅卷"
    QPushButton* BtnBZDaAn = nullptr;   // "标准答案输入"
    QLabel* LblNJ4 = nullptr;           // "年级："
    QComboBox* NJYJ = nullptr;
    QLabel* LblBJ5 = nullptr;           // "班级："
    QComboBox* BJYJ = nullptr;
    QTextEdit* MemoTiShi = nullptr;
    QTableView* SGridYJ = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Ndatikadelete = nullptr;     // "删除选中记录"
    QAction* NdatikadeleteAll = nullptr;  // "删除本列表中所有阅卷记录"
    QAction* NOpenpic = nullptr;          // "查看阅卷原始图片"
    QAction* NRefresh = nullptr;          // "重新算分"
    QAction* NMsg = nullptr;              // "如何修改标准答案..."
    TFormBZDaAn* FormBZDaAn = nullptr;    // "标准答案输入"
    MarkingGridModel* SGridYJModel() const { return yjModel_; }
    MarkingGridDelegate* SGridYJDelegate() const { return yjDelegate_; }
    QPushButton* BtnBack5 = nullptr;
    QPushButton* BtnNext5 = nullptr;
    QPushButton* BtnHelp5 = nullptr;
    QFrame* Page6Frame = nullptr;
    QPushButton* BtnBack6 = nullptr;
    QPushButton* BtnGoToFirst = nullptr;
    QPushButton* BtnHelp6 = nullptr;
    // page 6 content (results/ui/OutputPage.cpp)
    QGroupBox* GroupBoxSC = nullptr;      // "学生成绩输出"
    QLabel* LblNJSC = nullptr;            // "年级："
    QComboBox* NJSC = nullptr;
    QLabel* LblBJSC = nullptr;            // "班级："
    QComboBox* BJSC = nullptr;
    QListWidget* LBAll = nullptr;         // 所有输出项
    QListWidget* LBSelected = nullptr;    // 选定输出项, in column order
    QPushButton* BtnAddOne = nullptr;
    QPushButton* BtnAddAll = nullptr;
    QPushButton* BtnDeleteSelected = nullptr;
    QPushButton* BtnClearSelected = nullptr;
    QRadioButton* RBSCSort1 = nullptr;    // "以学号排序"
    QRadioButton* RBSCSort2 = nullptr;    // "以总成绩排序"
    QCheckBox* CBQueKao = nullptr;        // "输出缺考学生信息"
    QPlainTextEdit* MNoReadName = nullptr;
    QPushButton* BtnSC = nullptr;
    QPlainTextEdit* Memo3 = nullptr;
    QGroupBox* GroupBoxTJ = nullptr;      // "统计"
    QLabel* LblNJTJ = nullptr;
    QComboBox* NJTJ = nullptr;
    QLabel* LblBJTJ = nullptr;
    QComboBox* BJTJ = nullptr;
    QCheckBox* TJAverage = nullptr;
    QCheckBox* TJXiaoTiRate = nullptr;
    QCheckBox* TJDaTiRate = nullptr;
    QCheckBox* TJXiaoTiWrong = nullptr;
    QCheckBox* TJXiaoTiRight = nullptr;
    QLineEdit* TJWrongRange = nullptr;
    QLineEdit* TJRightRange = nullptr;
    QPlainTextEdit* Memo4 = nullptr;
    QPushButton* BtnTJ = nullptr;
    QLabel* LblTJSummary = nullptr;       // figures of the students of NJTJ / BJTJ
    ScoreChart* ChartTJ = nullptr;        // their score distribution
    TFormProgress* FormProgress = nullptr;      // "成绩输出进度"
    TFormTJProgress* FormTJProgress = nullptr;  // "正在输出。。。"

public slots:
    // shell
    void N1Click();
    void N13Click();
    void N16Click();
    void N18Click();
    void N19Click();
    void N21Click();
    void BtnSaveClick();
    bool PageControl1Changing();  // a tab click: refused
    void Splitter1Moved(int pos, int index);
    // page 1
    void BtnNewYJClick();
    void BtnOpenYJFile1Click();
    void BtnNext1Click();
    void ImageDemoClick();
    void ImageTutorialClick();
    // page 2
    void BtnConnClick();
    void BtnViewCapPropertyClick();
    void BtnBack2Click();
    void BtnNext2Click();
    // page 3
    void BtnBack3Click();
    void BtnNext3Click();
    // page 3 content
    void BtnXSNewClick();
    void BtnXSOpenAsClick();
    void BtnXSSaveClick();
    void BtnXSSaveAsClick();
    void CBAllowNJClick();
    void EdtNJCodeLenExit();
    void BtnNianJiAddClick();
    void BtnNianJiDeleteClick();
    void GroupBoxNJExit();
    void CBAllowBJClick();
    void EdtBJCodeLenChange();
    void EdtBJCodeLenExit();
    void CBNJSelectedEnter();
    void CBNJSelectedChange(int index);
    void EdtBJSelectedEnter();
    void EdtBJSelectedChange();
    void CBRelationClick();
    void EdtAdmissionLenExit();
    void SGridXSSelectCell(int row, int column);
    void BtnXueShengAddClick();
    void BtnXueShengDeleteClick();
    bool StudentTableReadyToFill();
    void AppendStudentRow(const QString& number, const QString& name);
    void FinishStudentFill();
    QString ClipboardTextForPaste();
    void BtnXueShengAddBatchClick();
    void BtnXueShengDeleteAllClick();
    void BtnXueShengPasteFromClick();
    void BtnXueShengPasteFromNameClick();
    // page 4
    void BtnBack4Click();
    void BtnNext4Click();
    void BtnReSelectCardClick();
    void SGridTFClick(int row, int column);
    void CBTFSortChange(int index);
    void CBTFSortExit();
    void BtnTFAddClick();
    void BtnTFDeleteClick();
    void BtnDXAddClick();
    void BtnDXDeleteClick();
    // page 5
    void BtnBack5Click();
    void BtnNext5Click();
    void BtnAutoAnswerCardClick();
    void BtnYJSetClick();
    // page 5 content
    void NJYJChange(int index);
    void BJYJChange(int index);
    void SGridYJSelectCell(int row, int column);
    void SGridYJDblClick();
    bool SGridYJKeyPress(int row, int column, QLineEdit& editor, const QKeyEvent& key);
    void SGridYJSetEditText(int row, int column, const QString& text);
    void SGridYJEnter();
    void SGridYJExit();
    void SGridYJMouseDown(const QPoint& pos);
    void PopupMenu1Popup();
    void NdatikadeleteClick();
    void NdatikadeleteAllClick();
    void NOpenpicClick();
    void NRefreshClick();
    void NMsgClick();
    void BtnBZDaAnClick();
    // page 6
    void BtnBack6Click();
    void BtnGoToFirstClick();
    // page 6 content
    void BtnAddOneClick();
    void BtnAddAllClick();
    void BtnDeleteSelectedClick();
    void BtnClearSelectedClick();
    void NJSCChange(int index);
    void BJSCChange(int index);
    void BtnSCClick();
    void BtnTJClick();
    void NJTJChange(int index);
    void BJTJChange(int index);

signals:
    // The standard answer was edited since the last rescoring (or no longer is).
    void RescorePendingChanged(bool pending);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // False refuses the close.
    bool FormClose();
    void FormResize();

private:
    // Connections to application-wide signals, cut before the pages go.
    std::vector<QMetaObject::Connection> appConnections_;
    // page construction, one function per page
    QWidget* BuildPage1();
    QWidget* BuildPage2();
    QWidget* BuildPage3();
    QWidget* BuildPage4();
    QWidget* BuildPage5();
    QWidget* BuildPage6();
    void BuildMenuAndToolBar();
    QWidget* FootRow(QWidget* page, std::initializer_list<QWidget*> buttons);
    QPushButton* MakeButton(QWidget* parent, const char* objectName, const char* text);
    QWidget* FramedPage(int number, QFrame*& frame, QPushButton*& back, QPushButton*& next, QPushButton*& help,
                        void (TMainForm::*onBack)(), void (TMainForm::*onNext)());
    void OpenProgramSubfolder(const char* folder);
    void ShowSessionOpenedAtStart();
    void OfferOlderFiles(const files::AppFolders& folders);
    bool OpenUrl(const QUrl& url);
    void CreateMissingFolders();
    void ShowLocalHelpPage(const char* pageFile, const char* notice);

    // Later pages' hooks (see the note at the top of this file).
    void BuildStudentPage(QFrame* frame);
    void BuildExamPage(QFrame* frame);
    void BuildMarkingPage(QFrame* pictures, QFrame* grid);
    void BuildOutputPage(QFrame* frame);
    void PrepareStudentPage();
    void PrepareExamPage();
    void PrepareMarkingPage();
    void PrepareOutputPage();
    bool CheckExamPage();
    bool CheckStudentPage();
    void ResetSessionForNewMarking();
    void ShowOpenedSession();
    void LayOutPreview();

    // student page helpers
    void SetXSLocked(bool locked);
    void EnableGradeControls(bool on);
    void EnableClassControls(bool on);
    void RecomputeAdmissionPrefix();
    void RebuildGradeSelection();
    void ShowCurrentXSFile();
    bool StudentCommandAllowed(bool askFirstEntry, bool* firstEntry);
    bool StudentTableHasRoom(int newRows);
    QString PrefixText() const;
    QString RowGradeCode() const;
    QString RowClassCode() const;
    int AdmissionLengthOnPage() const;
    int GradeCodeLengthOnPage() const;
    bool SGridXSKeyPress(int row, int column, QLineEdit& editor, const QKeyEvent& key);
    void SGridXSKeyUp(int row, int column, QLineEdit& editor);
    bool SGridNJKeyPress(int row, int column, QLineEdit& editor, const QKeyEvent& key);
    void SGridNJKeyUp(int row, int column, QLineEdit& editor);
    grid::CellDelegate* gradeDelegate_ = nullptr;
    grid::CellDelegate* studentDelegate_ = nullptr;
    bool studentPageFilled_ = false;  // the page shows the session's roster
    bool recoveryCopyFailed_ = false;  // said; quiet until a copy is written again
    // exam page helpers
    CardChooser& ActiveCardChooser();
    grid::CellDelegate* scoreDelegate_ = nullptr;
    grid::CellDelegate* ruleDelegate_ = nullptr;
    int tfSortRow_ = -1;  // the score table row CBTFSort lies over
    // marking page helpers
    MarkingGridFilter MarkingFilter() const;
    void SetRescorePending(bool pending);
    void ContextMenuOnGrid(const QPoint& pos);
    MarkingGridModel* yjModel_ = nullptr;
    MarkingGridDelegate* yjDelegate_ = nullptr;
    QString yjEditStartText_;  // the standard-answer cell's text when it was selected

    // The raw file this window works on is locked against scorivo-cli runs
    // and other windows, which would otherwise save over each other's records.
    bool LockRawFile(const std::filesystem::path& file);
    // Whether a session restored from a recovery copy is the one in `rawFile`
    // (or the file is not there): false when the file holds cards the copy lacks.
    bool RecoveredSessionIsTheFiles(const std::filesystem::path& rawFile) const;
    bool HoldsRawFileLock(const std::filesystem::path& file) const;
    // Tells the teacher when another run holds it.
    bool TakeRawFileLock(const std::filesystem::path& file, files::FileLock& lock);
    void ReleaseRawFileLock()
    {
        rawFileLock_.Release();
        heldFileIsAnothers_ = false;
    }
    files::FileLock rawFileLock_;
    std::filesystem::path heldRawFile_;  // the lock file of rawFileLock_
    // A session restored from a recovery copy holds its raw file's lock, but
    // the file may hold another session's records (a new session saved under
    // a taken name, cut off by a crash before its first save).
    bool heldFileIsAnothers_ = false;
    // The recovery copy last written or restored: a copy left under an exam
    // name the session no longer has would be offered as a crash's later.
    std::filesystem::path recoveryCopy_;
    // Whether saving may replace `file` without asking: the window opened or
    // saved it, or restored a copy of the session in it.
    bool OwnsRawFile(const std::filesystem::path& file) const
    {
        return HoldsRawFileLock(file) && !heldFileIsAnothers_;
    }
    // output page helpers
    void SetUpOutputPage();
    void ListUnmarkedStudents();
    // The figures and chart of the students of NJTJ / BJTJ.
    void ShowStatisticsSummary();
    void ShowStatisticsModel(const StatisticsModel& model);
    // Back on the window's thread once the statistics workbook is written.
    void StatisticsWritten(StatisticsOutputResult saved, const std::string& error);
    // The grade and class the output's and the statistics' lists select.
    GradeClassChoice OutputChoice() const;
    GradeClassChoice StatisticsChoice() const;
    bool TJRangeKeyPress(const QKeyEvent& key);
    Desktop& OutputDesktop();
    std::shared_ptr<Desktop> ownDesktop_;  // made when first needed
    // Writes the statistics workbook away from the window's thread; joined
    // before the window goes.
    std::jthread tjWorker_;

    MainServices services_;
    TFormCard* formCard_ = nullptr;  // the card chooser, a dialog of this window
    std::unique_ptr<InstanceLock> instanceLock_;
    HelpWindow* helpWindow_ = nullptr;
    TFormYJSet* formYJSet_ = nullptr;
};

inline constexpr char kMainCaption[] = "Scorivo-摄像头阅卷版";
inline constexpr char kRecoveryCopyFailed[] =
    "阅卷记录的恢复副本无法写入（可能是硬盘空间不足）。程序出错或断电时，上次保存以后阅的答题卡会丢失，"
    "请尽快保存阅卷原始文件。";
