#pragma once
// Whole-file reads and atomic writes, and the program folder.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// The whole file, or nullopt when it cannot be opened or read. Only regular
// files are read: a named pipe or a device would block or never end, so it is
// refused without being waited on. `error` (UTF-8) says why when given.
// A file longer than `maxBytes` (what its format can hold) is refused before
// any of it is read, with an error starting with TooLargeText: a 1 GB file
// given as a roster once took 2 GB and several seconds to be refused.
inline constexpr std::uint64_t NoLimit = UINT64_MAX;
inline constexpr const char* TooLargeText = "文件太大";
std::optional<std::string> ReadAll(const std::filesystem::path& path, std::string* error = nullptr,
                                   std::uint64_t maxBytes = NoLimit);
// At most the first `maxBytes` bytes, for formats read from a fixed head
// whose readers always left the rest alone (a template, "YJSet.dat").
std::optional<std::string> ReadHead(const std::filesystem::path& path, std::size_t maxBytes,
                                    std::string* error = nullptr);

// The file a save of `path` really replaces: symbolic links followed to
// their (possibly not yet existing) target.
std::filesystem::path SaveTarget(const std::filesystem::path& path);

// Empty when a save may replace `path` (it does not exist, or is a regular
// file this user may write); otherwise the refusal WriteAtomic would give.
std::string SaveRefusal(const std::filesystem::path& path);

// Writes `bytes` to a temporary file beside `path`, flushes it and renames it
// over `path`, so a failed save never destroys the previous file. A symbolic
// link is saved through to its target (the link stays a link), an existing
// file keeps its permission bits, and a file without any write permission is
// refused rather than replaced. On failure returns false with a short reason
// in `error` (UTF-8) and leaves `path` as it was.
[[nodiscard]] bool WriteAtomic(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr);

// WriteAtomic for files another writer makes (a library that opens the path
// itself): `write` fills the temporary file, open as `fd` and named `temp`,
// by either; it returns false to abandon the save, with its reason in `why`
// (or errno and an empty `why`). The same checks, permissions and
// flush-then-rename as WriteAtomic.
using TemporaryWriter = std::function<bool(int fd, const std::filesystem::path& temp, std::string& why)>;
[[nodiscard]] bool WriteAtomicWith(const std::filesystem::path& path, const TemporaryWriter& write,
                                   std::string* error = nullptr);

// Removes what interrupted atomic writes of `path` left behind (its
// "*.tmpXXXXXX" siblings). Call it only while holding the file's lock, so no
// running save loses its temporary file. Returns how many were removed.
int RemoveStaleTemporaries(const std::filesystem::path& path);

// An exclusive advisory lock for a file that several programs may write (the
// marking raw file): held on a hidden lock file beside it, because saving
// replaces the file itself by a new one. Released by the destructor; the
// kernel releases it when the process dies, so a crash never leaves it held.
// A lock file this lock made is removed when it is released.
class FileLock {
public:
    enum class Result {
        Taken,
        HeldByAnother,  // another process (or another FileLock of this one) holds it
        Failed,         // no lock file could be made or locked (a missing folder, a read-only disk)
    };

    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock() { Release(); }

    // Takes the lock without waiting; otherwise `error` (UTF-8) says why.
    [[nodiscard]] Result Lock(const std::filesystem::path& file, std::string* error = nullptr);
    [[nodiscard]] bool TryLock(const std::filesystem::path& file, std::string* error = nullptr)
    {
        return Lock(file, error) == Result::Taken;
    }
    void Release();
    bool Held() const { return fd_ >= 0; }

    static std::filesystem::path LockFileFor(const std::filesystem::path& file);

private:
    int fd_ = -1;
    std::filesystem::path made_;  // the lock file, when this lock made it
};

// Plain create-or-truncate write, for files written whole once (a card's
// picture, the marker "biaoji.bj"): a failure leaves no earlier content to lose.
[[nodiscard]] bool WriteAll(const std::filesystem::path& path, std::string_view bytes);

// True when both paths name one existing file (the same device and inode),
// also through symbolic or hard links.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Paths are UTF-8 on disk; these keep the conversion in one place.
inline std::filesystem::path FromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string ToUtf8(const std::filesystem::path& p)
{
    auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

// The folder of the teacher's files (platform/AppFolders.h says which),
// without making anything; SetUpFolders() makes it.
std::filesystem::path ProgramFolder();

} // namespace files
