#pragma once
// Reading the filled marks from the rectified card. Every decision is made
// twice: on RectifiedCard, binarised adaptively per area, and on CheckCard,
// binarised with a grey reference frame added to the area, so that an empty
// area of plain paper does not turn into noise.

#include <string>

#include "recognition/RecognitionContext.h"
#include "recognition/SamplingExam.h"

enum SamplingGridsResult : int { GridsOk = 1, AbNotMarked = -1, AbAmbiguous = -2 };

// Lays out the digit grids, finds the AB type (or takes the template's fixed
// one) and lays out the question cells for it.
int BuildSamplingGrids(RecognitionContext& ctx);
// The question cells of the answer layout for AB type 0 (A) or 1 (B).
void LayOutQuestionCells(RecognitionContext& ctx, int abType);
// A scaled cut-out of the answer area's corner into Thumbnail.
void DrawThumbnail(RecognitionContext& ctx);
// 0 undecided, 1 red print, 2 green print; the mode that drops that print
// out (DropoutMode) becomes the grey mode.
int CardColour(RecognitionContext& ctx);
// Binarises every block of five questions like a digit column.
void PrepareAnswerBlocks(RecognitionContext& ctx);
// A digit column that holds ink but no clear choice of row. It is never a
// blank (which reads as "not filled") nor a digit, so no number passes with it.
inline constexpr char UnclearDigit = '?';
// One character per column: the filled row's digit, " " for a column without
// ink, or UnclearDigit.
std::string ReadDigitColumns(RecognitionContext& ctx, const DigitGrid& grid, int columns, int rows);

enum class AnswersResult { Read, LightingFailure };
// Answers of the exam's questions into the staging reading.
AnswersResult ReadAnswers(RecognitionContext& ctx, const SamplingExam& exam);

// Black pixels of the cell sampling window at corner c: rows from
// trunc(y - sy + 2) while below y, columns from trunc(x) while below x + sx.
int CellBlack(const BitmapView& bmp, PointF c, float sx, float sy);
// True when the middle half of the cell sampling window (both ways) holds a
// black pixel: ink on the cell itself, not a neighbour's mark spilling over
// its edge.
bool InkAtCentre(const BitmapView& bmp, PointF c, float sx, float sy);
// True when the window's ink leans towards a neighbouring cell (one pitch
// away) that holds half as much ink again at its own centre: the overflow
// of the neighbour's mark, not a mark of this cell.
// `lean`: how far (in pitches) the ink must lean; marks placed up to 15 % of
// a cell off their bubble lean less than 0.2, an overflow lies in the outer band.
bool SpillFromNeighbour(const BitmapView& bmp, PointF c, float sx, float sy, float lean = 0.2f);
// True when the window's ink leans `lean` pitches or more towards a
// neighbouring cell that is marked too: leaning far (0.3), the sampled grid
// sits between marks, so which cell a mark belongs to cannot be told.
bool MarkAstride(const BitmapView& bmp, PointF c, float sx, float sy, float lean);

// Whose marks the black pixels of a cell's sampling window are. Every
// 8-connected patch reaching into the window is followed up to 1.5 pitches
// around it and belongs to the cell that holds its centre. Counts are of the
// patches' pixels inside the window.
struct WindowOwners {
    int own = 0;     // patches centred in this window
    int foreign = 0; // tips of patches centred elsewhere, narrowing into the window
    int unclear = 0; // patches larger than the searched area, or two marks run together
};
WindowOwners OwnersOfWindowInk(const BitmapView& bmp, PointF c, float sx, float sy);
// Fill in per cent of the window's nominal size trunc((sy - 2) sx).
int CellFill(const BitmapView& bmp, PointF c, float sx, float sy);
// How much darker than `paper` the window's black pixels were before
// binarisation, on average, in grey levels (`grey` as RecognitionContext's
// MarkGrey); 0 without black pixels.
int CellDepth(const BitmapView& bmp, const uint8_t* grey, int paper, PointF c, float sx, float sy);
