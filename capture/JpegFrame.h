#pragma once
// MJPG samples: the completeness test, decoding into the frame through
// libjpeg-turbo, and encoding (the virtual camera sends MJPG samples too).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "capture/FrameBuffer.h"

// The largest picture any camera or phone sends (a 50-megapixel phone is
// 8160 x 6120). A header claiming more is refused before anything is
// allocated: a 44 KB file can claim 20000 x 20000 pixels, 1.2 GB decoded.
inline constexpr int MaxPictureSide = 16384;
inline constexpr long long MaxPicturePixels = 64LL * 1000 * 1000;
// The largest picture file taken: one within the pixel limit stored without
// compression (a 32-bit BMP) and its headers. Anything longer is refused
// before it is read.
inline constexpr long long MaxPictureFileBytes = MaxPicturePixels * 4 + (1LL << 20);
inline bool PictureSizeAcceptable(long long width, long long height)
{
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= MaxPicturePixels;
}

// True only for a stream that starts with FF D8 and ends with FF D9.
bool IsCompleteJpeg(const uint8_t* data, size_t length);

// One decoder per connection; it keeps its libjpeg state and scratch rows
// between frames, so a tick allocates nothing.
class JpegFrameDecoder {
public:
    JpegFrameDecoder();
    ~JpegFrameDecoder();
    JpegFrameDecoder(const JpegFrameDecoder&) = delete;
    JpegFrameDecoder& operator=(const JpegFrameDecoder&) = delete;

    // Decodes the picture and draws it with its top-left corner at picture
    // column 0, picture row `topOffset` (counted from the top); what falls
    // outside the destination is cut off, what the picture does not cover is
    // left alone. The destination changes only when the whole visible part
    // decoded without error or warning: a corrupt frame leaves it untouched.
    bool DrawOnto(const uint8_t* data, size_t length, const BitmapView& destination, int topOffset);

    // Decodes a whole picture into top-down B, G, R rows (3 bytes per pixel).
    bool DecodeBgr(const uint8_t* data, size_t length, std::vector<uint8_t>& bgr, int& width, int& height);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Encodes top-down B, G, R rows as a baseline JPEG. False on failure.
bool EncodeJpegBgr(const uint8_t* bgr, int width, int height, int quality, std::vector<uint8_t>& out);
