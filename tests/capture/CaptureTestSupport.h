#pragma once
// Shared pieces of the capture tests: a source that delivers the samples a
// test hands it, a clock the test moves, and the expected YUV arithmetic
// written out independently of the tables.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "capture/CameraSource.h"
#include "capture/SampleGrabber.h"
#include "capture/FrameLoop.h"

class ManualSource final : public CameraSource {
public:
    explicit ManualSource(int32_t subtype) : subtype_(subtype) {}
    std::string FriendlyName() const override { return "Manual"; }
    bool Start(Csamplegrabbercb& sink, int32_t& sourceSubtype) override
    {
        sink_ = &sink;
        sourceSubtype = subtype_;
        streaming_ = true;
        return true;
    }
    void Stop() override { streaming_ = false; }
    bool Streaming() const override { return streaming_; }
    void Send(const std::vector<uint8_t>& sample) { sink_->BufferCB(0, sample.data(), sample.size()); }
    void EndStream() { streaming_ = false; }

private:
    int32_t subtype_;
    Csamplegrabbercb* sink_ = nullptr;
    bool streaming_ = false;
};

class ManualClock final : public TickClock {
public:
    int64_t now = 100000;
    int64_t NowMs() override { return now; }
};

// blue, green, red of one pixel: (76309(Y−16) + term) >> 16, clamped, with >> as floor division.
struct Bgr {
    int b, g, r;
    bool operator==(const Bgr&) const = default;
};
inline int FloorShift16(int64_t v) { return int(v >= 0 ? v / 65536 : -((-v + 65535) / 65536)); }
inline Bgr ExpectedPixel(int y, int u, int v)
{
    const int64_t luma = 76309LL * (y - 16);
    auto c = [](int x) { return std::clamp(x, 0, 255); };
    return {c(FloorShift16(luma + 132201LL * (u - 128))),
            c(FloorShift16(luma - 25674LL * (u - 128) - 53278LL * (v - 128))),
            c(FloorShift16(luma + 104597LL * (v - 128)))};
}
inline Bgr PixelAt(const BitmapView& f, int x, int topRow)
{
    const uint8_t* p = f.TopRow(topRow) + size_t(x) * size_t(f.bytesPerPixel);
    return {p[0], p[1], p[2]};
}
