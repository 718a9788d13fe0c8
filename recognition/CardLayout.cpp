#include "recognition/CardLayout.h"

CellPos BlockOffsetCells(const CardTemplate& t, int abType, int i)
{
    float bx = t.BlockColPitch;
    float by = t.BlockRowPitch;
    if (abType == 0) {
        int sec1 = t.Sec1Columns * t.Sec1Rows;
        if (i < sec1 && t.Sec1Columns > 0)
            return {bx * static_cast<float>(i % t.Sec1Columns + t.Sec1FirstCol),
                    by * static_cast<float>(i / t.Sec1Columns)};
        int k = i - sec1;
        if (t.Sec2Columns <= 0)
            return {0, 0};
        return {bx * static_cast<float>(k % t.Sec2Columns + t.Sec2FirstCol),
                by * static_cast<float>(k / t.Sec2Columns + t.Sec1Rows)};
    }
    int n = t.Sec1Rows + t.BExtraRows;
    int m = n - t.Sec2FirstCol * t.BExtraRows;
    if (i < m || n <= 0)
        return {0, by * static_cast<float>(i)};
    int k = i - m;
    return {bx * static_cast<float>(k / n + 1), by * static_cast<float>(k % n)};
}

QuestionLayout LayoutQuestion(const CardTemplate& t, int abType, int q)
{
    QuestionLayout out;
    int block = q / 5;
    if (q < 0 || block >= t.QuestionCount / 5)
        return out;
    out.placed = true;
    out.options = t.DefaultOptions;
    out.orientation = t.DefaultOrientation;
    CellPos d = BlockOffsetCells(t, abType, block);
    out.first = {d.col, t.AnswerRow - d.row};
    for (int k = 0; k < t.OverrideCount && k < card_limits::MaxOverrides; ++k) {
        const BlockOverride& o = t.BlockOverrides[k];
        if (o.blockIndex == block) {
            out.options = o.options;
            out.orientation = o.orientation;
            out.first = {o.column, o.row};
        }
    }
    return out;
}
