#pragma once
// Everything one recognition attempt works on, owned in one place and set up
// once: the work images, the grey mode, the last isodata threshold, the card
// geometry, the sampling grids, the line buffers and the staging reading.
// Nothing in here is allocated per frame.

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "marking/MarkingRecord.h"
#include "recognition/Bitmap.h"
#include "recognition/CardTemplate.h"
#include "recognition/DetectionLines.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/Refusal.h"

inline void ClearReading(CardReading& r)
{
    std::memset(&r, 0, sizeof r);
}

inline constexpr int CardPictureSize = 800; // CheckCard and RectifiedCard are 800 x 800
inline constexpr int ThumbnailWidth = 150;
inline constexpr int ThumbnailHeight = 50;

// Scale and origin of the rectified card (pixels per template unit, cell
// size, the card-space line corners, the origin of the cell grid).
struct CardGeometry {
    float s = 0;
    float sx = 0;
    float sy = 0;
    PointI I1, I2, I3, I4; // bottom-left, bottom-right, top-left, top-right
    float X0 = 0;
    float Y0 = 0;
};

// Where the frame lies in card space, and the card-corner check points.
struct CardPlacement {
    ProjectiveMap toPicture; // card space -> rotated picture (M)
    ProjectiveMap toCard;    // rotated picture -> card space (N)
    PointI frameCorners[4];  // F1..F4, frame corners in the rotated picture
    PointI covered[4];       // Q1..Q4: the covered region, in card space
    PointI lowerLeft, lowerRight, upperLeft, upperRight;
};

// A digit grid laid out column by column; a column holds at most 15 rows.
struct DigitGrid {
    static constexpr int MaxColumns = card_limits::MaxAdmColumns;
    int columns = 0;
    int rows = 0;
    PointF corner[MaxColumns][card_limits::MaxColumnRows];
};

struct QuestionCells {
    int options = 0;
    int orientation = -1;
    bool hasCells = false; // false: no block position or an unknown orientation
    PointF corner[card_limits::MaxOptions];
};

class RecognitionContext {
public:
    // Sizes every work image for frames of this geometry (done when the
    // camera is set up, not per frame).
    void SetUp(int frameWidth, int frameHeight, int bytesPerPixel);
    void SetTemplate(const CardTemplate& t, const std::string& nameUtf8);
    // About to read the next picture of a batch: no texts and no card pixels
    // of the picture before. Rectification keeps the card pixels that land
    // outside the turned frame, so without this a reading could depend on
    // which picture the same context read last, and a batch on several
    // workers would not be bound to give what one worker gives.
    void StartPicture();
    bool IsJd() const { return jd_; }
    bool IsDyOrJd() const { return dyOrJd_; }

    Bitmap FrameBitmap;
    Bitmap ColourFrame;
    Bitmap LineFrame;
    Bitmap PreviousFrame;
    Bitmap CheckCard;
    Bitmap RectifiedCard;
    Bitmap Thumbnail;

    CardTemplate Template{};
    std::string TemplateName;
    bool CheckCardColour = true; // the colour check of "JD" cards

    int GreyMode = GreyPlain;
    int LastThreshold = 0;
    CardGeometry Geometry;
    CardPlacement Placement;

    DigitGrid AdmGrid;
    DigitGrid SubjGrid;
    DigitGrid ScoreGrid;
    DigitGrid UprightGrid;
    std::array<QuestionCells, card_limits::MaxQuestions> Questions{};

    // The staging reading, laid out as a marking record so that acceptance
    // stores it by copying it whole; zeroed at the start of every attempt.
    CardReading Reading{};
    GbkText<3> SubjectCode{}; // read for comparison only, not stored
    // The option letters marked per question, before the record's nine-letter
    // answer field cuts them: a question with all ten options marked must
    // reach acceptance whole, so that it can be refused instead of stored cut.
    std::array<std::array<char, card_limits::MaxOptions + 1>, card_limits::MaxQuestions> AnswerLetters{};
    bool AbTypeRead = false;  // Reading.paperType holds a found or fixed AB type
    // Which rule of the answers sent the last attempt back for a re-read, and
    // at which question (0-based; the last doubtful one when there were too
    // many; -1 when none): for tracing.
    const char* RereadRule = nullptr;
    int RereadQuestion = -1;
    // Where and why the last attempt was refused, for the teacher: set by the
    // answers' rules and by acceptance for the digit columns.
    RefusalDetail Refusal;
    // Why each column of the last ReadDigitColumns holds no digit (None
    // where it does).
    std::array<RefusalReason, card_limits::MaxAdmColumns> DigitReasons{};
    // The refused question's or column's cells outlined in the frame as the
    // frame loop showed it, whichever way the attempt turned it to read it
    // (rows counted upward; the cells' bottom-left, bottom-right, top-right
    // and top-left corners in card space), set by the marking attempt; none
    // when the refusal names no place.
    std::array<PointF, 4> RefusalOutline{};
    bool HasRefusalOutline = false;

    // The short and the long text of the last marking attempt (UTF-8).
    std::string StatusText;
    std::string MemoTiShi;

    // Stage buffers.
    LineDetector Lines;
    LineEnds Ends;
    Smoother Smoothing;
    LightLeveller Levelling;
    SkinCounter Skin; // over the levelled card picture, before its areas are binarised
    std::vector<uint8_t> StripCopy; // unbinarised AB strip
    // The grey levels of the answer blocks and digit columns as they were
    // before binarisation (CardPictureSize squared, indexed like
    // RectifiedCard's pixels; 255 elsewhere) and each answer block's paper
    // level: how much darker than the paper a window's black pixels were
    // tells a rubbed-out mark's residue from a mark of the hand that filled
    // the card, and a light hand's digit from print where the binarisation
    // blackened a whole column.
    std::vector<uint8_t> MarkGrey;
    std::array<int, card_limits::MaxQuestions / 5 + 1> BlockPaper{};
    // The most skin-coloured pixels found in or near one answer block or
    // digit column before it was binarised (a thumb over the card); set while
    // the sampling grids are prepared.
    int SkinNearCells = 0;
    // The card's typical mark depth (grey levels below the paper) from its
    // clear marks; 0 when too few marks tell it. Set by ReadAnswers.
    int MarkDepth = 0;
    std::array<RotatedRow, CardPictureSize> TurnedRows{};   // the colour frame turned by -theta, row by row
    std::array<int32_t, CardPictureSize> WarpX{};            // warp target in the turned picture, -1 outside
    std::array<int32_t, CardPictureSize> WarpY{};

private:
    bool jd_ = false;
    bool dyOrJd_ = false;
};
