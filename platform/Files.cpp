#include "platform/Files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

std::optional<std::string> ReadAll(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
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

bool WriteAtomic(const std::filesystem::path& path, std::string_view bytes, std::string* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    std::string tmpl = path.string() + ".tmpXXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return fail("cannot create a temporary file");
    ::fchmod(fd, 0644);
    if (!WriteFd(fd, bytes) || ::fsync(fd) != 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot write");
    }
    if (::close(fd) != 0) {
        ::unlink(tmpl.c_str());
        return fail("cannot write");
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return fail("cannot replace the file");
    }
    return true;
}

bool WriteAll(const std::filesystem::path& path, std::string_view bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFd(fd, bytes);
    return ::close(fd) == 0 && ok;
}

std::filesystem::path ProgramFolder()
{
    if (const char* home = std::getenv("SCORIVO_HOME"); home && *home)
        return std::filesystem::path(home);
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path();
    return exe.parent_path();
}

} // namespace files
