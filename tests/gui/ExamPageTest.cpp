// The exam page: filled from the card and the exam record, its tables and
// key filters, and the Next check's refusals with the focus on the cell.
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "StudentExamSupport.h"

namespace {

constexpr int kFirst = 1, kLast = 2, kScore = 3, kKind = 4;
constexpr char kCard[] = "DY标准85题自动AB卷.dat";

// A window on page 4 with the shipped 85-question card loaded.
struct ExamPage {
    GuiFixture fx;
    TestMainForm& f;
    ExamPage() : f(fx.Start())
    {
        CopyShipped(fx, std::string("模板文件/") + kCard);
        f.Session->templateName = kCard;
        std::string message;
        EXPECT_TRUE(LoadCardTemplate(fx.home, kCard, f.Session->cardTemplate, message)) << message;
        f.SetActivePage(4);
        f.ShowExamPage();
        f.activateWindow();
        QApplication::processEvents();
    }
    // Name and subject filled in, so that the table checks are reached.
    void NameAndSubject()
    {
        f.EdtKSName->setText(QStringLiteral("期中考试"));
        f.CBSelectedKeMu->setCurrentIndex(1);
        f.CBSelectedZG->setCurrentIndex(0);
    }
    void Group(int row, const char* first, const char* last, const char* score, const char* kind)
    {
        while (f.SGridTF->rowCount() <= row)
            f.SGridTF->insertRow(f.SGridTF->rowCount());
        SetCell(f.SGridTF, row, kFirst, first);
        SetCell(f.SGridTF, row, kLast, last);
        SetCell(f.SGridTF, row, kScore, score);
        SetCell(f.SGridTF, row, kKind, kind);
    }
    void Rule(int row, const char* questions, const char* partial)
    {
        while (f.SGridDX->rowCount() <= row)
            f.SGridDX->insertRow(f.SGridDX->rowCount());
        SetCell(f.SGridDX, row, 1, questions);
        SetCell(f.SGridDX, row, 2, partial);
    }
    // Next on page 4; the message it showed ("" when none).
    std::string Next()
    {
        fx.prompts.shown.clear();
        f.BtnNext4Click();
        return fx.prompts.shown.empty() ? std::string() : fx.prompts.shown.back().text;
    }
    void ExpectFocusCell(QTableWidget* table, int row, int column, bool editing)
    {
        EXPECT_EQ(table->currentRow(), row);
        EXPECT_EQ(table->currentColumn(), column);
        EXPECT_EQ(OpenEditor(table) != nullptr, editing);
        EXPECT_TRUE(table->hasFocus() || OpenEditor(table) != nullptr);
    }
};

TEST(ExamPage, ShowsTheCardTheRecordAndTheExplanations)
{
    ExamPage p;
    p.f.resize(840, 688);
    ExamSetup& e = p.f.Session->exam;
    (void)e.examName.SetUtf8("七年级期中考试");
    (void)e.subjectCode.SetUtf8("02");
    e.hasSubjectiveScore = 1;
    e.groupCount = 3;
    e.groups[0] = {1, 40, 1.5f, 0};
    e.groups[1] = {41, 60, 2.0f, 0};
    e.groups[2] = {61, 85, 3.0f, 1};
    e.ruleCount = 1;
    (void)e.rules[0].questionList.SetUtf8("61-70,85");
    (void)e.rules[0].partialScore.SetUtf8("0.5/");
    p.f.ShowExamPage();

    EXPECT_EQ(p.f.LblCardName->text(), QString::fromUtf8(kCard));
    EXPECT_EQ(p.f.EdtKSName->text(), QStringLiteral("七年级期中考试"));
    EXPECT_EQ(p.f.CBSelectedKeMu->count(), p.f.Session->cardTemplate.SubjectCount);
    EXPECT_EQ(p.f.CBSelectedKeMu->currentText(), QStringLiteral("数学"));
    EXPECT_EQ(p.f.CBSelectedZG->currentText(), QStringLiteral("有主观题分"));
    EXPECT_EQ(p.f.CBSelectedZG->isEnabled(), p.f.Session->cardTemplate.ScoreColumns != 0);
    ASSERT_EQ(p.f.SGridTF->rowCount(), 3);
    EXPECT_EQ(Cell(p.f.SGridTF, 0, 0), QStringLiteral("1"));
    EXPECT_EQ(Cell(p.f.SGridTF, 0, kScore), QStringLiteral("1.5"));
    EXPECT_EQ(Cell(p.f.SGridTF, 1, kScore), QStringLiteral("2"));
    EXPECT_EQ(Cell(p.f.SGridTF, 2, kKind), QStringLiteral("多选题"));
    EXPECT_EQ(Cell(p.f.SGridDX, 0, 1), QStringLiteral("61-70,85"));
    EXPECT_FALSE(p.f.CBTFSort->isVisible());
    EXPECT_TRUE(p.f.Memo1->toPlainText().contains(QStringLiteral("1、各大题须依次设置，确保每个题目都在相应的大题中。")));
    EXPECT_TRUE(p.f.Memo2->toPlainText().contains(QStringLiteral("只有少选也需要根据情况给分时才需要使用此设置")));
    EXPECT_TRUE(p.f.Memo1->isReadOnly());
    SaveScreen(p.f, "4-考试信息设置.png");

    EXPECT_EQ(p.Next(), "");
    EXPECT_EQ(p.f.ActivePage(), 5);
    EXPECT_EQ(p.f.Session->exam.questionCount, 85);
    EXPECT_EQ(p.f.Session->exam.questions[84].perOption, 1);
}

TEST(ExamPage, ACardWithoutASubjectiveAreaShowsNoSubjectiveScoreDisabled)
{
    ExamPage p;
    p.f.Session->cardTemplate.ScoreColumns = 0;
    p.f.Session->exam.hasSubjectiveScore = 1;
    p.f.ShowExamPage();
    EXPECT_EQ(p.f.CBSelectedZG->currentText(), QStringLiteral("无主观题分"));
    EXPECT_FALSE(p.f.CBSelectedZG->isEnabled());
    EXPECT_FALSE(p.f.LblZG->isEnabled());
}

TEST(ExamPage, NameSubjectAndEmptyTableAreRefusedWithTheirFocus)
{
    ExamPage p;
    EXPECT_EQ(p.Next(), "本次考试名称不能为空。");
    EXPECT_EQ(QApplication::focusWidget(), p.f.EdtKSName);
    EXPECT_EQ(p.f.ActivePage(), 4);

    p.f.EdtKSName->setText(QStringLiteral("期中"));
    EXPECT_EQ(p.Next(), "请选择科目。");
    EXPECT_EQ(QApplication::focusWidget(), p.f.CBSelectedKeMu);
    p.f.CBSelectedKeMu->setCurrentIndex(0);
    p.f.CBSelectedZG->setCurrentIndex(-1);
    EXPECT_EQ(p.Next(), "请选择主观分选项。");
    EXPECT_EQ(QApplication::focusWidget(), p.f.CBSelectedZG);
    p.f.CBSelectedZG->setCurrentIndex(0);

    // The empty score table gets its first row, the cursor in 终止题号.
    EXPECT_EQ(p.Next(), "题分设置里至少要设置一项");
    ASSERT_EQ(p.f.SGridTF->rowCount(), 1);
    EXPECT_EQ(Cell(p.f.SGridTF, 0, kFirst), QStringLiteral("1"));
    p.ExpectFocusCell(p.f.SGridTF, 0, kLast, true);
    EXPECT_EQ(p.f.ActivePage(), 4);
}

TEST(ExamPage, GroupsMustFollowEachOther)
{
    ExamPage p;
    p.NameAndSubject();
    p.Group(0, "1", "10", "1", "单选题");
    p.Group(1, "12", "20", "1", "单选题");
    EXPECT_EQ(p.Next(), "题分设置中，大题之间题号不连续！中间没有用到的题号也要添加一个大题,并将分值设置为零");
    p.ExpectFocusCell(p.f.SGridTF, 1, kFirst, false);

    p.Group(1, "10", "20", "1", "单选题");
    EXPECT_EQ(p.Next(), "题分设置中，大题之间题号不能交叉重复设置！");
    p.ExpectFocusCell(p.f.SGridTF, 1, kFirst, false);

    p.Group(1, "11", "", "1", "单选题");
    EXPECT_EQ(p.Next(), "不能有空项。");
    p.ExpectFocusCell(p.f.SGridTF, 1, kLast, true);

    p.Group(1, "11", "20", "1", "");
    EXPECT_EQ(p.Next(), "不能有空项。");
    p.ExpectFocusCell(p.f.SGridTF, 1, kKind, false);

    p.Group(1, "11", "90", "1", "单选题");
    EXPECT_EQ(p.Next(), "终止题号不能大于总题目数。");
    p.ExpectFocusCell(p.f.SGridTF, 1, kLast, false);

    p.Group(0, "0", "10", "1", "单选题");
    p.Group(1, "11", "20", "1", "单选题");
    EXPECT_EQ(p.Next(), "起始题号不能为0");
    p.ExpectFocusCell(p.f.SGridTF, 0, kFirst, true);

    p.Group(0, "1", "10", "10", "单选题");
    p.Group(1, "11", "40", "11", "单选题");
    EXPECT_EQ(p.Next(), "每小题分数不能超过10分");
    p.ExpectFocusCell(p.f.SGridTF, 1, kScore, false);

    // A score of exactly 10 passes; 1-10, 11-20 and 21-40 cover 40 questions.
    p.Group(1, "11", "20", "10", "单选题");
    p.Group(2, "21", "40", "2", "多选题");
    EXPECT_EQ(p.Next(), "");
    EXPECT_EQ(p.f.ActivePage(), 5);
    EXPECT_EQ(p.f.Session->exam.questionCount, 40);
    EXPECT_EQ(p.f.Session->exam.groupCount, 3);
    EXPECT_EQ(p.f.Session->exam.subjectName.Utf8(), "数学");
    EXPECT_EQ(p.f.Session->exam.cardName.Utf8(), kCard);
}

TEST(ExamPage, RulesAreCheckedAgainstTheGroups)
{
    ExamPage p;
    p.NameAndSubject();
    p.Group(0, "1", "11", "2", "多选题");
    p.Group(1, "12", "20", "0", "单选题");
    p.Rule(0, "1-5,11", "");
    EXPECT_EQ(p.Next(), "多选题特殊规则设置里不能为空。");
    p.ExpectFocusCell(p.f.SGridDX, 0, 2, true);

    p.Rule(0, "1-5,11", "2");
    EXPECT_EQ(p.Next(), "多选题特殊规则设置里少选分不能大于等于该题题分，请检查！");
    p.ExpectFocusCell(p.f.SGridDX, 0, 2, false);

    p.Rule(0, "1-5,15", "1");
    EXPECT_EQ(p.Next(), "多选题特殊规则设置里不能填入单选题题号。");
    p.ExpectFocusCell(p.f.SGridDX, 0, 1, false);

    p.Rule(0, "1-5,11", "0.5/");
    p.Rule(1, "5-3", "1");
    EXPECT_EQ(p.Next(), "");
    const ExamSetup& e = p.f.Session->exam;
    for (int q : {1, 2, 3, 4, 5, 11}) {
        EXPECT_EQ(e.questions[q - 1].perOption, 1) << q;
        EXPECT_FLOAT_EQ(e.questions[q - 1].partialScore, 0.5f) << q;
    }
    EXPECT_EQ(e.questions[5].perOption, 0);
    EXPECT_EQ(e.ruleCount, 2);
}

TEST(ExamPage, TablesAddDeleteAndFilterKeys)
{
    ExamPage p;
    p.f.BtnTFAddClick();
    QLineEdit* editor = OpenEditor(p.f.SGridTF);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(p.f.SGridTF->currentColumn(), kLast);
    QTest::keyClicks(editor, QStringLiteral("1a0"));
    EXPECT_EQ(editor->text(), QStringLiteral("10"));

    // A new row starts behind the previous one's last question.
    p.f.BtnTFAddClick();
    ASSERT_EQ(p.f.SGridTF->rowCount(), 2);
    EXPECT_EQ(Cell(p.f.SGridTF, 1, kFirst), QStringLiteral("11"));
    EXPECT_EQ(Cell(p.f.SGridTF, 1, 0), QStringLiteral("2"));
    // ...but not while that last question is still empty.
    p.f.BtnTFAddClick();
    EXPECT_EQ(p.f.SGridTF->rowCount(), 2);
    EXPECT_EQ(p.f.SGridTF->currentRow(), 1);
    EXPECT_EQ(p.f.SGridTF->currentColumn(), kLast);

    // Scores: one decimal after one digit, three characters: 10.5 cannot be typed.
    p.f.SGridTF->setFocus();
    p.f.SGridTF->setCurrentCell(0, kScore);
    p.f.SGridTF->editItem(p.f.SGridTF->item(0, kScore));
    editor = OpenEditor(p.f.SGridTF);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QStringLiteral("10.5"));
    EXPECT_EQ(editor->text(), QStringLiteral("105"));
    editor->clear();
    QTest::keyClicks(editor, QStringLiteral("1.55"));
    EXPECT_EQ(editor->text(), QStringLiteral("1.5"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("9"));
    EXPECT_EQ(editor->text(), QStringLiteral("9"));

    // The kind chooser lies over its cell and writes the choice.
    p.f.SGridTFClick(1, kKind);
    EXPECT_TRUE(p.f.CBTFSort->isVisible());
    EXPECT_EQ(p.f.CBTFSort->geometry(), p.f.SGridTF->visualItemRect(p.f.SGridTF->item(1, kKind)));
    EXPECT_EQ(p.f.CBTFSort->currentIndex(), -1);
    p.f.CBTFSort->setCurrentIndex(1);
    emit p.f.CBTFSort->activated(1);
    EXPECT_EQ(Cell(p.f.SGridTF, 1, kKind), QStringLiteral("多选题"));
    p.f.SGridTFClick(1, kKind);
    EXPECT_EQ(p.f.CBTFSort->currentText(), QStringLiteral("多选题"));
    p.f.EdtKSName->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(p.f.CBTFSort->isVisible());

    // Deleting renumbers.
    p.f.SGridTF->setCurrentCell(0, kFirst);
    p.f.BtnTFDeleteClick();
    ASSERT_EQ(p.f.SGridTF->rowCount(), 1);
    EXPECT_EQ(Cell(p.f.SGridTF, 0, 0), QStringLiteral("1"));
    EXPECT_EQ(Cell(p.f.SGridTF, 0, kFirst), QStringLiteral("11"));

    // Rules: question numbers with "," and "-", partial scores with one "/".
    p.f.BtnDXAddClick();
    EXPECT_EQ(p.f.SGridDX->currentColumn(), 1);
    p.f.SGridDX->editItem(p.f.SGridDX->item(0, 1));
    editor = OpenEditor(p.f.SGridDX);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QStringLiteral("1-5,11;x"));
    EXPECT_EQ(editor->text(), QStringLiteral("1-5,11"));
    p.f.SGridDX->setCurrentCell(0, 2);
    p.f.SGridDX->editItem(p.f.SGridDX->item(0, 2));
    editor = OpenEditor(p.f.SGridDX);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QStringLiteral("0.5//1"));
    EXPECT_EQ(editor->text(), QStringLiteral("0.5/"));

    for (int i = 0; i < 12; ++i)
        p.f.BtnDXAddClick();
    EXPECT_EQ(p.f.SGridDX->rowCount(), 10);
    EXPECT_TRUE(p.fx.prompts.WasShown("多选题特殊规则设置里最多只能设置10项。"));
}

} // namespace

namespace {

// After the marking page was entered the exam belongs to the marking raw
// file: a change on the exam page leaves the session unsaved; going through
// the page without a change does not.
TEST(ExamPage, ChangesAfterMarkingBeganAreUnsavedChanges)
{
    ExamPage p;
    p.NameAndSubject();
    p.Group(0, "1", "85", "1", "单选题");
    p.f.EdtKSName->setText(QStringLiteral("期中考试"));
    EXPECT_EQ(p.Next(), "");
    EXPECT_FALSE(p.f.UnsavedChanges());  // before marking: nothing to save yet
    ASSERT_EQ(p.f.ActivePage(), 5);
    EXPECT_EQ(p.f.SessionStarted, 1);

    p.f.BtnBack5Click();
    EXPECT_EQ(p.Next(), "");
    EXPECT_FALSE(p.f.UnsavedChanges());

    p.f.BtnBack5Click();
    SetCell(p.f.SGridTF, 0, kScore, "2");
    EXPECT_EQ(p.Next(), "");
    EXPECT_TRUE(p.f.UnsavedChanges());
    EXPECT_FLOAT_EQ(p.f.Session->exam.questions[0].score, 2.0f);
    p.f.SetUnsavedChanges(false);
}

} // namespace
