#include "capture/SampleConversion.h"

#include "recognition/ImagePrimitives.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

YuvTables g_tables;
std::once_flag g_tablesBuilt;

void FillTables()
{
    for (int v = 0; v < 256; ++v) {
        g_tables.yTerm[v] = 76309 * (v - 16);
        g_tables.uBlue[v] = 132201 * (v - 128);
        g_tables.uGreen[v] = -25674 * (v - 128);
        g_tables.vGreen[v] = -53278 * (v - 128);
        g_tables.vRed[v] = 104597 * (v - 128);
    }
    for (int i = 0; i < 768; ++i)
        g_tables.clipSpan[i] = uint8_t(std::clamp(i - 256, 0, 255));
}

// Both YUV layouts end here: one pixel from its three bytes.
inline void PutPixel(const YuvTables& t, uint8_t* dst, int y, int u, int v)
{
    const int32_t luma = t.yTerm[y];
    dst[0] = ClipColour((luma + t.uBlue[u]) >> 16);
    dst[1] = ClipColour((luma + t.uGreen[u] + t.vGreen[v]) >> 16);
    dst[2] = ClipColour((luma + t.vRed[v]) >> 16);
}

bool FitsDestination(int width, int height, const BitmapView& d)
{
    return width > 0 && height > 0 && width % 4 == 0 && d.Valid() && d.width >= width && d.height >= height;
}

} // namespace

int PixelBytesOf(int32_t sourceSubtype)
{
    switch (sourceSubtype) {
    case subtype::Rgb:
    case subtype::Mjpg:
        return 3;
    case subtype::Yuy2:
    case subtype::I420:
        return 4;
    default:
        return 0;
    }
}

void BuildYuvTables() { std::call_once(g_tablesBuilt, FillTables); }

const YuvTables& GetYuvTables()
{
    BuildYuvTables();
    return g_tables;
}

uint8_t ClipColour(int value)
{
    // The extreme table sums reach about ±2^9 after the shift; the clamp keeps
    // any other value inside the table as well.
    return g_tables.clipSpan[std::clamp(value, -256, 511) + 256];
}

bool ConvertYUY2(int width, int height, const uint8_t* source, size_t sourceBytes, const BitmapView& destination)
{
    if (!source || !FitsDestination(width, height, destination) || sourceBytes < Yuy2SampleBytes(width, height))
        return false;
    const YuvTables& t = GetYuvTables();
    const int step = destination.bytesPerPixel;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = source + size_t(y) * size_t(width) * 2;
        uint8_t* dst = destination.Row(destination.height - 1 - y);
        for (int k = 0; k < width / 2; ++k, src += 4, dst += 2 * step) {
            PutPixel(t, dst, src[0], src[1], src[3]);
            PutPixel(t, dst + step, src[2], src[1], src[3]);
        }
    }
    return true;
}

bool ConvertI420(int width, int height, const uint8_t* source, size_t sourceBytes, const BitmapView& destination)
{
    if (!source || !FitsDestination(width, height, destination) || height % 2 != 0 ||
        sourceBytes < I420SampleBytes(width, height))
        return false;
    const YuvTables& t = GetYuvTables();
    const int step = destination.bytesPerPixel;
    const size_t lumaBytes = size_t(width) * size_t(height);
    const uint8_t* planeU = source + lumaBytes;
    const uint8_t* planeV = planeU + lumaBytes / 4;
    const int chromaWidth = width / 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* luma = source + size_t(y) * size_t(width);
        const uint8_t* u = planeU + size_t(y / 2) * size_t(chromaWidth);
        const uint8_t* v = planeV + size_t(y / 2) * size_t(chromaWidth);
        uint8_t* dst = destination.Row(destination.height - 1 - y);
        for (int k = 0; k < chromaWidth; ++k, dst += 2 * step) {
            PutPixel(t, dst, luma[2 * k], u[k], v[k]);
            PutPixel(t, dst + step, luma[2 * k + 1], u[k], v[k]);
        }
    }
    return true;
}

size_t CopyUncompressed(const uint8_t* source, size_t sourceBytes, const BitmapView& destination)
{
    if (!source || !destination.Valid())
        return 0;
    const size_t n = std::min(sourceBytes, destination.SizeBytes());
    std::memcpy(destination.base, source, n);
    return n;
}

