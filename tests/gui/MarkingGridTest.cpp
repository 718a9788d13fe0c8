// The marking page's grid: rows from the session through the grade and class
// boxes, red answers, the standard answer edited in place with its key rule
// and the rescoring reminder, the menu's commands, and the boxes' choice
// reaching card acceptance.
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <cstring>
#include <gtest/gtest.h>

#include "../capture/FakeV4l2.h"
#include "StudentExamSupport.h"
#include "capture/ui/CameraDriver.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "marking/RawFile.h"
#include "marking/Scoring.h"
#include "marking/SessionState.h"
#include "marking/ui/MarkingGridDelegate.h"
#include "marking/ui/MarkingGridModel.h"

namespace {

constexpr int kQ = marking_grid::FixedColumns;  // grid column of question 1

// Questions 1-3 single choice (2 points), 4-5 multiple choice (4 points, 2 for too few options).
void FiveQuestions(ExamSetup& e)
{
    e.Clear();
    e.questionCount = 5;
    e.groupCount = 2;
    e.groups[0] = {1, 3, 2, 0};
    e.groups[1] = {4, 5, 4, 1};
    for (int q = 0; q < 3; ++q)
        e.questions[q] = {2, 0, 0, 0};
    for (int q = 3; q < 5; ++q)
        e.questions[q] = {4, 1, 2, 0};
}

struct MarkingPage {
    GuiFixture fx;
    TestMainForm& f;
    MarkingPage() : f(fx.Start())
    {
        f.resize(840, 688);
        StudentRoster& r = f.Session->roster;
        r.Reset();
        r.admissionLength = 4;
        FiveQuestions(f.Session->exam);
        f.Session->cardTemplate.DefaultOptions = 4;
        f.activateWindow();
    }
    MarkingGridModel& Model() const { return *f.SGridYJModel(); }
    QString Text(int row, int column) const { return Model().Text(row, column); }
    int Rows() const { return Model().rowCount(); }

    void Student(const char* number, const char* name, const char* grade, const char* cls)
    {
        StudentEntry e{};
        (void)e.admissionNumber.SetUtf8(number);
        (void)e.name.SetUtf8(name);
        (void)e.gradeCode.SetUtf8(grade);
        (void)e.classCode.SetUtf8(cls);
        ASSERT_TRUE(f.Session->roster.AppendStudent(e));
    }
    void Grade(const char* name, const char* code)
    {
        StudentRoster& r = f.Session->roster;
        (void)r.grades[r.gradeCount].name.SetUtf8(name);
        (void)r.grades[r.gradeCount].code.SetUtf8(code);
        ++r.gradeCount;
    }
    void Key(std::vector<std::string> answers)
    {
        ASSERT_TRUE(f.Session->session.SetStandardAnswer(answers, 4));
    }
    // A stored card of a roster student, scored against the key.
    void Card(const char* number, std::vector<std::string> answers, int readCount = 1)
    {
        const StudentRoster& r = f.Session->roster;
        const int s = r.FindStudent(number);
        ASSERT_GE(s, 0);
        auto rec = std::make_unique<MarkingRecord>();
        std::memset(rec.get(), 0, sizeof *rec);
        rec->readCount = readCount;
        rec->admissionNumber = r.students[s].admissionNumber;
        rec->studentName = r.students[s].name;
        rec->gradeCode = r.students[s].gradeCode;
        rec->gradeName.SetTruncated(r.GradeNameOf(r.students[s].gradeCode.View()));
        rec->classCode = r.students[s].classCode;
        for (std::size_t q = 0; q < answers.size(); ++q)
            ASSERT_TRUE(rec->questionResults[q].answer.Set(answers[q]));
        ScoreRecord(f.Session->exam, f.Session->session.records[0], *rec);
        ASSERT_TRUE(f.Session->session.AppendRecord(*rec));
    }
    // The wizard's way onto the page.
    void Enter()
    {
        f.SetActivePage(5);
        f.SetUpMarkingGrid();
        QApplication::processEvents();
    }
    // The menu as it opens over the current row.
    void Popup() { f.PopupMenu1Popup(); }
    float Total(int record) const { return f.Session->session.records[record].totalScore; }

    // Opens the cell editor of a standard-answer cell of question `question` (1-based).
    QLineEdit* EditKey(int question)
    {
        f.SGridYJ->setFocus();
        f.SGridYJ->setCurrentIndex(Model().index(0, kQ + question - 1));
        f.SGridYJDblClick();
        QApplication::processEvents();
        return f.SGridYJDelegate()->OpenEditor();
    }
    // Red pixels painted inside a cell.
    int RedPixelsIn(int row, int column)
    {
        QApplication::processEvents();
        const QRect r = f.SGridYJ->visualRect(Model().index(row, column));
        const QImage shot = f.SGridYJ->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = shot.pixel(x, y);
                n += qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90;
            }
        return n;
    }
};

// Roster of four students in classes 02, 01, 02, 03 (grades off).
void FourStudents(MarkingPage& p)
{
    StudentRoster& r = p.f.Session->roster;
    r.classEnabled = 1;
    r.classCodeLength = 2;
    p.Student("1001", "王浩然", "", "02");
    p.Student("1002", "李梓涵", "", "01");
    p.Student("1003", "张欣怡", "", "02");
    p.Student("1004", "刘宇轩", "", "03");
}

TEST(MarkingGrid, EmptySessionShowsTheHeaderOneEmptyRowAndTheTypedAnswerButton)
{
    MarkingPage p;
    p.Enter();
    // The page: the button column beside the preview, the grid below.
    for (const char* name : {"ImageView", "BtnAnswerCard", "BtnAutoAnswerCard", "BtnYJSet", "BtnBZDaAn", "NJYJ",
                             "BJYJ", "MemoTiShi", "SGridYJ", "Splitter1"})
        EXPECT_NE(p.f.findChild<QWidget*>(QString::fromUtf8(name)), nullptr) << name;
    EXPECT_EQ(p.f.BtnAnswerCard->text(), QStringLiteral("阅卷"));
    EXPECT_EQ(p.f.BtnBZDaAn->text(), QStringLiteral("标准答案输入"));
    EXPECT_EQ(p.f.LblNJ4->text(), QStringLiteral("年级："));
    EXPECT_EQ(p.f.LblBJ5->text(), QStringLiteral("班级："));
    EXPECT_TRUE(p.f.Panel1->isAncestorOf(p.f.BtnBZDaAn));
    EXPECT_TRUE(p.f.Panel1->isAncestorOf(p.f.MemoTiShi));
    EXPECT_TRUE(p.f.Page5GridFrame->isAncestorOf(p.f.SGridYJ));
    // Grades and classes off: both boxes and their labels disabled.
    EXPECT_FALSE(p.f.NJYJ->isEnabled());
    EXPECT_FALSE(p.f.LblBJ5->isEnabled());

    // Header: 13 fixed columns and one per question, with their widths.
    const QStringList captions = {"",     "阅卷状态", "AB卷",     "准考证号", "姓名", "年级", "班级",
                                  "总得分", "主观题分", "选择题分", "多选",     "少选", "错选",
                                  "1",    "2",        "3",        "4",        "5"};
    ASSERT_EQ(p.Model().columnCount(), 18);
    for (int c = 0; c < 18; ++c)
        EXPECT_EQ(p.Model().headerData(c, Qt::Horizontal).toString(), captions[c]) << c;
    const int widths[18] = {25, 55, 26, 78, 72, 64, 49, 52, 59, 58, 38, 34, 32, 20, 20, 20, 50, 50};
    for (int c = 0; c < 18; ++c)
        EXPECT_EQ(p.f.SGridYJ->columnWidth(c), widths[c]) << c;
    EXPECT_EQ(p.f.SGridYJ->verticalHeader()->defaultSectionSize(), 20);
    // Every caption fits its column: "AB卷" is wider than 26 px in the
    // header's font and showed as "\B卷", so it has a smaller one.
    const QHeaderView* header = p.f.SGridYJ->horizontalHeader();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int c = 1; c < 13; ++c) {
        const QVariant font = p.Model().headerData(c, Qt::Horizontal, Qt::FontRole);
        const QFontMetrics metrics(font.isValid() ? font.value<QFont>() : header->font());
        EXPECT_LE(metrics.horizontalAdvance(captions[c]) + 2 * margin, widths[c]) << c;
    }

    ASSERT_EQ(p.Rows(), 1);
    for (int c = 0; c < 18; ++c)
        EXPECT_TRUE(p.Text(0, c).isEmpty()) << c;
    EXPECT_TRUE(p.f.BtnBZDaAn->isEnabled());
    EXPECT_EQ(p.f.MemoTiShi->toPlainText(), QStringLiteral("请先阅读标准答案！用做标准答案的卡不用涂准考证号。"));

    // The menu: its items in order, nothing to delete.
    QStringList items;
    for (QAction* a : p.f.PopupMenu1->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items, (QStringList{"删除选中记录", "删除本列表中所有阅卷记录", "-", "查看阅卷原始图片", "-",
                                  "重新算分", "-", "如何修改标准答案..."}));
    p.Popup();
    EXPECT_FALSE(p.f.Ndatikadelete->isEnabled());
    EXPECT_FALSE(p.f.NdatikadeleteAll->isEnabled());
    EXPECT_FALSE(p.f.NOpenpic->isEnabled());
    // The empty row cannot be edited.
    EXPECT_FALSE(p.Model().flags(p.Model().index(0, kQ)) & Qt::ItemIsEditable);

    p.f.NMsgClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text,
              "方法：用鼠标左键单击第一行标准答案中要修改的题的答案，可直接输入更改。"
              "标准答案修改完所有后必需按鼠标右键点重新算分");
    EXPECT_EQ(p.f.SessionStarted, 1);
}

TEST(MarkingGrid, StandardAnswerOnlyIsOneRowThatTheMenuDeletes)
{
    MarkingPage p;
    p.Key({"A", "B", "C", "AC", "BD"});
    p.Enter();
    ASSERT_EQ(p.Rows(), 1);
    EXPECT_EQ(p.Text(0, 0), QString());
    EXPECT_EQ(p.Text(0, 1), QStringLiteral("已阅0次"));
    EXPECT_EQ(p.Text(0, 3), QStringLiteral("    "));
    EXPECT_EQ(p.Text(0, 4), QStringLiteral("标准答案"));
    EXPECT_EQ(p.Text(0, 7), QStringLiteral("0"));
    EXPECT_EQ(p.Text(0, kQ + 3), QStringLiteral("AC"));
    EXPECT_FALSE(p.f.BtnBZDaAn->isEnabled());
    EXPECT_FALSE(p.f.UnsavedChanges());

    p.Popup();
    EXPECT_TRUE(p.f.Ndatikadelete->isEnabled());
    EXPECT_TRUE(p.f.NdatikadeleteAll->isEnabled());
    EXPECT_FALSE(p.f.NOpenpic->isEnabled());
    p.f.Ndatikadelete->trigger();
    EXPECT_EQ(p.f.Session->session.recordCount, 0);
    EXPECT_EQ(p.Rows(), 1);
    EXPECT_TRUE(p.Text(0, 4).isEmpty());
    EXPECT_TRUE(p.f.BtnBZDaAn->isEnabled());
    EXPECT_TRUE(p.f.UnsavedChanges());
}

TEST(MarkingGrid, StudentRowsShowTheirRecordAndAnswersOffTheKeyInRed)
{
    MarkingPage p;
    FourStudents(p);
    p.Key({"A", "B", "C", "AC", ""});
    p.Card("1002", {"A", "C", "C", "AB", "AB"}, 2);
    p.Card("1004", {"A", "B", "C", "AC", ""});
    p.f.Session->session.records[2].paperType = 1;
    p.f.Session->session.records[2].subjectiveScore = 35.5f;
    (void)p.f.Session->session.classFilter.Set("ALL");
    p.Enter();

    ASSERT_EQ(p.Rows(), 3);
    EXPECT_EQ(p.Text(1, 0), QStringLiteral("1"));
    EXPECT_EQ(p.Text(2, 0), QStringLiteral("2"));
    EXPECT_EQ(p.Text(1, 1), QStringLiteral("已阅2次"));
    EXPECT_EQ(p.Text(1, 2), QStringLiteral("A"));
    EXPECT_EQ(p.Text(2, 2), QStringLiteral("B"));
    EXPECT_EQ(p.Text(1, 3), QStringLiteral("1002"));
    EXPECT_EQ(p.Text(1, 4), QStringLiteral("李梓涵"));
    EXPECT_EQ(p.Text(1, 6), QStringLiteral("01"));
    // Entering the page rescored with the subjective score kept: 2 + 0 + 2 + 0 + 4.
    EXPECT_EQ(p.Text(1, 7), QStringLiteral("8"));
    EXPECT_EQ(p.Text(1, 9), QStringLiteral("8"));
    EXPECT_EQ(p.Text(2, 7), QStringLiteral("49.5"));
    EXPECT_EQ(p.Text(2, 8), QStringLiteral("35.5"));
    EXPECT_EQ(p.Text(1, 10), QStringLiteral("0"));
    EXPECT_EQ(p.Text(1, 12), QStringLiteral("2"));
    EXPECT_EQ(p.Text(1, kQ + 3), QStringLiteral("AB"));

    // AB under AC is red; AB under an empty key and C under C are not.
    EXPECT_TRUE(p.Model().DiffersFromKey(1, kQ + 3));
    EXPECT_FALSE(p.Model().DiffersFromKey(1, kQ + 4));
    EXPECT_FALSE(p.Model().DiffersFromKey(1, kQ + 2));
    EXPECT_FALSE(p.Model().DiffersFromKey(0, kQ + 3));
    EXPECT_EQ(p.Model().data(p.Model().index(1, kQ + 3), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    p.f.SGridYJ->setFocus();
    p.f.SGridYJ->setCurrentIndex(p.Model().index(2, 1));
    EXPECT_GT(p.RedPixelsIn(1, kQ + 3), 5);
    EXPECT_GT(p.RedPixelsIn(1, kQ + 1), 5);  // C under B
    EXPECT_EQ(p.RedPixelsIn(1, kQ + 4), 0);
    EXPECT_EQ(p.RedPixelsIn(1, kQ + 2), 0);
    // Red on the selection colour of the current row too.
    p.f.SGridYJ->setCurrentIndex(p.Model().index(1, 1));
    EXPECT_GT(p.RedPixelsIn(1, kQ + 3), 5);
    EXPECT_EQ(p.f.SGridYJ->selectionModel()->selectedIndexes().size(), p.Model().columnCount());

    // Leaving the grid: no row shows the selection any more, red stays red.
    EXPECT_FALSE(p.f.SGridYJDelegate()->LostFocus());
    p.f.BJYJ->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(p.f.SGridYJDelegate()->LostFocus());
    EXPECT_GT(p.RedPixelsIn(1, kQ + 3), 5);
    const QImage shot = p.f.SGridYJ->viewport()->grab().toImage();
    const QRect cell = p.f.SGridYJ->visualRect(p.Model().index(1, 5));
    EXPECT_EQ(QColor(shot.pixel(cell.center() + QPoint(cell.width() / 2 - 3, 0))), QColor(Qt::white));
    p.f.SGridYJ->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(p.f.SGridYJDelegate()->LostFocus());
}

// A class of twelve on a 30-question exam: every red cell of the first rows
// is an answer off the key, and no other cell is red.
TEST(MarkingGrid, AFullerListPaintsExactlyTheWrongAnswersRed)
{
    MarkingPage p;
    StudentRoster& r = p.f.Session->roster;
    r.classEnabled = 1;
    ExamSetup& e = p.f.Session->exam;
    e.Clear();
    e.questionCount = 30;
    e.groupCount = 2;
    e.groups[0] = {1, 20, 2, 0};
    e.groups[1] = {21, 30, 3, 1};
    for (int q = 0; q < 30; ++q)
        e.questions[q] = {q < 20 ? 2.0f : 3.0f, q < 20 ? 0 : 1, 1, 0};
    const char* names[12] = {"王浩然", "李梓涵", "张欣怡", "刘宇轩", "陈思远", "杨雨桐",
                             "赵子墨", "黄诗琪", "周俊杰", "吴佳怡", "徐一鸣", "孙若曦"};
    for (int i = 0; i < 12; ++i)
        p.Student(("20240" + std::to_string(101 + i)).c_str(), names[i], "", i < 8 ? "01" : "02");
    const char* letters[4] = {"A", "B", "C", "D"};
    const char* sets[4] = {"AB", "ACD", "BC", "BD"};
    std::vector<std::string> key;
    for (int q = 0; q < 30; ++q)
        key.push_back(q < 20 ? letters[(q * 7) % 4] : sets[q % 4]);
    p.Key(key);
    for (int i = 0; i < 12; ++i) {
        std::vector<std::string> answers = key;
        for (int q = i % 5; q < 30; q += 4 + i % 3)
            answers[q] = q < 20 ? letters[(q * 7 + 1 + i) % 4] : sets[(q + 1 + i) % 4];
        p.Card(("20240" + std::to_string(101 + i)).c_str(), answers, 1 + i % 2);
    }
    (void)p.f.Session->session.classFilter.Set("ALL");
    p.Enter();
    p.f.SGridYJ->setFocus();
    p.f.SGridYJ->setCurrentIndex(p.Model().index(3, 1));
    p.f.MemoTiShi->setPlainText(QStringLiteral("该答题卡这次阅卷结果和上次相同，已经阅卷次数：2"));
    SaveScreen(p.f, "5-阅卷列表.png");
    ASSERT_EQ(p.Rows(), 13);
    int red = 0;
    for (int row = 1; row <= 4; ++row)
        for (int column = kQ; column < kQ + 8; ++column) {  // the columns in view
            const bool differs = p.Model().DiffersFromKey(row, column);
            red += differs;
            EXPECT_EQ(p.RedPixelsIn(row, column) > 5, differs) << row << " " << column;
        }
    EXPECT_GT(red, 4);
}

TEST(MarkingGrid, EditingTheKeyRemindsToRescoreAndScoresChangeOnlyOnRescoring)
{
    MarkingPage p;
    FourStudents(p);
    p.Key({"A", "B", "C", "AC", "BD"});
    p.Card("1001", {"A", "B", "C", "ABC", "BD"});
    p.Card("1002", {"A", "B", "C", "AC", "BD"});
    (void)p.f.Session->session.classFilter.Set("ALL");
    p.Enter();
    QSignalSpy reminder(&p.f, &TMainForm::RescorePendingChanged);
    ASSERT_FLOAT_EQ(p.Total(1), 10);  // ABC under AC: 多选, 0 points
    ASSERT_FLOAT_EQ(p.Total(2), 14);

    QLineEdit* editor = p.EditKey(4);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("AC"));
    editor->setCursorPosition(1);
    QTest::keyClick(editor, 'b');
    EXPECT_EQ(editor->text(), QStringLiteral("ABC"));
    // Stored at once; the reminder is on and the scores are those of the old key.
    EXPECT_EQ(p.f.Session->session.records[0].questionResults[3].answer.View(), "ABC");
    EXPECT_TRUE(p.f.Session->session.rescorePending);
    ASSERT_GE(reminder.size(), 1);
    EXPECT_TRUE(reminder.last().at(0).toBool());
    EXPECT_FLOAT_EQ(p.Total(1), 10);
    EXPECT_FLOAT_EQ(p.Total(2), 14);
    // The colours follow the new key at once.
    EXPECT_FALSE(p.Model().DiffersFromKey(1, kQ + 3));
    EXPECT_TRUE(p.Model().DiffersFromKey(2, kQ + 3));

    p.f.NRefreshClick();
    EXPECT_EQ(p.f.SGridYJDelegate()->OpenEditor(), nullptr);
    EXPECT_EQ(p.f.Session->session.records[0].questionResults[3].answer.View(), "ABC");
    EXPECT_FLOAT_EQ(p.Total(1), 14);
    EXPECT_FLOAT_EQ(p.Total(2), 12);  // AC under ABC: 少选, 2 points
    EXPECT_EQ(p.f.Session->session.records[2].missingCount, 1);
    EXPECT_FALSE(p.f.Session->session.rescorePending);
    EXPECT_FALSE(reminder.last().at(0).toBool());
    EXPECT_TRUE(p.f.UnsavedChanges());
    EXPECT_EQ(p.Text(1, 7), QStringLiteral("14"));
}

// The recovery copy follows every change of the records made on the page,
// not only accepted cards: after a crash the corrected key, its scores and
// the deletions come back as they were, not the session before them.
TEST(MarkingGrid, KeyEditsRescoringAndDeletionsReachTheRecoveryCopy)
{
    MarkingPage p;
    FourStudents(p);
    p.fx.NameExam();
    p.Key({"A", "B", "C", "AC", "BD"});
    p.Card("1001", {"A", "B", "C", "ABC", "BD"});
    p.Card("1002", {"A", "B", "C", "AC", "BD"});
    p.Card("1003", {"A", "B", "C", "AC", "BD"});
    (void)p.f.Session->session.classFilter.Set("ALL");
    p.Enter();
    std::filesystem::path copy = p.fx.SavedFile();
    copy += ".recover";
    ASSERT_FALSE(std::filesystem::exists(copy));
    auto recovered = [&] {
        auto state = NewMarkingSessionState();
        const MarkingFileResult r = OpenMarkingFile(*state, copy, p.fx.home);
        EXPECT_TRUE(r.ok) << r.message;
        return state;
    };

    QLineEdit* editor = p.EditKey(4);
    ASSERT_NE(editor, nullptr);
    editor->setCursorPosition(1);
    QTest::keyClick(editor, 'b');
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(recovered()->session.records[0].questionResults[3].answer.View(), "ABC");

    p.f.NRefreshClick();
    EXPECT_FLOAT_EQ(recovered()->session.records[1].totalScore, 14);

    p.f.SGridYJ->setCurrentIndex(p.Model().index(2, 3));
    p.f.NdatikadeleteClick();
    auto after = recovered();
    EXPECT_EQ(after->session.recordCount, 3);
    EXPECT_EQ(after->session.FindRecord(std::string(p.f.Session->session.records[2].admissionNumber.View()), 1), 2);
    EXPECT_TRUE(p.fx.prompts.shown.empty());
    p.f.Session->unsavedChanges = false;
}

TEST(MarkingGrid, KeyCellsKeepOneLetterOrStrictlyAscendingLetters)
{
    MarkingPage p;
    p.Key({"A", "B", "C", "AC", "BD"});
    p.Enter();
    auto type = [](QLineEdit* e, const char* keys) {
        for (const char* k = keys; *k; ++k)
            QTest::keyClick(e, *k);
    };

    // Multiple choice, AC with the caret between the letters: only B fits.
    QLineEdit* editor = p.EditKey(4);
    ASSERT_NE(editor, nullptr);
    editor->setCursorPosition(1);
    type(editor, "aCDdEe1-");
    EXPECT_EQ(editor->text(), QStringLiteral("AC"));
    type(editor, "b");
    EXPECT_EQ(editor->text(), QStringLiteral("ABC"));
    // Before the first letter a smaller one, behind the last a greater one.
    editor->setCursorPosition(0);
    type(editor, "A");
    EXPECT_EQ(editor->text(), QStringLiteral("ABC"));
    editor->setCursorPosition(3);
    type(editor, "cd");
    EXPECT_EQ(editor->text(), QStringLiteral("ABCD"));
    // Pasting is not a way round the rule.
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor->text(), QStringLiteral("ABCD"));
    // A letter over a selection must fit between the neighbours left.
    editor->setSelection(1, 1);  // B
    type(editor, "D");
    EXPECT_EQ(editor->text(), QStringLiteral("ABCD"));
    editor->setSelection(1, 2);  // BC
    type(editor, "c");
    EXPECT_EQ(editor->text(), QStringLiteral("ACD"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the editor closes on the next turn of the loop
    EXPECT_EQ(p.f.Session->session.records[0].questionResults[3].answer.View(), "ACD");
    // One record only: nothing to rescore, but the change is unsaved.
    EXPECT_FALSE(p.f.Session->session.rescorePending);
    EXPECT_TRUE(p.f.UnsavedChanges());

    // Single choice holding B, nothing selected: only backspace.
    editor = p.EditKey(2);
    ASSERT_NE(editor, nullptr);
    editor->setCursorPosition(1);
    type(editor, "ACa");
    EXPECT_EQ(editor->text(), QStringLiteral("B"));
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->text(), QString());
    type(editor, "dA");
    EXPECT_EQ(editor->text(), QStringLiteral("D"));
    // Typing over the whole selected letter replaces it.
    editor->selectAll();
    type(editor, "c");
    EXPECT_EQ(editor->text(), QStringLiteral("C"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(p.f.Session->session.records[0].questionResults[1].answer.View(), "C");

    // A key typed on a selected key cell opens its editor with the letter.
    p.f.SGridYJ->setCurrentIndex(p.Model().index(0, kQ + 4));
    QTest::keyClick(p.f.SGridYJ, 'a');
    editor = p.f.SGridYJDelegate()->OpenEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("A"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(p.f.Session->session.records[0].questionResults[4].answer.View(), "A");

    // Only row 1's question cells are editable; the others select whole rows.
    EXPECT_FALSE(p.Model().flags(p.Model().index(0, 4)) & Qt::ItemIsEditable);
    p.f.SGridYJ->setCurrentIndex(p.Model().index(0, 4));
    EXPECT_EQ(p.f.SGridYJ->selectionBehavior(), QAbstractItemView::SelectRows);
    p.f.SGridYJDblClick();
    EXPECT_EQ(p.f.SGridYJDelegate()->OpenEditor(), nullptr);
}

TEST(MarkingGrid, ClassBoxListsEachClassOnceAndFiltersTheRowsAndTheDeletion)
{
    MarkingPage p;
    FourStudents(p);
    p.Student("1005", "陈思远", "", "01");
    p.Key({"A", "B", "C", "AC", "BD"});
    for (const char* n : {"1001", "1002", "1003", "1004", "1005"})
        p.Card(n, {"A", "B", "C", "AC", "BD"});
    p.Enter();

    // In the order of first occurrence in the roster; nothing chosen yet.
    QStringList items;
    for (int i = 0; i < p.f.BJYJ->count(); ++i)
        items << p.f.BJYJ->itemText(i);
    EXPECT_EQ(items, (QStringList{"所有班级", "02", "01", "03"}));
    EXPECT_EQ(p.f.BJYJ->currentIndex(), -1);
    EXPECT_TRUE(p.f.BJYJ->isEnabled());
    EXPECT_EQ(p.Rows(), 6);  // nothing chosen shows every class

    p.f.BJYJ->setCurrentIndex(2);  // 01
    EXPECT_EQ(p.f.Session->session.classFilter.View(), "01");
    EXPECT_TRUE(p.f.UnsavedChanges());
    ASSERT_EQ(p.Rows(), 3);
    EXPECT_EQ(p.Text(1, 3), QStringLiteral("1002"));
    EXPECT_EQ(p.Text(2, 3), QStringLiteral("1005"));
    EXPECT_EQ(p.Text(2, 0), QStringLiteral("2"));

    // Deleting one record: the current row's.
    p.f.SGridYJ->setCurrentIndex(p.Model().index(1, 2));
    p.Popup();
    EXPECT_TRUE(p.f.Ndatikadelete->isEnabled());
    EXPECT_TRUE(p.f.NOpenpic->isEnabled());
    p.f.NdatikadeleteClick();
    EXPECT_EQ(p.f.Session->session.recordCount, 5);
    EXPECT_EQ(p.f.Session->session.FindRecord("1002"), -1);
    EXPECT_EQ(p.Rows(), 2);
    // Row 1 current among several rows: not deletable.
    p.f.BJYJ->setCurrentIndex(0);
    p.f.SGridYJ->setCurrentIndex(p.Model().index(0, 2));
    p.Popup();
    EXPECT_FALSE(p.f.Ndatikadelete->isEnabled());

    // Class 02 only: "删除本列表中所有阅卷记录" asks twice and deletes its rows only.
    p.f.BJYJ->setCurrentIndex(1);
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.fx.prompts.Answer(PromptAnswer::Cancel);
    p.f.NdatikadeleteAllClick();
    EXPECT_EQ(p.f.Session->session.recordCount, 5);
    ASSERT_GE(p.fx.prompts.shown.size(), 2u);
    EXPECT_EQ(p.fx.prompts.shown[p.fx.prompts.shown.size() - 2].text, "确定要删除本列表中所有阅卷记录吗？（请仔细考虑清楚）");
    EXPECT_EQ(p.fx.prompts.shown.back().kind, PromptKind::OkCancel);
    EXPECT_EQ(p.fx.prompts.shown.back().text, "本列表中所有阅卷记录删除后将无法恢复，确定要删除吗？");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.fx.prompts.Answer(PromptAnswer::Ok);
    p.f.NdatikadeleteAllClick();
    EXPECT_EQ(p.f.Session->session.recordCount, 3);  // key, 1004 (03), 1005 (01)
    EXPECT_EQ(p.Rows(), 1);

    // 所有班级 shows the rest; deleting them all keeps the standard answer.
    p.f.BJYJ->setCurrentIndex(0);
    EXPECT_EQ(p.f.Session->session.classFilter.View(), "ALL");
    EXPECT_EQ(p.Rows(), 3);
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.fx.prompts.Answer(PromptAnswer::Ok);
    p.f.NdatikadeleteAllClick();
    EXPECT_EQ(p.f.Session->session.recordCount, 1);
    EXPECT_EQ(p.Rows(), 1);
    EXPECT_EQ(p.Text(0, 4), QStringLiteral("标准答案"));
    EXPECT_EQ(p.fx.prompts.unanswered, 0);

    // A reopened session shows the same filter.
    p.f.BJYJ->setCurrentIndex(3);
    p.f.SetUpMarkingGrid();
    EXPECT_EQ(p.f.BJYJ->currentText(), QStringLiteral("03"));
}

TEST(MarkingGrid, GradeBoxFiltersAndTheHiddenStudentsKeepTheirStandardAnswer)
{
    MarkingPage p;
    StudentRoster& r = p.f.Session->roster;
    r.gradeEnabled = 1;
    r.gradeCodeLength = 2;
    p.Grade("七年级", "07");
    p.Grade("八年级", "08");
    p.Student("0701", "王浩然", "07", "");
    p.Student("0801", "李梓涵", "08", "");
    p.Key({"A", "B", "C", "AC", "BD"});
    p.Card("0801", {"A", "B", "C", "AC", "BD"});
    (void)p.f.Session->session.gradeFilter.Set("08");
    p.Enter();
    EXPECT_TRUE(p.f.NJYJ->isEnabled());
    EXPECT_EQ(p.f.NJYJ->count(), 2);
    EXPECT_EQ(p.f.NJYJ->currentText(), QStringLiteral("八年级"));
    ASSERT_EQ(p.Rows(), 2);
    EXPECT_EQ(p.Text(1, 5), QStringLiteral("八年级"));

    p.f.NJYJ->setCurrentIndex(0);
    EXPECT_EQ(p.f.Session->session.gradeFilter.View(), "07");
    ASSERT_EQ(p.Rows(), 1);
    // The menu offers the only row shown, but deleting the key would make the
    // hidden student the standard answer: refused.
    p.f.SGridYJ->setCurrentIndex(p.Model().index(0, 1));
    p.Popup();
    EXPECT_TRUE(p.f.Ndatikadelete->isEnabled());
    p.f.NdatikadeleteClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text,
              "列表中隐藏着其他年级或班级的阅卷记录，不能删除标准答案。请先在年级、班级框里选择显示它们。");
    EXPECT_EQ(p.f.Session->session.recordCount, 2);
    EXPECT_EQ(p.f.Session->session.records[0].admissionNumber.View(), "    ");

    // Deleting the list of grade 07 deletes nobody of grade 08.
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.fx.prompts.Answer(PromptAnswer::Ok);
    p.f.NdatikadeleteAllClick();
    EXPECT_EQ(p.f.Session->session.recordCount, 2);

    // Without a grade chosen no student shows and marking is refused.
    (void)p.f.Session->session.gradeFilter.Set("09");
    p.f.SetUpMarkingGrid();
    EXPECT_EQ(p.f.NJYJ->currentIndex(), -1);
    EXPECT_EQ(p.Rows(), 1);
    EXPECT_EQ(p.f.MissingMarkingSelection(), "请选择年级！");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.fx.prompts.Answer(PromptAnswer::Ok);
    p.f.NdatikadeleteAllClick();
    EXPECT_EQ(p.f.Session->session.recordCount, 2);
    const QString caption = p.f.BtnAutoAnswerCard->text();
    p.f.BtnAutoAnswerCard->click();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "请选择年级！");
    EXPECT_EQ(p.f.BtnAutoAnswerCard->text(), caption);
    EXPECT_FALSE(p.f.AutoMarking);
}

TEST(MarkingGrid, LatestSavedPictureOpensWithTheDesktopViewer)
{
    MarkingPage p;
    FourStudents(p);
    p.Key({"A", "B", "C", "AC", "BD"});
    p.Card("1002", {"A", "B", "C", "AC", "BD"});
    (void)p.f.Session->session.classFilter.Set("ALL");
    p.Enter();
    p.f.SGridYJ->setCurrentIndex(p.Model().index(1, 1));
    p.Popup();
    ASSERT_TRUE(p.f.NOpenpic->isEnabled());
    p.f.NOpenpicClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text,
              "没找到对应的原始图片文件,可能是没有在 阅卷设置 里设置要保存原始图片或原始图片已经被删除。");
    EXPECT_TRUE(p.fx.opened.empty());

    for (const char* name : {"李梓涵1002-20240301-081500.bmp", "李梓涵1002-20240302-071000.bmp",
                             "李梓涵1002-20240302-071000-副本.bmp", "李梓涵10021-20250101-000000.bmp",
                             "王浩然1001-20250101-000000.bmp"})
        p.fx.WriteFile(std::string("原始图片/") + name, "BM");
    p.fx.prompts.shown.clear();
    p.f.NOpenpic->trigger();
    EXPECT_TRUE(p.fx.prompts.shown.empty());
    ASSERT_EQ(p.fx.opened.size(), 1u);
    EXPECT_EQ(QUrl(QString::fromStdString(p.fx.opened[0])).toLocalFile().toStdString(),
              files::ToUtf8(p.fx.home / files::FromUtf8("原始图片/李梓涵1002-20240302-071000.bmp")));
}

} // namespace

// The boxes' choice reaches acceptance: with the virtual camera, a student of
// another class is refused, and the same card is taken once its class is chosen.
TEST(MarkingGrid, GradeAndClassChoiceReachCardAcceptance)
{
    GuiFixture fx;
    CaptureController::Services s;
    s.io = std::make_shared<FakeV4l2Io>();  // no real cameras: only the virtual one
    auto driver = std::make_unique<CameraDriver>(fx.prompts, s);
    fx.services.camera = driver->Port();
    TestMainForm& f = fx.Start();
    driver->Attach(f);
    f.resize(840, 688);
    for (const auto& card : cardprint::ShippedCards())
        if (card.fileName == cardprint::DemoTemplateName()) {
            f.Session->cardTemplate = card.record;
            f.Session->templateName = card.fileName;
        }
    f.Session->roster = cardprint::ShippedRoster();  // classes 01 and 02, grades off
    ASSERT_TRUE(f.Session->exam.subjectCode.Set(cardprint::DemoSubjectCode()));
    ExamSetup& e = f.Session->exam;
    e.questionCount = 10;
    e.groupCount = 1;
    e.groups[0] = {1, 10, 1, 0};
    for (int q = 0; q < 10; ++q)
        e.questions[q] = {1, 0, 0, 0};

    // A grade box without a choice refuses "阅卷" before anything else.
    f.Session->roster.gradeEnabled = 1;
    f.SetActivePage(5);
    f.SetUpMarkingGrid();
    f.BtnAnswerCard->click();
    EXPECT_EQ(fx.prompts.shown.back().text, "请选择年级！");
    f.Session->roster.gradeEnabled = 0;
    f.SetUpMarkingGrid();
    f.BtnAnswerCard->click();
    EXPECT_EQ(fx.prompts.shown.back().text, "请选择班级");
    EXPECT_TRUE(f.StatusText.empty());

    f.SetActivePage(2);
    f.BtnConn->click();
    f.SetActivePage(5);
    f.BJYJ->setCurrentIndex(f.BJYJ->findText(QStringLiteral("02")));
    // Marks whatever lies under the camera until `done`, a few attempts a
    // second so that Timer1 brings new frames in between.
    auto markUntil = [&](auto done) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            QTest::qWait(300);
            f.BtnAnswerCard->click();
            if (done())
                return true;
        }
        return false;
    };
    ASSERT_TRUE(markUntil([&] { return f.Session->session.recordCount == 1; })) << f.StatusText;
    // The demo stack's first student is in class 01.
    ASSERT_TRUE(markUntil([&] { return f.StatusText == "不属于当前班级"; })) << f.StatusText;
    EXPECT_EQ(f.Session->session.recordCount, 1);
    f.BJYJ->setCurrentIndex(f.BJYJ->findText(QStringLiteral("01")));
    ASSERT_TRUE(markUntil([&] { return f.Session->session.recordCount == 2; })) << f.StatusText;
    // The card just read is the current row, in the focused grid.
    MarkingGridModel& model = *f.SGridYJModel();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(f.SGridYJ->currentIndex().row(), 1);
    EXPECT_EQ(model.Text(1, 6), QStringLiteral("01"));
    EXPECT_TRUE(f.SGridYJ->hasFocus());

    // An edited key puts the reminder on the live view until 重新算分.
    auto redPixels = [&] {
        const QImage shown = f.ImageView->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                n += shown.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return redPixels() == 0; }, 10000));
    f.SGridYJ->setCurrentIndex(model.index(0, kQ));
    f.SGridYJDblClick();
    QLineEdit* editor = f.SGridYJDelegate()->OpenEditor();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClick(editor, editor->text() == QStringLiteral("A") ? 'B' : 'A');
    EXPECT_TRUE(f.Session->session.rescorePending);
    EXPECT_TRUE(QTest::qWaitFor([&] { return redPixels() > 200; }, 10000));
    if (const char* dir = std::getenv("SCORIVO_SCREENS_DIR"))
        f.grab().save(QString::fromUtf8(dir) + QStringLiteral("/5-重新算分提示.png"));
    f.NRefreshClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return redPixels() == 0; }, 10000));
    f.SetUnsavedChanges(false);
}
