#pragma once
// The camera frame's pixel memory: bottom-up rows of B, G, R (3 bytes) or
// B, G, R, x (4 bytes), each row exactly width × pixel bytes long. The first
// row in memory is the bottom row of the picture; picture row y counted from
// the top lies at base + (height − 1 − y) × rowBytes.
//
// Conversions write through recognition's BitmapView, so they work on any
// owner of such memory (this buffer, or a recognition bitmap).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recognition/Bitmap.h"

// Owns the pixels. Copies are explicit (CopyFrom) so that a 1.2 MB frame is
// never duplicated by accident.
class FrameBuffer {
public:
    FrameBuffer() = default;
    FrameBuffer(int width, int height, int pixelBytes) { Create(width, height, pixelBytes); }
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;
    FrameBuffer(FrameBuffer&&) noexcept = default;
    FrameBuffer& operator=(FrameBuffer&&) noexcept = default;

    // Replaces the pixels with zeroed ones of the given size and format.
    void Create(int width, int height, int pixelBytes);
    void Release();
    // Takes size, format and pixels of `other`, reusing this buffer's memory when it fits.
    void CopyFrom(const FrameBuffer& other);
    bool SameFormat(const FrameBuffer& other) const
    {
        return width_ == other.width_ && height_ == other.height_ && pixelBytes_ == other.pixelBytes_;
    }

    bool Exists() const { return !pixels_.empty(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int PixelBytes() const { return pixelBytes_; }
    int RowBytes() const { return width_ * pixelBytes_; }
    uint8_t* Data() { return pixels_.data(); }
    const uint8_t* Data() const { return pixels_.data(); }
    size_t SizeBytes() const { return pixels_.size(); }
    BitmapView Pixels() { return {pixels_.data(), width_, height_, pixelBytes_, RowBytes()}; }
    // Read-only users get the same view; they must not write through it.
    BitmapView Pixels() const { return const_cast<FrameBuffer*>(this)->Pixels(); }

private:
    std::vector<uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
    int pixelBytes_ = 0;
};
