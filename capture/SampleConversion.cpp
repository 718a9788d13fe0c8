#include "capture/SampleConversion.h"

#include "recognition/CpuFeatures.h"
#include "recognition/ImagePrimitives.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

namespace {

// The fixed-point terms (16 fraction bits) of the tables; the row loops below
// compute the same products.
constexpr int32_t YScale = 76309;       // 1.164
constexpr int32_t UBlueScale = 132201;  // 2.017
constexpr int32_t UGreenScale = -25674; // -0.392
constexpr int32_t VGreenScale = -53278; // -0.813
constexpr int32_t VRedScale = 104597;   // 1.596

YuvTables g_tables;
std::once_flag g_tablesBuilt;

void FillTables()
{
    for (int v = 0; v < 256; ++v) {
        g_tables.yTerm[v] = YScale * (v - 16);
        g_tables.uBlue[v] = UBlueScale * (v - 128);
        g_tables.uGreen[v] = UGreenScale * (v - 128);
        g_tables.vGreen[v] = VGreenScale * (v - 128);
        g_tables.vRed[v] = VRedScale * (v - 128);
    }
    for (int i = 0; i < 768; ++i)
        g_tables.clipSpan[i] = uint8_t(std::clamp(i - 256, 0, 255));
}

// The row loops work on the terms as products rather than table look-ups:
// look-ups are loads the compiler cannot vectorise, products are, and the
// values are the same to the bit (every sum stays below 2^26, far inside
// int32). clip(x) of the table is std::clamp(x, 0, 255). On a 640 × 480
// YUY2 sample the tables took about 12 times a frame memcpy, the products
// about 3 times.
inline uint32_t Clip8(int32_t v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// B, G, R of a pixel in the low three bytes of a little-endian word.
inline uint32_t Bgr(int32_t luma, int32_t blue, int32_t green, int32_t red)
{
    return Clip8((luma + blue) >> 16) | Clip8((luma + green) >> 16) << 8 | Clip8((luma + red) >> 16) << 16;
}

inline uint32_t LoadWord(const uint8_t* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}
inline void StoreWord(uint8_t* p, uint32_t w) { std::memcpy(p, &w, 4); }

// One row into 4-byte pixels whose fourth byte is kept: word loads and
// stores, which the compiler vectorises (eight pixels at a time with AVX2).
SCORIVO_SIMD_CLONES void Yuy2Row4(const uint8_t* __restrict src, uint8_t* __restrict dst,
                                    int pairs)
{
    for (int k = 0; k < pairs; ++k) {
        const int32_t u = src[4 * k + 1] - 128, v = src[4 * k + 3] - 128;
        const int32_t blue = UBlueScale * u, green = UGreenScale * u + VGreenScale * v, red = VRedScale * v;
        const int32_t luma0 = YScale * (src[4 * k] - 16), luma1 = YScale * (src[4 * k + 2] - 16);
        uint8_t* d = dst + 8 * k;
        StoreWord(d, (LoadWord(d) & 0xFF000000u) | Bgr(luma0, blue, green, red));
        StoreWord(d + 4, (LoadWord(d + 4) & 0xFF000000u) | Bgr(luma1, blue, green, red));
    }
}

SCORIVO_SIMD_CLONES void I420Row4(const uint8_t* __restrict luma, const uint8_t* __restrict u,
                                    const uint8_t* __restrict v, uint8_t* __restrict dst,
                                    int pairs)
{
    for (int k = 0; k < pairs; ++k) {
        const int32_t cu = u[k] - 128, cv = v[k] - 128;
        const int32_t blue = UBlueScale * cu, green = UGreenScale * cu + VGreenScale * cv, red = VRedScale * cv;
        const int32_t luma0 = YScale * (luma[2 * k] - 16), luma1 = YScale * (luma[2 * k + 1] - 16);
        uint8_t* d = dst + 8 * k;
        StoreWord(d, (LoadWord(d) & 0xFF000000u) | Bgr(luma0, blue, green, red));
        StoreWord(d + 4, (LoadWord(d + 4) & 0xFF000000u) | Bgr(luma1, blue, green, red));
    }
}

// Any other pixel size (3 bytes): bytes 0, 1, 2 of each pixel.
inline void PutPixel(uint8_t* dst, int y, int u, int v)
{
    const int32_t luma = YScale * (y - 16);
    dst[0] = uint8_t(Clip8((luma + UBlueScale * (u - 128)) >> 16));
    dst[1] = uint8_t(Clip8((luma + UGreenScale * (u - 128) + VGreenScale * (v - 128)) >> 16));
    dst[2] = uint8_t(Clip8((luma + VRedScale * (v - 128)) >> 16));
}

constexpr bool WordPixels = std::endian::native == std::endian::little;

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
    const int step = destination.bytesPerPixel;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = source + size_t(y) * size_t(width) * 2;
        uint8_t* dst = destination.Row(destination.height - 1 - y);
        if (WordPixels && step == 4) {
            Yuy2Row4(src, dst, width / 2);
            continue;
        }
        for (int k = 0; k < width / 2; ++k, src += 4, dst += 2 * step) {
            PutPixel(dst, src[0], src[1], src[3]);
            PutPixel(dst + step, src[2], src[1], src[3]);
        }
    }
    return true;
}

bool ConvertI420(int width, int height, const uint8_t* source, size_t sourceBytes, const BitmapView& destination)
{
    if (!source || !FitsDestination(width, height, destination) || height % 2 != 0 ||
        sourceBytes < I420SampleBytes(width, height))
        return false;
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
        if (WordPixels && step == 4) {
            I420Row4(luma, u, v, dst, chromaWidth);
            continue;
        }
        for (int k = 0; k < chromaWidth; ++k, dst += 2 * step) {
            PutPixel(dst, luma[2 * k], u[k], v[k]);
            PutPixel(dst + step, luma[2 * k + 1], u[k], v[k]);
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

