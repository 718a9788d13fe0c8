#pragma once
// Finding the card's two printed detection lines in a binarised frame:
// thinning to one-pixel strokes, cutting junctions, tracing strokes from
// their free ends, pairing candidates, and walking to the true line ends.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "recognition/Bitmap.h"
#include "recognition/CardTemplate.h"
#include "recognition/ImagePrimitives.h"

namespace line_limits {
inline constexpr int MaxStrokeEnds = 10240;
inline constexpr int MaxPathPoints = 1024;
inline constexpr int MaxLineRecords = 1024;
inline constexpr int MaxLinePairs = 10;
inline constexpr int MinPathPoints = 151; // candidates need more than 150 traced points
} // namespace line_limits

// 1 = a black pixel with this neighbourhood may be erased by thinning.
extern const std::array<uint8_t, 256> ThinningTable;

// Bits of the neighbours that are white (not black): bit 0 (x-1, y-1),
// 1 (x, y-1), 2 (x+1, y-1), 3 (x-1, y), 4 (x+1, y), 5 (x-1, y+1), 6 (x, y+1),
// 7 (x+1, y+1); y counts upward.
int NeighbourIndex(const BitmapView& bmp, int x, int y);

struct LineRecord {
    PointI start; // stroke end where tracing began
    PointI end;   // last traced pixel
    PointI p1;    // traced point 10
    PointI p2;    // traced point (path length - 10)
    double angle = 0;
    double length = 0;
};

struct LinePair {
    int bottom = -1; // record indices
    int top = -1;
};

// The chosen pair with its refined ends.
struct LineEnds {
    LineRecord bottom;
    LineRecord top;
    PointI bottomLeft, bottomRight, topLeft, topRight;
};

// Owns the buffers of the stage so that no frame allocates.
class LineDetector {
public:
    // Thins `frame` in place (it keeps the skeleton) and returns the number of
    // line records found; Records() lists them in the order they were found.
    int DetectLines(const BitmapView& frame);
    const std::vector<LineRecord>& Records() const { return records_; }
    std::vector<LineRecord>& Records() { return records_; }

    // Thinning alone (the first step of DetectLines), for tests. `mask` and
    // `work` are its buffers, kept between calls so that no frame allocates;
    // afterwards the first width * height bytes of `mask` hold the skeleton
    // row by row, 1 = black.
    static void Thin(const BitmapView& frame);
    static void Thin(const BitmapView& frame, std::vector<uint8_t>& mask, std::vector<uint64_t>& work);

    // Pairs records of equal angle and length and keeps the pair whose
    // spacing fits the template best; false = none (code 2). Pairing turns
    // the records so that p1 is the left point.
    bool ChooseLinePair(const CardTemplate& t, LinePair& best);
    int PairCount() const { return pairCount_; }

private:
    std::vector<uint8_t> mask_;
    std::vector<uint64_t> thinWork_;
    std::vector<PointI> strokeEnds_;
    std::vector<PointI> path_;
    std::vector<int32_t> onPath_; // trace number that put a pixel on its path
    int32_t traceNumber_ = 0;
    std::vector<LineRecord> records_;
    std::array<LinePair, line_limits::MaxLinePairs> pairs_{};
    int pairCount_ = 0;
};

// Walks from the unrefined ends along each line in `lineFrame` (bottom-left,
// bottom-right, top-left, top-right). 0, or 3/4/5/6 when a walk leaves the picture.
int RefineLineEnds(const BitmapView& lineFrame, LineEnds& ends);

// Centre, extension and distance checks: 0 or a code 100..105, or 3..6 from
// the extension walks of "JD" cards.
int CheckLinePlacement(const BitmapView& lineFrame, const LineEnds& ends, bool jdTemplate, const CardTemplate& t);
