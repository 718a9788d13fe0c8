#pragma once
// The printed card in template units, from one CardTemplate. Card space: u to
// the right from the bottom detection line's left end, v upward from the
// bottom line's centre. One template unit is one millimetre on paper.
//
// Cell positions come from recognition/CardLayout.h, so the printed cells are
// the cells recognition samples.

#include <string>
#include <vector>

#include "recognition/CardLayout.h"
#include "recognition/CardTemplate.h"

namespace cardprint {

inline constexpr double kMillimetresPerUnit = 1.0;
// Printed bubble size as a share of the cell pitch (see CardGeometry::Bubble).
inline constexpr double kBubbleWidth = 0.52;
inline constexpr double kBubbleHeight = 0.5;
// The A and B cells have no neighbours and are read as whole cells against a
// fixed grey level: their bubbles are larger, so that a mark keeps enough
// dark pixels after blur.
inline constexpr double kAbBubbleWidth = 0.8;
inline constexpr double kAbBubbleHeight = 0.7;
// Where the bubble's centre sits from the cell's centre, as a share of the
// cell pitch. Measured on the synthetic camera, recognition samples a cell
// about 0.3 mm left of and 0.3 mm below where it is printed (it finds a
// detection line at its edge and starts the sampled area a pixel in), and it
// leaves the two lowest pixel rows of each cell out. The bubble is printed
// where its pencil mark lands in the middle of its sampled area, which is
// also midway between the sampled areas of its neighbours (over the corpus
// of tests/recognition the marks sit within 0.1 px of it sideways and 0.3 px
// up and down on average; in the header, which is read beyond the top line,
// 0.3-0.5 px low).
inline constexpr double kBubbleShiftU = -0.06;
inline constexpr double kBubbleShiftV = -0.153;
// How far each detection line is printed beyond its template end. A camera's
// blur and the end walk (which stops on the last black pixel) lose about half
// a pixel at each end; without this the card's scale is read 0.3 % small and
// cells near the sides are sampled 0.4 px towards the middle.
inline constexpr double kLineEndAllowance = 0.25;

struct PointU {
    double u = 0;
    double v = 0;
};

struct RectU {
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
    double Width() const { return right - left; }
    double Height() const { return top - bottom; }
    PointU Centre() const { return {(left + right) / 2, (bottom + top) / 2}; }
};

// One printed mark cell and what is printed in it.
struct FaceCell {
    enum Kind { AbA, AbB, Admission, Subject, Score, Option };
    Kind kind = Option;
    CellPos pos;
    int column = 0;     // digit grids: column index; options: question index
    int value = 0;      // digit grids: the digit; options: option index
    std::string label;  // printed inside the cell
};

// Printed text of a question number beside its block.
struct QuestionLabel {
    int question = 0;  // 0-based
    RectU box;         // where the number is printed (right-aligned for across blocks)
    bool across = true;
};

class CardGeometry {
public:
    // `jd`: machine-card styling (dashed line extensions) for "JD" names.
    CardGeometry(const CardTemplate& t, bool jd);

    const CardTemplate& Template() const { return t_; }
    bool Jd() const { return jd_; }

    // Card origin of the template geometry (bottom line's left end + origin offset, top line).
    PointU Origin() const { return {t_.OriginOffset, t_.LineDistance}; }
    // Upper-left corner of a cell, and the whole cell [u, u + w) x [v - h, v).
    PointU Corner(CellPos c) const;
    RectU Cell(CellPos c) const;
    // The printed bubble of a cell, which a student fills: much smaller than
    // the cell pitch, so that a filled bubble stays inside the area
    // recognition samples for its own cell even when the card is tilted and
    // the sampling grid lands a few pixels off, and never reaches the
    // neighbouring cells' areas.
    RectU Bubble(CellPos c) const;

    double LineThickness() const;
    double DashThickness() const;  // the "JD" line extensions
    RectU BottomLine() const;
    RectU TopLine() const;
    // The orientation mark: three bars in the column `UprightCol`, one per row
    // cell, with empty rows between them; the middle one on the top line's height.
    std::vector<RectU> UprightBars() const;
    // "JD" cards: dashes continuing each line end outward.
    std::vector<RectU> LineExtensionDashes() const;

    // The paper: at least 1.5 cells beyond each line end, 1 cell below the
    // bottom line and 12 above the top line, and symmetric sideways so that a
    // card lying upside down shows plain paper where the orientation mark would be.
    RectU Paper() const { return paper_; }

    // Every mark cell for the AB type (0 A layout, 1 B layout).
    std::vector<FaceCell> Cells(int abType) const;
    std::vector<QuestionLabel> QuestionLabels(int abType) const;

    // Digit grid areas (whole columns), for labels and write-in boxes.
    RectU AdmissionArea() const;
    RectU SubjectArea() const;
    RectU ScoreArea() const;  // empty rect when the card has no score grid
    // Free header space right of the header grids, below the title.
    RectU NotesArea() const;
    double HeaderTop() const;  // v of the top of the header (labels, title above)

private:
    RectU GridArea(float firstCol, float topRow, int columns, int rows) const;
    CardTemplate t_;
    bool jd_ = false;
    RectU paper_;
};

// "DY标准85题自动AB卷.dat" -> "标准85题自动AB卷".
std::string CardDisplayName(const std::string& fileNameUtf8);

} // namespace cardprint
