#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "EveryPath.h"
#include "TinyBitmaps.h"
#include "recognition/ImagePrimitives.h"

TEST(GreyLevel, ExactIntegerFormulaAndColourLifting)
{
    for (int mode = 0; mode <= 2; ++mode)
        EXPECT_EQ(GreyLevel(255, 255, 255, mode), 255);
    EXPECT_EQ(GreyLevel(200, 100, 100, 1), 146); // red lifted to 255
    EXPECT_EQ(GreyLevel(100, 200, 100, 2), 188); // green lifted to 250
    EXPECT_EQ(GreyLevel(200, 100, 100, 0), 130);
    // Hundredths carry: 30 + 59 + 11 = 100 exactly for (1, 1, 1).
    EXPECT_EQ(GreyLevel(1, 1, 1, 0), 1);
    EXPECT_EQ(GreyLevel(1, 0, 0, 0), 0);
    EXPECT_EQ(GreyLevel(0, 2, 0, 0), 1); // 118 hundredths
}

TEST(GreyLevel, DropoutModesSeeThePrintAsPaperAndPencilAsItIs)
{
    // The machine card's green outline, saturated further by a printer: the
    // lift leaves it 60 levels below the paper, its own channel near it.
    EXPECT_EQ(GreyLevel(110, 215, 120, GreyGreenCard), 196);
    EXPECT_EQ(GreyLevel(110, 215, 120, GreyGreenDropout), 215);
    EXPECT_EQ(GreyLevel(238, 150, 160, GreyRedDropout), 238);
    // Grey pencil, and the other card's colour, stay plain grey.
    EXPECT_EQ(GreyLevel(70, 72, 75, GreyGreenDropout), GreyLevel(70, 72, 75, GreyPlain));
    EXPECT_EQ(GreyLevel(110, 215, 120, GreyRedDropout), GreyLevel(110, 215, 120, GreyPlain));
    EXPECT_EQ(DropoutMode(GreyRedCard), GreyRedDropout);
    EXPECT_EQ(DropoutMode(GreyPlain), GreyPlain);
}

TEST(Isodata, UniformAreasFallBackTo128)
{
    Bitmap white(20, 10, 3);
    white.FillWhite();
    EXPECT_EQ(IsodataThreshold(white.View(), WholePicture(white.View()), 0), 128);
    Bitmap black(20, 10, 4);
    black.Fill(0, 0, 0);
    EXPECT_EQ(IsodataThreshold(black.View(), WholePicture(black.View()), 0), 128);
    EXPECT_EQ(IsodataThreshold(black.View(), ScanRect{0, 0, 0, 5}, 0), 128); // empty
}

TEST(Isodata, TwoLevelsSplitBetweenThemAndBinariseByScanLine)
{
    Bitmap b(10, 10, 3);
    b.Fill(200, 200, 200);
    FillRect(b, 0, 0, 10, 5, 40); // bottom half dark grey
    EXPECT_EQ(IsodataThreshold(b.View(), WholePicture(b.View()), 0), 120);
    // Scan line 0 is the top row: binarising two top scan lines leaves the rest.
    Bitmap c = b.Copy();
    int t = BinariseAdaptive(c.View(), ScanRect{0, 2, 0, 10}, 0, 0);
    EXPECT_EQ(t, 100); // a uniform grey of 200 settles at (0 + 200) / 2
    EXPECT_EQ(c.At(3, 9)[0], 255);
    EXPECT_EQ(c.At(3, 7)[0], 200);
    Binarise(c.View(), 100, ScanRect{5, 5, 0, 10});
    EXPECT_EQ(c.At(0, 0)[0], 0);
    EXPECT_EQ(c.At(0, 4)[0], 0);
    EXPECT_EQ(c.At(0, 5)[0], 200);
    // Rectangles reaching outside the picture are clipped.
    Binarise(c.View(), 100, ScanRect{-5, 100, -3, 100});
    EXPECT_EQ(c.At(9, 9)[0], 255);
}

// The threshold as the mean of each side worked out by walking the bins,
// round by round: the same as from the running counts, on histograms with
// one, two and many filled bins, at the ends of the grey range and with
// counts near the largest a picture gives.
TEST(Isodata, RunningCountsSettleWhereWalkingTheBinsDoes)
{
    auto walking = [](const uint32_t (&h)[256]) {
        int lo = 0, hi = 255;
        while (lo < 256 && h[lo] == 0)
            ++lo;
        while (hi >= 0 && h[hi] == 0)
            --hi;
        if (lo == 256 || lo == 255 || hi == 0)
            return 128;
        int t = (lo + hi) / 2, previous = 0;
        for (int round = 0; round < 100 && t != previous; ++round) {
            previous = t;
            uint64_t sum[2] = {0, 0}, count[2] = {0, 0};
            for (int g = lo; g <= hi; ++g)
                if (g != t) {
                    sum[g > t] += uint64_t(g) * h[g];
                    count[g > t] += h[g];
                }
            t = ((count[0] ? int(sum[0] / count[0]) : 0) + (count[1] ? int(sum[1] / count[1]) : 255)) / 2;
        }
        return t;
    };
    uint32_t state = 5;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    for (int trial = 0; trial < 3000; ++trial) {
        uint32_t h[256] = {};
        const int filled = 1 + int(next() >> 24) % (trial % 3 == 0 ? 3 : 64);
        const uint32_t largest = trial % 7 == 0 ? 4000000000u / filled : 1000;
        for (int k = 0; k < filled; ++k) {
            const int g = trial % 5 == 0 ? (k % 2 ? 255 - k : k) : int(next() >> 24);
            h[g] += 1 + next() % largest;
        }
        ASSERT_EQ(IsodataThreshold(h), walking(h)) << "trial " << trial;
    }
}

TEST(BlackShareTest, CountsFirstBytesZero)
{
    Bitmap b(10, 10, 3);
    b.FillWhite();
    FillRect(b, 0, 0, 10, 2);
    EXPECT_EQ(BlackShare(b.View()), 20);
    SetPixel(b.At(5, 5), 0, 255, 255);
    EXPECT_EQ(BlackShare(b.View()), 21);
}

TEST(Rotate180Test, TwiceRestoresAndOnceTurns)
{
    for (int bpp : {3, 4}) {
        Bitmap b(7, 5, bpp);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                SetPixel(b.At(x, y), static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x * y));
        Bitmap original = b.Copy();
        Rotate180(b.View());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                EXPECT_EQ(b.At(x, y)[0], 6 - x);
                EXPECT_EQ(b.At(x, y)[1], 4 - y);
            }
        Rotate180(b.View());
        EXPECT_EQ(0, std::memcmp(b.Data(), original.Data(), b.ByteSize()));
    }
}

TEST(Smooth, InteriorKeepsUniformValuesBordersComeOutDarker)
{
    for (int bpp : {3, 4}) {
        Bitmap b(6, 5, bpp);
        b.Fill(160, 80, 255);
        Smoother s;
        s.Smooth3x3(b.View());
        EXPECT_EQ(b.At(2, 2)[0], 160);
        EXPECT_EQ(b.At(2, 2)[1], 80);
        EXPECT_EQ(b.At(2, 2)[2], 255);
        EXPECT_EQ(b.At(0, 0)[2], 9 * 255 / 16);  // corner: weights 4 + 2 + 2 + 1
        EXPECT_EQ(b.At(3, 0)[2], 12 * 255 / 16); // edge
        EXPECT_EQ(b.At(5, 4)[0], 9 * 160 / 16);
    }
    // A single dot spreads with the kernel's weights.
    Bitmap d(5, 5, 3);
    d.Fill(0, 0, 0);
    SetPixel(d.At(2, 2), 160, 160, 160);
    Smoother s;
    s.Smooth3x3(d.View());
    EXPECT_EQ(d.At(2, 2)[0], 40);
    EXPECT_EQ(d.At(1, 2)[0], 20);
    EXPECT_EQ(d.At(1, 1)[0], 10);
}

TEST(SolveLinearTest, KnownSystem)
{
    // Diagonally dominant system with solution 1..8; rows given out of order
    // so that pivoting has to swap.
    float expected[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float a[8 * 9] = {};
    for (int i = 0; i < 8; ++i) {
        int row = (i + 3) % 8;
        for (int k = 0; k < 8; ++k)
            a[row * 9 + k] = k == i ? 10.0f : static_cast<float>((i + k) % 3) - 1.0f;
        float rhs = 0;
        for (int k = 0; k < 8; ++k)
            rhs += a[row * 9 + k] * expected[k];
        a[row * 9 + 8] = rhs;
    }
    float x[8];
    SolveLinear(a, x);
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(x[i], expected[i], 1e-4);
}

TEST(Projective, FromPointsAndMapPoint)
{
    const PointI from[4] = {{100, 100}, {600, 100}, {100, 500}, {600, 500}};
    const PointI shifted[4] = {{110, 95}, {610, 95}, {110, 495}, {610, 495}};
    ProjectiveMap m = ProjectiveMap::FromPoints(from, shifted);
    EXPECT_EQ(MapPoint(m, {300, 300}), (PointI{310, 295}));
    const PointI trapezoid[4] = {{100, 100}, {600, 100}, {120, 500}, {580, 500}};
    ProjectiveMap t = ProjectiveMap::FromPoints(from, trapezoid);
    for (int k = 0; k < 4; ++k) {
        PointI p = MapPoint(t, from[k]);
        EXPECT_NEAR(p.x, trapezoid[k].x, 1);
        EXPECT_NEAR(p.y, trapezoid[k].y, 1);
    }
}

TEST(Rotation, PointAndImageAgree)
{
    Rotation r0 = Rotation::For(0, 640, 480);
    EXPECT_EQ(RotatePoint(r0, {0, 0}), (PointI{81, 161}));
    EXPECT_EQ(RotatePoint(r0, {639, 479}), (PointI{720, 640}));
    EXPECT_EQ(LineYAt({0, 0}, {10, 5}, 3), 1);
    EXPECT_EQ(LineYAt({0, 10}, {10, 5}, 3), 8); // 8.5 truncates

    // A turned picture: a black pixel lands where RotatePoint says, within one pixel.
    for (double theta : {0.0, 0.05, -0.12}) {
        Bitmap src(64, 48, 3);
        src.FillWhite();
        Bitmap dst(80, 80, 3);
        dst.FillWhite();
        const PointI dots[] = {{10, 10}, {50, 40}, {32, 24}};
        for (PointI d : dots)
            SetBlack(src.At(d.x, d.y));
        Rotation r = Rotation::For(theta, 64, 48, 80);
        RotateImage(src.View(), dst.View(), r);
        for (PointI d : dots) {
            PointI p = RotatePoint(r, d);
            bool found = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    found = found || IsBlack(dst.At(p.x + dx, p.y + dy));
            EXPECT_TRUE(found) << theta << " " << d.x << "," << d.y;
        }
    }
}

TEST(Rotation, RowSpansMatchAPixelByPixelTest)
{
    // The same 16.16 sampling, testing every destination pixel on its own.
    auto reference = [](const Bitmap& src, Bitmap& dst, const Rotation& r) {
        const double one = 65536.0, baseX = r.cx + r.ox + 1, baseY = r.cy + r.oy + 1;
        const int64_t stepX = std::llround(r.cosT * one), stepY = std::llround(r.sinT * one);
        for (int y = 0; y < dst.Height(); ++y) {
            const double v = y - baseY;
            int64_t fx = std::llround((r.cx - baseX * r.cosT - v * r.sinT + 0.5) * one);
            int64_t fy = std::llround((r.cy - baseX * r.sinT + v * r.cosT + 0.5) * one);
            for (int x = 0; x < dst.Width(); ++x, fx += stepX, fy += stepY) {
                const int64_t sx = fx >> 16, sy = fy >> 16;
                if (sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height())
                    CopyPixel(dst.At(x, y), src.At(static_cast<int>(sx), static_cast<int>(sy)), 3);
            }
        }
    };
    Bitmap src(64, 48, 3);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            SetPixel(src.At(x, y), static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 5), 7);
    for (double theta : {0.0, 0.3, -0.2, 1.7, 3.1}) {
        Rotation r = Rotation::For(theta, 64, 48, 90);
        Bitmap a(90, 90, 3), b(90, 90, 3);
        a.FillWhite();
        b.FillWhite();
        RotateImage(src.View(), a.View(), r);
        reference(src, b, r);
        EXPECT_EQ(0, std::memcmp(a.Data(), b.Data(), a.ByteSize())) << theta;
    }
}

TEST(Smooth, MatchesTheKernelWrittenOutOnANoisyPicture)
{
    for (int bpp : {3, 4}) {
        Bitmap b(37, 23, bpp);
        uint32_t state = 99;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                uint8_t* p = b.At(x, y);
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
            }
        Bitmap original = b.Copy();
        Smoother s;
        s.Smooth3x3(b.View());
        const int weight[3] = {1, 2, 1};
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            if (original.View().Contains(x + dx, y + dy))
                                sum += weight[dx + 1] * weight[dy + 1] * original.At(x + dx, y + dy)[c];
                    ASSERT_EQ(b.At(x, y)[c], sum / 16) << x << "," << y << " channel " << c;
                }
    }
}

TEST(BlackShareTest, SixteenPixelBlocksCountAsPixelByPixel)
{
    // Zero bytes at every channel position, in rows whose widths leave every
    // remainder of the 16-pixel blocks.
    // Also every remainder of the 64-byte compares (21 pixels are 63 bytes).
    OnEveryPath([] {
        uint32_t state = 12345;
        auto next = [&] { return state = state * 1664525u + 1013904223u; };
        for (int bpp : {3, 4})
            for (int width : {1, 15, 16, 17, 21, 22, 43, 47, 64, 65, 641}) {
                Bitmap b(width, 7, bpp);
                for (std::size_t i = 0; i < b.ByteSize(); ++i)
                    b.Data()[i] = (next() >> 24) < 40 ? 0 : static_cast<uint8_t>(next() >> 24);
                uint64_t black = 0;
                for (int y = 0; y < b.Height(); ++y)
                    for (int x = 0; x < width; ++x)
                        black += b.At(x, y)[0] == 0;
                EXPECT_EQ(BlackShare(b.View()), static_cast<int>(black * 100 / (static_cast<uint64_t>(width) * 7)))
                    << bpp << " bytes, width " << width;
            }
    });
}

// Binarising a run as pixel by pixel (white when 30 R + 59 G + 11 B reaches
// the threshold × 100): runs at every remainder of the sixteen-pixel steps,
// in place and into another row, greys on both sides of the threshold, the
// run ending at the picture's last byte.
TEST(BinariseRunTest, EveryPathAsPixelByPixel)
{
    OnEveryPath([] {
        uint32_t state = 99;
        auto next = [&] { return state = state * 1664525u + 1013904223u; };
        for (int bpp : {3, 4})
            for (int threshold : {1, 99, 100, 128, 255, 327})
                for (int width : {1, 15, 16, 17, 31, 33, 47, 48, 49, 640}) {
                    Bitmap b(width, 2, bpp);
                    for (std::size_t i = 0; i < b.ByteSize(); ++i)
                        b.Data()[i] = static_cast<uint8_t>(next() >> 24);
                    // Greys of sum threshold × 100 and one step either side of it.
                    for (int x = 0; x + 2 < width; x += 5)
                        for (int d = 0; d < 3; ++d)
                            std::memset(b.At(x + d, 1), std::clamp(threshold - 1 + d, 0, 255), 3);
                    for (int y = 0; y < 2; ++y) {
                        const std::vector<uint8_t> row(b.At(0, y), b.At(0, y) + std::size_t(width) * bpp);
                        Bitmap out(width, 1, bpp);
                        BinariseRun(b.At(0, y), out.At(0, 0), width, bpp, threshold);
                        BinariseRun(b.At(0, y), b.At(0, y), width, bpp, threshold); // in place
                        for (int x = 0; x < width; ++x) {
                            const uint8_t* p = row.data() + std::size_t(x) * bpp;
                            const uint8_t v = 30 * p[2] + 59 * p[1] + 11 * p[0] >= threshold * 100 ? 255 : 0;
                            for (int c = 0; c < bpp; ++c) {
                                const uint8_t want = c < 3 ? v : p[3]; // the fourth byte kept
                                ASSERT_EQ(out.At(x, 0)[c], want) << bpp << " bytes, threshold " << threshold
                                                                 << ", width " << width << ", pixel " << x;
                                ASSERT_EQ(b.At(x, y)[c], want) << "in place, pixel " << x;
                            }
                        }
                    }
                }
    });
}

// A cell's window counted in one call as pixel by pixel: every width (the
// masked compares' 21-pixel limit and beyond) and height, the windows
// ending at the picture's last byte, so that a load past a row would show
// under the sanitizers.
TEST(BlackShareTest, WindowsCountAsPixelByPixel)
{
    OnEveryPath([] {
        uint32_t state = 77;
        auto next = [&] { return state = state * 1664525u + 1013904223u; };
        for (int bpp : {3, 4}) {
            const int width = 71, height = 9;
            Bitmap b(width, height, bpp);
            for (std::size_t i = 0; i < b.ByteSize(); ++i)
                b.Data()[i] = (next() >> 24) < 80 ? 0 : static_cast<uint8_t>(next() >> 24);
            for (int w = 1; w <= width; ++w)
                for (int rows = 0; rows <= height; ++rows) {
                    const int x0 = width - w, y0 = rows ? height - rows : 0;
                    int want = 0;
                    for (int y = y0; y < y0 + rows; ++y)
                        for (int x = x0; x < width; ++x)
                            want += b.At(x, y)[0] == 0;
                    ASSERT_EQ(CountBlackRows(b.At(x0, y0), b.Stride(), rows, w, bpp), want)
                        << bpp << " bytes, " << w << " x " << rows;
                }
        }
    });
}

// Paper half in shade: after levelling, the paper is alike on both sides, a
// mark keeps its darkness against the paper around it, a row of blackened
// boxes is not taken for paper, and evenly lit paper stays as it was.
TEST(LightLevellerTest, ShadeIsLiftedMarksAndBlackenedRowsStay)
{
    Bitmap b(200, 120, 3);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            // A soft shadow edge at x = 100: paper 220 on the left, 132 on the right.
            const double shade = 1 - 0.4 / (1 + std::exp(-(x - 100) / 6.0));
            const auto v = static_cast<uint8_t>(220 * shade + 0.5);
            SetPixel(b.At(x, y), v, v, static_cast<uint8_t>(v * 0.95));
        }
    auto mark = [&](int x0, int y0, int w, int h, double darkness) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) {
                uint8_t* p = b.At(x, y);
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<uint8_t>(p[c] * darkness);
            }
    };
    mark(30, 50, 8, 8, 0.4);   // a mark in the light
    mark(160, 50, 8, 8, 0.4);  // the same mark in the shade
    mark(40, 90, 32, 8, 0.3);  // a row of four blackened boxes
    LightLeveller leveller;
    leveller.Apply(b.View());
    const int lit = b.At(10, 20)[0], shaded = b.At(190, 20)[0];
    EXPECT_NEAR(lit, 220, 3);
    EXPECT_NEAR(shaded, lit, 6);
    EXPECT_NEAR(b.At(164, 54)[0], b.At(34, 54)[0], 6);
    EXPECT_LT(b.At(34, 54)[0], 100);
    EXPECT_LT(b.At(56, 94)[0], 80);
    // The blue channel is levelled on its own: the paper's tint stays.
    EXPECT_NEAR(b.At(190, 20)[2], b.At(10, 20)[2], 6);
    EXPECT_LT(b.At(10, 20)[2], lit);

    Bitmap even(64, 64, 4);
    even.Fill(200, 200, 200);
    FillRect(even, 20, 20, 28, 28, 60);
    const Bitmap before = even.Copy();
    leveller.Apply(even.View());
    EXPECT_EQ(std::memcmp(even.Data(), before.Data(), even.ByteSize()), 0);
}

// The levelling written out plainly, pixel by pixel: the block's brightest,
// the closing with its window cut at the grid's edge, the gain per block and
// the bilinear gain per pixel.
static void LevelPlainly(Bitmap& b)
{
    constexpr int B = LightLeveller::Block;
    const int gw = (b.Width() + B - 1) / B, gh = (b.Height() + B - 1) / B;
    std::vector<int> level(static_cast<std::size_t>(gw * gh * 3), 0);
    auto at = [&](std::vector<int>& v, int bx, int by, int c) -> int& {
        return v[static_cast<std::size_t>((by * gw + bx) * 3 + c)];
    };
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                at(level, x / B, y / B, c) = std::max(at(level, x / B, y / B, c), int(b.At(x, y)[c]));
    auto pass = [&](bool brightest, bool along) {
        std::vector<int> out = level;
        for (int by = 0; by < gh; ++by)
            for (int bx = 0; bx < gw; ++bx)
                for (int c = 0; c < 3; ++c) {
                    int v = brightest ? 0 : 255;
                    for (int d = -2; d <= 2; ++d) {
                        const int x = along ? bx + d : bx, y = along ? by : by + d;
                        if (x >= 0 && x < gw && y >= 0 && y < gh)
                            v = brightest ? std::max(v, at(level, x, y, c)) : std::min(v, at(level, x, y, c));
                    }
                    at(out, bx, by, c) = v;
                }
        level = out;
    };
    pass(true, true), pass(true, false), pass(false, true), pass(false, false);
    std::vector<int> gain = level;
    for (int c = 0; c < 3; ++c) {
        std::vector<int> sorted;
        for (int i = c; i < gw * gh * 3; i += 3)
            sorted.push_back(level[static_cast<std::size_t>(i)]);
        std::sort(sorted.begin(), sorted.end());
        const int paper = sorted[static_cast<std::size_t>(std::max(gw * gh * 9 / 10, 1) - 1)];
        for (int i = c; i < gw * gh * 3; i += 3) {
            const int l = std::max(level[static_cast<std::size_t>(i)], 1);
            gain[static_cast<std::size_t>(i)] = std::clamp((paper * 128 + l / 2) / l, 64, 256);
        }
    }
    auto rowGain = [&](int by, int x, int c) {
        const int fx = std::clamp(x - B / 2, 0, (gw - 1) * B), bx = fx / B, wx = fx - bx * B;
        const int l = at(gain, bx, by, c), r = at(gain, std::min(bx + 1, gw - 1), by, c);
        return (l * (B - wx) + r * wx + B / 2) / B;
    };
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const int fy = std::clamp(y - B / 2, 0, (gh - 1) * B), by = fy / B, wy = fy - by * B;
                const int g = (rowGain(by, x, c) * (B - wy) + rowGain(std::min(by + 1, gh - 1), x, c) * wy) >> 3;
                b.At(x, y)[c] = static_cast<uint8_t>(std::min((b.At(x, y)[c] * g + 64) >> 7, 255));
            }
}

// The fast levelling gives the plain one's bytes, on pictures whose sides are
// not whole blocks too, and the copy gets the same bytes.
TEST(LightLevellerTest, SameBytesAsThePlainFormulationAtEverySize)
{
    OnEveryPath([] {
        uint32_t seed = 7;
        auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
        for (int bpp : {3, 4})
            for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {8, 8}, {13, 9}, {37, 23}, {64, 3}, {90, 71}, {800, 20}}) {
                Bitmap b(w, h, bpp);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        for (int c = 0; c < bpp; ++c) {
                            // Paper under a slope of light, with dark specks.
                            const uint32_t r = next() >> 24;
                            b.At(x, y)[c] = static_cast<uint8_t>(r < 30 ? r : 120 + (x * 90) / std::max(w, 1) + r % 20);
                        }
                Bitmap plain = b.Copy(), copy(w, h, bpp);
                LevelPlainly(plain);
                const Bitmap fourth = b.Copy();
                LightLeveller leveller;
                leveller.Apply(b.View(), copy.View());
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        for (int c = 0; c < 3; ++c)
                            ASSERT_EQ(b.At(x, y)[c], plain.At(x, y)[c])
                                << w << "x" << h << "x" << bpp << " at " << x << "," << y;
                        if (bpp == 4) {
                            ASSERT_EQ(b.At(x, y)[3], fourth.At(x, y)[3]);
                        }
                    }
                EXPECT_EQ(std::memcmp(b.Data(), copy.Data(), b.ByteSize()), 0);
            }
    });
}

// Skin against the paper: a thumb's patch counts, the colours a card is
// printed and marked in do not, nor single tinted pixels or thin fringes.
TEST(SkinTest, PatchesOfSkinCountPrintPencilAndFringesDoNot)
{
    auto paint = [](Bitmap& b, int x0, int y0, int x1, int y1, uint8_t blue, uint8_t green, uint8_t red) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                SetPixel(b.At(x, y), blue, green, red);
    };
    Bitmap b(200, 100, 3);
    paint(b, 0, 0, 200, 100, 230, 228, 225);
    // The machine card's red and green print, tint and text; pencil.
    paint(b, 0, 0, 20, 40, 168, 160, 238);
    paint(b, 20, 0, 40, 40, 215, 210, 250);
    paint(b, 40, 0, 60, 40, 45, 35, 185);
    paint(b, 60, 0, 80, 40, 165, 215, 150);
    paint(b, 80, 0, 100, 40, 55, 120, 25);
    paint(b, 100, 0, 120, 40, 95, 95, 100);
    for (int k = 0; k < 40; k += 2) { // scattered skin pixels, a one-pixel fringe
        paint(b, 120 + k, k, 121 + k, k + 1, 115, 145, 200);
        paint(b, 190, 2 * k, 191, 2 * k + 2, 115, 145, 200);
    }
    // Fringes two pixels wide along a printed line, level and upright.
    paint(b, 0, 80, 140, 82, 115, 145, 200);
    paint(b, 196, 0, 198, 100, 115, 145, 200);
    const int paper[3] = {230, 228, 225};
    EXPECT_EQ(SkinPixels(b.View(), WholePicture(b.View()), paper), 0);
    // Brighter paper under a warm light: the skin is judged against it.
    paint(b, 150, 50, 170, 70, 115, 145, 200);
    EXPECT_EQ(SkinPixels(b.View(), WholePicture(b.View()), paper), 18 * 18);
    const int warmPaper[3] = {190, 228, 255};
    EXPECT_EQ(SkinPixels(b.View(), WholePicture(b.View()), warmPaper), 0);

    // A thumb wider than the levelling's closing is levelled to grey as paper:
    // its blocks are known for skin before.
    Bitmap card(160, 160, 3);
    paint(card, 0, 0, 160, 160, 230, 228, 225);
    paint(card, 8, 8, 48, 152, 168, 160, 238); // red print
    paint(card, 64, 16, 128, 80, 115, 145, 200);
    LightLeveller leveller;
    leveller.Apply(card.View());
    EXPECT_LT(SkinPixels(card.View(), WholePicture(card.View()), paper), 8);
    SkinCounter counter;
    counter.Begin(card.View(), leveller);
    EXPECT_EQ(counter.In({0, 159, 0, 60}), 0);
    EXPECT_EQ(counter.In({0, 159, 0, 160}), 8 * 8 * 64);
    EXPECT_EQ(counter.In({16, 40, 64, 100}), 3 * 4 * 64); // the blocks whose middles lie inside
    EXPECT_EQ(leveller.PaperLevel(0), 230);

    // An orange-red print, saturated, under warm light has skin's colour;
    // told as the card's own print (its tint's levels), it is not skin, and
    // the thumb, darker in red than the print, still is.
    paint(card, 0, 0, 160, 160, 230, 228, 225);
    paint(card, 8, 8, 48, 152, 120, 150, 225);
    paint(card, 64, 16, 128, 80, 115, 145, 200);
    leveller.Apply(card.View());
    counter.Begin(card.View(), leveller);
    EXPECT_GT(counter.In({0, 159, 0, 60}), 0);
    counter.ExceptPrint(120, 150, 225);
    EXPECT_EQ(counter.In({0, 159, 0, 60}), 0);
    EXPECT_EQ(counter.In({16, 40, 64, 100}), 3 * 4 * 64);
}
