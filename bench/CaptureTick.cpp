// One frame-loop tick on the marking page with automatic marking on, and its
// parts, on a 640 × 480 frame: sample hand-over, conversion (YUY2, I420,
// MJPG), the turn, guides, recognition's preparation (work-image copies,
// binarisation of a "DY" card) and the motion measure. Run with --benchmark_repetitions=9 for medians.

#include <benchmark/benchmark.h>

#include <cstring>

#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/SampleGrabber.h"
#include "capture/FrameLoop.h"
#include "capture/JpegFrame.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

// A card-like picture: white paper with rows of dark marks on a grey table.
class BenchCards final : public CardPictureProvider {
public:
    int Count() override { return 1; }
    bool Picture(int, std::vector<uint8_t>& bgr) override
    {
        bgr.assign(size_t(W) * H * 3, 140);
        for (int y = 60; y < 420; ++y)
            for (int x = 140; x < 500; ++x) {
                const bool mark = (y / 12) % 3 == 0 && (x / 16) % 2 == 0;
                uint8_t* p = bgr.data() + (size_t(y) * W + x) * 3;
                p[0] = p[1] = p[2] = mark ? 30 : 230;
            }
        return true;
    }
};

// Two consecutive still frames of the virtual camera in the given format.
std::array<std::vector<uint8_t>, 2> Samples(int32_t format)
{
    VirtualCamera camera(std::make_shared<BenchCards>(), format, VirtualCamera::Pace::Manual);
    std::array<std::vector<uint8_t>, 2> s;
    camera.RenderSample(20, s[0]);
    camera.RenderSample(21, s[1]);
    return s;
}

class BenchSource final : public CameraSource {
public:
    explicit BenchSource(int32_t format) : format_(format) {}
    std::string FriendlyName() const override { return "bench"; }
    bool Start(Csamplegrabbercb& sink, int32_t& subtype) override
    {
        sink_ = &sink;
        subtype = format_;
        return true;
    }
    void Stop() override {}
    bool Streaming() const override { return true; }
    void Send(const std::vector<uint8_t>& s) { sink_->BufferCB(0, s.data(), s.size()); }

private:
    int32_t format_;
    Csamplegrabbercb* sink_ = nullptr;
};

struct NoView final : FrameLoopView {
    void ShowCameraTest(const FrameBuffer&) override {}
    void ShowMarkingPreview(const FrameBuffer&) override {}
    void ShowRescoreHint() override {}
    void DrawStatusOverlay() override {}
    void OutlinePreview() override {}
    void ClearStatusText() override {}
};

struct FixedClock final : TickClock {
    int64_t now = 0;
    int64_t NowMs() override { return now += 100; }
};

void TickOf(benchmark::State& state, int32_t format)
{
    const auto samples = Samples(format);
    auto source = std::make_shared<BenchSource>(format);
    CaptureSession session;
    session.StartCapture(source);
    RecognitionContext context;
    context.SetTemplate(CardTemplate{}, "DY标准85题自动AB卷.dat");  // binarised frames
    RecognitionFramePreparation prep(context);
    NoView view;
    FixedClock clock;
    MarkingSettings settings;
    int marks = 0;
    FrameLoop loop(session, prep, view, clock, settings, [&] { ++marks; });
    loop.BtnAutoAnswerCardClick();
    size_t i = 0;
    for (auto _ : state) {
        source->Send(samples[i++ % 2]);
        loop.Tick(ActivePage::Marking);
    }
    benchmark::DoNotOptimize(marks);
}

void BM_TickYuy2(benchmark::State& state) { TickOf(state, subtype::Yuy2); }
void BM_TickMjpg(benchmark::State& state) { TickOf(state, subtype::Mjpg); }
void BM_TickI420(benchmark::State& state) { TickOf(state, subtype::I420); }

void BM_ConvertYUY2(benchmark::State& state)
{
    const auto s = Samples(subtype::Yuy2);
    FrameBuffer frame(W, H, 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertYUY2(W, H, s[0].data(), s[0].size(), frame.Pixels()));
}

void BM_ConvertI420(benchmark::State& state)
{
    const auto s = Samples(subtype::I420);
    FrameBuffer frame(W, H, 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertI420(W, H, s[0].data(), s[0].size(), frame.Pixels()));
}

void BM_DecodeMjpg(benchmark::State& state)
{
    const auto s = Samples(subtype::Mjpg);
    FrameBuffer frame(W, H, 3);
    JpegFrameDecoder decoder;
    for (auto _ : state)
        benchmark::DoNotOptimize(decoder.DrawOnto(s[0].data(), s[0].size(), frame.Pixels(), 10));
}

void BM_Rotate180(benchmark::State& state)
{
    FrameBuffer frame(W, H, int(state.range(0)));
    for (auto _ : state) {
        Rotate180(frame.Pixels());
        benchmark::ClobberMemory();
    }
}

void BM_FrameCopy(benchmark::State& state)
{
    FrameBuffer a(W, H, 4), b(W, H, 4);
    for (auto _ : state) {
        b.CopyFrom(a);
        benchmark::ClobberMemory();
    }
}

void BM_MeasureMotion(benchmark::State& state)
{
    FrameBuffer a(W, H, 4), b(W, H, 4);
    std::memset(b.Data(), 9, b.SizeBytes());
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureMotion(a, b, 0));
}

} // namespace

BENCHMARK(BM_TickYuy2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickMjpg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickI420)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertYUY2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertI420)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeMjpg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rotate180)->Arg(3)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeasureMotion)->Unit(benchmark::kMicrosecond);
