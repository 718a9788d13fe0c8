#include "capture/V4l2Camera.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/SampleGrabber.h"
#include "capture/SampleConversion.h"
#include "capture/ThreadPlacement.h"

namespace {

constexpr uint32_t RequestedWidth = 640;
constexpr uint32_t RequestedHeight = 480;
constexpr int BufferCount = 4;
constexpr int PollMs = 100;  // also how long Stop waits at most for the thread to notice

std::string CardName(const v4l2_capability& cap)
{
    const char* card = reinterpret_cast<const char*>(cap.card);
    return std::string(card, strnlen(card, sizeof(cap.card)));
}

uint32_t DeviceCaps(const v4l2_capability& cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

std::string FixedText(const uint8_t* text, size_t size)
{
    const char* s = reinterpret_cast<const char*>(text);
    return std::string(s, strnlen(s, size));
}

} // namespace

int32_t SubtypeOfPixelFormat(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
        return subtype::Yuy2;
    case V4L2_PIX_FMT_MJPEG:
        return subtype::Mjpg;
    case V4L2_PIX_FMT_YUV420:
        return subtype::I420;
    case V4L2_PIX_FMT_BGR24:
        return subtype::Rgb;
    default:
        return int32_t(pixelFormat);
    }
}

V4l2Camera::V4l2Camera(std::shared_ptr<V4l2Io> io, std::string path, std::string cardName)
    : io_(std::move(io)), path_(std::move(path)), name_(std::move(cardName))
{
}

V4l2Camera::~V4l2Camera() { Stop(); }

bool V4l2Camera::OpenDevice()
{
    if (fd_ < 0)
        fd_ = io_->Open(path_);
    return fd_ >= 0;
}

void V4l2Camera::CloseDevice()
{
    if (fd_ < 0)
        return;
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!buffers_.empty())
        io_->Ioctl(fd_, VIDIOC_STREAMOFF, &type);
    for (const Buffer& b : buffers_)
        if (b.address)
            io_->Unmap(b.address, b.length);
    buffers_.clear();
    io_->Close(fd_);
    fd_ = -1;
}

bool V4l2Camera::Start(Csamplegrabbercb& sink, int32_t& sourceSubtype)
{
    Stop();
    std::lock_guard<std::mutex> guard(deviceLock_);
    if (!OpenDevice())
        return false;

    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (io_->Ioctl(fd_, VIDIOC_G_FMT, &fmt) < 0) {
        CloseDevice();
        return false;
    }
    // The format in force before we change anything decides how samples are read.
    sourceSubtype = SubtypeOfPixelFormat(fmt.fmt.pix.pixelformat);

    v4l2_format wanted = fmt;
    wanted.fmt.pix.width = RequestedWidth;
    wanted.fmt.pix.height = RequestedHeight;
    wanted.fmt.pix.field = V4L2_FIELD_ANY;
    wanted.fmt.pix.bytesperline = 0;
    if (io_->Ioctl(fd_, VIDIOC_S_FMT, &wanted) == 0)
        fmt = wanted;  // the driver writes back what it agreed to
    // A driver that answers the same-format request with another format would
    // otherwise have its samples read in the wrong layout.
    if (fmt.fmt.pix.pixelformat != 0)
        sourceSubtype = SubtypeOfPixelFormat(fmt.fmt.pix.pixelformat);
    pixelFormat_ = fmt.fmt.pix.pixelformat;
    width_ = fmt.fmt.pix.width;
    height_ = fmt.fmt.pix.height;
    bytesPerLine_ = fmt.fmt.pix.bytesperline;

    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = 1;
    parm.parm.capture.timeperframe.denominator = 10;
    io_->Ioctl(fd_, VIDIOC_S_PARM, &parm);  // a camera with a fixed rate keeps its own

    if (!StartStreaming()) {
        // Like a graph that does not run: no samples, the ticks end at once.
        CloseDevice();
        return true;
    }
    stop_ = false;
    streaming_ = true;
    thread_ = std::thread(&V4l2Camera::CaptureLoop, this, &sink);
    return true;
}

bool V4l2Camera::StartStreaming()
{
    v4l2_requestbuffers req{};
    req.count = BufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (io_->Ioctl(fd_, VIDIOC_REQBUFS, &req) < 0 || req.count < 1)
        return false;
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (io_->Ioctl(fd_, VIDIOC_QUERYBUF, &b) < 0)
            return false;
        void* address = io_->Map(b.length, fd_, off_t(b.m.offset));
        if (!address)
            return false;
        buffers_.push_back({address, b.length});
        if (io_->Ioctl(fd_, VIDIOC_QBUF, &b) < 0)
            return false;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return io_->Ioctl(fd_, VIDIOC_STREAMON, &type) == 0;
}

void V4l2Camera::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    streaming_ = false;
    std::lock_guard<std::mutex> guard(deviceLock_);
    CloseDevice();
}

void V4l2Camera::CaptureLoop(Csamplegrabbercb* sink)
{
    LetThreadUseEveryProcessor();
    while (!stop_) {
        const int ready = io_->WaitReadable(fd_, PollMs);
        if (ready == 0)
            continue;
        if (ready < 0)
            break;  // unplugged or failed: the stream ends quietly
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        if (io_->Ioctl(fd_, VIDIOC_DQBUF, &b) < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            break;
        }
        if (b.index >= buffers_.size())
            break;
        const Buffer& buf = buffers_[b.index];
        if (!(b.flags & V4L2_BUF_FLAG_ERROR) && b.bytesused > 0) {
            const double time = double(b.timestamp.tv_sec) + double(b.timestamp.tv_usec) / 1e6;
            Deliver(*sink, static_cast<const uint8_t*>(buf.address), std::min<size_t>(b.bytesused, buf.length), time);
        }
        if (io_->Ioctl(fd_, VIDIOC_QBUF, &b) < 0)
            break;
    }
    streaming_ = false;
}

void V4l2Camera::Deliver(Csamplegrabbercb& sink, const uint8_t* data, size_t used, double time)
{
    const size_t w = width_;
    const size_t h = height_;
    const size_t bpl = bytesPerLine_;
    auto repackRows = [&](size_t rowBytes, size_t rows, size_t stride, bool bottomUp, size_t from, uint8_t* out) {
        for (size_t r = 0; r < rows; ++r) {
            const size_t src = from + r * stride;
            const size_t dst = (bottomUp ? rows - 1 - r : r) * rowBytes;
            if (src + rowBytes > used)
                return false;
            std::memcpy(out + dst, data + src, rowBytes);
        }
        return true;
    };
    switch (pixelFormat_) {
    case V4L2_PIX_FMT_BGR24: {
        // V4L2 rows run top-down; the frame's uncompressed copy expects bottom-up rows.
        repacked_.resize(w * 3 * h);
        if (repackRows(w * 3, h, std::max(bpl, w * 3), true, 0, repacked_.data()))
            sink.BufferCB(time, repacked_.data(), repacked_.size());
        return;
    }
    case V4L2_PIX_FMT_YUYV:
        if (bpl > w * 2) {
            repacked_.resize(w * 2 * h);
            if (repackRows(w * 2, h, bpl, false, 0, repacked_.data()))
                sink.BufferCB(time, repacked_.data(), repacked_.size());
            return;
        }
        break;
    case V4L2_PIX_FMT_YUV420:
        if (bpl > w) {
            const size_t cw = w / 2, ch = h / 2, cbpl = bpl / 2;
            repacked_.resize(w * h + 2 * cw * ch);
            uint8_t* out = repacked_.data();
            if (repackRows(w, h, bpl, false, 0, out) && repackRows(cw, ch, cbpl, false, bpl * h, out + w * h) &&
                repackRows(cw, ch, cbpl, false, bpl * h + cbpl * ch, out + w * h + cw * ch))
                sink.BufferCB(time, repacked_.data(), repacked_.size());
            return;
        }
        break;
    default:
        break;
    }
    sink.BufferCB(time, data, used);
}

std::vector<CameraControl> V4l2Camera::ListControls()
{
    std::lock_guard<std::mutex> guard(deviceLock_);
    const bool wasOpen = fd_ >= 0;
    if (!OpenDevice())
        return {};
    std::vector<CameraControl> list;
    auto add = [&](const v4l2_queryctrl& qc) {
        if (qc.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY))
            return;
        CameraControl c;
        switch (qc.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            c.kind = CameraControl::Kind::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            c.kind = CameraControl::Kind::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
            c.kind = CameraControl::Kind::Menu;
            break;
        default:
            return;  // buttons, strings and the like are not picture settings
        }
        c.id = qc.id;
        c.name = FixedText(qc.name, sizeof(qc.name));
        c.minimum = qc.minimum;
        c.maximum = qc.maximum;
        c.step = qc.step > 0 ? qc.step : 1;
        c.defaultValue = qc.default_value;
        v4l2_control ctrl{qc.id, 0};
        c.value = io_->Ioctl(fd_, VIDIOC_G_CTRL, &ctrl) == 0 ? ctrl.value : qc.default_value;
        if (c.kind == CameraControl::Kind::Menu) {
            for (int32_t i = qc.minimum; i <= qc.maximum && i - qc.minimum < 64; ++i) {
                v4l2_querymenu qm{};
                qm.id = qc.id;
                qm.index = uint32_t(i);
                if (io_->Ioctl(fd_, VIDIOC_QUERYMENU, &qm) == 0)
                    c.menu.emplace_back(i, FixedText(qm.name, sizeof(qm.name)));
            }
            if (c.menu.empty())
                return;
        }
        list.push_back(std::move(c));
    };

    v4l2_queryctrl qc{};
    qc.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    if (io_->Ioctl(fd_, VIDIOC_QUERYCTRL, &qc) == 0) {
        do {
            add(qc);
            qc.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        } while (io_->Ioctl(fd_, VIDIOC_QUERYCTRL, &qc) == 0);
    } else {
        // Old drivers without NEXT_CTRL: walk the user and camera ranges.
        auto walk = [&](uint32_t first, uint32_t last) {
            for (uint32_t id = first; id < last; ++id) {
                v4l2_queryctrl q{};
                q.id = id;
                if (io_->Ioctl(fd_, VIDIOC_QUERYCTRL, &q) == 0)
                    add(q);
            }
        };
        walk(V4L2_CID_BASE, V4L2_CID_LASTP1);
        walk(V4L2_CID_CAMERA_CLASS_BASE, V4L2_CID_CAMERA_CLASS_BASE + 40);
    }
    if (!wasOpen)
        CloseDevice();
    return list;
}

bool V4l2Camera::SetControl(uint32_t id, int32_t value)
{
    std::lock_guard<std::mutex> guard(deviceLock_);
    const bool wasOpen = fd_ >= 0;
    if (!OpenDevice())
        return false;
    v4l2_control ctrl{id, value};
    const bool ok = io_->Ioctl(fd_, VIDIOC_S_CTRL, &ctrl) == 0;
    if (!wasOpen)
        CloseDevice();
    return ok;
}

bool V4l2Camera::GetControl(uint32_t id, int32_t& value)
{
    std::lock_guard<std::mutex> guard(deviceLock_);
    const bool wasOpen = fd_ >= 0;
    if (!OpenDevice())
        return false;
    v4l2_control ctrl{id, 0};
    const bool ok = io_->Ioctl(fd_, VIDIOC_G_CTRL, &ctrl) == 0;
    if (ok)
        value = ctrl.value;
    if (!wasOpen)
        CloseDevice();
    return ok;
}

std::vector<std::shared_ptr<CameraSource>> FindV4l2Cameras(const std::shared_ptr<V4l2Io>& io, int room)
{
    std::vector<std::shared_ptr<CameraSource>> found;
    if (!io)
        return found;
    for (const std::string& path : io->ListDevices()) {
        if (int(found.size()) >= room)
            break;
        const int fd = io->Open(path);
        if (fd < 0)
            continue;
        v4l2_capability cap{};
        const bool ok = io->Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        io->Close(fd);
        if (!ok)
            continue;
        const uint32_t caps = DeviceCaps(cap);
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
            continue;
        found.push_back(std::make_shared<V4l2Camera>(io, path, CardName(cap)));
    }
    return found;
}
