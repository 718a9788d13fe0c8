// Fuzz entries for the conversion of camera samples into the frame: a
// conversion writes inside the frame or not at all, never the fourth byte of
// a 4-byte pixel, and a refused or corrupt sample leaves the frame as it was.
#include <algorithm>
#include <cstring>
#include <vector>

#include "capture/JpegFrame.h"
#include "capture/SampleConversion.h"
#include "fuzz/FuzzEntries.h"
#include "recognition/Bitmap.h"

namespace fuzz {

namespace {

// A frame of at most 160 x 120 (75 KB with 4 bytes a pixel): the conversions'
// bounds and row arithmetic are the same at any size, and a frame of camera
// size made the run a matter of allocating, filling and checking megabytes,
// a few hundred inputs a second instead of many thousands.
constexpr int MaxFrameWidth = 160;
constexpr int MaxFrameHeight = 120;
constexpr uint8_t Untouched = 0xA5;

struct SampleInput {
    int width = 0;
    int height = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int bytesPerPixel = 3;
    int topOffset = 0;
    const uint8_t* sample = nullptr;
    std::size_t sampleBytes = 0;
};

int U16(const uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

bool Parse(const uint8_t* data, std::size_t size, SampleInput& in)
{
    if (size < SampleHeaderSize)
        return false;
    in.width = U16(data);
    in.height = U16(data + 2);
    in.frameWidth = U16(data + 4) % (MaxFrameWidth + 1);
    in.frameHeight = U16(data + 6) % (MaxFrameHeight + 1);
    in.bytesPerPixel = (data[8] & 1) ? 4 : 3;
    in.topOffset = static_cast<int16_t>(U16(data + 9));
    in.sample = data + SampleHeaderSize;
    in.sampleBytes = size - SampleHeaderSize;
    return true;
}

std::string Header(int width, int height, int frameWidth, int frameHeight, int bytesPerPixel, int topOffset)
{
    std::string h(SampleHeaderSize, '\0');
    auto put = [&](std::size_t at, int v) {
        h[at] = static_cast<char>(v & 0xFF);
        h[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    put(0, width);
    put(2, height);
    put(4, frameWidth);
    put(6, frameHeight);
    h[8] = static_cast<char>(bytesPerPixel == 4 ? 1 : 0);
    put(9, topOffset);
    return h;
}

// The frame, every byte set to a value no conversion writes everywhere.
Bitmap Frame(const SampleInput& in)
{
    Bitmap f(in.frameWidth, in.frameHeight, in.bytesPerPixel);
    if (!f.Empty())
        std::memset(f.Data(), Untouched, f.ByteSize());
    return f;
}

bool AllUntouched(const Bitmap& f)
{
    const uint8_t* p = f.Data();
    return f.Empty() || std::all_of(p, p + f.ByteSize(), [](uint8_t b) { return b == Untouched; });
}

// The fourth byte of every pixel is the sample's alpha slot: never written.
bool FourthBytesUntouched(const Bitmap& f)
{
    if (f.Empty() || f.BytesPerPixel() != 4)
        return true;
    const uint8_t* p = f.Data();
    for (std::size_t i = 3; i < f.ByteSize(); i += 4)
        if (p[i] != Untouched)
            return false;
    return true;
}

template <class Convert>
int YuvSample(const uint8_t* data, std::size_t size, Convert convert, std::size_t (*needed)(int, int))
{
    SampleInput in;
    if (!Parse(data, size, in))
        return 0;
    Bitmap frame = Frame(in);
    const bool written = convert(in.width, in.height, in.sample, in.sampleBytes, frame.View());
    if (written) {
        Check(in.width <= frame.Width() && in.height <= frame.Height() && in.width % 4 == 0);
        Check(in.sampleBytes >= needed(in.width, in.height));
    } else {
        Check(AllUntouched(frame));
    }
    Check(FourthBytesUntouched(frame));
    return 0;
}

} // namespace

int Yuy2Sample(const uint8_t* data, std::size_t size)
{
    return YuvSample(data, size, ConvertYUY2, [](int w, int h) { return Yuy2SampleBytes(w, h); });
}

int I420Sample(const uint8_t* data, std::size_t size)
{
    return YuvSample(data, size, ConvertI420, [](int w, int h) { return I420SampleBytes(w, h); });
}

int UncompressedSample(const uint8_t* data, std::size_t size)
{
    SampleInput in;
    if (!Parse(data, size, in))
        return 0;
    Bitmap frame = Frame(in);
    const std::size_t copied = CopyUncompressed(in.sample, in.sampleBytes, frame.View());
    Check(copied == (frame.Empty() ? 0 : std::min(in.sampleBytes, frame.ByteSize())));
    Check(std::memcmp(frame.Data(), in.sample, copied) == 0);
    const uint8_t* rest = frame.Data() + copied;
    Check(std::all_of(rest, rest + (frame.ByteSize() - copied), [](uint8_t b) { return b == Untouched; }));
    return 0;
}

int MjpgSample(const uint8_t* data, std::size_t size)
{
    SampleInput in;
    if (!Parse(data, size, in))
        return 0;
    // One decoder for the run, as one camera connection keeps one.
    static JpegFrameDecoder decoder;
    (void)IsCompleteJpeg(in.sample, in.sampleBytes);
    Bitmap frame = Frame(in);
    if (!decoder.DrawOnto(in.sample, in.sampleBytes, frame.View(), in.topOffset))
        Check(AllUntouched(frame));
    Check(FourthBytesUntouched(frame));

    std::vector<uint8_t> bgr;
    int width = 0;
    int height = 0;
    if (decoder.DecodeBgr(in.sample, in.sampleBytes, bgr, width, height)) {
        Check(PictureSizeAcceptable(width, height));
        Check(bgr.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    }
    return 0;
}

std::vector<std::string> SampleSeeds(const std::string& entryName, const std::vector<uint8_t>& bgr, int width,
                                     int height)
{
    std::vector<std::string> seeds;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (entryName == "Yuy2Sample" || entryName == "I420Sample") {
        // Y, U, V of every pixel (BT.601, studio range), top row first.
        std::vector<uint8_t> y(pixels), u(pixels), v(pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
            const int b = bgr[i * 3], g = bgr[i * 3 + 1], r = bgr[i * 3 + 2];
            y[i] = static_cast<uint8_t>(std::clamp((66 * r + 129 * g + 25 * b + 128) / 256 + 16, 0, 255));
            u[i] = static_cast<uint8_t>(std::clamp((-38 * r - 74 * g + 112 * b + 128) / 256 + 128, 0, 255));
            v[i] = static_cast<uint8_t>(std::clamp((112 * r - 94 * g - 18 * b + 128) / 256 + 128, 0, 255));
        }
        std::string sample;
        if (entryName == "Yuy2Sample") {
            for (std::size_t i = 0; i + 1 < pixels; i += 2) {
                const char quad[4] = {static_cast<char>(y[i]), static_cast<char>(u[i]), static_cast<char>(y[i + 1]),
                                      static_cast<char>(v[i])};
                sample.append(quad, 4);
            }
        } else {
            sample.assign(y.begin(), y.end());
            for (int plane = 0; plane < 2; ++plane)
                for (int row = 0; row < height; row += 2)
                    for (int col = 0; col < width; col += 2)
                        sample += static_cast<char>((plane == 0 ? u : v)[static_cast<std::size_t>(row) * width + col]);
        }
        seeds.push_back(Header(width, height, width, height, 4, 0) + sample);
        seeds.push_back(Header(width, height, width, height - 1, 3, 0) + sample);  // a frame one row short
    } else if (entryName == "MjpgSample") {
        std::vector<uint8_t> jpeg;
        if (EncodeJpegBgr(bgr.data(), width, height, 75, jpeg)) {
            const std::string body(jpeg.begin(), jpeg.end());
            seeds.push_back(Header(width, height, width, height, 3, 0) + body);
            seeds.push_back(Header(width, height, width, height, 4, 40) + body);  // drawn lower, cut off
            seeds.push_back(Header(width, height, width, height, 3, 0) + body.substr(0, body.size() / 2));
        }
    } else if (entryName == "UncompressedSample") {
        // Bottom-up rows, as the camera sends them.
        std::string sample;
        for (int row = height - 1; row >= 0; --row)
            sample.append(reinterpret_cast<const char*>(bgr.data()) + static_cast<std::size_t>(row) * width * 3,
                          static_cast<std::size_t>(width) * 3);
        seeds.push_back(Header(width, height, width, height, 3, 0) + sample);
        seeds.push_back(Header(width, height, width / 2, height, 4, 0) + sample);
    }
    return seeds;
}

} // namespace fuzz
