#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TinyBitmaps.h"
#include "recognition/DetectionLines.h"

TEST(Thinning, TableHas108ErasableEntries)
{
    int ones = 0;
    for (uint8_t v : ThinningTable)
        ones += v;
    EXPECT_EQ(ones, 108);
    EXPECT_EQ(ThinningTable[2], 1);
    EXPECT_EQ(ThinningTable[252], 1);
    EXPECT_EQ(ThinningTable[0], 0);
    EXPECT_EQ(ThinningTable[255], 0);
    EXPECT_EQ(ThinningTable[24], 0); // white left and right only: a vertical stroke stays
}

TEST(Thinning, NeighbourIndexBitsFollowTheUpwardOrder)
{
    // Top row of the strings is y + 1, bottom row y - 1.
    Bitmap b = FromRows({
        "110",
        "010",
        "001",
    });
    // White: (x+1, y+1) bit 7, (x-1, y) bit 3, (x+1, y) bit 4, (x-1, y-1) bit 0, (x, y-1) bit 1.
    EXPECT_EQ(NeighbourIndex(b.View(), 1, 1), (1 << 7) | (1 << 3) | (1 << 4) | (1 << 0) | (1 << 1));
    Bitmap lower = FromRows({"000", "010", "111"});
    EXPECT_EQ(NeighbourIndex(lower.View(), 1, 1), 0xFF & ~0x07);
}

TEST(Thinning, ThickBarBecomesOnePixelStroke)
{
    std::vector<std::string> rows(11, std::string(40, '0'));
    for (int r = 3; r <= 7; ++r)
        rows[r] = std::string(4, '0') + std::string(32, '1') + std::string(4, '0');
    Bitmap b = FromRows(rows);
    LineDetector::Thin(b.View());
    auto out = ToRows(b);
    int strokeColumns = 0;
    for (int x = 0; x < 40; ++x) {
        int black = 0;
        for (const auto& row : out)
            black += row[x] == '1';
        EXPECT_LE(black, 1) << "column " << x;
        strokeColumns += black;
    }
    // The stroke keeps most of the bar's length and is one connected line.
    EXPECT_GE(strokeColumns, 24);
    int lastY = -1;
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 11; ++y)
            if (IsBlack(b.At(x, y))) {
                if (lastY >= 0) {
                    EXPECT_LE(std::abs(y - lastY), 1);
                }
                lastY = y;
            }
}

static LineRecord Record(PointI p1, PointI p2)
{
    LineRecord r;
    r.p1 = p1;
    r.p2 = p2;
    double dx = p2.x - p1.x, dy = p2.y - p1.y;
    r.angle = std::atan(dy / dx);
    r.length = std::sqrt(dx * dx + dy * dy);
    return r;
}

TEST(Pairing, EqualAngleLengths21ApartAreNotPaired)
{
    CardTemplate t{};
    t.LineLength = 100;
    t.LineDistance = 50;
    LineDetector d;
    d.Records() = {Record({100, 100}, {400, 100}), Record({100, 250}, {421, 250})};
    LinePair pair;
    EXPECT_FALSE(d.ChooseLinePair(t, pair));
    EXPECT_EQ(d.PairCount(), 0);
    d.Records() = {Record({100, 100}, {400, 100}), Record({100, 250}, {420, 250})};
    ASSERT_TRUE(d.ChooseLinePair(t, pair));
    EXPECT_EQ(pair.bottom, 0);
    EXPECT_EQ(pair.top, 1);
}

TEST(Pairing, BestSpacingWinsAndPointsAreTurnedLeftFirst)
{
    CardTemplate t{};
    t.LineLength = 100;
    t.LineDistance = 50;
    LineDetector d;
    // Expected spacing 150 for 300-pixel lines; record 2 is traced right to left.
    d.Records() = {Record({100, 100}, {400, 100}), Record({100, 200}, {400, 200}), Record({400, 251}, {100, 251})};
    LinePair pair;
    ASSERT_TRUE(d.ChooseLinePair(t, pair));
    EXPECT_EQ(pair.bottom, 0);
    EXPECT_EQ(pair.top, 2);
    EXPECT_EQ(d.Records()[2].p1, (PointI{100, 251}));
    // Very angle-different lines never pair.
    d.Records() = {Record({100, 100}, {400, 100}), Record({100, 250}, {400, 300})};
    EXPECT_FALSE(d.ChooseLinePair(t, pair));
}

static Bitmap FrameWithLines(int w, int h, int x0, int x1, int yBottom, int yTop, int thickness)
{
    Bitmap b(w, h, 3);
    b.FillWhite();
    FillRect(b, x0, yBottom, x1, yBottom + thickness);
    FillRect(b, x0, yTop, x1, yTop + thickness);
    return b;
}

TEST(Lines, TwoBarsGiveTwoRecordsBottomFirst)
{
    Bitmap f = FrameWithLines(640, 480, 120, 520, 100, 340, 4);
    LineDetector d;
    ASSERT_EQ(d.DetectLines(f.View()), 2);
    EXPECT_LT(d.Records()[0].p1.y, 200);
    EXPECT_GT(d.Records()[1].p1.y, 300);
    EXPECT_NEAR(d.Records()[0].length, 380, 8);
    EXPECT_NEAR(d.Records()[0].angle, 0, 0.01);
}

TEST(Lines, ShortPiecesGiveNoCandidates)
{
    Bitmap f(640, 480, 3);
    f.FillWhite();
    for (int x = 100; x < 540; x += 150) {
        FillRect(f, x, 100, x + 140, 104);
        FillRect(f, x, 300, x + 140, 304);
    }
    LineDetector d;
    EXPECT_EQ(d.DetectLines(f.View()), 0);
}

TEST(Lines, WalksFindTrueEndsAndFailAtTheBorder)
{
    Bitmap f = FrameWithLines(640, 480, 120, 520, 100, 340, 3);
    LineEnds e;
    e.bottom = Record({140, 101}, {500, 101});
    e.top = Record({140, 341}, {500, 341});
    ASSERT_EQ(RefineLineEnds(f.View(), e), 0);
    EXPECT_EQ(e.bottomLeft, (PointI{120, 101}));
    EXPECT_EQ(e.bottomRight, (PointI{519, 101}));
    EXPECT_EQ(e.topLeft, (PointI{120, 341}));

    // A bottom line that reaches within one pixel of the left border.
    Bitmap g = FrameWithLines(640, 480, 1, 520, 100, 340, 3);
    e.bottom = Record({90, 101}, {500, 101});
    EXPECT_EQ(RefineLineEnds(g.View(), e), 3);
    Bitmap h = FrameWithLines(640, 480, 100, 639, 100, 340, 3);
    e.bottom = Record({140, 101}, {600, 101});
    EXPECT_EQ(RefineLineEnds(h.View(), e), 4);
}

TEST(Lines, PlacementMarginIs80OnA640By480Frame)
{
    CardTemplate t{};
    t.LineLength = 100;
    t.LineDistance = 40;
    t.CellWidth = 4;
    t.CellHeight = 4; // k = 10: spacing between 67.6 and 88.2 pixels
    auto ends = [](int left, int right, int spacing) {
        LineEnds e;
        e.bottom = Record({left + 10, 200}, {right - 10, 200});
        e.top = Record({left + 10, 200 + spacing}, {right - 10, 200 + spacing});
        e.bottomLeft = {left, 200};
        e.topLeft = {left, 200 + spacing};
        e.bottomRight = {right, 200};
        e.topRight = {right, 200 + spacing};
        return e;
    };
    Bitmap f(640, 480, 3);
    f.FillWhite();
    EXPECT_EQ(CheckLinePlacement(f.View(), ends(79, 500, 80), false, t), 105);
    EXPECT_EQ(CheckLinePlacement(f.View(), ends(80, 560, 80), false, t), 0);
    EXPECT_EQ(CheckLinePlacement(f.View(), ends(80, 561, 80), false, t), 105);
    EXPECT_EQ(CheckLinePlacement(f.View(), ends(100, 500, 89), false, t), 100);
    EXPECT_EQ(CheckLinePlacement(f.View(), ends(100, 500, 67), false, t), 101);
    LineEnds far = ends(100, 500, 80);
    far.bottomLeft.x -= 16; // 26 pixels beyond the traced point
    EXPECT_EQ(CheckLinePlacement(f.View(), far, false, t), 104);
}

// "JD" lines go on in printed dashes beyond their ends. At the far end of the
// distance range the blur leaves a dash three pixels of an eight-pixel walk:
// still a dash. It also widens the gap before the dash: a dash that starts
// six columns out still is one. Nothing, or a single speck, beyond an end is not.
TEST(Lines, JdDashesBeyondTheEndsSurviveTheBlurOfTheFarLimit)
{
    CardTemplate t{};
    t.LineLength = 100;
    t.LineDistance = 40;
    t.CellWidth = 2; // eight columns of walk beyond each end of a 400-pixel line
    t.CellHeight = 4;
    LineEnds e;
    e.bottom = Record({110, 200}, {490, 200});
    e.top = Record({110, 280}, {490, 280});
    e.bottomLeft = {100, 200};
    e.bottomRight = {500, 200};
    e.topLeft = {100, 280};
    e.topRight = {500, 280};
    auto frame = [](int dashWidth, int gap = 2) {
        Bitmap f(640, 480, 3);
        f.FillWhite();
        for (int y : {200, 280}) {
            FillRect(f, 100, y, 501, y + 1);
            FillRect(f, 100 - gap - dashWidth, y, 100 - gap, y + 1);
            FillRect(f, 501 + gap, y, 501 + gap + dashWidth, y + 1);
        }
        return f;
    };
    EXPECT_EQ(CheckLinePlacement(frame(3).View(), e, true, t), 0);
    EXPECT_EQ(CheckLinePlacement(frame(3, 6).View(), e, true, t), 0);
    EXPECT_EQ(CheckLinePlacement(frame(1).View(), e, true, t), 103);
    EXPECT_EQ(CheckLinePlacement(frame(1, 6).View(), e, true, t), 103);
    EXPECT_EQ(CheckLinePlacement(frame(0).View(), e, true, t), 103);
    // A dash beyond the walk's reach is not this line's.
    EXPECT_EQ(CheckLinePlacement(frame(3, 9).View(), e, true, t), 103);
    // Cards without dashes are not asked for them.
    EXPECT_EQ(CheckLinePlacement(frame(0).View(), e, false, t), 0);
}

// Thinning written plainly on the frame itself, for comparison.
static void ReferenceThin(const BitmapView& f)
{
    bool erased = true;
    while (erased) {
        erased = false;
        for (int y = 1; y <= f.height - 2; ++y)
            for (int x = 1; x <= f.width - 2; ++x) {
                if (!IsBlack(f.At(x, y)) || (IsBlack(f.At(x - 1, y)) && IsBlack(f.At(x + 1, y))))
                    continue;
                if (ThinningTable[NeighbourIndex(f, x, y)]) {
                    SetWhite(f.At(x, y));
                    erased = true;
                    ++x;
                }
            }
        for (int x = 1; x <= f.width - 2; ++x)
            for (int y = 1; y <= f.height - 2; ++y) {
                if (!IsBlack(f.At(x, y)) || (IsBlack(f.At(x, y - 1)) && IsBlack(f.At(x, y + 1))))
                    continue;
                if (ThinningTable[NeighbourIndex(f, x, y)]) {
                    SetWhite(f.At(x, y));
                    erased = true;
                    ++y;
                }
            }
    }
}

TEST(Thinning, SameAsErasingInTheFrameAsItGoes)
{
    uint32_t state = 12345;
    auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 3; ++round) {
        Bitmap a(97, 61, round == 1 ? 4 : 3);
        a.FillWhite();
        for (int k = 0; k < 40; ++k) {
            int x = static_cast<int>(next() % 97), y = static_cast<int>(next() % 61);
            FillRect(a, x, y, x + 2 + static_cast<int>(next() % 12), y + 2 + static_cast<int>(next() % 6));
        }
        Bitmap b = a.Copy();
        LineDetector::Thin(a.View());
        ReferenceThin(b.View());
        EXPECT_EQ(ToRows(a), ToRows(b)) << round;
    }
}

// Thinning looks again only where something changed and skips white paper
// by whole runs of bytes; against the plain loops, byte for byte, on
// pictures that stress both: sizes that are not multiples of the 32-pixel
// runs or the 64-bit lines, strokes and blobs on the border, salt noise,
// "white" pixels with zero bytes besides the first, black ones with
// nonzero bytes besides it.
TEST(Thinning, SameBytesAsThePlainLoopsOnRoughPictures)
{
    uint32_t state = 777;
    auto next = [&](uint32_t n) { return ((state = state * 1664525u + 1013904223u) >> 8) % n; };
    const int sizes[][2] = {{3, 3}, {5, 40}, {31, 7}, {33, 65}, {64, 64}, {97, 61}, {130, 129}, {200, 150}};
    std::vector<uint8_t> mask;
    std::vector<uint64_t> work;
    for (int bpp : {3, 4})
        for (const auto& size : sizes)
            for (int variant = 0; variant < 3; ++variant) {
                const int w = size[0], h = size[1];
                Bitmap a(w, h, bpp);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        uint8_t* p = a.At(x, y);
                        for (int k = 0; k < bpp; ++k)
                            p[k] = variant == 2 ? static_cast<uint8_t>(next(4) ? 255 : next(3)) : 255;
                        p[0] = variant == 2 ? static_cast<uint8_t>(1 + next(255)) : 255;
                    }
                auto blacken = [&](int x, int y) {
                    if (a.View().Contains(x, y))
                        a.At(x, y)[0] = 0;
                };
                const int blobs = 3 + static_cast<int>(next(12));
                for (int k = 0; k < blobs; ++k) {
                    const int cx = static_cast<int>(next(w)), cy = static_cast<int>(next(h));
                    const int r = 1 + static_cast<int>(next(9));
                    for (int y = cy - r; y <= cy + r; ++y)
                        for (int x = cx - r; x <= cx + r; ++x)
                            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                                blacken(x, y);
                }
                for (int k = 0; k < 4; ++k) { // bars, some along the border
                    const int y0 = k == 0 ? 0 : static_cast<int>(next(h)), thick = 1 + static_cast<int>(next(5));
                    for (int y = y0; y < y0 + thick; ++y)
                        for (int x = 0; x < w; ++x)
                            blacken(x, y);
                    const int x0 = k == 1 ? w - thick : static_cast<int>(next(w));
                    for (int x = x0; x < x0 + thick; ++x)
                        for (int y = 0; y < h; ++y)
                            blacken(x, y);
                }
                const int salt = variant == 0 ? 0 : w * h / 8;
                for (int k = 0; k < salt; ++k)
                    blacken(static_cast<int>(next(w)), static_cast<int>(next(h)));

                Bitmap b = a.Copy();
                LineDetector::Thin(a.View(), mask, work);
                ReferenceThin(b.View());
                const std::string where = std::to_string(w) + " x " + std::to_string(h) + " x " +
                                          std::to_string(bpp) + ", variant " + std::to_string(variant);
                ASSERT_EQ(0, std::memcmp(a.Data(), b.Data(), a.ByteSize())) << where;
                // The mask the later steps of DetectLines use is the skeleton.
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        ASSERT_EQ(mask[static_cast<std::size_t>(y) * w + x], IsBlack(b.At(x, y)) ? 1 : 0)
                            << where << " at " << x << ", " << y;
            }
}
