// The frame loop with recognition's preparation: ColourFrame keeps the
// picture without the preview's guides, "DY" and "JD" cards get binarised
// frames (also for the motion measure), other cards keep colour frames.

#include <gtest/gtest.h>

#include <cstring>

#include "CaptureTestSupport.h"
#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/SampleConversion.h"

namespace {

struct QuietView final : FrameLoopView {
    void ShowCameraTest(const FrameBuffer&) override {}
    void ShowMarkingPreview(const FrameBuffer&) override {}
    void ShowRescoreHint() override {}
    void DrawStatusOverlay() override {}
    void OutlinePreview() override {}
    void ClearStatusText() override {}
};

// Bottom-up B, G, R: left half grey 90, right half grey 160.
std::vector<uint8_t> HalfAndHalf()
{
    std::vector<uint8_t> s(size_t(640) * 480 * 3);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            std::memset(s.data() + (size_t(y) * 640 + x) * 3, x < 320 ? 90 : 160, 3);
    return s;
}

struct PreparedFrames : ::testing::Test {
    void Run(const std::string& templateName)
    {
        context.SetTemplate(CardTemplate{}, templateName);
        ASSERT_TRUE(session.StartCapture(source));
        source->Send(HalfAndHalf());
        loop.Tick(ActivePage::Marking);
    }
    RecognitionContext context;
    RecognitionFramePreparation prep{context};
    CaptureSession session;
    std::shared_ptr<ManualSource> source = std::make_shared<ManualSource>(subtype::Rgb);
    QuietView view;
    ManualClock clock;
    MarkingSettings settings;
    FrameLoop loop{session, prep, view, clock, settings, {}};
};

TEST_F(PreparedFrames, DyCardsAreBinarisedAtOneHundred)
{
    Run("DY标准85题自动AB卷.dat");
    // Turned: the right half (160) of the sample is now on the left.
    const BitmapView frame = session.FrameBitmap().Pixels();
    EXPECT_EQ(frame.TopRow(10)[0], 255);
    EXPECT_EQ(frame.TopRow(10)[600 * 3], 0);
    // ColourFrame holds the unbinarised picture without the guides (x = 80 would be yellow).
    const BitmapView colour = context.ColourFrame.View();
    ASSERT_EQ(colour.width, 640);
    EXPECT_EQ(colour.At(80, 200)[0], 160);
    EXPECT_EQ(colour.At(80, 200)[2], 160);
    EXPECT_EQ(colour.At(600, 200)[0], 90);
    // LineFrame and the recognition FrameBitmap are the binarised frame.
    EXPECT_EQ(context.LineFrame.View().At(600, 200)[0], 0);
    EXPECT_EQ(0, std::memcmp(context.FrameBitmap.Data(), session.FrameBitmap().Data(), session.FrameBitmap().SizeBytes()));
}

TEST_F(PreparedFrames, OtherCardsKeepColourFrames)
{
    Run("自定义卡.dat");
    const BitmapView frame = session.FrameBitmap().Pixels();
    EXPECT_EQ(frame.TopRow(10)[0], 160);
    EXPECT_EQ(frame.TopRow(10)[80 * 3 + 1], 160);  // the guides are gone again
    EXPECT_EQ(context.LineFrame.View().At(600, 200)[0], 90);
}

TEST_F(PreparedFrames, WorkImagesFollowTheFrameFormat)
{
    source = std::make_shared<ManualSource>(subtype::Yuy2);
    context.SetTemplate(CardTemplate{}, "JD彩色卡.dat");
    ASSERT_TRUE(session.StartCapture(source));
    source->Send(std::vector<uint8_t>(Yuy2SampleBytes(640, 480), 128));
    loop.Tick(ActivePage::Marking);
    EXPECT_EQ(context.FrameBitmap.BytesPerPixel(), 4);
    EXPECT_EQ(context.CheckCard.Width(), 800);
    EXPECT_EQ(context.ColourFrame.BytesPerPixel(), 4);
}

} // namespace
