// Acceptance speed: the whole marking attempt of a re-read card through the
// session's acceptance, with a full record store, against the raw reading.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "marking/RecognitionSampler.h"
#include "platform/ScriptedPromptsCore.h"
#include "recognition/RawReading.h"
#include "tests/recognition/SyntheticCard.h"

namespace {

struct SessionScene {
    CardTemplate t = synthetic::TestTemplate();
    Bitmap sample;
    RecognitionContext ctx;
    std::unique_ptr<MarkingSessionState> state = NewMarkingSessionState();
    MarkingSettings settings;
    ScriptedPromptsCore prompts;
    std::unique_ptr<CardAcceptor> acceptor;
    std::unique_ptr<SessionCardAcceptance> acceptance;

    SessionScene()
    {
        ctx.SetUp(640, 480, 3);
        ctx.SetTemplate(t, "DY测试卡.dat");
        // Built whole: assigning the short strings afterwards draws a false
        // -Wmaybe-uninitialized from GCC 12 at -O3.
        const synthetic::Filling f{0, "204170", "03", {"A", "B", "C", "D", "A", "B", "C", "D", "A", "B",
                                                      "C", "D", "A", "B", "C", "D", "A", "B", "C", "D"}};
        sample.Reset(640, 480, 3);
        synthetic::Photograph(t, f, {1.95, 4, 10, -5}, sample);

        state->cardTemplate = t;
        state->templateName = "DY测试卡.dat";
        state->roster.admissionLength = 6;
        ExamSetup& e = state->exam;
        e.questionCount = 20;
        e.groupCount = 1;
        e.groups[0] = {1, 20, 1, 0};
        for (int q = 0; q < 20; ++q)
            e.questions[q] = {1, 0, 0, 0};
        (void)e.subjectCode.Set("03");
        // A full store: the standard answer, 4998 other students, then the card's student last.
        MarkingSession& s = state->session;
        s.recordCount = MarkingSession::MaxRecords;
        (void)s.records[0].admissionNumber.Set("      ");
        for (int i = 1; i < MarkingSession::MaxRecords; ++i) {
            char number[8];
            std::snprintf(number, sizeof number, "%06d", i == MarkingSession::MaxRecords - 1 ? 204170 : 300000 + i);
            (void)s.records[i].admissionNumber.Set(number);
            s.records[i].readCount = 1;
        }
        // The card's earlier reading, the same answers: the attempt overwrites without asking.
        for (int q = 0; q < 20; ++q) {
            (void)s.records[0].questionResults[q].answer.Set(f.answers[q]);
            (void)s.records[MarkingSession::MaxRecords - 1].questionResults[q].answer.Set(f.answers[q]);
        }
        StudentEntry student{};
        (void)student.admissionNumber.Set("204170");
        (void)student.name.SetUtf8("王浩然");
        (void)state->roster.AppendStudent(student);
        acceptor = std::make_unique<CardAcceptor>(*state, settings, prompts);
        acceptance = std::make_unique<SessionCardAcceptance>(*acceptor);
    }
};

void BM_MarkingAttemptSessionAcceptance(benchmark::State& st)
{
    static SessionScene scene;
    for (auto _ : st) {
        scene.ctx.FrameBitmap.CopyFrom(scene.sample);
        PrepareFrame(scene.ctx);
        benchmark::DoNotOptimize(RunMarkingAttempt(scene.ctx, *scene.acceptance).code);
    }
    if (scene.state->session.records[MarkingSession::MaxRecords - 1].readCount < 2)
        st.SkipWithError(("the card was not accepted as a re-read: " + scene.ctx.StatusText).c_str());
}
BENCHMARK(BM_MarkingAttemptSessionAcceptance)->Unit(benchmark::kMillisecond);

} // namespace
