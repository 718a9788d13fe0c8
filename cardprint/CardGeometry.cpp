#include "cardprint/CardGeometry.h"

#include <algorithm>
#include <cmath>

namespace cardprint {

namespace {
// Printed write-in boxes and labels stack above the highest header grid row.
constexpr double kWriteInRows = 1.1;
constexpr double kLabelRows = 1.1;
constexpr double kTitleRows = 2.0;
} // namespace

CardGeometry::CardGeometry(const CardTemplate& t, bool jd) : t_(t), jd_(jd)
{
    const double cw = t_.CellWidth;
    const double ch = t_.CellHeight;
    const double L = t_.LineLength;

    // Sideways the paper must hold the line ends' 1.5 cells, the orientation
    // mark and the dashes; a half cell of plain paper beyond the farthest.
    double reach = 1.5 * cw;
    for (const RectU& r : UprightBars())
        reach = std::max({reach, r.right - L + 0.5 * cw, -r.left + 0.5 * cw});
    for (const RectU& r : LineExtensionDashes())
        reach = std::max({reach, r.right - L + 0.5 * cw, -r.left + 0.5 * cw});
    for (const FaceCell& c : Cells(0)) {
        RectU r = Cell(c.pos);
        reach = std::max({reach, r.right - L + 0.5 * cw, -r.left + 0.5 * cw});
    }
    // The mirror image of the mark's column (a card upside down) must fall on paper.
    reach += 0.5 * cw;
    double top = std::max(HeaderTop() + (kTitleRows + 0.6) * ch, t_.LineDistance + 12.5 * ch);
    paper_ = {-reach, -1.75 * ch, L + reach, top};
}

PointU CardGeometry::Corner(CellPos c) const
{
    return {t_.OriginOffset + static_cast<double>(c.col) * t_.CellWidth,
            t_.LineDistance + static_cast<double>(c.row) * t_.CellHeight};
}

RectU CardGeometry::Cell(CellPos c) const
{
    PointU p = Corner(c);
    return {p.u, p.v - t_.CellHeight, p.u + t_.CellWidth, p.v};
}

RectU CardGeometry::Bubble(CellPos c) const
{
    const RectU r = Cell(c);
    PointU m = r.Centre();
    m.u += kBubbleShiftU * t_.CellWidth;
    m.v += kBubbleShiftV * t_.CellHeight;
    const bool ab = t_.AbMode == 0 && ((c.col == t_.AbACol && c.row == t_.AbARow) ||
                                       (c.col == t_.AbBCol && c.row == t_.AbBRow));
    const double hw = (ab ? kAbBubbleWidth : kBubbleWidth) * t_.CellWidth / 2;
    const double hh = (ab ? kAbBubbleHeight : kBubbleHeight) * t_.CellHeight / 2;
    return {m.u - hw, m.v - hh, m.u + hw, m.v + hh};
}

// "JD" lines are thinner and their dashes thicker: a thin line thins to a
// clean stroke whose traced ends sit where the line ends (the end check
// refuses ends that disagree by more than 5 px), and thick dashes stay
// black along the line's course for the extension check.
double CardGeometry::LineThickness() const { return (jd_ ? 0.3 : 0.375) * t_.CellHeight; }

double CardGeometry::DashThickness() const { return 0.55 * t_.CellHeight; }

RectU CardGeometry::BottomLine() const
{
    const double h = LineThickness() / 2, e = kLineEndAllowance;
    return {-e, -h, t_.LineLength + e, h};
}

RectU CardGeometry::TopLine() const
{
    const double h = LineThickness() / 2, e = kLineEndAllowance;
    return {-e, t_.LineDistance - h, t_.LineLength + e, t_.LineDistance + h};
}

std::vector<RectU> CardGeometry::UprightBars() const
{
    const double cw = t_.CellWidth;
    const double ch = t_.CellHeight;
    double x = t_.OriginOffset + t_.UprightCol * cw;
    double y = t_.LineDistance;
    // Each bar blackens half of its cell (recognition wants at least 10 per
    // cent) and leaves about two pixel rows free on either side at camera scale.
    return {{x + 0.15 * cw, y + 0.8 * ch, x + 0.85 * cw, y + 1.3 * ch},
            {x + 0.15 * cw, y - 0.25 * ch, x + 0.85 * cw, y + 0.25 * ch},
            {x + 0.15 * cw, y - 1.3 * ch, x + 0.85 * cw, y - 0.8 * ch}};
}

std::vector<RectU> CardGeometry::LineExtensionDashes() const
{
    std::vector<RectU> out;
    if (!jd_)
        return out;
    const double cw = t_.CellWidth;
    const double h = DashThickness() / 2;
    const double L = t_.LineLength;
    // The first dash starts 0.3 cell out: the end walk stops in the gap, and
    // within the first cell beyond the end 70 per cent is ink (the extension
    // check needs 40 per cent).
    for (double y : {0.0, static_cast<double>(t_.LineDistance)}) {
        for (double start : {0.3, 1.3}) {
            const double e = kLineEndAllowance;
            out.push_back({-(start + 0.7) * cw - e, y - h, -start * cw - e, y + h});
            out.push_back({L + start * cw + e, y - h, L + (start + 0.7) * cw + e, y + h});
        }
    }
    return out;
}

static const char* const kOptionLetters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};

std::vector<FaceCell> CardGeometry::Cells(int abType) const
{
    std::vector<FaceCell> out;
    if (t_.AbMode == 0) {
        out.push_back({FaceCell::AbA, {t_.AbACol, t_.AbARow}, 0, 0, "A"});
        out.push_back({FaceCell::AbB, {t_.AbBCol, t_.AbBRow}, 0, 1, "B"});
    }
    auto grid = [&](FaceCell::Kind kind, float col, float row, int columns, int rows) {
        for (int i = 0; i < columns; ++i)
            for (int j = 0; j < rows; ++j)
                out.push_back({kind, DigitCell(col, row, i, j), i, j, std::to_string(j)});
    };
    grid(FaceCell::Admission, t_.AdmCol, t_.AdmRow, t_.AdmColumns, 10);
    grid(FaceCell::Subject, t_.SubjCol, t_.SubjRow, t_.SubjColumns, t_.SubjRows);
    grid(FaceCell::Score, t_.ScoreCol, t_.ScoreRow, t_.ScoreColumns, 10);
    for (int q = 0; q < t_.QuestionCount; ++q) {
        QuestionLayout lay = LayoutQuestion(t_, abType, q);
        if (!lay.placed || (lay.orientation != 0 && lay.orientation != 1))
            continue;
        for (int j = 0; j < lay.options && j < card_limits::MaxOptions; ++j)
            out.push_back({FaceCell::Option, OptionCell(lay, q % 5, j), q, j, kOptionLetters[j]});
    }
    return out;
}

std::vector<QuestionLabel> CardGeometry::QuestionLabels(int abType) const
{
    std::vector<QuestionLabel> out;
    const double cw = t_.CellWidth;
    const double ch = t_.CellHeight;
    for (int q = 0; q < t_.QuestionCount; ++q) {
        QuestionLayout lay = LayoutQuestion(t_, abType, q);
        if (!lay.placed || (lay.orientation != 0 && lay.orientation != 1))
            continue;
        RectU first = Cell(OptionCell(lay, q % 5, 0));
        if (lay.orientation == 0)
            out.push_back({q, {first.left - 2 * cw, first.bottom, first.left - 0.2 * cw, first.top}, true});
        else
            out.push_back({q, {first.left, first.top, first.right, first.top + ch}, false});
    }
    return out;
}

RectU CardGeometry::GridArea(float firstCol, float topRow, int columns, int rows) const
{
    PointU p = Corner({firstCol, topRow});
    return {p.u, p.v - rows * t_.CellHeight, p.u + columns * t_.CellWidth, p.v};
}

RectU CardGeometry::AdmissionArea() const { return GridArea(t_.AdmCol, t_.AdmRow, t_.AdmColumns, 10); }
RectU CardGeometry::SubjectArea() const { return GridArea(t_.SubjCol, t_.SubjRow, t_.SubjColumns, t_.SubjRows); }
RectU CardGeometry::ScoreArea() const
{
    if (t_.ScoreColumns <= 0)
        return {};
    return GridArea(t_.ScoreCol, t_.ScoreRow, t_.ScoreColumns, 10);
}

double CardGeometry::HeaderTop() const
{
    double top = std::max({AdmissionArea().top, SubjectArea().top, t_.ScoreColumns > 0 ? ScoreArea().top : 0.0});
    if (t_.AbMode == 0)
        top = std::max({top, Cell({t_.AbACol, t_.AbARow}).top, Cell({t_.AbBCol, t_.AbBRow}).top});
    return top + (kWriteInRows + kLabelRows) * t_.CellHeight;
}

RectU CardGeometry::NotesArea() const
{
    double right = std::max(AdmissionArea().right, SubjectArea().right);
    if (t_.ScoreColumns > 0)
        right = std::max(right, ScoreArea().right);
    if (t_.AbMode == 0)
        right = std::max({right, Cell({t_.AbACol, t_.AbARow}).right, Cell({t_.AbBCol, t_.AbBRow}).right});
    double top = HeaderTop() - kLabelRows * t_.CellHeight;
    // Keep three rows clear above the top line for the orientation mark.
    return {right + t_.CellWidth, t_.LineDistance + 3 * t_.CellHeight, t_.LineLength, top};
}

std::string CardDisplayName(const std::string& fileNameUtf8)
{
    std::string name = fileNameUtf8;
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".dat") == 0)
        name.resize(name.size() - 4);
    if (name.rfind("DY", 0) == 0 || name.rfind("JD", 0) == 0)
        name.erase(0, 2);
    return name;
}

} // namespace cardprint
