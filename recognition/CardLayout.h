#pragma once
// Where the template puts things, in cells from the card origin (columns to
// the right, rows upward; a point is the upper-left corner of its cell). The
// card renderer draws from these positions and recognition scales the same
// arithmetic to pixels, so what is printed is what is read.

#include "recognition/CardTemplate.h"

struct CellPos {
    float col = 0;
    float row = 0;
};

struct QuestionLayout {
    int options = 0;
    int orientation = -1;  // 0 across, 1 down, anything else: no cells
    CellPos first;         // corner of option 0; valid when orientation is 0 or 1
    bool placed = false;   // false for questions of an incomplete last block
};

// Corner of the cell at (column i, row j) of a digit grid whose first column
// is `firstCol` and whose top row is `topRow`.
inline CellPos DigitCell(float firstCol, float topRow, int i, int j)
{
    return {firstCol + static_cast<float>(i), topRow - static_cast<float>(j)};
}

// Block corner offsets, in cells, of block `i` for AB type 0 (A) or 1 (B).
CellPos BlockOffsetCells(const CardTemplate& t, int abType, int block);

// Layout of question q (0-based) for the AB type.
QuestionLayout LayoutQuestion(const CardTemplate& t, int abType, int q);

// Corner of option j of a laid-out question.
inline CellPos OptionCell(const QuestionLayout& q, int questionInBlock, int j)
{
    if (q.orientation == 0)
        return {q.first.col + static_cast<float>(j), q.first.row - static_cast<float>(questionInBlock)};
    return {q.first.col + static_cast<float>(questionInBlock), q.first.row - static_cast<float>(j)};
}
