#pragma once
// The work images of recognition: 24-bit (B, G, R) or 32-bit (B, G, R, x)
// pixels, rows stored bottom-up. Pixel (x, y) lies at base + y * stride +
// x * bytesPerPixel, so y counts rows upward from the bottom edge; the
// top-down scan line s of a picture of height h is row y = h - 1 - s.
// Only the first three bytes of a pixel are read or written; black is 0 and
// white is 255 in all three.

#include <cstddef>
#include <cstdint>
#include <vector>

// A non-owning view: what every pixel loop works on.
struct BitmapView {
    uint8_t* base = nullptr; // bottom row
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;
    int stride = 0; // bytes from one row to the next one up

    uint8_t* At(int x, int y) const
    {
        return base + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * bytesPerPixel;
    }
    uint8_t* Row(int y) const { return base + static_cast<std::ptrdiff_t>(y) * stride; }
    // Row counted from the top edge, as the camera and the canvas count.
    uint8_t* TopRow(int topDownRow) const { return Row(height - 1 - topDownRow); }
    std::size_t SizeBytes() const { return static_cast<std::size_t>(stride) * static_cast<std::size_t>(height); }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    bool Empty() const { return base == nullptr || width <= 0 || height <= 0; }
    // Pixels of 3 or 4 bytes in rows long enough to hold them.
    bool Valid() const { return !Empty() && bytesPerPixel >= 3 && stride >= width * bytesPerPixel; }
};

// Owns its pixels. Copying is explicit (Copy, CopyFrom) so that a frame is
// never duplicated by accident; moving is cheap.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height, int bytesPerPixel) { Reset(width, height, bytesPerPixel); }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    Bitmap(Bitmap&&) noexcept = default;
    Bitmap& operator=(Bitmap&&) noexcept = default;

    // Sets the geometry; reallocates only when the byte size grows, so work
    // images set up once are reused frame after frame. Contents are undefined.
    void Reset(int width, int height, int bytesPerPixel);
    Bitmap Copy() const;
    // Takes over other's geometry and pixels, reusing this bitmap's memory.
    void CopyFrom(const Bitmap& other);
    void Fill(uint8_t blue, uint8_t green, uint8_t red);
    void FillWhite() { Fill(255, 255, 255); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BytesPerPixel() const { return bytesPerPixel_; }
    int Stride() const { return width_ * bytesPerPixel_; }
    std::size_t ByteSize() const { return static_cast<std::size_t>(Stride()) * static_cast<std::size_t>(height_); }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }

    uint8_t* Data() { return pixels_.data(); }
    const uint8_t* Data() const { return pixels_.data(); }
    uint8_t* At(int x, int y) { return View().At(x, y); }
    const uint8_t* At(int x, int y) const { return View().At(x, y); }

    BitmapView View() { return {pixels_.data(), width_, height_, bytesPerPixel_, Stride()}; }
    BitmapView View() const
    {
        // Views are the pixel-loop currency; constness is kept by the caller.
        return {const_cast<uint8_t*>(pixels_.data()), width_, height_, bytesPerPixel_, Stride()};
    }

private:
    // A few bytes past the last pixel, so that any pixel of an owned bitmap
    // may be loaded as one 4-byte word.
    static constexpr std::size_t WordSlack = 4;
    std::vector<uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
    int bytesPerPixel_ = 3;
};

inline bool IsBlack(const uint8_t* pixel)
{
    return pixel[0] == 0;
}
inline void SetPixel(uint8_t* pixel, uint8_t blue, uint8_t green, uint8_t red)
{
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
}
// Copies a pixel of `bytes` (3 or 4) bytes; inlined, unlike a memcpy of a runtime size.
inline void CopyPixel(uint8_t* to, const uint8_t* from, int bytes)
{
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
    if (bytes == 4)
        to[3] = from[3];
}
inline void SetWhite(uint8_t* pixel)
{
    SetPixel(pixel, 255, 255, 255);
}
inline void SetBlack(uint8_t* pixel)
{
    SetPixel(pixel, 0, 0, 0);
}
