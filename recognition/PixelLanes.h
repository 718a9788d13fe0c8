#pragma once
// Sixteen three-byte pixels in the sixteen 32-bit lanes of a 512-bit vector,
// for the pixel loops' 512-bit paths: the byte permutes' indexes both ways,
// and the plain grey (30 R + 59 G + 11 B) of each pixel, its blue, green and
// red bytes in bytes 0 to 2 of its lane (byte 3 is not weighted).

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// 11 B + 59 G and 30 R in 16-bit halves (at most 17 850 each), added: the
// sum (at most 25 500) in each 32-bit lane.
[[gnu::target("avx512f,avx512bw")]] inline __m512i PlainSumLanes(__m512i pixels)
{
    const __m512i weights = _mm512_set1_epi32(11 | 59 << 8 | 30 << 16);
    return _mm512_madd_epi16(_mm512_maddubs_epi16(pixels, weights), _mm512_set1_epi16(1));
}

// The sums divided by 100 as (sum × 5243) >> 19, exact for every sum up to
// 25 500. The upper halves of the lanes are zero, so a 16-bit high product
// is the 32-bit one shifted by 16.
[[gnu::target("avx512f,avx512bw")]] inline __m512i PlainGreyLanes(__m512i pixels)
{
    // GCC 12's unmasked 512-bit shift warns inside its own header: the
    // all-lanes masked form does the same.
    return _mm512_maskz_srli_epi32(0xFFFF, _mm512_mulhi_epu16(PlainSumLanes(pixels), _mm512_set1_epi32(5243)), 3);
}

// Sixteen three-byte pixels (bytes 3k to 3k + 2 of a 48-byte block) to one
// lane each: the byte permute's index.
alignas(64) inline constexpr unsigned char PixelLaneBytes[64] = {
    0,  1,  2,  0, 3,  4,  5,  0, 6,  7,  8,  0, 9,  10, 11, 0, 12, 13, 14, 0, 15, 16, 17, 0,
    18, 19, 20, 0, 21, 22, 23, 0, 24, 25, 26, 0, 27, 28, 29, 0, 30, 31, 32, 0, 33, 34, 35, 0,
    36, 37, 38, 0, 39, 40, 41, 0, 42, 43, 44, 0, 45, 46, 47, 0};

// The other way: lane k's first byte to bytes 3k, 3k + 1 and 3k + 2.
alignas(64) inline constexpr unsigned char LanePixelBytes[64] = {
    0,  0,  0,  4,  4,  4,  8,  8,  8,  12, 12, 12, 16, 16, 16, 20, 20, 20, 24, 24, 24, 28,
    28, 28, 32, 32, 32, 36, 36, 36, 40, 40, 40, 44, 44, 44, 48, 48, 48, 52, 52, 52, 56, 56,
    56, 60, 60, 60, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};

#endif
