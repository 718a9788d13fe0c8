#include "capture/V4l2Io.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

std::vector<std::string> SystemV4l2Io::ListDevices()
{
    // video0 … video63, in number order (not the directory's order).
    std::vector<std::pair<int, std::string>> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) != 0 || name.size() == 5)
            continue;
        const std::string digits = name.substr(5);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            digits.size() > 4)
            continue;
        found.emplace_back(std::stoi(digits), entry.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& f : found)
        paths.push_back(std::move(f.second));
    return paths;
}

int SystemV4l2Io::Open(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }

int SystemV4l2Io::Close(int fd) { return ::close(fd); }

int SystemV4l2Io::Ioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

void* SystemV4l2Io::Map(size_t length, int fd, off_t offset)
{
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    return p == MAP_FAILED ? nullptr : p;
}

int SystemV4l2Io::Unmap(void* address, size_t length) { return ::munmap(address, length); }

int SystemV4l2Io::WaitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (r == 0)
        return 0;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
        return -1;
    return 1;
}
