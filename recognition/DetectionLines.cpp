#include "recognition/DetectionLines.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static constexpr std::array<uint8_t, 256> MakeThinningTable()
{
    constexpr int erasable[] = {
        2,   3,   6,   7,   8,   9,   11,  12,  13,  15,  16,  17,  20,  21,  22,  23,  31,  34,  35,  38,  39,  40,
        41,  43,  44,  45,  47,  48,  49,  52,  53,  54,  55,  63,  64,  65,  68,  69,  96,  97,  100, 101, 104, 105,
        107, 108, 109, 111, 130, 131, 134, 135, 136, 137, 139, 140, 141, 143, 144, 145, 148, 149, 150, 151, 159, 162,
        163, 166, 167, 168, 169, 171, 172, 173, 175, 176, 177, 180, 181, 182, 183, 192, 193, 196, 197, 208, 209, 212,
        213, 214, 215, 224, 225, 228, 229, 232, 233, 235, 236, 237, 240, 241, 244, 245, 246, 248, 249, 252};
    static_assert(sizeof erasable / sizeof erasable[0] == 108);
    std::array<uint8_t, 256> table{};
    for (int i : erasable)
        table[i] = 1;
    return table;
}

const std::array<uint8_t, 256> ThinningTable = MakeThinningTable();

// Neighbour order of the index bits and of the tracing.
static constexpr int NeighbourDx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
static constexpr int NeighbourDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};

int NeighbourIndex(const BitmapView& bmp, int x, int y)
{
    int index = 0;
    for (int k = 0; k < 8; ++k)
        if (!IsBlack(bmp.At(x + NeighbourDx[k], y + NeighbourDy[k])))
            index |= 1 << k;
    return index;
}

// Next x >= from with a nonzero byte in row (up to `last`, inclusive);
// last + 1 when there is none. Sixteen bytes a compare over empty paper
// (the first nonzero one straight from the compare's mask), then eight.
static int NextSet(const uint8_t* row, int from, int last)
{
    int x = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= last + 1; x += 16) {
        const auto zeros = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), zero)));
        if (zeros != 0xFFFF)
            return x + std::countr_one(zeros);
    }
#endif
    while (x + 8 <= last + 1) {
        uint64_t word;
        std::memcpy(&word, row + x, 8);
        if (word)
            break;
        x += 8;
    }
    while (x <= last && !row[x])
        ++x;
    return x;
}

// The erase table with the pass's own condition folded in: the row pass
// looks only at pixels with a white left or right neighbour (index bits 3,
// 4), the column pass at those with a white lower or upper one (bits 1, 6).
static constexpr std::array<uint8_t, 256> PassTable(int candidateBits)
{
    std::array<uint8_t, 256> table = MakeThinningTable();
    for (int i = 0; i < 256; ++i)
        if (!(i & candidateBits))
            table[i] = 0;
    return table;
}
static constexpr std::array<uint8_t, 256> RowPassTable = PassTable(0x18);
static constexpr std::array<uint8_t, 256> ColumnPassTable = PassTable(0x42);

// Next set bit >= from in a line of bits (up to `last`, inclusive); last + 1
// when there is none.
static int NextBit(const uint64_t* line, int from, int last)
{
    int k = from >> 6;
    uint64_t bits = line[k] & (~uint64_t{0} << (from & 63));
    const int lastWord = last >> 6;
    while (!bits) {
        if (++k > lastWord)
            return last + 1;
        bits = line[k];
    }
    const int i = (k << 6) + std::countr_zero(bits);
    return i <= last ? i : last + 1;
}

// True when none of the `bytes` bytes from p is 0; an OR of comparisons
// that the compiler turns into whole-register compares.
template <int Bytes>
static bool NoZeroByte(const uint8_t* p)
{
    uint8_t zero = 0;
    for (int i = 0; i < Bytes; ++i)
        zero |= p[i] == 0;
    return !zero;
}

// Row y of the byte mask (1 = black) from the frame's first bytes; calls
// onBlack(x) for each black pixel and tells whether there was one. Mostly
// white paper: 32 pixels with no zero byte among them are all white.
// Bpp 0: any pixel size, `bpp`, without the shortcut.
template <int Bpp, class OnBlack>
static bool MaskRow(const uint8_t* p, uint8_t* m, int w, int bpp, OnBlack&& onBlack)
{
    constexpr int Run = 32;
    bool any = false;
    int x = 0;
    for (; Bpp && x + Run <= w; x += Run, p += Run * Bpp) {
        if (NoZeroByte<Run * Bpp>(p)) {
            std::memset(m + x, 0, Run);
            continue;
        }
        for (int i = 0; i < Run; ++i) {
            m[x + i] = p[i * Bpp] == 0;
            if (m[x + i]) {
                onBlack(x + i);
                any = true;
            }
        }
    }
    for (; x < w; ++x, p += Bpp ? Bpp : bpp) {
        m[x] = p[0] == 0;
        if (m[x]) {
            onBlack(x);
            any = true;
        }
    }
    return any;
}

void LineDetector::Thin(const BitmapView& f)
{
    std::vector<uint8_t> mask;
    std::vector<uint64_t> work;
    Thin(f, mask, work);
}

void LineDetector::Thin(const BitmapView& f, std::vector<uint8_t>& mask, std::vector<uint64_t>& work)
{
    const int w = f.width, h = f.height, bpp = f.bytesPerPixel;
    if (w < 3 || h < 3)
        return;
    // Whether a pixel is erased depends only on its 3 x 3 block when it is
    // looked at. A pixel that was looked at and kept therefore stays kept
    // until something in its block is erased; so each pass looks only at the
    // pixels whose block changed since that pass last looked at them (at
    // first all black ones). After the first round or two, a round touches a
    // few hundred pixels instead of every black one, and the last round,
    // which erases nothing, costs almost nothing.
    //
    // The pixels still to be looked at are bits, one line of 64-bit words per
    // row for the row pass and per column for the column pass, so both scans
    // jump to them with a count of trailing zeros; flags per row and per
    // column skip lines where nothing is to be looked at. The 3 x 3 blocks are
    // read from a byte per pixel (1 = black), which the later steps of
    // DetectLines go on using. Together about 80 KB besides the byte mask,
    // where a transposed byte copy took 300 KB and a third of the time.
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const int rowWords = (w + 63) / 64, colWords = (h + 63) / 64;
    mask.resize(n + static_cast<std::size_t>(w + h));
    work.assign(static_cast<std::size_t>(h) * rowWords + static_cast<std::size_t>(w) * colWords, 0);
    uint8_t* black = mask.data();
    uint8_t* rowPending = black + n;
    uint8_t* colPending = rowPending + h;
    uint64_t* rowWork = work.data(); // rowWork[y * rowWords + x / 64], bit x % 64
    uint64_t* colWork = rowWork + static_cast<std::size_t>(h) * rowWords; // colWork[x * colWords + y / 64]
    auto mark = [&](int x, int y) {
        rowWork[static_cast<std::size_t>(y) * rowWords + (x >> 6)] |= uint64_t{1} << (x & 63);
        colWork[static_cast<std::size_t>(x) * colWords + (y >> 6)] |= uint64_t{1} << (y & 63);
    };
    auto unmark = [&](int x, int y) {
        rowWork[static_cast<std::size_t>(y) * rowWords + (x >> 6)] &= ~(uint64_t{1} << (x & 63));
        colWork[static_cast<std::size_t>(x) * colWords + (y >> 6)] &= ~(uint64_t{1} << (y & 63));
    };

    // The byte mask, and every black pixel marked for both passes.
    std::memset(colPending, 0, static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
        auto onBlack = [&](int x) {
            mark(x, y);
            colPending[x] = 1;
        };
        uint8_t* m = black + static_cast<std::size_t>(y) * w;
        rowPending[y] = bpp == 3   ? MaskRow<3>(f.Row(y), m, w, bpp, onBlack)
                        : bpp == 4 ? MaskRow<4>(f.Row(y), m, w, bpp, onBlack)
                                   : MaskRow<0>(f.Row(y), m, w, bpp, onBlack);
    }

    const std::ptrdiff_t W = w;
    // Offsets of the neighbours in index-bit order; y counts upward, so
    // (x, y - 1) is one row lower in memory.
    const std::ptrdiff_t offset[8] = {-W - 1, -W, -W + 1, -1, 1, W - 1, W, W + 1};
    auto index = [&](const uint8_t* m) {
        int i = 0;
        for (int k = 0; k < 8; ++k)
            i |= m[offset[k]] << k;
        return i ^ 0xFF;
    };
    // Erases in the mask and the frame (thinning only ever erases, so the
    // frame needs no other write), and has both passes look again at the
    // black pixels of the 3 x 3 block.
    auto erase = [&](int x, int y) {
        SetWhite(f.Row(y) + static_cast<std::ptrdiff_t>(x) * bpp);
        black[static_cast<std::size_t>(y) * w + x] = 0;
        unmark(x, y);
        for (int dy = -1; dy <= 1; ++dy) {
            const uint8_t* m = black + static_cast<std::size_t>(y + dy) * w + x;
            for (int dx = -1; dx <= 1; ++dx)
                if (m[dx])
                    mark(x + dx, y + dy);
            rowPending[y + dy] = 1;
        }
        colPending[x - 1] = colPending[x] = colPending[x + 1] = 1;
    };
    bool erased = true;
    while (erased) {
        erased = false;
        // Row pass: rows upward, left to right; an erased pixel skips the next one.
        for (int y = 1; y <= h - 2; ++y) {
            if (!rowPending[y])
                continue;
            rowPending[y] = 0;
            uint64_t* line = rowWork + static_cast<std::size_t>(y) * rowWords;
            const uint8_t* m = black + static_cast<std::size_t>(y) * w;
            for (int x = NextBit(line, 1, w - 2); x <= w - 2; x = NextBit(line, x + 1, w - 2)) {
                line[x >> 6] &= ~(uint64_t{1} << (x & 63));
                if (RowPassTable[index(m + x)]) {
                    erase(x, y);
                    erased = true;
                    ++x;
                }
            }
        }
        // Column pass: columns left to right, upward.
        for (int x = 1; x <= w - 2; ++x) {
            if (!colPending[x])
                continue;
            colPending[x] = 0;
            uint64_t* line = colWork + static_cast<std::size_t>(x) * colWords;
            for (int y = NextBit(line, 1, h - 2); y <= h - 2; y = NextBit(line, y + 1, h - 2)) {
                line[y >> 6] &= ~(uint64_t{1} << (y & 63));
                if (ColumnPassTable[index(black + static_cast<std::size_t>(y) * w + x)]) {
                    erase(x, y);
                    erased = true;
                    ++y;
                }
            }
        }
    }
}

static int NeighbourSum(const BitmapView& f, int x, int y)
{
    int sum = 0;
    for (int k = 0; k < 8; ++k)
        sum += f.At(x + NeighbourDx[k], y + NeighbourDy[k])[0];
    return sum;
}

int LineDetector::DetectLines(const BitmapView& f)
{
    using namespace line_limits;
    records_.clear();
    strokeEnds_.clear();
    const int w = f.width, h = f.height;
    if (w < 3 || h < 3)
        return 0;
    if (records_.capacity() < MaxLineRecords) {
        records_.reserve(MaxLineRecords);
        strokeEnds_.reserve(MaxStrokeEnds);
        path_.reserve(MaxPathPoints);
    }

    Thin(f, mask_, thinWork_);

    // The thinning mask (its first w * h bytes: 1 = black) still mirrors the
    // frame; it lets both passes below jump over white paper, and it is kept
    // in step with every pixel they whiten.
    uint8_t* black = mask_.data();

    // Junctions: at least three black neighbours (first bytes sum to 1275 or
    // less) clear the whole 3 x 3 block, so crossing strokes fall apart.
    for (int y = 1; y <= h - 2; ++y) {
        const uint8_t* row = black + static_cast<std::size_t>(y) * w;
        for (int x = NextSet(row, 1, w - 2); x <= w - 2; x = NextSet(row, x + 1, w - 2)) {
            if (NeighbourSum(f, x, y) > 1275)
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    SetWhite(f.At(x + dx, y + dy));
                    black[static_cast<std::size_t>(y + dy) * w + x + dx] = 0;
                }
        }
    }

    // Stroke ends: exactly one black neighbour (sum 1785).
    for (int y = 1; y <= h - 2 && static_cast<int>(strokeEnds_.size()) < MaxStrokeEnds; ++y) {
        const uint8_t* row = black + static_cast<std::size_t>(y) * w;
        for (int x = NextSet(row, 1, w - 2); x <= w - 2; x = NextSet(row, x + 1, w - 2)) {
            if (NeighbourSum(f, x, y) != 1785)
                continue;
            if (static_cast<int>(strokeEnds_.size()) >= MaxStrokeEnds)
                break;
            strokeEnds_.push_back({x, y});
        }
    }

    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (onPath_.size() != pixels) {
        onPath_.assign(pixels, 0);
        traceNumber_ = 0;
    }
    auto firstBlackNeighbour = [&](PointI c, PointI exclude, bool hasExclude, PointI& out) {
        for (int k = 0; k < 8; ++k) {
            PointI n{c.x + NeighbourDx[k], c.y + NeighbourDy[k]};
            if (hasExclude && n == exclude)
                continue;
            if (IsBlack(f.At(n.x, n.y))) {
                out = n;
                return true;
            }
        }
        return false;
    };

    for (const PointI& s : strokeEnds_) {
        if (static_cast<int>(records_.size()) >= MaxLineRecords)
            break;
        bool known = false;
        for (const LineRecord& r : records_)
            if (r.start == s || r.end == s) {
                known = true;
                break;
            }
        if (known || s.x < 2)
            continue;
        if (++traceNumber_ == INT32_MAX) {
            std::fill(onPath_.begin(), onPath_.end(), 0);
            traceNumber_ = 1;
        }
        path_.clear();
        PointI current;
        if (!firstBlackNeighbour(s, s, false, current))
            continue;
        PointI previous = s;
        while (static_cast<int>(path_.size()) < MaxPathPoints) {
            if (current.x < 2 || current.x > w - 2 || current.y < 1 || current.y > h - 2)
                break;
            PointI next;
            if (!firstBlackNeighbour(current, previous, true, next))
                break;
            int32_t& mark = onPath_[static_cast<std::size_t>(next.y) * w + next.x];
            if (mark == traceNumber_)
                break;
            mark = traceNumber_;
            path_.push_back(next);
            previous = current;
            current = next;
        }
        const int n = static_cast<int>(path_.size());
        if (n < MinPathPoints)
            continue;
        LineRecord r;
        r.start = s;
        r.end = path_[n - 1];
        r.p1 = path_[10];
        r.p2 = path_[n - 10];
        if (r.p2.x == r.p1.x)
            continue;
        double dx = r.p2.x - r.p1.x, dy = r.p2.y - r.p1.y;
        r.angle = std::atan(dy / dx);
        r.length = std::sqrt(dx * dx + dy * dy);
        records_.push_back(r);
    }
    return static_cast<int>(records_.size());
}

bool LineDetector::ChooseLinePair(const CardTemplate& t, LinePair& best)
{
    pairCount_ = 0;
    const int n = static_cast<int>(records_.size());
    for (int i = 0; i < n && pairCount_ < line_limits::MaxLinePairs; ++i)
        for (int j = i + 1; j < n && pairCount_ < line_limits::MaxLinePairs; ++j) {
            LineRecord& a = records_[i];
            LineRecord& b = records_[j];
            if (std::fabs(a.angle - b.angle) > 0.1 || std::fabs(a.length - b.length) > 20)
                continue;
            if (a.p2.x < a.p1.x)
                std::swap(a.p1, a.p2);
            if (b.p2.x < b.p1.x)
                std::swap(b.p1, b.p2);
            pairs_[pairCount_++] = {i, j};
        }
    float bestDeviation = 10000;
    bool found = false;
    for (int k = 0; k < pairCount_; ++k) {
        const LineRecord& a = records_[pairs_[k].bottom];
        const LineRecord& b = records_[pairs_[k].top];
        double expected = a.length / t.LineLength * t.LineDistance;
        double dx = b.p1.x - a.p1.x, dy = b.p1.y - a.p1.y;
        double actual = std::sqrt(dx * dx + dy * dy);
        float deviation = static_cast<float>(std::fabs(expected - actual));
        if (deviation < bestDeviation) {
            bestDeviation = deviation;
            best = pairs_[k];
            found = true;
        }
    }
    return found;
}

namespace {
enum class WalkResult { Stopped, Failed };

struct Walk {
    PointI p1, p2; // the unrefined line
    int direction; // -1 left, +1 right
};

// One column step of a walk: the next column and its y on the unrefined line,
// or false when the step would leave the picture.
bool StepColumn(const BitmapView& f, const Walk& walk, int x, int& nx, int& ny)
{
    nx = x + walk.direction;
    if (walk.direction < 0 && (x == 1 || nx < 0))
        return false;
    if (nx >= f.width - 1)
        return false;
    ny = LineYAt(walk.p1, walk.p2, nx);
    return ny >= 1 && ny < f.height - 1;
}
} // namespace

static bool WalkToEnd(const BitmapView& f, const Walk& walk, PointI& end)
{
    int x = end.x;
    for (int step = 0; step < 100; ++step) {
        int nx, ny;
        if (!StepColumn(f, walk, x, nx, ny))
            return false;
        if (IsBlack(f.At(nx, ny))) {
            end = {nx, ny};
        } else {
            bool below = IsBlack(f.At(nx, ny - 1));
            bool above = IsBlack(f.At(nx, ny + 1));
            if (!below && !above)
                return true;
            end = below ? PointI{nx, ny - 1} : PointI{nx, ny + 1};
        }
        x = nx;
    }
    return true;
}

int RefineLineEnds(const BitmapView& f, LineEnds& e)
{
    e.bottomLeft = e.bottom.p1;
    e.bottomRight = e.bottom.p2;
    e.topLeft = e.top.p1;
    e.topRight = e.top.p2;
    if (!WalkToEnd(f, {e.bottom.p1, e.bottom.p2, -1}, e.bottomLeft))
        return 3;
    if (!WalkToEnd(f, {e.bottom.p1, e.bottom.p2, +1}, e.bottomRight))
        return 4;
    if (!WalkToEnd(f, {e.top.p1, e.top.p2, -1}, e.topLeft))
        return 5;
    if (!WalkToEnd(f, {e.top.p1, e.top.p2, +1}, e.topRight))
        return 6;
    return 0;
}

static int TruncDistance(PointI a, PointI b)
{
    double dx = a.x - b.x, dy = a.y - b.y;
    return static_cast<int>(std::sqrt(dx * dx + dy * dy));
}

// Counts the columns beyond a refined end where the line goes on (dashed
// extensions of "JD" cards); false when the walk leaves the picture. Blur
// takes a pixel off the line's end and one off each edge of a dash, so the
// printed gap before the first dash grows by two columns at the far end of
// the distance range: a column within two of a run of black columns counts
// too. A lone black column is a speck, not a dash: only its neighbours count.
static bool CountExtension(const BitmapView& f, const Walk& walk, PointI from, int steps, int& hits)
{
    hits = 0;
    int covered = 0; // columns 1 .. covered are counted
    auto addRun = [&](int first, int last) {
        const int reach = last > first ? 2 : 1;
        const int lo = std::max({first - reach, 1, covered + 1}), hi = std::min(last + reach, steps);
        if (hi >= lo)
            hits += hi - lo + 1;
        covered = std::max(covered, hi);
    };
    int x = from.x, runFirst = 0;
    for (int column = 1; column <= steps; ++column) {
        int nx, ny;
        if (!StepColumn(f, walk, x, nx, ny))
            return false;
        x = nx;
        const bool black = IsBlack(f.At(nx, ny)) || IsBlack(f.At(nx, ny - 1)) || IsBlack(f.At(nx, ny + 1));
        if (black && runFirst == 0)
            runFirst = column;
        if (!black && runFirst != 0) {
            addRun(runFirst, column - 1);
            runFirst = 0;
        }
    }
    if (runFirst != 0)
        addRun(runFirst, steps);
    return true;
}

int CheckLinePlacement(const BitmapView& f, const LineEnds& e, bool jd, const CardTemplate& t)
{
    const int margin = (f.width - f.height) / 2;
    if (e.bottomLeft.x < margin || e.topLeft.x < margin || e.bottomRight.x > f.width - margin ||
        e.topRight.x > f.width - margin)
        return 105;

    const int ext[4] = {TruncDistance(e.bottom.p1, e.bottomLeft), TruncDistance(e.bottom.p2, e.bottomRight),
                        TruncDistance(e.top.p1, e.topLeft), TruncDistance(e.top.p2, e.topRight)};
    const int spread = *std::max_element(ext, ext + 4) - *std::min_element(ext, ext + 4);

    const int d = TruncDistance(e.bottomLeft, e.topLeft);
    const float k = t.LineDistance / t.CellHeight;
    if (static_cast<float>(d) > k * 300 / 34)
        return 100;
    if (static_cast<float>(d) < k * 230 / 34)
        return 101;

    if (jd) {
        if (spread > 5)
            return 102;
        const float v = t.CellWidth / t.LineLength;
        const int bottomSteps = static_cast<int>(static_cast<float>(e.bottomRight.x - e.bottomLeft.x) * v);
        const int topSteps = static_cast<int>(static_cast<float>(e.topRight.x - e.topLeft.x) * v);
        struct Extension {
            Walk walk;
            PointI from;
            int steps;
            int failCode;
        };
        const Extension extensions[4] = {
            {{e.bottom.p1, e.bottom.p2, -1}, e.bottomLeft, bottomSteps, 3},
            {{e.bottom.p1, e.bottom.p2, +1}, e.bottomRight, bottomSteps, 4},
            {{e.top.p1, e.top.p2, -1}, e.topLeft, topSteps, 5},
            {{e.top.p1, e.top.p2, +1}, e.topRight, topSteps, 6},
        };
        for (const Extension& x : extensions) {
            int hits = 0;
            if (!CountExtension(f, x.walk, x.from, x.steps, hits))
                return x.failCode;
            if (x.steps > hits * 2.5)
                return 103;
        }
    }
    for (int v : ext)
        if (v > 25)
            return 104;
    return 0;
}
