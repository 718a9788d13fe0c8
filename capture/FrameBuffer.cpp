#include "capture/FrameBuffer.h"

#include <cstring>

void FrameBuffer::Create(int width, int height, int pixelBytes)
{
    if (width <= 0 || height <= 0 || pixelBytes <= 0) {
        Release();
        return;
    }
    width_ = width;
    height_ = height;
    pixelBytes_ = pixelBytes;
    pixels_.assign(size_t(width) * size_t(height) * size_t(pixelBytes), 0);
}

void FrameBuffer::Release()
{
    pixels_.clear();
    pixels_.shrink_to_fit();
    width_ = height_ = pixelBytes_ = 0;
}

void FrameBuffer::CopyFrom(const FrameBuffer& other)
{
    if (this == &other)
        return;
    width_ = other.width_;
    height_ = other.height_;
    pixelBytes_ = other.pixelBytes_;
    pixels_.resize(other.pixels_.size());
    if (!pixels_.empty())
        std::memcpy(pixels_.data(), other.pixels_.data(), pixels_.size());
}
