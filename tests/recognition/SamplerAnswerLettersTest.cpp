// What the recognition sampler hands to acceptance: every letter marked on a
// question, also when the marking record's nine-letter field cannot hold
// them, so that acceptance can refuse the card instead of storing a cut answer.
#include <gtest/gtest.h>

#include "TinyBitmaps.h"
#include "exam/ExamSetup.h"
#include "marking/RecognitionSampler.h"
#include "recognition/MarkSampling.h"

namespace {

// One block of five questions with ten options across, on a binarised card
// picture of known geometry.
struct TenOptionCard : ::testing::Test {
    RecognitionContext ctx;
    ExamSetup exam{};

    void SetUp() override
    {
        ctx.SetUp(640, 480, 3);
        CardTemplate t{};
        t.LineLength = 100;
        t.LineDistance = 50;
        t.CellWidth = 20;
        t.CellHeight = 15;
        t.AbMode = 1;
        t.AdmColumns = 3;
        t.AdmRow = 12;
        t.QuestionCount = 5;
        t.DefaultOptions = 10;
        t.AnswerRow = -2;
        t.BlockColPitch = 12;
        t.BlockRowPitch = 6;
        t.Sec1Columns = 1;
        t.Sec1Rows = 1;
        ctx.SetTemplate(t, "DY测试.dat");
        ctx.Geometry.s = 1;
        ctx.Geometry.sx = 20;
        ctx.Geometry.sy = 15;
        ctx.Geometry.X0 = 100;
        ctx.Geometry.Y0 = 400;
        ctx.RectifiedCard.FillWhite();
        ctx.CheckCard.FillWhite();
        ASSERT_EQ(BuildSamplingGrids(ctx), GridsOk);
        exam.questionCount = 5;
        for (int q = 0; q < 5; ++q) {
            exam.questions[q].score = 1;
            exam.questions[q].kind = 1;  // multiple choice
        }
    }
    void Fill(int question, int option)
    {
        const PointF c = ctx.Questions[question].corner[option];
        for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
            FillRect(*b, static_cast<int>(c.x), static_cast<int>(c.y) - 13, static_cast<int>(c.x) + 20,
                     static_cast<int>(c.y));
    }
};

TEST_F(TenOptionCard, AllTenLettersReachAcceptance)
{
    ASSERT_EQ(ctx.Questions[0].options, 10);
    for (int j = 0; j < 10; ++j)
        Fill(0, j);
    for (int j : {1, 3, 9})
        Fill(2, j);
    RecognitionSampler sampler(ctx);
    std::vector<std::string> answers;
    ASSERT_EQ(sampler.ReadAnswers(exam, answers), AnswersReadResult::Read);
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[0], "ABCDEFGHIJ");
    EXPECT_EQ(answers[1], "");
    EXPECT_EQ(answers[2], "BDJ");
    // The record's own field keeps what fits; acceptance refuses by the full text.
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "ABCDEFGHI");

    // A later card without the marks leaves nothing of the earlier letters behind.
    ctx.RectifiedCard.FillWhite();
    ctx.CheckCard.FillWhite();
    ASSERT_EQ(sampler.ReadAnswers(exam, answers), AnswersReadResult::Read);
    EXPECT_EQ(answers[0], "");
    EXPECT_EQ(answers[2], "");
}

} // namespace
