// The exam page "考试信息设置": the exam's name, the card and its subject,
// the subjective-score option, the question score table and the special
// rules for multiple-choice questions. The page is filled from the exam
// record and turned back into it by the check of the Next button.
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "app/ui/MainWindow.h"
#include "exam/ExamSetup.h"
#include "exam/ui/CardChooser.h"
#include "platform/qt/Prompts.h"
#include "recognition/CardTemplate.h"
#include "students/ui/EditableGrid.h"

namespace {

namespace col = exam_columns;
constexpr char kDigits[] = "0123456789";

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

constexpr char kScoreNotes[] =
    "<p>题分设置说明：</p>"
    "<p>1、各大题须依次设置，确保每个题目都在相应的大题中。</p>"
    "<p>2、分数：小数位数为1位</p>"
    "<p>3、示例：</p>"
    "<table border='1' cellspacing='0' cellpadding='2'>"
    "<tr><th>大题</th><th>起始题号</th><th>终止题号</th><th>分数</th><th>单选或多选</th></tr>"
    "<tr><td>1</td><td>1</td><td>10</td><td>1</td><td>单选题</td></tr>"
    "<tr><td>2</td><td>11</td><td>20</td><td>1.5</td><td>单选题</td></tr>"
    "<tr><td>3</td><td>21</td><td>40</td><td>2</td><td>单选题</td></tr>"
    "<tr><td>4</td><td>41</td><td>60</td><td>3</td><td>多选题</td></tr>"
    "</table>";

constexpr char kRuleNotes[] =
    "<p>多选题特殊规则设置说明</p>"
    "<p>只有少选也需要根据情况给分时才需要使用此设置</p>"
    "<p>1、只能设置多选题。</p>"
    "<p>2、一项规则（一行）可以设置多个题号，题号之间用半角逗号“,”隔开，如1,2,3,4,5,11；"
    "连续的题号可以用半角的“-”连接，如1-5,11。</p>"
    "<p>3、少选分有两种写法：直接写数字，如“1”，表示少选时直接给1分；"
    "数字后加“/”，如“0.5/”，表示少选时每选对一个选项给0.5分。</p>";

QTextEdit* Notes(QWidget* parent, const char* name, const char* html)
{
    auto* memo = new QTextEdit(parent);
    memo->setObjectName(QString::fromUtf8(name));
    memo->setReadOnly(true);
    memo->setHtml(QString::fromUtf8(html));
    memo->setFocusPolicy(Qt::ClickFocus);
    return memo;
}

// A group with its table over the add and delete buttons, the notes beside them.
void LayOutTableGroup(QGroupBox* group, QTableWidget* grid, QPushButton* add, QPushButton* remove, QWidget* notes)
{
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    auto* table = new QVBoxLayout;
    table->addWidget(grid, 1);
    table->addLayout(buttons);
    auto* g = new QHBoxLayout(group);
    g->setContentsMargins(8, 6, 8, 6);
    g->addLayout(table, 3);
    g->addWidget(notes, 2);
}

std::vector<std::vector<std::string>> TableRows(const QTableWidget* table)
{
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        std::vector<std::string> row;
        for (int c = 1; c < table->columnCount(); ++c)
            row.push_back(grid::Text(table, r, c).toStdString());
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

void TMainForm::BuildExamPage(QFrame* frame)
{
    auto* nameLabel = new QLabel(QStringLiteral("本次考试名称："), frame);
    EdtKSName = new QLineEdit(frame);
    EdtKSName->setObjectName(QStringLiteral("EdtKSName"));
    EdtKSName->setMaxLength(50);
    BtnReSelectCard = MakeButton(frame, "BtnReSelectCard", "重新选择答题卡");
    BtnReSelectCard->setMinimumWidth(120);
    LblCardName = new QLabel(frame);
    LblCardName->setObjectName(QStringLiteral("LblCardName"));
    LblCardName->setStyleSheet(QStringLiteral("color: #1a5fa8; font-weight: bold;"));
    auto* subjectLabel = new QLabel(QStringLiteral("科目："), frame);
    CBSelectedKeMu = new QComboBox(frame);
    CBSelectedKeMu->setObjectName(QStringLiteral("CBSelectedKeMu"));
    CBSelectedKeMu->setMinimumWidth(120);
    LblZG = new QLabel(QStringLiteral("主观分选项："), frame);
    LblZG->setObjectName(QStringLiteral("LblZG"));
    CBSelectedZG = new QComboBox(frame);
    CBSelectedZG->setObjectName(QStringLiteral("CBSelectedZG"));
    CBSelectedZG->setMinimumWidth(120);

    // Question score table.
    auto* scoreGroup = new QGroupBox(QStringLiteral("题分设置"), frame);
    scoreGroup->setObjectName(QStringLiteral("GroupBoxTF"));
    SGridTF = new QTableWidget(scoreGroup);
    SGridTF->setObjectName(QStringLiteral("SGridTF"));
    grid::SetUp(SGridTF, QStringLiteral("大题"),
                {QStringLiteral("起始题号"), QStringLiteral("终止题号"), QStringLiteral("分数"), QStringLiteral("单选或多选")});
    SGridTF->setColumnWidth(0, 44);
    for (int c = col::First; c <= col::Score; ++c)
        SGridTF->setColumnWidth(c, 74);
    CBTFSort = new QComboBox(SGridTF->viewport());
    CBTFSort->setObjectName(QStringLiteral("CBTFSort"));
    CBTFSort->addItems({QString::fromUtf8(kSingleChoiceText), QString::fromUtf8(kMultipleChoiceText)});
    CBTFSort->setVisible(false);
    BtnTFAdd = MakeButton(scoreGroup, "BtnTFAdd", "增加");
    BtnTFDelete = MakeButton(scoreGroup, "BtnTFDelete", "删除");
    Memo1 = Notes(scoreGroup, "Memo1", kScoreNotes);
    LayOutTableGroup(scoreGroup, SGridTF, BtnTFAdd, BtnTFDelete, Memo1);

    // Special rules table.
    auto* ruleGroup =
        new QGroupBox(QStringLiteral("多选题特殊规则设置(通常如果多选题少选不给分时不需要使用此设置)"), frame);
    ruleGroup->setObjectName(QStringLiteral("GroupBoxDX"));
    SGridDX = new QTableWidget(ruleGroup);
    SGridDX->setObjectName(QStringLiteral("SGridDX"));
    grid::SetUp(SGridDX, QString(), {QStringLiteral("题号"), QStringLiteral("少选分")});
    SGridDX->setColumnWidth(col::Questions, 220);
    BtnDXAdd = MakeButton(ruleGroup, "BtnDXAdd", "增加");
    BtnDXDelete = MakeButton(ruleGroup, "BtnDXDelete", "删除");
    Memo2 = Notes(ruleGroup, "Memo2", kRuleNotes);
    LayOutTableGroup(ruleGroup, SGridDX, BtnDXAdd, BtnDXDelete, Memo2);

    auto* top = new QGridLayout;
    top->setHorizontalSpacing(8);
    top->addWidget(nameLabel, 0, 0);
    top->addWidget(EdtKSName, 0, 1, 1, 3);
    top->addWidget(BtnReSelectCard, 0, 4);
    top->addWidget(LblCardName, 0, 5);
    top->addWidget(subjectLabel, 1, 0, Qt::AlignRight);
    top->addWidget(CBSelectedKeMu, 1, 1);
    top->addWidget(LblZG, 1, 2, Qt::AlignRight);
    top->addWidget(CBSelectedZG, 1, 3);
    top->setColumnStretch(5, 1);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(6, 4, 6, 0);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addWidget(scoreGroup, 3);
    layout->addWidget(ruleGroup, 2);

    scoreDelegate_ = new grid::CellDelegate(
        SGridTF,
        [](int, int column, QLineEdit& editor, const QKeyEvent& key) {
            if (!grid::IsTypedCharacter(key))
                return false;
            const QChar c = key.text().at(0);
            if (column == col::First || column == col::Last)
                return !grid::AcceptsCharacter(editor, c, QString::fromUtf8(kDigits), 3);
            if (column == col::Score)
                return !grid::AcceptsDecimalCharacter(editor, c, false, 3);
            return true;
        },
        {}, {col::First, col::Last, col::Score});
    ruleDelegate_ = new grid::CellDelegate(
        SGridDX,
        [](int, int column, QLineEdit& editor, const QKeyEvent& key) {
            if (!grid::IsTypedCharacter(key))
                return false;
            const QChar c = key.text().at(0);
            if (column == col::Questions)
                return !grid::AcceptsCharacter(editor, c, QStringLiteral("0123456789,-"),
                                               static_cast<int>(decltype(PartialCreditRule::questionList)::Capacity));
            return !grid::AcceptsDecimalCharacter(editor, c, true,
                                                  static_cast<int>(decltype(PartialCreditRule::partialScore)::Capacity));
        },
        {}, {col::Questions, col::Partial});

    connect(BtnReSelectCard, &QPushButton::clicked, this, &TMainForm::BtnReSelectCardClick);
    connect(SGridTF, &QTableWidget::cellClicked, this, &TMainForm::SGridTFClick);
    connect(SGridTF, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
        if (row != tfSortRow_ || column != col::Kind)
            CBTFSort->hide();
    });
    connect(CBTFSort, &QComboBox::activated, this, &TMainForm::CBTFSortChange);
    connect(BtnTFAdd, &QPushButton::clicked, this, &TMainForm::BtnTFAddClick);
    connect(BtnTFDelete, &QPushButton::clicked, this, &TMainForm::BtnTFDeleteClick);
    connect(BtnDXAdd, &QPushButton::clicked, this, &TMainForm::BtnDXAddClick);
    connect(BtnDXDelete, &QPushButton::clicked, this, &TMainForm::BtnDXDeleteClick);
    appConnections_.push_back(connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old == CBTFSort && now != CBTFSort && (!now || now->window() == this))
            CBTFSortExit();
    }));
}

// ---------------------------------------------------------------------------
// Filling the page

void TMainForm::ShowExamPage()
{
    scoreDelegate_->CommitOpenEditor();
    ruleDelegate_->CommitOpenEditor();
    ExamPageContent page = ::ShowExamPage(Session->cardTemplate, Session->templateName, Session->exam);
    LblCardName->setText(Q(page.cardName));
    EdtKSName->setText(Q(page.examName));
    CBTFSort->hide();
    tfSortRow_ = -1;

    CBSelectedKeMu->clear();
    for (const std::string& name : page.subjectNames)
        CBSelectedKeMu->addItem(Q(name));
    CBSelectedKeMu->setCurrentIndex(page.subjectIndex);

    CBSelectedZG->clear();
    CBSelectedZG->addItems({QString::fromUtf8(kNoSubjectiveText), QString::fromUtf8(kWithSubjectiveText)});
    CBSelectedZG->setCurrentIndex(page.subjectiveIndex);
    CBSelectedZG->setEnabled(page.subjectiveEnabled);
    LblZG->setEnabled(page.subjectiveEnabled);

    auto fill = [](QTableWidget* table, const std::vector<std::vector<std::string>>& rows, const std::set<int>& editable) {
        table->setRowCount(0);
        for (const auto& cells : rows) {
            int row = grid::AppendRow(table, editable);
            for (std::size_t c = 0; c < cells.size(); ++c)
                grid::SetText(table, row, static_cast<int>(c) + 1, Q(cells[c]));
        }
    };
    fill(SGridTF, page.scoreRows, {col::First, col::Last, col::Score});
    fill(SGridDX, page.ruleRows, {col::Questions, col::Partial});
}

void TMainForm::PrepareExamPage()
{
    ShowExamPage();
}

// ---------------------------------------------------------------------------
// The check of the Next button

bool TMainForm::CheckExamPage()
{
    scoreDelegate_->CommitOpenEditor();
    ruleDelegate_->CommitOpenEditor();
    CBTFSort->hide();
    ExamPageContent page;
    page.cardName = Session->templateName;
    page.examName = EdtKSName->text().toStdString();
    page.subjectIndex = CBSelectedKeMu->currentIndex();
    page.subjectiveIndex = CBSelectedZG->currentIndex();
    page.subjectiveEnabled = CBSelectedZG->isEnabled();
    page.scoreRows = TableRows(SGridTF);
    page.ruleRows = TableRows(SGridDX);

    const auto examBefore = std::make_unique<ExamSetup>(Session->exam);
    ExamPageCheck check = ::CheckExamPage(Session->cardTemplate, page, Session->exam);
    // Once marking has begun the exam belongs to the marking raw file too.
    if (SessionStarted && std::memcmp(examBefore.get(), &Session->exam, sizeof(ExamSetup)) != 0)
        SetUnsavedChanges(true);
    if (check.passed)
        return true;
    Ask().ShowMessage(check.message);
    switch (check.focus) {
    case ExamPageControl::ExamName:
        EdtKSName->setFocus();
        break;
    case ExamPageControl::Subject:
        CBSelectedKeMu->setFocus();
        break;
    case ExamPageControl::SubjectiveOption:
        CBSelectedZG->setFocus();
        break;
    case ExamPageControl::ScoreTable:
        if (check.appendFirstRow)
            BtnTFAddClick();
        else
            grid::FocusCell(SGridTF, check.row - 1, check.column, check.openEditor);
        break;
    case ExamPageControl::RuleTable:
        grid::FocusCell(SGridDX, check.row - 1, check.column, check.openEditor);
        break;
    case ExamPageControl::None:
        break;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Card, subject and subjective option

CardChooser& TMainForm::ActiveCardChooser()
{
    if (services_.cardChooser)
        return *services_.cardChooser;
    return *formCard_;
}

void TMainForm::BtnReSelectCardClick()
{
    const std::string before = Session->templateName;
    std::string chosen = ActiveCardChooser().Choose(Session->templateName, "重新选择答题卡");
    if (!chosen.empty() && chosen != Session->templateName && SessionStarted)
        SetUnsavedChanges(true);
    if (!chosen.empty()) {
        Session->templateName = chosen;
        LCardName->setText(Q(chosen));
    }
    // Chosen again or kept: the template is loaded and the page filled again.
    if (!Session->templateName.empty()) {
        std::string message;
        if (!LoadCardTemplate(ProgramFolder, Session->templateName, Session->cardTemplate, message)) {
            Ask().ShowMessage(message);
            // The card before must not read cards under the new card's name.
            if (Session->templateName != before)
                Session->cardTemplate.Clear();
        }
    }
    ShowExamPage();
}

// ---------------------------------------------------------------------------
// Question score table

void TMainForm::SGridTFClick(int row, int column)
{
    if (column != col::Kind || row < 0) {
        CBTFSort->hide();
        return;
    }
    // The chooser lies exactly over the cell, preselected from its text.
    tfSortRow_ = row;
    QRect cell = SGridTF->visualItemRect(SGridTF->item(row, column));
    CBTFSort->setGeometry(cell);
    CBTFSort->setCurrentIndex(CBTFSort->findText(grid::Text(SGridTF, row, column)));
    CBTFSort->show();
    CBTFSort->raise();
    CBTFSort->setFocus();
}

void TMainForm::CBTFSortChange(int index)
{
    if (tfSortRow_ < 0 || tfSortRow_ >= SGridTF->rowCount() || index < 0)
        return;
    grid::SetText(SGridTF, tfSortRow_, col::Kind, CBTFSort->itemText(index));
}

void TMainForm::CBTFSortExit()
{
    CBTFSort->hide();
}

void TMainForm::BtnTFAddClick()
{
    scoreDelegate_->CommitOpenEditor();
    if (SGridTF->rowCount() >= exam_limits::MaxGroups) {
        Ask().ShowMessage("题分设置里最多只能设置10个大题。");
        return;
    }
    int row = grid::AppendRow(SGridTF, {col::First, col::Last, col::Score});
    if (row == 0) {
        grid::SetText(SGridTF, row, col::First, QStringLiteral("1"));
    } else {
        const QString previousLast = grid::Text(SGridTF, row - 1, col::Last);
        if (previousLast.isEmpty())
            SGridTF->removeRow(row);  // the previous group is not finished yet
        else
            grid::SetText(SGridTF, row, col::First, QString::number(previousLast.toInt() + 1));
    }
    grid::FocusCell(SGridTF, SGridTF->rowCount() - 1, col::Last, true);
}

void TMainForm::BtnTFDeleteClick()
{
    int row = SGridTF->currentRow();
    if (row < 0)
        return;
    scoreDelegate_->CommitOpenEditor();
    CBTFSort->hide();
    SGridTF->removeRow(row);
    grid::NumberRows(SGridTF);
    if (SGridTF->rowCount() > 0)
        SGridTF->setCurrentCell(std::min(row, SGridTF->rowCount() - 1), col::First);
}

// ---------------------------------------------------------------------------
// Special rules table

void TMainForm::BtnDXAddClick()
{
    ruleDelegate_->CommitOpenEditor();
    if (SGridDX->rowCount() >= exam_limits::MaxRules) {
        Ask().ShowMessage("多选题特殊规则设置里最多只能设置10项。");
        return;
    }
    int row = grid::AppendRow(SGridDX, {col::Questions, col::Partial});
    grid::FocusCell(SGridDX, row, col::Questions, false);
}

void TMainForm::BtnDXDeleteClick()
{
    int row = SGridDX->currentRow();
    if (row < 0)
        return;
    ruleDelegate_->CommitOpenEditor();
    SGridDX->removeRow(row);
    grid::NumberRows(SGridDX);
    if (SGridDX->rowCount() > 0)
        SGridDX->setCurrentCell(std::min(row, SGridDX->rowCount() - 1), col::Questions);
}
