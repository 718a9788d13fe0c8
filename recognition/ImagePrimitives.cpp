#include "recognition/ImagePrimitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

RowSpan ClipScanRect(const BitmapView& bmp, const ScanRect& r)
{
    RowSpan s;
    if (bmp.Empty() || r.height <= 0 || r.width <= 0)
        return s;
    // Scan lines [r.scanLine, r.scanLine + r.height) are rows h-1-scanLine down to h-scanLine-height.
    int yHigh = bmp.height - 1 - r.scanLine;
    int yLow = bmp.height - r.scanLine - r.height;
    s.yHigh = std::min(yHigh, bmp.height - 1);
    s.yLow = std::max(yLow, 0);
    s.x0 = std::max(r.x, 0);
    s.x1 = std::min(r.x + r.width, bmp.width);
    return s;
}

void Binarise(const BitmapView& bmp, int threshold, const ScanRect& r)
{
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return;
    const int bpp = bmp.bytesPerPixel;
    for (int y = s.yLow; y <= s.yHigh; ++y) {
        uint8_t* p = bmp.At(s.x0, y);
        for (int x = s.x0; x < s.x1; ++x, p += bpp) {
            uint8_t v = GreyOf(p, GreyPlain) >= threshold ? 255 : 0;
            SetPixel(p, v, v, v);
        }
    }
}

int IsodataThreshold(const BitmapView& bmp, const ScanRect& r, int greyMode)
{
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return 128;
    uint32_t histogram[256] = {};
    const int bpp = bmp.bytesPerPixel;
    for (int y = s.yLow; y <= s.yHigh; ++y) {
        const uint8_t* p = bmp.At(s.x0, y);
        for (int x = s.x0; x < s.x1; ++x, p += bpp)
            ++histogram[GreyOf(p, greyMode)];
    }
    int lo = 0;
    while (lo < 256 && histogram[lo] == 0)
        ++lo;
    int hi = 255;
    while (hi >= 0 && histogram[hi] == 0)
        --hi;
    if (lo == 256 || lo == 255 || hi == 0)
        return 128;
    // The bin T itself belongs to neither side.
    int t = (lo + hi) / 2;
    int previous = 0;
    for (int round = 0; round < 100 && t != previous; ++round) {
        previous = t;
        uint64_t sum = 0, count = 0;
        for (int g = lo; g <= t - 1; ++g) {
            sum += static_cast<uint64_t>(g) * histogram[g];
            count += histogram[g];
        }
        int m1 = count ? static_cast<int>(sum / count) : 0;
        sum = 0;
        count = 0;
        for (int g = t + 1; g <= hi; ++g) {
            sum += static_cast<uint64_t>(g) * histogram[g];
            count += histogram[g];
        }
        int m2 = count ? static_cast<int>(sum / count) : 255;
        t = (m1 + m2) / 2;
    }
    return t;
}

int BinariseAdaptive(const BitmapView& bmp, const ScanRect& r, int histogramMode, int pixelMode)
{
    int t = IsodataThreshold(bmp, r, histogramMode);
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return t;
    const int bpp = bmp.bytesPerPixel;
    for (int y = s.yLow; y <= s.yHigh; ++y) {
        uint8_t* p = bmp.At(s.x0, y);
        for (int x = s.x0; x < s.x1; ++x, p += bpp) {
            uint8_t v = GreyOf(p, pixelMode) >= t ? 255 : 0;
            SetPixel(p, v, v, v);
        }
    }
    return t;
}

int BlackShare(const BitmapView& bmp)
{
    if (bmp.Empty())
        return 0;
    uint64_t black = 0;
    const int bpp = bmp.bytesPerPixel;
    for (int y = 0; y < bmp.height; ++y) {
        const uint8_t* p = bmp.Row(y);
        for (int x = 0; x < bmp.width; ++x, p += bpp)
            black += p[0] == 0;
    }
    return static_cast<int>(black * 100 / (static_cast<uint64_t>(bmp.width) * static_cast<uint64_t>(bmp.height)));
}

static void MirrorSwapRows(uint8_t* a, uint8_t* b, int width, int bpp)
{
    // Pixel k of row a trades places with pixel width-1-k of row b (and the
    // other way round); a == b mirrors one row in place.
    if (bpp == 4) {
        auto* wa = reinterpret_cast<uint32_t*>(a);
        auto* wb = reinterpret_cast<uint32_t*>(b);
        if (a == b) {
            std::reverse(wa, wa + width);
            return;
        }
        for (int k = 0; k < width; ++k)
            std::swap(wa[k], wb[width - 1 - k]);
        return;
    }
    if (a == b) {
        for (int k = 0, j = width - 1; k < j; ++k, --j)
            for (int c = 0; c < bpp; ++c)
                std::swap(a[k * bpp + c], a[j * bpp + c]);
        return;
    }
    for (int k = 0; k < width; ++k)
        for (int c = 0; c < bpp; ++c)
            std::swap(a[k * bpp + c], b[(width - 1 - k) * bpp + c]);
}

void Rotate180(const BitmapView& bmp)
{
    if (bmp.Empty())
        return;
    for (int i = 0; i < bmp.height / 2; ++i)
        MirrorSwapRows(bmp.Row(i), bmp.Row(bmp.height - 1 - i), bmp.width, bmp.bytesPerPixel);
    if (bmp.height % 2)
        MirrorSwapRows(bmp.Row(bmp.height / 2), bmp.Row(bmp.height / 2), bmp.width, bmp.bytesPerPixel);
}

void Smoother::Smooth3x3(const BitmapView& bmp)
{
    if (bmp.Empty())
        return;
    const int w = bmp.width, h = bmp.height, bpp = bmp.bytesPerPixel;
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (redBlue_.size() != n) {
        redBlue_.assign(n, 0);
        green_.assign(n, 0);
    }
    // Red and blue travel packed in one word (00FF00FF), green alone
    // (0000FF00): a lane sums at most 16 x 255 = 4080, so lanes never touch.
    // The kernel is separable; rows first into the buffers, then columns.
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bmp.Row(y);
        uint32_t* rb = &redBlue_[static_cast<std::size_t>(y) * w];
        uint32_t* g = &green_[static_cast<std::size_t>(y) * w];
        auto packedRb = [&](int x) {
            const uint8_t* p = row + x * bpp;
            return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[2]) << 16;
        };
        auto packedG = [&](int x) { return static_cast<uint32_t>(row[x * bpp + 1]) << 8; };
        for (int x = 0; x < w; ++x) {
            uint32_t sRb = 2 * packedRb(x), sG = 2 * packedG(x);
            if (x > 0) {
                sRb += packedRb(x - 1);
                sG += packedG(x - 1);
            }
            if (x + 1 < w) {
                sRb += packedRb(x + 1);
                sG += packedG(x + 1);
            }
            rb[x] = sRb;
            g[x] = sG;
        }
    }
    for (int y = 0; y < h; ++y) {
        const uint32_t* rbMid = &redBlue_[static_cast<std::size_t>(y) * w];
        const uint32_t* gMid = &green_[static_cast<std::size_t>(y) * w];
        const uint32_t* rbLow = y > 0 ? rbMid - w : nullptr;
        const uint32_t* gLow = y > 0 ? gMid - w : nullptr;
        const uint32_t* rbHigh = y + 1 < h ? rbMid + w : nullptr;
        const uint32_t* gHigh = y + 1 < h ? gMid + w : nullptr;
        uint8_t* p = bmp.Row(y);
        for (int x = 0; x < w; ++x, p += bpp) {
            uint32_t sRb = 2 * rbMid[x], sG = 2 * gMid[x];
            if (rbLow) {
                sRb += rbLow[x];
                sG += gLow[x];
            }
            if (rbHigh) {
                sRb += rbHigh[x];
                sG += gHigh[x];
            }
            uint32_t outRb = (sRb >> 4) & 0x00FF00FFu;
            uint32_t outG = (sG >> 4) & 0x0000FF00u;
            p[0] = static_cast<uint8_t>(outRb);
            p[1] = static_cast<uint8_t>(outG >> 8);
            p[2] = static_cast<uint8_t>(outRb >> 16);
        }
    }
}

Rotation Rotation::For(double theta, int sourceWidth, int sourceHeight, int destSize)
{
    Rotation r;
    r.sinT = std::sin(theta);
    r.cosT = std::cos(theta);
    r.cx = sourceWidth / 2.0;
    r.cy = sourceHeight / 2.0;
    r.ox = (destSize - sourceWidth) / 2.0;
    r.oy = (destSize - sourceHeight) / 2.0;
    return r;
}

PointI RotatePoint(const Rotation& r, PointI p)
{
    double dx = p.x - r.cx;
    double dy = p.y - r.cy;
    return {static_cast<int>(r.cx + dx * r.cosT + dy * r.sinT + r.ox + 1),
            static_cast<int>(r.cy - dx * r.sinT + dy * r.cosT + r.oy + 1)};
}

void RotateImage(const BitmapView& source, const BitmapView& dest, const Rotation& r)
{
    if (source.width < 0.0001 || source.height < 0.0001 || dest.Empty())
        return;
    const int bpp = std::min(source.bytesPerPixel, dest.bytesPerPixel);
    // Inverse of RotatePoint: with (u, v) = dest - (centre + offset + 1),
    // source = centre + (u cos - v sin, u sin + v cos). 16.16 fixed point,
    // +0.5 so that the arithmetic shift picks the nearest source pixel.
    constexpr double one = 65536.0;
    const double baseX = r.cx + r.ox + 1, baseY = r.cy + r.oy + 1;
    const int64_t stepX = std::llround(r.cosT * one);
    const int64_t stepY = std::llround(r.sinT * one);
    const int centre = dest.height / 2;
    auto doRow = [&](int y) {
        double v = y - baseY;
        double u0 = -baseX;
        int64_t fx = std::llround((r.cx + u0 * r.cosT - v * r.sinT + 0.5) * one);
        int64_t fy = std::llround((r.cy + u0 * r.sinT + v * r.cosT + 0.5) * one);
        uint8_t* d = dest.Row(y);
        for (int x = 0; x < dest.width; ++x, fx += stepX, fy += stepY, d += dest.bytesPerPixel) {
            int64_t sx = fx >> 16, sy = fy >> 16;
            if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height)
                continue;
            const uint8_t* s = source.At(static_cast<int>(sx), static_cast<int>(sy));
            std::memcpy(d, s, static_cast<std::size_t>(bpp));
        }
    };
    // Rows from the centre outward in both directions.
    for (int y = centre; y < dest.height; ++y)
        doRow(y);
    for (int y = centre - 1; y >= 0; --y)
        doRow(y);
}

void SolveLinear(float a[8 * 9], float solution[8])
{
    constexpr int n = 8, stride = 9;
    for (int i = 0; i < n; ++i) {
        int pivot = i;
        for (int j = i + 1; j < n; ++j)
            if (std::fabs(a[j * stride + i]) > std::fabs(a[pivot * stride + i]))
                pivot = j;
        if (pivot != i)
            for (int k = i; k <= n; ++k)
                std::swap(a[i * stride + k], a[pivot * stride + k]);
        for (int j = i + 1; j < n; ++j) {
            float f = a[j * stride + i] / a[i * stride + i];
            for (int k = i; k <= n; ++k)
                a[j * stride + k] -= f * a[i * stride + k];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        float sum = a[i * stride + n];
        for (int k = i + 1; k < n; ++k)
            sum -= a[i * stride + k] * solution[k];
        solution[i] = sum / a[i * stride + i];
    }
}

ProjectiveMap ProjectiveMap::FromPoints(const PointI from[4], const PointI to[4])
{
    float a[8 * 9];
    for (int k = 0; k < 4; ++k) {
        float u = static_cast<float>(from[k].x), v = static_cast<float>(from[k].y);
        float p = static_cast<float>(to[k].x), q = static_cast<float>(to[k].y);
        float* row = a + k * 9;
        const float first[9] = {u, v, 1, 0, 0, 0, -u * p, -v * p, p};
        std::memcpy(row, first, sizeof first);
        row = a + (k + 4) * 9;
        const float second[9] = {0, 0, 0, u, v, 1, -u * q, -v * q, q};
        std::memcpy(row, second, sizeof second);
    }
    ProjectiveMap m;
    SolveLinear(a, m.h);
    return m;
}

PointI MapPoint(const ProjectiveMap& m, PointI p)
{
    const float* h = m.h;
    float x = static_cast<float>(p.x), y = static_cast<float>(p.y);
    float d = h[6] * x + h[7] * y + 1;
    float mx = (h[0] * x + h[1] * y + h[2]) / d;
    float my = (h[3] * x + h[4] * y + h[5]) / d;
    // Out-of-range values stay out of range instead of overflowing the int.
    auto clampTrunc = [](float v) {
        if (!(v > -1e9f && v < 1e9f))
            return v > 0 ? 1000000000 : -1000000000;
        return static_cast<int>(v);
    };
    return {clampTrunc(mx), clampTrunc(my)};
}
