// The demo card stack played by the virtual camera through the frame loop:
// every card is marked exactly once, on binarised frames as the program
// prepares them for the demo's "DY" card, and each attempt reads the card
// that lies under the camera.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "CaptureTestSupport.h"
#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"
#include "capture/ui/DemoCardPictures.h"
#include "recognition/RawReading.h"

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
    std::vector<int> codes;                // of the marking attempts, when recognition runs
    std::vector<std::string> admissions;   // read by them
};

CardTemplate DemoTemplate()
{
    for (const auto& shipped : cardprint::ShippedCards())
        if (shipped.fileName == cardprint::DemoTemplateName())
            return shipped.record;
    return CardTemplate{};
}

// The first `count` cards of the demo stack.
struct FirstCards final : CardPictureProvider {
    std::shared_ptr<CardPictureProvider> all;
    int count;
    FirstCards(std::shared_ptr<CardPictureProvider> a, int n) : all(std::move(a)), count(n) {}
    int Count() override { return std::min(count, all->Count()); }
    bool Picture(int i, std::vector<uint8_t>& bgr) override { return all->Picture(i, bgr); }
};

// Plays the stack; each marking attempt records the card lying still and,
// with `recognise`, runs the marking attempt on the prepared frame.
StackPlay Play(std::shared_ptr<CardPictureProvider> pictures, int32_t format, int delay, float tolerance,
               bool recognise = false)
{
    auto camera = std::make_shared<VirtualCamera>(pictures, format, VirtualCamera::Pace::Manual);
    CaptureSession session;
    NullView view;
    RecognitionContext context;
    const CardTemplate demoTemplate = DemoTemplate();
    context.SetTemplate(demoTemplate, cardprint::DemoTemplateName());  // "DY…": binarised frames
    RecognitionFramePreparation prep(context);
    RawReadingAcceptance acceptance(WholeTemplateExam(demoTemplate), 9);
    ManualClock clock;
    MarkingSettings settings;
    settings.AutoDelay = delay;
    settings.AutoTolerance = tolerance;
    StackPlay run;
    int64_t frame = 0;
    FrameLoop loop(session, prep, view, clock, settings, [&] {
        run.markedCards.push_back(camera->StillCardAt(frame));
        if (recognise) {
            run.codes.push_back(RunMarkingAttempt(context, acceptance).code);
            run.admissions.emplace_back(context.Reading.admissionNumber.View());
        }
    });
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

// The whole stack, or its first SCORIVO_DEMO_STACK_CARDS cards (the
// sanitizer run, where a card takes ten times as long).
int StackCards()
{
    const int all = DemoPictures()->Count();
    const char* v = std::getenv("SCORIVO_DEMO_STACK_CARDS");
    return v && *v ? std::clamp(std::atoi(v), 1, all) : all;
}

TEST(DemoStackRun, EveryCardMarkedOnceFromBinarisedFrames)
{
    ASSERT_GE(DemoPictures()->Count(), 10);
    const int cards = StackCards();
    const StackPlay run = Play(std::make_shared<FirstCards>(DemoPictures(), cards), subtype::Yuy2, 2000, 1.0f, true);
    EXPECT_EQ(run.markedCards, Expected(cards)) << "motions: " << run.motions;
    // The frames the camera delivered are read as the cards they show.
    const auto stack = cardprint::DemoCardStack();
    ASSERT_EQ(run.codes.size(), static_cast<size_t>(cards));
    for (size_t i = 0; i < run.codes.size(); ++i) {
        EXPECT_EQ(run.codes[i], 0) << i;
        if (!stack[i].card.admission.empty()) {
            EXPECT_EQ(run.admissions[i], stack[i].card.admission) << i;
        }
    }
}

TEST(DemoStackRun, FastestSpeedMjpgSamples)
{
    const StackPlay run = Play(std::make_shared<FirstCards>(DemoPictures(), 4), subtype::Mjpg, 800, 2.0f);
    EXPECT_EQ(run.markedCards, Expected(4)) << "motions: " << run.motions;
}

} // namespace
