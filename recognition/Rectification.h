#pragma once
// From the four refined line ends to an upright, perspective-corrected 800 x
// 800 card picture, and the checks that the whole card is usable.

#include "recognition/RecognitionContext.h"

// Whether RectifyCard leaves CheckCard as an exact copy of the smoothed card.
// The attempt does without: LevelCardLight writes CheckCard whole right after.
enum class CheckCardCopy { Smoothed, None };
// Rotates ColourFrame into CheckCard so that the bottom line is horizontal,
// warps the line rectangle into an exact rectangle in RectifiedCard, smooths
// it, copies it back over CheckCard (unless told not to), and fills Geometry
// and Placement.
void RectifyCard(RecognitionContext& ctx, CheckCardCopy copy = CheckCardCopy::Smoothed);
// Evens out the light over RectifiedCard (a shadow's edge, a lamp's falloff)
// and copies it over CheckCard again: marks are then judged against the paper
// around them, and starts ctx.Skin over the levelled card. Runs right after
// RectifyCard.
void LevelCardLight(RecognitionContext& ctx);

// The point of ColourFrame that RectifyCard warped card-space point `p` from:
// the placement's projective map, then the turn by -theta undone.
PointF CardToFrame(const RecognitionContext& ctx, PointF p);

// The orientation mark beside the top line (column UprightCol).
bool IsCardUpright(RecognitionContext& ctx);

// 0, or 106 (the camera is not perpendicular), or 7..10 for the first card
// corner (lower left, lower right, upper left, upper right) outside the
// part of card space the frame covers.
int CheckCardPlacement(const RecognitionContext& ctx);

// Cell corners of a digit grid: column i, row j at
// (X0 + sx (firstCol + i), Y0 + sy topRow - sy j). Columns and rows are
// capped at the grid's capacity.
void LayOutDigitGrid(const CardGeometry& g, float firstCol, float topRow, int columns, int rows, DigitGrid& grid);

// Keeps the grey levels of `area` in `grey` (indexed like the card
// picture's pixels) and returns their median: the paper, which covers most
// of an answer block or digit column.
int KeepGrey(const BitmapView& bmp, const ScanRect& area, int greyMode, uint8_t* grey);
// KeepGrey (its median in `paper`; none kept without `grey`), then
// BinariseAdaptive of the same area in the same grey mode, whose threshold
// it returns.
int KeepGreyAndBinarise(const BitmapView& bmp, const ScanRect& area, int greyMode, uint8_t* grey, int& paper);
// Raises ctx.SkinNearCells to the skin-coloured pixels in and around `area`
// of the levelled card picture (ctx.Skin), before the area is binarised.
void NoteSkin(RecognitionContext& ctx, const ScanRect& area);
// Sets every kept grey level back to white: nothing of an earlier attempt
// may be read.
void ForgetMarkGrey(RecognitionContext& ctx);

// Keeps each column's grey levels (MarkGrey), binarises it in RectifiedCard,
// then with its grey reference frame drawn below the column, in CheckCard.
void PrepareDigitColumns(RecognitionContext& ctx, const DigitGrid& grid, int columns, int rows);

// The small rectangle of grey (e, e, e) drawn into CheckCard before an area
// is binarised there, so that an empty area of paper keeps a dark reference
// and its threshold does not split paper grain into black noise. e follows
// LastThreshold, the threshold just found for the same area in RectifiedCard.
void DrawGreyReferenceFrame(RecognitionContext& ctx, float x0, float y0);

// Even-odd test of a point against a four-point polygon.
bool InsidePolygon(const PointI polygon[4], PointI p);
