#pragma once
// The few system calls the V4L2 camera makes, behind one interface so that
// tests drive the camera code with a fake device.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // Paths of the video device nodes, "/dev/video0" first.
    virtual std::vector<std::string> ListDevices() = 0;
    // Like open(2) / close(2) / ioctl(2) / mmap(2) / munmap(2): −1 and errno on failure.
    virtual int Open(const std::string& path) = 0;
    virtual int Close(int fd) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void* Map(size_t length, int fd, off_t offset) = 0;  // nullptr on failure
    virtual int Unmap(void* address, size_t length) = 0;
    // Waits up to timeoutMs for a frame: 1 ready, 0 timeout, −1 the device failed or went away.
    virtual int WaitReadable(int fd, int timeoutMs) = 0;
};

// The real system calls.
class SystemV4l2Io final : public V4l2Io {
public:
    std::vector<std::string> ListDevices() override;
    int Open(const std::string& path) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    void* Map(size_t length, int fd, off_t offset) override;
    int Unmap(void* address, size_t length) override;
    int WaitReadable(int fd, int timeoutMs) override;
};
