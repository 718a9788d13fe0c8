// The wizard's buttons: what each checks before it moves, and the two ways
// of starting a session.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "app/ui/MainWindow.h"
#include "marking/RawFile.h"
#include "platform/Files.h"
#include "platform/qt/Prompts.h"

int TMainForm::ActivePage() const
{
    return PageControl1->currentIndex() + 1;
}

void TMainForm::SetActivePage(int page)
{
    PageControl1->setCurrentIndex(page - 1);
}

bool TMainForm::PageControl1Changing()
{
    Ask().ShowMessage("请点上一步或下一步进行换页");
    return false;
}

// ---- page 1 ----

// Recovery copies that are no longer wanted; one already gone is fine.
static void RemoveFiles(const std::vector<std::filesystem::path>& files)
{
    for (const std::filesystem::path& f : files) {
        std::error_code ec;
        std::filesystem::remove(f, ec);
    }
}

void TMainForm::BtnNewYJClick()
{
    if (UnsavedChanges()) {
        if (Ask().AskYesNo("是否要保存原来阅卷原始文件?")) {
            // A save that failed has said why; going on would drop the
            // records the teacher just asked to keep.
            if (!SaveRawMarkingFile())
                return;
        } else {
            DropRecoveryCopies();  // the teacher dropped these records
        }
    }
    SetUnsavedChanges(false);

    std::string preselection = Session->templateName;
    ResetSessionForNewMarking();
    StartNewSession(*Session);
    Session->templateName.clear();
    Session->cardTemplate.Clear();

    std::string& name = Session->templateName;
    name = ActiveCardChooser().Choose(preselection, "新阅卷——请先选择本次阅卷要使用的答题卡");
    if (!name.empty()) {
        std::string message;
        if (!LoadCardTemplate(ProgramFolder, name, Session->cardTemplate, message))
            Ask().ShowMessage(message);
        BtnNext1->setEnabled(true);
        SessionStarted = 0;
    } else {
        BtnNext1->setEnabled(false);
    }
    LCardName->setText(QString::fromStdString(name));
}

void TMainForm::BtnOpenYJFile1Click()
{
    // The recovery copy of records the teacher chose not to keep goes once
    // the other file is open (a cancelled dialog leaves the session as it was).
    std::vector<std::filesystem::path> droppedCopies;
    if (UnsavedChanges()) {
        if (Ask().AskYesNo("是否要保存原来阅卷原始文件?")) {
            if (!SaveRawMarkingFile())
                return;  // the failed save has said why, and the session stays
        } else {
            droppedCopies = RecoveryCopiesOfSession();
        }
    }
    if (!OpenRawMarkingFile())
        return;
    RemoveFiles(droppedCopies);
    ShowSessionOpenedAtStart();
}

bool TMainForm::OpenGivenRawFile(const std::filesystem::path& path)
{
    if (!OpenRawMarkingFileAt(path))
        return false;
    ShowSessionOpenedAtStart();
    return true;
}

void TMainForm::ShowSessionOpenedAtStart()
{
    BtnNext1->setEnabled(true);
    // Cards a killed `mark` run left in its journal are in the session but
    // not yet in the file: closing asks to save them.
    SetUnsavedChanges(Session->unsavedChanges);
    SessionStarted = 1;
}

void TMainForm::BtnNext1Click()
{
    if (Session->templateName.empty()) {
        Ask().ShowMessage("请点新阅卷或打开阅卷原始文件！");
        BtnNewYJ->setFocus();
        return;
    }
    SetActivePage(2);
}

// ---- page 2 ----

void TMainForm::BtnConnClick()
{
    if (!services_.camera) {
        Ask().ShowMessage("本版本未装入摄像头功能，无法连接摄像头。");
        return;
    }
    services_.camera->Connect();
    const bool connected = services_.camera->CameraCount() > 0;
    BtnViewCapProperty->setEnabled(connected);
    if (connected) {
        ImageCheShi->clear();  // the camera's pictures from now on, not the illustration
        LblLianJie->setText(QStringLiteral("说明：要求答题卡在屏幕上显示正放 调整摄像头的距离使答题卡显示的大小合适"));
        LblLianJie->show();
    }
}

void TMainForm::BtnViewCapPropertyClick()
{
    if (services_.camera)
        services_.camera->ShowProperties();
}

void TMainForm::BtnBack2Click()
{
    SetActivePage(1);
}

void TMainForm::BtnNext2Click()
{
    int cameras = services_.camera ? services_.camera->CameraCount() : 0;
    if (cameras == 0) {
        Ask().ShowMessage("请点连接摄像头按钮！");
        BtnConn->setFocus();
        return;
    }
    SetActivePage(3);
    PrepareStudentPage();
}

// ---- pages 3 .. 6: the moves; each page's own checks live with the page ----

void TMainForm::BtnBack3Click()
{
    SetActivePage(2);
}

void TMainForm::BtnBack4Click()
{
    SetActivePage(3);
}

void TMainForm::BtnNext4Click()
{
    if (!CheckExamPage())
        return;
    SetActivePage(5);
    PrepareMarkingPage();
}

void TMainForm::BtnBack5Click()
{
    SetActivePage(4);
    setWindowTitle(QString::fromUtf8(kMainCaption));
}

void TMainForm::BtnNext5Click()
{
    SetActivePage(6);
    PrepareOutputPage();
    setWindowTitle(QString::fromUtf8(kMainCaption));
}

void TMainForm::BtnAutoAnswerCardClick()
{
    const std::string missing = MissingMarkingSelection();
    if (!missing.empty()) {
        Ask().ShowMessage(missing);
        return;
    }
    AutoMarking = !AutoMarking;
    BtnAutoAnswerCard->setText(AutoMarking ? QStringLiteral("关闭自动阅卷") : QStringLiteral("开启自动阅卷"));
}

void TMainForm::BtnBack6Click()
{
    SetActivePage(5);
}

void TMainForm::BtnGoToFirstClick()
{
    SetActivePage(1);
}

// ---- the marking raw file ----

bool TMainForm::SaveRawMarkingFile()
{
    // A page being edited is checked and taken in before it is written out.
    if (ActivePage() == 3 && !CheckStudentPage())
        return false;
    if (ActivePage() == 4 && !CheckExamPage())
        return false;
    // A name that cannot be a file is refused by the save itself, with its message.
    const std::filesystem::path target = MarkingFilePath(ProgramFolder, Session->exam);
    if (!target.empty()) {
        std::error_code ec;
        // A file of that name this window did not open or save holds another
        // session's records (another class marked under the same exam name,
        // say): it is replaced only when the teacher says so.
        if (!OwnsRawFile(target) && std::filesystem::is_regular_file(target, ec)) {
            const std::string name = files::ToUtf8(target.filename());
            // Records restored after a crash: the file holds cards they lack,
            // another session's or ones deleted before the crash.
            const std::string question =
                HoldsRawFileLock(target)
                    ? "阅卷原始文件“" + name +
                          "”里有恢复的阅卷记录中没有的答题卡（可能是另一次阅卷的记录，也可能是恢复前删除的记录）。"
                          "要用恢复的阅卷记录替换它吗？替换后文件里那些答题卡的记录将丢失。\n"
                    : "阅卷原始文件“" + name +
                          "”已经存在，里面是另一次阅卷的记录。要用本次阅卷替换它吗？替换后那些阅卷记录将丢失。\n";
            if (!Ask().AskYesNo(question +
                                "选“否”则不保存：可以在“考试信息设置”里改用另一个考试名称，"
                                "或用“打开阅卷原始文件”接着那次阅卷。"))
                return false;
        }
        std::filesystem::create_directories(target.parent_path(), ec);
        if (!LockRawFile(target))
            return false;
    }
    MarkingFileResult result = SaveMarkingFile(*Session, ProgramFolder);
    if (!result.ok) {
        Ask().ShowMessage(result.message.empty() ? std::string(raw_file::SaveFailed) : result.message);
    } else {
        DropRecoveryCopies();
        heldFileIsAnothers_ = false;  // it holds this session now
    }
    SetUnsavedChanges(Session->unsavedChanges);
    return result.ok;
}

bool TMainForm::OpenRawMarkingFile()
{
    std::filesystem::path folder = ProgramFolder / files::FromUtf8(raw_file::Folder);
    QString file = Ask().GetOpenFileName(QStringLiteral("打开阅卷原始文件"), QString::fromStdString(files::ToUtf8(folder)),
                                         QStringLiteral("阅卷原始文件(*.yj)"));
    if (file.isEmpty())
        return false;
    return OpenRawMarkingFileAt(files::FromUtf8(file.toStdString()));
}

bool TMainForm::OpenRawMarkingFileAt(const std::filesystem::path& path)
{
    // Locked before it is read, so no other run saves it meanwhile; the
    // session in memory keeps its own lock until the new one is in.
    files::FileLock lock;
    const bool alreadyHeld = HoldsRawFileLock(path);
    if (!alreadyHeld && !TakeRawFileLock(path, lock))
        return false;
    MarkingFileResult result = OpenMarkingFile(*Session, path, ProgramFolder);
    if (!result.ok) {
        Ask().ShowMessage(result.message.empty() ? std::string(raw_file::OpenFailed) : result.message);
        return false;
    }
    if (!alreadyHeld) {
        rawFileLock_ = std::move(lock);
        heldRawFile_ = files::FileLock::LockFileFor(path);
    }
    heldFileIsAnothers_ = false;  // the session is the file's now
    recoveryCopy_.clear();
    if (!result.templateLoaded && !result.templateMessage.empty())
        Ask().ShowMessage(result.templateMessage);
    LCardName->setText(QString::fromStdString(Session->templateName));
    ShowOpenedSession();
    return true;
}

void TMainForm::KeepRecoveryCopy()
{
    // The raw file itself is only written when the teacher saves; without the
    // copy a crash or power cut would lose every card since, so the teacher is
    // told, once, rather than marking on unprotected.
    if (WriteRecoveryCopy(*Session, ProgramFolder)) {
        recoveryCopyFailed_ = false;
        // The exam was renamed since the last copy: that one would be offered
        // at the next start as a crash's, with records the session has moved on from.
        const std::filesystem::path copy = RecoveryCopyPath(MarkingFilePath(ProgramFolder, Session->exam));
        if (!recoveryCopy_.empty() && recoveryCopy_ != copy)
            RemoveFiles({recoveryCopy_});
        recoveryCopy_ = copy;
        return;
    }
    if (recoveryCopyFailed_)
        return;
    recoveryCopyFailed_ = true;
    Ask().ShowMessage(kRecoveryCopyFailed);
}

std::vector<std::filesystem::path> TMainForm::RecoveryCopiesOfSession() const
{
    std::vector<std::filesystem::path> copies;
    if (const std::filesystem::path file = MarkingFilePath(ProgramFolder, Session->exam); !file.empty())
        copies.push_back(RecoveryCopyPath(file));
    if (!recoveryCopy_.empty() && (copies.empty() || copies[0] != recoveryCopy_))
        copies.push_back(recoveryCopy_);
    return copies;
}

void TMainForm::DropRecoveryCopies()
{
    RemoveFiles(RecoveryCopiesOfSession());
    recoveryCopy_.clear();
}

void TMainForm::KeepRecoveryCopyOfEdit()
{
    // A corrected key or a deletion lost in a crash would come back as the
    // old key and its scores, without a word.
    if (!Session->exam.examName.Empty())
        KeepRecoveryCopy();
}

void TMainForm::OfferRecovery()
{
    for (const std::filesystem::path& copy : FindRecoveryCopies(ProgramFolder)) {
        std::filesystem::path rawFile = copy;
        rawFile.replace_extension();  // "期中数学.yj.recover" → "期中数学.yj"
        const std::string name = files::ToUtf8(rawFile.filename());
        if (!Ask().AskYesNo("上次阅卷没有正常结束（可能是程序出错或断电），“" + name +
                            "”还有没保存的阅卷记录。要恢复这些阅卷记录吗？\n（选“否”将删除这些没保存的记录）")) {
            std::error_code ec;
            std::filesystem::remove(copy, ec);
            continue;
        }
        if (!LockRawFile(rawFile))
            continue;  // another run holds it: the copy stays for later
        MarkingFileResult result = OpenMarkingFile(*Session, copy, ProgramFolder);
        if (!result.ok) {
            Ask().ShowMessage(result.message.empty() ? std::string(raw_file::OpenFailed) : result.message);
            ReleaseRawFileLock();
            continue;
        }
        heldFileIsAnothers_ = !RecoveredSessionIsTheFiles(rawFile);
        recoveryCopy_ = copy;
        if (!result.templateLoaded && !result.templateMessage.empty())
            Ask().ShowMessage(result.templateMessage);
        LCardName->setText(QString::fromStdString(Session->templateName));
        ShowOpenedSession();
        BtnNext1->setEnabled(true);
        SessionStarted = 1;
        SetUnsavedChanges(true);  // recovered, not yet saved: closing asks to save
        return;                   // one session at a time; other copies are offered next start
    }
}

bool TMainForm::RecoveredSessionIsTheFiles(const std::filesystem::path& rawFile) const
{
    std::error_code ec;
    if (!std::filesystem::exists(rawFile, ec))
        return true;  // nothing there to lose
    // The copy of a session that was opened from the file holds every card
    // the file holds; a session that only shares the name holds other ones.
    const std::unique_ptr<MarkingSessionState> onDisk = NewMarkingSessionState();
    if (!OpenMarkingFile(*onDisk, rawFile, ProgramFolder).ok)
        return false;
    const MarkingSession& file = onDisk->session;
    for (int i = 1; i < file.recordCount; ++i)
        if (Session->session.FindRecord(file.records[i].admissionNumber.View(), 1) < 0)
            return false;
    return true;
}

bool TMainForm::HoldsRawFileLock(const std::filesystem::path& file) const
{
    return rawFileLock_.Held() && files::FileLock::LockFileFor(file) == heldRawFile_;
}

bool TMainForm::TakeRawFileLock(const std::filesystem::path& file, files::FileLock& lock)
{
    std::string error;
    if (!lock.TryLock(file, &error)) {
        Ask().ShowMessage(files::ToUtf8(file.filename()) + "：" + error);
        return false;
    }
    files::RemoveStaleTemporaries(file);
    return true;
}

bool TMainForm::LockRawFile(const std::filesystem::path& file)
{
    if (HoldsRawFileLock(file))
        return true;
    files::FileLock lock;
    if (!TakeRawFileLock(file, lock))
        return false;
    rawFileLock_ = std::move(lock);
    heldRawFile_ = files::FileLock::LockFileFor(file);
    heldFileIsAnothers_ = false;
    return true;
}
