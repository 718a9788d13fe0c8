#pragma once
// Camera samples into the frame's bottom-up pixels: YUY2 and I420 in
// fixed-point arithmetic (the terms of the tables below), uncompressed
// B, G, R rows by a bounded copy, and the 180-degree turn every converted
// frame gets.

#include <cstddef>
#include <cstdint>

#include "capture/FrameBuffer.h"
#include "recognition/ImagePrimitives.h"  // Rotate180, the turn every converted frame gets

// Media subtypes as the camera reports them (FOURCC values; 0 = uncompressed RGB).
namespace subtype {
inline constexpr int32_t Rgb = 0;
inline constexpr int32_t Mjpg = 0x47504A4D;  // "MJPG"
inline constexpr int32_t Yuy2 = 0x32595559;  // "YUY2"
inline constexpr int32_t I420 = 0x30323449;  // "I420"
} // namespace subtype

// 3 for uncompressed RGB and MJPG, 4 for YUY2 and I420, 0 for subtypes that are not converted.
int PixelBytesOf(int32_t sourceSubtype);

struct YuvTables {
    int32_t yTerm[256];       // 76309 × (v − 16)
    int32_t uBlue[256];       // 132201 × (v − 128)
    int32_t uGreen[256];      // −25674 × (v − 128)
    int32_t vGreen[256];      // −53278 × (v − 128)
    int32_t vRed[256];        // 104597 × (v − 128)
    uint8_t clipSpan[768];    // index value + 256, for values −256 … 511
};

// Fills the tables once; later calls do nothing. Called at program start.
void BuildYuvTables();
const YuvTables& GetYuvTables();
// Clamps to 0 … 255 through the clip table; values beyond its span clamp the same way.
uint8_t ClipColour(int value);

// Size in bytes of one 640 × 480 style sample of each layout.
inline size_t Yuy2SampleBytes(int width, int height) { return size_t(width) * size_t(height) * 2; }
inline size_t I420SampleBytes(int width, int height) { return size_t(width) * size_t(height) * 3 / 2; }

// Source row y (top of the picture first) goes to picture row y of the
// bottom-up destination, so the picture stands upright. Bytes 0, 1, 2 of each
// destination pixel are written, never the fourth. Nothing is written when the
// width is not a multiple of 4, the sample is shorter than width × height
// requires, or the destination is smaller than width × height. Returns whether
// the frame was written.
bool ConvertYUY2(int width, int height, const uint8_t* source, size_t sourceBytes, const BitmapView& destination);
bool ConvertI420(int width, int height, const uint8_t* source, size_t sourceBytes, const BitmapView& destination);

// Bottom-up B, G, R rows copied as one block, never more than the destination holds.
// Returns the number of bytes copied.
size_t CopyUncompressed(const uint8_t* source, size_t sourceBytes, const BitmapView& destination);

