// The marking page: the live preview with its button column above, the
// marking grid below. The grid shows the session's records through
// MarkingGridModel; its standard-answer row is edited in place, its menu
// deletes records, rescores and opens a card's saved picture.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "app/ui/MainWindow.h"
#include "marking/Acceptance.h"
#include "marking/CardPicture.h"
#include "marking/Scoring.h"
#include "marking/StandardAnswerInput.h"
#include "marking/ui/MarkingGridDelegate.h"
#include "marking/ui/MarkingGridModel.h"
#include "marking/ui/StandardAnswerDialog.h"
#include "platform/Files.h"
#include "platform/qt/Prompts.h"
#include "students/ui/EditableGrid.h"

using marking_grid::FixedColumns;

namespace marking_texts {
inline constexpr const char* ReadStandardFirst = "请先阅读标准答案！用做标准答案的卡不用涂准考证号。";
inline constexpr const char* AllClassesFilter = "ALL";
inline constexpr const char* AskDeleteAll = "确定要删除本列表中所有阅卷记录吗？（请仔细考虑清楚）";
inline constexpr const char* AskDeleteAllAgain = "本列表中所有阅卷记录删除后将无法恢复，确定要删除吗？";
inline constexpr const char* HowToEditKey =
    "方法：用鼠标左键单击第一行标准答案中要修改的题的答案，可直接输入更改。"
    "标准答案修改完所有后必需按鼠标右键点重新算分";
inline constexpr const char* NoPicture =
    "没找到对应的原始图片文件,可能是没有在 阅卷设置 里设置要保存原始图片或原始图片已经被删除。";
inline constexpr const char* StandardAnswerHidesStudents =
    "列表中隐藏着其他年级或班级的阅卷记录，不能删除标准答案。请先在年级、班级框里选择显示它们。";
} // namespace marking_texts

namespace {

QString Q(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Gbk(const QString& text)
{
    return gbk::FromUtf8(text.toStdString()).value_or(std::string());
}

// Letters a standard answer of this card may use: up to its largest option
// count, A to D while no card is loaded.
int OptionLetters(const CardTemplate& t)
{
    return t.DefaultOptions > 0 ? LargestOptionCount(t) : 4;
}

} // namespace

// ---- construction ----

void TMainForm::BuildMarkingPage(QFrame* pictures, QFrame* grid)
{
    ImageView = new QLabel(pictures);
    ImageView->setObjectName(QStringLiteral("ImageView"));
    ImageView->setAlignment(Qt::AlignCenter);
    ImageView->setMinimumSize(200, 150);
    ImageView->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    ImageView->setAutoFillBackground(true);
    QPalette viewPalette = ImageView->palette();
    viewPalette.setColor(QPalette::Window, QColor(173, 190, 214));
    ImageView->setPalette(viewPalette);

    // The button column beside the preview. The buttons share one inner
    // layout, so the camera side can find the row of "开启自动阅卷".
    auto* column = new QWidget(pictures);
    column->setObjectName(QStringLiteral("Panel1Buttons"));
    column->setFixedWidth(190);
    BtnAnswerCard = MakeButton(column, "BtnAnswerCard", "阅卷");
    BtnAutoAnswerCard->setParent(column);
    BtnYJSet->setParent(column);
    BtnBZDaAn = MakeButton(column, "BtnBZDaAn", "标准答案输入");
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    for (QPushButton* b : {BtnAnswerCard, BtnAutoAnswerCard, BtnYJSet, BtnBZDaAn})
        buttons->addWidget(b);

    LblNJ4 = new QLabel(QStringLiteral("年级："), column);
    LblNJ4->setObjectName(QStringLiteral("LblNJ4"));
    NJYJ = new QComboBox(column);
    NJYJ->setObjectName(QStringLiteral("NJYJ"));
    LblBJ5 = new QLabel(QStringLiteral("班级："), column);
    LblBJ5->setObjectName(QStringLiteral("LblBJ5"));
    BJYJ = new QComboBox(column);
    BJYJ->setObjectName(QStringLiteral("BJYJ"));
    for (QComboBox* box : {NJYJ, BJYJ}) {
        box->setEditable(false);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(6);
    }
    auto* boxes = new QGridLayout;
    boxes->setHorizontalSpacing(4);
    boxes->addWidget(LblNJ4, 0, 0);
    boxes->addWidget(NJYJ, 0, 1);
    boxes->addWidget(LblBJ5, 1, 0);
    boxes->addWidget(BJYJ, 1, 1);
    boxes->setColumnStretch(1, 1);

    MemoTiShi = new QTextEdit(column);
    MemoTiShi->setObjectName(QStringLiteral("MemoTiShi"));
    MemoTiShi->setReadOnly(true);

    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(6, 0, 0, 0);
    columnLayout->setSpacing(8);
    columnLayout->addLayout(buttons);
    columnLayout->addLayout(boxes);
    columnLayout->addWidget(MemoTiShi, 1);

    auto* pictureLayout = new QHBoxLayout(pictures);
    pictureLayout->setContentsMargins(0, 0, 0, 4);
    pictureLayout->setSpacing(0);
    pictureLayout->addWidget(ImageView, 1);
    pictureLayout->addWidget(column);

    // The grid.
    SGridYJ = new QTableView(grid);
    SGridYJ->setObjectName(QStringLiteral("SGridYJ"));
    yjModel_ = new MarkingGridModel(*Session, SGridYJ);
    yjModel_->SetEdited([this](int column, const QString& text) { SGridYJSetEditText(0, column, text); });
    SGridYJ->setModel(yjModel_);
    yjDelegate_ = new MarkingGridDelegate(
        SGridYJ, *yjModel_,
        [this](int row, int column, QLineEdit& editor, const QKeyEvent& key) {
            return SGridYJKeyPress(row, column, editor, key);
        },
        [this](int row, int column, const QString& text) { SGridYJSetEditText(row, column, text); });
    SGridYJ->setItemDelegate(yjDelegate_);
    SGridYJ->verticalHeader()->setVisible(false);
    SGridYJ->verticalHeader()->setMinimumSectionSize(16);
    SGridYJ->verticalHeader()->setDefaultSectionSize(20);
    SGridYJ->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SGridYJ->horizontalHeader()->setDefaultSectionSize(25);
    SGridYJ->horizontalHeader()->setMinimumSectionSize(16);
    SGridYJ->horizontalHeader()->setHighlightSections(false);
    SGridYJ->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    SGridYJ->setShowGrid(true);
    SGridYJ->setWordWrap(false);
    SGridYJ->setSelectionMode(QAbstractItemView::SingleSelection);
    SGridYJ->setSelectionBehavior(QAbstractItemView::SelectRows);
    SGridYJ->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SGridYJ->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* gridLayout = new QVBoxLayout(grid);
    gridLayout->setContentsMargins(0, 4, 0, 0);
    gridLayout->addWidget(SGridYJ);
    Splitter1->setSizes({300, 240});

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char* name, const char* text, void (TMainForm::*slot)()) {
        QAction* a = PopupMenu1->addAction(QString::fromUtf8(text));
        a->setObjectName(QString::fromUtf8(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    Ndatikadelete = item("Ndatikadelete", "删除选中记录", &TMainForm::NdatikadeleteClick);
    NdatikadeleteAll = item("NdatikadeleteAll", "删除本列表中所有阅卷记录", &TMainForm::NdatikadeleteAllClick);
    PopupMenu1->addSeparator();
    NOpenpic = item("NOpenpic", "查看阅卷原始图片", &TMainForm::NOpenpicClick);
    PopupMenu1->addSeparator();
    NRefresh = item("NRefresh", "重新算分", &TMainForm::NRefreshClick);
    PopupMenu1->addSeparator();
    NMsg = item("NMsg", "如何修改标准答案...", &TMainForm::NMsgClick);

    FormBZDaAn = new TFormBZDaAn(Ask(), this);

    connect(NJYJ, &QComboBox::currentIndexChanged, this, &TMainForm::NJYJChange);
    connect(BJYJ, &QComboBox::currentIndexChanged, this, &TMainForm::BJYJChange);
    connect(BtnBZDaAn, &QPushButton::clicked, this, &TMainForm::BtnBZDaAnClick);
    connect(SGridYJ->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { SGridYJSelectCell(current.row(), current.column()); });
    connect(SGridYJ, &QTableView::doubleClicked, this, [this] { SGridYJDblClick(); });
    connect(SGridYJ, &QTableView::customContextMenuRequested, this, &TMainForm::ContextMenuOnGrid);
    // On the header row the menu opens without moving the current cell.
    SGridYJ->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SGridYJ->horizontalHeader(), &QHeaderView::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1Popup();
        PopupMenu1->exec(SGridYJ->horizontalHeader()->mapToGlobal(pos));
    });
    // The grid is entered and left as a whole: its cell editor is part of it.
    appConnections_.push_back(
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
            auto inside = [this](QWidget* w) { return w && (w == SGridYJ || SGridYJ->isAncestorOf(w)); };
            // The grid's own menu opening over it does not leave it.
            if (now && now->window()->windowType() == Qt::Popup)
                return;
            if (!inside(old) && inside(now))
                SGridYJEnter();
            else if (inside(old) && now && !inside(now))
                SGridYJExit();
        }));
}

void TMainForm::PrepareMarkingPage()
{
    SetUpMarkingGrid();
}

// ---- the boxes and the selection ----

MarkingGridFilter TMainForm::MarkingFilter() const
{
    const StudentRoster& roster = Session->roster;
    MarkingGridFilter f;
    f.gradeOn = roster.gradeEnabled != 0;
    const int grade = NJYJ->currentIndex();
    f.gradeChosen = grade >= 0 && grade < std::clamp(roster.gradeCount, 0, StudentRoster::MaxGrades);
    if (f.gradeChosen)
        f.gradeCode = std::string(roster.grades[grade].code.View());
    f.classOn = roster.classEnabled != 0;
    f.allClasses = BJYJ->currentIndex() <= 0;
    if (!f.allClasses)
        f.classText = Gbk(BJYJ->currentText());
    return f;
}

MarkingPageSelection TMainForm::MarkingSelection() const
{
    const MarkingGridFilter f = MarkingFilter();
    MarkingPageSelection s;
    s.gradeCode = f.gradeCode;
    s.allClasses = f.allClasses;
    s.classText = f.classText;
    return s;
}

std::string TMainForm::MissingMarkingSelection() const
{
    const StudentRoster& roster = Session->roster;
    if (roster.gradeEnabled && NJYJ->currentIndex() < 0)
        return roster_texts::ChooseGrade;
    if (roster.classEnabled && BJYJ->currentIndex() < 0)
        return roster_texts::ChooseClass;
    return {};
}

void TMainForm::NJYJChange(int index)
{
    const StudentRoster& roster = Session->roster;
    MarkingSession& session = Session->session;
    session.gradeFilter.Clear();
    if (index >= 0 && index < std::clamp(roster.gradeCount, 0, StudentRoster::MaxGrades))
        session.gradeFilter = roster.grades[index].code;
    RefreshMarkingGrid();
    SetUnsavedChanges(true);
}

void TMainForm::BJYJChange(int index)
{
    MarkingSession& session = Session->session;
    session.classFilter.Clear();
    if (index == 0)
        (void)session.classFilter.Set(marking_texts::AllClassesFilter);
    else if (index > 0)
        session.classFilter.SetTruncated(Gbk(BJYJ->itemText(index)));
    RefreshMarkingGrid();
    SetUnsavedChanges(true);
}

// ---- set-up and refresh ----

void TMainForm::SetUpMarkingGrid()
{
    const StudentRoster& roster = Session->roster;
    MarkingSession& session = Session->session;
    {
        const QSignalBlocker gradeBlocker(NJYJ);
        const QSignalBlocker classBlocker(BJYJ);
        const bool grades = roster.gradeEnabled != 0;
        LblNJ4->setEnabled(grades);
        NJYJ->setEnabled(grades);
        if (grades) {
            NJYJ->clear();
            int chosen = -1;
            const int count = std::clamp(roster.gradeCount, 0, StudentRoster::MaxGrades);
            for (int i = 0; i < count; ++i) {
                NJYJ->addItem(Q(roster.grades[i].name.Utf8()));
                if (chosen < 0 && roster.grades[i].code.View() == session.gradeFilter.View())
                    chosen = i;
            }
            NJYJ->setCurrentIndex(chosen);
        }
        const bool classes = roster.classEnabled != 0;
        LblBJ5->setEnabled(classes);
        BJYJ->setEnabled(classes);
        if (classes) {
            BJYJ->clear();
            BJYJ->addItem(QString::fromUtf8(roster_texts::AllClasses));
            const std::vector<std::string> codes = roster.DistinctClassCodes();
            int chosen = -1;
            for (std::size_t i = 0; i < codes.size(); ++i) {
                BJYJ->addItem(Q(gbk::ToUtf8(codes[i])));
                if (chosen < 0 && codes[i] == session.classFilter.View())
                    chosen = static_cast<int>(i) + 1;
            }
            if (session.classFilter.View() == marking_texts::AllClassesFilter)
                chosen = 0;
            BJYJ->setCurrentIndex(chosen);
        }
    }

    yjModel_->SetUpColumns();
    QHeaderView* header = SGridYJ->horizontalHeader();
    for (int c = 0; c < FixedColumns; ++c)
        header->resizeSection(c, marking_grid::Widths[c]);
    yjModel_->FitCaptions(header->font(), header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header));
    const ExamSetup& exam = Session->exam;
    for (int q = 0; q < yjModel_->QuestionCount(); ++q)
        header->resizeSection(FixedColumns + q, exam.questions[q].kind == 1 ? 50 : 20);

    // Every record follows the exam setup as it is now, the standard answer too.
    RescoreAll(exam, session);
    SetRescorePending(false);
    RefreshMarkingGrid();
    if (session.recordCount == 0)
        MemoTiShi->setPlainText(QString::fromUtf8(marking_texts::ReadStandardFirst));
    LayOutPreview();
    SessionStarted = 1;
}

void TMainForm::RefreshMarkingGrid()
{
    const MarkingSession& session = Session->session;
    BtnBZDaAn->setEnabled(session.recordCount == 0);
    if (session.recordCount == 0)
        MarkingReadingAdmission.clear();  // a card of an earlier session

    const QModelIndex before = SGridYJ->currentIndex();
    int row = before.row();
    int column = before.column();
    yjModel_->Refresh(MarkingFilter());

    // The row of the card read last becomes the current row.
    if (session.recordCount > 0 && !MarkingReadingAdmission.empty()) {
        const int record = session.FindRecord(MarkingReadingAdmission, 0);
        const int shown = record >= 0 ? yjModel_->RowOf(record) : -1;
        if (shown >= 0) {
            SGridYJ->setFocus(Qt::OtherFocusReason);
            row = shown;
        }
    }
    row = std::clamp(row, 0, yjModel_->rowCount() - 1);
    column = std::clamp(column < 0 ? 1 : column, 0, yjModel_->columnCount() - 1);
    const QModelIndex current = yjModel_->index(row, column);
    SGridYJ->setCurrentIndex(current);
    SGridYJ->scrollTo(current);
}

// ---- editing the standard answer ----

void TMainForm::SGridYJSelectCell(int row, int column)
{
    if (yjModel_->IsStandardAnswerCell(row, column)) {
        SGridYJ->setSelectionBehavior(QAbstractItemView::SelectItems);
        SGridYJ->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
        SGridYJ->selectionModel()->select(yjModel_->index(row, column), QItemSelectionModel::ClearAndSelect);
        yjEditStartText_ = yjModel_->Text(row, column);
    } else {
        SGridYJ->setSelectionBehavior(QAbstractItemView::SelectRows);
        SGridYJ->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
}

void TMainForm::SGridYJDblClick()
{
    const QModelIndex current = SGridYJ->currentIndex();
    if (yjModel_->IsStandardAnswerCell(current.row(), current.column()))
        SGridYJ->edit(current);
}

bool TMainForm::SGridYJKeyPress(int row, int column, QLineEdit& editor, const QKeyEvent& key)
{
    if (!yjModel_->IsStandardAnswerCell(row, column))
        return false;
    // A pasted text could break the letter order.
    if (key.matches(QKeySequence::Paste))
        return true;
    if (!grid::IsTypedCharacter(key))
        return false;  // backspace, movement, Enter
    const QChar typed = key.text().at(0);
    char letter = typed.toLatin1();
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    const int options = OptionLetters(Session->cardTemplate);
    if (letter < 'A' || letter >= 'A' + options)
        return true;
    const bool multiple = Session->exam.questions[column - FixedColumns].kind == 1;
    const std::string text = editor.text().toStdString();
    const int selected = editor.hasSelectedText() ? static_cast<int>(editor.selectedText().size()) : 0;
    if (!StandardAnswerKeyFits(text, editor.selectionStart(), selected, editor.cursorPosition(), letter, multiple))
        return true;
    if (letter != typed.toLatin1()) {
        editor.insert(QString(QLatin1Char(letter)));
        return true;
    }
    return false;
}

void TMainForm::SGridYJSetEditText(int row, int column, const QString& text)
{
    if (!yjModel_->IsStandardAnswerCell(row, column))
        return;
    MarkingSession& session = Session->session;
    std::string error;
    if (!session.SetStandardAnswerCell(column - FixedColumns, Gbk(text), &error)) {
        Ask().ShowMessage(error);
        return;
    }
    if (text != yjEditStartText_) {
        // The scores stay those of the old key until 重新算分.
        if (session.recordCount > 1 && !session.rescorePending)
            SetRescorePending(true);
        // A changed key is part of the session: closing must offer to save it.
        if (!UnsavedChanges())
            SetUnsavedChanges(true);
        KeepRecoveryCopyOfEdit();
    }
    SGridYJ->viewport()->update();
}

void TMainForm::SetRescorePending(bool pending)
{
    Session->session.rescorePending = pending;
    emit RescorePendingChanged(pending);
}

// ---- focus and the menu ----

void TMainForm::SGridYJEnter()
{
    yjDelegate_->SetLostFocus(false);
    SGridYJ->viewport()->update();
}

void TMainForm::SGridYJExit()
{
    yjDelegate_->SetLostFocus(true);
    SGridYJ->viewport()->update();
}

void TMainForm::SGridYJMouseDown(const QPoint& pos)
{
    const QModelIndex index = SGridYJ->indexAt(pos);
    if (index.isValid())
        SGridYJ->setCurrentIndex(index);
}

void TMainForm::ContextMenuOnGrid(const QPoint& pos)
{
    SGridYJMouseDown(pos);
    PopupMenu1Popup();
    PopupMenu1->exec(SGridYJ->viewport()->mapToGlobal(pos));
}

void TMainForm::PopupMenu1Popup()
{
    const int records = Session->session.recordCount;
    NOpenpic->setEnabled(false);
    if (yjModel_->rowCount() == 1) {
        Ndatikadelete->setEnabled(records > 0);
    } else if (SGridYJ->currentIndex().row() >= 1) {
        Ndatikadelete->setEnabled(true);
        NOpenpic->setEnabled(true);
    } else {
        Ndatikadelete->setEnabled(false);
    }
    NdatikadeleteAll->setEnabled(records > 0);
}

void TMainForm::NdatikadeleteClick()
{
    MarkingSession& session = Session->session;
    const int shown = yjModel_->RecordAt(SGridYJ->currentIndex().row());
    if (shown >= 0) {
        const int index = session.FindRecord(session.records[shown].admissionNumber.View(), 0);
        // Removing the key would make the first hidden student the standard answer.
        if (index == 0 && session.recordCount > 1) {
            Ask().ShowMessage(marking_texts::StandardAnswerHidesStudents);
            return;
        }
        if (index >= 0)
            session.DeleteRecord(index);
    }
    if (session.recordCount <= 1 && session.rescorePending)
        SetRescorePending(false);
    RefreshMarkingGrid();
    SetUnsavedChanges(true);
    KeepRecoveryCopyOfEdit();
}

void TMainForm::NdatikadeleteAllClick()
{
    if (!Ask().AskYesNo(marking_texts::AskDeleteAll))
        return;
    if (!Ask().AskOkCancel(marking_texts::AskDeleteAllAgain))
        return;
    MarkingSession& session = Session->session;
    const MarkingGridFilter f = MarkingFilter();
    // With grades on and none chosen the list shows no student: nothing to delete.
    if (!f.gradeOn || f.gradeChosen) {
        std::optional<std::string_view> grade;
        std::optional<std::string_view> cls;
        if (f.gradeOn)
            grade = f.gradeCode;
        if (f.classOn && !f.allClasses)
            cls = f.classText;
        session.DeleteFilteredRecords(grade, cls);
    }
    if (session.recordCount <= 1 && session.rescorePending)
        SetRescorePending(false);
    RefreshMarkingGrid();
    SetUnsavedChanges(true);
    KeepRecoveryCopyOfEdit();
}

void TMainForm::NRefreshClick()
{
    yjDelegate_->CommitOpenEditor();
    RescoreAll(Session->exam, Session->session);
    RefreshMarkingGrid();
    SetRescorePending(false);
    SetUnsavedChanges(true);
    KeepRecoveryCopyOfEdit();
}

void TMainForm::NMsgClick()
{
    Ask().ShowMessage(marking_texts::HowToEditKey);
}

void TMainForm::NOpenpicClick()
{
    OpenLatestCardPicture();
}

void TMainForm::OpenLatestCardPicture()
{
    const int row = SGridYJ->currentIndex().row();
    if (row < 1 || yjModel_->RecordAt(row) < 0)
        return;
    const std::string number = yjModel_->Text(row, marking_grid::AdmissionColumn).toStdString();
    const std::string name = yjModel_->Text(row, marking_grid::NameColumn).toStdString();
    const std::optional<std::filesystem::path> picture = FindLatestCardPicture(ProgramFolder, name, number);
    if (!picture) {
        Ask().ShowMessage(marking_texts::NoPicture);
        return;
    }
    const QString path = Q(files::ToUtf8(*picture));
    if (!OpenUrl(QUrl::fromLocalFile(path)))
        Ask().ShowMessage("无法打开原始图片文件：" + path.toStdString());
}

// ---- the typed standard answer ----

void TMainForm::BtnBZDaAnClick()
{
    FormBZDaAn->MaxOptions = OptionLetters(Session->cardTemplate);
    FormBZDaAn->Exam = &Session->exam;
    FormBZDaAn->exec();
    if (FormBZDaAn->ResultText.isEmpty())
        return;
    std::string error;
    const std::vector<std::string> answers = SplitStandardAnswer(Gbk(FormBZDaAn->ResultText));
    if (!Session->session.SetStandardAnswer(answers, Session->roster.admissionLength, &error)) {
        Ask().ShowMessage(error);
        return;
    }
    RefreshMarkingGrid();
    // The typed answer is the session's first record: closing offers to save it.
    SetUnsavedChanges(true);
    KeepRecoveryCopyOfEdit();
}
