#include <gtest/gtest.h>

#include <functional>

#include "SyntheticCard.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"

namespace {

struct PipelineFixture : ::testing::Test {
    RecognitionContext ctx;
    CardTemplate t = synthetic::TestTemplate();
    synthetic::Filling filling;

    void SetUp() override
    {
        ctx.SetUp(640, 480, 3);
        ctx.SetTemplate(t, "DY测试卡.dat");
        filling.abType = 1;
        filling.admission = "20 417";
        filling.subject = "03";
        filling.answers = {"A",  "B", "C", "D", "",  "A", "B", "C", "D", "A",
                           "AB", "B", "C", "D", "A", "B", "C", "D", "A", "CD"};
    }
    MarkingOutcome Read(const synthetic::Pose& pose, bool turned = false,
                        const std::function<void(Bitmap&)>& over = nullptr)
    {
        synthetic::Photograph(t, filling, pose, ctx.FrameBitmap);
        if (turned)
            Rotate180(ctx.FrameBitmap.View());
        if (over)
            over(ctx.FrameBitmap);
        PrepareFrame(ctx);
        bool multiple[card_limits::MaxQuestions] = {};
        multiple[10] = multiple[19] = true;
        RawReadingAcceptance acceptance(WholeTemplateExam(t, multiple), t.AdmColumns);
        return RunMarkingAttempt(ctx, acceptance);
    }
    void ExpectFillingRead()
    {
        EXPECT_EQ(ctx.Reading.paperType, filling.abType);
        EXPECT_EQ(ctx.Reading.admissionNumber.View(), filling.admission);
        EXPECT_EQ(ctx.SubjectCode.View(), filling.subject);
        for (int q = 0; q < 20; ++q)
            EXPECT_EQ(ctx.Reading.questionResults[q].answer.View(), filling.answers[q]) << "question " << q + 1;
    }
};

TEST_F(PipelineFixture, ReadsAStraightCard)
{
    MarkingOutcome out = Read({});
    ASSERT_EQ(out.code, 0) << ctx.StatusText;
    EXPECT_EQ(out.sound, PromptSound::Success);
    ExpectFillingRead();
}

TEST_F(PipelineFixture, ReadsTurnedAndShiftedCards)
{
    for (double deg : {-6.0, 3.0, 7.0}) {
        MarkingOutcome out = Read({1.95, deg, 12, -8});
        ASSERT_EQ(out.code, 0) << deg << " " << ctx.StatusText;
        ExpectFillingRead();
    }
}

TEST_F(PipelineFixture, UpsideDownCardIsReadAfterTheInternalTurn)
{
    MarkingOutcome out = Read({1.95, 2, 0, 0}, true);
    ASSERT_EQ(out.code, 0) << ctx.StatusText;
    ExpectFillingRead();
}

// A thumb holding the card over its cells hides marks or passes for one: the
// card is refused with the shadow text until the hand moves. Held beside the
// cells, it changes nothing.
TEST_F(PipelineFixture, ThumbOverTheCellsIsRefusedBesideThemItIsNot)
{
    const auto thumbAt = [](int cx, int cy) {
        return [cx, cy](Bitmap& frame) {
            for (int y = cy - 11; y <= cy + 11; ++y)
                for (int x = cx - 40; x <= cx + 40; ++x) {
                    const double u = (x - cx) / 40.0, v = (y - cy) / 11.0;
                    if (u * u + v * v <= 1 && frame.View().Contains(x, y))
                        SetPixel(frame.At(x, y), 115, 145, 200);
                }
        };
    };
    for (const auto& [x, y] : {std::pair{200, 300}, std::pair{160, 400}}) {
        const MarkingOutcome out = Read({}, false, thumbAt(x, y));
        EXPECT_EQ(out.code, CodeRefused) << x << "," << y;
        EXPECT_EQ(ctx.StatusText, "光照有问题或有阴影落到答题卡上");
    }
    const MarkingOutcome beside = Read({}, false, thumbAt(40, 240));
    ASSERT_EQ(beside.code, 0) << ctx.StatusText;
    ExpectFillingRead();
}

TEST_F(PipelineFixture, DistanceAndCentreGiveTheirCodes)
{
    EXPECT_EQ(Read({2.35, 0, 0, 0}).code, 100);
    EXPECT_EQ(ctx.StatusText, "摄像头离答题卡太近");
    EXPECT_EQ(ctx.MemoTiShi, "摄像头离答题卡太近");
    EXPECT_EQ(Read({1.62, 0, 0, 0}).code, 101);
    EXPECT_EQ(Read({1.95, 0, 60, 0}).code, 105);
}

TEST_F(PipelineFixture, UnmarkedAbCellsAreRefused)
{
    t.AbMode = 0;
    ctx.SetTemplate(t, "DY测试卡.dat");
    filling.abType = 0;
    t.AbACol = 33; // the mark goes where the card does not look
    synthetic::Photograph(t, filling, {}, ctx.FrameBitmap);
    t.AbACol = 30;
    PrepareFrame(ctx);
    RawReadingAcceptance acceptance(WholeTemplateExam(t), t.AdmColumns);
    MarkingOutcome out = RunMarkingAttempt(ctx, acceptance);
    EXPECT_EQ(out.code, 13);
    EXPECT_EQ(out.sound, PromptSound::Warning);
    EXPECT_EQ(ctx.StatusText, "AB卷识别失败,AB卷位置没选中");
}

} // namespace

namespace {

// Templates with absurd but finite values reach sampling with cell windows
// far outside the card picture: they are clipped, never read out of bounds.
TEST_F(PipelineFixture, AbsurdTemplateValuesStayInsideThePictures)
{
    synthetic::Photograph(t, filling, {}, ctx.FrameBitmap);
    Bitmap sample = ctx.FrameBitmap.Copy();
    const float values[] = {1e30f, -1e30f, 1e6f, -500.0f, 0.001f};
    for (float v : values) {
        CardTemplate odd = t;
        odd.AdmCol = v;
        odd.AnswerRow = v;
        odd.UprightCol = v;
        odd.AbBRow = v;
        odd.ScoreColumns = 4;
        odd.ScoreCol = -v;
        ctx.SetTemplate(odd, "DY测试卡.dat");
        ctx.FrameBitmap.CopyFrom(sample);
        PrepareFrame(ctx);
        RawReadingAcceptance acceptance(WholeTemplateExam(odd), odd.AdmColumns);
        const MarkingOutcome out = RunMarkingAttempt(ctx, acceptance);
        EXPECT_NE(out.code, 0) << v;
    }
}

} // namespace
