#pragma once
// Shared pieces of the capture tests: a source that delivers the samples a
// test hands it, a clock the test moves, and the expected YUV arithmetic
// written out independently of the tables.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
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

// A w x h BMP of one colour (bits 24 or 32), bottom-up or top-down (negative
// height); the first pixel of the first row in the file is marked.
inline void WriteBmp(const std::filesystem::path& path, int w, int h, int bits, bool topDown, uint8_t b, uint8_t g, uint8_t r)
{
    const int pb = bits / 8;
    const int stride = (w * pb + 3) / 4 * 4;
    std::vector<uint8_t> d(54 + size_t(stride) * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d[at + i] = uint8_t(v >> (8 * i));
    };
    d[0] = 'B';
    d[1] = 'M';
    put32(2, uint32_t(d.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(topDown ? -h : h));
    d[26] = 1;
    d[28] = uint8_t(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = d.data() + 54 + size_t(y) * stride + size_t(x) * pb;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    // The first row in the file: bottom row when bottom-up; mark its first pixel.
    d[54] = 7;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}
