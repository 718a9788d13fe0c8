// The demo card stack played by the virtual camera through the frame loop:
// every card is marked exactly once, on binarised frames as the program
// prepares them for the demo's "DY" card.

#include <gtest/gtest.h>

#include <cstring>

#include "CaptureTestSupport.h"
#include "app/Yjset.h"
#include "capture/CaptureSession.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"
#include "capture/ui/DemoCardPictures.h"

namespace {

struct NullView final : FrameLoopView {
    void ShowCameraTest(const FrameBuffer&) override {}
    void ShowMarkingPreview(const FrameBuffer&) override {}
    void ShowRescoreHint() override {}
    void DrawStatusOverlay() override {}
    void OutlinePreview() override {}
    void ClearStatusText() override {}
};

// Pictures drawn once for all runs of this file.
std::shared_ptr<CardPictureProvider> DemoPictures()
{
    struct Cached final : CardPictureProvider {
        std::vector<std::vector<uint8_t>> pictures;
        int Count() override { return int(pictures.size()); }
        bool Picture(int i, std::vector<uint8_t>& bgr) override
        {
            bgr = pictures[size_t(i)];
            return true;
        }
    };
    static std::shared_ptr<Cached> cached = [] {
        auto c = std::make_shared<Cached>();
        DemoCardPictures demo;
        for (int i = 0; i < demo.Count(); ++i) {
            std::vector<uint8_t> bgr;
            if (demo.Picture(i, bgr))
                c->pictures.push_back(std::move(bgr));
        }
        return c;
    }();
    return cached;
}

struct StackPlay {
    std::vector<int> markedCards;
    std::string motions;  // motion values of the first frames
};

// The first `count` cards of the demo stack.
struct FirstCards final : CardPictureProvider {
    std::shared_ptr<CardPictureProvider> all;
    int count;
    FirstCards(std::shared_ptr<CardPictureProvider> a, int n) : all(std::move(a)), count(n) {}
    int Count() override { return std::min(count, all->Count()); }
    bool Picture(int i, std::vector<uint8_t>& bgr) override { return all->Picture(i, bgr); }
};

StackPlay Play(std::shared_ptr<CardPictureProvider> pictures, int32_t format, int delay, float tolerance)
{
    auto camera = std::make_shared<VirtualCamera>(pictures, format, VirtualCamera::Pace::Manual);
    CaptureSession session;
    NullView view;
    RecognitionContext context;
    context.SetTemplate(CardTemplate{}, cardprint::DemoTemplateName());  // "DY…": binarised frames
    RecognitionFramePreparation prep(context);
    ManualClock clock;
    MarkingSettings settings;
    settings.AutoDelay = delay;
    settings.AutoTolerance = tolerance;
    StackPlay run;
    int64_t frame = 0;
    FrameLoop loop(session, prep, view, clock, settings, [&] { run.markedCards.push_back(camera->StillCardAt(frame)); });
    EXPECT_TRUE(session.StartCapture(camera));
    loop.BtnAutoAnswerCardClick();
    for (frame = 0; frame < camera->PassFrames() + 60; ++frame) {
        camera->DeliverNextFrame();
        clock.now += 100;
        loop.Tick(ActivePage::Marking);
        if (frame < 200)  // the first cards' motion values, for a failure message
            run.motions += std::to_string(loop.LastMotion()) + " ";
    }
    return run;
}

std::vector<int> Expected(int count)
{
    std::vector<int> all(static_cast<size_t>(count));
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    return all;
}

TEST(DemoStackRun, EveryCardMarkedOnceFromBinarisedFrames)
{
    ASSERT_GE(DemoPictures()->Count(), 10);
    const StackPlay run = Play(DemoPictures(), subtype::Yuy2, 2000, 1.0f);
    EXPECT_EQ(run.markedCards, Expected(DemoPictures()->Count())) << "motions: " << run.motions;
}

TEST(DemoStackRun, FastestSpeedMjpgSamples)
{
    const StackPlay run = Play(std::make_shared<FirstCards>(DemoPictures(), 4), subtype::Mjpg, 800, 2.0f);
    EXPECT_EQ(run.markedCards, Expected(4)) << "motions: " << run.motions;
}

} // namespace
