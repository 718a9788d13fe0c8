#pragma once
// A V4L2 device at the ioctl boundary: capabilities, formats, mmap buffers
// filled by the test, controls, and unplugging.

#include <linux/videodev2.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/V4l2Io.h"

struct FakeControl {
    v4l2_queryctrl query{};
    int32_t value = 0;
    std::vector<std::string> menu;
};

struct FakeDevice {
    std::string card = "Fake Camera";
    uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
    uint32_t width = 1280;
    uint32_t height = 720;
    bool accepts640x480 = true;
    uint32_t fallbackWidth = 320;  // what a camera that refuses 640 × 480 keeps
    uint32_t fallbackHeight = 240;
    std::vector<FakeControl> controls;

    // Recorded by the fake.
    std::vector<v4l2_format> setFormats;
    v4l2_fract timePerFrame{0, 0};
    bool streaming = false;
    int opens = 0;
    bool gone = false;
    bool busy = false;  // another program streams from it: buffers are refused with EBUSY

    struct Buf {
        std::vector<uint8_t> memory;
        bool queued = false;
        uint32_t used = 0;
    };
    std::vector<Buf> buffers;
    std::deque<uint32_t> filled;  // indexes ready to dequeue
};

class FakeV4l2Io final : public V4l2Io {
public:
    std::map<std::string, FakeDevice> devices;
    std::vector<std::string> opened;  // every Open, in order

    FakeDevice& Device(const std::string& path) { return devices.at(path); }

    // Fills the first queued buffer of `path` with `data` (cut to the buffer)
    // and makes it ready; false when the driver holds no queued buffer.
    bool PushFrame(const std::string& path, const std::vector<uint8_t>& data)
    {
        std::lock_guard<std::mutex> guard(lock_);
        FakeDevice& d = devices.at(path);
        for (uint32_t i = 0; i < d.buffers.size(); ++i) {
            auto& b = d.buffers[i];
            if (!b.queued)
                continue;
            const size_t n = std::min(data.size(), b.memory.size());
            std::memcpy(b.memory.data(), data.data(), n);
            b.used = uint32_t(n);
            b.queued = false;
            d.filled.push_back(i);
            return true;
        }
        return false;
    }

    void Unplug(const std::string& path)
    {
        std::lock_guard<std::mutex> guard(lock_);
        devices.at(path).gone = true;
    }

    void Replug(const std::string& path)
    {
        std::lock_guard<std::mutex> guard(lock_);
        FakeDevice& d = devices.at(path);
        d.gone = false;
        d.streaming = false;
        d.buffers.clear();
        d.filled.clear();
    }

    std::vector<std::string> ListDevices() override
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<std::string> paths;
        for (auto& [path, d] : devices)
            if (!d.gone)
                paths.push_back(path);
        return paths;
    }

    int Open(const std::string& path) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        opened.push_back(path);
        auto it = devices.find(path);
        if (it == devices.end() || it->second.gone) {
            errno = ENOENT;
            return -1;
        }
        ++it->second.opens;
        const int fd = nextFd_++;
        fds_[fd] = path;
        return fd;
    }

    int Close(int fd) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        return fds_.erase(fd) ? 0 : -1;
    }

    void* Map(size_t length, int fd, off_t offset) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        FakeDevice* d = DeviceOf(fd);
        const size_t index = size_t(offset) / Stride;
        if (!d || index >= d->buffers.size() || d->buffers[index].memory.size() != length)
            return nullptr;
        return d->buffers[index].memory.data();
    }

    int Unmap(void*, size_t) override { return 0; }

    int WaitReadable(int fd, int timeoutMs) override
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                FakeDevice* d = DeviceOf(fd);
                if (!d || d->gone)
                    return -1;
                if (!d->filled.empty())
                    return 1;
            }
            if (std::chrono::steady_clock::now() >= until)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    int Ioctl(int fd, unsigned long request, void* arg) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        FakeDevice* d = DeviceOf(fd);
        if (!d)
            return Fail(EBADF);
        if (d->gone)
            return Fail(ENODEV);
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* cap = static_cast<v4l2_capability*>(arg);
            *cap = {};
            std::strncpy(reinterpret_cast<char*>(cap->card), d->card.c_str(), sizeof(cap->card) - 1);
            cap->capabilities = d->caps | V4L2_CAP_DEVICE_CAPS;
            cap->device_caps = d->caps;
            return 0;
        }
        case VIDIOC_G_FMT: {
            auto* f = static_cast<v4l2_format*>(arg);
            if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return Fail(EINVAL);
            FillFormat(*d, *f);
            return 0;
        }
        case VIDIOC_S_FMT: {
            auto* f = static_cast<v4l2_format*>(arg);
            if (d->streaming)
                return Fail(EBUSY);
            d->setFormats.push_back(*f);
            d->pixelFormat = f->fmt.pix.pixelformat;
            if (d->accepts640x480) {
                d->width = f->fmt.pix.width;
                d->height = f->fmt.pix.height;
            } else {
                d->width = d->fallbackWidth;
                d->height = d->fallbackHeight;
            }
            FillFormat(*d, *f);
            return 0;
        }
        case VIDIOC_S_PARM: {
            auto* p = static_cast<v4l2_streamparm*>(arg);
            d->timePerFrame = p->parm.capture.timeperframe;
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto* r = static_cast<v4l2_requestbuffers*>(arg);
            if (r->memory != V4L2_MEMORY_MMAP)
                return Fail(EINVAL);
            if (d->busy)
                return Fail(EBUSY);
            d->buffers.assign(r->count, {});
            for (auto& b : d->buffers)
                b.memory.assign(SizeImage(*d), 0);
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (b->index >= d->buffers.size())
                return Fail(EINVAL);
            b->length = uint32_t(d->buffers[b->index].memory.size());
            b->m.offset = b->index * Stride;
            return 0;
        }
        case VIDIOC_QBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (b->index >= d->buffers.size())
                return Fail(EINVAL);
            d->buffers[b->index].queued = true;
            return 0;
        }
        case VIDIOC_DQBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (d->filled.empty())
                return Fail(EAGAIN);
            b->index = d->filled.front();
            d->filled.pop_front();
            b->bytesused = d->buffers[b->index].used;
            b->flags = 0;
            return 0;
        }
        case VIDIOC_STREAMON:
            d->streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            d->streaming = false;
            return 0;
        case VIDIOC_QUERYCTRL: {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            if (q->id & V4L2_CTRL_FLAG_NEXT_CTRL) {
                const uint32_t after = q->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
                const FakeControl* best = nullptr;
                for (const auto& c : d->controls)
                    if (c.query.id > after && (!best || c.query.id < best->query.id))
                        best = &c;
                if (!best)
                    return Fail(EINVAL);
                *q = best->query;
                return 0;
            }
            if (const FakeControl* c = Control(*d, q->id)) {
                *q = c->query;
                return 0;
            }
            return Fail(EINVAL);
        }
        case VIDIOC_QUERYMENU: {
            auto* m = static_cast<v4l2_querymenu*>(arg);
            const FakeControl* c = Control(*d, m->id);
            if (!c || m->index >= c->menu.size() || c->menu[m->index].empty())
                return Fail(EINVAL);
            std::strncpy(reinterpret_cast<char*>(m->name), c->menu[m->index].c_str(), sizeof(m->name) - 1);
            return 0;
        }
        case VIDIOC_G_CTRL: {
            auto* c = static_cast<v4l2_control*>(arg);
            const FakeControl* fc = Control(*d, c->id);
            if (!fc)
                return Fail(EINVAL);
            c->value = fc->value;
            return 0;
        }
        case VIDIOC_S_CTRL: {
            auto* c = static_cast<v4l2_control*>(arg);
            FakeControl* fc = const_cast<FakeControl*>(Control(*d, c->id));
            if (!fc)
                return Fail(EINVAL);
            if (c->value < fc->query.minimum || c->value > fc->query.maximum)
                return Fail(ERANGE);
            fc->value = c->value;
            return 0;
        }
        default:
            return Fail(ENOTTY);
        }
    }

    static constexpr uint32_t Stride = 0x100000;

private:
    static int Fail(int e)
    {
        errno = e;
        return -1;
    }
    FakeDevice* DeviceOf(int fd)
    {
        auto it = fds_.find(fd);
        return it == fds_.end() ? nullptr : &devices.at(it->second);
    }
    static const FakeControl* Control(const FakeDevice& d, uint32_t id)
    {
        for (const auto& c : d.controls)
            if (c.query.id == id)
                return &c;
        return nullptr;
    }
    static uint32_t BytesPerLine(const FakeDevice& d)
    {
        switch (d.pixelFormat) {
        case V4L2_PIX_FMT_YUYV:
            return d.width * 2;
        case V4L2_PIX_FMT_BGR24:
            return d.width * 3;
        case V4L2_PIX_FMT_YUV420:
            return d.width;
        default:
            return 0;
        }
    }
    static size_t SizeImage(const FakeDevice& d)
    {
        if (d.pixelFormat == V4L2_PIX_FMT_YUV420 || d.pixelFormat == V4L2_PIX_FMT_NV12)
            return size_t(d.width) * d.height * 3 / 2;
        if (BytesPerLine(d) == 0)  // compressed
            return size_t(d.width) * d.height * 2;
        return size_t(BytesPerLine(d)) * d.height;
    }
    static void FillFormat(const FakeDevice& d, v4l2_format& f)
    {
        f.fmt.pix.width = d.width;
        f.fmt.pix.height = d.height;
        f.fmt.pix.pixelformat = d.pixelFormat;
        f.fmt.pix.field = V4L2_FIELD_NONE;
        f.fmt.pix.bytesperline = BytesPerLine(d);
        f.fmt.pix.sizeimage = uint32_t(SizeImage(d));
    }

    std::mutex lock_;
    std::map<int, std::string> fds_;
    int nextFd_ = 3;
};
