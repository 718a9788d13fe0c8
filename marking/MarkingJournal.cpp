#include "marking/MarkingJournal.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <unistd.h>

#include "marking/RawFile.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

static_assert(journal_file::EntrySize == 3432);

std::uint64_t ContentHash(std::string_view bytes)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

fs::path JournalPath(const fs::path& rawFile)
{
    fs::path journal = files::SaveTarget(rawFile);
    journal += journal_file::Extension;
    return journal;
}

static std::string Header(std::uint64_t baseSize, std::uint64_t baseHash, const MarkingSession& filters)
{
    std::string h(journal_file::Magic, sizeof journal_file::Magic);
    h.append(reinterpret_cast<const char*>(&baseSize), 8);
    h.append(reinterpret_cast<const char*>(&baseHash), 8);
    h.append(filters.gradeFilter.bytes, sizeof filters.gradeFilter.bytes);
    h.append(filters.classFilter.bytes, sizeof filters.classFilter.bytes);
    return h;
}

int ReplayMarkingJournal(const fs::path& rawFile, std::uint64_t rawSize, std::uint64_t rawHash,
                         MarkingSessionState& state)
{
    // Read entry by entry: a long run's journal may hold far more than one
    // session (every re-read is an entry), and needs no more memory for that.
    std::ifstream in(JournalPath(rawFile), std::ios::binary);
    std::string header(journal_file::HeaderSize, '\0');
    if (!in || !in.read(header.data(), static_cast<std::streamsize>(header.size())))
        return 0;
    MarkingSession& s = state.session;
    // The base alone: the filters are the run's, not the file's.
    const std::string base = Header(rawSize, rawHash, s).substr(0, 24);
    if (header.compare(0, base.size(), base) != 0)
        return 0;
    decltype(s.gradeFilter) grade;
    decltype(s.classFilter) cls;
    std::memcpy(grade.bytes, header.data() + 24, sizeof grade.bytes);
    std::memcpy(cls.bytes, header.data() + 24 + sizeof grade.bytes, sizeof cls.bytes);
    if (!grade.Terminated() || !cls.Terminated())
        return 0;
    int applied = 0;
    std::string entry(journal_file::EntrySize, '\0');
    while (in.read(entry.data(), static_cast<std::streamsize>(entry.size()))) {
        const std::string_view body(entry.data(), 4 + sizeof(MarkingRecord));
        std::uint64_t hash = 0;
        std::memcpy(&hash, entry.data() + body.size(), 8);
        if (hash != ContentHash(body))
            break;
        int32_t index = -1;
        std::memcpy(&index, entry.data(), 4);
        MarkingRecord record;
        std::memcpy(&record, entry.data() + 4, sizeof record);
        const bool stored = index == s.recordCount ? s.AppendRecord(record, nullptr)
                                                    : index >= 0 && index < s.recordCount &&
                                                          s.ReplaceRecord(index, record, nullptr);
        if (!stored)
            break;
        ++applied;
    }
    if (applied > 0) {
        s.gradeFilter = grade;
        s.classFilter = cls;
    }
    return applied;
}

bool FoldMarkingJournal(const fs::path& rawFile, std::string& message)
{
    const fs::path journal = JournalPath(rawFile);
    std::error_code ec;
    if (!fs::exists(journal, ec))
        return true;
    auto state = NewMarkingSessionState();
    const MarkingFileResult opened = OpenMarkingFile(*state, rawFile);
    if (!opened.ok)
        return true;
    if (opened.journalCards > 0) {
        const MarkingFileResult saved = SaveMarkingFileTo(*state, rawFile);
        if (!saved.ok) {
            message = saved.message;
            return false;
        }
    }
    fs::remove(journal, ec);
    return true;
}

static bool WriteAllOf(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool MarkingJournal::Start(const fs::path& rawFile, std::uint64_t baseSize, std::uint64_t baseHash,
                           const MarkingSession& filters, std::string& error)
{
    Close();
    if (std::string why = files::SaveRefusal(rawFile); !why.empty()) {
        error = why;
        return false;
    }
    const fs::path path = JournalPath(rawFile);
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = std::string("cannot create the journal: ") + std::strerror(errno);
        return false;
    }
    // The folder too: a journal whose name a power cut lost would lose its cards.
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = WriteAllOf(fd_, Header(baseSize, baseHash, filters)) && ::fdatasync(fd_) == 0 && dir >= 0 &&
                    ::fsync(dir) == 0;
    const int saved = errno;
    if (dir >= 0)
        ::close(dir);
    if (!ok) {
        error = std::string("cannot write: ") + std::strerror(saved);
        Close();
        std::error_code ec;
        fs::remove(path, ec);
        return false;
    }
    return true;
}

bool MarkingJournal::Append(int index, const MarkingRecord& record, std::string& error)
{
    std::string entry(4 + sizeof record, '\0');
    const int32_t stored = index;
    std::memcpy(entry.data(), &stored, 4);
    std::memcpy(entry.data() + 4, &record, sizeof record);
    const std::uint64_t hash = ContentHash(entry);
    entry.append(reinterpret_cast<const char*>(&hash), 8);
    if (fd_ < 0 || !WriteAllOf(fd_, entry) || ::fdatasync(fd_) != 0) {
        error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void MarkingJournal::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
