#include "platform/Files.h"
#include "platform/AppFolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

static constexpr const char* NotRegular = "不是普通文件（可能是管道或设备），不能读取";
static constexpr const char* Folder = "是文件夹，不是文件，不能读取";

static std::optional<std::string> ReadUpTo(const std::filesystem::path& path, std::uint64_t maxBytes,
                                           bool refuseLonger, std::string* error)
{
    // O_NONBLOCK: opening a named pipe with no writer must not wait.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (error)
            *error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = S_ISDIR(st.st_mode) ? Folder : NotRegular;
        return std::nullopt;
    }
    if (refuseLonger && static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        if (error)
            *error = std::string(TooLargeText) + "（" + std::to_string(st.st_size) + "字节，这种文件最多" +
                     std::to_string(maxBytes) + "字节），不能读取";
        return std::nullopt;
    }
    std::string data;
    char buffer[65536];
    // A file that grows while it is read stops one byte over the limit.
    const std::uint64_t stop = maxBytes == NoLimit || !refuseLonger ? maxBytes : maxBytes + 1;
    while (data.size() < stop) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, stop - data.size()));
        ssize_t n = ::read(fd, buffer, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (refuseLonger && data.size() > maxBytes) {
        if (error)
            *error = std::string(TooLargeText) + "（这种文件最多" + std::to_string(maxBytes) + "字节），不能读取";
        return std::nullopt;
    }
    return data;
}

std::optional<std::string> ReadAll(const std::filesystem::path& path, std::string* error, std::uint64_t maxBytes)
{
    return ReadUpTo(path, maxBytes, true, error);
}

std::optional<std::string> ReadHead(const std::filesystem::path& path, std::size_t maxBytes, std::string* error)
{
    return ReadUpTo(path, maxBytes, false, error);
}

static bool WriteFd(int fd, std::string_view bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::filesystem::path SaveTarget(const std::filesystem::path& path)
{
    std::filesystem::path target = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(target, ec))
            break;
        std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

std::string SaveRefusal(const std::filesystem::path& path)
{
    const std::filesystem::path target = SaveTarget(path);
    struct stat st{};
    if (::stat(target.c_str(), &st) != 0)
        return {};
    if (!S_ISREG(st.st_mode))
        return "不是普通文件，不能保存到这里";
    // Root may write anything; a file nobody may write is meant to stay as it is.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
        return "文件是只读的，没有保存";
    return {};
}

bool WriteAtomicWith(const std::filesystem::path& path, const TemporaryWriter& write, std::string* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    auto refuse = [&](std::string what) {
        if (error)
            *error = std::move(what);
        return false;
    };
    const std::filesystem::path target = SaveTarget(path);
    if (std::string why = SaveRefusal(target); !why.empty())
        return refuse(std::move(why));
    mode_t mode = 0644;
    struct stat st{};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    if (replacing)
        mode = st.st_mode & 07777;
    std::string tmpl = target.string() + ".tmpXXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return fail("cannot create a temporary file");
    auto discard = [&] {
        const int saved = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        errno = saved;
    };
    std::string why;
    if (!write(fd, std::filesystem::path(tmpl), why)) {
        discard();
        return why.empty() ? fail("cannot write") : refuse(std::move(why));
    }
    // Opened again by name: a writer that opens the path itself may have made
    // a new file. The mode is set through it, so that a write-only mode
    // cannot keep it from being opened, and flushed with the bytes.
    const int written = ::open(tmpl.c_str(), O_RDONLY | O_CLOEXEC);
    // The new file is the saving user's: a teacher's session saved once by
    // root became root's, and the teacher could no longer save it. Owner and
    // group are kept as far as this user may set them (root both, others a
    // group they belong to); before the mode, which a change of owner clears
    // set-id bits from.
    if (written >= 0 && replacing && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(written, st.st_uid, st.st_gid) != 0 && ::fchown(written, static_cast<uid_t>(-1), st.st_gid) != 0) {
        // Neither is this user's to give: the file is theirs, as a new one would be.
    }
    if (written < 0 || ::fchmod(written, mode) != 0 || ::fsync(written) != 0) {
        const int saved = errno;  // the reason, not close()'s
        if (written >= 0)
            ::close(written);
        discard();
        errno = saved;
        return fail("cannot write");
    }
    ::close(written);
    if (::close(fd) != 0) {
        ::unlink(tmpl.c_str());
        return fail("cannot write");
    }
    if (::rename(tmpl.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot replace the file");
    }
    return true;
}

bool WriteAtomic(const std::filesystem::path& path, std::string_view bytes, std::string* error)
{
    return WriteAtomicWith(
        path, [&](int fd, const std::filesystem::path&, std::string&) { return WriteFd(fd, bytes); }, error);
}

int RemoveStaleTemporaries(const std::filesystem::path& path)
{
    const std::filesystem::path target = SaveTarget(path);
    const std::string prefix = files::ToUtf8(target.filename()) + ".tmp";
    std::error_code ec;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    int removed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = files::ToUtf8(entry.path().filename());
        // mkstemp's six random characters, nothing else.
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
            entry.is_regular_file(ec) && std::filesystem::remove(entry.path(), ec))
            ++removed;
    }
    return removed;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_), made_(std::move(other.made_))
{
    other.fd_ = -1;
    other.made_.clear();
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        made_ = std::move(other.made_);
        other.fd_ = -1;
        other.made_.clear();
    }
    return *this;
}

std::filesystem::path FileLock::LockFileFor(const std::filesystem::path& file)
{
    const std::filesystem::path target = SaveTarget(file);
    // Appended rather than "." + name: GCC 12 at -O3 warns falsely (-Wrestrict) on that form.
    std::string name = ".";
    name += files::ToUtf8(target.filename());
    name += ".lock";
    return target.parent_path() / files::FromUtf8(name);
}

// True when `path` still names the file open as `fd`.
static bool NamesOpenFile(const std::filesystem::path& path, int fd)
{
    struct stat opened{};
    struct stat named{};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

FileLock::Result FileLock::Lock(const std::filesystem::path& file, std::string* error)
{
    Release();
    const std::filesystem::path lockFile = LockFileFor(file);
    auto fail = [&](Result result, std::string why) {
        if (error)
            *error = std::move(why);
        return result;
    };
    // A holder removes the lock file it made as it lets go: a lock taken on
    // a file that is no longer the one at the path is taken again there.
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool made = true;
        int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno == EEXIST) {
            made = false;
            fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0 && errno == ENOENT)
                continue;  // removed in between
        }
        if (fd < 0)
            return fail(Result::Failed, std::string("不能建立锁文件: ") + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            ::close(fd);
            if (why == EWOULDBLOCK)
                return fail(Result::HeldByAnother, "文件正被另一个程序（或另一个阅卷窗口）使用，请等它结束后再试。");
            return fail(Result::Failed, std::string("不能锁定文件: ") + std::strerror(why));
        }
        if (!NamesOpenFile(lockFile, fd)) {
            ::close(fd);
            continue;
        }
        fd_ = fd;
        if (made)
            made_ = lockFile;
        return Result::Taken;
    }
    return fail(Result::Failed, "不能锁定文件: 锁文件一直在变");
}

void FileLock::Release()
{
    if (fd_ < 0)
        return;
    if (!made_.empty()) {
        // Removed while still held, so nobody can take a lock on it and keep it.
        if (NamesOpenFile(made_, fd_))
            ::unlink(made_.c_str());
        made_.clear();
    }
    ::close(fd_);  // closing the descriptor drops the flock
    fd_ = -1;
}

bool WriteAll(const std::filesystem::path& path, std::string_view bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFd(fd, bytes);
    return ::close(fd) == 0 && ok;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    struct stat sa{};
    struct stat sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::filesystem::path ProgramFolder()
{
    return LocateFolders(CurrentFolderEnvironment()).user;
}

} // namespace files
