// The student page "学生信息设置": the coding settings, the grade table, the
// student table (the view of the roster for the selected grade and class),
// the student file commands and leaving the page.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "app/ui/MainWindow.h"
#include "platform/Files.h"
#include "platform/qt/Prompts.h"
#include "students/RosterRules.h"
#include "students/StudentFile.h"
#include "students/ui/EditableGrid.h"
#include "students/ui/ClassSizeDialog.h"

namespace {

// Student table columns (0 holds the row numbers).
constexpr int kAdmission = 1;
constexpr int kName = 2;
constexpr int kGradeCode = 3;
constexpr int kClassCode = 4;
// Grade table columns.
constexpr int kGradeName = 1;
constexpr int kGradeCodeCol = 2;

constexpr char kDigits[] = "0123456789";
constexpr char kLockTip[] = "当前学生信息文件有些设置已经不能再修改。如有需要，请点击“新建学生信息文件”按钮";
constexpr char kDefaultHint[] =
    "测试软件阅卷效果时可以直接使用默认的学生名单,如果需要自己设置请按新建学生信息文件按钮";
constexpr char kFirstEntryQuestion[] =
    "请先设置好其它选项，输入学生数据后其它选项将不能修改，是否要立即输入学生数据?";
constexpr char kDeleteFirst[] = "请先删除学生名单列表框中已有的所有数据！";
constexpr char kRosterFull[] = "学生人数已达上限（5000人），不能再增加学生。";
constexpr char kSaveQuestion[] =
    "是否保存对当前学生信息文件的更改？（学生信息文件可以被用于以后的其他阅卷中，不需要重复输入）"
    "不管选是或否,本次阅卷都是使用修改后学生信息，修改后的学生信息将自动保存到原始阅卷文件中。";

QString Q(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string U(const QString& s)
{
    return s.toStdString();
}

QString PathText(const std::filesystem::path& p)
{
    return Q(files::ToUtf8(p));
}

// Calls `handler` after the widget gets or loses the focus within the window,
// once the focus change has finished (the entry/exit events of the page).
class FocusWatch final : public QObject {
public:
    FocusWatch(QWidget* widget, std::function<void()> onEnter, std::function<void()> onExit)
        : QObject(widget), enter_(std::move(onEnter)), exit_(std::move(onExit))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut)
            return false;
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        auto& handler = event->type() == QEvent::FocusIn ? enter_ : exit_;
        if (handler)
            QTimer::singleShot(0, watched, handler);
        return false;
    }

private:
    std::function<void()> enter_;
    std::function<void()> exit_;
};

// A line edit that takes only the characters of `allowed`.
class CharFilter final : public QObject {
public:
    CharFilter(QLineEdit* edit, QString allowed) : QObject(edit), allowed_(std::move(allowed))
    {
        edit->installEventFilter(this);
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        return grid::IsTypedCharacter(*key) && !allowed_.contains(key->text().at(0));
    }

private:
    QString allowed_;
};

// Lines of a clipboard text; a last empty line (text ending in a line break)
// is not a line.
QStringList ClipboardLines(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(breaks);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

int GbkSize(const QString& text)
{
    auto g = gbk::FromUtf8(U(text));
    return g ? static_cast<int>(g->size()) : -1;
}

// Pasted names must be storable; a name longer than its field is cut when
// it goes into the roster. The refusal message, or empty.
std::string UnstorableName(const QStringList& names)
{
    for (const QString& name : names)
        if (GbkSize(name) < 0)
            return roster_rules::NameFitsMessage(U(name)).value_or(std::string());
    return {};
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

void TMainForm::BuildStudentPage(QFrame* frame)
{
    auto label = [frame](const char* text) { return new QLabel(QString::fromUtf8(text), frame); };
    auto entry = [frame](const char* name, int maxLength, int width) {
        auto* e = new QLineEdit(frame);
        e->setObjectName(QString::fromUtf8(name));
        e->setMaxLength(maxLength);
        e->setFixedWidth(width);
        return e;
    };

    // File commands and the current file.
    BtnXSNew = MakeButton(frame, "BtnXSNew", "新建学生信息文件");
    BtnXSOpenAs = MakeButton(frame, "BtnXSOpenAs", "打开学生信息文件");
    BtnXSSave = MakeButton(frame, "BtnXSSave", "保存学生信息文件");
    BtnXSSaveAs = MakeButton(frame, "BtnXSSaveAs", "另存学生信息文件");
    BtnXSSave->setEnabled(false);
    LblCurrentXSFileName = new QLabel(frame);
    LblCurrentXSFileName->setObjectName(QStringLiteral("LblCurrentXSFileName"));
    LblCurrentXSFileName->setStyleSheet(QStringLiteral("color: red;"));
    LblCurrentXSFileName->setWordWrap(true);
    CheshixstsLabel = new QLabel(QString::fromUtf8(kDefaultHint), frame);
    CheshixstsLabel->setObjectName(QStringLiteral("CheshixstsLabel"));
    CheshixstsLabel->setStyleSheet(QStringLiteral("color: blue;"));
    CheshixstsLabel->setWordWrap(true);
    CheshixstsLabel->setVisible(false);

    // Grade group.
    GroupBoxNJ = new QGroupBox(frame);
    GroupBoxNJ->setObjectName(QStringLiteral("GroupBoxNJ"));
    CBAllowNJ = new QCheckBox(QStringLiteral("启用年级"), GroupBoxNJ);
    CBAllowNJ->setObjectName(QStringLiteral("CBAllowNJ"));
    LblNJCodeLen = new QLabel(QStringLiteral("年级编码长度："), GroupBoxNJ);
    EdtNJCodeLen = entry("EdtNJCodeLen", 2, 36);
    EdtNJCodeLen->setParent(GroupBoxNJ);
    LblNJCodeLenRange = new QLabel(QStringLiteral("（范围1-10）"), GroupBoxNJ);
    SGridNJ = new QTableWidget(GroupBoxNJ);
    SGridNJ->setObjectName(QStringLiteral("SGridNJ"));
    grid::SetUp(SGridNJ, QString(), {QStringLiteral("年级名称"), QStringLiteral("年级编码")});
    SGridNJ->setColumnWidth(kGradeName, 130);
    BtnNianJiAdd = MakeButton(GroupBoxNJ, "BtnNianJiAdd", "增加");
    BtnNianJiDelete = MakeButton(GroupBoxNJ, "BtnNianJiDelete", "删除");
    for (QPushButton* b : {BtnNianJiAdd, BtnNianJiDelete})
        b->setMinimumWidth(70);
    {
        auto* lenRow = new QHBoxLayout;
        lenRow->addWidget(LblNJCodeLen);
        lenRow->addWidget(EdtNJCodeLen);
        lenRow->addWidget(LblNJCodeLenRange);
        lenRow->addStretch(1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(BtnNianJiAdd);
        buttons->addWidget(BtnNianJiDelete);
        auto* g = new QVBoxLayout(GroupBoxNJ);
        g->setContentsMargins(8, 4, 8, 6);
        g->setSpacing(4);
        g->addWidget(CBAllowNJ);
        g->addLayout(lenRow);
        g->addWidget(SGridNJ, 1);
        g->addLayout(buttons);
    }

    // Class group.
    GroupBoxBJ = new QGroupBox(frame);
    GroupBoxBJ->setObjectName(QStringLiteral("GroupBoxBJ"));
    CBAllowBJ = new QCheckBox(QStringLiteral("启用班级"), GroupBoxBJ);
    CBAllowBJ->setObjectName(QStringLiteral("CBAllowBJ"));
    LblBJCodeLen = new QLabel(QStringLiteral("班级编码长度："), GroupBoxBJ);
    EdtBJCodeLen = entry("EdtBJCodeLen", 1, 36);
    EdtBJCodeLen->setParent(GroupBoxBJ);
    LblBJCodeLenRange = new QLabel(QStringLiteral("（范围1-3）"), GroupBoxBJ);
    {
        auto* g = new QHBoxLayout(GroupBoxBJ);
        g->setContentsMargins(8, 4, 8, 4);
        g->addWidget(CBAllowBJ);
        g->addSpacing(12);
        g->addWidget(LblBJCodeLen);
        g->addWidget(EdtBJCodeLen);
        g->addWidget(LblBJCodeLenRange);
        g->addStretch(1);
    }

    // Selection line.
    LblNJ = label("年级：");
    CBNJSelected = new QComboBox(frame);
    CBNJSelected->setObjectName(QStringLiteral("CBNJSelected"));
    CBNJSelected->setMinimumWidth(110);
    LblBJ = label("班级：");
    EdtBJSelected = entry("EdtBJSelected", 3, 44);
    LblBJ4 = new QLabel(QStringLiteral("（范围）"), frame);
    LblBJ4->setObjectName(QStringLiteral("LblBJ4"));
    LblBJ4->setWordWrap(true);

    // Admission numbers.
    CBRelation = new QCheckBox(QStringLiteral("年级和班级编码和准考证号关联"), frame);
    CBRelation->setObjectName(QStringLiteral("CBRelation"));
    LblAdmissionLen = label("准考证长度：");
    EdtAdmissionLen = entry("EdtAdmissionLen", 2, 36);
    auto* prefixLabel = label("准考证前几位：");
    EdtAdmissionSub = entry("EdtAdmissionSub", 18, 150);
    auto* note = label("如果答题卡上准考证位置有9列，而这里设置准考证长度只有3位时，只要涂准考证位置前3列即可");
    note->setStyleSheet(QStringLiteral("color: red;"));
    note->setWordWrap(true);

    // Student table and its commands.
    SGridXS = new QTableWidget(frame);
    SGridXS->setObjectName(QStringLiteral("SGridXS"));
    grid::SetUp(SGridXS, QString(),
                {QStringLiteral("准考证号"), QStringLiteral("姓名"), QStringLiteral("年级编码"), QStringLiteral("班级编码")});
    SGridXS->setColumnWidth(0, 40);
    SGridXS->setColumnWidth(kAdmission, 112);
    SGridXS->setColumnWidth(kName, 84);
    SGridXS->setColumnWidth(kGradeCode, 68);
    BtnXueShengAdd = MakeButton(frame, "BtnXueShengAdd", "增加");
    BtnXueShengDelete = MakeButton(frame, "BtnXueShengDelete", "删除");
    BtnXueShengAddBatch = MakeButton(frame, "BtnXueShengAddBatch", "批量增加");
    BtnXueShengDeleteAll = MakeButton(frame, "BtnXueShengDeleteAll", "删除所有");
    BtnXueShengPasteFrom = MakeButton(frame, "BtnXueShengPasteFrom", "从表格粘贴");
    BtnXueShengPasteFromName = MakeButton(frame, "BtnXueShengPasteFromName", "从表格粘贴姓名");
    BtnXueShengDelete->setEnabled(false);
    ExcelMemo = new QPlainTextEdit(frame);
    ExcelMemo->setObjectName(QStringLiteral("ExcelMemo"));
    ExcelMemo->setVisible(false);
    LblXSTiShi = new QLabel(frame);
    LblXSTiShi->setObjectName(QStringLiteral("LblXSTiShi"));
    LblXSTiShi->setStyleSheet(QStringLiteral("color: grey;"));
    LblXSTiShi->setWordWrap(true);

    Form3 = new TForm3(Ask(), this);

    // Layout: settings on the left, the student table on the right.
    auto* files = new QGridLayout;
    files->setSpacing(4);
    files->addWidget(BtnXSNew, 0, 0);
    files->addWidget(BtnXSOpenAs, 0, 1);
    files->addWidget(BtnXSSave, 1, 0);
    files->addWidget(BtnXSSaveAs, 1, 1);
    auto* selection = new QHBoxLayout;
    selection->addWidget(LblNJ);
    selection->addWidget(CBNJSelected, 1);
    selection->addSpacing(8);
    selection->addWidget(LblBJ);
    selection->addWidget(EdtBJSelected);
    auto* admission = new QHBoxLayout;
    admission->addWidget(LblAdmissionLen);
    admission->addWidget(EdtAdmissionLen);
    admission->addSpacing(8);
    admission->addWidget(prefixLabel);
    admission->addWidget(EdtAdmissionSub, 1);

    auto* left = new QVBoxLayout;
    left->setSpacing(5);
    left->addLayout(files);
    left->addWidget(LblCurrentXSFileName);
    left->addWidget(GroupBoxNJ, 1);
    left->addWidget(GroupBoxBJ);
    left->addLayout(selection);
    left->addWidget(LblBJ4);
    left->addWidget(CBRelation);
    left->addLayout(admission);
    left->addWidget(note);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(4);
    buttons->addWidget(BtnXueShengAdd, 0, 0);
    buttons->addWidget(BtnXueShengDelete, 0, 1);
    buttons->addWidget(BtnXueShengAddBatch, 0, 2);
    buttons->addWidget(BtnXueShengDeleteAll, 1, 0);
    buttons->addWidget(BtnXueShengPasteFrom, 1, 1);
    buttons->addWidget(BtnXueShengPasteFromName, 1, 2);
    auto* right = new QVBoxLayout;
    right->setSpacing(5);
    right->addWidget(CheshixstsLabel);
    right->addWidget(SGridXS, 1);
    right->addLayout(buttons);
    right->addWidget(LblXSTiShi);

    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(6, 4, 6, 0);
    layout->setSpacing(10);
    layout->addLayout(left, 0);
    layout->addLayout(right, 1);

    // Key filters of the entries.
    new CharFilter(EdtNJCodeLen, QString::fromUtf8(kDigits));
    new CharFilter(EdtBJCodeLen, QStringLiteral("123"));
    new CharFilter(EdtBJSelected, QString::fromUtf8(kDigits));
    new CharFilter(EdtAdmissionLen, QString::fromUtf8(kDigits));
    new CharFilter(EdtAdmissionSub, QString::fromUtf8(kDigits));

    gradeDelegate_ = new grid::CellDelegate(
        SGridNJ, [this](int r, int c, QLineEdit& e, const QKeyEvent& k) { return SGridNJKeyPress(r, c, e, k); },
        [this](int r, int c, QLineEdit& e) { SGridNJKeyUp(r, c, e); }, {kGradeCodeCol});
    studentDelegate_ = new grid::CellDelegate(
        SGridXS, [this](int r, int c, QLineEdit& e, const QKeyEvent& k) { return SGridXSKeyPress(r, c, e, k); },
        [this](int r, int c, QLineEdit& e) { SGridXSKeyUp(r, c, e); }, {kAdmission});

    connect(BtnXSNew, &QPushButton::clicked, this, &TMainForm::BtnXSNewClick);
    connect(BtnXSOpenAs, &QPushButton::clicked, this, &TMainForm::BtnXSOpenAsClick);
    connect(BtnXSSave, &QPushButton::clicked, this, &TMainForm::BtnXSSaveClick);
    connect(BtnXSSaveAs, &QPushButton::clicked, this, &TMainForm::BtnXSSaveAsClick);
    connect(CBAllowNJ, &QCheckBox::clicked, this, &TMainForm::CBAllowNJClick);
    connect(CBAllowBJ, &QCheckBox::clicked, this, &TMainForm::CBAllowBJClick);
    connect(CBRelation, &QCheckBox::clicked, this, &TMainForm::CBRelationClick);
    connect(EdtBJCodeLen, &QLineEdit::textChanged, this, &TMainForm::EdtBJCodeLenChange);
    connect(EdtBJSelected, &QLineEdit::textChanged, this, &TMainForm::EdtBJSelectedChange);
    connect(CBNJSelected, &QComboBox::currentIndexChanged, this, &TMainForm::CBNJSelectedChange);
    connect(BtnNianJiAdd, &QPushButton::clicked, this, &TMainForm::BtnNianJiAddClick);
    connect(BtnNianJiDelete, &QPushButton::clicked, this, &TMainForm::BtnNianJiDeleteClick);
    connect(BtnXueShengAdd, &QPushButton::clicked, this, &TMainForm::BtnXueShengAddClick);
    connect(BtnXueShengDelete, &QPushButton::clicked, this, &TMainForm::BtnXueShengDeleteClick);
    connect(BtnXueShengAddBatch, &QPushButton::clicked, this, &TMainForm::BtnXueShengAddBatchClick);
    connect(BtnXueShengDeleteAll, &QPushButton::clicked, this, &TMainForm::BtnXueShengDeleteAllClick);
    connect(BtnXueShengPasteFrom, &QPushButton::clicked, this, &TMainForm::BtnXueShengPasteFromClick);
    connect(BtnXueShengPasteFromName, &QPushButton::clicked, this, &TMainForm::BtnXueShengPasteFromNameClick);
    connect(SGridXS, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) { SGridXSSelectCell(row, column); });
    connect(SGridXS, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        // A cell whose text differs from the one it had when entered.
        if (!XSLoading && item->column() > 0 && item->row() == SGridXS->currentRow() &&
            item->text() != XSCellTextOnEnter)
            SetRosterModified(true);
    });
    connect(SGridNJ, &QTableWidget::itemChanged, this, [this](QTableWidgetItem*) {
        if (!XSLoading)
            SetRosterModified(true);
    });
    new FocusWatch(EdtNJCodeLen, {}, [this] { EdtNJCodeLenExit(); });
    new FocusWatch(EdtBJCodeLen, {}, [this] { EdtBJCodeLenExit(); });
    new FocusWatch(EdtAdmissionLen, {}, [this] { EdtAdmissionLenExit(); });
    new FocusWatch(CBNJSelected, [this] { CBNJSelectedEnter(); }, {});
    new FocusWatch(EdtBJSelected, [this] { EdtBJSelectedEnter(); }, {});
    new FocusWatch(SGridXS, [this] { BtnXueShengDelete->setEnabled(SGridXS->rowCount() > 0); }, {});
    // Leaving the grade group (for another control of this window) checks the grade table.
    appConnections_.push_back(connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old && now && now->window() == this && GroupBoxNJ->isAncestorOf(old) && !GroupBoxNJ->isAncestorOf(now))
            QTimer::singleShot(0, this, &TMainForm::GroupBoxNJExit);
    }));
}

// ---------------------------------------------------------------------------
// Page values

QString TMainForm::PrefixText() const
{
    return EdtAdmissionSub->text();
}

int TMainForm::AdmissionLengthOnPage() const
{
    return EdtAdmissionLen->text().toInt();
}

int TMainForm::GradeCodeLengthOnPage() const
{
    const QString t = EdtNJCodeLen->text();
    return t.isEmpty() ? 5 : t.toInt();
}

// The grade and class codes a new student row gets.
QString TMainForm::RowGradeCode() const
{
    return CBAllowNJ->isChecked() ? Q(Session->roster.selectedGrade.code.Utf8()) : QString();
}

QString TMainForm::RowClassCode() const
{
    return CBAllowBJ->isChecked() ? EdtBJSelected->text() : QString();
}

void TMainForm::SetRosterModified(bool modified)
{
    RosterModified = modified;
    BtnXSSave->setEnabled(modified);
    // Once marking has begun the roster belongs to the marking raw file too.
    if (modified && SessionStarted)
        SetUnsavedChanges(true);
}

void TMainForm::ShowCurrentXSFile()
{
    LblCurrentXSFileName->setText(CurrentXSFile.empty()
                                      ? QString()
                                      : QStringLiteral("当前学生文件：") + PathText(CurrentXSFile.filename()));
}

// ---------------------------------------------------------------------------
// Filling the page and folding it back

void TMainForm::ShowRosterOnPage()
{
    StudentRoster& r = Session->roster;
    XSLoading = true;
    gradeDelegate_->CommitOpenEditor();
    studentDelegate_->CommitOpenEditor();

    CBAllowNJ->setChecked(r.gradeEnabled != 0);
    EdtNJCodeLen->setText(QString::number(r.gradeCodeLength));
    SGridNJ->setEnabled(true);
    SGridNJ->setRowCount(0);
    for (int i = 0; i < r.gradeCount; ++i) {
        int row = grid::AppendRow(SGridNJ, {kGradeName, kGradeCodeCol});
        grid::SetText(SGridNJ, row, kGradeName, Q(r.grades[i].name.Utf8()));
        grid::SetText(SGridNJ, row, kGradeCodeCol, Q(r.grades[i].code.Utf8()));
    }
    XSLocked = false;
    EnableGradeControls(CBAllowNJ->isChecked());

    CBAllowBJ->setChecked(r.classEnabled != 0);
    EdtBJCodeLen->setText(QString::number(r.classCodeLength));
    EnableClassControls(CBAllowBJ->isChecked());

    CBNJSelected->clear();
    int selected = -1;
    for (int i = 0; i < r.gradeCount; ++i) {
        CBNJSelected->addItem(Q(r.grades[i].name.Utf8()));
        if (r.grades[i].code.View() == r.selectedGrade.code.View())
            selected = i;
    }
    CBNJSelected->setCurrentIndex(selected);
    EdtBJSelected->setText(Q(r.selectedClassCode.Utf8()));

    CBRelation->setChecked(r.admissionLinked != 0);
    CBRelation->setEnabled(CBAllowNJ->isChecked() || CBAllowBJ->isChecked());
    EdtAdmissionLen->setText(QString::number(r.admissionLength));
    EdtAdmissionSub->setText(Q(r.admissionPrefix.Utf8()));
    EdtAdmissionSub->setReadOnly(CBRelation->isEnabled() && CBRelation->isChecked());

    FillStudentView();
    XSLoading = false;
    studentPageFilled_ = true;
    SetXSLocked(r.studentCount > 0);
}

void TMainForm::FillStudentView()
{
    const StudentRoster& r = Session->roster;
    const std::string selectedClass = U(EdtBJSelected->text());
    {
        QSignalBlocker block(SGridXS);
        studentDelegate_->CommitOpenEditor();
        SGridXS->setRowCount(0);
        for (int i = 0; i < r.studentCount; ++i) {
            if (!r.IsInView(i, selectedClass))
                continue;
            const StudentEntry& s = r.students[i];
            int row = grid::AppendRow(SGridXS, {kAdmission, kName}, false);
            grid::SetText(SGridXS, row, kAdmission, Q(s.admissionNumber.Utf8()));
            grid::SetText(SGridXS, row, kName, Q(s.name.Utf8()));
            grid::SetText(SGridXS, row, kGradeCode, Q(s.gradeCode.Utf8()));
            grid::SetText(SGridXS, row, kClassCode, Q(s.classCode.Utf8()));
        }
        grid::NumberRows(SGridXS);
    }
    if (SGridXS->rowCount() > 0)
        SGridXS->setCurrentCell(SGridXS->rowCount() - 1, kAdmission);
    else
        XSRosterIndex = -1;
    BtnXueShengDelete->setEnabled(SGridXS->rowCount() > 0);
}

void TMainForm::FoldStudentTable()
{
    studentDelegate_->CommitOpenEditor();
    StudentRoster& r = Session->roster;
    bool refused = false;
    for (int row = 0; row < SGridXS->rowCount(); ++row) {
        const std::string adm = U(grid::Text(SGridXS, row, kAdmission));
        const std::string name = U(grid::Text(SGridXS, row, kName));
        const std::string gc = U(grid::Text(SGridXS, row, kGradeCode));
        const std::string cc = U(grid::Text(SGridXS, row, kClassCode));
        int index = r.FindStudentInView(gc, cc, adm);
        if (index >= 0) {
            if (r.students[index].name.Utf8() != name)
                r.students[index].name.SetUtf8Truncated(name);
            continue;
        }
        StudentEntry e{};
        e.admissionNumber.SetUtf8Truncated(adm);
        e.name.SetUtf8Truncated(name);
        e.gradeCode.SetUtf8Truncated(gc);
        e.classCode.SetUtf8Truncated(cc);
        if (!r.AppendStudent(e))
            refused = true;
    }
    if (refused)
        Ask().ShowMessage(kRosterFull);
}

void TMainForm::StorePageIntoRoster()
{
    gradeDelegate_->CommitOpenEditor();
    StudentRoster& r = Session->roster;
    r.gradeEnabled = CBAllowNJ->isChecked() ? 1 : 0;
    r.gradeCodeLength = GradeCodeLengthOnPage();
    std::memset(r.grades, 0, sizeof r.grades);
    r.gradeCount = 0;
    for (int row = 0; row < SGridNJ->rowCount() && r.gradeCount < StudentRoster::MaxGrades; ++row) {
        GradeEntry& g = r.grades[r.gradeCount++];
        g.name.SetUtf8Truncated(U(grid::Text(SGridNJ, row, kGradeName)));
        g.code.SetUtf8Truncated(U(grid::Text(SGridNJ, row, kGradeCodeCol)));
    }
    r.classEnabled = CBAllowBJ->isChecked() ? 1 : 0;
    if (!EdtBJCodeLen->text().isEmpty())
        r.classCodeLength = EdtBJCodeLen->text().toInt();
    r.selectedClassCode.SetUtf8Truncated(U(EdtBJSelected->text()));
    r.admissionLinked = CBRelation->isChecked() ? 1 : 0;
    if (int len = AdmissionLengthOnPage(); len >= 2 && len <= 20)
        r.admissionLength = len;
    r.admissionPrefix.SetUtf8Truncated(U(EdtAdmissionSub->text()));
    FoldStudentTable();
}

void TMainForm::RefreshStudentView()
{
    RecomputeAdmissionPrefix();
    FoldStudentTable();
    FillStudentView();
    BtnXueShengDelete->setEnabled(SGridXS->rowCount() > 0);
    SetRosterModified(true);
}

void TMainForm::RecomputeAdmissionPrefix()
{
    roster_rules::PrefixInputs in;
    in.linked = CBRelation->isChecked() && CBRelation->isEnabled();
    in.gradeEnabled = CBAllowNJ->isChecked();
    in.classEnabled = CBAllowBJ->isChecked();
    if (CBNJSelected->currentIndex() >= 0)
        in.selectedGradeCode = Session->roster.selectedGrade.code.Utf8();
    in.selectedClassCode = U(EdtBJSelected->text());
    if (auto prefix = roster_rules::DeriveAdmissionPrefix(in)) {
        EdtAdmissionSub->setText(Q(*prefix));
        EdtAdmissionSub->setReadOnly(roster_rules::PrefixReadOnly(*prefix));
    }
}

// ---------------------------------------------------------------------------
// Lock and switches

void TMainForm::SetXSLocked(bool locked)
{
    XSLocked = locked;
    LblXSTiShi->setText(locked ? QString::fromUtf8(kLockTip) : QString());
    for (QWidget* w : {static_cast<QWidget*>(CBAllowNJ), static_cast<QWidget*>(CBAllowBJ),
                       static_cast<QWidget*>(EdtAdmissionLen), static_cast<QWidget*>(LblAdmissionLen)})
        w->setEnabled(!locked);
    if (locked) {
        EnableGradeControls(CBAllowNJ->isChecked());
        EnableClassControls(CBAllowBJ->isChecked());
        return;
    }
    // Unlocking re-applies both switches as if clicked.
    CBAllowNJClick();
    CBAllowBJClick();
}

void TMainForm::EnableGradeControls(bool on)
{
    const bool editable = on && !XSLocked;
    for (QWidget* w : std::initializer_list<QWidget*>{LblNJCodeLen, EdtNJCodeLen, LblNJCodeLenRange, SGridNJ,
                                                      BtnNianJiAdd, BtnNianJiDelete})
        w->setEnabled(editable);
    LblNJ->setEnabled(on);
    CBNJSelected->setEnabled(on);
    // Black text while the grade settings can be edited, silver otherwise.
    QPalette p = SGridNJ->palette();
    const QColor text = LblNJCodeLen->isEnabled() ? QColor(Qt::black) : QColor(192, 192, 192);
    p.setColor(QPalette::Active, QPalette::Text, text);
    p.setColor(QPalette::Inactive, QPalette::Text, text);
    p.setColor(QPalette::Disabled, QPalette::Text, text);
    SGridNJ->setPalette(p);
    SGridNJ->viewport()->update();
}

void TMainForm::EnableClassControls(bool on)
{
    const bool editable = on && !XSLocked;
    for (QWidget* w : std::initializer_list<QWidget*>{LblBJCodeLen, EdtBJCodeLen, LblBJCodeLenRange})
        w->setEnabled(editable);
    for (QWidget* w : std::initializer_list<QWidget*>{LblBJ, EdtBJSelected, LblBJ4})
        w->setEnabled(on);
    const int length = EdtBJCodeLen->text().isEmpty() ? Session->roster.classCodeLength : EdtBJCodeLen->text().toInt();
    if (on)
        EdtBJSelected->setMaxLength(std::clamp(length, 1, 3));
    LblBJ4->setText(Q(roster_rules::ClassCodeRangeText(on, length)));
}

void TMainForm::CBAllowNJClick()
{
    if (XSLoading)
        return;
    Session->roster.gradeEnabled = CBAllowNJ->isChecked() ? 1 : 0;
    EnableGradeControls(CBAllowNJ->isChecked());
    CBRelation->setEnabled(CBAllowNJ->isChecked() || CBAllowBJ->isChecked());
    RefreshStudentView();
}

void TMainForm::CBAllowBJClick()
{
    if (XSLoading)
        return;
    Session->roster.classEnabled = CBAllowBJ->isChecked() ? 1 : 0;
    EnableClassControls(CBAllowBJ->isChecked());
    CBRelation->setEnabled(CBAllowNJ->isChecked() || CBAllowBJ->isChecked());
    if (CBAllowBJ->isChecked() && EdtBJSelected->text().isEmpty()) {
        XSLoading = true;  // the refresh below covers the new class
        EdtBJSelected->setText(Q(roster_rules::FirstClassCode(EdtBJCodeLen->text().toInt())));
        XSLoading = false;
    }
    RefreshStudentView();
}

void TMainForm::CBRelationClick()
{
    if (XSLoading)
        return;
    Session->roster.admissionLinked = CBRelation->isChecked() ? 1 : 0;
    RecomputeAdmissionPrefix();
}

// ---------------------------------------------------------------------------
// Setting entries

// Shows a failed length check, puts its reset value into the entry, and
// keeps the focus there when the check asks for it; true when the entry's
// value may be taken.
static bool TakeLengthCheck(Prompts& prompts, QLineEdit* entry, const roster_rules::LengthCheck& check)
{
    if (check.ok)
        return true;
    prompts.ShowMessage(check.message);
    if (check.resetTo)
        entry->setText(QString::number(*check.resetTo));
    if (check.keepFocus) {
        entry->setFocus();
        return false;
    }
    return true;
}

void TMainForm::EdtNJCodeLenExit()
{
    if (TakeLengthCheck(Ask(), EdtNJCodeLen, roster_rules::CheckGradeCodeLength(U(EdtNJCodeLen->text()))))
        Session->roster.gradeCodeLength = GradeCodeLengthOnPage();
}

void TMainForm::EdtBJCodeLenChange()
{
    if (XSLoading || EdtBJCodeLen->text().isEmpty())
        return;
    const int length = EdtBJCodeLen->text().toInt();
    Session->roster.classCodeLength = length;
    EnableClassControls(CBAllowBJ->isChecked());
    // A new length starts again at the first class.
    EdtBJSelected->setText(Q(roster_rules::FirstClassCode(length)));
}

void TMainForm::EdtBJCodeLenExit()
{
    auto check = roster_rules::CheckClassCodeLength(U(EdtBJCodeLen->text()));
    if (!check.ok) {
        Ask().ShowMessage(check.message);
        EdtBJCodeLen->setFocus();
    }
}

void TMainForm::EdtAdmissionLenExit()
{
    if (TakeLengthCheck(Ask(), EdtAdmissionLen, roster_rules::CheckAdmissionLength(U(EdtAdmissionLen->text()))))
        Session->roster.admissionLength = AdmissionLengthOnPage();
}

// ---------------------------------------------------------------------------
// Grade selection and class entry

void TMainForm::RebuildGradeSelection()
{
    const QString previous = CBNJSelected->currentText();
    const bool hadSelection = CBNJSelected->currentIndex() >= 0;
    QSignalBlocker block(CBNJSelected);
    CBNJSelected->clear();
    for (int row = 0; row < SGridNJ->rowCount(); ++row)
        CBNJSelected->addItem(grid::Text(SGridNJ, row, kGradeName));
    CBNJSelected->setCurrentIndex(hadSelection ? CBNJSelected->findText(previous) : -1);
    if (CBNJSelected->currentIndex() < 0)
        EdtAdmissionSub->clear();
}

void TMainForm::CBNJSelectedEnter()
{
    QTimer::singleShot(0, this, [this] { RunStudentListCheck(); });
    RebuildGradeSelection();
}

void TMainForm::CBNJSelectedChange(int index)
{
    if (XSLoading || index < 0 || index >= SGridNJ->rowCount())
        return;
    GradeEntry& g = Session->roster.selectedGrade;
    g.name.SetUtf8Truncated(U(grid::Text(SGridNJ, index, kGradeName)));
    g.code.SetUtf8Truncated(U(grid::Text(SGridNJ, index, kGradeCodeCol)));
    RefreshStudentView();
}

void TMainForm::EdtBJSelectedEnter()
{
    QTimer::singleShot(0, this, [this] { RunStudentListCheck(); });
}

void TMainForm::EdtBJSelectedChange()
{
    if (XSLoading)
        return;
    const std::string code = U(EdtBJSelected->text());
    const int length = EdtBJCodeLen->text().toInt();
    if (static_cast<int>(code.size()) != length)
        return;
    auto check = roster_rules::CheckClassCode(code, length);
    if (check.refused) {
        Ask().ShowMessage(check.message);
        EdtBJSelected->setText(Q(check.replacement));  // runs this handler again with a valid class
        return;
    }
    RefreshStudentView();
}

// ---------------------------------------------------------------------------
// Grade table

bool TMainForm::SGridNJKeyPress(int, int column, QLineEdit& editor, const QKeyEvent& key)
{
    if (!grid::IsTypedCharacter(key))
        return false;
    const QChar c = key.text().at(0);
    if (column == kGradeCodeCol)
        return !grid::AcceptsCharacter(editor, c, QString::fromUtf8(kDigits), GradeCodeLengthOnPage());
    // A grade name fits its 49-byte field and can be stored.
    const int size = GbkSize(editor.text() + key.text());
    return size < 0 || (!editor.hasSelectedText() && size > 49);
}

void TMainForm::SGridNJKeyUp(int row, int column, QLineEdit& editor)
{
    const int selected = CBNJSelected->currentIndex();
    if (column == kGradeName) {
        if (row == selected)
            CBNJSelected->setItemText(row, editor.text());
        return;
    }
    if (editor.text().size() != GradeCodeLengthOnPage())
        return;
    std::vector<roster_rules::GradeRow> rows;
    for (int r = 0; r < SGridNJ->rowCount(); ++r)
        rows.push_back({U(grid::Text(SGridNJ, r, kGradeName)),
                        r == row ? U(editor.text()) : U(grid::Text(SGridNJ, r, kGradeCodeCol))});
    if (auto message = roster_rules::CheckTypedGradeCode(rows, row)) {
        editor.clear();
        Ask().ShowMessage(*message);
        return;
    }
    if (row == selected) {
        grid::SetText(SGridNJ, row, kGradeCodeCol, editor.text());
        CBNJSelectedChange(row);
    }
}

void TMainForm::BtnNianJiAddClick()
{
    if (SGridNJ->rowCount() >= StudentRoster::MaxGrades) {
        Ask().ShowMessage("最多只能设置50个年级。");
        return;
    }
    int row = grid::AppendRow(SGridNJ, {kGradeName, kGradeCodeCol});
    grid::FocusCell(SGridNJ, row, kGradeName, false);
    SetRosterModified(true);
}

void TMainForm::BtnNianJiDeleteClick()
{
    int row = SGridNJ->currentRow();
    if (row < 0)
        return;
    gradeDelegate_->CommitOpenEditor();
    SGridNJ->removeRow(row);
    grid::NumberRows(SGridNJ);
    // The row below moves up into the place; the last row when it was the last.
    // Not std::min: at -O3 GCC 12 warns falsely of a dangling pointer to row.
    const int last = SGridNJ->rowCount() - 1;
    if (last >= 0)
        SGridNJ->setCurrentCell(row < last ? row : last, kGradeName);
    RebuildGradeSelection();
    SetRosterModified(true);
}

void TMainForm::GroupBoxNJExit()
{
    if (!CBAllowNJ->isChecked() || XSLocked)
        return;
    gradeDelegate_->CommitOpenEditor();
    std::vector<roster_rules::GradeRow> rows;
    for (int r = 0; r < SGridNJ->rowCount(); ++r)
        rows.push_back({U(grid::Text(SGridNJ, r, kGradeName)), U(grid::Text(SGridNJ, r, kGradeCodeCol))});
    auto check = roster_rules::CheckGradeTable(rows, GradeCodeLengthOnPage());
    if (check.ok)
        return;
    Ask().ShowMessage(check.message);
    if (check.switchGradesOff) {
        CBAllowNJ->setChecked(false);
        CBAllowNJClick();
        return;
    }
    const int column = check.cell == roster_rules::GradeTableCheck::Cell::Name ? kGradeName : kGradeCodeCol;
    grid::FocusCell(SGridNJ, check.row, column, true);
}

// ---------------------------------------------------------------------------
// Student table

void TMainForm::SGridXSSelectCell(int row, int column)
{
    if (row < 0) {
        XSRosterIndex = -1;
        XSCellTextOnEnter.clear();
        return;
    }
    XSRosterIndex = Session->roster.FindStudentInView(U(grid::Text(SGridXS, row, kGradeCode)),
                                                      U(grid::Text(SGridXS, row, kClassCode)),
                                                      U(grid::Text(SGridXS, row, kAdmission)));
    XSCellTextOnEnter = grid::Text(SGridXS, row, column);
    if (column == kGradeCode || column == kClassCode)
        SGridXS->selectRow(row);
}

bool TMainForm::SGridXSKeyPress(int, int column, QLineEdit& editor, const QKeyEvent& key)
{
    if (column == kName) {
        // A name fits its 19-byte field.
        return grid::IsTypedCharacter(key) && !editor.hasSelectedText() &&
               (GbkSize(editor.text() + key.text()) < 0 || GbkSize(editor.text() + key.text()) > 19);
    }
    if (column != kAdmission)
        return false;
    // The caret never enters the admission prefix.
    const int prefixLength = static_cast<int>(PrefixText().size());
    const int caret = editor.hasSelectedText() ? editor.selectionStart() : editor.cursorPosition();
    if (key.key() == Qt::Key_Backspace)
        return !editor.hasSelectedText() && prefixLength > 0 && caret == prefixLength;
    if (key.key() == Qt::Key_Delete)
        return caret < prefixLength;
    if (!grid::IsTypedCharacter(key))
        return false;
    if (caret < prefixLength) {
        editor.setCursorPosition(prefixLength);
        return true;
    }
    return !grid::AcceptsCharacter(editor, key.text().at(0), QString::fromUtf8(kDigits), AdmissionLengthOnPage());
}

void TMainForm::SGridXSKeyUp(int row, int column, QLineEdit& editor)
{
    if (column != kAdmission)
        return;
    const QString text = editor.text();
    if (text.size() >= AdmissionLengthOnPage()) {
        for (int r = 0; r < SGridXS->rowCount(); ++r) {
            if (r != row && grid::Text(SGridXS, r, kAdmission) == text) {
                editor.setText(PrefixText());
                Ask().ShowMessage("准考证号不能重复！");
                return;
            }
        }
    }
    if (XSRosterIndex >= 0 && XSRosterIndex < Session->roster.studentCount)
        Session->roster.students[XSRosterIndex].admissionNumber.SetUtf8Truncated(U(text));
}

bool TMainForm::StudentCommandAllowed(bool askFirstEntry, bool* firstEntry)
{
    if (firstEntry)
        *firstEntry = false;
    if (CBAllowNJ->isChecked() && CBNJSelected->currentIndex() < 0) {
        Ask().ShowMessage("已启用年级，请先选择年级！");
        CBNJSelected->setFocus();
        return false;
    }
    if (askFirstEntry && Session->roster.studentCount == 0 && SGridXS->rowCount() == 0) {
        if (!Ask().AskYesNo(kFirstEntryQuestion))
            return false;
        if (firstEntry)
            *firstEntry = true;
    }
    return true;
}

// The roster holds at most 5000 students: new rows beyond it are refused.
bool TMainForm::StudentTableHasRoom(int newRows)
{
    const StudentRoster& r = Session->roster;
    int unfolded = 0;
    for (int row = 0; row < SGridXS->rowCount(); ++row)
        if (r.FindStudentInView(U(grid::Text(SGridXS, row, kGradeCode)), U(grid::Text(SGridXS, row, kClassCode)),
                                U(grid::Text(SGridXS, row, kAdmission))) < 0)
            ++unfolded;
    if (r.studentCount + unfolded + newRows <= StudentRoster::MaxStudents)
        return true;
    Ask().ShowMessage(kRosterFull);
    return false;
}

void TMainForm::BtnXueShengAddClick()
{
    bool first = false;
    if (!StudentCommandAllowed(true, &first) || !StudentTableHasRoom(1))
        return;
    if (first)
        SetXSLocked(true);
    studentDelegate_->CommitOpenEditor();
    int row = grid::AppendRow(SGridXS, {kAdmission, kName});
    grid::SetText(SGridXS, row, kAdmission, PrefixText());
    grid::SetText(SGridXS, row, kGradeCode, RowGradeCode());
    grid::SetText(SGridXS, row, kClassCode, RowClassCode());
    grid::FocusCell(SGridXS, row, kAdmission, true);
    if (QLineEdit* editor = studentDelegate_->OpenEditor()) {
        editor->deselect();
        editor->end(false);
    }
    BtnXueShengDelete->setEnabled(true);
    SetRosterModified(true);
}

// Batch entry and pasting fill an empty table only, and only where students
// may be entered at all.
bool TMainForm::StudentTableReadyToFill()
{
    if (SGridXS->rowCount() > 0) {
        Ask().ShowMessage(kDeleteFirst);
        SGridXS->setFocus();
        return false;
    }
    return StudentCommandAllowed(true, nullptr);
}

// A new last row with its number and name and the page's grade and class.
void TMainForm::AppendStudentRow(const QString& number, const QString& name)
{
    const int row = grid::AppendRow(SGridXS, {kAdmission, kName}, false);
    grid::SetText(SGridXS, row, kAdmission, number);
    if (!name.isEmpty())
        grid::SetText(SGridXS, row, kName, name);
    grid::SetText(SGridXS, row, kGradeCode, RowGradeCode());
    grid::SetText(SGridXS, row, kClassCode, RowClassCode());
}

// After a batch fill: the settings lock with the first students, the delete
// button, and the roster marked changed.
void TMainForm::FinishStudentFill()
{
    if (Session->roster.studentCount == 0)
        SetXSLocked(true);
    BtnXueShengDelete->setEnabled(SGridXS->rowCount() > 0);
    SetRosterModified(true);
}

// The clipboard's text, or a message when there is none.
QString TMainForm::ClipboardTextForPaste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty())
        Ask().ShowMessage("非法粘贴");
    return text;
}

void TMainForm::BtnXueShengAddBatchClick()
{
    if (!StudentTableReadyToFill())
        return;
    const int n = Form3->AskClassSize();
    if (n <= 0 || !StudentTableHasRoom(n))
        return;
    const std::string prefix = U(PrefixText());
    const int length = AdmissionLengthOnPage();
    {
        QSignalBlocker block(SGridXS);
        for (int i = 1; i <= n; ++i)
            AppendStudentRow(Q(roster_rules::NewAdmissionNumber(prefix, i, length)), QString());
        grid::NumberRows(SGridXS);
    }
    grid::FocusCell(SGridXS, 0, kName, true);
    FinishStudentFill();
}

void TMainForm::BtnXueShengDeleteClick()
{
    const int row = SGridXS->currentRow();
    if (row < 0)
        return;
    studentDelegate_->CommitOpenEditor();
    // The roster student of exactly this row, whatever was remembered before.
    StudentRoster& r = Session->roster;
    int index = r.FindStudentInView(U(grid::Text(SGridXS, row, kGradeCode)), U(grid::Text(SGridXS, row, kClassCode)),
                                    U(grid::Text(SGridXS, row, kAdmission)));
    if (index >= 0)
        r.RemoveStudent(index);
    SGridXS->removeRow(row);
    grid::NumberRows(SGridXS);
    if (SGridXS->rowCount() > 0)
        SGridXS->setCurrentCell(std::min(row, SGridXS->rowCount() - 1), kAdmission);
    SGridXS->setFocus();
    SetRosterModified(true);
    BtnXueShengDelete->setEnabled(SGridXS->rowCount() > 0);
    if (r.studentCount == 0 && SGridXS->rowCount() == 0)
        SetXSLocked(false);
}

void TMainForm::BtnXueShengDeleteAllClick()
{
    if (!Ask().AskYesNo("确定要删除学生名单列表框中的所有数据吗？"))
        return;
    studentDelegate_->CommitOpenEditor();
    Session->roster.RemoveView(U(EdtBJSelected->text()));
    SGridXS->setRowCount(0);
    XSRosterIndex = -1;
    BtnXueShengDelete->setEnabled(false);
    SetRosterModified(true);
    if (Session->roster.studentCount == 0)
        SetXSLocked(false);
}

void TMainForm::BtnXueShengPasteFromClick()
{
    if (!StudentTableReadyToFill())
        return;
    const QString text = ClipboardTextForPaste();
    if (text.isEmpty())
        return;
    ExcelMemo->setPlainText(text);
    const QStringList lines = ClipboardLines(text);
    if (!StudentTableHasRoom(static_cast<int>(lines.size())))
        return;
    const QString prefix = PrefixText();
    const int k = AdmissionLengthOnPage() - static_cast<int>(prefix.size());
    QStringList names;
    for (const QString& line : lines)
        names << line.section(QLatin1Char('\t'), 1, 1);
    if (std::string message = UnstorableName(names); !message.empty()) {
        Ask().ShowMessage(message);
        return;
    }
    int m = 0;
    for (const QString& line : lines)
        m = std::max(m, static_cast<int>(line.section(QLatin1Char('\t'), 0, 0).size()));
    {
        QSignalBlocker block(SGridXS);
        for (const QString& line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            QString number = fields.value(0);
            if (m <= k)
                number = prefix + number.rightJustified(k, QLatin1Char('0'));
            AppendStudentRow(number, fields.value(1));
        }
        grid::NumberRows(SGridXS);
    }
    if (SGridXS->rowCount() > 0)
        SGridXS->setCurrentCell(0, kAdmission);
    FinishStudentFill();
}

void TMainForm::BtnXueShengPasteFromNameClick()
{
    if (!StudentCommandAllowed(false, nullptr))
        return;
    const QString text = ClipboardTextForPaste();
    if (text.isEmpty())
        return;
    if (text.contains(QLatin1Char('\t'))) {
        Ask().ShowMessage("只需复制姓名一列的数据，请重新复制！");
        return;
    }
    ExcelMemo->setPlainText(text);
    const QStringList lines = ClipboardLines(text);
    if (lines.size() != SGridXS->rowCount()) {
        Ask().ShowMessage("复制的行数和现在列表中的行数不一致，请确保一致！");
        return;
    }
    if (std::string message = UnstorableName(lines); !message.empty()) {
        Ask().ShowMessage(message);
        return;
    }
    studentDelegate_->CommitOpenEditor();
    {
        QSignalBlocker block(SGridXS);
        for (int row = 0; row < SGridXS->rowCount(); ++row)
            grid::SetText(SGridXS, row, kName, lines.at(row));
    }
    SGridXS->viewport()->update();
    SetRosterModified(true);
}

// ---------------------------------------------------------------------------
// The student-list check and leaving the page

bool TMainForm::RunStudentListCheck()
{
    studentDelegate_->CommitOpenEditor();
    std::vector<roster_rules::StudentRow> rows;
    for (int r = 0; r < SGridXS->rowCount(); ++r)
        rows.push_back({U(grid::Text(SGridXS, r, kAdmission)), U(grid::Text(SGridXS, r, kName))});
    auto check = roster_rules::CheckStudentList(rows, AdmissionLengthOnPage());
    using Outcome = roster_rules::StudentListCheck::Outcome;
    if (check.outcome == Outcome::Pass)
        return true;
    if (check.outcome == Outcome::AskOkCancel) {
        if (Ask().AskOkCancel(check.message))
            return true;
        SGridXS->setFocus();
        return false;
    }
    Ask().ShowMessage(check.message);
    if (check.row >= 0)
        grid::FocusCell(SGridXS, check.row, kAdmission, true);
    else
        SGridXS->setFocus();
    return false;
}

// Before the marking raw file is saved from this page: the shown students
// pass the check and the page goes into the roster.
bool TMainForm::CheckStudentPage()
{
    if (Session->roster.studentCount == 0 && SGridXS->rowCount() == 0) {
        Ask().ShowMessage("请先输入学生数据或打开学生信息文件！");
        return false;
    }
    if (!RunStudentListCheck())
        return false;
    StorePageIntoRoster();
    return true;
}

void TMainForm::BtnNext3Click()
{
    if (Session->roster.studentCount == 0 && SGridXS->rowCount() == 0) {
        Ask().ShowMessage("请先输入学生数据或打开学生信息文件！");
        return;
    }
    if (!RunStudentListCheck())
        return;
    if (RosterModified) {
        PromptAnswer answer = Ask().AskYesNoCancel(kSaveQuestion);
        if (answer == PromptAnswer::Cancel)
            return;
        if (answer == PromptAnswer::Yes)
            BtnXSSaveClick();
        // Whatever became of the file, the session goes on with the page's students.
        StorePageIntoRoster();
    }
    SetActivePage(4);
    PrepareExamPage();
}

void TMainForm::PrepareStudentPage()
{
    // Coming back from the camera page keeps what was typed before.
    if (studentPageFilled_)
        StorePageIntoRoster();
    const bool modified = RosterModified;
    ShowRosterOnPage();
    // Showing the roster again changes nothing of the session.
    RosterModified = modified || RosterModified;
    BtnXSSave->setEnabled(RosterModified);
}

// ---------------------------------------------------------------------------
// Student file commands

void TMainForm::BtnXSNewClick()
{
    if (!Ask().AskYesNo("当前打开的文件将会被关闭，如有需要请先保存。是否继续新建？"))
        return;
    Session->roster.Reset();
    ShowRosterOnPage();
    CurrentXSFile.clear();
    ShowCurrentXSFile();
    CheshixstsLabel->setVisible(false);
    if (SessionStarted)
        SetUnsavedChanges(true);
}

void TMainForm::BtnXSOpenAsClick()
{
    const std::filesystem::path folder = ProgramFolder / files::FromUtf8("学生信息文件");
    QString file = Ask().GetOpenFileName(QStringLiteral("打开学生信息文件"), PathText(folder),
                                         QStringLiteral("学生信息(*.xs)"));
    if (file.isEmpty())
        return;
    const std::filesystem::path path = files::FromUtf8(U(file));
    std::string error;
    // A file that cannot be trusted leaves the roster as it was.
    if (!ReadStudentFile(path, Session->roster, &error)) {
        Ask().ShowMessage(error);
        return;
    }
    CurrentXSFile = path;
    ShowCurrentXSFile();
    ShowRosterOnPage();
    SetRosterModified(false);
    RememberStudentFile(ProgramFolder, path);
    CheshixstsLabel->setVisible(false);
    if (SessionStarted)
        SetUnsavedChanges(true);
}

void TMainForm::BtnXSSaveClick()
{
    if (CurrentXSFile.empty()) {
        BtnXSSaveAsClick();
        return;
    }
    StorePageIntoRoster();
    std::string error;
    if (!WriteStudentFile(CurrentXSFile, Session->roster, &error)) {
        Ask().ShowMessage(error);
        return;
    }
    SetRosterModified(false);
    // The saved roster is the session's roster now.
    if (SessionStarted)
        SetUnsavedChanges(true);
}

void TMainForm::BtnXSSaveAsClick()
{
    const std::filesystem::path folder = ProgramFolder / files::FromUtf8("学生信息文件");
    QString file = Ask().GetSaveFileName(QStringLiteral("另存学生信息文件"), PathText(folder),
                                         QStringLiteral("学生信息(*.xs)"));
    if (file.isEmpty())
        return;
    if (!file.endsWith(QStringLiteral(".xs"), Qt::CaseInsensitive))
        file += QStringLiteral(".xs");
    const std::filesystem::path path = files::FromUtf8(U(file));
    StorePageIntoRoster();
    std::string error;
    if (!WriteStudentFile(path, Session->roster, &error)) {
        Ask().ShowMessage(error);
        return;
    }
    RememberStudentFile(ProgramFolder, path);
    CurrentXSFile = path;
    ShowCurrentXSFile();
    SetRosterModified(false);
    if (SessionStarted)
        SetUnsavedChanges(true);
}

// ---------------------------------------------------------------------------
// Session hooks of the wizard

// The student list starts again from the file used last (or the default
// "测试.xs").
void TMainForm::ResetSessionForNewMarking()
{
    ReleaseRawFileLock();  // the new session belongs to no file yet
    recoveryCopy_.clear();  // the session before has saved or dropped its records
    StartRosterResult start = LoadStartRoster(ProgramFolder, Session->roster);
    if (!start.warning.empty())
        Ask().ShowMessage(start.warning);
    CurrentXSFile = start.currentFile;
    ShowCurrentXSFile();
    CheshixstsLabel->setVisible(start.showDefaultHint);
    {
        QSignalBlocker block(SGridXS);
        SGridXS->setRowCount(0);
    }
    studentPageFilled_ = false;
    SetRosterModified(false);
}

// After a marking raw file was opened: its roster came from no student file.
void TMainForm::ShowOpenedSession()
{
    CurrentXSFile.clear();
    ShowCurrentXSFile();
    CheshixstsLabel->setVisible(false);
    studentPageFilled_ = false;
    SetRosterModified(false);
}
