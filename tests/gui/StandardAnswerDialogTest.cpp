// "标准答案输入": the texts of the dialog, its key filter, its three checks
// and what an accepted answer does to the session and the grid.
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "StudentExamSupport.h"
#include "marking/ui/MarkingGridModel.h"
#include "marking/ui/StandardAnswerDialog.h"

namespace {

// 13 questions, 1-10 single choice, 11-13 multiple choice; a card of 4 options.
struct TypedAnswer {
    GuiFixture fx;
    TestMainForm& f;
    TypedAnswer() : f(fx.Start())
    {
        f.Session->roster.Reset();
        f.Session->roster.admissionLength = 6;
        ExamSetup& e = f.Session->exam;
        e.Clear();
        e.questionCount = 13;
        e.groupCount = 2;
        e.groups[0] = {1, 10, 2, 0};
        e.groups[1] = {11, 13, 4, 1};
        for (int q = 0; q < 13; ++q)
            e.questions[q] = {q < 10 ? 2.0f : 4.0f, q < 10 ? 0 : 1, 0, 0};
        f.Session->cardTemplate.DefaultOptions = 4;
        f.SetActivePage(5);
        f.SetUpMarkingGrid();
    }
    // Runs the dialog from its button; `inside` types and presses.
    template <class F>
    void Run(F inside)
    {
        WhenShown(f.FormBZDaAn, [inside](TFormBZDaAn& d) {
            QApplication::processEvents();
            inside(d);
        });
        f.BtnBZDaAnClick();
    }
    std::string Answer(int q) const { return std::string(f.Session->session.records[0].questionResults[q].answer.View()); }
    // Types `text` into Memo1 key by key (new lines as Enter).
    static void Type(TFormBZDaAn& d, const char* text)
    {
        for (const char* c = text; *c; ++c) {
            if (*c == '\n')
                QTest::keyClick(d.Memo1, Qt::Key_Return);
            else
                QTest::keyClick(d.Memo1, *c);
        }
    }
    // Presses 确定 on `text` and returns the message shown ("" when none); the dialog is left open.
    std::string Refusal(TFormBZDaAn& d, const char* text)
    {
        d.Memo1->setPlainText(QString::fromUtf8(text));
        fx.prompts.shown.clear();
        d.BtnOK->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.Memo1->toPlainText(), QString::fromUtf8(text));
        EXPECT_TRUE(d.ResultText.isEmpty());
        return fx.prompts.shown.empty() ? std::string() : fx.prompts.shown.back().text;
    }
};

TEST(StandardAnswerDialog, ShowsItsInstructionsAndTakesTheExample)
{
    TypedAnswer t;
    ASSERT_TRUE(t.f.BtnBZDaAn->isEnabled());
    TFormBZDaAn* dialog = t.f.FormBZDaAn;
    t.Run([&](TFormBZDaAn& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("标准答案输入"));
        EXPECT_EQ(d.size(), QSize(411, 449));
        EXPECT_EQ(d.Memo1->size(), QSize(225, 257));
        EXPECT_EQ(d.BtnOK->text(), QStringLiteral("确定"));
        EXPECT_EQ(d.BtnCancel->text(), QStringLiteral("取消"));
        EXPECT_TRUE(d.Memo2->isReadOnly());
        EXPECT_TRUE(d.Memo3->isReadOnly());
        EXPECT_EQ(d.Memo2->toPlainText(),
                  QStringLiteral("方法1：\n"
                                 "    在答题卡上涂上标准答案，准考证号空着。另外也可以使用成绩最好的\n"
                                 "学生的答题卡做标准答案（读入后可以在列表中核对修改个别错误的答案）\n"
                                 "，可以先将其答题卡准考证号先用橡皮擦擦除，作为标准答案输入后再涂回\n"
                                 "原来的准考证号\n"
                                 "\n"
                                 "方法2：\n"
                                 "    直接在下面输入，方法：每个题目答案直接用 空格或回车分开，多选\n"
                                 "题答案要连续（比如 ABC)"));
        EXPECT_EQ(d.Memo3->toPlainText(),
                  QStringLiteral("例子\n\nC B D C D\nA B C D D\nBC CD ACD\n\n表示 \n1.C 2.B 3.D 4.C 5.D\n"
                                 "6.A 7.B 8.C 9.D 10.D\n11.BC 12.CD 13.ACD\n\n\n\n"
                                 "注意：如果某题是错题（错\n题的意思是题目出错了，全\n部直接给分），请先随便输\n"
                                 "入该题答案，等输入完所有\n答案并按确定后，再在阅卷\n列表里将该错题答案清空。"));
        // Both texts show whole, line by line, without scrolling.
        for (QTextEdit* memo : {d.Memo2, d.Memo3}) {
            EXPECT_LE(memo->document()->idealWidth(), memo->viewport()->width()) << memo->objectName().toStdString();
            EXPECT_LE(memo->document()->size().height(), memo->viewport()->height()) << memo->objectName().toStdString();
        }
        EXPECT_TRUE(d.Memo1->hasFocus());
        SaveScreen(d, "标准答案输入.png");
        // Lower case comes out upper case; runs of separators count as one.
        TypedAnswer::Type(d, "C B D C D\na b c d  d\n\nbc cd acd \n");
        EXPECT_EQ(d.Memo1->toPlainText(), QStringLiteral("C B D C D\nA B C D  D\n\nBC CD ACD \n"));
        d.BtnOK->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(t.fx.prompts.shown.empty());
    const MarkingSession& s = t.f.Session->session;
    ASSERT_EQ(s.recordCount, 1);
    const char* expected[13] = {"C", "B", "D", "C", "D", "A", "B", "C", "D", "D", "BC", "CD", "ACD"};
    for (int q = 0; q < 13; ++q)
        EXPECT_EQ(t.Answer(q), expected[q]) << q;
    EXPECT_EQ(t.Answer(13), "");
    EXPECT_EQ(s.records[0].admissionNumber.View(), "      ");
    EXPECT_EQ(s.records[0].readCount, 0);
    // The grid shows it and the button is done.
    EXPECT_EQ(t.f.SGridYJModel()->Text(0, 4), QStringLiteral("标准答案"));
    EXPECT_EQ(t.f.SGridYJModel()->Text(0, marking_grid::FixedColumns + 12), QStringLiteral("ACD"));
    EXPECT_FALSE(t.f.BtnBZDaAn->isEnabled());
    EXPECT_TRUE(t.f.UnsavedChanges());
    // One dialog for the whole run.
    EXPECT_EQ(t.f.FormBZDaAn, dialog);
}

TEST(StandardAnswerDialog, RefusesAnswersThatDoNotFitTheQuestions)
{
    TypedAnswer t;
    t.Run([&](TFormBZDaAn& d) {
        EXPECT_EQ(t.Refusal(d, "C B D C D A B C D D CB CD ACD"), "第11题答案\"CB\"格式不对,请检查");
        EXPECT_EQ(t.Refusal(d, "C B D C D A B C D D BC BB ACD"), "第12题答案\"BB\"格式不对,请检查");
        EXPECT_EQ(t.Refusal(d, "C B AB C D A B C D D BC CD ACD"), "第3题是单选题,只能有一个正确选项");
        EXPECT_EQ(t.Refusal(d, "C B D C D A B C D D BC CD"), "输入的答案数(共12题)和题分设置里(共13题)不符，请检查");
        EXPECT_EQ(t.Refusal(d, "C B D C D A B C D D BC CD ACD A"),
                  "输入的答案数(共14题)和题分设置里(共13题)不符，请检查");
        EXPECT_EQ(t.Refusal(d, ""), "输入的答案数(共0题)和题分设置里(共13题)不符，请检查");
        // Pasted past the key filter: ten letters do not fit an answer.
        EXPECT_EQ(t.Refusal(d, "C B D C D A B C D D BC CD ABCDEFGHIJ"),
                  "第13题答案\"ABCDEFGHIJ\"太长，每题答案最多只能有9个字母,请检查");
        // Nine do (the filter, not the check, keeps them to the card's letters).
        d.Memo1->setPlainText(QStringLiteral("C B D C D A B C D D BC CD ABCDEFGHI"));
        d.BtnOK->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(t.f.Session->session.recordCount, 1);
    EXPECT_EQ(t.Answer(12), "ABCDEFGHI");
}

TEST(StandardAnswerDialog, KeyFilterFollowsTheCardsLargestOptionCount)
{
    TypedAnswer t;
    t.Run([&](TFormBZDaAn& d) {
        EXPECT_EQ(d.MaxOptions, 4);
        TypedAnswer::Type(d, "abcdeE1,;-xyz");
        EXPECT_EQ(d.Memo1->toPlainText(), QStringLiteral("ABCD"));
        QTest::keyClick(d.Memo1, Qt::Key_Backspace);
        QTest::keyClick(d.Memo1, Qt::Key_A, Qt::ControlModifier);  // no other control key
        TypedAnswer::Type(d, " B");
        EXPECT_EQ(d.Memo1->toPlainText(), QStringLiteral("ABC B"));
        d.BtnCancel->click();
    });
    // A block of five options: E can be typed, F cannot.
    CardTemplate& c = t.f.Session->cardTemplate;
    c.OverrideCount = 1;
    c.BlockOverrides[0].options = 5;
    t.Run([&](TFormBZDaAn& d) {
        EXPECT_EQ(d.MaxOptions, 5);
        EXPECT_TRUE(d.Memo1->toPlainText().isEmpty());  // emptied on every showing
        TypedAnswer::Type(d, "eEfF");
        EXPECT_EQ(d.Memo1->toPlainText(), QStringLiteral("EE"));
        d.BtnCancel->click();
    });
}

TEST(StandardAnswerDialog, CancelLeavesTheSessionEmpty)
{
    TypedAnswer t;
    t.Run([&](TFormBZDaAn& d) {
        TypedAnswer::Type(d, "C B D C D A B C D D BC CD ACD");
        d.BtnCancel->click();
    });
    EXPECT_TRUE(t.f.FormBZDaAn->ResultText.isEmpty());
    EXPECT_EQ(t.f.Session->session.recordCount, 0);
    EXPECT_TRUE(t.f.BtnBZDaAn->isEnabled());
    EXPECT_FALSE(t.f.UnsavedChanges());
    EXPECT_TRUE(t.f.SGridYJModel()->Text(0, 4).isEmpty());
}

} // namespace
