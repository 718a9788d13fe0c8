// The frame loop with an injected clock: motion, stillness, marking once,
// re-arming, the automatic-marking button, and what each page gets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "CaptureTestSupport.h"
#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/SampleConversion.h"
#include "recognition/EveryPath.h"
#include "recognition/ImagePrimitives.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

struct RecordingView final : FrameLoopView {
    int cameraTest = 0, preview = 0, rescore = 0, overlay = 0, outline = 0, cleared = 0, lost = 0, testLost = 0;
    bool guidesSeen = false;
    void ShowCameraTest(const FrameBuffer&) override { ++cameraTest; }
    void ShowMarkingPreview(const FrameBuffer& f) override
    {
        ++preview;
        // The guide at x = 80 is yellow in the preview.
        const uint8_t* p = f.Pixels().TopRow(5) + 80 * size_t(f.PixelBytes());
        guidesSeen = p[0] == 0 && p[1] == 255 && p[2] == 255;
    }
    void ShowRescoreHint() override { ++rescore; }
    void DrawStatusOverlay() override { ++overlay; }
    void OutlinePreview() override { ++outline; }
    void ClearStatusText() override { ++cleared; }
    void ShowCameraLost() override { ++lost; }
    void ShowCameraTestLost() override { ++testLost; }
};

// Keeps the colour frame and puts it back, as the recognition side does (no binarisation here).
struct CopyingPreparation final : FramePreparation {
    FrameBuffer colour;
    int kept = 0, restored = 0;
    void KeepColourFrame(const FrameBuffer& f) override
    {
        colour.CopyFrom(f);
        ++kept;
    }
    void RestoreAndBinarise(FrameBuffer& f) override
    {
        std::memcpy(f.Data(), colour.Data(), f.SizeBytes());
        ++restored;
    }
};

// Uncompressed samples (bottom-up B, G, R). "Still" frames alternate between
// a grey picture and the same picture with `changed` sampled pixels 10 grey
// steps brighter: the motion between them is changed × 10 / 10000.
std::vector<uint8_t> Grey(uint8_t v) { return std::vector<uint8_t>(size_t(W) * H * 3, v); }
std::vector<uint8_t> Flicker(uint8_t v, int changed, int delta = 10)
{
    auto s = Grey(v);
    for (int i = 0; i < changed; ++i) {
        // Odd rows and columns of the sample become the sampled even ones after the turn.
        const int y = (i / 320) * 2 + 1, x = (i % 320) * 2 + 1;
        uint8_t* p = s.data() + (size_t(y) * W + x) * 3;
        p[0] = p[1] = p[2] = uint8_t(v + delta);
    }
    return s;
}

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.AutoDelay = 800;  // the fastest speed
        settings.AutoTolerance = 2.0f;
        ASSERT_TRUE(session.StartCapture(source));
    }
    // One tick 100 ms after the previous one, with a new sample.
    void Tick(const std::vector<uint8_t>& sample, ActivePage page = ActivePage::Marking)
    {
        clock.now += 100;
        source->Send(sample);
        loop.Tick(page);
    }
    // A card is laid down: the tick that sees it arrive and the next, whose
    // small motion still differs too much from the arrival's, both count as moving.
    void Arrive()
    {
        Tick(still0);
        Tick(still1);
        phase = false;
    }
    // Holds the card still for `ticks` ticks (motion 3 each).
    void HoldStill(int ticks)
    {
        for (int i = 0; i < ticks; ++i, phase = !phase)
            Tick(phase ? still1 : still0);
    }
    bool phase = false;

    CaptureSession session;
    std::shared_ptr<ManualSource> source = std::make_shared<ManualSource>(subtype::Rgb);
    RecordingView view;
    CopyingPreparation prep;
    ManualClock clock;
    MarkingSettings settings;
    int marks = 0;
    FrameLoop loop{session, prep, view, clock, settings, [this] { ++marks; }};
    std::vector<uint8_t> still0 = Grey(120);
    std::vector<uint8_t> still1 = Flicker(120, 3000);
    std::vector<uint8_t> away = Grey(30);
};

TEST(MeasureMotion, QuarterOfThePixelsScaledAndMinusOneForNoChange)
{
    FrameBuffer a(W, H, 3), b(W, H, 3);
    EXPECT_EQ(MeasureMotion(a, b, 0), -1);
    // Odd rows and odd columns are not sampled.
    b.Pixels().Row(1)[0] = 255;
    b.Pixels().Row(0)[3] = 255;
    EXPECT_EQ(MeasureMotion(a, b, 0), -1);
    // 10000 sampled pixels one grey step apart: exactly 1.
    for (int i = 0; i < 10000; ++i) {
        uint8_t* p = b.Pixels().Row((i / 320) * 2) + size_t(i % 320) * 6;
        p[0] = p[1] = p[2] = 1;
    }
    EXPECT_EQ(MeasureMotion(a, b, 0), 1);
    FrameBuffer c(320, 240, 3);
    EXPECT_EQ(MeasureMotion(a, c, 0), -1);
    // The red-lifting grey mode: (200, 100, 100) counts as grey 146 instead of 130.
    FrameBuffer red(W, H, 3), grey(W, H, 3);
    for (size_t i = 0; i < red.SizeBytes(); i += 3) {
        red.Data()[i] = 100;
        red.Data()[i + 1] = 100;
        red.Data()[i + 2] = 200;
        std::memset(grey.Data() + i, 146, 3);
    }
    EXPECT_EQ(MeasureMotion(red, grey, 1), -1);
    EXPECT_EQ(MeasureMotion(red, grey, 0), 16 * 76800 / 10000);
}

// Widths at every remainder of the vector steps (16 samples of 3 bytes, 8 of
// 4), frames whose last sampled row ends at the buffer's last byte, random
// pixels and the largest differences, held to the pixel-by-pixel sum.
TEST(MeasureMotion, EveryPathSumsAsPixelByPixel)
{
    std::mt19937 random(7);
    OnEveryPath([&] {
        for (int bytes : {3, 4})
            for (int width : {1, 2, 7, 15, 16, 17, 31, 32, 33, 34, 63, 64, 65, 95, 96, 97, 640, 641})
                for (int height : {1, 3, 4}) {
                    SCOPED_TRACE(std::to_string(bytes) + " bytes, " + std::to_string(width) + " x " +
                                 std::to_string(height));
                    FrameBuffer a(width, height, bytes), c(width, height, bytes);
                    for (size_t i = 0; i < a.SizeBytes(); ++i) {
                        a.Data()[i] = uint8_t(random());
                        c.Data()[i] = uint8_t(random());
                    }
                    int64_t expected = 0;
                    for (int y = 0; y < height; y += 2)
                        for (int x = 0; x < width; x += 2)
                            expected += std::abs(GreyOf(a.Pixels().Row(y) + x * bytes, GreyPlain) -
                                                 GreyOf(c.Pixels().Row(y) + x * bytes, GreyPlain));
                    EXPECT_EQ(MotionSum(a, c, GreyPlain), expected);
                    FrameBuffer copy;
                    EXPECT_EQ(MeasureMotionCopying(a, c, GreyPlain, copy), MeasureMotion(a, c, GreyPlain));
                    EXPECT_EQ(std::memcmp(copy.Data(), c.Data(), c.SizeBytes()), 0);

                    std::memset(a.Data(), 255, a.SizeBytes());
                    std::memset(c.Data(), 0, c.SizeBytes());
                    EXPECT_EQ(MotionSum(a, c, GreyPlain), int64_t(255) * ((width + 1) / 2) * ((height + 1) / 2));
                }
    });
}

TEST(RearmThreshold, Table)
{
    const int expected[][2] = {{-3, 0}, {0, 0}, {1, 25}, {2, 30}, {3, 35}, {4, 40}, {5, 40}, {6, 45},
                               {8, 45}, {9, 50}, {14, 50}, {15, 75}, {19, 75}};
    for (auto& e : expected)
        EXPECT_EQ(RearmThreshold(e[0]), e[1]) << e[0];
}

TEST_F(FrameLoopTest, IdenticalFramesGiveMinusOneAndChangeNothing)
{
    loop.BtnAutoAnswerCardClick();
    Tick(still0);
    Tick(still1);
    const int64_t lastTick = loop.LastTick();
    const int prev = loop.PrevMotion();
    FrameBuffer before;
    before.CopyFrom(loop.PreviousFrame());
    // The camera sends the same picture again (or no new sample arrives).
    Tick(still1);
    clock.now += 100;
    loop.Tick(ActivePage::Marking);
    EXPECT_EQ(loop.LastMotion(), -1);
    EXPECT_EQ(loop.LastTick(), lastTick);
    EXPECT_EQ(loop.PrevMotion(), prev);
    EXPECT_EQ(0, std::memcmp(before.Data(), loop.PreviousFrame().Data(), before.SizeBytes()));
    EXPECT_EQ(marks, 0);
}

TEST_F(FrameLoopTest, FastestSpeedMarksACardHeldJustOver800msOnce)
{
    loop.BtnAutoAnswerCardClick();
    ASSERT_TRUE(loop.AutoMarking());
    Tick(away);
    Arrive();
    const int64_t arrived = clock.now;
    EXPECT_EQ(loop.LastTick(), arrived);
    HoldStill(8);  // 800 ms: not yet longer than the still time
    EXPECT_EQ(loop.LastMotion(), 3);
    EXPECT_EQ(marks, 0);
    HoldStill(1);  // 900 ms
    EXPECT_EQ(marks, 1);
    EXPECT_TRUE(loop.MarkedWaiting());
    EXPECT_EQ(loop.MarkLevel(), 3);
    EXPECT_EQ(loop.LastTick(), clock.now);
    // Lying there for further still periods marks nothing more.
    HoldStill(60);
    EXPECT_EQ(marks, 1);
    EXPECT_TRUE(loop.MarkedWaiting());
}

TEST_F(FrameLoopTest, MovingAwayAndBackReArms)
{
    loop.BtnAutoAnswerCardClick();
    Tick(away);
    Arrive();
    HoldStill(9);
    ASSERT_EQ(marks, 1);
    const int clearedBefore = view.cleared;
    Tick(away);  // big motion: above the threshold 35 of level 3
    EXPECT_FALSE(loop.MarkedWaiting());
    EXPECT_GT(view.cleared, clearedBefore);
    Arrive();
    HoldStill(9);
    EXPECT_EQ(marks, 2);
}

TEST_F(FrameLoopTest, SmallChangeBelowTheThresholdDoesNotReArm)
{
    loop.BtnAutoAnswerCardClick();
    Tick(away);
    Arrive();
    HoldStill(9);
    ASSERT_EQ(marks, 1);
    // A hand shadow: motion 30, not above 35, and not still either.
    Tick(Flicker(120, 30000));
    EXPECT_EQ(loop.LastMotion(), 30);
    EXPECT_TRUE(loop.MarkedWaiting());
    Arrive();
    HoldStill(20);
    EXPECT_EQ(marks, 1);
}

TEST_F(FrameLoopTest, NormalSpeedNeedsTwoSecondsAndTighterTolerance)
{
    settings.AutoDelay = 2000;
    settings.AutoTolerance = 1.0f;
    loop.BtnAutoAnswerCardClick();
    Tick(away);
    Arrive();
    HoldStill(20);
    EXPECT_EQ(marks, 0);
    HoldStill(1);
    EXPECT_EQ(marks, 1);
    // Motion alternating 3, 3, 9, 9, … is not still with tolerance 2 × 1.0.
    Tick(away);
    Arrive();
    const auto far = Flicker(120, 3000, 30);
    for (int i = 0; i < 40; ++i)
        Tick(i % 2 == 0 ? still0 : (i % 4 == 1 ? still1 : far));
    EXPECT_EQ(marks, 1);
}

// Numbers no dialog writes, from a damaged "YJSet.dat": marking by hand
// would be the only way left, without a word why. They mark as the normal
// speed does: after two seconds still.
TEST_F(FrameLoopTest, DamagedSpeedSettingsMarkAtTheNormalSpeed)
{
    const std::pair<int32_t, float> damaged[] = {{2000, std::nanf("")},
                                                 {2000, -1.0f},
                                                 {2000, std::numeric_limits<float>::infinity()},
                                                 {std::numeric_limits<int32_t>::max(), 1.0f},
                                                 {-5, 2.0f}};
    for (const auto& [delay, tolerance] : damaged) {
        settings.AutoDelay = delay;
        settings.AutoTolerance = tolerance;
        marks = 0;
        loop.BtnAutoAnswerCardClick();
        ASSERT_TRUE(loop.AutoMarking());
        Tick(away);
        Arrive();
        HoldStill(20);
        EXPECT_EQ(marks, 0) << delay << " " << tolerance;
        HoldStill(1);
        EXPECT_EQ(marks, 1) << delay << " " << tolerance;
        loop.BtnAutoAnswerCardClick();
        ASSERT_FALSE(loop.AutoMarking());
    }
}

// An unplugged camera's stream ends: the preview keeps its last picture and
// is told once, on the marking page; a camera connected again starts afresh.
TEST_F(FrameLoopTest, AnEndedStreamIsToldOnceAndAgainAfterTheNextConnection)
{
    auto quietTick = [&](ActivePage page) {
        clock.now += 100;
        loop.Tick(page);
    };
    Tick(still0);
    quietTick(ActivePage::Marking);  // no new sample: the camera is only slower than the timer
    EXPECT_EQ(view.lost, 0);
    source->EndStream();
    const int shown = view.preview;
    quietTick(ActivePage::CameraTest);
    quietTick(ActivePage::Other);
    EXPECT_EQ(view.lost, 0);
    quietTick(ActivePage::Marking);
    quietTick(ActivePage::Marking);
    EXPECT_EQ(view.lost, 1);
    EXPECT_EQ(view.preview, shown);

    ASSERT_TRUE(session.StartCapture(source));
    Tick(still1);
    EXPECT_EQ(view.preview, shown + 1);
    source->EndStream();
    quietTick(ActivePage::Marking);
    EXPECT_EQ(view.lost, 2);

    // The camera page says it too (it stayed blank: a camera another program
    // holds never streams), once, and again after the next connection.
    EXPECT_EQ(view.testLost, 1);  // the tick on that page after the first loss
    quietTick(ActivePage::CameraTest);
    quietTick(ActivePage::CameraTest);
    EXPECT_EQ(view.testLost, 2);
    loop.CameraConnected();
    quietTick(ActivePage::CameraTest);
    quietTick(ActivePage::CameraTest);
    EXPECT_EQ(view.testLost, 3);
}

TEST_F(FrameLoopTest, ToleranceFollowsTheMarkLevel)
{
    loop.BtnAutoAnswerCardClick();
    Tick(away);
    const auto a = Grey(120);
    const auto b = Flicker(120, 7000);  // motion 7
    Tick(a);
    Tick(b);
    for (int i = 0; i < 10; ++i)
        Tick(i % 2 ? b : a);
    ASSERT_EQ(marks, 1);
    EXPECT_EQ(loop.MarkLevel(), 7);
    EXPECT_EQ(loop.Tolerance(), 3);
}

TEST_F(FrameLoopTest, AutoButtonTogglesAndRefusesWithoutSelection)
{
    EXPECT_EQ(loop.BtnAutoAnswerCardClick("请选择年级！"), "请选择年级！");
    EXPECT_FALSE(loop.AutoMarking());
    EXPECT_EQ(loop.AutoButtonCaption(), "开启自动阅卷");
    EXPECT_EQ(loop.BtnAutoAnswerCardClick(), "");
    EXPECT_TRUE(loop.AutoMarking());
    EXPECT_EQ(loop.AutoButtonCaption(), "关闭自动阅卷");
    EXPECT_FALSE(loop.AnswerCardButtonEnabled());
    EXPECT_EQ(view.cleared, 1);
    Tick(away);
    Arrive();
    HoldStill(9);
    ASSERT_TRUE(loop.MarkedWaiting());
    EXPECT_EQ(loop.BtnAutoAnswerCardClick(), "");
    EXPECT_FALSE(loop.AutoMarking());
    EXPECT_FALSE(loop.MarkedWaiting());
    EXPECT_TRUE(loop.AnswerCardButtonEnabled());
    EXPECT_EQ(loop.AutoButtonCaption(), "开启自动阅卷");
    // Off: nothing is measured or marked.
    const int overlays = view.overlay;
    HoldStill(30);
    EXPECT_EQ(view.overlay, overlays);
    EXPECT_EQ(marks, 1);
}

TEST_F(FrameLoopTest, WhatEachPageGets)
{
    Tick(still0, ActivePage::CameraTest);
    EXPECT_EQ(view.cameraTest, 1);
    EXPECT_EQ(prep.kept, 0);
    Tick(still1, ActivePage::Other);
    EXPECT_EQ(view.cameraTest, 1);
    EXPECT_EQ(view.preview, 0);
    Tick(still0, ActivePage::Marking);
    EXPECT_EQ(view.preview, 1);
    EXPECT_TRUE(view.guidesSeen);
    EXPECT_EQ(prep.restored, 1);
    // The guides are gone again after the preview.
    const uint8_t* p = session.FrameBitmap().Pixels().TopRow(5) + 80 * 3;
    EXPECT_EQ(p[0], 120);
    EXPECT_EQ(view.overlay, 0);  // automatic marking off
    EXPECT_EQ(view.rescore, 0);
    loop.SetRescoreHint(true);
    Tick(still1);
    EXPECT_EQ(view.rescore, 1);
    // No new conversion (stream ended): the tick ends at once.
    source->EndStream();
    Tick(still0);
    EXPECT_EQ(view.preview, 2);
}

TEST_F(FrameLoopTest, MovingPictureOutlinesThePreview)
{
    loop.BtnAutoAnswerCardClick();
    Tick(away);
    Arrive();
    EXPECT_EQ(view.outline, 3);
    HoldStill(3);
    EXPECT_EQ(view.outline, 3);
}

} // namespace
