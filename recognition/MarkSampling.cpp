#include "recognition/MarkSampling.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "recognition/Rectification.h"

static constexpr float CardSize = static_cast<float>(CardPictureSize);

int CellBlack(const BitmapView& bmp, PointF c, float sx, float sy)
{
    int black = 0;
    const int x0 = std::max(static_cast<int>(c.x), 0);
    for (int y = std::max(static_cast<int>(c.y - sy + 2), 0); static_cast<float>(y) < c.y && y < bmp.height; ++y)
        for (int x = x0; static_cast<float>(x) < c.x + sx && x < bmp.width; ++x)
            black += IsBlack(bmp.At(x, y));
    return black;
}

int CellFill(const BitmapView& bmp, PointF c, float sx, float sy)
{
    const int nominal = static_cast<int>((sy - 2) * sx);
    if (nominal <= 0)
        return 0;
    return CellBlack(bmp, c, sx, sy) * 100 / nominal;
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
    ScanRect strip;
    if (sameColumn) {
        const float top = SaneFloat(g.Y0 + g.sy * std::max(t.AbARow, t.AbBRow));
        strip = {static_cast<int>(CardSize - top),
                 static_cast<int>(SaneFloat(g.sy * (std::abs(t.AbBRow - t.AbARow) + 1))), static_cast<int>(a.x),
                 static_cast<int>(g.sx)};
        SaveArea(card, strip, ctx.StripCopy);
    }
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
    // source pixels it covers (the halftone stretch of a canvas).
    for (int ty = 0; ty < out.height; ++ty) {
        const int r0 = top + ty * height / out.height;
        const int r1 = std::max(r0 + 1, top + (ty + 1) * height / out.height);
        uint8_t* d = out.Row(out.height - 1 - ty);
        for (int tx = 0; tx < out.width; ++tx, d += out.bytesPerPixel) {
            const int c0 = left + tx * width / out.width;
            const int c1 = std::max(c0 + 1, left + (tx + 1) * width / out.width);
            if (c0 >= card.width || c1 <= 0 || r0 >= card.height || r1 <= 0)
                continue;
            unsigned sum[3] = {0, 0, 0}, n = 0;
            for (int r = std::max(r0, 0); r < std::min(r1, card.height); ++r) {
                const int y = CardPictureSize - 1 - r;
                for (int x = std::max(c0, 0); x < std::min(c1, card.width); ++x) {
                    if (!card.Contains(x, y))
                        continue;
                    const uint8_t* p = card.At(x, y);
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                    ++n;
                }
            }
            if (n)
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
        for (int y = std::max(static_cast<int>(c.y - 10 * g.sy), 0); static_cast<float>(y) < c.y && y < card.height;
             ++y)
            for (int x = std::max(static_cast<int>(c.x), 0); static_cast<float>(x) < c.x + 2 * g.sx && x < card.width;
                 ++x) {
                const uint8_t* p = card.At(x, y);
                greens += p[1] > p[2] + 15;
                reds += p[2] > p[1] + 15;
            }
        if (reds - greens > 50 && (greens == 0 || reds / greens > 5))
            colour = GreyRedCard;
        else if (greens - reds > 50 && (reds == 0 || greens / reds > 5))
            colour = GreyGreenCard;
    }
    ctx.GreyMode = colour;
    return colour;
}

void PrepareAnswerBlocks(RecognitionContext& ctx)
{
    const CardGeometry& g = ctx.Geometry;
    const int count = std::clamp(ctx.Template.QuestionCount, 0, card_limits::MaxQuestions);
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
        ctx.LastThreshold = BinariseAdaptive(ctx.RectifiedCard.View(), area, ctx.GreyMode, ctx.GreyMode);
        DrawGreyReferenceFrame(ctx, x0, y0);
        ctx.LastThreshold = BinariseAdaptive(ctx.CheckCard.View(), checkArea, ctx.GreyMode, ctx.GreyMode);
    }
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
    for (int i = 0; i < columns; ++i) {
        int best = -1, ink = 0;
        bool centred[card_limits::MaxColumnRows];
        for (int j = 0; j < rows; ++j) {
            fills[j] = CellFill(card, grid.corner[i][j], g.sx, g.sy);
            centred[j] = fills[j] > 9 && InkAtCentre(card, grid.corner[i][j], g.sx, g.sy);
            if (centred[j] && (best < 0 || fills[j] > fills[best]))
                best = j;
            inks[j] = CellBlack(check, grid.corner[i][j], g.sx, g.sy);
            ink += inks[j];
        }
        if (best < 0) {
            // Confirming ink without any cell standing out: something is
            // written there that cannot be read.
            text += ink >= 5 ? UnclearDigit : ' ';
        } else if (ink >= 5) {
            // The confirming ink must point to the chosen row: no other row
            // may hold more of it, or be a mark of its own (ink reaching its
            // centre, confirmed by 5 pixels). A shadow across a column
            // blackens the printed cells of its dark end in the adaptive
            // picture, sometimes in both; such a column is unclear rather
            // than read as a wrong digit. A neighbour's mark that spills over
            // a row's edge does not reach its centre and leaves it alone.
            bool confirmed = true;
            for (int j = 0; j < rows; ++j)
                if (j != best && (inks[j] > inks[best] || (inks[j] >= 5 && centred[j])))
                    confirmed = false;
            text += confirmed ? std::to_string(best) : std::string(1, UnclearDigit);
        } else if (!ctx.IsJd()) {
            text += ' ';
        } else {
            // Faint "JD" print: a clear winner over the other rows still counts.
            int others = 0;
            for (int j = 0; j < rows; ++j)
                if (j != best)
                    others += fills[j];
            const float v = static_cast<float>(ctx.Questions[std::min(i, card_limits::MaxQuestions - 1)].options) / 4;
            text += static_cast<float>(others) * v >= static_cast<float>(fills[best]) ? std::string(" ")
                                                                                      : std::to_string(best);
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

    constexpr int MaxBlocks = card_limits::MaxQuestions / 5 + 1;
    int blockInk[MaxBlocks] = {};
    for (int q = 0; q < count; ++q)
        if (QuestionInk(ctx, check, ctx.Questions[q]) > 4)
            ++blockInk[q / 5];
    // The block after the last complete one counts as inked.
    blockInk[count / 5] = std::max(blockInk[count / 5], 1);

    for (auto& letters : ctx.AnswerLetters)
        letters[0] = '\0';
    int doubtful = 0;
    for (int q = 0; q < count; ++q) {
        if (!(exam.fullScore[q] > 0))
            continue;
        GbkText<10>& answer = ctx.Reading.questionResults[q].answer;
        char* fullLetters = ctx.AnswerLetters[q].data();
        answer.Clear();
        const QuestionCells& cells = ctx.Questions[q];
        if (!cells.hasCells)
            continue;
        int fills[card_limits::MaxOptions];
        bool marked[card_limits::MaxOptions];
        int best = -1;
        for (int j = 0; j < cells.options; ++j) {
            fills[j] = CellFill(card, cells.corner[j], g.sx, g.sy);
            // A mark covers its cell's centre; a neighbour's mark that spills
            // over the edge does not, and is not an option chosen.
            marked[j] = fills[j] > 9 && InkAtCentre(card, cells.corner[j], g.sx, g.sy);
            if (marked[j] && (best < 0 || fills[j] > fills[best]))
                best = j;
        }
        int ink = QuestionInk(ctx, check, cells);
        // Confirmed ink in a question where no option holds it at its centre:
        // a mark that the grid missed, or a neighbour's spilling over. Either
        // reading could be wrong, so the card is read again.
        if (best < 0)
            for (int j = 0; j < cells.options; ++j)
                if (fills[j] > 9 && CellBlack(check, cells.corner[j], g.sx, g.sy) >= 5)
                    return AnswersResult::LightingFailure;
        const bool multiple = exam.multipleChoice[q] != 0;
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
                        return AnswersResult::LightingFailure;
                } else {
                    ink = 5;
                    ++doubtful;
                }
            } else if (clearWinner) {
                ink = 5;
                ++doubtful;
            }
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
        if (ink < 5) {
            answer.Clear();
            fullLetters[0] = '\0';
        }
    }
    if (exam.AnyMultipleChoice())
        doubtful *= 5;
    if (doubtful >= 5)
        return AnswersResult::LightingFailure;
    return AnswersResult::Read;
}
