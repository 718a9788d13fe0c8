// The printed face puts lines, the orientation mark and cells where the
// template geometry says, measured on a PNG rendered without distortion.
#include <gtest/gtest.h>

#include <QImage>

#include "cardprint/CardFace.h"
#include "cardprint/ShippedCards.h"
#include "platform/Files.h"
#include "support/TempDir.h"

using namespace cardprint;

namespace {

constexpr double kDpi = 304.8;  // 12 pixels per millimetre
constexpr double kPxPerUnit = 12.0;
constexpr int kCellRows = 48;  // one 4 mm cell row in pixels

const ShippedCard& Card(const std::string& name)
{
    static const std::vector<ShippedCard> cards = ShippedCards();
    for (const auto& c : cards)
        if (c.fileName == name)
            return c;
    throw std::runtime_error("no card " + name);
}

struct Face {
    QImage img;
    RectU paper;
    double X(double u) const { return (u - paper.left) * kPxPerUnit; }
    double Y(double v) const { return (paper.top - v) * kPxPerUnit; }
    int Grey(int x, int y) const { return qGray(img.pixel(x, y)); }

    // Centre of the first run of pixels darker than `limit` met when walking
    // from (x0, y0) in steps (dx, dy); -1 when none within `steps`.
    double FirstRunCentre(double x0, double y0, int dx, int dy, int steps, int limit) const
    {
        int x = static_cast<int>(x0), y = static_cast<int>(y0);
        const int base = dx ? x : y;
        int start = -1;
        for (int i = 0; i < steps; ++i, x += dx, y += dy) {
            if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
                break;
            bool dark = Grey(x, y) < limit;
            if (dark && start < 0)
                start = i;
            if (!dark && start >= 0)
                return base + (dx + dy) * ((start + i - 1) / 2.0) + 0.5;
        }
        return -1;
    }
};

Face Render(const ShippedCard& c, int abType)
{
    TempDir dir;
    FaceOptions o;
    o.fileName = c.fileName;
    o.abType = abType;
    std::string error;
    std::string path = files::ToUtf8(dir / "face.png");
    EXPECT_TRUE(WriteCardPng(path, c.record, o, kDpi, &error)) << error;
    Face f;
    f.img = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    f.paper = CardGeometry(c.record, IsJdTemplate(c.fileName)).Paper();
    return f;
}

// The printed bubble of the cell whose upper-left corner is (col, row):
// 0.52 of the cell pitch wide and 0.5 tall, its centre 0.06 cell left of and
// 0.153 cell below the cell's centre, so from the cell's corner it spans 0.18
// to 0.70 cell sideways and 0.403 to 0.903 cell down. The A and B cells have
// larger bubbles (0.8 by 0.7 cell): 0.04 to 0.84 and 0.303 to 1.003.
// Checks each edge to one pixel.
void ExpectCellAt(const Face& f, const CardTemplate& t, float col, float row, const char* what, int limit = 245,
                  bool ab = false)
{
    SCOPED_TRACE(what);
    double u = t.OriginOffset + col * t.CellWidth;
    double v = t.LineDistance + row * t.CellHeight;
    double left = f.X(u + (ab ? 0.04 : 0.18) * t.CellWidth), right = f.X(u + (ab ? 0.84 : 0.70) * t.CellWidth);
    double top = f.Y(v - (ab ? 0.303 : 0.403) * t.CellHeight), bottom = f.Y(v - (ab ? 1.003 : 0.903) * t.CellHeight);
    // Walk in from between the bubbles along the bubble's middle row and
    // column; the outline comes before the digit or letter printed inside.
    double midY = f.Y(v - 0.653 * t.CellHeight);
    double midX = f.X(u + 0.44 * t.CellWidth);
    EXPECT_NEAR(f.FirstRunCentre(f.X(u - 0.1 * t.CellWidth), midY, 1, 0, 40, limit), left, 1.0);
    EXPECT_NEAR(f.FirstRunCentre(f.X(u + 0.98 * t.CellWidth), midY, -1, 0, 40, limit), right, 1.0);
    EXPECT_NEAR(f.FirstRunCentre(midX, f.Y(v - 0.2 * t.CellHeight), 0, 1, 40, limit), top, 1.0);
    EXPECT_NEAR(f.FirstRunCentre(midX, f.Y(v - 1.2 * t.CellHeight), 0, -1, 40, limit), bottom, 1.0);
}

void ExpectLinesAndMark(const Face& f, const CardTemplate& t, bool jd)
{
    // Both lines: centre row and both ends, a quarter unit beyond the template's.
    for (double v : {0.0, static_cast<double>(t.LineDistance)}) {
        double y = f.Y(v);
        double found = f.FirstRunCentre(f.X(t.LineLength / 2), y - 3 * kPxPerUnit, 0, 1, 80, 128);
        EXPECT_NEAR(found, y, 1.0);
        int row = static_cast<int>(y);
        int first = -1, last = -1;
        for (int x = static_cast<int>(f.X(-1)); x < f.X(t.LineLength + 1); ++x)
            if (f.Grey(x, row) < 128) {
                if (first < 0)
                    first = x;
                last = x;
            }
        EXPECT_NEAR(first, f.X(-kLineEndAllowance), 1.0);
        EXPECT_NEAR(last + 1, f.X(t.LineLength + kLineEndAllowance), 1.0);
    }
    // The orientation mark: three bars in the UprightCol cell column, the
    // middle one on the top line's height, with paper between them.
    double cellLeft = t.OriginOffset + t.UprightCol * t.CellWidth;
    double x = f.X(cellLeft + 0.5 * t.CellWidth);
    double Y0 = t.LineDistance;
    double h = t.CellHeight;
    EXPECT_NEAR(f.FirstRunCentre(x, f.Y(Y0 + 1.5 * h), 0, 1, 400, 128), f.Y(Y0 + 1.05 * h), 1.0);
    EXPECT_NEAR(f.FirstRunCentre(x, f.Y(Y0 + 0.6 * h), 0, 1, 400, 128), f.Y(Y0), 1.0);
    EXPECT_NEAR(f.FirstRunCentre(x, f.Y(Y0 - 0.5 * h), 0, 1, 400, 128), f.Y(Y0 - 1.05 * h), 1.0);
    EXPECT_GT(f.Grey(static_cast<int>(x), static_cast<int>(f.Y(Y0 + 0.55 * h))), 200);
    EXPECT_GT(f.Grey(static_cast<int>(x), static_cast<int>(f.Y(Y0 - 0.55 * h))), 200);
    EXPECT_NEAR(f.FirstRunCentre(f.X(cellLeft), f.Y(Y0), 1, 0, 200, 128),
                f.X(cellLeft + 0.15 * t.CellWidth) + 0.35 * t.CellWidth * kPxPerUnit, 1.0);
    // Between the top line's end and the mark: paper, so the end walk stops.
    for (double u = t.LineLength + kLineEndAllowance + 0.2; u < cellLeft + 0.1 * t.CellWidth && !jd; u += 0.2)
        EXPECT_GT(f.Grey(static_cast<int>(f.X(u)), static_cast<int>(f.Y(Y0))), 200);
}

} // namespace

// Cells are given by hand from the block rules: the card's layouts must put
// the printed cells there.
TEST(CardFaceGeometry, StandardCardTypeALayout)
{
    const ShippedCard& c = Card("DY标准85题自动AB卷.dat");
    const CardTemplate& t = c.record;
    Face f = Render(c, 0);
    ExpectLinesAndMark(f, t, false);
    // Block 0 sits in block column Sec1FirstCol = 1: column 7.
    ExpectCellAt(f, t, 7, -1.5f, "question 1, option A");
    // Block 12 is the first of the second section: block column 0, block row 3.
    ExpectCellAt(f, t, 0 + 3, -1.5f - 18, "question 61, option D");
    // Question 85: block 16, second section position 4, last row of the block.
    ExpectCellAt(f, t, 28 + 1, -1.5f - 18 - 4, "question 85, option B");
    ExpectCellAt(f, t, 21, 11.5f, "A cell", 245, true);
    ExpectCellAt(f, t, 21, 9.5f, "B cell", 245, true);
    ExpectCellAt(f, t, 3, 11.5f - 7, "admission column 4, digit 7");
    ExpectCellAt(f, t, 11.5f + 1, 11.5f - 9, "subject column 2, digit 9");
    ExpectCellAt(f, t, 15 + 2, 11.5f, "score column 3, digit 0");
}

TEST(CardFaceGeometry, StandardCardTypeBLayout)
{
    const ShippedCard& c = Card("DY标准85题自动AB卷.dat");
    const CardTemplate& t = c.record;
    Face f = Render(c, 1);
    ExpectLinesAndMark(f, t, false);
    // Columns of Sec1Rows + BExtraRows = 4 blocks, top to bottom.
    ExpectCellAt(f, t, 0, -1.5f, "question 1, option A");
    ExpectCellAt(f, t, 0, -1.5f - 18 - 1, "question 17, option A");
    ExpectCellAt(f, t, 7, -1.5f, "question 21, option A");
    ExpectCellAt(f, t, 28 + 2, -1.5f - 4, "question 85, option C");
    // Block column 4 of block row 1 (questions 36-40 in type A) is empty paper in type B.
    double u = t.OriginOffset + 28.5 * t.CellWidth;
    EXPECT_EQ(f.FirstRunCentre(f.X(u), f.Y(t.LineDistance - 7.5 * t.CellHeight) + 2, 0, 1, kCellRows, 245), -1);
    Face a = Render(c, 0);
    EXPECT_NE(a.FirstRunCentre(a.X(u), a.Y(t.LineDistance - 7.5 * t.CellHeight) + 2, 0, 1, kCellRows, 245), -1);
}

TEST(CardFaceGeometry, OverrideBlocks)
{
    const ShippedCard& c = Card("DY五选项60题含判断题.dat");
    const CardTemplate& t = c.record;
    ASSERT_EQ(t.AbMode, 2);
    Face f = Render(c, 0);  // the card's fixed B layout wins over the paper asked for
    ExpectLinesAndMark(f, t, false);
    ExpectCellAt(f, t, 0 + 4, -1.5f - 6, "question 6, option E (B layout)");
    // Block 10: two options across at the override's cell.
    ExpectCellAt(f, t, 24 + 1, -7.5f - 3, "question 54, option B");
    // No third option in the true/false block.
    double u = t.OriginOffset + 26.5 * t.CellWidth;
    EXPECT_EQ(f.FirstRunCentre(f.X(u), f.Y(t.LineDistance - 7.5 * t.CellHeight) + 2, 0, 1, kCellRows, 245), -1);
    // Block 11: options run down, one question per column.
    ExpectCellAt(f, t, 24 + 2, -14.5f - 3, "question 58, option D");
    ExpectCellAt(f, t, 24 + 4, -14.5f, "question 60, option A");
}

TEST(CardFaceGeometry, MachineCardDashesAndColours)
{
    const ShippedCard& c = Card("JD机读卡60题AB卷.dat");
    const CardTemplate& t = c.record;
    for (int ab : {0, 1}) {
        Face f = Render(c, ab);
        ExpectLinesAndMark(f, t, true);
        ExpectCellAt(f, t, 7 * 3 + 3, -1.5f - 12 - 4, "question 60, option D (both layouts)",
                     210);  // the outline is darker than the cell's tint
        // Dashes beyond every end: a gap of 0.3 cell, then ink.
        for (double v : {0.0, static_cast<double>(t.LineDistance)}) {
            int y = static_cast<int>(f.Y(v));
            const double e = kLineEndAllowance;
            EXPECT_GT(f.Grey(static_cast<int>(f.X(t.LineLength + e + 0.15 * t.CellWidth)), y), 200);
            EXPECT_LT(f.Grey(static_cast<int>(f.X(t.LineLength + e + 0.6 * t.CellWidth)), y), 80);
            EXPECT_GT(f.Grey(static_cast<int>(f.X(-e - 0.15 * t.CellWidth)), y), 200);
            EXPECT_LT(f.Grey(static_cast<int>(f.X(-e - 0.6 * t.CellWidth)), y), 80);
        }
        // The cell tint inside the first admission bubble, left of its digit: red for A, green for B.
        double u = t.OriginOffset + 0.25 * t.CellWidth;
        double v = t.LineDistance + (t.AdmRow - 0.653) * t.CellHeight;
        QRgb p = f.img.pixel(static_cast<int>(f.X(u)), static_cast<int>(f.Y(v)));
        if (ab == 0)
            EXPECT_GT(qRed(p) - qGreen(p), 25);
        else
            EXPECT_GT(qGreen(p) - qRed(p), 25);
    }
}
