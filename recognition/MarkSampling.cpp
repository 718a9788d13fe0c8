#include "recognition/MarkSampling.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "recognition/ImagePrimitives.h"
#include "recognition/Rectification.h"

static constexpr float CardSize = static_cast<float>(CardPictureSize);

// Where a walk from `from` upwards stops that goes on while the step is
// below `limit` and below `size`: the loops over a cell's window compare
// integer steps with the window's float edges.
static int WalkEnd(int from, float limit, int size)
{
    if (!(limit > static_cast<float>(from))) // a NaN edge too: no step
        return from;
    if (limit >= static_cast<float>(size))
        return std::max(from, size);
    return std::max(from, static_cast<int>(std::ceil(limit)));
}

namespace {
// The pixels of a cell's window in the card picture: columns [x0, x1), rows
// [y0, y1), the window's first two rows left out.
struct CellWindow {
    int x0, x1, y0, y1;
    CellWindow(const BitmapView& bmp, PointF c, float sx, float sy)
        : x0(std::max(static_cast<int>(c.x), 0)), x1(WalkEnd(x0, c.x + sx, bmp.width)),
          y0(std::max(static_cast<int>(c.y - sy + 2), 0)), y1(x1 > x0 ? WalkEnd(y0, c.y, bmp.height) : y0)
    {
    }
};
} // namespace

int CellBlack(const BitmapView& bmp, PointF c, float sx, float sy)
{
    const CellWindow w(bmp, c, sx, sy);
    if (w.y1 <= w.y0 || w.x1 <= w.x0)
        return 0;
    return CountBlackRows(bmp.At(w.x0, w.y0), bmp.stride, w.y1 - w.y0, w.x1 - w.x0, bmp.bytesPerPixel);
}

int CellFill(const BitmapView& bmp, PointF c, float sx, float sy)
{
    const int nominal = static_cast<int>((sy - 2) * sx);
    if (nominal <= 0)
        return 0;
    return CellBlack(bmp, c, sx, sy) * 100 / nominal;
}

int CellDepth(const BitmapView& bmp, const uint8_t* grey, int paper, PointF c, float sx, float sy)
{
    if (bmp.width > CardPictureSize || bmp.height > CardPictureSize)
        return 0; // the grey levels are kept for the card picture only
    const CellWindow w(bmp, c, sx, sy);
    int black = 0, depth = 0;
    for (int y = w.y0; y < w.y1; ++y) {
        const uint8_t* p = bmp.At(w.x0, y);
        const uint8_t* g = grey + y * CardPictureSize;
        for (int x = w.x0; x < w.x1; ++x, p += bmp.bytesPerPixel)
            if (IsBlack(p)) {
                ++black;
                depth += std::max(paper - g[x], 0);
            }
    }
    return black ? depth / black : 0;
}

bool InkAtCentre(const BitmapView& bmp, PointF c, float sx, float sy)
{
    // The middle half of the window both ways. A mark up to 1.4 times its
    // bubble and 15 % of a cell off centre spills at most about 0.4 of a cell
    // into its neighbour's window after blur, never this far; the smallest
    // mark, 0.8 times its bubble, still covers the cell's centre. On printed
    // and photographed cards this took the frames read wrong from 26 in 160
    // to 3 (a spill read as an extra multiple-choice letter or as the answer
    // of an empty question; a digit column blanked by a spill from the next row).
    const float top = c.y, bottom = static_cast<float>(static_cast<int>(c.y - sy + 2));
    const float h = top - bottom;
    const int y0 = std::max(static_cast<int>(bottom + h / 4 + 0.5f), 0);
    const int x0 = std::max(static_cast<int>(c.x + sx / 4 + 0.5f), 0);
    for (int y = y0; static_cast<float>(y) < top - h / 4 && y < bmp.height; ++y)
        for (int x = x0; static_cast<float>(x) < c.x + 3 * sx / 4 && x < bmp.width; ++x)
            if (IsBlack(bmp.At(x, y)))
                return true;
    return false;
}

namespace {

// Where the black pixels of a cell's sampled window lie: their centre
// relative to the window's centre, in cell pitches (x to the right, y up).
struct InkSpread {
    int black = 0;
    float dx = 0;
    float dy = 0;
};

InkSpread CellInkSpread(const BitmapView& bmp, PointF c, float sx, float sy)
{
    InkSpread s;
    // The window's pixels as CellBlack walks them, counted without a branch
    // or a float compare per pixel.
    const CellWindow w(bmp, c, sx, sy);
    int64_t sumX = 0, sumY = 0;
    for (int y = w.y0; y < w.y1; ++y) {
        const uint8_t* p = bmp.At(w.x0, y);
        int black = 0;
        int64_t rowX = 0;
        for (int x = w.x0; x < w.x1; ++x, p += bmp.bytesPerPixel) {
            const int b = IsBlack(p);
            black += b;
            rowX += b * x;
        }
        s.black += black;
        sumX += rowX;
        sumY += static_cast<int64_t>(black) * y;
    }
    if (s.black == 0 || sx <= 0 || sy <= 0)
        return s;
    const float mx = static_cast<float>(sumX) / static_cast<float>(s.black) + 0.5f;
    const float my = static_cast<float>(sumY) / static_cast<float>(s.black) + 0.5f;
    s.dx = (mx - (c.x + sx / 2)) / sx;
    s.dy = (my - (static_cast<float>(static_cast<int>(c.y - sy + 2)) + c.y) / 2) / sy;
    return s;
}

constexpr float Directions[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};

// Ink leaning this far towards a neighbour that is marked itself means the
// sampled grid sits between the marks: the card is read again.
constexpr float AstrideLean = 0.3f;
// Ink leaning this far towards a mark beside it may be that mark's.
constexpr float SpillLean = 0.2f;
// A marked window's ink this small, leaning this far towards a much bigger
// mark beside it, is that mark's overflow reaching the window's middle.
constexpr int SmallMark = 30;
// A marked window whose black pixels are on average less than this share (in
// per cent) of the card's mark depth below the paper is a rubbed-out mark's
// residue. On 800 printed and photographed cards the blackened windows of
// marks came to 61 % or more of it (53 000 windows, 99.9 % of them to 71 % or
// more), those of residues to 43-77 %; only the doubtful questions use it,
// where the card would be read again otherwise.
constexpr int ResidueDepth = 60;
// A patch of 20 % or more this pale (per cent of the card's mark depth)
// with little confirming ink (fewer pixels than half its fill in per cent)
// is doubtful even where the reading is otherwise clear: residues came there
// (one read as a single choice came to 62 %), and on 800 printed frames no
// mark, but one mark in 600 frames of other designs did (63 %).
constexpr int FaintResidueDepth = 64;
// A small patch at least this deep (per cent of the card's mark depth) whose
// confirming ink covers half of it is a small mark: small marks came to 0.74
// or more and 0.54-0.67 confirmed; the residues as deep as that were at most
// 0.43 confirmed.
constexpr int MarkDepthShare = 70;
constexpr float HardLean = 0.25f;
// A marked window this full and at least MarkDepthShare deep is a mark of
// the hand that filled the card, confirmed or not: on 800 printed and
// photographed cards the unconfirmed ones of light hands came to 72 % of the
// card's mark depth or more, the residues as full as that to 51 % at most.
constexpr int WholeMark = 25;
// A light hand's digit darkens the middle of its window by 13 grey levels
// or more on average beyond the print: on the printed and photographed
// cards where this decides, 18 to 27; the darkest row of an empty column
// (the print of the first or last row), 6 to 8; the next column's mark
// reaching over, under 2.
constexpr int MinDigitDarkness = 130;
// A pale AB mark this small (per cent of its cell) counts only where the
// other cell holds no ink at all: a small mark blurs to 15-20 %.
constexpr int SmallAbMark = 15;
// The largest move of a grid towards its marks, in pitches.
constexpr float MaxGridShift = 0.3f;

// The cell one pitch away in direction d.
PointF Neighbour(PointF c, int d, float sx, float sy)
{
    return {c.x + Directions[d][0] * sx, c.y + Directions[d][1] * sy};
}

// Marks lean alike from their windows' centres where a grid sits off the
// printed cells (a card not lying flat, a tilt the line ends do not show).
// The mean lean of the grid's clear marks, measured again after moving the
// windows once, since a window clips the part of a mark that leans out of
// it. Whole blackened boxes are left out: they are centred on the cell, not
// on its bubble. Nothing moves with fewer than two clear marks.
PointF GridShift(const BitmapView& card, const PointF* corners, int count, float sx, float sy)
{
    PointF shift{0, 0};
    for (int round = 0; round < 2; ++round) {
        float dx = 0, dy = 0;
        int n = 0;
        for (int k = 0; k < count; ++k) {
            const PointF c{corners[k].x + shift.x, corners[k].y + shift.y};
            const int fill = CellFill(card, c, sx, sy);
            if (fill < 30 || fill > 80 || !InkAtCentre(card, c, sx, sy))
                continue;
            const InkSpread spread = CellInkSpread(card, c, sx, sy);
            dx += spread.dx;
            dy += spread.dy;
            ++n;
        }
        if (n < 2)
            break;
        shift.x = std::clamp(shift.x + dx / static_cast<float>(n) * sx, -MaxGridShift * sx, MaxGridShift * sx);
        shift.y = std::clamp(shift.y + dy / static_cast<float>(n) * sy, -MaxGridShift * sy, MaxGridShift * sy);
    }
    return shift;
}

} // namespace

bool SpillFromNeighbour(const BitmapView& bmp, PointF c, float sx, float sy, float lean)
{
    const InkSpread s = CellInkSpread(bmp, c, sx, sy);
    if (s.black == 0)
        return false;
    const int fill = CellFill(bmp, c, sx, sy);
    for (int d = 0; d < 4; ++d) {
        if (s.dx * Directions[d][0] + s.dy * Directions[d][1] < lean)
            continue;
        const PointF n = Neighbour(c, d, sx, sy);
        const int nf = CellFill(bmp, n, sx, sy);
        if (nf > 9 && 2 * nf >= 3 * fill && InkAtCentre(bmp, n, sx, sy))
            return true;
    }
    return false;
}

bool MarkAstride(const BitmapView& bmp, PointF c, float sx, float sy, float lean)
{
    const InkSpread s = CellInkSpread(bmp, c, sx, sy);
    if (s.black == 0)
        return false;
    for (int d = 0; d < 4; ++d) {
        if (s.dx * Directions[d][0] + s.dy * Directions[d][1] < lean)
            continue;
        const PointF n = Neighbour(c, d, sx, sy);
        if (CellFill(bmp, n, sx, sy) > 9 && InkAtCentre(bmp, n, sx, sy))
            return true;
    }
    return false;
}

// The window's ink is all one or more patches centred in it, more than 9 %
// of its nominal size: a mark of its own, not a neighbour's tip.
static bool OnlyOwnInk(const WindowOwners& o, float sx, float sy)
{
    return o.unclear == 0 && o.foreign == 0 && o.own * 100 > 9 * static_cast<int>((sy - 2) * sx);
}

WindowOwners OwnersOfWindowInk(const BitmapView& bmp, PointF c, float sx, float sy)
{
    WindowOwners owners;
    const int wx0 = std::max(static_cast<int>(c.x), 0);
    const int wy0 = std::max(static_cast<int>(c.y - sy + 2), 0);
    auto inWindow = [&](int x, int y) {
        return x >= wx0 && static_cast<float>(x) < c.x + sx && x < bmp.width && y >= wy0 &&
               static_cast<float>(y) < c.y && y < bmp.height;
    };
    const int rx0 = std::max(static_cast<int>(c.x - 1.5f * sx), 0);
    const int rx1 = std::min(static_cast<int>(c.x + 2.5f * sx) + 1, bmp.width);
    const int ry0 = std::max(static_cast<int>(c.y - sy + 2 - 1.5f * sy), 0);
    const int ry1 = std::min(static_cast<int>(c.y + 1.5f * sy) + 1, bmp.height);
    if (rx1 <= rx0 || ry1 <= ry0 || sx <= 0 || sy <= 0)
        return owners;
    const int w = rx1 - rx0, h = ry1 - ry0;
    std::vector<uint16_t> seen(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0); // patch number
    uint16_t patch = 0;
    std::vector<int> queue, rows(static_cast<std::size_t>(h)), columns(static_cast<std::size_t>(w));
    const float wcx = c.x + sx / 2, wcy = (static_cast<float>(static_cast<int>(c.y - sy + 2)) + c.y) / 2;
    for (int y = wy0; static_cast<float>(y) < c.y && y < ry1; ++y)
        for (int x = wx0; static_cast<float>(x) < c.x + sx && x < rx1; ++x) {
            if (!IsBlack(bmp.At(x, y)) || seen[static_cast<std::size_t>((y - ry0) * w + (x - rx0))])
                continue;
            // Follow the patch.
            std::fill(rows.begin(), rows.end(), 0);
            std::fill(columns.begin(), columns.end(), 0);
            queue.assign(1, (y - ry0) * w + (x - rx0));
            seen[static_cast<std::size_t>(queue[0])] = ++patch;
            int64_t sumX = 0, sumY = 0;
            int count = 0, inside = 0;
            bool border = false;
            for (std::size_t k = 0; k < queue.size(); ++k) {
                const int px = queue[k] % w, py = queue[k] / w;
                ++count;
                sumX += px;
                sumY += py;
                ++rows[static_cast<std::size_t>(py)];
                ++columns[static_cast<std::size_t>(px)];
                inside += inWindow(px + rx0, py + ry0);
                border = border || px == 0 || py == 0 || px == w - 1 || py == h - 1;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = px + dx, ny = py + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                            continue;
                        const std::size_t n = static_cast<std::size_t>(ny * w + nx);
                        if (!seen[n] && IsBlack(bmp.At(nx + rx0, ny + ry0))) {
                            seen[n] = patch;
                            queue.push_back(ny * w + nx);
                        }
                    }
            }
            const float mx = static_cast<float>(sumX) / static_cast<float>(count) + 0.5f + static_cast<float>(rx0);
            const float my = static_cast<float>(sumY) / static_cast<float>(count) + 0.5f + static_cast<float>(ry0);
            if (border) {
                owners.unclear += inside;
                continue;
            }
            if (mx >= c.x && mx < c.x + sx && my >= static_cast<float>(static_cast<int>(c.y - sy + 2)) && my < c.y) {
                owners.own += inside;
                continue;
            }
            // Centred elsewhere: a mark's overflow narrows steadily from its
            // centre into the window; widening again on the way (by a
            // quarter of its widest row, at least two pixels), it is a
            // second mark run together with it. A small mark hung on a
            // two-pixel neck widened by just that and was taken for a tip.
            const bool across = std::fabs(mx - wcx) / sx >= std::fabs(my - wcy) / sy;
            const std::vector<int>& profile = across ? columns : rows;
            const int n = static_cast<int>(profile.size());
            const int start = std::clamp(static_cast<int>(across ? mx - static_cast<float>(rx0)
                                                                 : my - static_cast<float>(ry0)),
                                         0, n - 1);
            const int step = (across ? wcx < mx : wcy < my) ? -1 : 1;
            const int peak = *std::max_element(profile.begin(), profile.end());
            const int slack = std::max(2, peak / 4);
            int least = profile[static_cast<std::size_t>(start)];
            bool widens = false;
            for (int k = start; k >= 0 && k < n; k += step) {
                const int v = profile[static_cast<std::size_t>(k)];
                widens = widens || v >= least + slack;
                least = std::min(least, v);
            }
            // And it must be the mark the cell beside reads, lying in the
            // middle of that cell's window: else the grid sits between marks.
            const PointF holder = across ? PointF{c.x + (mx > wcx ? sx : -sx), c.y}
                                         : PointF{c.x, c.y + (my > wcy ? sy : -sy)};
            bool held = false;
            if (CellFill(bmp, holder, sx, sy) > 9) {
                const float bottom = static_cast<float>(static_cast<int>(holder.y - sy + 2));
                const float hh = holder.y - bottom;
                for (int yy = std::max(static_cast<int>(bottom + hh / 4 + 0.5f), ry0);
                     static_cast<float>(yy) < holder.y - hh / 4 && yy < ry1 && !held; ++yy)
                    for (int xx = std::max(static_cast<int>(holder.x + sx / 4 + 0.5f), rx0);
                         static_cast<float>(xx) < holder.x + 3 * sx / 4 && xx < rx1; ++xx)
                        if (seen[static_cast<std::size_t>((yy - ry0) * w + (xx - rx0))] == patch) {
                            held = true;
                            break;
                        }
            }
            (widens || !held ? owners.unclear : owners.foreign) += inside;
        }
    return owners;
}

// Whole-cell measurement of the AB cells: rows from trunc(y - sy) while
// below y; black * 100 div pixels counted.
static int WholeCellFill(const BitmapView& bmp, PointF c, float sx, float sy)
{
    int black = 0, pixels = 0;
    for (int y = std::max(static_cast<int>(c.y - sy), 0); static_cast<float>(y) < c.y && y < bmp.height; ++y)
        for (int x = std::max(static_cast<int>(c.x), 0); static_cast<float>(x) < c.x + sx && x < bmp.width; ++x) {
            ++pixels;
            black += IsBlack(bmp.At(x, y));
        }
    return pixels ? black * 100 / pixels : 0;
}

static int MiddleRowBlack(const BitmapView& bmp, PointF c, float sx, float sy)
{
    const int y = static_cast<int>(c.y) - static_cast<int>(sy * 0.5f);
    int black = 0;
    for (int x = static_cast<int>(c.x); static_cast<float>(x) < c.x + sx; ++x)
        if (bmp.Contains(x, y))
            black += IsBlack(bmp.At(x, y));
    return black;
}

static ScanRect CellRect(PointF c, float sx, float sy)
{
    return {static_cast<int>(CardSize - c.y), static_cast<int>(sy), static_cast<int>(c.x), static_cast<int>(sx)};
}

// Copies the pixels of a clipped rectangle out of (or back into) a bitmap.
static void SaveArea(const BitmapView& bmp, const ScanRect& r, std::vector<uint8_t>& store)
{
    store.clear();
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(s.x1 - s.x0) * bmp.bytesPerPixel;
    for (int y = s.yLow; y <= s.yHigh; ++y)
        store.insert(store.end(), bmp.At(s.x0, y), bmp.At(s.x0, y) + rowBytes);
}

static void RestoreArea(const BitmapView& bmp, const ScanRect& r, const std::vector<uint8_t>& store)
{
    RowSpan s = ClipScanRect(bmp, r);
    if (s.Empty())
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(s.x1 - s.x0) * bmp.bytesPerPixel;
    const uint8_t* from = store.data();
    for (int y = s.yLow; y <= s.yHigh && from + rowBytes <= store.data() + store.size(); ++y, from += rowBytes)
        std::memcpy(bmp.At(s.x0, y), from, rowBytes);
}

static int DetectAbType(RecognitionContext& ctx)
{
    const CardTemplate& t = ctx.Template;
    const CardGeometry& g = ctx.Geometry;
    const BitmapView card = ctx.RectifiedCard.View();
    const PointF a{SaneFloat(g.X0 + g.sx * t.AbACol), SaneFloat(g.Y0 + g.sy * t.AbARow)};
    const PointF b{SaneFloat(g.X0 + g.sx * t.AbBCol), SaneFloat(g.Y0 + g.sy * t.AbBRow)};
    const bool sameColumn = t.AbACol == t.AbBCol;
    // The strip from the higher cell down to the lower; for cells in two
    // columns, the rectangle that holds both.
    const float top = SaneFloat(g.Y0 + g.sy * std::max(t.AbARow, t.AbBRow));
    const float left = std::min(a.x, b.x);
    const ScanRect strip{static_cast<int>(CardSize - top),
                         static_cast<int>(SaneFloat(g.sy * (std::abs(t.AbBRow - t.AbARow) + 1))),
                         static_cast<int>(left), static_cast<int>(SaneFloat(std::max(a.x, b.x) - left + g.sx))};
    SaveArea(card, strip, ctx.StripCopy);
    Binarise(card, 128, CellRect(b, g.sx, g.sy));
    const int I = WholeCellFill(card, b, g.sx, g.sy);
    Binarise(card, 128, CellRect(a, g.sx, g.sy));
    const int S = WholeCellFill(card, a, g.sx, g.sy);

    if (S > 10 && I > 10) {
        if (!sameColumn)
            return AbAmbiguous;
        RestoreArea(card, strip, ctx.StripCopy);
        ctx.LastThreshold = BinariseAdaptive(card, strip, ctx.GreyMode, GreyPlain);
        const int fA = WholeCellFill(card, a, g.sx, g.sy);
        const int fB = WholeCellFill(card, b, g.sx, g.sy);
        const int mA = MiddleRowBlack(card, a, g.sx, g.sy);
        const int mB = MiddleRowBlack(card, b, g.sx, g.sy);
        if (fA > 10 && fB > 10) {
            if (fB > fA)
                return (mA == 0 && mB > 0) || static_cast<double>(fB) / fA >= 1.4 ? 1 : AbAmbiguous;
            if (fA > fB)
                return (mB == 0 && mA > 0) || static_cast<double>(fA) / fB >= 1.4 ? 0 : AbAmbiguous;
            return AbAmbiguous;
        }
        if (fA >= 6 && fA > fB)
            return 0;
        if (fB >= 6 && fB > fA)
            return 1;
        return AbNotMarked;
    }
    if (S >= 6 && S > I)
        return 0;
    if (I >= 6 && I > S)
        return 1;
    // A pale pencil mark stays above the fixed grey level. Against the
    // strip's own grey levels it stands out; it must be its cell's own (at
    // the centre, or a patch centred in the cell: a small mark off the
    // bubble's middle) and clearly more than the other cell, or the only
    // ink of the two where it is small.
    RestoreArea(card, strip, ctx.StripCopy);
    ctx.LastThreshold = BinariseAdaptive(card, strip, GreyPlain, GreyPlain);
    const int fA = WholeCellFill(card, a, g.sx, g.sy);
    const int fB = WholeCellFill(card, b, g.sx, g.sy);
    auto holds = [&](PointF c) {
        if (InkAtCentre(card, c, g.sx, g.sy))
            return true;
        // The AB cells are measured whole, not in the answers' window two
        // rows short of the cell: a patch is the cell's own where its centre
        // lies anywhere in the cell.
        const float whole = g.sy + 2;
        return OnlyOwnInk(OwnersOfWindowInk(card, c, g.sx, whole), g.sx, whole);
    };
    auto chosen = [&](int f, int other, PointF c) {
        return ((f >= 20 && f >= 2 * other) || (f >= SmallAbMark && other == 0)) && holds(c);
    };
    if (chosen(fA, fB, a))
        return 0;
    if (chosen(fB, fA, b))
        return 1;
    return AbNotMarked;
}

void LayOutQuestionCells(RecognitionContext& ctx, int abType)
{
    const CardTemplate& t = ctx.Template;
    const CardGeometry& g = ctx.Geometry;
    const float bx = g.sx * t.BlockColPitch;
    const float by = g.sy * t.BlockRowPitch;
    const int blocks = std::clamp(t.QuestionCount, 0, card_limits::MaxQuestions) / 5;
    for (QuestionCells& q : ctx.Questions)
        q = QuestionCells{};
    for (int block = 0; block < blocks; ++block) {
        float dx = 0, dy = 0;
        if (abType == 0) {
            const int sec1 = t.Sec1Columns * t.Sec1Rows;
            if (block < sec1 && t.Sec1Columns > 0) {
                dx = bx * static_cast<float>(block % t.Sec1Columns + t.Sec1FirstCol);
                dy = by * static_cast<float>(block / t.Sec1Columns);
            } else if (t.Sec2Columns > 0) {
                const int k = block - sec1;
                dx = bx * static_cast<float>(k % t.Sec2Columns + t.Sec2FirstCol);
                dy = by * static_cast<float>(k / t.Sec2Columns + t.Sec1Rows);
            }
        } else {
            const int n = t.Sec1Rows + t.BExtraRows;
            const int m = n - t.Sec2FirstCol * t.BExtraRows;
            if (block < m || n <= 0) {
                dy = by * static_cast<float>(block);
            } else {
                const int k = block - m;
                dx = bx * static_cast<float>(k / n + 1);
                dy = by * static_cast<float>(k % n);
            }
        }
        PointF corner{g.X0 + dx, g.Y0 + g.sy * t.AnswerRow - dy};
        int options = t.DefaultOptions;
        int orientation = t.DefaultOrientation;
        for (int k = 0; k < std::min(t.OverrideCount, card_limits::MaxOverrides); ++k) {
            const BlockOverride& o = t.BlockOverrides[k];
            if (o.blockIndex == block) {
                options = o.options;
                orientation = o.orientation;
                corner = {g.X0 + g.sx * o.column, g.Y0 + g.sy * o.row};
            }
        }
        options = std::clamp(options, 0, card_limits::MaxOptions);
        for (int r = 0; r < 5; ++r) {
            QuestionCells& q = ctx.Questions[block * 5 + r];
            q.options = options;
            q.orientation = orientation;
            q.hasCells = orientation == 0 || orientation == 1;
            if (!q.hasCells)
                continue;
            for (int j = 0; j < options; ++j) {
                const PointF c =
                    orientation == 0
                        ? PointF{corner.x + g.sx * static_cast<float>(j), corner.y - g.sy * static_cast<float>(r)}
                        : PointF{corner.x + g.sx * static_cast<float>(r), corner.y - g.sy * static_cast<float>(j)};
                q.corner[j] = {SaneFloat(c.x), SaneFloat(c.y)};
            }
        }
    }
}

int BuildSamplingGrids(RecognitionContext& ctx)
{
    const CardTemplate& t = ctx.Template;
    const CardGeometry& g = ctx.Geometry;
    // Every reading starts here: nothing kept from an earlier attempt may be read.
    ForgetMarkGrey(ctx);
    LayOutDigitGrid(g, t.AdmCol, t.AdmRow, t.AdmColumns, 10, ctx.AdmGrid);
    LayOutDigitGrid(g, t.SubjCol, t.SubjRow, t.SubjColumns, t.SubjRows, ctx.SubjGrid);
    LayOutDigitGrid(g, t.ScoreCol, t.ScoreRow, t.ScoreColumns, 10, ctx.ScoreGrid);
    int ab = t.AbMode == 1 ? 0 : t.AbMode == 2 ? 1 : DetectAbType(ctx);
    if (ab < 0)
        return ab;
    ctx.Reading.paperType = ab;
    ctx.AbTypeRead = true;
    LayOutQuestionCells(ctx, ab);
    return GridsOk;
}

void DrawThumbnail(RecognitionContext& ctx)
{
    const CardGeometry& g = ctx.Geometry;
    Bitmap& thumb = ctx.Thumbnail;
    thumb.FillWhite();
    if (!ctx.Questions[1].hasCells || ctx.Questions[1].options < 1 || ctx.AdmGrid.columns < 1 || ctx.AdmGrid.rows < 2)
        return;
    const BitmapView card = ctx.RectifiedCard.View();
    const BitmapView out = thumb.View();
    const int left = static_cast<int>(ctx.Questions[1].corner[0].x);
    const int top = static_cast<int>(CardSize - ctx.AdmGrid.corner[0][1].y);
    const int width = static_cast<int>(6 * g.sx), height = static_cast<int>(3 * g.sy);
    if (width <= 0 || height <= 0 || out.Empty())
        return;
    // Area-averaging reduction: each thumbnail pixel is the mean of the
    // source pixels it covers (the halftone stretch of a canvas). The
    // columns' ranges are the same on every row: worked out once.
    std::vector<std::pair<int, int>> columns(static_cast<std::size_t>(out.width));
    for (int tx = 0; tx < out.width; ++tx) {
        const int c0 = left + tx * width / out.width;
        columns[static_cast<std::size_t>(tx)] = {c0, std::max(c0 + 1, left + (tx + 1) * width / out.width)};
    }
    for (int ty = 0; ty < out.height; ++ty) {
        const int r0 = top + ty * height / out.height;
        const int r1 = std::max(r0 + 1, top + (ty + 1) * height / out.height);
        if (r0 >= card.height || r1 <= 0)
            continue;
        // The card rows this thumbnail row averages, worked out once for the row.
        int ys[CardPictureSize];
        int rows = 0;
        for (int r = std::max(r0, 0); r < std::min(r1, card.height) && rows < CardPictureSize; ++r) {
            const int y = CardPictureSize - 1 - r;
            if (y >= 0 && y < card.height)
                ys[rows++] = y;
        }
        uint8_t* d = out.Row(out.height - 1 - ty);
        for (int tx = 0; tx < out.width; ++tx, d += out.bytesPerPixel) {
            const auto [c0, c1] = columns[static_cast<std::size_t>(tx)];
            const int x0 = std::max(c0, 0), x1 = std::min(c1, card.width);
            if (x1 <= x0 || rows == 0)
                continue;
            if (rows == 1 && x1 == x0 + 1) { // the thumbnail is usually larger than the area it shows
                const uint8_t* p = card.At(x0, ys[0]);
                SetPixel(d, p[0], p[1], p[2]);
                continue;
            }
            unsigned sum[3] = {0, 0, 0};
            for (int k = 0; k < rows; ++k) {
                const uint8_t* p = card.At(x0, ys[k]);
                for (int x = x0; x < x1; ++x, p += card.bytesPerPixel) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const auto n = static_cast<unsigned>(rows * (x1 - x0));
            SetPixel(d, static_cast<uint8_t>(sum[0] / n), static_cast<uint8_t>(sum[1] / n),
                     static_cast<uint8_t>(sum[2] / n));
        }
    }
}

int CardColour(RecognitionContext& ctx)
{
    const CardGeometry& g = ctx.Geometry;
    const BitmapView card = ctx.RectifiedCard.View();
    int colour = 0;
    if (ctx.AdmGrid.columns >= 1 && ctx.AdmGrid.rows >= 1 && (card.bytesPerPixel == 3 || card.bytesPerPixel == 4)) {
        const PointF c = ctx.AdmGrid.corner[0][0];
        int greens = 0, reds = 0;
        long redSum[3] = {}; // B, G, R of the red pixels: the print's own colour
        for (int y = std::max(static_cast<int>(c.y - 10 * g.sy), 0); static_cast<float>(y) < c.y && y < card.height;
             ++y)
            for (int x = std::max(static_cast<int>(c.x), 0); static_cast<float>(x) < c.x + 2 * g.sx && x < card.width;
                 ++x) {
                const uint8_t* p = card.At(x, y);
                greens += p[1] > p[2] + 15;
                if (p[2] > p[1] + 15) {
                    ++reds;
                    for (int k = 0; k < 3; ++k)
                        redSum[k] += p[k];
                }
            }
        if (reds - greens > 50 && (greens == 0 || reds / greens > 5)) {
            colour = GreyRedCard;
            ctx.Skin.ExceptPrint(static_cast<int>(redSum[0] / reds), static_cast<int>(redSum[1] / reds),
                                 static_cast<int>(redSum[2] / reds));
        } else if (greens - reds > 50 && (reds == 0 || greens / reds > 5)) {
            colour = GreyGreenCard;
        }
    }
    ctx.GreyMode = DropoutMode(colour);
    return colour;
}

void PrepareAnswerBlocks(RecognitionContext& ctx)
{
    const CardGeometry& g = ctx.Geometry;
    const int count = std::clamp(ctx.Template.QuestionCount, 0, card_limits::MaxQuestions);
    if (ctx.MarkGrey.size() != static_cast<std::size_t>(CardPictureSize) * CardPictureSize)
        ForgetMarkGrey(ctx);
    for (int q = 0; q < count; q += 5) {
        const QuestionCells& cells = ctx.Questions[q];
        const int n = cells.options;
        if (!cells.hasCells || n < 1)
            continue;
        const PointF P = cells.corner[0];
        const PointF L = cells.corner[n - 1];
        ScanRect area{static_cast<int>(CardSize - P.y), 0, static_cast<int>(P.x), 0};
        float x0, y0;
        ScanRect checkArea = area;
        if (cells.orientation == 0) {
            area.width = static_cast<int>(static_cast<float>(n) * g.sx);
            area.height = static_cast<int>(5 * g.sy);
            x0 = L.x + g.sx + g.s;
            y0 = L.y - g.s;
            checkArea.width = static_cast<int>(static_cast<float>(n + 1) * g.sx);
            checkArea.height = static_cast<int>(5 * g.sy);
        } else {
            area.width = static_cast<int>(5 * g.sx);
            area.height = static_cast<int>(static_cast<float>(n) * g.sy);
            x0 = L.x + g.s;
            y0 = L.y - g.sy - g.s;
            checkArea.width = static_cast<int>(5 * g.sx);
            checkArea.height = static_cast<int>(static_cast<float>(n + 1) * g.sy);
        }
        NoteSkin(ctx, area);
        ctx.LastThreshold = KeepGreyAndBinarise(ctx.RectifiedCard.View(), area, ctx.GreyMode, ctx.MarkGrey.data(),
                                                ctx.BlockPaper[q / 5]);
        DrawGreyReferenceFrame(ctx, x0, y0);
        ctx.LastThreshold = BinariseAdaptive(ctx.CheckCard.View(), checkArea, ctx.GreyMode, ctx.GreyMode);
    }
}

// How much darker than `paper` the middle of a window was before
// binarisation, on average, in tenths of a grey level.
static int WindowDarkness(const uint8_t* grey, int paper, PointF c, float sx, float sy)
{
    // The middle half of the window both ways, as InkAtCentre: a mark in
    // the next column or row reaches into the window's edge, not this far.
    const float top = c.y, bottom = static_cast<float>(static_cast<int>(c.y - sy + 2));
    const float h = top - bottom;
    int sum = 0, pixels = 0;
    const int x0 = std::clamp(static_cast<int>(c.x + sx / 4 + 0.5f), 0, CardPictureSize);
    for (int y = std::max(static_cast<int>(bottom + h / 4 + 0.5f), 0);
         static_cast<float>(y) < top - h / 4 && y < CardPictureSize; ++y)
        for (int x = x0; static_cast<float>(x) < c.x + 3 * sx / 4 && x < CardPictureSize; ++x) {
            sum += std::max(paper - grey[y * CardPictureSize + x], 0);
            ++pixels;
        }
    return pixels ? sum * 10 / pixels : 0;
}

// How much darker than the paper each row's window of a digit column was
// before binarisation (tenths of a grey level), the paper being the median
// grey level of the column's windows. False without kept grey levels.
static bool ColumnDarkness(const RecognitionContext& ctx, const PointF* corners, int rows, int* darkness)
{
    const CardGeometry& g = ctx.Geometry;
    const uint8_t* grey = ctx.MarkGrey.data();
    if (ctx.MarkGrey.size() != static_cast<std::size_t>(CardPictureSize) * CardPictureSize)
        return false;
    uint32_t histogram[256] = {};
    uint32_t pixels = 0;
    for (int j = 0; j < rows; ++j) {
        const PointF c = corners[j];
        const int x0 = std::clamp(static_cast<int>(c.x), 0, CardPictureSize);
        for (int y = std::max(static_cast<int>(c.y - g.sy + 2), 0);
             static_cast<float>(y) < c.y && y < CardPictureSize; ++y)
            for (int x = x0; static_cast<float>(x) < c.x + g.sx && x < CardPictureSize; ++x) {
                ++histogram[grey[y * CardPictureSize + x]];
                ++pixels;
            }
    }
    if (pixels == 0)
        return false;
    int paper = 255;
    for (uint32_t v = 0, seen = 0; v < 256; ++v) {
        seen += histogram[v];
        if (seen * 2 > pixels) {
            paper = static_cast<int>(v);
            break;
        }
    }
    for (int j = 0; j < rows; ++j)
        darkness[j] = WindowDarkness(grey, paper, corners[j], g.sx, g.sy);
    return true;
}

// A column the binarisation blackened in every row (a light hand's pale
// digit among faint print): the row whose middle was, before binarisation,
// clearly darker than the column's typical row (its print) and by at least
// twice as much as any other row. A rubbed-out digit's residue beside a
// mark, or the next column's mark reaching over, leaves the column unread
// rather than misread.
static int DarkestRow(const int* darkness, int rows)
{
    if (rows < 3)
        return -1;
    int sorted[card_limits::MaxColumnRows];
    std::copy(darkness, darkness + rows, sorted);
    std::nth_element(sorted, sorted + rows / 2, sorted + rows);
    const int typical = sorted[rows / 2];
    int darkest = -1, most = 0, second = 0;
    for (int j = 0; j < rows; ++j) {
        const int excess = darkness[j] - typical;
        if (excess > most) {
            second = most;
            most = excess;
            darkest = j;
        } else {
            second = std::max(second, excess);
        }
    }
    return most >= MinDigitDarkness && most >= 2 * second ? darkest : -1;
}

std::string ReadDigitColumns(RecognitionContext& ctx, const DigitGrid& grid, int columns, int rows)
{
    const CardGeometry& g = ctx.Geometry;
    const BitmapView card = ctx.RectifiedCard.View();
    const BitmapView check = ctx.CheckCard.View();
    columns = std::clamp(columns, 0, grid.columns);
    rows = std::clamp(rows, 0, grid.rows);
    std::string text;
    int fills[card_limits::MaxColumnRows];
    int inks[card_limits::MaxColumnRows];
    bool marked[card_limits::MaxColumnRows];
    bool overflow[card_limits::MaxColumnRows];
    PointF corners[DigitGrid::MaxColumns * card_limits::MaxColumnRows];
    int count = 0;
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j)
            corners[count++] = grid.corner[i][j];
    const PointF shift = GridShift(card, corners, count, g.sx, g.sy);
    auto cornerOf = [&](int i, int j) { return PointF{grid.corner[i][j].x + shift.x, grid.corner[i][j].y + shift.y}; };
    ctx.DigitReasons.fill(RefusalReason::None);
    for (int i = 0; i < columns; ++i) {
        int best = -1, ink = 0, inkRow = -1, inkRows = 0;
        bool unclearTip = false;
        // A column without a digit, and why (for the teacher, if it refuses the card).
        auto unread = [&](bool inked, RefusalReason why) {
            text += inked ? UnclearDigit : ' ';
            ctx.DigitReasons[static_cast<std::size_t>(i)] = inked ? why : RefusalReason::NotFilled;
        };
        for (int j = 0; j < rows; ++j) {
            const PointF c = cornerOf(i, j);
            fills[j] = CellFill(card, c, g.sx, g.sy);
            marked[j] = fills[j] > 9 && InkAtCentre(card, c, g.sx, g.sy);
            // A small confirmed patch that reaches the middle but leans hard
            // towards a much bigger mark beside it (the next column's digit,
            // written off its bubble's centre) is that mark's edge, unless
            // the patch's shape says it is a mark of its own; where the shape
            // tells nothing, the column is unclear rather than a guess.
            const int black = CellBlack(check, c, g.sx, g.sy);
            if (marked[j] && fills[j] < SmallMark && black >= 5 && SpillFromNeighbour(card, c, g.sx, g.sy, HardLean)) {
                const WindowOwners o = OwnersOfWindowInk(card, c, g.sx, g.sy);
                if (o.unclear > 0)
                    unclearTip = true;
                else if (!OnlyOwnInk(o, g.sx, g.sy))
                    marked[j] = false;
            }
            // A neighbour's mark reaching over the edge is neither a mark
            // of this row nor ink that confirms one.
            overflow[j] = !marked[j] && SpillFromNeighbour(card, c, g.sx, g.sy);
            inks[j] = fills[j] > 9 && overflow[j] ? 0 : black;
            if (marked[j] && (best < 0 || fills[j] > fills[best]))
                best = j;
            ink += inks[j];
            if (marked[j] && inks[j] >= 5) {
                ++inkRows;
                if (inkRow < 0 || inks[j] > inks[inkRow])
                    inkRow = j;
            }
        }
        if (unclearTip) {
            unread(true, RefusalReason::NeighbourOverflow);
        } else if (best < 0) {
            // Confirming ink without any cell standing out: something is
            // written there that cannot be read; unless it lies in one row
            // alone as a patch of that row's own, a small mark off the
            // middle of its bubble.
            int inked = -1, inkedRows = 0;
            for (int j = 0; j < rows; ++j)
                if (fills[j] > 9 || inks[j] >= 5) {
                    ++inkedRows;
                    inked = j;
                }
            if (ink >= 5 && inkedRows == 1 && inks[inked] >= 5 && fills[inked] > 9) {
                if (OnlyOwnInk(OwnersOfWindowInk(card, cornerOf(i, inked), g.sx, g.sy), g.sx, g.sy)) {
                    text += std::to_string(inked);
                    continue;
                }
            }
            unread(ink >= 5, RefusalReason::InkOffCentre);
        } else if (ink >= 5) {
            if (inkRows > 1) {
                // A big mark reaching into the next row's centre: its ink
                // leans towards the mark and is much less; it is not a
                // second mark.
                int kept = -1, keptRows = 0;
                for (int j = 0; j < rows; ++j)
                    if (marked[j] && inks[j] >= 5 && !SpillFromNeighbour(card, cornerOf(i, j), g.sx, g.sy)) {
                        ++keptRows;
                        kept = j;
                    }
                if (keptRows == 1) {
                    inkRow = kept;
                    inkRows = 1;
                }
            }
            if (inkRows == 1) {
                // The confirming ink lies in one marked row: that row, even
                // where a shadow across the column blackened other rows'
                // printed cells more in the adaptive picture.
                text += std::to_string(inkRow);
            } else if (inkRows == 0 && std::all_of(inks, inks + rows, [&](int v) { return v <= inks[best]; })) {
                text += std::to_string(best);
            } else {
                // Two marks, or ink that points elsewhere: unclear rather
                // than a guess.
                unread(true, inkRows > 1 ? RefusalReason::TwoDigits : RefusalReason::InkOffCentre);
            }
        } else {
            // A pale mark the grey reference does not confirm: a clear winner
            // over the other rows still counts. On "JD" cards the rows' faint
            // print sets the margin; on "DY" cards, whose print stays white
            // in the adaptive picture, the mark must stand alone.
            int others = 0, strongest = 0;
            for (int j = 0; j < rows; ++j)
                if (j != best && !overflow[j]) {
                    others += fills[j];
                    strongest = std::max(strongest, fills[j]);
                }
            bool clear;
            if (ctx.IsJd()) {
                const float v =
                    static_cast<float>(ctx.Questions[std::min(i, card_limits::MaxQuestions - 1)].options) / 4;
                clear = static_cast<float>(others) * v < static_cast<float>(fills[best]);
            } else {
                clear = fills[best] >= 20 && strongest * 3 <= fills[best];
            }
            // No clear winner in the binarised picture: the grey levels may
            // still show one (see DarkestRow).
            PointF column[card_limits::MaxColumnRows];
            for (int j = 0; j < rows; ++j)
                column[j] = cornerOf(i, j);
            int darkness[card_limits::MaxColumnRows];
            if (!clear && ColumnDarkness(ctx, column, rows, darkness)) {
                const int darkest = DarkestRow(darkness, rows);
                if (darkest >= 0 && marked[darkest]) {
                    text += std::to_string(darkest);
                    continue;
                }
            }
            // Some confirming ink, if too little to confirm a row, and no
            // clear winner (a shadow across the column, a pale mark beside
            // another): something is written there, so the column is
            // unclear, never "not filled".
            if (clear)
                text += std::to_string(best);
            else
                unread(ink >= 3, RefusalReason::UnclearDigit);
        }
    }
    return text;
}

static int QuestionInk(const RecognitionContext& ctx, const BitmapView& check, const QuestionCells& cells)
{
    if (!cells.hasCells)
        return 0;
    int ink = 0;
    for (int j = 0; j < cells.options; ++j)
        ink += CellBlack(check, cells.corner[j], ctx.Geometry.sx, ctx.Geometry.sy);
    return ink;
}

AnswersResult ReadAnswers(RecognitionContext& ctx, const SamplingExam& exam)
{
    const CardGeometry& g = ctx.Geometry;
    const BitmapView card = ctx.RectifiedCard.View();
    const BitmapView check = ctx.CheckCard.View();
    const int count = std::clamp(exam.questionCount, 0, card_limits::MaxQuestions);
    ctx.RereadRule = nullptr;
    ctx.RereadQuestion = -1;
    ctx.Refusal = {};
    auto reread = [&ctx](int q, RefusalReason reason, const char* rule) {
        ctx.RereadRule = rule;
        ctx.RereadQuestion = q;
        ctx.Refusal.field = RefusalField::Question;
        ctx.Refusal.index = q;
        ctx.Refusal.reason = reason;
        return AnswersResult::LightingFailure;
    };

    constexpr int MaxBlocks = card_limits::MaxQuestions / 5 + 1;
    int blockInk[MaxBlocks] = {};
    for (int q = 0; q < count; ++q)
        if (QuestionInk(ctx, check, ctx.Questions[q]) > 4)
            ++blockInk[q / 5];
    // The block after the last complete one counts as inked.
    blockInk[count / 5] = std::max(blockInk[count / 5], 1);

    PointF blockShift[MaxBlocks] = {};
    for (int first = 0; first < count; first += 5) {
        PointF corners[5 * card_limits::MaxOptions];
        int n = 0;
        for (int q = first; q < std::min(first + 5, count); ++q)
            for (int j = 0; j < ctx.Questions[q].options && ctx.Questions[q].hasCells; ++j)
                corners[n++] = ctx.Questions[q].corner[j];
        blockShift[first / 5] = GridShift(card, corners, n, g.sx, g.sy);
    }

    // How dark the hand that filled the card marks: the median depth of its
    // clear marks. Unknown (0) with fewer than five.
    const uint8_t* grey = ctx.MarkGrey.data();
    auto shifted = [&](int q, int j) {
        return PointF{ctx.Questions[q].corner[j].x + blockShift[q / 5].x,
                      ctx.Questions[q].corner[j].y + blockShift[q / 5].y};
    };
    {
        constexpr int MaxSamples = 64;
        int depths[MaxSamples];
        int n = 0;
        for (int q = 0; q < count && n < MaxSamples; ++q)
            for (int j = 0; j < ctx.Questions[q].options && ctx.Questions[q].hasCells && n < MaxSamples; ++j) {
                const PointF c = shifted(q, j);
                if (CellFill(card, c, g.sx, g.sy) >= 30 && InkAtCentre(card, c, g.sx, g.sy))
                    depths[n++] = CellDepth(card, grey, ctx.BlockPaper[q / 5], c, g.sx, g.sy);
            }
        ctx.MarkDepth = 0;
        if (n >= 5) {
            std::nth_element(depths, depths + n / 2, depths + n);
            ctx.MarkDepth = depths[n / 2];
        }
    }

    const int nominal = static_cast<int>((g.sy - 2) * g.sx);
    auto ownFill = [&](const WindowOwners& o) { return nominal > 0 ? o.own * 100 / nominal : 0; };
    for (auto& letters : ctx.AnswerLetters)
        letters[0] = '\0';
    int doubtful = 0, lastDoubtful = -1;
    RefusalReason lastDoubt = RefusalReason::None;
    auto noteDoubtful = [&](int q, RefusalReason why) {
        ++doubtful;
        lastDoubtful = q;
        lastDoubt = why;
    };
    for (int q = 0; q < count; ++q) {
        if (!(exam.fullScore[q] > 0))
            continue;
        GbkText<10>& answer = ctx.Reading.questionResults[q].answer;
        char* fullLetters = ctx.AnswerLetters[q].data();
        answer.Clear();
        QuestionCells cells = ctx.Questions[q];
        if (!cells.hasCells)
            continue;
        for (int j = 0; j < cells.options; ++j) {
            cells.corner[j].x += blockShift[q / 5].x;
            cells.corner[j].y += blockShift[q / 5].y;
        }
        int fills[card_limits::MaxOptions];
        int inks[card_limits::MaxOptions]; // confirming ink, counted once for every rule below
        bool marked[card_limits::MaxOptions];
        bool overflow[card_limits::MaxOptions];
        int best = -1, ink = 0;
        for (int j = 0; j < cells.options; ++j) {
            fills[j] = CellFill(card, cells.corner[j], g.sx, g.sy);
            inks[j] = CellBlack(check, cells.corner[j], g.sx, g.sy);
            ink += inks[j];
            // A mark covers its cell's centre; a neighbour's mark that spills
            // over the edge does not, and is not an option chosen.
            // A small patch that reaches the centre but leans hard towards a
            // neighbour's much bigger mark is that mark's overflow, or a
            // small mark pushed against it.
            marked[j] = fills[j] > 9 && InkAtCentre(card, cells.corner[j], g.sx, g.sy);
            overflow[j] = marked[j] && fills[j] < SmallMark &&
                          SpillFromNeighbour(card, cells.corner[j], g.sx, g.sy, HardLean);
            marked[j] = marked[j] && !overflow[j];
            if (marked[j] && (best < 0 || fills[j] > fills[best]))
                best = j;
        }
        // The patches' own shapes tell which of the two it is: the tip of a
        // mark centred in another cell, or a mark of its own beside it. When
        // they do not (two marks run together), and nothing else in the
        // question is marked while the patch holds confirmed ink: read again.
        // A multiple choice asks even beside marked options: a letter whose
        // mark strays towards the next question's is still one of its
        // letters, and dropped it would be read wrong, not refused.
        bool foreignTip[card_limits::MaxOptions] = {}; // ink of a mark centred in another cell
        if (best < 0 || exam.multipleChoice[q] != 0)
            for (int j = 0; j < cells.options; ++j)
                if (overflow[j] && inks[j] >= 5) {
                    const WindowOwners o = OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy);
                    if (o.unclear > 0)
                        return reread(q, RefusalReason::NeighbourOverflow, "overflow holds the only ink");
                    if (ownFill(o) > 9) {
                        marked[j] = true;
                        overflow[j] = false;
                        if (best < 0 || fills[j] > fills[best])
                            best = j;
                    } else {
                        foreignTip[j] = true;
                    }
                }
        // A mark the grid sits astride of could be this option's or its
        // neighbour's: read the card again rather than guess; unless every
        // patch reaching into the window is centred in it (a big mark
        // pushed towards the neighbour, reaching over with its tip).
        for (int j = 0; j < cells.options; ++j)
            if (marked[j] && MarkAstride(card, cells.corner[j], g.sx, g.sy, AstrideLean) &&
                !OnlyOwnInk(OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy), g.sx, g.sy))
                return reread(q, RefusalReason::MarkAstride, "mark astride");
        // An option only the block's shift made marked, whose ink is not a
        // mark of its own: the shift, led by the block's other marks, has
        // brought the window onto the edge of a mark in the next cell (a
        // blackened box reaching over). The tip of a mark centred there is
        // no answer; where the shapes tell nothing, the card is read again.
        for (int j = 0; j < cells.options; ++j) {
            const PointF unshifted = ctx.Questions[q].corner[j];
            if (!marked[j] || (CellFill(card, unshifted, g.sx, g.sy) > 9 && InkAtCentre(card, unshifted, g.sx, g.sy)))
                continue;
            const WindowOwners o = OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy);
            if (o.unclear > 0)
                return reread(q, RefusalReason::NeighbourOverflow, "shifted onto a neighbour's mark");
            if (ownFill(o) <= 9) {
                marked[j] = false;
                foreignTip[j] = true;
                if (best == j) {
                    best = -1;
                    for (int k = 0; k < cells.options; ++k)
                        if (marked[k] && (best < 0 || fills[k] > fills[best]))
                            best = k;
                }
            }
        }
        // A single choice whose mark leans towards a mark beside it (the next
        // question's, overflowing) while another option holds confirmed ink:
        // the student's own mark may be the other one.
        // Which one is tells the patches' shapes, unless two marks run together.
        if (exam.multipleChoice[q] == 0 && best >= 0 && MarkAstride(card, cells.corner[best], g.sx, g.sy, SpillLean))
            for (int j = 0; j < cells.options; ++j)
                if (j != best && marked[j] && inks[j] >= 5) {
                    const WindowOwners ob = OwnersOfWindowInk(card, cells.corner[best], g.sx, g.sy);
                    const WindowOwners oj = OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy);
                    const bool bestOwn = ownFill(ob) > 9, otherOwn = ownFill(oj) > 9;
                    if (ob.unclear > 0 || oj.unclear > 0 || bestOwn == otherOwn)
                        return reread(q, RefusalReason::NeighbourOverflow, "leaning mark beside another candidate");
                    const int tip = otherOwn ? best : j;
                    marked[tip] = false;
                    foreignTip[tip] = true;
                    if (otherOwn)
                        best = j;
                    break;
                }
        const bool multiple = exam.multipleChoice[q] != 0;
        // A rubbed-out mark's residue is much paler than the marks of the
        // hand that filled the card, where the binarisation still blackens it.
        auto depthShare = [&](int j) {
            return ctx.MarkDepth > 0 ? CellDepth(card, grey, ctx.BlockPaper[q / 5], cells.corner[j], g.sx, g.sy) *
                                           100 / ctx.MarkDepth
                                     : -1;
        };
        auto residue = [&](int j) {
            const int share = depthShare(j);
            return share >= 0 && share < ResidueDepth;
        };
        // Confirmed ink on an option that does not hold it at its centre: a
        // mark that the grid missed, or a neighbour's spilling over. Either
        // reading could be wrong, so the card is read again; unless it is
        // the question's only ink, a patch of its own as dark as the hand's
        // marks: a small mark off its bubble's centre.
        // Ink leaning towards a marked neighbour is that mark's overflow,
        // unless the patches' shapes say it is a mark of its own, small
        // and pushed off its bubble towards the neighbour: then it is
        // judged as any ink off the centre.
        for (int j = 0; j < cells.options; ++j)
            if (!marked[j] && !foreignTip[j] && fills[j] > 9 && inks[j] >= 5) {
                const WindowOwners o = OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy);
                const bool ownOnly = o.unclear == 0 && o.foreign == 0 && ownFill(o) > 9;
                if (!ownOnly && SpillFromNeighbour(card, cells.corner[j], g.sx, g.sy))
                    continue;
                bool alone = best < 0;
                for (int k = 0; k < cells.options && alone; ++k)
                    alone = k == j || (fills[k] <= 9 && inks[k] < 5);
                if (alone && depthShare(j) >= MarkDepthShare && ownOnly) {
                    marked[j] = true;
                    best = j;
                    continue;
                }
                // Ink that is wholly the edges of marks centred in other cells
                // (two big marks either side, whose pulls cancel out) is
                // neither this option's mark nor a doubt about one; unless
                // it is as much as the mark beside holds: a mark half way
                // between two bubbles, whose centre tells nothing.
                auto besideFill = [&] {
                    int most = 0;
                    for (int d = 0; d < 4; ++d)
                        most = std::max(most, CellFill(card, Neighbour(cells.corner[j], d, g.sx, g.sy), g.sx, g.sy));
                    return most;
                };
                if (!alone && o.own == 0 && o.unclear == 0 && o.foreign > 0 && 2 * fills[j] <= besideFill()) {
                    foreignTip[j] = true;
                    continue;
                }
                return reread(q, RefusalReason::InkOffCentre, "ink off the centre");
            }
        // A whole mark as dark as the card's own marks that the grey
        // reference did not confirm: the hand is light, not the mark in doubt.
        auto paleButWhole = [&](int j) { return fills[j] >= WholeMark && depthShare(j) >= MarkDepthShare; };
        if (multiple && best >= 0 && ink < 5 && fills[best] >= 20) {
            // Pale letters of a multiple choice, none confirmed: read when each
            // is such a whole mark or a residue, again when one is neither.
            // Cleared, as the rule for unconfirmed marks has it, they would
            // be read as an empty answer.
            bool whole = false;
            for (int j = 0; j < cells.options; ++j) {
                if (!marked[j])
                    continue;
                if (paleButWhole(j))
                    whole = true;
                else if (residue(j))
                    marked[j] = false;
                else
                    return reread(q, RefusalReason::PaleMark, "pale mark, no clear choice");
            }
            if (whole)
                ink = 5;
        }
        if (!ctx.IsJd() && best >= 0 && ink < 5 && blockInk[q / 5] > 0 && fills[best] >= 20) {
            // A pale mark the grey reference lost (under a shadow, from a
            // light hand) where the block holds confirmed marks: a doubtful
            // question. A clear single choice is read; anything else is read
            // again rather than taken as empty.
            int m = 0;
            for (int j = 0; j < cells.options; ++j)
                if (j != best)
                    m = std::max(m, fills[j]);
            if (multiple || m * 3 >= fills[best])
                return reread(q, RefusalReason::PaleMark, "pale mark, no clear choice");
            ink = 5;
            if (!paleButWhole(best))
                noteDoubtful(q, RefusalReason::PaleMark);
        }
        if (multiple && ink >= 5) {
            const int bestFill = best >= 0 ? fills[best] : 0;
            for (int j = 0; j < cells.options; ++j)
                // A letter next to confirmed ones whose own confirming ink is
                // a trace, or a small patch beside marks twice its size: a
                // residue when it is that pale, else a pale mark; doubtful.
                if (marked[j] && (inks[j] * 4 < fills[j] || (fills[j] < 14 && fills[j] * 2 < bestFill))) {
                    const int share = depthShare(j);
                    if (share >= 0 && share < ResidueDepth) {
                        marked[j] = false;
                        ink -= inks[j];
                    } else if (!(share >= MarkDepthShare && (inks[j] * 2 >= fills[j] || fills[j] >= WholeMark))) {
                        // A small patch as dark as the hand's marks and half
                        // confirmed is a small mark, not a residue; so is a
                        // whole mark that dark.
                        noteDoubtful(q, RefusalReason::PaleMark);
                    }
                }
        }
        if (!multiple && best >= 0 && ink >= 5) {
            // Two marks of like weight where one is asked for: one of them is
            // a rubbed-out mark as dark as the other, or the student changed
            // their mind; which one counts is a guess, unless all but one are
            // residues by their paleness.
            auto likeRival = [&](int j) {
                return j != best && marked[j] && fills[j] * 5 >= fills[best] * 4 && !residue(j);
            };
            int rivals = 0, rival = -1;
            for (int j = 0; j < cells.options; ++j)
                if (likeRival(j)) {
                    ++rivals;
                    rival = j;
                }
            if (rivals == 0 && fills[best] >= 20 && inks[best] * 2 < fills[best] && depthShare(best) >= 0 &&
                depthShare(best) < FaintResidueDepth) {
                // A big patch that pale with little confirming ink is likely
                // a rubbed-out mark's residue, even as the only candidate; a
                // light mark now and then comes as pale: doubtful.
                noteDoubtful(q, RefusalReason::ErasedResidue);
            } else if (rivals == 1 && residue(best)) {
                best = rival;
            } else if (rivals > 0) {
                // Unless the patches' shapes tell that all but one are the
                // tips of marks centred in another question's cells (a
                // neighbour's overflowing mark). A patch joined to the mark
                // of the option beside it is two marks run together: its
                // centre tells nothing.
                int own = -1, owners = 0;
                bool plain = true;
                for (int j = 0; j < cells.options && plain; ++j) {
                    if (j != best && !likeRival(j))
                        continue;
                    const WindowOwners o = OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy);
                    const bool besideMark = (j > 0 && marked[j - 1]) || (j + 1 < cells.options && marked[j + 1]);
                    if (ownFill(o) > 9) {
                        ++owners;
                        own = j;
                    }
                    plain = o.unclear == 0 && (ownFill(o) > 9 || !besideMark);
                }
                if (plain && owners == 1) {
                    for (int j = 0; j < cells.options; ++j)
                        marked[j] = marked[j] && j == own;
                    best = own;
                } else {
                    noteDoubtful(q, RefusalReason::TwoMarks);
                }
            }
        }

        if (ctx.IsJd() && !multiple && best >= 0 && ink < 5) {
            int h = 0, m = 0;
            for (int j = 0; j < cells.options; ++j)
                if (j != best) {
                    h += fills[j];
                    m = std::max(m, fills[j]);
                }
            const float w = static_cast<float>(cells.options) / 8;
            const int b = fills[best];
            const bool clearWinner = m * 3 < b && static_cast<float>(h) * w < static_cast<float>(b);
            if (blockInk[q / 5] == 0) {
                if (b < 21 || (h > 0 && b / h < 4)) {
                    if (clearWinner)
                        return reread(q, RefusalReason::PaleMark, "pale single mark in a block without ink");
                } else {
                    ink = 5;
                    if (!paleButWhole(best))
                        noteDoubtful(q, RefusalReason::PaleMark);
                }
            } else if (clearWinner && b >= 20) {
                // A smaller patch without ink is a rubbed-out mark's residue:
                // as on the other cards, the question stays empty.
                ink = 5;
                if (!paleButWhole(best))
                    noteDoubtful(q, RefusalReason::PaleMark);
            }
        }
        if (best >= 0 && ink >= 5 && lastDoubtful != q) {
            // A confirmed letter as pale, beside the card's own marks, as the
            // darkest rubbed-out residues: doubtful. Over 4800 printed
            // frames, residues read as answers came to 59-63 % of the card's
            // depth, some of them well confirmed; marks of the hand rarely
            // come under 64 %.
            bool pale = false;
            for (int j = 0; j < cells.options && !pale; ++j)
                if (multiple ? marked[j] : j == best) {
                    const int share = depthShare(j);
                    pale = share >= 0 && share < FaintResidueDepth;
                }
            if (pale)
                noteDoubtful(q, RefusalReason::ErasedResidue);
        }
        if (best >= 0) {
            char letters[card_limits::MaxOptions + 1] = {};
            int n = 0;
            if (!multiple) {
                letters[n++] = static_cast<char>('A' + best);
            } else {
                for (int j = 0; j < cells.options; ++j)
                    if (marked[j])
                        letters[n++] = static_cast<char>('A' + j);
            }
            // A record's answer holds nine letters; all ten options marked
            // keep their first nine here, and the whole set in AnswerLetters.
            answer.SetTruncated(std::string_view(letters, static_cast<std::size_t>(n)));
            std::memcpy(fullLetters, letters, sizeof letters);
        }
        // CheckCard must confirm the mark.
        if (ink < 5 || best < 0) {
            // A small patch of the window's own that the grey reference
            // confirms at its middle, no paler than the hand's marks go, is
            // no answer, but no sure blank either: a small pale mark (a few
            // confirming pixels, or the mark's binarised patch too small to
            // count); doubtful. Rubbed-out marks and the machine card's print
            // leave such patches paler, and a neighbour's mark reaching over
            // is not centred there.
            for (int j = 0; j < cells.options && lastDoubtful != q; ++j)
                if (fills[j] >= 5 && (inks[j] >= 3 || (inks[j] >= 2 && fills[j] >= 15)) &&
                    InkAtCentre(card, cells.corner[j], g.sx, g.sy) && depthShare(j) >= ResidueDepth) {
                    const WindowOwners o = OwnersOfWindowInk(card, cells.corner[j], g.sx, g.sy);
                    if (o.own > 0 && o.foreign == 0 && o.unclear == 0)
                        noteDoubtful(q, RefusalReason::PaleMark);
                }
        }
        if (ink < 5) {
            answer.Clear();
            fullLetters[0] = '\0';
        }
    }
    if (exam.AnyMultipleChoice())
        doubtful *= 5;
    if (doubtful >= 5) {
        // One doubtful question on a card with multiple choices is refused
        // for that question's own doubt; several, for their number.
        const int questions = exam.AnyMultipleChoice() ? doubtful / 5 : doubtful;
        reread(lastDoubtful, questions > 1 ? RefusalReason::TooManyDoubtful : lastDoubt, "too many doubtful questions");
        if (questions > 1) {
            ctx.Refusal.doubt = lastDoubt;
            ctx.Refusal.doubtful = questions;
        }
        return AnswersResult::LightingFailure;
    }
    return AnswersResult::Read;
}
