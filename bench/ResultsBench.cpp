// Output page speed on a full store: 5000 records (the standard answer and
// 4999 students) of 200 questions in 10 groups, every item chosen, rows by
// total. The CSV text, the recorded score sheet, the sheet written as .xlsx,
// the statistics model and the statistics workbook.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "marking/Scoring.h"
#include "marking/SessionState.h"
#include "results/ScoreOutput.h"
#include "results/Spreadsheet.h"
#include "results/Statistics.h"

namespace {

struct FullStore {
    std::unique_ptr<MarkingSessionState> state = NewMarkingSessionState();
    ScoreOutputRequest request;
    StatisticsOptions options;

    FullStore()
    {
        StudentRoster& r = state->roster;
        r.Reset();
        r.classEnabled = 1;
        ExamSetup& e = state->exam;
        e.Clear();
        (void)e.examName.SetUtf8("期末考试");
        (void)e.subjectName.SetUtf8("英语");
        e.hasSubjectiveScore = 1;
        e.groupCount = 10;
        e.questionCount = 200;
        for (int g = 0; g < 10; ++g) {
            e.groups[g] = {g * 20 + 1, g * 20 + 20, g < 5 ? 1.0f : 2.5f, g < 5 ? 0 : 1};
            for (int q = g * 20; q < g * 20 + 20; ++q)
                e.questions[q] = {e.groups[g].score, e.groups[g].kind, g < 5 ? 0.0f : 1.0f, 0};
        }
        static const char* single[] = {"A", "B", "C", "D"};
        static const char* multi[] = {"AB", "BCD", "AC", "ABCD"};
        MarkingSession& s = state->session;
        s.ClearSession();
        MarkingRecord standard{};
        (void)standard.admissionNumber.Set("         ");
        for (int q = 0; q < 200; ++q)
            (void)standard.questionResults[q].answer.Set(q < 100 ? single[q % 4] : multi[q % 4]);
        (void)s.AppendRecord(standard);
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
        for (int i = 0; i < MarkingSession::MaxRecords - 1; ++i) {
            StudentEntry st{};
            char number[16];
            std::snprintf(number, sizeof number, "%09d", 100000 + (i * 7919) % 900000);
            (void)st.admissionNumber.Set(number);
            (void)st.name.SetUtf8("学生" + std::to_string(i));
            char cls[4];
            std::snprintf(cls, sizeof cls, "%02d", 1 + i % 40);
            (void)st.classCode.Set(cls);
            (void)r.AppendStudent(st);
            MarkingRecord rec{};
            (void)rec.admissionNumber.Set(number);
            (void)rec.studentName.Set(st.name.View());
            (void)rec.classCode.Set(cls);
            for (int q = 0; q < 200; ++q) {
                const char* a = next() % 3 ? standard.questionResults[q].answer.View().data()
                                           : (q < 100 ? single[next() % 4] : multi[next() % 4]);
                (void)rec.questionResults[q].answer.Set(a);
            }
            rec.subjectiveScore = static_cast<float>(next() % 100);
            ScoreRecord(e, standard, rec);
            (void)s.AppendRecord(rec);
        }
        // One student of the roster without a record, so absent rows exist too.
        StudentEntry absent{};
        (void)absent.admissionNumber.Set("000000001");
        (void)absent.name.SetUtf8("缺考");
        (void)absent.classCode.Set("01");
        (void)r.AppendStudent(absent);

        request.roster = &r;
        request.exam = &e;
        request.session = &s;
        request.choice.classChoice = GradeClassChoice::Class::All;
        for (int i = 0; i < kOutputItemCount; ++i)
            request.items.push_back(static_cast<OutputItem>(i));
        request.order = RowOrder::ByTotal;
        request.includeAbsent = true;

        options.average = options.questionRates = options.groupRates = true;
        options.wrongList = options.rightList = true;
        options.wrongRange = "1-20,101-120";
        options.rightRange = "150-160";
    }
};

FullStore& Store()
{
    static FullStore store;
    return store;
}

void BM_ScoreCsvText(benchmark::State& st)
{
    FullStore& f = Store();
    for (auto _ : st) {
        std::string text = ScoreCsvText(f.request);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_ScoreCsvText)->Unit(benchmark::kMillisecond);

void BM_WriteScoreSheet(benchmark::State& st)
{
    FullStore& f = Store();
    for (auto _ : st) {
        sheet::Workbook book;
        WriteScoreSheet(book.ActiveSheet(), f.request);
        benchmark::DoNotOptimize(book.ActiveSheet().Values().size());
    }
}
BENCHMARK(BM_WriteScoreSheet)->Unit(benchmark::kMillisecond);

void BM_SaveScoreWorkbook(benchmark::State& st)
{
    FullStore& f = Store();
    sheet::Workbook book;
    WriteScoreSheet(book.ActiveSheet(), f.request);
    const auto file = std::filesystem::temp_directory_path() / "scorivo-bench-scores.xlsx";
    for (auto _ : st) {
        if (!book.SaveAs(file))
            st.SkipWithError("save failed");
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_SaveScoreWorkbook)->Unit(benchmark::kMillisecond);

void BM_ComputeStatistics(benchmark::State& st)
{
    FullStore& f = Store();
    for (auto _ : st) {
        StatisticsModel m = ComputeStatistics(f.state->roster, f.state->exam, f.state->session, f.request.choice,
                                              f.options);
        benchmark::DoNotOptimize(m.total.mean);
    }
}
BENCHMARK(BM_ComputeStatistics)->Unit(benchmark::kMillisecond);

void BM_StatisticsWorkbook(benchmark::State& st)
{
    FullStore& f = Store();
    StatisticsModel m =
        ComputeStatistics(f.state->roster, f.state->exam, f.state->session, f.request.choice, f.options);
    const auto file = std::filesystem::temp_directory_path() / "scorivo-bench-stats.xlsx";
    for (auto _ : st) {
        sheet::Workbook book;
        BuildStatisticsWorkbook(book, m, f.options);
        if (!book.SaveAs(file))
            st.SkipWithError("save failed");
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_StatisticsWorkbook)->Unit(benchmark::kMillisecond);

} // namespace
