#pragma once
// Real cameras through V4L2: enumeration of capture devices, the format in
// force as `SourceSubtype`, 640 × 480 at 10 frames per second, mmap streaming
// on a capture thread, and the device's picture controls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/CameraSource.h"
#include "capture/V4l2Io.h"

// The subtype for a V4L2 pixel format: YUYV → YUY2, MJPG, YU12 → I420, BGR24
// → 0 (uncompressed); any other format keeps its own code and is not converted.
int32_t SubtypeOfPixelFormat(uint32_t pixelFormat);

class V4l2Camera final : public CameraSource, public CameraControls {
public:
    V4l2Camera(std::shared_ptr<V4l2Io> io, std::string path, std::string cardName);
    ~V4l2Camera() override;

    std::string FriendlyName() const override { return name_; }
    const std::string& Path() const { return path_; }
    bool Start(Csamplegrabbercb& sink, int32_t& sourceSubtype) override;
    void Stop() override;
    bool Streaming() const override { return streaming_.load(); }
    CameraControls* Controls() override { return this; }

    std::vector<CameraControl> ListControls() override;
    bool SetControl(uint32_t id, int32_t value) override;
    bool GetControl(uint32_t id, int32_t& value) override;

    // The format the driver agreed to.
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

private:
    struct Buffer {
        void* address = nullptr;
        size_t length = 0;
    };
    bool OpenDevice();
    void CloseDevice();
    bool StartStreaming();
    void CaptureLoop(Csamplegrabbercb* sink);
    // Samples whose rows carry padding, and BGR24 rows (top-down in V4L2,
    // bottom-up in the frame), are repacked before the hand-over.
    void Deliver(Csamplegrabbercb& sink, const uint8_t* data, size_t used, double time);

    std::shared_ptr<V4l2Io> io_;
    std::string path_;
    std::string name_;
    std::mutex deviceLock_;  // the controls dialog and Start/Stop share the descriptor
    int fd_ = -1;
    std::vector<Buffer> buffers_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> streaming_{false};
    uint32_t pixelFormat_ = 0;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t bytesPerLine_ = 0;
    std::vector<uint8_t> repacked_;
};

// Up to `room` V4L2 devices that capture video and stream, in device order,
// each named by its driver's card name. Devices beyond `room` are not opened.
std::vector<std::shared_ptr<CameraSource>> FindV4l2Cameras(const std::shared_ptr<V4l2Io>& io, int room);
