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
std::optional<std::string> ReadAll(const std::filesystem::path& path, std::string* error = nullptr);

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
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock() { Release(); }

    // Takes the lock without waiting. False when another process (or another
    // FileLock of this one) holds it, or the lock file cannot be made; `error`
    // (UTF-8) then says which.
    [[nodiscard]] bool TryLock(const std::filesystem::path& file, std::string* error = nullptr);
    void Release();
    bool Held() const { return fd_ >= 0; }

    static std::filesystem::path LockFileFor(const std::filesystem::path& file);

private:
    int fd_ = -1;
};

// Plain create-or-truncate write, for files written whole once (a card's
// picture, the marker "biaoji.bj"): a failure leaves no earlier content to lose.
[[nodiscard]] bool WriteAll(const std::filesystem::path& path, std::string_view bytes);

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
