#pragma once
// Tiny bitmaps written as strings: one string per picture row, top row
// first (as the picture is seen), '1' black and anything else white.

#include <string>
#include <vector>

#include "recognition/Bitmap.h"

inline Bitmap FromRows(const std::vector<std::string>& rows, int bytesPerPixel = 3)
{
    const int h = static_cast<int>(rows.size());
    const int w = h ? static_cast<int>(rows[0].size()) : 0;
    Bitmap b(w, h, bytesPerPixel);
    b.FillWhite();
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            if (rows[r][x] == '1')
                SetBlack(b.At(x, h - 1 - r));
    return b;
}

inline std::vector<std::string> ToRows(const Bitmap& b)
{
    std::vector<std::string> rows;
    for (int y = b.Height() - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < b.Width(); ++x)
            row += IsBlack(b.At(x, y)) ? '1' : '0';
        rows.push_back(row);
    }
    return rows;
}

inline void FillRect(Bitmap& b, int x0, int y0, int x1, int y1, uint8_t v = 0)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (b.View().Contains(x, y))
                SetPixel(b.At(x, y), v, v, v);
}
