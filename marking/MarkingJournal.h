#pragma once
// The journal of a `mark` run: each accepted card's record, appended and
// flushed beside the raw file ("期中数学.yj" -> "期中数学.yj.journal") before
// the card is reported, and folded into the raw file when the run ends.
// Saving the whole raw file per card cost the session's size each time (5,000
// cards wrote 44 GB); an entry costs one record whatever the session holds.
// The raw file's own format does not change: a journal left by a killed run
// is replayed by every open and folded in by the next run.
//
// Layout, little-endian: the header (the magic "SCRVJNL1", then the size and
// the FNV-1a hash of the raw file it continues, then the run's grade and
// class filters, 11 and 4 bytes), then entries of the record's index (int32,
// at most the record count: that count appends), the record (3420 bytes) and
// the FNV-1a hash of both. A journal whose header names other bytes than the
// raw file's is stale (the file was saved since) and is never replayed; a
// cut-off last entry (a kill during its write: it was not reported) neither.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "marking/SessionState.h"

namespace journal_file {
inline constexpr const char* Extension = ".journal";
inline constexpr char Magic[8] = {'S', 'C', 'R', 'V', 'J', 'N', 'L', '1'};
inline constexpr std::size_t HeaderSize = 8 + 8 + 8 + 11 + 4;
inline constexpr std::size_t EntrySize = 4 + sizeof(MarkingRecord) + 8;
} // namespace journal_file

// FNV-1a, 64 bits.
std::uint64_t ContentHash(std::string_view bytes);

// The journal beside the raw file's save target.
std::filesystem::path JournalPath(const std::filesystem::path& rawFile);

// Applies to `state` (just decoded from the raw file's bytes, of `rawSize`
// and ContentHash `rawHash`) the entries of the journal beside `rawFile` when
// it continues exactly those bytes. Returns how many were applied (0 with no
// journal, a stale one or none whole).
int ReplayMarkingJournal(const std::filesystem::path& rawFile, std::uint64_t rawSize, std::uint64_t rawHash,
                         MarkingSessionState& state);

// Folds a journal beside `rawFile` into it (read, replay, atomic save) and
// removes it; a stale one is only removed. Call it only while holding the
// file's lock. False with `message` when the save failed: the journal stays
// and nothing is lost. True when there was nothing to fold, or the raw file
// cannot be read (its open says why).
bool FoldMarkingJournal(const std::filesystem::path& rawFile, std::string& message);

// The journal a run appends to.
class MarkingJournal {
public:
    MarkingJournal() = default;
    MarkingJournal(const MarkingJournal&) = delete;
    MarkingJournal& operator=(const MarkingJournal&) = delete;
    ~MarkingJournal() { Close(); }

    // Creates the journal of `rawFile` (replacing a stale one) for the raw
    // file's bytes of `baseSize` and `baseHash`, with the run's filters, and
    // flushes it with its folder. Refused, as a save would be, when the raw
    // file could not be saved at the end (read-only).
    [[nodiscard]] bool Start(const std::filesystem::path& rawFile, std::uint64_t baseSize, std::uint64_t baseHash,
                             const MarkingSession& filters, std::string& error);
    bool Started() const { return fd_ >= 0; }
    // Appends the record at `index` and flushes it to the disk.
    [[nodiscard]] bool Append(int index, const MarkingRecord& record, std::string& error);
    void Close();

private:
    int fd_ = -1;
};
