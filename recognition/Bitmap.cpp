#include "recognition/Bitmap.h"

#include <algorithm>
#include <cstring>

void Bitmap::Reset(int width, int height, int bytesPerPixel)
{
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    bytesPerPixel_ = bytesPerPixel == 4 ? 4 : 3;
    if (pixels_.size() < ByteSize() + WordSlack)
        pixels_.resize(ByteSize() + WordSlack);
}

Bitmap Bitmap::Copy() const
{
    Bitmap out(width_, height_, bytesPerPixel_);
    if (ByteSize() > 0)
        std::memcpy(out.pixels_.data(), pixels_.data(), ByteSize());
    return out;
}

void Bitmap::CopyFrom(const Bitmap& other)
{
    if (this == &other)
        return;
    Reset(other.width_, other.height_, other.bytesPerPixel_);
    if (ByteSize() > 0)
        std::memcpy(pixels_.data(), other.pixels_.data(), ByteSize());
}

void Bitmap::Fill(uint8_t blue, uint8_t green, uint8_t red)
{
    const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    uint8_t* p = pixels_.data();
    if (blue == green && green == red) {
        std::memset(p, blue, ByteSize());
        return;
    }
    for (std::size_t i = 0; i < n; ++i, p += bytesPerPixel_)
        SetPixel(p, blue, green, red);
}
