#pragma once
// A small card and camera of the recognition tests' own, in plain C++: a
// "DY" template, a face drawn analytically in millimetres, photographed
// with a similarity transform into a 640 x 480 frame as the program sees it
// (after its 180-degree turn). It lets the driver be tested without the
// card renderer; the corpus test uses the renderer's synthetic camera.

#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "recognition/Bitmap.h"
#include "recognition/CardLayout.h"
#include "recognition/CardTemplate.h"

namespace synthetic {

inline CardTemplate TestTemplate()
{
    CardTemplate t{};
    t.LineLength = 200;
    t.LineDistance = 144;
    t.CellWidth = 5;
    t.CellHeight = 4;
    t.OriginOffset = 0;
    t.AbMode = 0;
    t.AbACol = 30;
    t.AbARow = 8;
    t.AbBCol = 32;
    t.AbBRow = 8;
    t.AdmCol = 2;
    t.AdmRow = 11;
    t.AdmColumns = 6;
    t.SubjCol = 10;
    t.SubjRow = 11;
    t.SubjColumns = 2;
    t.SubjRows = 10;
    t.ScoreColumns = 0;
    t.UprightCol = 41.5f;
    t.QuestionCount = 20;
    t.AnswerRow = -3;
    t.BlockColPitch = 7;
    t.BlockRowPitch = 7;
    t.DefaultOrientation = 0;
    t.Sec1Columns = 4;
    t.Sec1Rows = 1;
    t.Sec2Columns = 4;
    t.DefaultOptions = 4;
    return t;
}

struct Filling {
    int abType = 0;
    std::string admission; // digits or ' '
    std::string subject;
    std::vector<std::string> answers; // option letters per question
};

struct Pose {
    double pixelsPerMm = 1.95; // a cell row of 7.8 pixels
    double rotateDeg = 0;
    double shiftX = 0;
    double shiftY = 0;
};

// Cells (column, row) in template cells that carry a pencil mark.
inline std::set<std::pair<double, double>> MarkedCells(const CardTemplate& t, const Filling& f)
{
    std::set<std::pair<double, double>> cells;
    if (f.abType == 0)
        cells.insert({t.AbACol, t.AbARow});
    else
        cells.insert({t.AbBCol, t.AbBRow});
    for (std::size_t i = 0; i < f.admission.size(); ++i)
        if (f.admission[i] >= '0' && f.admission[i] <= '9')
            cells.insert({t.AdmCol + static_cast<double>(i), t.AdmRow - (f.admission[i] - '0')});
    for (std::size_t i = 0; i < f.subject.size(); ++i)
        if (f.subject[i] >= '0' && f.subject[i] <= '9')
            cells.insert({t.SubjCol + static_cast<double>(i), t.SubjRow - (f.subject[i] - '0')});
    for (std::size_t q = 0; q < f.answers.size(); ++q) {
        const QuestionLayout layout = LayoutQuestion(t, f.abType, static_cast<int>(q));
        for (char c : f.answers[q]) {
            const CellPos cell = OptionCell(layout, static_cast<int>(q) % 5, c - 'A');
            cells.insert({cell.col, cell.row});
        }
    }
    return cells;
}

// Grey of the face at (u, v) millimetres from the bottom line's left end.
class Face {
public:
    Face(const CardTemplate& t, const Filling& f) : t_(t), marked_(MarkedCells(t, f)) {}

    int Grey(double u, double v) const
    {
        const double top = t_.LineDistance;
        if (u < -12 || u > t_.LineLength + 20 || v < -8 || v > top + 13 * t_.CellHeight)
            return 215; // the white underlay, a little darker than the card
        if (u >= 0 && u <= t_.LineLength && (std::fabs(v) <= 0.6 || std::fabs(v - top) <= 0.6))
            return 20;
        const double col = (u - t_.OriginOffset) / t_.CellWidth;
        const double row = (v - top) / t_.CellHeight;
        // Orientation mark: a bar in each of three cells, rows 1.5, 0.5, -0.5.
        const double uc = t_.UprightCol;
        if (col >= uc + 0.1 && col < uc + 0.9)
            for (int j = 0; j < 3; ++j) {
                const double cellTop = 1.5 - j;
                if (row < cellTop - 0.2 && row >= cellTop - 0.8)
                    return 25;
            }
        // A marked cell: its corner is (floor col, ceil row) in grid terms.
        for (const auto& [c, r] : marked_)
            if (col >= c + 0.2 && col < c + 0.8 && row < r - 0.15 && row >= r - 0.85)
                return 55;
        return 240;
    }

private:
    const CardTemplate& t_;
    std::set<std::pair<double, double>> marked_;
};

// The frame as the program sees it (bottom-up, after the turn).
inline void Photograph(const CardTemplate& t, const Filling& f, const Pose& p, Bitmap& frame)
{
    Face face(t, f);
    const double a = p.rotateDeg * 3.14159265358979 / 180;
    const double c = std::cos(a), s = std::sin(a), k = p.pixelsPerMm;
    const double uc = t.LineLength / 2, vc = (t.LineDistance + 12 * t.CellHeight) / 2;
    const double fx = frame.Width() / 2.0 + p.shiftX, fy = frame.Height() / 2.0 + p.shiftY;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) {
            int sum = 0;
            for (int sy = 0; sy < 2; ++sy)
                for (int sx = 0; sx < 2; ++sx) {
                    const double dx = (x + 0.25 + 0.5 * sx - fx) / k, dy = (y + 0.25 + 0.5 * sy - fy) / k;
                    sum += face.Grey(uc + c * dx + s * dy, vc - s * dx + c * dy);
                }
            const auto g = static_cast<uint8_t>(sum / 4);
            SetPixel(frame.At(x, y), g, g, g);
        }
}

} // namespace synthetic
