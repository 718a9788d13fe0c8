// Our stages beside OpenCV (single thread) doing the equivalent work on the
// same 640 x 480 frames, timed in one process and one run, with the ratios
// printed at the end:
//   turn     Rotate180 of a 24-bit frame / cv::rotate / memcpy of the frame
//   warp     RectifyCard (turn + projective warp to the 800 x 800 card, 3 x 3
//            smoothing, the copy to CheckCard) / cv::warpPerspective
//            (nearest pixel) + cv::GaussianBlur 3 x 3 of one picture
//   attempt  the whole marking attempt on each shipped card / an OpenCV
//            chain: grey, threshold, thinning (cv::ximgproc, Zhang-Suen), warp
//            of the grey frame, 3 x 3 blur, and the mean of every cell our
//            sampler reads (the chain is given our line ends: OpenCV has no
//            detection-line finder, so the chain does less than we do)
//   thinning LineDetector::Thin on each shipped card's prepared frame /
//            cv::ximgproc::thinning (Zhang-Suen) of the same black pixels
//   tick     one Timer1 tick on the marking page with automatic marking, for
//            YUY2, MJPG and I420 samples / memcpy of the tick's frame; the
//            OpenCV conversions (cvtColor, imdecode) alone for scale, and
//            our MJPG decode alone, the floor under that tick
// Run with --benchmark_repetitions=5 for medians (the ratios use the medians).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc.hpp>

#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/FrameLoop.h"
#include "capture/JpegFrame.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/SampleConversion.h"
#include "capture/SampleGrabber.h"
#include "capture/VirtualCamera.h"
#include "cardprint/GuiApp.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "recognition/CardLayout.h"
#include "recognition/DetectionLines.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"
#include "recognition/Rectification.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

cardprint::FilledCard Filling(const CardTemplate& t)
{
    cardprint::FilledCard f;
    f.abType = 1;
    f.admission = "123456789";
    f.subject = "03";
    f.score = "85";
    for (int q = 0; q < t.QuestionCount; ++q)
        f.answers.push_back(std::string(1, static_cast<char>('A' + q % 4)));
    return f;
}

// A shipped card photographed upright (as the program sees it after its turn).
struct CardScene {
    cardprint::ShippedCard card;
    cardprint::CameraSample sample; // as the camera sends it
    RecognitionContext ctx;
    SamplingExam exam;
    Bitmap frame, colour, line;    // prepared, put back before every attempt
    int code = -1;

    explicit CardScene(const cardprint::ShippedCard& c) : card(c), exam(WholeTemplateExam(c.record))
    {
        cardprint::SynthOptions o;
        o.seed = 11;
        o.rotateDeg = 3;
        o.jpegQuality = 85;
        sample = cardprint::ToCameraSample(
            cardprint::SynthesizeCameraImage(c.record, c.fileName, Filling(c.record), o), 3);
        ctx.SetUp(W, H, 3);
        ctx.SetTemplate(c.record, c.fileName);
        ctx.CheckCardColour = false;
        std::memcpy(ctx.FrameBitmap.Data(), sample.pixels.data(), ctx.FrameBitmap.ByteSize());
        Rotate180(ctx.FrameBitmap.View());
        PrepareFrame(ctx);
        frame = ctx.FrameBitmap.Copy();
        colour = ctx.ColourFrame.Copy();
        line = ctx.LineFrame.Copy();
        RawReadingAcceptance acceptance(exam, c.record.AdmColumns);
        code = Attempt(acceptance);
    }
    void Restore()
    {
        ctx.FrameBitmap.CopyFrom(frame);
        ctx.ColourFrame.CopyFrom(colour);
        ctx.LineFrame.CopyFrom(line);
    }
    int Attempt(CardAcceptance& acceptance)
    {
        Restore();
        return RunMarkingAttempt(ctx, acceptance).code;
    }
};

std::vector<std::unique_ptr<CardScene>>& Scenes()
{
    static std::vector<std::unique_ptr<CardScene>> scenes = [] {
        cardprint::EnsureGuiApplication();
        std::vector<std::unique_ptr<CardScene>> s;
        for (const cardprint::ShippedCard& c : cardprint::ShippedCards())
            s.push_back(std::make_unique<CardScene>(c));
        return s;
    }();
    return scenes;
}

cv::Mat MatOf(const Bitmap& b)
{
    return cv::Mat(b.Height(), b.Width(), b.BytesPerPixel() == 4 ? CV_8UC4 : CV_8UC3, const_cast<uint8_t*>(b.Data()),
                   static_cast<std::size_t>(b.Stride()));
}

// ---- turn ------------------------------------------------------------------

void BM_TurnOurs(benchmark::State& state)
{
    Bitmap f(W, H, 3);
    std::memcpy(f.Data(), Scenes()[0]->sample.pixels.data(), f.ByteSize());
    for (auto _ : state) {
        Rotate180(f.View());
        benchmark::ClobberMemory();
    }
}

void BM_TurnOpenCv(benchmark::State& state)
{
    Bitmap f(W, H, 3);
    std::memcpy(f.Data(), Scenes()[0]->sample.pixels.data(), f.ByteSize());
    cv::Mat src = MatOf(f), dst(H, W, CV_8UC3);
    for (auto _ : state) {
        cv::rotate(src, dst, cv::ROTATE_180);
        benchmark::ClobberMemory();
    }
}

void MemcpyOf(benchmark::State& state, std::size_t bytes)
{
    std::vector<uint8_t> a(bytes, 7), b(bytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::ClobberMemory();
    }
}

// ---- warp ------------------------------------------------------------------

// The frame-to-card mapping OpenCV needs: the four line ends in the frame to
// their places on the card, as our rectification puts them.
cv::Mat CardToFrame(const CardScene& s)
{
    const LineEnds& e = s.ctx.Ends;
    const CardGeometry& g = s.ctx.Geometry;
    const cv::Point2f card[4] = {{float(g.I1.x), float(g.I1.y)}, {float(g.I2.x), float(g.I2.y)},
                                 {float(g.I3.x), float(g.I3.y)}, {float(g.I4.x), float(g.I4.y)}};
    const cv::Point2f frame[4] = {{float(e.bottomLeft.x), float(e.bottomLeft.y)},
                                  {float(e.bottomRight.x), float(e.bottomRight.y)},
                                  {float(e.topLeft.x), float(e.topLeft.y)},
                                  {float(e.topRight.x), float(e.topRight.y)}};
    return cv::getPerspectiveTransform(card, frame);
}

void BM_WarpOurs(benchmark::State& state)
{
    CardScene& s = *Scenes()[0];
    s.Restore();
    RawReadingAcceptance acceptance(s.exam, s.card.record.AdmColumns);
    s.Attempt(acceptance); // leaves the line ends of the read card in the context
    for (auto _ : state)
        RectifyCard(s.ctx);
}

void BM_WarpOpenCv(benchmark::State& state)
{
    CardScene& s = *Scenes()[0];
    const cv::Mat map = CardToFrame(s);
    const cv::Mat colour = MatOf(s.colour);
    cv::Mat card(800, 800, CV_8UC3, cv::Scalar::all(255)), smooth;
    for (auto _ : state) {
        cv::warpPerspective(colour, card, map, card.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                            cv::BORDER_TRANSPARENT);
        cv::GaussianBlur(card, smooth, cv::Size(3, 3), 0);
        benchmark::ClobberMemory();
    }
}

// ---- attempt ---------------------------------------------------------------

void BM_AttemptOurs(benchmark::State& state)
{
    CardScene& s = *Scenes().at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(s.card.fileName);
    RawReadingAcceptance acceptance(s.exam, s.card.record.AdmColumns);
    int code = -1;
    for (auto _ : state) {
        state.PauseTiming();
        s.Restore();
        state.ResumeTiming();
        code = RunMarkingAttempt(s.ctx, acceptance).code;
    }
    if (code != CodeAccepted)
        state.SkipWithError("the shipped card was not read");
}

// Every cell the sampler reads, as rectangles of the card picture (rows
// bottom-up, as our bitmaps and the Mats over them are laid out).
std::vector<cv::Rect> CellsOf(const CardScene& s)
{
    const CardTemplate& t = s.card.record;
    const CardGeometry& g = s.ctx.Geometry;
    std::vector<cv::Rect> cells;
    auto add = [&](CellPos p) {
        const float x = g.X0 + g.sx * p.col, y = g.Y0 + g.sy * p.row - g.sy;
        cv::Rect r(int(x), int(y), std::max(1, int(g.sx)), std::max(1, int(g.sy)));
        cells.push_back(r & cv::Rect(0, 0, 800, 800));
    };
    for (int i = 0; i < t.AdmColumns; ++i)
        for (int j = 0; j < 10; ++j)
            add(DigitCell(t.AdmCol, t.AdmRow, i, j));
    for (int i = 0; i < t.SubjColumns; ++i)
        for (int j = 0; j < t.SubjRows; ++j)
            add(DigitCell(t.SubjCol, t.SubjRow, i, j));
    for (int i = 0; i < t.ScoreColumns; ++i)
        for (int j = 0; j < 10; ++j)
            add(DigitCell(t.ScoreCol, t.ScoreRow, i, j));
    for (int q = 0; q < t.QuestionCount; ++q) {
        const QuestionLayout l = LayoutQuestion(t, 0, q);
        if (!l.placed || (l.orientation != 0 && l.orientation != 1))
            continue;
        for (int j = 0; j < l.options; ++j)
            add(OptionCell(l, 0, j));
    }
    return cells;
}

void BM_AttemptOpenCv(benchmark::State& state)
{
    CardScene& s = *Scenes().at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(s.card.fileName);
    const cv::Mat map = CardToFrame(s);
    const std::vector<cv::Rect> cells = CellsOf(s);
    const cv::Mat colour = MatOf(s.colour);
    cv::Mat grey, binary, thin, card(800, 800, CV_8UC1, cv::Scalar::all(255)), smooth;
    double sum = 0;
    for (auto _ : state) {
        cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
        cv::threshold(grey, binary, 99, 255, cv::THRESH_BINARY_INV); // print as foreground
        cv::ximgproc::thinning(binary, thin, cv::ximgproc::THINNING_ZHANGSUEN);
        cv::warpPerspective(grey, card, map, card.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                            cv::BORDER_TRANSPARENT);
        cv::GaussianBlur(card, smooth, cv::Size(3, 3), 0);
        for (const cv::Rect& r : cells)
            sum += cv::mean(smooth(r))[0];
    }
    benchmark::DoNotOptimize(sum);
}

// ---- thinning --------------------------------------------------------------

void BM_ThinOurs(benchmark::State& state)
{
    CardScene& s = *Scenes().at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(s.card.fileName);
    Bitmap work = s.frame.Copy();
    std::vector<uint8_t> mask;
    std::vector<uint64_t> thinWork;
    for (auto _ : state) {
        state.PauseTiming();
        work.CopyFrom(s.frame); // thinning works in place
        state.ResumeTiming();
        LineDetector::Thin(work.View(), mask, thinWork);
    }
}

void BM_ThinOpenCv(benchmark::State& state)
{
    CardScene& s = *Scenes().at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(s.card.fileName);
    cv::Mat binary(H, W, CV_8UC1), thin;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            binary.at<uint8_t>(y, x) = IsBlack(s.frame.View().At(x, y)) ? 255 : 0; // print as foreground
    for (auto _ : state) {
        cv::ximgproc::thinning(binary, thin, cv::ximgproc::THINNING_ZHANGSUEN);
        benchmark::ClobberMemory();
    }
}

// ---- tick ------------------------------------------------------------------

class ScenePictures final : public CardPictureProvider {
public:
    int Count() override { return 1; }
    bool Picture(int, std::vector<uint8_t>& bgr) override
    {
        const auto& px = Scenes()[0]->sample.pixels;
        bgr.assign(px.begin(), px.end());
        return true;
    }
};

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

struct SteppedClock final : TickClock {
    int64_t now = 0;
    int64_t NowMs() override { return now += 100; }
};

// Two consecutive frames of the card lying still, in the camera's format.
std::array<std::vector<uint8_t>, 2> StillSamples(int32_t format)
{
    VirtualCamera camera(std::make_shared<ScenePictures>(), format, VirtualCamera::Pace::Manual);
    std::array<std::vector<uint8_t>, 2> s;
    camera.RenderSample(20, s[0]);
    camera.RenderSample(21, s[1]);
    return s;
}

// The tick as the marking page runs it: the sample handed over by the capture
// thread's copy, converted, turned, shown, prepared, measured for motion.
void TickOf(benchmark::State& state, int32_t format)
{
    const auto samples = StillSamples(format);
    auto source = std::make_shared<BenchSource>(format);
    CaptureSession session;
    session.StartCapture(source);
    RecognitionContext context;
    context.SetTemplate(Scenes()[0]->card.record, Scenes()[0]->card.fileName);
    RecognitionFramePreparation prep(context);
    NoView view;
    SteppedClock clock;
    MarkingSettings settings;
    int marks = 0;
    FrameLoop loop(session, prep, view, clock, settings, [&] { ++marks; });
    loop.BtnAutoAnswerCardClick();
    std::size_t i = 0;
    for (auto _ : state) {
        source->Send(samples[i++ % 2]);
        loop.Tick(ActivePage::Marking);
    }
    benchmark::DoNotOptimize(marks);
}

void BM_ConvertOpenCv(benchmark::State& state, int32_t format)
{
    const auto samples = StillSamples(format);
    const std::vector<uint8_t>& s = samples[0];
    cv::Mat out;
    for (auto _ : state) {
        if (format == subtype::Yuy2)
            cv::cvtColor(cv::Mat(H, W, CV_8UC2, const_cast<uint8_t*>(s.data())), out, cv::COLOR_YUV2BGR_YUY2);
        else if (format == subtype::I420)
            cv::cvtColor(cv::Mat(H * 3 / 2, W, CV_8UC1, const_cast<uint8_t*>(s.data())), out, cv::COLOR_YUV2BGR_I420);
        else
            out = cv::imdecode(cv::Mat(1, int(s.size()), CV_8UC1, const_cast<uint8_t*>(s.data())), cv::IMREAD_COLOR);
        benchmark::ClobberMemory();
    }
}

// The MJPG tick's decode alone (libjpeg-turbo, as the tick draws it: at row
// 10 of the 24-bit frame): the floor under that tick.
void BM_DecodeOurs(benchmark::State& state)
{
    const auto samples = StillSamples(subtype::Mjpg);
    FrameBuffer frame(W, H, 3);
    JpegFrameDecoder decoder;
    for (auto _ : state)
        benchmark::DoNotOptimize(decoder.DrawOnto(samples[0].data(), samples[0].size(), frame.Pixels(), 10));
}

// ---- the ratio table -------------------------------------------------------

// Keeps the CPU time per iteration of every run (the median when repeated):
// on a shared machine the wall time also counts the waits for a core.
class RatioCollector final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0)
                continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median)
                continue;
            const std::string name = r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args);
            // A median, once there is one, wins over the single repetitions.
            if (median || !medians_.count(name))
                seconds_[name] = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            if (median)
                medians_[name] = true;
        }
    }
    double Get(const std::string& name) const
    {
        const auto it = seconds_.find(name);
        return it == seconds_.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> seconds_;
    std::map<std::string, bool> medians_;
};

void PrintRow(const char* what, double ours, double other, const char* otherName, const char* target)
{
    if (ours <= 0 || other <= 0) {
        std::printf("  %-34s  (not measured)\n", what);
        return;
    }
    std::printf("  %-34s %10.1f us %10.1f us  %-10s %7.2f   %s\n", what, ours * 1e6, other * 1e6, otherName,
                ours / other, target);
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const auto& scenes = Scenes();
    const std::size_t frame24 = std::size_t(W) * H * 3, frame32 = std::size_t(W) * H * 4;

    benchmark::RegisterBenchmark("Turn/ours", BM_TurnOurs)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Turn/opencv", BM_TurnOpenCv)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Memcpy/frame24", [=](benchmark::State& s) { MemcpyOf(s, frame24); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Memcpy/frame32", [=](benchmark::State& s) { MemcpyOf(s, frame32); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Warp/ours", BM_WarpOurs)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Warp/opencv", BM_WarpOpenCv)->Unit(benchmark::kMicrosecond);
    for (std::size_t c = 0; c < scenes.size(); ++c) {
        benchmark::RegisterBenchmark("Attempt/ours", BM_AttemptOurs)->Arg(int(c))->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("Attempt/opencv", BM_AttemptOpenCv)->Arg(int(c))->Unit(benchmark::kMicrosecond);
    }
    for (std::size_t c = 0; c < scenes.size(); ++c) {
        benchmark::RegisterBenchmark("Thin/ours", BM_ThinOurs)->Arg(int(c))->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("Thin/opencv", BM_ThinOpenCv)->Arg(int(c))->Unit(benchmark::kMicrosecond);
    }
    const std::pair<const char*, int32_t> formats[] = {
        {"YUY2", subtype::Yuy2}, {"MJPG", subtype::Mjpg}, {"I420", subtype::I420}};
    for (const auto& [name, format] : formats) {
        const int32_t f = format;
        benchmark::RegisterBenchmark((std::string("Tick/") + name).c_str(), [f](benchmark::State& s) { TickOf(s, f); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("Convert/opencv_") + name).c_str(),
                                     [f](benchmark::State& s) { BM_ConvertOpenCv(s, f); })
            ->Unit(benchmark::kMicrosecond);
    }

    benchmark::RegisterBenchmark("Decode/ours_MJPG", BM_DecodeOurs)->Unit(benchmark::kMicrosecond);

    RatioCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\nRatios (CPU time / CPU time; single thread, same run):\n");
    std::printf("  %-34s %13s %13s  %-10s %7s   %s\n", "step", "ours", "other", "other is", "ratio", "target");
    PrintRow("turn 24-bit / memcpy", collector.Get("Turn/ours"), collector.Get("Memcpy/frame24"), "memcpy", "<= 3");
    PrintRow("turn 24-bit / cv::rotate", collector.Get("Turn/ours"), collector.Get("Turn/opencv"), "opencv", "");
    PrintRow("cv::rotate / memcpy", collector.Get("Turn/opencv"), collector.Get("Memcpy/frame24"), "memcpy", "");
    PrintRow("warp + smoothing (2 pictures)", collector.Get("Warp/ours"), collector.Get("Warp/opencv"), "opencv", "");
    for (std::size_t c = 0; c < scenes.size(); ++c) {
        const std::string number = std::to_string(c);
        const double ours = collector.Get("Attempt/ours/" + number), cv = collector.Get("Attempt/opencv/" + number);
        PrintRow(("attempt card " + number).c_str(), ours, cv, "opencv", "<= 0.1");
        if (ours > 0)
            std::printf("      %s: OpenCV chain / ours = %.1f x\n", scenes[c]->card.fileName.c_str(), cv / ours);
    }
    for (std::size_t c = 0; c < scenes.size(); ++c) {
        const std::string number = std::to_string(c);
        PrintRow(("thinning card " + number).c_str(), collector.Get("Thin/ours/" + number),
                 collector.Get("Thin/opencv/" + number), "opencv", "");
    }
    for (const auto& [name, format] : formats) {
        const double copy = collector.Get(format == subtype::Mjpg ? "Memcpy/frame24" : "Memcpy/frame32");
        PrintRow((std::string("tick ") + name + " / memcpy").c_str(), collector.Get(std::string("Tick/") + name), copy,
                 "memcpy", "<= 30");
        PrintRow((std::string("tick ") + name + " / cv conversion").c_str(), collector.Get(std::string("Tick/") + name),
                 collector.Get(std::string("Convert/opencv_") + name), "opencv", "");
    }
    PrintRow("MJPG decode alone / memcpy", collector.Get("Decode/ours_MJPG"), collector.Get("Memcpy/frame24"),
             "memcpy", "");
    benchmark::Shutdown();
    return 0;
}
