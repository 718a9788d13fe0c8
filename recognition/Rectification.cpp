#include "recognition/Rectification.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "recognition/CpuFeatures.h"
#include "recognition/PixelLanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// Where each pixel of card row fy lands in the turned picture: (wx, wy)
// truncated, wx = -1 outside it. Restrict promises the compiler that the
// buffers alias nothing, which its vectoriser needs at -O2.
// Eight pixels a vector with AVX2, sixteen with 512-bit vectors; the build
// forbids fused multiply-adds, so every product and sum is rounded as the
// scalar code rounds it.
SCORIVO_SIMD_CLONES static void LandingRow(const float* h, float fy, int32_t* __restrict wx,
                                           int32_t* __restrict wy)
{
    for (int x = 0; x < CardPictureSize; ++x) {
        const float fx = static_cast<float>(x);
        const float d = h[6] * fx + h[7] * fy + 1;
        const float mx = (h[0] * fx + h[1] * fy + h[2]) / d;
        const float my = (h[3] * fx + h[4] * fy + h[5]) / d;
        // trunc toward zero: (-1, 0) becomes 0 and is inside. Written
        // without branches so that the loop vectorises.
        const bool inside = (mx > -1.0f) & (mx < 800.0f) & (my > -1.0f) & (my < 800.0f);
        const int tx = static_cast<int>(inside ? mx : 0.0f), ty = static_cast<int>(inside ? my : 0.0f);
        wx[x] = inside ? tx : -1;
        wy[x] = ty;
    }
}

// What a card pixel copies, in place of its turned row: a byte offset into
// the colour frame, or one of these.
constexpr int32_t SkipPixel = -2;  // lands outside the turned picture: keeps what it held
constexpr int32_t WhitePixel = -1; // lands in the turned picture's white margin

struct TurnedRow32 {
    int32_t fx, fy, lo, hi;
};

static inline int32_t PixelCode(int32_t px, TurnedRow32 row, int32_t stepX, int32_t stepY, int32_t stride,
                                int32_t bpp)
{
    const int32_t offset = ((row.fy + px * stepY) >> 16) * stride + ((row.fx + px * stepX) >> 16) * bpp;
    const bool inside = px >= row.lo && px <= row.hi;
    return px < 0 ? SkipPixel : inside ? offset : WhitePixel;
}

// The codes of a run of card pixels that land in the same turned row, in
// 32-bit arithmetic (the caller has checked that nothing overflows): with
// the row's terms fixed the loop vectorises, where looking the row up pixel
// by pixel did not.
SCORIVO_SIMD_CLONES static void RunCodes(const int32_t* __restrict wx, int32_t* __restrict code,
                                         int n, TurnedRow32 row, int32_t stepX, int32_t stepY,
                                         int32_t stride, int32_t bpp)
{
    for (int k = 0; k < n; ++k)
        code[k] = PixelCode(wx[k], row, stepX, stepY, stride, bpp);
}

// The end of the run of equal values starting at wy[x] (the row's end at
// most). Four values per compare where SSE2 is there: the branchy scan took a
// fifth of the warp.
static int RunEnd(const int32_t* wy, int x, int32_t r)
{
    int end = x + 1;
#if defined(__SSE2__)
    const __m128i value = _mm_set1_epi32(r);
    for (; end + 4 <= CardPictureSize; end += 4) {
        const int equal = _mm_movemask_ps(
            _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wy + end)), value)));
        if (equal != 0xF)
            return end + std::countr_one(static_cast<unsigned>(equal));
    }
#endif
    while (end < CardPictureSize && wy[end] == r)
        ++end;
    return end;
}

// Whether RunCodes' 32-bit arithmetic holds every value of this warp: the
// turned rows' terms, the steps times a card column, and every offset.
static bool FitsInt32(const RotatedRow* rows, int64_t stepX, int64_t stepY, const BitmapView& colour)
{
    constexpr int64_t Limit = int64_t(1) << 30;
    if (stepX > 65536 || stepX < -65536 || stepY > 65536 || stepY < -65536 ||
        colour.SizeBytes() >= std::size_t(Limit))
        return false;
    for (int y = 0; y < CardPictureSize; ++y)
        if (rows[y].fx > Limit || rows[y].fx < -Limit || rows[y].fy > Limit || rows[y].fy < -Limit)
            return false;
    // |row term + px step| < 2^30 + 2^26, so a coordinate stays below 17408
    // in size and an offset below 17408 (stride + bpp), also for pixels that
    // land outside the frame and are not copied.
    const int64_t coordinate = (Limit + 1024 * 65536) >> 16;
    return coordinate * (int64_t(colour.stride) + colour.bytesPerPixel) < (int64_t(1) << 31);
}

static constexpr uint8_t White[4] = {255, 255, 255, 255};

#if defined(__x86_64__) || defined(__i386__)
// The copies of n coded 3-byte pixels one by one, for a vector's group with
// a pixel to skip among them; returns where the next pixel goes.
static uint8_t* CopyCodedOneByOne(const int32_t* code, int n, const uint8_t* base, uint8_t* out)
{
    for (int k = 0; k < n; ++k, out += 3)
        if (code[k] != SkipPixel)
            CopyPixel(out, code[k] == WhitePixel ? White : base + code[k], 3);
    return out;
}

// The copies of a card row of 3-byte pixels, eight pixels a gather: the
// scalar loop spent its time on the instructions around each 4-byte load,
// not on memory. A white pixel takes the gather's fallback value; eight
// pixels with one to skip among them go one by one. Every frame pixel's word
// is loaded whole, which the owned colour frame's slack allows. Returns the
// pixels done; the last few of the row are left to the caller.
[[gnu::target("avx2")]] static int CopyCodedRow3Avx2(const int32_t* code, const uint8_t* base,
                                                      std::ptrdiff_t ahead, uint8_t* out)
{
    const __m256i skip = _mm256_set1_epi32(SkipPixel);
    const __m256i white = _mm256_set1_epi32(-1);
    // Bytes 0-2 of each word, packed to the bottom of its 128-bit half, then
    // the halves' 12 bytes joined.
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    int x = 0;
    for (; x + 8 <= CardPictureSize; x += 8) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(code + x));
        const __m256i skipped = _mm256_cmpeq_epi32(c, skip);
        if (!_mm256_testz_si256(skipped, skipped)) {
            out = CopyCodedOneByOne(code + x, 8, base, out);
            continue;
        }
        if (code[x] >= 0)
            __builtin_prefetch(base + code[x] + ahead);
        if (code[x + 4] >= 0)
            __builtin_prefetch(base + code[x + 4] + ahead);
        // Lanes with a negative code (white) are not loaded.
        const __m256i inFrame = _mm256_cmpgt_epi32(c, white);
        if (_mm256_testz_si256(inFrame, inFrame)) { // all white: the margin beside the frame
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(white));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_castsi256_si128(white));
            out += 24;
            continue;
        }
        const __m256i words = _mm256_mask_i32gather_epi32(white, reinterpret_cast<const int*>(base), c, inFrame, 1);
        const __m256i pixels = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(words, pack), join);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(pixels));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(pixels, 1));
        out += 24;
    }
    return x;
}

// The sixteen 3-byte pixels coded `c` gathered to `out` (48 bytes), the
// lanes outside `inFrame` white: the 512-bit copies' fallback.
[[gnu::target("avx512f,avx512bw")]] static inline void GatherGroup512(__m512i c, __mmask16 inFrame,
                                                                     const uint8_t* base, uint8_t* out)
{
    // GCC 12's unmasked broadcasts, shifts and permutes of 512-bit vectors
    // warn of an uninitialised register inside its own header: the
    // all-lanes masked forms here do the same.
    const __m512i pack = _mm512_setr4_epi32(0x04020100, 0x09080605, 0x0E0D0C0A, -1);
    const __m512i join = _mm512_setr_epi32(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 3, 7, 11, 15);
    const __m512i words = _mm512_mask_i32gather_epi32(_mm512_set1_epi32(-1), inFrame, c, base, 1);
    const __m512i pixels = _mm512_maskz_permutexvar_epi32(0xFFFF, join, _mm512_shuffle_epi8(words, pack));
    _mm512_mask_storeu_epi32(out, 0x0FFF, pixels);
}

// CopyCodedRow3Avx2 sixteen pixels a gather, where the processor has 512-bit
// vectors. The row's length is a multiple of sixteen, so it does the whole row.
[[gnu::target("avx512f,avx512bw")]] static int CopyCodedRow3Avx512(const int32_t* code, const uint8_t* base,
                                                                   std::ptrdiff_t ahead, uint8_t* out)
{
    const __m512i skip = _mm512_set1_epi32(SkipPixel);
    const __m512i white = _mm512_set1_epi32(-1);
    int x = 0;
    for (; x + 16 <= CardPictureSize; x += 16) {
        const __m512i c = _mm512_loadu_si512(code + x);
        if (_mm512_cmpeq_epi32_mask(c, skip) != 0) {
            out = CopyCodedOneByOne(code + x, 16, base, out);
            continue;
        }
        // Two asks for the sixteen pixels (about seven frame pixels): four
        // made the warp about 3 % slower.
        if (code[x] >= 0)
            __builtin_prefetch(base + code[x] + ahead);
        if (code[x + 8] >= 0)
            __builtin_prefetch(base + code[x + 8] + ahead);
        const __mmask16 inFrame = _mm512_cmpgt_epi32_mask(c, white);
        if (inFrame == 0) { // all white: the margin beside the frame
            _mm512_mask_storeu_epi32(out, 0x0FFF, white);
            out += 48;
            continue;
        }
        GatherGroup512(c, inFrame, base, out);
        out += 48;
    }
    return x;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// CopyCodedRow3Avx512 for processors with byte permutes across a whole
// register (VBMI): sixteen card pixels nearly always come from one or two
// neighbouring frame rows within 64 bytes of the first pixel's, so two loads
// and a permute take them where a gather of sixteen words was the copy's
// cost. A group that does not fit (or whose loads would leave the frame's
// `frameBytes`) is gathered. `rowStep` is the byte step to the frame row the
// group moves to as it goes (up or down with the turn).
[[gnu::target("avx512f,avx512bw,avx512vbmi")]] static int CopyCodedRow3Vbmi(const int32_t* code, const uint8_t* base,
                                                                            std::ptrdiff_t ahead, int32_t rowStep,
                                                                            int32_t frameBytes, uint8_t* out)
{
    const __m512i skip = _mm512_set1_epi32(SkipPixel);
    const __m512i white = _mm512_set1_epi32(-1);
    // Each pixel's window offset (the low byte of its lane) to its three
    // bytes, plus 0, 1, 2.
    alignas(64) static constexpr uint8_t ChannelBytes[64] = {
        0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1,
        2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const __m512i spread = _mm512_load_si512(LanePixelBytes), channel = _mm512_load_si512(ChannelBytes);
    const __m512i last = _mm512_set1_epi32(61); // a window offset whose three bytes lie in its 64
    const __m512i second = _mm512_set1_epi32(64), step = _mm512_set1_epi32(rowStep);
    int x = 0;
    for (; x + 16 <= CardPictureSize; x += 16, out += 48) {
        const __m512i c = _mm512_loadu_si512(code + x);
        if (_mm512_cmpeq_epi32_mask(c, skip) != 0) {
            CopyCodedOneByOne(code + x, 16, base, out);
            continue;
        }
        const __mmask16 inFrame = _mm512_cmpgt_epi32_mask(c, white);
        if (inFrame == 0) { // all white: the margin beside the frame
            _mm512_mask_storeu_epi32(out, 0x0FFF, white);
            continue;
        }
        if (code[x] >= 0)
            __builtin_prefetch(base + code[x] + ahead);
        if (code[x + 8] >= 0)
            __builtin_prefetch(base + code[x + 8] + ahead);
        const int32_t first = code[x];
        if (inFrame == 0xFFFF && first + rowStep >= 0 && first + 64 <= frameBytes &&
            first + rowStep + 64 <= frameBytes) {
            const __m512i fromFirst = _mm512_sub_epi32(c, _mm512_set1_epi32(first));
            const __m512i fromNext = _mm512_sub_epi32(fromFirst, step);
            const __mmask16 inA = _mm512_cmple_epu32_mask(fromFirst, last);
            const __mmask16 inB = _mm512_cmple_epu32_mask(fromNext, last);
            if (static_cast<__mmask16>(inA | inB) == 0xFFFF) {
                const __m512i offsets =
                    _mm512_mask_add_epi32(fromFirst, static_cast<__mmask16>(~inA), fromNext, second);
                const __m512i index =
                    _mm512_add_epi8(_mm512_maskz_permutexvar_epi8(~0ull, spread, offsets), channel);
                const __m512i a = _mm512_loadu_si512(base + first);
                const __m512i b = _mm512_loadu_si512(base + first + rowStep);
                _mm512_mask_storeu_epi32(out, 0x0FFF, _mm512_permutex2var_epi8(a, index, b));
                continue;
            }
        }
        GatherGroup512(c, inFrame, base, out);
    }
    return x;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// LandingRow and RunCodes in one pass, eight card pixels a vector, for 24-bit
// frames whose warp fits RunCodes' 32 bits: no landings stored and read back,
// no runs scanned and called one by one (about 7 % off the warp). Eight
// neighbouring pixels nearly always land in one turned row, whose terms are
// then broadcast; a group that straddles rows is coded pixel by pixel.
// Products and sums are rounded one by one, in the order LandingRow writes
// them (no FMA), so every code is the same. The two divisions stay: a
// reciprocal is not exact, and checking where it might truncate otherwise
// cost more than the divisions on our cards, whose landings often fall on
// whole numbers.
[[gnu::target("avx2")]] static void LandAndCodeRowAvx2(const float* h, float fy, const TurnedRow32* rows,
                                                       int32_t stepX, int32_t stepY, int32_t stride,
                                                       int32_t* __restrict code, int from, int to)
{
    const __m256 h0 = _mm256_set1_ps(h[0]), h3 = _mm256_set1_ps(h[3]), h6 = _mm256_set1_ps(h[6]);
    const __m256 h1fy = _mm256_set1_ps(h[1] * fy), h4fy = _mm256_set1_ps(h[4] * fy), h7fy = _mm256_set1_ps(h[7] * fy);
    const __m256 h2 = _mm256_set1_ps(h[2]), h5 = _mm256_set1_ps(h[5]), one = _mm256_set1_ps(1.0f);
    const __m256 below = _mm256_set1_ps(-1.0f), above = _mm256_set1_ps(800.0f), eight = _mm256_set1_ps(8.0f);
    const __m256i minusOne = _mm256_set1_epi32(-1), skip = _mm256_set1_epi32(SkipPixel),
                  white = _mm256_set1_epi32(WhitePixel);
    const __m256i vStepX = _mm256_set1_epi32(stepX), vStepY = _mm256_set1_epi32(stepY),
                  vStride = _mm256_set1_epi32(stride);
    __m256 fx = _mm256_add_ps(_mm256_set1_ps(static_cast<float>(from)), _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7));
    for (int x = from; x < to; x += 8, fx = _mm256_add_ps(fx, eight)) {
        const __m256 d = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(h6, fx), h7fy), one);
        const __m256 nx = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(h0, fx), h1fy), h2);
        const __m256 ny = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(h3, fx), h4fy), h5);
        const __m256 mx = _mm256_div_ps(nx, d);
        const __m256 my = _mm256_div_ps(ny, d);
        const __m256 inside = _mm256_and_ps(
            _mm256_and_ps(_mm256_cmp_ps(mx, below, _CMP_GT_OQ), _mm256_cmp_ps(mx, above, _CMP_LT_OQ)),
            _mm256_and_ps(_mm256_cmp_ps(my, below, _CMP_GT_OQ), _mm256_cmp_ps(my, above, _CMP_LT_OQ)));
        // Outside: px = -1 and turned row 0, as LandingRow writes them.
        const __m256i px = _mm256_or_si256(_mm256_cvttps_epi32(_mm256_and_ps(mx, inside)),
                                           _mm256_andnot_si256(_mm256_castps_si256(inside), minusOne));
        const __m256i ty = _mm256_cvttps_epi32(_mm256_and_ps(my, inside));
        const int32_t r = _mm_cvtsi128_si32(_mm256_castsi256_si128(ty));
        if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(ty, _mm256_set1_epi32(r)))) != 0xFF) {
            alignas(32) int32_t pxs[8], tys[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(pxs), px);
            _mm256_store_si256(reinterpret_cast<__m256i*>(tys), ty);
            for (int k = 0; k < 8; ++k)
                code[x + k] = PixelCode(pxs[k], rows[tys[k]], stepX, stepY, stride, 3);
            continue;
        }
        const TurnedRow32 row = rows[r];
        const __m256i yTerm = _mm256_srai_epi32(_mm256_add_epi32(_mm256_set1_epi32(row.fy), _mm256_mullo_epi32(px, vStepY)), 16);
        const __m256i xTerm = _mm256_srai_epi32(_mm256_add_epi32(_mm256_set1_epi32(row.fx), _mm256_mullo_epi32(px, vStepX)), 16);
        const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(yTerm, vStride),
                                                _mm256_add_epi32(xTerm, _mm256_add_epi32(xTerm, xTerm)));
        const __m256i out = _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(row.lo), px),
                                            _mm256_cmpgt_epi32(px, _mm256_set1_epi32(row.hi)));
        const __m256i coded = _mm256_blendv_epi8(offset, white, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(code + x),
                            _mm256_blendv_epi8(coded, skip, _mm256_cmpgt_epi32(_mm256_setzero_si256(), px)));
    }
}

// The codes of the lanes in `lanes`, all landing in turned row `row`.
[[gnu::target("avx512f,avx512bw")]] static inline __m512i CodeLanes512(__m512i codes, __mmask16 lanes, __m512i px,
                                                                      TurnedRow32 row, __m512i stepX, __m512i stepY,
                                                                      __m512i stride)
{
    const __m512i yTerm = _mm512_maskz_srai_epi32(
        0xFFFF, _mm512_add_epi32(_mm512_set1_epi32(row.fy), _mm512_mullo_epi32(px, stepY)), 16);
    const __m512i xTerm = _mm512_maskz_srai_epi32(
        0xFFFF, _mm512_add_epi32(_mm512_set1_epi32(row.fx), _mm512_mullo_epi32(px, stepX)), 16);
    const __m512i offset =
        _mm512_add_epi32(_mm512_mullo_epi32(yTerm, stride), _mm512_add_epi32(xTerm, _mm512_add_epi32(xTerm, xTerm)));
    const __mmask16 margin = _mm512_cmplt_epi32_mask(px, _mm512_set1_epi32(row.lo)) |
                             _mm512_cmpgt_epi32_mask(px, _mm512_set1_epi32(row.hi));
    return _mm512_mask_mov_epi32(codes, lanes, _mm512_mask_mov_epi32(offset, margin, _mm512_set1_epi32(WhitePixel)));
}

// LandAndCodeRowAvx2 sixteen card pixels a vector, where the processor has
// 512-bit vectors (with the sixteen-pixel copies, about a quarter off the
// warp). A group that straddles
// turned rows is coded row by row under lane masks rather than pixel by
// pixel; lanes that land outside are skipped whatever row they name.
[[gnu::target("avx512f,avx512bw")]] static void LandAndCodeRowAvx512(const float* h, float fy, const TurnedRow32* rows,
                                                                    int32_t stepX, int32_t stepY, int32_t stride,
                                                                    int32_t* __restrict code, int from, int to)
{
    const __m512 h0 = _mm512_set1_ps(h[0]), h3 = _mm512_set1_ps(h[3]), h6 = _mm512_set1_ps(h[6]);
    const __m512 h1fy = _mm512_set1_ps(h[1] * fy), h4fy = _mm512_set1_ps(h[4] * fy), h7fy = _mm512_set1_ps(h[7] * fy);
    const __m512 h2 = _mm512_set1_ps(h[2]), h5 = _mm512_set1_ps(h[5]), one = _mm512_set1_ps(1.0f);
    const __m512 sixteen = _mm512_set1_ps(16.0f);
    const __m512i skip = _mm512_set1_epi32(SkipPixel), last = _mm512_set1_epi32(CardPictureSize - 1);
    const __m512i vStepX = _mm512_set1_epi32(stepX), vStepY = _mm512_set1_epi32(stepY),
                  vStride = _mm512_set1_epi32(stride);
    __m512 fx = _mm512_add_ps(_mm512_set1_ps(static_cast<float>(from)),
                              _mm512_setr_ps(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    for (int x = from; x < to; x += 16, fx = _mm512_add_ps(fx, sixteen)) {
        // Products and sums stay apart: the build keeps the compiler from
        // fusing them here, where 512-bit vectors bring fused multiply-adds.
        const __m512 d = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(h6, fx), h7fy), one);
        const __m512 nx = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(h0, fx), h1fy), h2);
        const __m512 ny = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(h3, fx), h4fy), h5);
        const __m512 mx = _mm512_div_ps(nx, d);
        const __m512 my = _mm512_div_ps(ny, d);
        // A landing lies inside (-1, 800) exactly when it truncates to 0 .. 799:
        // -1 and below truncate below 0, and what is too large (or no
        // number) to the integer 0x80000000. Outside lanes are never read.
        const __m512i px = _mm512_maskz_cvttps_epi32(0xFFFF, mx);
        const __m512i ty = _mm512_maskz_cvttps_epi32(0xFFFF, my);
        const __mmask16 inside = _mm512_mask_cmple_epu32_mask(_mm512_cmple_epu32_mask(px, last), ty, last);
        // Nearly always every lane lands, in the first lane's turned row:
        // that row is read from the register, not through memory.
        const int32_t first = _mm512_cvtsi512_si32(ty);
        if (inside == 0xFFFF && _mm512_cmpeq_epi32_mask(ty, _mm512_set1_epi32(first)) == 0xFFFF) {
            _mm512_storeu_si512(code + x, CodeLanes512(skip, 0xFFFF, px, rows[first], vStepX, vStepY, vStride));
            continue;
        }
        alignas(64) int32_t tys[16];
        _mm512_store_si512(tys, ty);
        __m512i codes = skip;
        for (__mmask16 left = inside; left != 0;) {
            const int32_t r = tys[std::countr_zero(static_cast<unsigned>(left))];
            const __mmask16 lanes = _mm512_mask_cmpeq_epi32_mask(left, ty, _mm512_set1_epi32(r));
            codes = CodeLanes512(codes, lanes, px, rows[r], vStepX, vStepY, vStride);
            left = static_cast<__mmask16>(left & ~lanes);
        }
        _mm512_storeu_si512(code + x, codes);
    }
}
#endif

// One card row pixel by pixel in 64-bit arithmetic, for warps whose values
// do not fit RunCodes' 32 bits (no camera frame comes near).
static void CopyLandedRow(const int32_t* wx, const int32_t* wy, const RotatedRow* rows, int64_t stepX, int64_t stepY,
                          const uint8_t* base, std::ptrdiff_t stride, std::ptrdiff_t from, std::ptrdiff_t to,
                          uint8_t* out)
{
    const int copied = static_cast<int>(std::min(from, to));
    for (int x = 0; x < CardPictureSize; ++x, out += to) {
        const int px = wx[x];
        if (px < 0)
            continue;
        const RotatedRow& row = rows[wy[x]];
        const uint8_t* const p =
            px < row.lo || px > row.hi
                ? White
                : base + ((row.fy + px * stepY) >> 16) * stride + ((row.fx + px * stepX) >> 16) * from;
        CopyPixel(out, p, copied);
        if (to == 4 && from == 3)
            out[3] = 255;
    }
}

// The card columns where every constraint a x + b >= 0 kept so far holds.
struct ColumnSpan {
    double lo = -HUGE_VAL, hi = HUGE_VAL;

    void Keep(double a, double b)
    {
        if (a > 0)
            lo = std::max(lo, -b / a);
        else if (a < 0)
            hi = std::min(hi, -b / a);
        else if (b < 0)
            lo = HUGE_VAL;
    }
};

// Where a card row's landings surely fall in the turned picture's white
// margin, worked out in double precision with a margin of frame pixels
// (the truncations and the 16.16 rounding move a landing by less than two),
// so that those groups of pixels are written white without landing each one.
// Along a card row the landings lie on one straight line, and the turned
// picture and the frame's place in it are convex: the columns inside each
// are one span.
class MarginPlan {
public:
    static constexpr int Group = 16; // the widest landing pass's vector
    static constexpr int Margin = 4;

    MarginPlan(const float* h, const RotatedRow* rows, int64_t stepX, int64_t stepY, int width, int height)
        : stepX_(static_cast<double>(stepX)), stepY_(static_cast<double>(stepY)), width_(width), height_(height)
    {
        for (int k = 0; k < 8; ++k) {
            h_[k] = h[k];
            usable_ = usable_ && std::isfinite(h_[k]);
        }
        // The turned rows' 16.16 frame positions are affine in the row.
        constexpr int last = CardPictureSize - 1;
        fx0_ = static_cast<double>(rows[0].fx);
        fy0_ = static_cast<double>(rows[0].fy);
        rowFx_ = static_cast<double>(rows[last].fx - rows[0].fx) / last;
        rowFy_ = static_cast<double>(rows[last].fy - rows[0].fy) / last;
    }

    // The first and last group of card row y written white, twice (left and
    // right of the frame); empty pairs have first > last.
    void Row(int y, int first[2], int last[2]) const
    {
        first[0] = first[1] = 0;
        last[0] = last[1] = -1;
        if (!usable_)
            return;
        const double fy = y;
        // Numerators and denominator of the landing, as a x + b.
        const double da = h_[6], db = h_[7] * fy + 1;
        const double xa = h_[0], xb = h_[1] * fy + h_[2];
        const double ya = h_[3], yb = h_[4] * fy + h_[5];
        if (!(db > 1e-3 && da * (CardPictureSize - 1) + db > 1e-3))
            return; // the row crosses the mapping's horizon: land every pixel
        constexpr double m = Margin;
        ColumnSpan picture; // landing strictly inside the turned picture
        picture.Keep(xa - (m - 1) * da, xb - (m - 1) * db);
        picture.Keep((CardPictureSize - m) * da - xa, (CardPictureSize - m) * db - xb);
        picture.Keep(ya - (m - 1) * da, yb - (m - 1) * db);
        picture.Keep((CardPictureSize - m) * da - ya, (CardPictureSize - m) * db - yb);
        // 65536 times the frame position, times the denominator.
        const double sxa = fx0_ * da + rowFx_ * ya + stepX_ * xa, sxb = fx0_ * db + rowFx_ * yb + stepX_ * xb;
        const double sya = fy0_ * da + rowFy_ * ya + stepY_ * xa, syb = fy0_ * db + rowFy_ * yb + stepY_ * xb;
        constexpr double one = 65536;
        ColumnSpan frame; // landing within the margin of the frame
        frame.Keep(sxa + m * one * da, sxb + m * one * db);
        frame.Keep((width_ + m) * one * da - sxa, (width_ + m) * one * db - sxb);
        frame.Keep(sya + m * one * da, syb + m * one * db);
        frame.Keep((height_ + m) * one * da - sya, (height_ + m) * one * db - syb);
        // Groups wholly inside the picture and wholly beside the frame.
        const double lo = std::max(picture.lo, 0.0), hi = std::min(picture.hi, double(CardPictureSize));
        if (!(lo <= hi))
            return;
        const int g0 = static_cast<int>(std::ceil(lo / Group));
        const int g1 = static_cast<int>(std::floor((hi + 1) / Group)) - 1; // its last pixel at or before hi
        first[0] = g0;
        last[0] = g1;
        if (frame.lo > frame.hi)
            return; // the row's landings pass beside the frame
        // Left of it: the group's last pixel before frame.lo; right of it:
        // the first pixel after frame.hi.
        const double clampedLo = std::clamp(frame.lo, -1.0 * Group, double(CardPictureSize + Group));
        const double clampedHi = std::clamp(frame.hi, -1.0 * Group, double(CardPictureSize + Group));
        last[0] = std::min(g1, static_cast<int>(std::floor(clampedLo / Group)) - 1);
        first[1] = std::max(g0, static_cast<int>(std::floor(clampedHi / Group)) + 1);
        last[1] = g1;
    }

private:
    double h_[8];
    double stepX_, stepY_, fx0_ = 0, fy0_ = 0, rowFx_ = 0, rowFy_ = 0;
    int width_, height_;
    bool usable_ = true;
};

// The card picture is the colour frame turned by -theta (so that the bottom
// line lies level) into a white 800 x 800 picture, then warped: every card
// pixel takes the turned pixel its mapping lands on, and pixels that land
// outside the turned picture keep what they held. The turned picture is
// never needed as a whole, so each card pixel reads its turned pixel straight
// from the colour frame with the same row arithmetic RotateImage draws with;
// the result is the same to the byte, without two passes over 800 x 800.
// Each card row is smoothed (and copied to CheckCard) as soon as the row above
// it is written, while both are still in cache.
static void WarpTurnedFrame(RecognitionContext& ctx, const Rotation& rot, CheckCardCopy copy)
{
    const BitmapView colour = ctx.ColourFrame.View();
    const BitmapView card = ctx.RectifiedCard.View();
    const RotationRows turned(rot, colour.width, colour.height, CardPictureSize);
    for (int y = 0; y < CardPictureSize; ++y)
        ctx.TurnedRows[static_cast<std::size_t>(y)] = turned.Row(y);
    const int64_t stepX = turned.stepX, stepY = turned.stepY;
    const uint8_t* const base = colour.base;
    const std::ptrdiff_t stride = colour.stride, from = colour.bytesPerPixel, to = card.bytesPerPixel;
    const float* const h = ctx.Placement.toPicture.h;
    int32_t* const wx = ctx.WarpX.data();
    int32_t* const wy = ctx.WarpY.data();
    const RotatedRow* const rows = ctx.TurnedRows.data();
    const bool words = from == 3 && to == 3;
#if defined(__x86_64__) || defined(__i386__)
    const bool gather = words && cpu::HasAvx2();
    const bool wide = gather && cpu::HasAvx512();
    // The permuted copies' loads stay inside the frame (32-bit offsets, as
    // the codes are).
    const bool permute = wide && cpu::HasAvx512Vbmi() && colour.SizeBytes() < (std::size_t(1) << 30);
    const auto rowStep = static_cast<int32_t>(stepY >= 0 ? stride : -stride);
    const auto frameBytes = static_cast<int32_t>(std::min(colour.SizeBytes(), std::size_t(1) << 30));
#endif
    const int copied = static_cast<int>(std::min(from, to));
    // The turn keeps the picture nearly level, so the card row a few rows up
    // reads the colour frame a few rows up: asking for those lines now hides
    // most of the waits for memory (the colour frame is larger than this
    // core's share of the cache); about a third faster.
    const std::ptrdiff_t ahead = 4 * stride;
    if (copy == CheckCardCopy::Smoothed)
        ctx.CheckCard.Reset(card.width, card.height, card.bytesPerPixel);
    ctx.Smoothing.Begin(card, copy == CheckCardCopy::Smoothed ? ctx.CheckCard.View() : BitmapView{});
    const bool narrow = FitsInt32(rows, stepX, stepY, colour);
#if defined(__x86_64__) || defined(__i386__)
    const bool fused = gather && narrow;
    std::array<TurnedRow32, CardPictureSize> rows32;
    const MarginPlan plan(h, rows, stepX, stepY, colour.width, colour.height);
    if (fused)
        for (int y = 0; y < CardPictureSize; ++y)
            rows32[static_cast<std::size_t>(y)] = {static_cast<int32_t>(rows[y].fx), static_cast<int32_t>(rows[y].fy),
                                                   rows[y].lo, rows[y].hi};
#endif
    for (int y = 0; y < CardPictureSize; ++y) {
        uint8_t* out = card.Row(y);
#if defined(__x86_64__) || defined(__i386__)
        if (fused) {
            // The groups beside the frame are coded white; the rest landed.
            int first[2], last[2];
            plan.Row(y, first, last);
            auto land = [&](int from, int to) {
                if (from >= to)
                    return;
                if (wide)
                    LandAndCodeRowAvx512(h, static_cast<float>(y), rows32.data(), static_cast<int32_t>(stepX),
                                         static_cast<int32_t>(stepY), static_cast<int32_t>(stride), wy, from, to);
                else
                    LandAndCodeRowAvx2(h, static_cast<float>(y), rows32.data(), static_cast<int32_t>(stepX),
                                       static_cast<int32_t>(stepY), static_cast<int32_t>(stride), wy, from, to);
            };
            int x = 0;
            for (int k = 0; k < 2; ++k) {
                if (first[k] > last[k])
                    continue;
                const int from = std::max(first[k] * MarginPlan::Group, x), to = (last[k] + 1) * MarginPlan::Group;
                land(x, from);
                if (to > from)
                    std::fill(wy + from, wy + to, WhitePixel);
                x = std::max(x, to);
            }
            land(x, CardPictureSize);
        } else
#endif
        {
            LandingRow(h, static_cast<float>(y), wx, wy);
            if (!narrow) {
                CopyLandedRow(wx, wy, rows, stepX, stepY, base, stride, from, to, out);
                ctx.Smoothing.RowReady(y);
                continue;
            }
            // The turned row changes only a few times along a card row: the
            // row's codes run by run, written over wy (each run's row is read
            // first).
            for (int x = 0; x < CardPictureSize;) {
                const int r = wy[x];
                const int end = RunEnd(wy, x, r);
                const RotatedRow& row = rows[r];
                RunCodes(wx + x, wy + x, end - x,
                         {static_cast<int32_t>(row.fx), static_cast<int32_t>(row.fy), row.lo, row.hi},
                         static_cast<int32_t>(stepX), static_cast<int32_t>(stepY), static_cast<int32_t>(stride),
                         static_cast<int32_t>(from));
                x = end;
            }
        }
        // The copies. A 24-bit pixel is written as one 4-byte word when its
        // right neighbour is written next anyway; owned bitmaps have the
        // slack to load it.
        int x = 0;
#if defined(__x86_64__) || defined(__i386__)
        if (gather) {
            x = permute ? CopyCodedRow3Vbmi(wy, base, ahead, rowStep, frameBytes, out)
                : wide    ? CopyCodedRow3Avx512(wy, base, ahead, out)
                          : CopyCodedRow3Avx2(wy, base, ahead, out);
            out += x * 3;
        }
#endif
        for (; x < CardPictureSize; ++x, out += to) {
            const int32_t c = wy[x];
            if (c == SkipPixel)
                continue;
            const uint8_t* const p = c == WhitePixel ? White : base + c;
            // A line holds about 20 pixels: every fourth pixel asks. Asking
            // for every pixel filled the queue of outstanding requests.
            if ((x & 3) == 0)
                __builtin_prefetch(p + ahead);
            if (words && x + 1 < CardPictureSize && wy[x + 1] != SkipPixel) {
                uint32_t word;
                std::memcpy(&word, p, 4);
                std::memcpy(out, &word, 4);
                continue;
            }
            CopyPixel(out, p, copied);
            if (to == 4 && from == 3)
                out[3] = 255; // as the white picture it was drawn into
        }
        ctx.Smoothing.RowReady(y);
    }
    ctx.Smoothing.End();
}

void RectifyCard(RecognitionContext& ctx, CheckCardCopy copy)
{
    const CardTemplate& t = ctx.Template;
    const BitmapView colour = ctx.ColourFrame.View();
    const int W = colour.width, H = colour.height;
    const LineEnds& e = ctx.Ends;

    const Rotation rot = Rotation::For(e.bottom.angle, W, H, CardPictureSize);

    CardPlacement& pl = ctx.Placement;
    const PointI frame[4] = {{0, 0}, {W, 0}, {W, H}, {0, H}};
    for (int k = 0; k < 4; ++k)
        pl.frameCorners[k] = RotatePoint(rot, frame[k]);
    const PointI A = RotatePoint(rot, e.bottomLeft);
    const PointI B = RotatePoint(rot, e.bottomRight);
    const PointI C = RotatePoint(rot, e.topLeft);
    const PointI D = RotatePoint(rot, e.topRight);

    CardGeometry& g = ctx.Geometry;
    g.s = SaneFloat(static_cast<float>(B.x - A.x) / t.LineLength, 1e4f);
    g.sx = SaneFloat(g.s * t.CellWidth, 1e4f);
    g.sy = SaneFloat(g.s * t.CellHeight, 1e4f);
    g.I1 = A;
    g.I2 = B;
    g.I3 = {A.x, static_cast<int>(SaneFloat(static_cast<float>(A.y) + g.s * t.LineDistance + 0.5f))};
    g.I4 = {B.x, static_cast<int>(SaneFloat(static_cast<float>(B.y) + g.s * t.LineDistance + 0.5f))};

    const PointI ideal[4] = {g.I1, g.I2, g.I3, g.I4};
    const PointI seen[4] = {A, B, C, D};
    pl.toPicture = ProjectiveMap::FromPoints(ideal, seen);
    WarpTurnedFrame(ctx, rot, copy);

    g.X0 = SaneFloat(static_cast<float>(g.I1.x) + t.OriginOffset * g.s + 1);
    g.Y0 = static_cast<float>(g.I3.y);

    // The warp has smoothed the card, and CheckCard is its exact copy if asked for.

    pl.toCard = ProjectiveMap::FromPoints(seen, ideal);
    for (int k = 0; k < 4; ++k)
        pl.covered[k] = MapPoint(pl.toCard, pl.frameCorners[k]);

    pl.lowerLeft = {static_cast<int>(static_cast<float>(g.I1.x) - 1.5f * g.sx),
                    static_cast<int>(static_cast<float>(g.I1.y) - g.sy)};
    pl.lowerRight = {static_cast<int>(static_cast<float>(g.I2.x) + 1.5f * g.sx), pl.lowerLeft.y};
    pl.upperLeft = {pl.lowerLeft.x, static_cast<int>(static_cast<float>(g.I3.y) + 12 * g.sy)};
    pl.upperRight = {pl.lowerRight.x, pl.upperLeft.y};
}

PointF CardToFrame(const RecognitionContext& ctx, PointF p)
{
    const float* h = ctx.Placement.toPicture.h;
    const float d = h[6] * p.x + h[7] * p.y + 1;
    const double tx = (h[0] * p.x + h[1] * p.y + h[2]) / d;
    const double ty = (h[3] * p.x + h[4] * p.y + h[5]) / d;
    // RotatePoint backwards: it adds the offset and one pixel after turning.
    const Rotation r =
        Rotation::For(ctx.Ends.bottom.angle, ctx.ColourFrame.Width(), ctx.ColourFrame.Height(), CardPictureSize);
    const double u = tx - 1 - r.cx - r.ox, v = ty - 1 - r.cy - r.oy;
    return {static_cast<float>(r.cx + u * r.cosT - v * r.sinT), static_cast<float>(r.cy + u * r.sinT + v * r.cosT)};
}

void LayOutDigitGrid(const CardGeometry& g, float firstCol, float topRow, int columns, int rows, DigitGrid& grid)
{
    grid.columns = std::clamp(columns, 0, DigitGrid::MaxColumns);
    grid.rows = std::clamp(rows, 0, card_limits::MaxColumnRows);
    for (int i = 0; i < grid.columns; ++i)
        for (int j = 0; j < grid.rows; ++j)
            grid.corner[i][j] = {SaneFloat(g.X0 + g.sx * (firstCol + static_cast<float>(i))),
                                 SaneFloat(g.Y0 + g.sy * topRow - g.sy * static_cast<float>(j))};
}

void LevelCardLight(RecognitionContext& ctx)
{
    // CheckCard receives the levelled card in the same pass.
    const Bitmap& card = ctx.RectifiedCard;
    ctx.CheckCard.Reset(card.Width(), card.Height(), card.BytesPerPixel());
    ctx.Levelling.Apply(card.View(), ctx.CheckCard.View());
    ctx.Skin.Begin(card.View(), ctx.Levelling);
}

void DrawGreyReferenceFrame(RecognitionContext& ctx, float x0, float y0)
{
    int e = 0;
    if (ctx.IsJd())
        e = ctx.LastThreshold - (ctx.CheckCardColour && ctx.GreyMode != GreyPlain ? 110 : 120);
    else if (ctx.IsDyOrJd())
        e = ctx.LastThreshold - 70;
    e = std::max(e, 0);
    const float s = ctx.Geometry.s;
    const BitmapView check = ctx.CheckCard.View();
    // A one-pixel outline from canvas (left, top) to (right, bottom), the
    // right column and bottom row excluded; canvas row r is y = 799 - r.
    const int left = static_cast<int>(x0);
    const int right = static_cast<int>(x0 + 3 * s);
    const int top = static_cast<int>(static_cast<float>(CardPictureSize) - y0);
    const int bottom = static_cast<int>(static_cast<float>(CardPictureSize) - y0 + 1.5f * s);
    if (right <= left || bottom <= top)
        return;
    const uint8_t v = static_cast<uint8_t>(std::min(e, 255));
    auto plot = [&](int x, int canvasRow) {
        int y = CardPictureSize - 1 - canvasRow;
        if (check.Contains(x, y))
            SetPixel(check.At(x, y), v, v, v);
    };
    for (int x = left; x < right; ++x) {
        plot(x, top);
        plot(x, bottom - 1);
    }
    for (int r = top; r < bottom; ++r) {
        plot(left, r);
        plot(right - 1, r);
    }
}

// The median of the histogram of span s.
static int MedianGrey(const uint32_t (&histogram)[256], const RowSpan& s)
{
    const uint32_t half = static_cast<uint32_t>(s.yHigh - s.yLow + 1) * static_cast<uint32_t>(s.x1 - s.x0) / 2;
    uint32_t seen = 0;
    for (int v = 0; v < 256; ++v) {
        seen += histogram[v];
        if (seen > half)
            return v;
    }
    return 255;
}

int KeepGrey(const BitmapView& bmp, const ScanRect& area, int greyMode, uint8_t* grey)
{
    const RowSpan s = ClipScanRect(bmp, area);
    if (s.Empty() || bmp.width > CardPictureSize || bmp.height > CardPictureSize)
        return 255;
    uint32_t histogram[256];
    GreyHistogram(bmp, s, greyMode, histogram, grey, CardPictureSize);
    return MedianGrey(histogram, s);
}

int KeepGreyAndBinarise(const BitmapView& bmp, const ScanRect& area, int greyMode, uint8_t* grey, int& paper)
{
    const RowSpan s = ClipScanRect(bmp, area);
    if (s.Empty() || bmp.width > CardPictureSize || bmp.height > CardPictureSize) {
        paper = 255;
        return BinariseAdaptive(bmp, area, greyMode, greyMode);
    }
    // The greys kept are the pixels the threshold is taken from: one count.
    uint32_t histogram[256];
    GreyHistogram(bmp, s, greyMode, histogram, grey, CardPictureSize);
    paper = MedianGrey(histogram, s);
    const int t = IsodataThreshold(histogram);
    BinariseAt(bmp, s, greyMode, t);
    return t;
}

void NoteSkin(RecognitionContext& ctx, const ScanRect& cells)
{
    // Two cells around the area too: a thumb whose tip or shadow lies over
    // the cells keeps its colour a little way back.
    const int dx = static_cast<int>(2 * ctx.Geometry.sx), dy = static_cast<int>(2 * ctx.Geometry.sy);
    const ScanRect area{cells.scanLine - dy, cells.height + 2 * dy, cells.x - dx, cells.width + 2 * dx};
    ctx.SkinNearCells = std::max(ctx.SkinNearCells, ctx.Skin.In(ClipScanRect(ctx.RectifiedCard.View(), area)));
}

void ForgetMarkGrey(RecognitionContext& ctx)
{
    ctx.MarkGrey.assign(static_cast<std::size_t>(CardPictureSize) * CardPictureSize, 255);
    ctx.BlockPaper.fill(255);
}

void PrepareDigitColumns(RecognitionContext& ctx, const DigitGrid& grid, int columns, int rows)
{
    const CardGeometry& g = ctx.Geometry;
    columns = std::min(columns, grid.columns);
    rows = std::min(rows, grid.rows);
    if (rows <= 0)
        return;
    for (int i = 0; i < columns; ++i) {
        const PointF P = grid.corner[i][0];
        const PointF L = grid.corner[i][rows - 1];
        ScanRect area{static_cast<int>(static_cast<float>(CardPictureSize) - P.y),
                      static_cast<int>(static_cast<float>(rows) * g.sy), static_cast<int>(P.x), static_cast<int>(g.sx)};
        NoteSkin(ctx, area);
        const bool keep = ctx.MarkGrey.size() == static_cast<std::size_t>(CardPictureSize) * CardPictureSize;
        int paper = 255;
        ctx.LastThreshold = KeepGreyAndBinarise(ctx.RectifiedCard.View(), area, ctx.GreyMode,
                                                keep ? ctx.MarkGrey.data() : nullptr, paper);
        DrawGreyReferenceFrame(ctx, L.x + g.s, L.y - g.sy - g.s);
        area.height = static_cast<int>(static_cast<float>(rows + 1) * g.sy);
        ctx.LastThreshold = BinariseAdaptive(ctx.CheckCard.View(), area, ctx.GreyMode, ctx.GreyMode);
    }
}

bool IsCardUpright(RecognitionContext& ctx)
{
    const CardGeometry& g = ctx.Geometry;
    LayOutDigitGrid(g, ctx.Template.UprightCol, 1.5f, 1, 3, ctx.UprightGrid);
    PrepareDigitColumns(ctx, ctx.UprightGrid, 1, 3);
    const BitmapView card = ctx.RectifiedCard.View();
    const BitmapView check = ctx.CheckCard.View();
    int checkBlack = 0, freeRows = 0;
    bool everyCellMarked = true;
    for (int j = 0; j < 3; ++j) {
        const PointF c = ctx.UprightGrid.corner[0][j];
        int y = static_cast<int>(c.y - g.sy + 1) + (j == 2 ? 1 : 0);
        int pixels = 0, black = 0;
        y = std::max(y, 0);
        for (; static_cast<float>(y) <= c.y && y < card.height; ++y) {
            bool rowBlack = false;
            for (int x = std::max(static_cast<int>(c.x), 0); static_cast<float>(x) < c.x + g.sx && x < card.width;
                 ++x) {
                ++pixels;
                if (IsBlack(card.At(x, y))) {
                    ++black;
                    rowBlack = true;
                }
                if (IsBlack(check.At(x, y)))
                    ++checkBlack;
            }
            if (!rowBlack)
                ++freeRows;
        }
        if (pixels == 0 || black * 100 / pixels < 10)
            everyCellMarked = false;
    }
    return everyCellMarked && checkBlack > 4 && freeRows > 2;
}

bool InsidePolygon(const PointI polygon[4], PointI p)
{
    bool inside = false;
    const double px = p.x, py = p.y;
    for (int i = 0, j = 3; i < 4; j = i++) {
        const double xi = polygon[i].x, yi = polygon[i].y, xj = polygon[j].x, yj = polygon[j].y;
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

int CheckCardPlacement(const RecognitionContext& ctx)
{
    const CardPlacement& pl = ctx.Placement;
    for (const PointI& q : pl.covered)
        if (q.x < 0 || q.x > 799 || q.y < 0 || q.y > 799)
            return 106;
    const PointI corners[4] = {pl.lowerLeft, pl.lowerRight, pl.upperLeft, pl.upperRight};
    for (int k = 0; k < 4; ++k)
        if (!InsidePolygon(pl.covered, corners[k]))
            return 7 + k;
    return 0;
}
