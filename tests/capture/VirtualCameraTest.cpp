// The virtual camera: what each sample format delivers after conversion, the
// picture folder, and a whole stack played through the frame loop.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <atomic>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "CaptureTestSupport.h"
#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/JpegFrame.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

// Cards of white paper with a black pattern of their own on a grey table.
class PatternCards final : public CardPictureProvider {
public:
    explicit PatternCards(int count) : count_(count) {}
    int Count() override { return count_; }
    bool Picture(int index, std::vector<uint8_t>& bgr) override
    {
        ++requests;
        bgr.assign(size_t(W) * H * 3, 150);
        for (int y = 90; y < 390; ++y)
            for (int x = 120; x < 520; ++x) {
                const bool mark = ((x / 20 + y / 20 + index) % 3 == 0) && (x / 20) % 2 == 0;
                uint8_t* p = bgr.data() + (size_t(y) * W + x) * 3;
                p[0] = p[1] = p[2] = mark ? 20 : 235;
            }
        // One colour dot to check channel order.
        uint8_t* dot = bgr.data() + (size_t(100) * W + 130) * 3;
        for (int dy = 0; dy < 8; ++dy)
            for (int dx = 0; dx < 8; ++dx) {
                uint8_t* p = dot + (size_t(dy) * W + dx) * 3;
                p[0] = 40;
                p[1] = 60;
                p[2] = 220;
            }
        return true;
    }
    int requests = 0;

private:
    int count_;
};

// Mean absolute difference between the frame (as the program shows it) and an
// upright picture shifted up by `rowShift`, over an inner window.
double MeanDifference(const FrameBuffer& frame, const std::vector<uint8_t>& upright, int rowShift)
{
    const BitmapView f = frame.Pixels();
    double sum = 0;
    int n = 0;
    for (int y = 40; y < 420; y += 3)
        for (int x = 40; x < 600; x += 3) {
            const uint8_t* a = f.TopRow(y) + size_t(x) * size_t(f.bytesPerPixel);
            const uint8_t* b = upright.data() + (size_t(y + rowShift) * W + x) * 3;
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(a[c]) - int(b[c]));
            n += 3;
        }
    return sum / n;
}

class VirtualFormats : public ::testing::TestWithParam<int32_t> {};

TEST_P(VirtualFormats, StillFrameArrivesUprightThroughTheConversion)
{
    auto cards = std::make_shared<PatternCards>(2);
    VirtualCamera::Timing steady;
    steady.flicker = 0;
    auto camera = std::make_shared<VirtualCamera>(cards, GetParam(), VirtualCamera::Pace::Manual, steady);
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(camera));
    EXPECT_EQ(session.SourceSubtype(), GetParam());
    EXPECT_EQ(session.PixelBytes(), PixelBytesOf(GetParam()));
    for (int i = 0; i < 20; ++i)  // frame 19: card 0 lies still
        ASSERT_TRUE(camera->DeliverNextFrame());
    ASSERT_EQ(camera->StillCardAt(19), 0);
    ASSERT_TRUE(session.ConvertNewestSample());
    std::vector<uint8_t> upright;
    cards->Picture(0, upright);
    // MJPG is drawn 10 rows down in the camera's picture: 10 rows up once turned.
    const int shift = GetParam() == subtype::Mjpg ? 10 : 0;
    EXPECT_LT(MeanDifference(session.FrameBitmap(), upright, shift), 5.0);
    const Bgr dot = PixelAt(session.FrameBitmap().Pixels(), 133, 103 - shift);
    EXPECT_GT(dot.r, 180);
    EXPECT_LT(dot.b, 90);
}

INSTANTIATE_TEST_SUITE_P(Subtypes, VirtualFormats,
                         ::testing::Values(subtype::Yuy2, subtype::I420, subtype::Mjpg, subtype::Rgb));

TEST(VirtualCamera, TimelineSlidesStillNoiseAndQuietEnd)
{
    auto cards = std::make_shared<PatternCards>(2);
    VirtualCamera::Timing timing;
    timing.flicker = 0;
    VirtualCamera camera(cards, subtype::Yuy2, VirtualCamera::Pace::Manual, timing);
    EXPECT_EQ(camera.FriendlyName(), "虚拟摄像头（演示）");
    EXPECT_EQ(camera.FramesPerCard(), 55);
    EXPECT_EQ(camera.PassFrames(), 110);
    EXPECT_EQ(camera.StillCardAt(9), -1);
    EXPECT_EQ(camera.StillCardAt(10), 0);
    EXPECT_EQ(camera.StillCardAt(44), 0);
    EXPECT_EQ(camera.StillCardAt(45), -1);
    EXPECT_EQ(camera.StillCardAt(65), 1);
    EXPECT_EQ(camera.StillCardAt(110), -1);

    std::vector<uint8_t> a, b, c;
    camera.ComposeFrame(20, a);
    camera.ComposeFrame(21, b);
    EXPECT_NE(a, b);  // sensor noise
    int maxDiff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        maxDiff = std::max(maxDiff, std::abs(int(a[i]) - int(b[i])));
    EXPECT_LE(maxDiff, 4);  // ± 2 per frame
    camera.ComposeFrame(20, c);
    EXPECT_EQ(a, c);  // deterministic
    camera.ComposeFrame(110, a);
    camera.ComposeFrame(159, b);
    EXPECT_EQ(a, b);  // after the stack, for the pause: the empty table, unchanging
}

// After the pause the stack plays again, the same as the first time.
TEST(VirtualCamera, StackPlaysAgainAfterThePause)
{
    auto cards = std::make_shared<PatternCards>(2);
    VirtualCamera camera(cards, subtype::Yuy2, VirtualCamera::Pace::Manual);
    ASSERT_EQ(camera.CycleFrames(), 160);  // two cards and five seconds of empty table
    EXPECT_EQ(camera.StillCardAt(159), -1);
    EXPECT_EQ(camera.StillCardAt(160 + 9), -1);
    EXPECT_EQ(camera.StillCardAt(160 + 10), 0);
    EXPECT_EQ(camera.StillCardAt(3 * 160 + 65), 1);
    std::vector<uint8_t> a, b;
    camera.ComposeFrame(20, a);
    camera.ComposeFrame(2 * 160 + 20, b);
    EXPECT_EQ(a, b);
    camera.ComposeFrame(140, b);
    EXPECT_NE(a, b);
}

// Restarting plays the stack from its first frame, in either pace.
TEST(VirtualCamera, RestartBeginsTheStackAgain)
{
    Csamplegrabbercb sink;
    int32_t subtypeRead = 0;
    VirtualCamera manual(std::make_shared<PatternCards>(1), subtype::Yuy2, VirtualCamera::Pace::Manual);
    ASSERT_TRUE(manual.Start(sink, subtypeRead));
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(manual.DeliverNextFrame());
    EXPECT_DOUBLE_EQ(sink.NewestSampleTime(), 1.1);
    manual.Restart();
    ASSERT_TRUE(manual.DeliverNextFrame());
    EXPECT_DOUBLE_EQ(sink.NewestSampleTime(), 0.0);
    manual.Stop();

    Csamplegrabbercb liveSink;
    VirtualCamera live(std::make_shared<PatternCards>(1), subtype::Yuy2);
    ASSERT_TRUE(live.Start(liveSink, subtypeRead));
    for (int i = 0; i < 2000 && liveSink.NewestSampleTime() < 0.45; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(liveSink.NewestSampleTime(), 0.45);
    live.Restart();
    for (int i = 0; i < 2000 && liveSink.NewestSampleTime() >= 0.25; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_LT(liveSink.NewestSampleTime(), 0.25);
    live.Stop();
}

TEST(VirtualCamera, FormatFromTheEnvironment)
{
    const char* names[] = {"MJPG", "i420", "RGB", "0", "YUY2", "nonsense"};
    const int32_t codes[] = {subtype::Mjpg, subtype::I420, subtype::Rgb, subtype::Rgb, subtype::Yuy2, subtype::Yuy2};
    for (int i = 0; i < 6; ++i) {
        setenv("SCORIVO_VIRTUAL_FORMAT", names[i], 1);
        EXPECT_EQ(VirtualFormatFromEnvironment(), codes[i]) << names[i];
    }
    unsetenv("SCORIVO_VIRTUAL_FORMAT");
    EXPECT_EQ(VirtualFormatFromEnvironment(), subtype::Yuy2);
}

TEST(FolderPictureProvider, PicturesInNameOrderAndReadable)
{
    const auto dir = std::filesystem::temp_directory_path() / ("scorivo_vcam_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    WriteBmp(dir / "b.bmp", W, H, 24, false, 10, 20, 30);
    WriteBmp(dir / "c.BMP", 320, 240, 32, true, 90, 80, 70);
    std::vector<uint8_t> red(size_t(W) * H * 3);
    for (size_t i = 0; i < red.size(); i += 3) {
        red[i] = 30;
        red[i + 1] = 30;
        red[i + 2] = 200;
    }
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(EncodeJpegBgr(red.data(), W, H, 95, jpeg));
    std::ofstream(dir / "a.jpg", std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), long(jpeg.size()));
    std::ofstream(dir / "notes.txt") << "not a picture";
    std::ofstream(dir / "d.jpg") << "broken";

    FolderPictureProvider folder(dir);
    ASSERT_EQ(folder.Count(), 4);
    EXPECT_EQ(folder.Files()[0].filename(), "a.jpg");
    EXPECT_EQ(folder.Files()[1].filename(), "b.bmp");
    EXPECT_EQ(folder.Files()[2].filename(), "c.BMP");
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(folder.Picture(0, bgr));
    EXPECT_NEAR(bgr[2], 200, 4);
    ASSERT_TRUE(folder.Picture(1, bgr));
    EXPECT_EQ(bgr[(size_t(H - 1) * W) * 3], 7);  // the file's first row is the picture's bottom
    EXPECT_EQ(bgr[3 * 5 + 2], 30);
    ASSERT_TRUE(folder.Picture(2, bgr));
    EXPECT_EQ(bgr[0], 7);  // top-down file
    EXPECT_EQ(bgr[3 * 5], 90);
    EXPECT_EQ(bgr[(size_t(300) * W + 500) * 3], 255);  // padding of the small picture
    EXPECT_FALSE(folder.Picture(3, bgr));
    EXPECT_FALSE(folder.Picture(4, bgr));
    std::filesystem::remove_all(dir);
}

struct NullView final : FrameLoopView {
    void ShowCameraTest(const FrameBuffer&) override {}
    void ShowMarkingPreview(const FrameBuffer&) override {}
    void ShowRescoreHint() override {}
    void DrawStatusOverlay() override {}
    void OutlinePreview() override {}
    void ClearStatusText() override {}
};

// Keeps the colour frame and puts it back; binarises at 100 when asked, as
// the recognition side does for "DY" and "JD" cards.
struct Preparation final : FramePreparation {
    bool binarise = false;
    FrameBuffer colour;
    void KeepColourFrame(const FrameBuffer& f) override { colour.CopyFrom(f); }
    void RestoreAndBinarise(FrameBuffer& f) override
    {
        std::memcpy(f.Data(), colour.Data(), f.SizeBytes());
        if (!binarise)
            return;
        const int pb = f.PixelBytes();
        for (size_t i = 0; i + 2 < f.SizeBytes(); i += size_t(pb)) {
            uint8_t* p = f.Data() + i;
            const uint8_t v = (30 * p[2] + 59 * p[1] + 11 * p[0]) / 100 >= 100 ? 255 : 0;
            p[0] = p[1] = p[2] = v;
        }
    }
};

struct StackRun {
    int marks = 0;
    std::vector<int> markedCards;  // the card lying still at each marking attempt
};

// Colour frames (cards that are not binarised) with sensor noise only: the
// light's breathing would move their motion above the still limit of 20.
VirtualCamera::Timing SteadyLight()
{
    VirtualCamera::Timing t;
    t.flicker = 0;
    return t;
}

StackRun PlayStack(std::shared_ptr<CardPictureProvider> cards, int32_t format, const MarkingSettings& settings,
                   bool binarise, VirtualCamera::Timing timing = SteadyLight())
{
    auto camera = std::make_shared<VirtualCamera>(cards, format, VirtualCamera::Pace::Manual, timing);
    CaptureSession session;
    NullView view;
    Preparation prep;
    prep.binarise = binarise;
    ManualClock clock;
    StackRun run;
    int64_t frame = -1;
    FrameLoop loop(session, prep, view, clock, settings, [&] {
        ++run.marks;
        run.markedCards.push_back(camera->StillCardAt(frame));
    });
    EXPECT_TRUE(session.StartCapture(camera));
    loop.BtnAutoAnswerCardClick();
    for (frame = 0; frame < camera->PassFrames() + 60; ++frame) {
        camera->DeliverNextFrame();
        clock.now += 100;
        loop.Tick(ActivePage::Marking);
    }
    return run;
}

TEST(VirtualCameraStack, EveryCardMarkedExactlyOnceAtEachSpeed)
{
    auto cards = std::make_shared<PatternCards>(2);
    const std::pair<int, float> speeds[] = {{2000, 1.0f}, {1500, 1.5f}, {800, 2.0f}};
    for (auto [delay, tolerance] : speeds) {
        MarkingSettings settings;
        settings.AutoDelay = delay;
        settings.AutoTolerance = tolerance;
        const StackRun run = PlayStack(cards, subtype::Yuy2, settings, false);
        EXPECT_EQ(run.marks, 2) << delay;
        EXPECT_EQ(run.markedCards, (std::vector<int>{0, 1})) << delay;
    }
}

TEST(VirtualCameraStack, MjpgAndI420Samples)
{
    auto cards = std::make_shared<PatternCards>(2);
    MarkingSettings settings;
    for (int32_t format : {subtype::Mjpg, subtype::I420}) {
        const StackRun run = PlayStack(cards, format, settings, false);
        EXPECT_EQ(run.markedCards, (std::vector<int>{0, 1})) << format;
    }
}

} // namespace

namespace {

TEST(VirtualCamera, RealTimePaceDeliversUntilStopped)
{
    auto camera = std::make_shared<VirtualCamera>(std::make_shared<PatternCards>(1), subtype::I420);
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(camera));
    for (int i = 0; i < 2000 && session.Callback().SampleCount() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(session.Callback().SampleCount(), 2u);
    EXPECT_TRUE(session.ConvertNewestSample());
    session.Release();
    EXPECT_FALSE(camera->Streaming());
    EXPECT_FALSE(session.ConvertNewestSample());
}

TEST(VirtualCamera, FolderFromTheEnvironment)
{
    const auto dir = std::filesystem::temp_directory_path() / ("scorivo_vdir_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    WriteBmp(dir / "one.bmp", W, H, 24, false, 1, 2, 3);
    setenv("SCORIVO_VIRTUAL_DIR", dir.c_str(), 1);
    setenv("SCORIVO_VIRTUAL_FORMAT", "MJPG", 1);
    auto source = MakeVirtualCamera(std::make_shared<PatternCards>(5));
    unsetenv("SCORIVO_VIRTUAL_DIR");
    unsetenv("SCORIVO_VIRTUAL_FORMAT");
    auto* camera = dynamic_cast<VirtualCamera*>(source.get());
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->SampleSubtype(), subtype::Mjpg);
    EXPECT_EQ(camera->PassFrames(), camera->FramesPerCard());  // one picture, not the five demo cards
    std::filesystem::remove_all(dir);
}

} // namespace

namespace {

// Pictures that take long to draw, like the demo cards on a busy machine.
class SlowCards final : public CardPictureProvider {
public:
    explicit SlowCards(int count) : cards_(count) {}
    int Count() override { return cards_.Count(); }
    bool Picture(int index, std::vector<uint8_t>& bgr) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return cards_.Picture(index, bgr);
    }

private:
    PatternCards cards_;
};

// A camera that is held up runs late; it never catches up with a burst of
// frames, in which the program would see the stack jump and a card's still
// time shrink. The cards lie still for their whole time.
TEST(VirtualCamera, SlowPicturesDelayTheStackInsteadOfSkippingIt)
{
    VirtualCamera::Timing timing;
    timing.slideFrames = 3;
    timing.stillFrames = 8;
    timing.noise = 0;
    timing.flicker = 0;
    VirtualCamera camera(std::make_shared<SlowCards>(3), subtype::Yuy2, VirtualCamera::Pace::RealTime, timing);
    Csamplegrabbercb sink;
    int32_t subtypeRead = 0;
    ASSERT_TRUE(camera.Start(sink, subtypeRead));
    struct Seen {
        double wall;
        double sample;
    };
    std::vector<Seen> seen;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(3500)) {
        if (sink.SampleCount() > 0)
            seen.push_back({std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                            sink.NewestSampleTime()});
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    camera.Stop();
    ASSERT_GT(seen.size(), 100u);
    // Three cards of 1.4 s each, with a picture drawn per card: about two
    // cards within the time, none skipped.
    EXPECT_GE(seen.back().sample, 2.0);
    for (size_t i = 1; i < seen.size(); ++i) {
        const double advanced = seen[i].sample - seen[i - 1].sample;
        ASSERT_LE(advanced, seen[i].wall - seen[i - 1].wall + 0.15)
            << "the stack jumped from " << seen[i - 1].sample << " s to " << seen[i].sample << " s";
    }
}

} // namespace

namespace {

// Processors the calling thread may run on.
int AllowedProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (pthread_getaffinity_np(pthread_self(), sizeof set, &set) != 0)
        return 0;
    return CPU_COUNT(&set);
}

// The program binds its interface thread to the first processor; the
// camera's thread, started from it, draws its cards on any processor.
TEST(VirtualCamera, ItsThreadIsNotBoundToTheInterfaceProcessor)
{
    const int all = AllowedProcessors();
    if (all < 2)
        GTEST_SKIP() << "one processor";
    struct Recording final : CardPictureProvider {
        std::atomic<int> processors{-1};
        PatternCards cards{1};
        int Count() override { return 1; }
        bool Picture(int index, std::vector<uint8_t>& bgr) override
        {
            processors = AllowedProcessors();
            return cards.Picture(index, bgr);
        }
    };
    auto pictures = std::make_shared<Recording>();
    int processors = -1;
    std::thread interface([&] {
        cpu_set_t first;
        CPU_ZERO(&first);
        CPU_SET(0, &first);
        ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof first, &first), 0);
        ASSERT_EQ(AllowedProcessors(), 1);
        VirtualCamera camera(pictures, subtype::Yuy2);
        Csamplegrabbercb sink;
        int32_t subtypeRead = 0;
        ASSERT_TRUE(camera.Start(sink, subtypeRead));
        for (int i = 0; i < 2000 && pictures->processors < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        processors = pictures->processors;
        camera.Stop();
    });
    interface.join();
    EXPECT_EQ(processors, all);
}

} // namespace
