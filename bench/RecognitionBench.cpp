// Recognition speed on one core: each stage and the whole marking attempt on
// a 640 x 480 frame of a synthetic card.
#include <benchmark/benchmark.h>

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
    Bitmap sample;  // the frame as the program sees it, before preparation
    RecognitionContext ctx;

    explicit Scene(int bytesPerPixel = 3)
    {
        ctx.SetUp(640, 480, bytesPerPixel);
        ctx.SetTemplate(t, "DY测试卡.dat");
        synthetic::Filling f;
        f.abType = 0;
        f.admission = "204170";
        f.subject = "03";
        f.answers = {"A", "B", "C", "D", "A", "B", "C", "D", "A", "B",
                     "C", "D", "A", "B", "C", "D", "A", "B", "C", "D"};
        sample.Reset(640, 480, bytesPerPixel);
        synthetic::Photograph(t, f, {1.95, 4, 10, -5}, sample);
    }
    void Load()
    {
        ctx.FrameBitmap.CopyFrom(sample);
        PrepareFrame(ctx);
    }
};

Scene& SharedScene()
{
    static Scene scene;
    return scene;
}

void BM_PrepareFrame(benchmark::State& state)
{
    Scene& s = SharedScene();
    for (auto _ : state) {
        s.ctx.FrameBitmap.CopyFrom(s.sample);
        PrepareFrame(s.ctx);
    }
}
BENCHMARK(BM_PrepareFrame)->Unit(benchmark::kMicrosecond);

void BM_DetectLines(benchmark::State& state)
{
    Scene& s = SharedScene();
    s.Load();
    Bitmap work = s.ctx.LineFrame.Copy();
    for (auto _ : state) {
        work.CopyFrom(s.ctx.LineFrame);  // detection thins its input
        benchmark::DoNotOptimize(s.ctx.Lines.DetectLines(work.View()));
    }
}
BENCHMARK(BM_DetectLines)->Unit(benchmark::kMicrosecond);

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
    Scene& s = SharedScene();
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
BENCHMARK(BM_PairRefineAndPlace)->Unit(benchmark::kMicrosecond);

void BM_RectifyCard(benchmark::State& state)
{
    Scene& s = SharedScene();
    ToRectification(s);
    for (auto _ : state)
        RectifyCard(s.ctx);
}
BENCHMARK(BM_RectifyCard)->Unit(benchmark::kMicrosecond);

void BM_UprightAndPlacement(benchmark::State& state)
{
    Scene& s = SharedScene();
    ToRectification(s);
    RectifyCard(s.ctx);
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsCardUpright(s.ctx));
        benchmark::DoNotOptimize(CheckCardPlacement(s.ctx));
    }
}
BENCHMARK(BM_UprightAndPlacement)->Unit(benchmark::kMicrosecond);

void BM_MarkSampling(benchmark::State& state)
{
    Scene& s = SharedScene();
    ToRectification(s);
    RawReadingAcceptance acceptance(WholeTemplateExam(s.t), s.t.AdmColumns);
    Bitmap card, check;
    RectifyCard(s.ctx);
    card = s.ctx.RectifiedCard.Copy();
    check = s.ctx.CheckCard.Copy();
    for (auto _ : state) {
        s.ctx.RectifiedCard.CopyFrom(card);  // sampling binarises area by area
        s.ctx.CheckCard.CopyFrom(check);
        benchmark::DoNotOptimize(acceptance.AcceptReading(s.ctx));
    }
}
BENCHMARK(BM_MarkSampling)->Unit(benchmark::kMicrosecond);

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
    for (auto _ : state) {
        s.Load();
        code = RunMarkingAttempt(s.ctx, acceptance).code;
    }
    if (code != 0)
        state.SkipWithError("the synthetic card was not read");
}
BENCHMARK(BM_WholeMarkingAttempt)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace
