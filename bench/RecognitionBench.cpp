// Recognition speed on one core: each stage and the whole marking attempt on
// a 640 x 480 frame of a synthetic card.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>

#include "cardprint/GuiApp.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "recognition/DetectionLines.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/MarkSampling.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"
#include "recognition/Rectification.h"
#include "tests/recognition/SyntheticCard.h"

namespace {

struct Scene {
    CardTemplate t = synthetic::TestTemplate();
    Bitmap sample; // the frame as the program sees it, before preparation
    RecognitionContext ctx;

    explicit Scene(int bytesPerPixel = 3)
    {
        ctx.SetUp(640, 480, bytesPerPixel);
        ctx.SetTemplate(t, "DY测试卡.dat");
        // Built whole: assigning the short strings afterwards draws a false
        // -Wmaybe-uninitialized from GCC 12 at -O3.
        const synthetic::Filling f{0, "204170", "03", {"A", "B", "C", "D", "A", "B", "C", "D", "A", "B",
                                                      "C", "D", "A", "B", "C", "D", "A", "B", "C", "D"}};
        sample.Reset(640, 480, bytesPerPixel);
        synthetic::Photograph(t, f, {1.95, 4, 10, -5}, sample);
    }
    // A shipped card, filled and photographed by the synthetic camera; the
    // sample is turned as the camera's samples are.
    explicit Scene(const cardprint::ShippedCard& card)
    {
        t = card.record;
        ctx.SetUp(640, 480, 3);
        ctx.SetTemplate(card.record, card.fileName);
        ctx.CheckCardColour = false;
        const cardprint::CameraSample camera =
            cardprint::ToCameraSample(cardprint::SynthesizeCameraImage(t, card.fileName, ShippedFilling(t), Pose()), 3);
        sample.Reset(640, 480, 3);
        std::memcpy(sample.Data(), camera.pixels.data(), sample.ByteSize());
        Rotate180(sample.View());
    }
    void Load()
    {
        ctx.FrameBitmap.CopyFrom(sample);
        PrepareFrame(ctx);
    }
    static cardprint::FilledCard ShippedFilling(const CardTemplate& t)
    {
        cardprint::FilledCard filled;
        filled.abType = 1;
        filled.admission = "123456789";
        filled.subject = "03";
        filled.score = "85";
        for (int q = 0; q < t.QuestionCount; ++q)
            filled.answers.push_back(std::string(1, static_cast<char>('A' + q % 4)));
        return filled;
    }
    static cardprint::SynthOptions Pose(bool turned = false)
    {
        cardprint::SynthOptions o;
        o.seed = 11;
        o.rotateDeg = 3;
        o.jpegQuality = 85;
        o.turned = turned;
        return o;
    }
};

// card -1: the synthetic test card; 0 and up: the shipped cards.
Scene& SharedScene(int card = -1)
{
    static std::map<int, std::unique_ptr<Scene>> scenes;
    std::unique_ptr<Scene>& scene = scenes[card];
    if (!scene) {
        if (card < 0) {
            scene = std::make_unique<Scene>();
        } else {
            cardprint::EnsureGuiApplication();
            scene = std::make_unique<Scene>(cardprint::ShippedCards().at(static_cast<std::size_t>(card)));
        }
    }
    return *scene;
}

// Every stage on the synthetic test card (-1) and on each shipped card.
void EveryCard(benchmark::internal::Benchmark* b)
{
    b->ArgName("card");
    for (int card = -1; card < static_cast<int>(cardprint::ShippedCards().size()); ++card)
        b->Arg(card);
}

void BM_PrepareFrame(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        s.ctx.FrameBitmap.CopyFrom(s.sample);
        PrepareFrame(s.ctx);
    }
}
BENCHMARK(BM_PrepareFrame)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

void BM_DetectLines(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    s.Load();
    Bitmap work = s.ctx.LineFrame.Copy();
    for (auto _ : state) {
        work.CopyFrom(s.ctx.LineFrame); // detection thins its input
        benchmark::DoNotOptimize(s.ctx.Lines.DetectLines(work.View()));
    }
}
BENCHMARK(BM_DetectLines)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

// Runs the driver up to rectification once, so the later stages have their input.
void ToRectification(Scene& s)
{
    s.Load();
    s.ctx.Lines.DetectLines(s.ctx.FrameBitmap.View());
    LinePair pair;
    s.ctx.Lines.ChooseLinePair(s.t, pair);
    s.ctx.Ends.bottom = s.ctx.Lines.Records()[pair.bottom];
    s.ctx.Ends.top = s.ctx.Lines.Records()[pair.top];
    RefineLineEnds(s.ctx.LineFrame.View(), s.ctx.Ends);
}

void BM_PairRefineAndPlace(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    ToRectification(s);
    const LineEnds ends = s.ctx.Ends;
    for (auto _ : state) {
        LinePair pair;
        benchmark::DoNotOptimize(s.ctx.Lines.ChooseLinePair(s.t, pair));
        s.ctx.Ends = ends;
        benchmark::DoNotOptimize(RefineLineEnds(s.ctx.LineFrame.View(), s.ctx.Ends));
        benchmark::DoNotOptimize(CheckLinePlacement(s.ctx.LineFrame.View(), s.ctx.Ends, false, s.t));
    }
}
BENCHMARK(BM_PairRefineAndPlace)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

void BM_RectifyCard(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    ToRectification(s);
    for (auto _ : state)
        RectifyCard(s.ctx);
}
BENCHMARK(BM_RectifyCard)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

void BM_LevelCardLight(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    ToRectification(s);
    RectifyCard(s.ctx);
    for (auto _ : state)
        LevelCardLight(s.ctx);
}
BENCHMARK(BM_LevelCardLight)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

void BM_UprightAndPlacement(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    ToRectification(s);
    RectifyCard(s.ctx);
    LevelCardLight(s.ctx);
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsCardUpright(s.ctx));
        benchmark::DoNotOptimize(CheckCardPlacement(s.ctx));
    }
}
BENCHMARK(BM_UprightAndPlacement)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

void BM_MarkSampling(benchmark::State& state)
{
    Scene& s = SharedScene(static_cast<int>(state.range(0)));
    ToRectification(s);
    RawReadingAcceptance acceptance(WholeTemplateExam(s.t), s.t.AdmColumns);
    Bitmap card, check;
    RectifyCard(s.ctx);
    LevelCardLight(s.ctx);
    card = s.ctx.RectifiedCard.Copy();
    check = s.ctx.CheckCard.Copy();
    for (auto _ : state) {
        state.PauseTiming();
        s.ctx.RectifiedCard.CopyFrom(card); // sampling binarises area by area
        s.ctx.CheckCard.CopyFrom(check);
        state.ResumeTiming();
        benchmark::DoNotOptimize(acceptance.AcceptReading(s.ctx));
    }
}
BENCHMARK(BM_MarkSampling)->Apply(EveryCard)->Unit(benchmark::kMicrosecond);

void BM_Smooth3x3(benchmark::State& state)
{
    Bitmap b(800, 800, 3);
    b.Fill(200, 180, 160);
    Smoother smoother;
    for (auto _ : state)
        smoother.Smooth3x3(b.View());
}
BENCHMARK(BM_Smooth3x3)->Unit(benchmark::kMicrosecond);

void BM_WholeMarkingAttempt(benchmark::State& state)
{
    Scene s(static_cast<int>(state.range(0)));
    RawReadingAcceptance acceptance(WholeTemplateExam(s.t), s.t.AdmColumns);
    int code = -1;
    // The attempt alone: the frame loop's preparation runs outside the
    // timing (BM_PrepareFrame measures it), and the prepared images are put
    // back before every attempt because the attempt thins them in place.
    s.Load();
    const Bitmap frame = s.ctx.FrameBitmap.Copy(), colour = s.ctx.ColourFrame.Copy(), line = s.ctx.LineFrame.Copy();
    for (auto _ : state) {
        state.PauseTiming();
        s.ctx.FrameBitmap.CopyFrom(frame);
        s.ctx.ColourFrame.CopyFrom(colour);
        s.ctx.LineFrame.CopyFrom(line);
        state.ResumeTiming();
        code = RunMarkingAttempt(s.ctx, acceptance).code;
    }
    if (code != 0)
        state.SkipWithError("the synthetic card was not read");
}
BENCHMARK(BM_WholeMarkingAttempt)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);


// The whole marking attempt (recognised, sampled, read) on a prepared
// synthetic camera frame of each shipped template.
void BM_MarkingAttemptShipped(benchmark::State& state)
{
    cardprint::EnsureGuiApplication();
    const auto cards = cardprint::ShippedCards();
    const cardprint::ShippedCard& card = cards.at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(card.fileName);
    // Upside down, the attempt fails with code 11 after rectification and
    // runs again on the turned images.
    const cardprint::CameraSample sample = cardprint::ToCameraSample(
        cardprint::SynthesizeCameraImage(card.record, card.fileName, Scene::ShippedFilling(card.record),
                                         Scene::Pose(state.range(1) != 0)),
        3);
    RecognitionContext ctx;
    ctx.SetUp(640, 480, 3);
    ctx.SetTemplate(card.record, card.fileName);
    ctx.CheckCardColour = false;
    RawReadingAcceptance acceptance(WholeTemplateExam(card.record), card.record.AdmColumns);
    int code = -1;
    for (auto _ : state) {
        // The sample becomes a prepared frame as the frame loop makes it;
        // only the attempt is timed.
        state.PauseTiming();
        std::memcpy(ctx.FrameBitmap.Data(), sample.pixels.data(), ctx.FrameBitmap.ByteSize());
        Rotate180(ctx.FrameBitmap.View());
        PrepareFrame(ctx);
        state.ResumeTiming();
        code = RunMarkingAttempt(ctx, acceptance).code;
    }
    state.counters["code"] = code;
}
BENCHMARK(BM_MarkingAttemptShipped)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->ArgNames({"card", "turned"})
    ->Unit(benchmark::kMillisecond);

} // namespace
