#pragma once
// Pixel and geometry operations shared by every recognition stage. They work
// in place on bottom-up bitmaps (see Bitmap.h). Every conversion of a real
// number to an integer truncates toward zero; rounding is written as +0.5.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recognition/Bitmap.h"

// Grey mode: 0 plain, 1 red card (red print lifted to white), 2 green card;
// 3 and 4 drop the red or green print out for reading marks (see GreyLevel).
enum GreyModes : int { GreyPlain = 0, GreyRedCard = 1, GreyGreenCard = 2, GreyRedDropout = 3, GreyGreenDropout = 4 };

// The mode in which a card of colour `colour` (GreyRedCard or GreyGreenCard)
// has its marks read; other values are returned as they are.
inline int DropoutMode(int colour)
{
    return colour == GreyRedCard ? GreyRedDropout : colour == GreyGreenCard ? GreyGreenDropout : colour;
}

// floor((30 R + 59 G + 11 B) / 100) in integers, after lifting the card's
// print colour in modes 1 and 2.
// In modes 3 and 4 a pixel whose print channel (red, green) is its
// brightest is that channel's level: coloured ink takes from the other two
// channels what the paper reflects, so through its own channel the print is
// as light as the paper around it, whatever its shade, saturation or the
// camera's white balance, while pencil, grey in every channel, stays as
// dark. The lift of modes 1 and 2 leaves a saturated print or a dim frame's
// print far below the paper, where the binarisation of an area takes it
// for marks.
inline int GreyLevel(int red, int green, int blue, int mode)
{
    if (mode == GreyRedDropout && red >= green && red >= blue)
        return red;
    if (mode == GreyGreenDropout && green >= red && green >= blue)
        return green;
    if (mode == GreyRedCard && red > green && red > blue) {
        int lift = red - green > red - blue ? red - green : red - blue;
        red = red + lift > 255 ? 255 : red + lift;
    } else if (mode == GreyGreenCard && green > red && green > blue) {
        int lift = (green - red > green - blue ? green - red : green - blue) / 2;
        green = green + lift > 255 ? 255 : green + lift;
    }
    return (30 * red + 59 * green + 11 * blue) / 100;
}

inline int GreyOf(const uint8_t* pixel, int mode)
{
    return GreyLevel(pixel[2], pixel[1], pixel[0], mode);
}

// A rectangle addressed as the bitmap's scan lines are numbered: top-down.
// Scan line s of a picture h rows tall is row y = h - 1 - s.
struct ScanRect {
    int scanLine = 0;
    int height = 0;
    int x = 0;
    int width = 0;
};

// The part of `r` inside the bitmap, as bottom-up rows [yLow, yHigh] and
// columns [x0, x1). Empty when yLow > yHigh or x0 >= x1.
struct RowSpan {
    int yLow = 0;
    int yHigh = -1;
    int x0 = 0;
    int x1 = 0;
    bool Empty() const { return yLow > yHigh || x0 >= x1; }
};
RowSpan ClipScanRect(const BitmapView& bmp, const ScanRect& r);
inline ScanRect WholePicture(const BitmapView& bmp)
{
    return {0, bmp.height, 0, bmp.width};
}

// Pixels with grey (mode 0) >= threshold become white, the others black.
void Binarise(const BitmapView& bmp, int threshold, const ScanRect& r);
// Binarise's pixel rule over `count` pixels of `bpp` bytes read from `from`
// and written to `to` (which may be `from` itself): bytes 0..2 become 255 or
// 0, a fourth byte is carried over. For passes that binarise while copying.
void BinariseRun(const uint8_t* from, uint8_t* to, int count, int bpp, int threshold);
// The grey histogram (in `greyMode`) of the pixels of `s`; with `keep`,
// each pixel's grey level is also written to keep[y * keepStride + x].
void GreyHistogram(const BitmapView& bmp, const RowSpan& s, int greyMode, uint32_t (&histogram)[256],
                   uint8_t* keep = nullptr, int keepStride = 0);
// Isodata threshold of the rectangle's grey histogram (in `greyMode`); 128
// for a uniformly white or black (or empty) rectangle.
int IsodataThreshold(const BitmapView& bmp, const ScanRect& r, int greyMode);
// The same of a histogram already counted (not all empty).
int IsodataThreshold(const uint32_t (&histogram)[256]);
// Binarises with the isodata threshold (histogram in `histogramMode`, pixels
// judged in `pixelMode`) and returns that threshold.
int BinariseAdaptive(const BitmapView& bmp, const ScanRect& r, int histogramMode, int pixelMode);
// BinariseAdaptive's pixel pass, at threshold t.
void BinariseAt(const BitmapView& bmp, const RowSpan& s, int pixelMode, int t);
// Pixels among `count` pixels of `bpp` bytes from `p` whose first byte is 0.
int CountBlack(const uint8_t* p, int count, int bpp);
// The same over `rows` rows of `count` pixels, `stride` bytes apart.
int CountBlackRows(const uint8_t* p, std::ptrdiff_t stride, int rows, int count, int bpp);
// Per cent (integer) of pixels whose first byte is 0.
int BlackShare(const BitmapView& bmp);
// Turns the picture by 180 degrees in place.
void Rotate180(const BitmapView& bmp);

// 3 x 3 smoothing with the kernel 1 2 1 / 2 4 2 / 1 2 1 divided by 16.
// Border pixels sum only the neighbours that exist and still divide by 16,
// so borders come out darker. The row buffers are kept between calls of the
// same size.
class Smoother {
public:
    void Smooth3x3(const BitmapView& bmp);
    // The same, also writing each smoothed row into `copy` (same size and
    // format) while it is still in cache: a smoothed duplicate without a
    // second pass over the picture.
    void Smooth3x3(const BitmapView& bmp, const BitmapView& copy);

    // The same smoothing fed row by row, for a stage that writes the picture
    // from the bottom row up and smooths it while the rows are still in
    // cache: Begin, then RowReady(y) once row y holds its final pixels (y =
    // 0, 1, 2, ...; a row must not change after it), then End. Row y is
    // smoothed when row y + 1 is ready (the last row at End).
    void Begin(const BitmapView& bmp, const BitmapView& copy);
    void RowReady(int y);
    void End();

private:
    void HorizontalSumsOf(int y, uint16_t* out) const;
    void SmoothRow(int y, const uint16_t* low, const uint16_t* mid, const uint16_t* high);

    std::vector<uint16_t> sums_; // three rows of horizontal sums
    BitmapView bmp_;
    BitmapView copy_;
    bool copying_ = false;
    uint16_t* rows_[3] = {};     // the rows of sums below, at and above the row to smooth
    int ready_ = -1;             // the highest row ready so far
};

// Evens out the slow changes of light across a picture of paper: a shadow's
// edge, a lamp's falloff, a tinted corner. The paper's brightness around each
// pixel is estimated per channel (the brightest pixel of each 8 x 8 block,
// with dark patches up to a few blocks across closed over, so that a blackened
// box or a printed bar is not taken for paper) and every pixel is scaled so
// that the paper everywhere comes out as bright as the well-lit paper of the
// picture. Marks and print keep their contrast to the paper around them, so
// thresholds chosen over a block of cells see ink against paper rather than
// light against shadow. A picture under even light barely changes.
class LightLeveller {
public:
    static constexpr int Block = 8;
    // Levels `bmp` in place. A valid `copy` of the same size receives the
    // same levelled bytes, written in the same pass.
    void Apply(const BitmapView& bmp, const BitmapView& copy = {});
    // The well-lit paper's level of channel 0-2 (B, G, R) that the last
    // Apply brought the paper to; 0 before any.
    int PaperLevel(int channel) const { return paper_[channel]; }
    // The brightest B, G, R of block `index` (row by row, 8 x 8 pixels) of
    // the last Apply's picture, before dark patches were closed over; null
    // past the last block.
    const uint8_t* OwnBrightest(std::size_t index) const
    {
        return index < own_.size() / 3 ? own_.data() + 3 * index : nullptr;
    }

private:
    static constexpr int GainOne = 128; // gains in 128ths
    void BlockLevels(const BitmapView& bmp);
    void Close(int radius);
    void Gains();
    void GainsAtBlockRow(int by, int width, int bpp, uint16_t* out) const;
    void ScaleRows(const BitmapView& bmp, const BitmapView& copy);

    int gw_ = 0, gh_ = 0;
    std::vector<uint8_t> level_;     // per block and channel: the paper's brightness
    std::vector<uint8_t> work_;      // a pass of the closing
    std::vector<uint8_t> columnMax_; // per byte of a row: the brightest over a block's rows
    std::vector<uint8_t> pairMax_;   // the same over runs of pixels, doubling
    std::vector<uint8_t> padded_;    // a grid line with its edge values repeated
    std::vector<uint16_t> gain_;     // per block and channel
    std::vector<uint16_t> lowGain_, highGain_; // per byte of a row, at the block rows around it
    int paper_[3] = {};
    std::vector<uint8_t> own_; // per block and channel: its brightest, before the closing
};

// Whether a colour (B, G, R, each in 256ths of the paper's level in that
// channel) is skin's: red above green above blue by clear margins, and not
// dark. Paper, pencil and shade are grey; red print has green no higher than
// blue, green print green above red.
inline bool SkinColoured(int blue, int green, int red)
{
    return red >= 110 && red - green >= 30 && green - blue >= 20;
}
// Pixels of `r` (3 or 4 bytes, B G R) whose colour, and that of the two
// pixels left of them and the two below them, is skin's against the paper's
// levels (B, G, R): sensor noise tints single pixels, demosaicing and JPEG
// fringe the edges of marks and printed lines with strips of colour one or
// two pixels wide, a thumb covers whole patches.
int SkinPixels(const BitmapView& bmp, const ScanRect& r, const int paper[3]);

// The same count over a levelled picture block by block (the leveller's
// 8 x 8 blocks), each block at most once however many areas ask for it: the
// surroundings of a card's read areas overlap. A block whose own brightest
// was skin's before the levelling counts whole: the levelling takes a thumb
// wider than its closing for paper and greys it.
class SkinCounter {
public:
    void Begin(const BitmapView& levelled, const LightLeveller& leveller);
    // The skin pixels of the blocks whose middles lie in `s`.
    int In(const RowSpan& s);
    // The card's own coloured print (its levels in the levelled picture) is
    // not skin: a red print under warm light has skin's colour.
    void ExceptPrint(int blue, int green, int red);

private:
    bool AnySkinSampled(const RowSpan& s) const;
    const int* PrintOrNull() const { return hasPrint_ ? print_ : nullptr; }

    BitmapView bmp_;
    const LightLeveller* leveller_ = nullptr;
    int16_t relative_[3][256] = {};
    int gw_ = 0, gh_ = 0;
    std::vector<int16_t> counts_; // per block, -1 until counted
    int print_[3] = {};
    bool hasPrint_ = false;
    std::vector<uint8_t> scratch_;
};

// A coordinate or length derived from template values, kept finite and far
// below the int range so that later truncations are defined; no real card
// comes anywhere near the limit.
inline float SaneFloat(float v, float limit = 1e6f)
{
    if (!(v == v) || v > limit) // NaN or too large
        return v == v ? limit : 0.0f;
    return v < -limit ? -limit : v;
}

struct PointI {
    int x = 0;
    int y = 0;
    bool operator==(const PointI&) const = default;
};
struct PointF {
    float x = 0;
    float y = 0;
};

// The rotation that makes a line of angle theta horizontal, mapping a source
// picture of w x h into an 800 x 800 picture with its centre in the middle.
struct Rotation {
    double sinT = 0;
    double cosT = 1;
    double cx = 0; // source centre
    double cy = 0;
    double ox = 0; // offset of the source in the destination
    double oy = 0;

    static Rotation For(double theta, int sourceWidth, int sourceHeight, int destSize = 800);
};

PointI RotatePoint(const Rotation& rot, PointI p);
// Fills `dest` (already white) with `source` turned so that RotatePoint maps
// source pixels onto it, nearest-pixel sampling in 16.16 fixed point. Only
// the span of each row whose source position lies inside the source is written.
void RotateImage(const BitmapView& source, const BitmapView& dest, const Rotation& rot);

// One destination row of RotateImage: the 16.16 source position of its
// pixel 0 and the span [lo, hi] of pixels whose source lies inside the
// source picture (empty when lo > hi). Pixel x of the row samples source
// ((fx + x stepX) >> 16, (fy + x stepY) >> 16).
struct RotatedRow {
    int64_t fx = 0;
    int64_t fy = 0;
    int lo = 0;
    int hi = -1;
};

// The row arithmetic of RotateImage, for callers that sample the turned
// picture without drawing it.
class RotationRows {
public:
    RotationRows(const Rotation& rot, int sourceWidth, int sourceHeight, int destWidth);
    RotatedRow Row(int y) const;

    int64_t stepX = 0;
    int64_t stepY = 0;

private:
    Rotation rotation_;
    double baseX_ = 0;
    double baseY_ = 0;
    int64_t limitX_ = 0;
    int64_t limitY_ = 0;
    int destWidth_ = 0;
};

// trunc((y2 - y1)(x - x1)/(x2 - x1) + y1)
inline int LineYAt(PointI a, PointI b, int x)
{
    return static_cast<int>(static_cast<double>(b.y - a.y) * (x - a.x) / static_cast<double>(b.x - a.x) + a.y);
}

// Gaussian elimination with partial pivoting (ties keep the upper row) on an
// 8 x 9 matrix of row stride 9; no test for a zero pivot.
void SolveLinear(float matrix[8 * 9], float solution[8]);

// A plane projective mapping h0..h7:
// (x, y) -> ((h0 x + h1 y + h2) / (h6 x + h7 y + 1), (h3 x + h4 y + h5) / (h6 x + h7 y + 1)).
struct ProjectiveMap {
    float h[8] = {1, 0, 0, 0, 1, 0, 0, 0};

    // The mapping that sends from[k] to to[k] for k = 0..3.
    static ProjectiveMap FromPoints(const PointI from[4], const PointI to[4]);
};

// Truncated mapped point.
PointI MapPoint(const ProjectiveMap& m, PointI p);
