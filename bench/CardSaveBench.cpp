// What saving one marked card costs as the session grows: `mark` appends the
// card's record to its journal, so card 5,000 costs what card 1 does. The
// counters give the bytes written per card. Beside it the whole-file save
// every card cost before, which the journal's fold now costs once per run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "marking/MarkingJournal.h"
#include "marking/RawFile.h"
#include "platform/Files.h"

namespace {

struct SessionOnDisk {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "scorivo-bench-card-save";
    std::filesystem::path file = folder / "s.yj";
    std::unique_ptr<MarkingSessionState> state = NewMarkingSessionState();
    std::string bytes;

    // A session holding the cards before card `card`.
    explicit SessionOnDisk(int card)
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        MarkingSession& s = state->session;
        for (int i = 0; i + 1 < card; ++i) {
            MarkingRecord r{};
            r.readCount = 1;
            (void)r.admissionNumber.Set(std::to_string(100000000 + i));
            (void)s.AppendRecord(r);
        }
        bytes = EncodeMarkingFile(state->roster, state->exam, s);
        (void)files::WriteAtomic(file, bytes);
    }
    ~SessionOnDisk() { std::filesystem::remove_all(folder); }
};

void BM_CardSave(benchmark::State& st)
{
    const int card = static_cast<int>(st.range(0));
    SessionOnDisk disk(card);
    MarkingRecord record{};
    (void)record.admissionNumber.Set("200000000");
    MarkingJournal journal;
    std::string error;
    if (!journal.Start(disk.file, disk.bytes.size(), ContentHash(disk.bytes), disk.state->session, error)) {
        st.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : st)
        if (!journal.Append(card - 1, record, error))
            st.SkipWithError(error.c_str());
    st.counters["bytes_per_card"] = static_cast<double>(journal_file::EntrySize);
}
BENCHMARK(BM_CardSave)->Arg(1)->Arg(5000)->Unit(benchmark::kMicrosecond);

// Before the journal every card's save was this whole-file write.
void BM_WholeFileSave(benchmark::State& st)
{
    SessionOnDisk disk(static_cast<int>(st.range(0)));
    for (auto _ : st)
        (void)files::WriteAtomic(disk.file, disk.bytes);
    st.counters["bytes_per_card"] = static_cast<double>(disk.bytes.size());
}
BENCHMARK(BM_WholeFileSave)->Arg(1)->Arg(5000)->Unit(benchmark::kMicrosecond);

} // namespace
