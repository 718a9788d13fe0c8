#include "recognition/ImagePrimitives.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "recognition/CpuFeatures.h"
#include "recognition/PixelLanes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

// floor(g / 100) >= t exactly when g >= 100 t: no division per pixel.
static inline bool WhiteAt(uint32_t blue, uint32_t green, uint32_t red, int scaled)
{
    return static_cast<int>(30 * red + 59 * green + 11 * blue) >= scaled;
}

// Four-byte pixels as little-endian words: B, G, R in the low bytes, the
// fourth byte kept. Word loops the compiler vectorises; the in-place and the
// copying loop are separate so that neither needs an overlap check.
SCORIVO_SIMD_CLONES static void BinariseWordsInPlace(uint8_t* p, int count, int scaled)
{
    for (int k = 0; k < count; ++k) {
        uint32_t w;
        std::memcpy(&w, p + 4 * k, 4);
        const uint32_t white = WhiteAt(w & 0xFF, (w >> 8) & 0xFF, (w >> 16) & 0xFF, scaled) ? 0x00FFFFFFu : 0;
        w = (w & 0xFF000000u) | white;
        std::memcpy(p + 4 * k, &w, 4);
    }
}

SCORIVO_SIMD_CLONES static void BinariseWords(const uint8_t* __restrict from,
                                               uint8_t* __restrict to, int count, int scaled)
{
    for (int k = 0; k < count; ++k) {
        uint32_t w;
        std::memcpy(&w, from + 4 * k, 4);
        const uint32_t white = WhiteAt(w & 0xFF, (w >> 8) & 0xFF, (w >> 16) & 0xFF, scaled) ? 0x00FFFFFFu : 0;
        w = (w & 0xFF000000u) | white;
        std::memcpy(to + 4 * k, &w, 4);
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen three-byte pixels (48 bytes from `from`): the blue, green and red
// bytes gathered by byte shuffles, and 30 R + 59 G + 11 B (at most 25500) in
// 16-bit lanes, pixels 0-7 in `low` and 8-15 in `high`.
__attribute__((target("ssse3"))) static inline void PixelSums16(const uint8_t* from, __m128i& low, __m128i& high)
{
    const __m128i blue0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i blue1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i blue2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    const __m128i green0 = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i green1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
    const __m128i green2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
    const __m128i red0 = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i red1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
    const __m128i red2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
    const __m128i zero = _mm_setzero_si128();
    const __m128i wr = _mm_set1_epi16(30), wg = _mm_set1_epi16(59), wb = _mm_set1_epi16(11);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
    const __m128i blue = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, blue0), _mm_shuffle_epi8(b, blue1)),
                                      _mm_shuffle_epi8(c, blue2));
    const __m128i green = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, green0), _mm_shuffle_epi8(b, green1)),
                                       _mm_shuffle_epi8(c, green2));
    const __m128i red = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, red0), _mm_shuffle_epi8(b, red1)),
                                     _mm_shuffle_epi8(c, red2));
    low = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(red, zero), wr),
                                      _mm_mullo_epi16(_mm_unpacklo_epi8(green, zero), wg)),
                        _mm_mullo_epi16(_mm_unpacklo_epi8(blue, zero), wb));
    high = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(red, zero), wr),
                                       _mm_mullo_epi16(_mm_unpackhi_epi8(green, zero), wg)),
                         _mm_mullo_epi16(_mm_unpackhi_epi8(blue, zero), wb));
}

// Three-byte pixels, 16 at a time: the sums compared and the 0 / 255 result
// spread back to three bytes a pixel. About 5 times the byte loop's speed.
// Every block is loaded before it is stored, so `to` may be `from`. Returns
// the pixels done.
__attribute__((target("ssse3"))) static int BinariseRun3Ssse3(const uint8_t* from, uint8_t* to, int count,
                                                                int scaled)
{
    // Pixel k's result byte to bytes 3k, 3k + 1, 3k + 2 of the 48.
    const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    const __m128i below = _mm_set1_epi16(static_cast<short>(scaled - 1)); // white when the sum > scaled - 1
    int k = 0;
    for (; k + 16 <= count; k += 16, from += 48, to += 48) {
        __m128i sumLow, sumHigh;
        PixelSums16(from, sumLow, sumHigh);
        const __m128i white =
            _mm_packs_epi16(_mm_cmpgt_epi16(sumLow, below), _mm_cmpgt_epi16(sumHigh, below)); // 0 or -1 bytes
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_shuffle_epi8(white, spread0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), _mm_shuffle_epi8(white, spread1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 32), _mm_shuffle_epi8(white, spread2));
    }
    return k;
}

// BinariseRun3Ssse3 on processors with byte permutes across a register:
// sixteen pixels' three bytes permuted to one 32-bit lane each, weighted and
// summed there, and the comparison's lanes permuted back to three bytes a
// pixel. The last pixels are loaded and stored under a mask, so it does the
// whole run; every block is loaded before it is stored, so `to` may be `from`.
[[gnu::target("avx512f,avx512bw,avx512vbmi")]] static void BinariseRun3Vbmi(const uint8_t* from, uint8_t* to,
                                                                            int count, int scaled)
{
    // Pixel k's result (lane k, all its bytes alike) back to its three bytes.
    const __m512i gather = _mm512_load_si512(PixelLaneBytes), spread = _mm512_load_si512(LanePixelBytes);
    const __m512i below = _mm512_set1_epi32(scaled - 1); // white when the sum > scaled - 1
    const __m512i set = _mm512_set1_epi32(-1);
    for (int k = 0; k < count; k += 16, from += 48, to += 48) {
        const int bytes = 3 * std::min(16, count - k);
        const __mmask64 mask = (1ull << bytes) - 1;
        const __m512i pixels = _mm512_maskz_permutexvar_epi8(~0ull, gather, _mm512_maskz_loadu_epi8(mask, from));
        const __m512i white = _mm512_maskz_mov_epi32(_mm512_cmpgt_epi32_mask(PlainSumLanes(pixels), below), set);
        _mm512_mask_storeu_epi8(to, mask, _mm512_maskz_permutexvar_epi8(~0ull, spread, white));
    }
}

// The plain grey levels of `count` three-byte pixels (a multiple of 16)
// into `grey`: the sums divided by 100 as (sum * 5243) >> 19, exact for
// every sum up to 25500.
__attribute__((target("ssse3"))) static void PlainGreys3Ssse3(const uint8_t* from, int count, uint8_t* grey)
{
    const __m128i scale = _mm_set1_epi16(5243);
    for (int k = 0; k < count; k += 16, from += 48) {
        __m128i sumLow, sumHigh;
        PixelSums16(from, sumLow, sumHigh);
        const __m128i low = _mm_srli_epi16(_mm_mulhi_epu16(sumLow, scale), 3);
        const __m128i high = _mm_srli_epi16(_mm_mulhi_epu16(sumHigh, scale), 3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + k), _mm_packus_epi16(low, high));
    }
}
#endif

void BinariseRun(const uint8_t* from, uint8_t* to, int count, int bpp, int threshold)
{
    const int scaled = threshold * 100;
    if (bpp == 4 && std::endian::native == std::endian::little) {
        if (from == to)
            BinariseWordsInPlace(to, count, scaled);
        else
            BinariseWords(from, to, count, scaled);
        return;
    }
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    // The 16-bit lanes hold every sum; thresholds outside them take the byte
    // loop (the permuted path sums in 32-bit lanes, and keeps to the same range).
    if (bpp == 3 && scaled >= 1 && scaled <= 32767 && cpu::HasAvx512Vbmi()) {
        BinariseRun3Vbmi(from, to, count, scaled);
        return;
    }
    if (bpp == 3 && scaled >= 1 && scaled <= 32767 && cpu::HasSsse3()) {
        x = BinariseRun3Ssse3(from, to, count, scaled);
        from += 3 * x;
        to += 3 * x;
    }
#endif
    for (; x < count; ++x, from += bpp, to += bpp) {
        const uint8_t v = WhiteAt(from[0], from[1], from[2], scaled) ? 255 : 0;
        if (bpp == 4)
            to[3] = from[3];
        SetPixel(to, v, v, v);
    }
}

void Binarise(const BitmapView& bmp, int threshold, const ScanRect& r)
{
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return;
    for (int y = s.yLow; y <= s.yHigh; ++y) {
        uint8_t* p = bmp.At(s.x0, y);
        BinariseRun(p, p, s.x1 - s.x0, bmp.bytesPerPixel, threshold);
    }
}

// The grey histogram of one row span, with the grey mode fixed at compile
// time so that the mode tests leave the loop. Four interleaved histograms:
// on even paper consecutive pixels fall into the same bin, and one histogram
// would make every increment wait for the one before it.
template <int Mode, bool Keep>
static void GreyHistogramParts(const BitmapView& bmp, const RowSpan& s, uint32_t (&parts)[4][256], uint8_t* keep,
                               int keepStride)
{
    const int bpp = bmp.bytesPerPixel;
#if defined(__x86_64__) || defined(__i386__)
    // Plain greys of 3-byte pixels sixteen at a time, then counted.
    const bool vectors = Mode == GreyPlain && bpp == 3 && cpu::HasSsse3();
    uint8_t greys[256];
#endif
    for (int y = s.yLow; y <= s.yHigh; ++y) {
        uint8_t* const kept = Keep ? keep + static_cast<std::ptrdiff_t>(y) * keepStride : nullptr;
        int x = s.x0;
#if defined(__x86_64__) || defined(__i386__)
        while (vectors && x + 16 <= s.x1) {
            const int n = std::min(s.x1 - x, 256) & ~15;
            uint8_t* const g = Keep ? kept + x : greys;
            PlainGreys3Ssse3(bmp.At(x, y), n, g);
            for (int k = 0; k < n; k += 4) {
                ++parts[0][g[k]];
                ++parts[1][g[k + 1]];
                ++parts[2][g[k + 2]];
                ++parts[3][g[k + 3]];
            }
            x += n;
        }
#endif
        const uint8_t* p = bmp.At(x, y);
        for (; x + 4 <= s.x1; x += 4, p += 4 * bpp) {
            const int g0 = GreyOf(p, Mode), g1 = GreyOf(p + bpp, Mode), g2 = GreyOf(p + 2 * bpp, Mode),
                      g3 = GreyOf(p + 3 * bpp, Mode);
            ++parts[0][g0];
            ++parts[1][g1];
            ++parts[2][g2];
            ++parts[3][g3];
            if constexpr (Keep) {
                kept[x] = static_cast<uint8_t>(g0);
                kept[x + 1] = static_cast<uint8_t>(g1);
                kept[x + 2] = static_cast<uint8_t>(g2);
                kept[x + 3] = static_cast<uint8_t>(g3);
            }
        }
        for (; x < s.x1; ++x, p += bpp) {
            const int g = GreyOf(p, Mode);
            ++parts[0][g];
            if constexpr (Keep)
                kept[x] = static_cast<uint8_t>(g);
        }
    }
}

template <bool Keep>
static void GreyHistogramIn(const BitmapView& bmp, const RowSpan& s, int greyMode, uint32_t (&parts)[4][256],
                            uint8_t* keep, int keepStride)
{
    if (greyMode == GreyRedCard)
        GreyHistogramParts<GreyRedCard, Keep>(bmp, s, parts, keep, keepStride);
    else if (greyMode == GreyGreenCard)
        GreyHistogramParts<GreyGreenCard, Keep>(bmp, s, parts, keep, keepStride);
    else if (greyMode == GreyRedDropout)
        GreyHistogramParts<GreyRedDropout, Keep>(bmp, s, parts, keep, keepStride);
    else if (greyMode == GreyGreenDropout)
        GreyHistogramParts<GreyGreenDropout, Keep>(bmp, s, parts, keep, keepStride);
    else if (greyMode == GreyPlain)
        GreyHistogramParts<GreyPlain, Keep>(bmp, s, parts, keep, keepStride);
    else
        GreyHistogramParts<-1, Keep>(bmp, s, parts, keep, keepStride); // greys as plain, as GreyLevel does
}

void GreyHistogram(const BitmapView& bmp, const RowSpan& s, int greyMode, uint32_t (&histogram)[256], uint8_t* keep,
                   int keepStride)
{
    uint32_t parts[4][256] = {};
    if (keep)
        GreyHistogramIn<true>(bmp, s, greyMode, parts, keep, keepStride);
    else
        GreyHistogramIn<false>(bmp, s, greyMode, parts, nullptr, 0);
    for (int g = 0; g < 256; ++g)
        histogram[g] = parts[0][g] + parts[1][g] + parts[2][g] + parts[3][g];
}

int IsodataThreshold(const BitmapView& bmp, const ScanRect& r, int greyMode)
{
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return 128;
    uint32_t histogram[256];
    GreyHistogram(bmp, s, greyMode, histogram);
    return IsodataThreshold(histogram);
}

int IsodataThreshold(const uint32_t (&histogram)[256])
{
    int lo = 0;
    while (lo < 256 && histogram[lo] == 0)
        ++lo;
    int hi = 255;
    while (hi >= 0 && histogram[hi] == 0)
        --hi;
    if (lo == 256 || lo == 255 || hi == 0)
        return 128;
    // Counts and grey sums of the bins below each grey, so that a round
    // takes two differences instead of a walk over the bins (the bins
    // outside lo .. hi are empty).
    uint64_t count[257], sum[257];
    count[0] = sum[0] = 0;
    for (int g = 0; g < 256; ++g) {
        count[g + 1] = count[g] + histogram[g];
        sum[g + 1] = sum[g] + static_cast<uint64_t>(g) * histogram[g];
    }
    // The bin T itself belongs to neither side.
    int t = (lo + hi) / 2;
    int previous = 0;
    for (int round = 0; round < 100 && t != previous; ++round) {
        previous = t;
        const uint64_t below = count[t], above = count[256] - count[t + 1];
        const int m1 = below ? static_cast<int>(sum[t] / below) : 0;
        const int m2 = above ? static_cast<int>((sum[256] - sum[t + 1]) / above) : 255;
        t = (m1 + m2) / 2;
    }
    return t;
}

template <int Mode>
static void BinariseSpan(const BitmapView& bmp, const RowSpan& s, int t)
{
    const int bpp = bmp.bytesPerPixel;
    for (int y = s.yLow; y <= s.yHigh; ++y) {
        uint8_t* p = bmp.At(s.x0, y);
        for (int x = s.x0; x < s.x1; ++x, p += bpp) {
            uint8_t v = GreyOf(p, Mode) >= t ? 255 : 0;
            SetPixel(p, v, v, v);
        }
    }
}

int BinariseAdaptive(const BitmapView& bmp, const ScanRect& r, int histogramMode, int pixelMode)
{
    int t = IsodataThreshold(bmp, r, histogramMode);
    BinariseAt(bmp, ClipScanRect(bmp, r), pixelMode, t);
    return t;
}

void BinariseAt(const BitmapView& bmp, const RowSpan& s, int pixelMode, int t)
{
    if (s.Empty())
        return;
    if (pixelMode == GreyRedCard) {
        BinariseSpan<GreyRedCard>(bmp, s, t);
    } else if (pixelMode == GreyGreenCard) {
        BinariseSpan<GreyGreenCard>(bmp, s, t);
    } else if (pixelMode == GreyRedDropout) {
        BinariseSpan<GreyRedDropout>(bmp, s, t);
    } else if (pixelMode == GreyGreenDropout) {
        BinariseSpan<GreyGreenDropout>(bmp, s, t);
    } else {
        // Plain grey is Binarise's own rule at threshold t.
        for (int y = s.yLow; y <= s.yHigh; ++y) {
            uint8_t* p = bmp.At(s.x0, y);
            BinariseRun(p, p, s.x1 - s.x0, bmp.bytesPerPixel, t);
        }
    }
}

// Pixels of a row of 3-byte pixels whose first byte is 0. Sixteen pixels
// (48 bytes) at a time: the zero bytes as a bit mask, of which the bits at
// pixel starts are counted. BlackShare took 4 % of a marking attempt byte by
// byte; this is about 5 times faster.
// Set bits of a word, by halves, nibbles and bytes: the baseline x86-64
// target has no popcount instruction, and the library call costs more than this.
static inline uint64_t BitCount(uint64_t v)
{
    v -= (v >> 1) & 0x5555555555555555ull;
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (v * 0x0101010101010101ull) >> 56;
}

static uint64_t BlackInRow3(const uint8_t* p, int width)
{
    uint64_t black = 0;
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    constexpr uint64_t PixelStarts = 0x249249249249ull; // bits 0, 3, 6, ..., 45
    for (; x + 16 <= width; x += 16, p += 48) {
        const uint64_t z0 = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero)));
        const uint64_t z1 = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero)));
        const uint64_t z2 = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), zero)));
        black += BitCount((z0 | z1 << 16 | z2 << 32) & PixelStarts);
    }
#endif
    for (; x < width; ++x, p += 3)
        black += p[0] == 0;
    return black;
}

#if defined(__x86_64__) || defined(__i386__)
// BlackInRow3 64 bytes a compare, with the row's end under a byte mask: a
// cell's window is shorter than the SSE2 loop's sixteen pixels, which left
// nearly every pixel to the byte-by-byte tail.
[[gnu::target("avx512f,avx512bw,popcnt")]] static uint64_t BlackInRow3Avx512(const uint8_t* p, int width)
{
    // The pixels' first bytes among the 64 bytes at offset 64 c of the row,
    // for c % 3 = 0, 1, 2: byte i starts a pixel when 64 c + i is a multiple of 3.
    static constexpr uint64_t Starts[3] = {0x9249249249249249ull, 0x4924924924924924ull, 0x2492492492492492ull};
    const __m512i zero = _mm512_setzero_si512();
    const std::size_t bytes = static_cast<std::size_t>(std::max(width, 0)) * 3;
    uint64_t black = 0;
    std::size_t i = 0;
    int phase = 0;
    for (; i + 64 <= bytes; i += 64, phase = phase == 2 ? 0 : phase + 1)
        black += static_cast<uint64_t>(
            std::popcount(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + i), zero) & Starts[phase]));
    if (i < bytes) {
        // Bytes past the end are neither loaded nor counted.
        const __mmask64 tail = ~0ull >> (64 - (bytes - i));
        black += static_cast<uint64_t>(std::popcount(
            _mm512_mask_cmpeq_epi8_mask(tail, _mm512_maskz_loadu_epi8(tail, p + i), zero) & Starts[phase]));
    }
    return black;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// CountBlack of `rows` rows `stride` bytes apart: one call for a cell's
// window (a row of 21 pixels or fewer is BlackInRow3Avx512's one masked compare).
[[gnu::target("avx512f,avx512bw,popcnt")]] static uint64_t BlackInRows3Avx512(const uint8_t* p, std::ptrdiff_t stride,
                                                                             int rows, int width)
{
    uint64_t black = 0;
    for (int r = 0; r < rows; ++r, p += stride)
        black += BlackInRow3Avx512(p, width);
    return black;
}
#endif

int CountBlackRows(const uint8_t* p, std::ptrdiff_t stride, int rows, int count, int bpp)
{
    if (rows <= 0 || count <= 0)
        return 0;
#if defined(__x86_64__) || defined(__i386__)
    if (bpp == 3 && cpu::HasAvx512())
        return static_cast<int>(BlackInRows3Avx512(p, stride, rows, count));
#endif
    int black = 0;
    for (int r = 0; r < rows; ++r, p += stride)
        black += CountBlack(p, count, bpp);
    return black;
}

int CountBlack(const uint8_t* p, int count, int bpp)
{
#if defined(__x86_64__) || defined(__i386__)
    if (bpp == 3 && cpu::HasAvx512())
        return static_cast<int>(BlackInRow3Avx512(p, count));
#endif
    if (bpp == 3)
        return static_cast<int>(BlackInRow3(p, count));
    int black = 0; // a plain loop, which the compiler vectorises
    for (int x = 0; x < count; ++x)
        black += p[static_cast<std::ptrdiff_t>(x) * bpp] == 0;
    return black;
}

int BlackShare(const BitmapView& bmp)
{
    if (bmp.Empty())
        return 0;
    uint64_t black = 0;
    for (int y = 0; y < bmp.height; ++y)
        black += static_cast<uint64_t>(CountBlack(bmp.Row(y), bmp.width, bmp.bytesPerPixel));
    return static_cast<int>(black * 100 / (static_cast<uint64_t>(bmp.width) * static_cast<uint64_t>(bmp.height)));
}

static void MirrorSwapRows(uint8_t* a, uint8_t* b, int width, int bpp)
{
    // Pixel k of row a trades places with pixel width-1-k of row b (and the
    // other way round); a == b mirrors one row in place.
    if (bpp == 4) {
        // Plain word loops: the compiler reverses four words per vector.
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

#if defined(__x86_64__) || defined(__i386__)
// Three-byte pixels do not fit the compiler's vectors: the byte-by-byte swap
// above took 20 times a memcpy of the frame. Here two distinct rows trade
// five pixels (15 bytes) at a time through one byte shuffle each way, about
// twice a memcpy. Every 16-byte store carries one byte beyond its five pixels
// unchanged (the row's own byte, loaded with them), and the next blocks are
// loaded before the stores, so no store overlaps a block still to be read.
// Returns the pixels done; the caller swaps the rest.
__attribute__((target("ssse3"))) static int SwapMirroredRows3Ssse3(uint8_t* a, uint8_t* b, int width)
{
    if (width < 6)
        return 0;
    // Pixels q..q+4 of a come from pixels w-5-q..w-1-q of b, which are
    // loaded one byte early (lane 0 is b's byte before them), and the other way.
    const __m128i fromB = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, -1);
    const __m128i fromA = _mm_setr_epi8(-1, 12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2);
    const __m128i lastLane = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1);
    const __m128i firstLane = _mm_setr_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    int q = 0;
    uint8_t* pa = a;
    uint8_t* pb = b + 3 * (width - 5) - 1;
    __m128i blockA = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa));
    __m128i blockB = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb));
    for (;;) {
        const __m128i outA = _mm_or_si128(_mm_shuffle_epi8(blockB, fromB), _mm_and_si128(blockA, lastLane));
        const __m128i outB = _mm_or_si128(_mm_shuffle_epi8(blockA, fromA), _mm_and_si128(blockB, firstLane));
        q += 5;
        // The next blocks need 16 readable bytes in each row: q <= width - 6.
        const bool more = q <= width - 6;
        if (more) {
            blockA = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 15));
            blockB = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb - 15));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pa), outA);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pb), outB);
        if (!more)
            return q;
        pa += 15;
        pb -= 15;
    }
}
#endif

// Two distinct rows of 3-byte pixels trade places mirrored.
static void SwapMirroredRows3(uint8_t* a, uint8_t* b, int width)
{
    int done = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (cpu::HasSsse3())
        done = SwapMirroredRows3Ssse3(a, b, width);
#endif
    for (int k = done; k < width; ++k)
        for (int c = 0; c < 3; ++c)
            std::swap(a[k * 3 + c], b[(width - 1 - k) * 3 + c]);
}

void Rotate180(const BitmapView& bmp)
{
    if (!bmp.Valid())
        return;
    const bool threeBytes = bmp.bytesPerPixel == 3;
    for (int i = 0; i < bmp.height / 2; ++i) {
        uint8_t* a = bmp.Row(i);
        uint8_t* b = bmp.Row(bmp.height - 1 - i);
        if (threeBytes)
            SwapMirroredRows3(a, b, bmp.width);
        else
            MirrorSwapRows(a, b, bmp.width, bmp.bytesPerPixel);
    }
    if (bmp.height % 2)
        MirrorSwapRows(bmp.Row(bmp.height / 2), bmp.Row(bmp.height / 2), bmp.width, bmp.bytesPerPixel);
}

// Horizontal 1 2 1 sums of one row, channel by channel: byte i of the row is
// a channel of pixel i / bpp, its neighbours lie bpp bytes away. The first
// and last pixels have one neighbour only.
// Loops run in blocks of 16 with a fixed trip count so that the compiler
// vectorises them at -O2 (about 3 times faster on an 800 x 800 card), and
// with AVX2 or 512-bit vectors where the processor has them (16 or 32 lanes
// a vector).
SCORIVO_SIMD_CLONES static void HorizontalSums(const uint8_t* __restrict row, int rowBytes,
                                                int bpp, uint16_t* __restrict out)
{
    for (int i = 0; i < bpp; ++i)
        out[i] = static_cast<uint16_t>(2 * row[i] + row[i + bpp]);
    int i = bpp;
    for (; i + 16 <= rowBytes - bpp; i += 16)
        for (int k = 0; k < 16; ++k)
            out[i + k] = static_cast<uint16_t>(row[i + k - bpp] + 2 * row[i + k] + row[i + k + bpp]);
    for (; i < rowBytes - bpp; ++i)
        out[i] = static_cast<uint16_t>(row[i - bpp] + 2 * row[i] + row[i + bpp]);
    for (int i = rowBytes - bpp; i < rowBytes; ++i)
        out[i] = static_cast<uint16_t>(row[i - bpp] + 2 * row[i]);
}

SCORIVO_SIMD_CLONES static void SmoothSums(const uint16_t* __restrict low,
                                            const uint16_t* __restrict mid,
                                            const uint16_t* __restrict high,
                                            uint8_t* __restrict out, int rowBytes)
{
    int i = 0;
    for (; i + 16 <= rowBytes; i += 16)
        for (int k = 0; k < 16; ++k)
            out[i + k] = static_cast<uint8_t>((low[i + k] + 2 * mid[i + k] + high[i + k]) >> 4);
    for (; i < rowBytes; ++i)
        out[i] = static_cast<uint8_t>((low[i] + 2 * mid[i] + high[i]) >> 4);
}

void Smoother::Smooth3x3(const BitmapView& bmp)
{
    Smooth3x3(bmp, BitmapView{});
}

void Smoother::Smooth3x3(const BitmapView& bmp, const BitmapView& copy)
{
    Begin(bmp, copy);
    for (int y = 0; y < bmp.height; ++y)
        RowReady(y);
    End();
}

// Per channel floor(sum / 16) of the 1 2 1 / 2 4 2 / 1 2 1 kernel; the
// kernel is separable, and a lane sums at most 16 x 255 = 4080, so 16-bit
// sums are exact. Rows are smoothed from three rolling rows of horizontal
// sums: row y + 1's sums are taken before row y is written, and row y + 1
// itself is written only after row y + 2's sums are taken. Missing
// neighbours at the borders add nothing, so borders come out darker.
void Smoother::Begin(const BitmapView& bmp, const BitmapView& copy)
{
    bmp_ = bmp;
    ready_ = -1;
    if (bmp.Empty())
        return;
    copying_ = !copy.Empty() && copy.width == bmp.width && copy.height == bmp.height &&
               copy.bytesPerPixel == bmp.bytesPerPixel;
    copy_ = copy;
    const std::size_t rowBytes = static_cast<std::size_t>(bmp.width) * static_cast<std::size_t>(bmp.bytesPerPixel);
    if (sums_.size() != 3 * rowBytes)
        sums_.assign(3 * rowBytes, 0);
    rows_[0] = nullptr; // no row below row 0
    rows_[1] = sums_.data();
    rows_[2] = sums_.data() + rowBytes;
}

void Smoother::HorizontalSumsOf(int y, uint16_t* out) const
{
    const int rowBytes = bmp_.width * bmp_.bytesPerPixel;
    const uint8_t* row = bmp_.Row(y);
    if (bmp_.width < 2) {
        for (int i = 0; i < rowBytes; ++i)
            out[i] = static_cast<uint16_t>(2 * row[i]);
        return;
    }
    HorizontalSums(row, rowBytes, bmp_.bytesPerPixel, out);
}

void Smoother::SmoothRow(int y, const uint16_t* low, const uint16_t* mid, const uint16_t* high)
{
    const int rowBytes = bmp_.width * bmp_.bytesPerPixel;
    uint8_t* out = bmp_.Row(y);
    if (low && high) {
        SmoothSums(low, mid, high, out, rowBytes);
    } else {
        for (int i = 0; i < rowBytes; ++i)
            out[i] = static_cast<uint8_t>(((low ? low[i] : 0) + 2 * mid[i] + (high ? high[i] : 0)) >> 4);
    }
    if (copying_)
        std::memcpy(copy_.Row(y), out, static_cast<std::size_t>(rowBytes));
}

void Smoother::RowReady(int y)
{
    if (bmp_.Empty() || y != ready_ + 1 || y >= bmp_.height)
        return;
    ready_ = y;
    if (y == 0) {
        HorizontalSumsOf(0, rows_[1]);
        return;
    }
    // rows_: [low, mid, high]; mid holds row y - 1's sums.
    uint16_t* const high = rows_[2];
    HorizontalSumsOf(y, high);
    SmoothRow(y - 1, rows_[0], rows_[1], high);
    // Roll: low <- mid <- high <- (free row).
    uint16_t* const freed = rows_[0] ? rows_[0] : sums_.data() + 2 * static_cast<std::size_t>(bmp_.width) *
                                                                   static_cast<std::size_t>(bmp_.bytesPerPixel);
    rows_[0] = rows_[1];
    rows_[1] = high;
    rows_[2] = freed;
}

void Smoother::End()
{
    if (bmp_.Empty() || ready_ < 0)
        return;
    SmoothRow(ready_, rows_[0], rows_[1], nullptr);
    ready_ = -1;
    bmp_ = BitmapView{};
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

static int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// The integers x in [0, n) with a + b x in [0, limit), as [lo, hi] (empty when lo > hi).
static void SpanInside(int64_t a, int64_t b, int64_t limit, int n, int64_t& lo, int64_t& hi)
{
    lo = 0;
    hi = n - 1;
    if (b == 0) {
        if (a < 0 || a >= limit)
            hi = -1;
        return;
    }
    if (b > 0) {
        lo = std::max<int64_t>(lo, -FloorDiv(a, b)); // ceil(-a / b)
        hi = std::min<int64_t>(hi, FloorDiv(limit - 1 - a, b));
    } else {
        hi = std::min<int64_t>(hi, FloorDiv(a, -b));
        lo = std::max<int64_t>(lo, -FloorDiv(limit - 1 - a, -b)); // ceil((a - limit + 1) / -b)
    }
}

RotationRows::RotationRows(const Rotation& r, int sourceWidth, int sourceHeight, int destWidth)
{
    // Inverse of RotatePoint: with (u, v) = dest - (centre + offset + 1),
    // source = centre + (u cos - v sin, u sin + v cos). 16.16 fixed point,
    // +0.5 so that the arithmetic shift picks the nearest source pixel.
    constexpr double one = 65536.0;
    baseX_ = r.cx + r.ox + 1;
    baseY_ = r.cy + r.oy + 1;
    rotation_ = r;
    stepX = std::llround(r.cosT * one);
    stepY = std::llround(r.sinT * one);
    limitX_ = static_cast<int64_t>(std::max(sourceWidth, 0)) << 16;
    limitY_ = static_cast<int64_t>(std::max(sourceHeight, 0)) << 16;
    destWidth_ = destWidth;
}

RotatedRow RotationRows::Row(int y) const
{
    constexpr double one = 65536.0;
    const Rotation& r = rotation_;
    const double v = y - baseY_;
    const double u0 = -baseX_;
    RotatedRow row;
    row.fx = std::llround((r.cx + u0 * r.cosT - v * r.sinT + 0.5) * one);
    row.fy = std::llround((r.cy + u0 * r.sinT + v * r.cosT + 0.5) * one);
    // Only the span whose source position lies inside the source.
    int64_t lo1, hi1, lo2, hi2;
    SpanInside(row.fx, stepX, limitX_, destWidth_, lo1, hi1);
    SpanInside(row.fy, stepY, limitY_, destWidth_, lo2, hi2);
    row.lo = static_cast<int>(std::max(lo1, lo2));
    row.hi = static_cast<int>(std::min(hi1, hi2));
    return row;
}

void RotateImage(const BitmapView& source, const BitmapView& dest, const Rotation& r)
{
    if (source.width < 0.0001 || source.height < 0.0001 || dest.Empty())
        return;
    const int bpp = std::min(source.bytesPerPixel, dest.bytesPerPixel);
    const RotationRows rows(r, source.width, source.height, dest.width);
    const int64_t stepX = rows.stepX, stepY = rows.stepY;
    const int centre = dest.height / 2;
    auto doRow = [&](int y) {
        const RotatedRow row = rows.Row(y);
        const int lo = row.lo, hi = row.hi;
        int64_t fx = row.fx + lo * stepX, fy = row.fy + lo * stepY;
        // Plain locals: stores through uint8_t pointers could otherwise alias
        // the views and force a reload of their fields per pixel.
        const uint8_t* const srcBase = source.base;
        const std::ptrdiff_t srcStride = source.stride, srcBpp = source.bytesPerPixel;
        const std::ptrdiff_t dstBpp = dest.bytesPerPixel;
        uint8_t* d = dest.At(lo, y);
        if (srcBpp == 3 && dstBpp == 3) {
            // The common 24-bit case with constant pixel sizes.
            for (int x = lo; x <= hi; ++x, fx += stepX, fy += stepY, d += 3)
                CopyPixel(d, srcBase + (fy >> 16) * srcStride + (fx >> 16) * 3, 3);
            return;
        }
        for (int x = lo; x <= hi; ++x, fx += stepX, fy += stepY, d += dstBpp)
            CopyPixel(d, srcBase + (fy >> 16) * srcStride + (fx >> 16) * srcBpp, bpp);
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

void LightLeveller::Apply(const BitmapView& bmp, const BitmapView& copy)
{
    if (!bmp.Valid())
        return;
    gw_ = (bmp.width + Block - 1) / Block;
    gh_ = (bmp.height + Block - 1) / Block;
    BlockLevels(bmp);
    own_ = level_; // each block's own brightest, before the closing
    // Dark patches up to five blocks across (40 pixels: a row of blackened
    // boxes, a printed bar) are not paper.
    Close(2);
    Gains();
    const bool copying = copy.Valid() && copy.width == bmp.width && copy.height == bmp.height &&
                         copy.bytesPerPixel == bmp.bytesPerPixel;
    ScaleRows(bmp, copying ? copy : BitmapView{});
}

// out[i] = the brighter (darker) of out[i] and b[i]: loops the compiler vectorises.
SCORIVO_SIMD_CLONES static void BrighterEach(uint8_t* __restrict out, const uint8_t* __restrict b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::max(out[i], b[i]);
}
// out[i] = the brighter of a[i] and b[i], `out` apart from both.
SCORIVO_SIMD_CLONES static void BrighterOfTwo(uint8_t* __restrict out, const uint8_t* __restrict a,
                                              const uint8_t* __restrict b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::max(a[i], b[i]);
}
SCORIVO_SIMD_CLONES static void DarkerEach(uint8_t* __restrict out, const uint8_t* __restrict b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::min(out[i], b[i]);
}

// out[i] = the brightest of rows[k * stride + i], k < 8: a whole block's rows
// in one pass, where a pass per row stored and reloaded the maxima seven times.
SCORIVO_SIMD_CLONES static void BrightestOf8Rows(const uint8_t* __restrict rows, std::ptrdiff_t stride,
                                                 uint8_t* __restrict out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const uint8_t* p = rows + i;
        const uint8_t a = std::max(p[0], p[stride]), b = std::max(p[2 * stride], p[3 * stride]);
        const uint8_t c = std::max(p[4 * stride], p[5 * stride]), d = std::max(p[6 * stride], p[7 * stride]);
        out[i] = std::max(std::max(a, b), std::max(c, d));
    }
}

void LightLeveller::BlockLevels(const BitmapView& bmp)
{
    // Each byte column's brightest value over a block's rows, in one straight
    // pass per row; then the brightest of pixel pairs, of fours and of eights,
    // each a straight pass over the row, so that a block's brightest per
    // channel is where the block starts. The bytes past the row's end stay 0,
    // which no maximum takes.
    const int bpp = bmp.bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(bmp.width) * static_cast<std::size_t>(bpp);
    const std::size_t tail = static_cast<std::size_t>(Block * bpp);
    static_assert(Block == 8); // BrightestOf8Rows
    level_.assign(static_cast<std::size_t>(gw_) * static_cast<std::size_t>(gh_) * 3, 0);
    columnMax_.assign(rowBytes + tail, 0);
    pairMax_.assign(rowBytes + tail, 0);
    for (int by = 0; by < gh_; ++by) {
        uint8_t* m = columnMax_.data();
        if ((by + 1) * Block <= bmp.height) {
            BrightestOf8Rows(bmp.Row(by * Block), bmp.stride, m, rowBytes);
        } else {
            std::memcpy(m, bmp.Row(by * Block), rowBytes);
            for (int y = by * Block + 1; y < bmp.height; ++y)
                BrighterEach(m, bmp.Row(y), rowBytes);
        }
        uint8_t* pairs = pairMax_.data();
        for (std::size_t step = static_cast<std::size_t>(bpp); step < tail; step *= 2) {
            BrighterOfTwo(pairs, m, m + step, rowBytes);
            std::swap(m, pairs);
        }
        uint8_t* out = level_.data() + static_cast<std::size_t>(by) * static_cast<std::size_t>(gw_) * 3;
        for (int bx = 0; bx < gw_; ++bx, out += 3)
            std::memcpy(out, m + static_cast<std::size_t>(bx) * tail, 3);
    }
}

// One pass of the closing along rows (`along`) or columns of the block grid:
// each value becomes the brightest (or darkest) within `radius` of it. The
// window stops at the grid's edge, which is the same as repeating the edge
// value beyond it: the edge value lies in every window cut there.
template <bool Brightest>
static void ClosingPass(const uint8_t* in, uint8_t* out, int gw, int gh, int radius, bool along,
                        std::vector<uint8_t>& padded)
{
    const auto pick = Brightest ? BrighterEach : DarkerEach;
    const std::size_t rowBytes = static_cast<std::size_t>(gw) * 3;
    if (along) {
        padded.resize((static_cast<std::size_t>(gw) + 2 * static_cast<std::size_t>(radius)) * 3);
        for (int l = 0; l < gh; ++l) {
            const uint8_t* line = in + static_cast<std::size_t>(l) * rowBytes;
            for (int k = 0; k < radius; ++k) {
                std::memcpy(padded.data() + k * 3, line, 3);
                std::memcpy(padded.data() + (radius + gw + k) * 3, line + rowBytes - 3, 3);
            }
            std::memcpy(padded.data() + radius * 3, line, rowBytes);
            uint8_t* to = out + static_cast<std::size_t>(l) * rowBytes;
            std::memcpy(to, padded.data(), rowBytes);
            for (int k = 1; k <= 2 * radius; ++k)
                pick(to, padded.data() + k * 3, rowBytes);
        }
        return;
    }
    for (int l = 0; l < gh; ++l) {
        uint8_t* to = out + static_cast<std::size_t>(l) * rowBytes;
        std::memcpy(to, in + static_cast<std::size_t>(std::max(0, l - radius)) * rowBytes, rowBytes);
        for (int j = l - radius + 1; j <= l + radius; ++j)
            pick(to, in + static_cast<std::size_t>(std::clamp(j, 0, gh - 1)) * rowBytes, rowBytes);
    }
}

void LightLeveller::Close(int radius)
{
    // A dilation (the brightest of the window) then an erosion (the darkest),
    // each as a pass along the rows and one along the columns. The closing
    // keeps the edge of a shadow where it is.
    work_.resize(level_.size());
    ClosingPass<true>(level_.data(), work_.data(), gw_, gh_, radius, true, padded_);
    ClosingPass<true>(work_.data(), level_.data(), gw_, gh_, radius, false, padded_);
    ClosingPass<false>(level_.data(), work_.data(), gw_, gh_, radius, true, padded_);
    ClosingPass<false>(work_.data(), level_.data(), gw_, gh_, radius, false, padded_);
}

void LightLeveller::Gains()
{
    // The well-lit paper: nine blocks in ten are at most this bright.
    gain_.resize(level_.size());
    for (int c = 0; c < 3; ++c) {
        // Four interleaved counts: the paper's blocks share a level, and one
        // count would have each increment wait for the one before.
        int parts[4][256] = {}, histogram[256];
        std::size_t i = static_cast<std::size_t>(c);
        for (; i + 9 < level_.size(); i += 12) {
            ++parts[0][level_[i]];
            ++parts[1][level_[i + 3]];
            ++parts[2][level_[i + 6]];
            ++parts[3][level_[i + 9]];
        }
        for (; i < level_.size(); i += 3)
            ++parts[0][level_[i]];
        for (int v = 0; v < 256; ++v)
            histogram[v] = parts[0][v] + parts[1][v] + parts[2][v] + parts[3][v];
        // At least one block: a picture of a block or two would otherwise take 0 for its paper.
        const std::size_t want = std::max<std::size_t>(level_.size() / 3 * 9 / 10, 1);
        std::size_t seen = 0;
        int paper = 0;
        while (paper < 255 && (seen += static_cast<std::size_t>(histogram[paper])) < want)
            ++paper;
        paper_[c] = paper;
        // Between half and twice as bright: deep shade holds little but
        // noise. Sevenths of a bit, so that a byte times a gain fits 16 bits.
        // One division per level, not per block.
        uint16_t gainOf[256];
        for (int v = 0; v < 256; ++v) {
            if (histogram[v] == 0)
                continue; // no block's level: no division
            const int level = std::max(v, 1);
            gainOf[v] =
                static_cast<uint16_t>(std::clamp((paper * GainOne + level / 2) / level, GainOne / 2, 2 * GainOne));
        }
        for (i = static_cast<std::size_t>(c); i < level_.size(); i += 3)
            gain_[i] = gainOf[level_[i]];
    }
}

// GainsAtBlockRow's 3-byte pixels of `blocks` whole blocks from a block
// centre: each block's 8 pixels as 24 lanes of the same formula (x / 8 is
// x >> 3 for what is never negative), which the compiler vectorises; the
// pixel-by-pixel loop took a quarter of the levelling.
static void BlockGains3(const uint16_t* __restrict g, int blocks, uint16_t* __restrict out)
{
    constexpr int Block = LightLeveller::Block, Half = Block / 2;
    static_assert(Block == 8);
    constexpr uint8_t Weight[24] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7, 7};
    for (int bx = 0; bx < blocks; ++bx) {
        const uint16_t* l = g + bx * 3;
        uint16_t left[24], right[24];
        for (int k = 0; k < 24; k += 3)
            for (int c = 0; c < 3; ++c) {
                left[k + c] = l[c];
                right[k + c] = l[3 + c];
            }
        uint16_t* o = out + bx * 24;
        // Gains are at most 256: every step fits 16 bits, so the lanes can
        // be 16 bits wide.
        for (int k = 0; k < 24; ++k) {
            const auto a = static_cast<uint16_t>(left[k] * (Block - Weight[k]));
            const auto b = static_cast<uint16_t>(right[k] * Weight[k]);
            o[k] = static_cast<uint16_t>(static_cast<uint16_t>(a + b + Half) >> 3);
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
// BlockGains3 a block a vector where the processor has 512-bit vectors: the
// block's two gains per channel spread to its 24 lanes by one permute each.
// (The compiler's own vectors of the plain loop were slower than SSE2's.)
[[gnu::target("avx512f,avx512bw")]] static void BlockGains3Avx512(const uint16_t* g, int blocks, uint16_t* out)
{
    constexpr int Block = LightLeveller::Block, Half = Block / 2;
    static_assert(Block == 8);
    // Lane k (of 24) takes channel k % 3 of the left and right centres,
    // weighted by the pixel's distance k / 3 from the left one.
    alignas(64) static constexpr uint16_t Left[32] = {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2,
                                                      0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2};
    alignas(64) static constexpr uint16_t Right[32] = {3, 4, 5, 3, 4, 5, 3, 4, 5, 3, 4, 5,
                                                       3, 4, 5, 3, 4, 5, 3, 4, 5, 3, 4, 5};
    alignas(64) static constexpr uint16_t Weight[32] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3,
                                                        4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7, 7};
    const __m512i left = _mm512_load_si512(Left), right = _mm512_load_si512(Right);
    const __m512i toRight = _mm512_load_si512(Weight);
    const __m512i toLeft = _mm512_sub_epi16(_mm512_set1_epi16(Block), toRight);
    const __m512i half = _mm512_set1_epi16(Half);
    constexpr __mmask32 lanes = 0x00FFFFFF;
    for (int bx = 0; bx < blocks; ++bx) {
        // The six gains of the block's left and right centres (8 lanes loaded).
        const __m512i pair = _mm512_maskz_loadu_epi16(0x3F, g + bx * 3);
        const __m512i a = _mm512_mullo_epi16(_mm512_maskz_permutexvar_epi16(lanes, left, pair), toLeft);
        const __m512i b = _mm512_mullo_epi16(_mm512_maskz_permutexvar_epi16(lanes, right, pair), toRight);
        _mm512_mask_storeu_epi16(out + bx * 24, lanes,
                                 _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(a, b), half), 3));
    }
}
#endif

// One gain per byte of a picture row at block row `by`'s centre: linear
// between the blocks' centres, flat beyond the outer ones. The fourth byte of
// a 32-bit pixel keeps its value.
void LightLeveller::GainsAtBlockRow(int by, int width, int bpp, uint16_t* out) const
{
    constexpr int Half = Block / 2;
    const uint16_t* g = gain_.data() + static_cast<std::size_t>(by) * static_cast<std::size_t>(gw_) * 3;
    auto put = [&](int x, int g0, int g1, int g2) {
        uint16_t* o = out + static_cast<std::ptrdiff_t>(x) * bpp;
        o[0] = static_cast<uint16_t>(g0);
        o[1] = static_cast<uint16_t>(g1);
        o[2] = static_cast<uint16_t>(g2);
        if (bpp == 4)
            o[3] = GainOne;
    };
    const int lastCentre = (gw_ - 1) * Block + Half;
    int x = 0;
    for (; x < std::min(Half, width); ++x)
        put(x, g[0], g[1], g[2]);
    int bx = 0;
    if (bpp == 3) {
        const int blocks = std::max(0, std::min(gw_ - 1 - bx, (width - x) / Block));
#if defined(__x86_64__) || defined(__i386__)
        if (cpu::HasAvx512())
            BlockGains3Avx512(g + bx * 3, blocks, out + static_cast<std::ptrdiff_t>(x) * 3);
        else
#endif
            BlockGains3(g + bx * 3, blocks, out + static_cast<std::ptrdiff_t>(x) * 3);
        bx += blocks;
        x += blocks * Block;
    }
    for (; bx + 1 < gw_; ++bx) {
        const uint16_t* l = g + bx * 3;
        const uint16_t* r = l + 3;
        for (int wx = 0; wx < Block && x < width; ++wx, ++x)
            put(x, (l[0] * (Block - wx) + r[0] * wx + Half) / Block, (l[1] * (Block - wx) + r[1] * wx + Half) / Block,
                (l[2] * (Block - wx) + r[2] * wx + Half) / Block);
    }
    const uint16_t* e = g + (gw_ - 1) * 3;
    for (x = std::max(x, std::min(lastCentre, width)); x < width; ++x)
        put(x, e[0], e[1], e[2]);
}

#if defined(__x86_64__) || defined(__i386__)
// The gains of 16 bytes between the two block rows' gains.
[[gnu::target("avx2")]] static inline __m256i GainsAvx2(const uint16_t* a, const uint16_t* b, __m256i wa, __m256i wb)
{
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(x, wa), _mm256_mullo_epi16(z, wb)), 3);
}

// ScaleRows' pass 32 bytes at a time, the same arithmetic as its SSE2 loop;
// returns the bytes done.
[[gnu::target("avx2")]] static std::size_t ScaleRowAvx2(uint8_t* p, uint8_t* c, const uint16_t* a, const uint16_t* b,
                                                        uint16_t wa, uint16_t wb, int half, std::size_t rowBytes)
{
    const __m256i va = _mm256_set1_epi16(static_cast<short>(wa)), vb = _mm256_set1_epi16(static_cast<short>(wb));
    const __m256i round = _mm256_set1_epi16(static_cast<short>(half));
    std::size_t i = 0;
    for (; i + 32 <= rowBytes; i += 32) {
        const __m256i lo = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i))),
                                              GainsAvx2(a + i, b + i, va, vb));
        const __m256i hi =
            _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16))),
                               GainsAvx2(a + i + 16, b + i + 16, va, vb));
        // packus works within 128-bit halves and leaves the 8-byte quarters
        // as 0, 2, 1, 3: put back in order.
        const __m256i levelled = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_srli_epi16(_mm256_add_epi16(lo, round), 7),
                                _mm256_srli_epi16(_mm256_add_epi16(hi, round), 7)),
            0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), levelled);
        if (c)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + i), levelled);
    }
    return i;
}

// The gains of 32 bytes between the two block rows' gains.
[[gnu::target("avx512f,avx512bw")]] static inline __m512i GainsAvx512(const uint16_t* a, const uint16_t* b, __m512i wa,
                                                                     __m512i wb)
{
    const __m512i x = _mm512_loadu_si512(a);
    const __m512i z = _mm512_loadu_si512(b);
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(x, wa), _mm512_mullo_epi16(z, wb)), 3);
}

// ScaleRowAvx2 64 bytes at a time, where the processor has 512-bit vectors.
[[gnu::target("avx512f,avx512bw")]] static std::size_t ScaleRowAvx512(uint8_t* p, uint8_t* c, const uint16_t* a,
                                                                      const uint16_t* b, uint16_t wa, uint16_t wb,
                                                                      int half, std::size_t rowBytes)
{
    const __m512i va = _mm512_set1_epi16(static_cast<short>(wa)), vb = _mm512_set1_epi16(static_cast<short>(wb));
    const __m512i round = _mm512_set1_epi16(static_cast<short>(half));
    // packus works within 128-bit quarters, leaving the 8-byte eighths as
    // 0, 4, 1, 5, 2, 6, 3, 7: put back in order (the masked form: GCC 12's
    // unmasked one warns of an uninitialised register in its own header).
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    std::size_t i = 0;
    for (; i + 64 <= rowBytes; i += 64) {
        const __m512i lo =
            _mm512_mullo_epi16(_mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i))),
                               GainsAvx512(a + i, b + i, va, vb));
        const __m512i hi =
            _mm512_mullo_epi16(_mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32))),
                               GainsAvx512(a + i + 32, b + i + 32, va, vb));
        const __m512i levelled = _mm512_maskz_permutexvar_epi64(
            0xFF, order,
            _mm512_packus_epi16(_mm512_srli_epi16(_mm512_add_epi16(lo, round), 7),
                                _mm512_srli_epi16(_mm512_add_epi16(hi, round), 7)));
        _mm512_storeu_si512(p + i, levelled);
        if (c)
            _mm512_storeu_si512(c + i, levelled);
    }
    return i;
}
#endif

void LightLeveller::ScaleRows(const BitmapView& bmp, const BitmapView& copy)
{
    // Each row's gains lie between those of the two block rows around it;
    // those two are worked out once per block row, and a row's pass is then
    // one straight pass, sixteen bytes at a time.
    constexpr int Half = Block / 2;
    const int bpp = bmp.bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(bmp.width) * static_cast<std::size_t>(bpp);
    lowGain_.resize(rowBytes);
    highGain_.resize(rowBytes);
    int low = -1;
    for (int y = 0; y < bmp.height; ++y) {
        const int fy = std::clamp(y - Half, 0, (gh_ - 1) * Block);
        const int by = fy / Block, wy = fy - by * Block;
        if (by != low) {
            if (by == low + 1 && low >= 0)
                lowGain_.swap(highGain_);
            else
                GainsAtBlockRow(by, bmp.width, bpp, lowGain_.data());
            GainsAtBlockRow(std::min(by + 1, gh_ - 1), bmp.width, bpp, highGain_.data());
            low = by;
        }
        const uint16_t* a = lowGain_.data();
        const uint16_t* b = highGain_.data();
        const auto wa = static_cast<uint16_t>(Block - wy), wb = static_cast<uint16_t>(wy);
        uint8_t* p = bmp.Row(y);
        uint8_t* c = copy.Valid() ? copy.Row(y) : nullptr;
        std::size_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
        if (cpu::HasAvx512())
            i = ScaleRowAvx512(p, c, a, b, wa, wb, GainOne / 2, rowBytes);
        if (cpu::HasAvx2())
            i += ScaleRowAvx2(p + i, c ? c + i : nullptr, a + i, b + i, wa, wb, GainOne / 2, rowBytes - i);
#endif
#if defined(__SSE2__)
        // Gains are at most 256 and a byte times a gain fits 16 bits.
        const __m128i va = _mm_set1_epi16(static_cast<short>(wa)), vb = _mm_set1_epi16(static_cast<short>(wb));
        const __m128i round = _mm_set1_epi16(GainOne / 2), zero = _mm_setzero_si128();
        auto gains = [&](std::size_t k) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
            const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
            return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, va), _mm_mullo_epi16(z, vb)), 3);
        };
        for (; i + 16 <= rowBytes; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), gains(i));
            const __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), gains(i + 8));
            const __m128i levelled = _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(lo, round), 7),
                                                      _mm_srli_epi16(_mm_add_epi16(hi, round), 7));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), levelled);
            if (c)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), levelled);
        }
#endif
        for (; i < rowBytes; ++i) {
            const auto gain = static_cast<uint16_t>((a[i] * wa + b[i] * wb) >> 3);
            const auto v = static_cast<uint16_t>((p[i] * gain + GainOne / 2) >> 7);
            p[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
            if (c)
                c[i] = p[i];
        }
    }
}

// Each channel in 256ths of its paper level.
static void RelativeLevels(const int paper[3], int16_t (&relative)[3][256])
{
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            relative[c][v] = static_cast<int16_t>(std::min(v * 256 / std::max(paper[c], 1), 4 * 256));
}

// Whether a colour (B, G, R in 256ths of the paper's levels) lies between
// the paper and the card's own coloured print, `print` in the same measure:
// the print, its edges blurred into the paper, or the print made paler or
// deeper by the light. Skin is darker in the print's own channel than a
// print of its hue.
static bool PrintLike(int blue, int green, int red, const int* print)
{
    const int drop = (256 - print[0]) + (256 - print[1]) + (256 - print[2]);
    if (drop < 24)
        return false;
    const int depth = (256 - blue) + (256 - green) + (256 - red);
    // How far towards the print, in 256ths of the way: up to 1.6 times it.
    const int t = depth * 256 / drop;
    if (t < 0 || t > 410)
        return false;
    // The print's own channel (its brightest) stays close to the paper's
    // across the print's shades; the other two follow its depth loosely.
    const int c[3] = {blue, green, red};
    const int own = static_cast<int>(std::max_element(print, print + 3) - print);
    for (int k = 0; k < 3; ++k)
        if (std::abs(c[k] - (256 + t * (print[k] - 256) / 256)) > (k == own ? 16 : 36))
            return false;
    return true;
}

// Whether a B, G, R pixel is skin's against the paper's levels taken in
// RelativeLevels; never the card's own print where `print` is given.
static bool SkinAt(const int16_t (&relative)[3][256], const int* print, const uint8_t* p)
{
    const int b = relative[0][p[0]], g = relative[1][p[1]], r = relative[2][p[2]];
    return SkinColoured(b, g, r) && !(print && PrintLike(b, g, r, print));
}

// Skin pixels count only where the run of skin to their left and the run
// below them each reach this far: demosaicing and JPEG fringe the edges of
// marks and printed lines with strips one or two pixels wide.
constexpr int SkinReach = 2;

// SkinPixels' count over `s`, the pixels just outside it that its runs start
// from read from the picture. `runs` is scratch space.
static int SkinIn(const BitmapView& bmp, const RowSpan& s, const int16_t (&relative)[3][256], const int* print,
                  std::vector<uint8_t>& runs)
{
    constexpr int Enough = SkinReach + 1;
    const int xs = std::max(s.x0 - SkinReach, 0), ys = std::max(s.yLow - SkinReach, 0);
    // Per column, the skin pixels running up to this row; saturated.
    runs.assign(static_cast<std::size_t>(s.x1 - xs), 0);
    int skin = 0;
    for (int y = ys; y <= s.yHigh; ++y) {
        const uint8_t* p = bmp.At(xs, y);
        const bool inside = y >= s.yLow;
        int across = 0;
        for (int x = xs; x < s.x1; ++x, p += bmp.bytesPerPixel) {
            uint8_t& up = runs[static_cast<std::size_t>(x - xs)];
            if (!SkinAt(relative, print, p)) {
                across = 0;
                up = 0;
                continue;
            }
            across = std::min(across + 1, Enough);
            up = static_cast<uint8_t>(std::min(up + 1, Enough));
            skin += inside && x >= s.x0 && across == Enough && up == Enough;
        }
    }
    return skin;
}

int SkinPixels(const BitmapView& bmp, const ScanRect& r, const int paper[3])
{
    const RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty() || bmp.bytesPerPixel < 3)
        return 0;
    int16_t relative[3][256];
    RelativeLevels(paper, relative);
    std::vector<uint8_t> runs;
    return SkinIn(bmp, s, relative, nullptr, runs);
}

void SkinCounter::Begin(const BitmapView& levelled, const LightLeveller& leveller)
{
    bmp_ = levelled;
    leveller_ = &leveller;
    const int paper[3] = {leveller.PaperLevel(0), leveller.PaperLevel(1), leveller.PaperLevel(2)};
    RelativeLevels(paper, relative_);
    constexpr int Block = LightLeveller::Block;
    gw_ = levelled.Valid() ? (levelled.width + Block - 1) / Block : 0;
    gh_ = levelled.Valid() ? (levelled.height + Block - 1) / Block : 0;
    counts_.assign(static_cast<std::size_t>(gw_) * static_cast<std::size_t>(gh_), -1);
    hasPrint_ = false;
}

// Whether every other pixel of every other row of the span holds some
// skin's colour: nearly every block of a card holds none, and a thumb's
// patch shows on this grid; a block whose skin slips between its points
// holds a few counted pixels at most.
void SkinCounter::ExceptPrint(int blue, int green, int red)
{
    const int levels[3] = {blue, green, red};
    for (int c = 0; c < 3; ++c)
        print_[c] = relative_[c][std::clamp(levels[c], 0, 255)];
    hasPrint_ = true;
    std::fill(counts_.begin(), counts_.end(), int16_t{-1});
}

bool SkinCounter::AnySkinSampled(const RowSpan& s) const
{
    for (int y = s.yLow; y <= s.yHigh; y += 2) {
        const uint8_t* p = bmp_.At(s.x0, y);
        for (int x = s.x0; x < s.x1; x += 2, p += 2 * bmp_.bytesPerPixel)
            if (SkinAt(relative_, PrintOrNull(), p))
                return true;
    }
    return false;
}

int SkinCounter::In(const RowSpan& s)
{
    if (s.Empty() || !leveller_ || bmp_.bytesPerPixel < 3)
        return 0;
    constexpr int Block = LightLeveller::Block, Half = Block / 2;
    int skin = 0;
    for (int by = std::max((s.yLow - Half + Block - 1) / Block, 0); by < gh_ && by * Block + Half <= s.yHigh; ++by)
        for (int bx = std::max((s.x0 - Half + Block - 1) / Block, 0); bx < gw_ && bx * Block + Half < s.x1; ++bx) {
            const std::size_t b =
                static_cast<std::size_t>(by) * static_cast<std::size_t>(gw_) + static_cast<std::size_t>(bx);
            if (counts_[b] < 0) {
                const RowSpan block{by * Block, std::min((by + 1) * Block, bmp_.height) - 1, bx * Block,
                                    std::min((bx + 1) * Block, bmp_.width)};
                const uint8_t* own = leveller_->OwnBrightest(b);
                const bool skinBlock = own && SkinAt(relative_, PrintOrNull(), own);
                counts_[b] = static_cast<int16_t>(skinBlock               ? Block * Block
                                                  : AnySkinSampled(block) ? SkinIn(bmp_, block, relative_, PrintOrNull(), scratch_)
                                                                          : 0);
            }
            skin += counts_[b];
        }
    return skin;
}
