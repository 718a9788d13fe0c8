#pragma once
// One camera frame to a reading or a located failure: the frame preparation
// of the frame loop, the recognition driver and the marking attempt with its
// two retries and the texts of every result code.

#include <string_view>

#include "recognition/RecognitionContext.h"

// Result codes of RecognizeCard.
enum RecognitionCode : int {
    CodeAccepted = 0,
    CodeNoLineCandidates = 1,
    CodeNoLinePair = 2,
    CodeBottomLeftOut = 3,
    CodeBottomRightOut = 4,
    CodeTopLeftOut = 5,
    CodeTopRightOut = 6,
    CodeLowerLeftCorner = 7,
    CodeLowerRightCorner = 8,
    CodeUpperLeftCorner = 9,
    CodeUpperRightCorner = 10,
    CodeUpsideDown = 11,
    CodeTooMuchBlack = 12,
    CodeRefused = 13,
    CodeTooNear = 100,
    CodeTooFar = 101,
    CodeLineEndsDisagree = 102,
    CodeExtensionsMissing = 103,
    CodeLighting = 104,
    CodeOffCentre = 105,
    CodeNotPerpendicular = 106,
};

// The last stage: drives the mark sampling, checks the reading and stores
// it. True = accepted (code 0); false = refused (code 13), with StatusText
// and MemoTiShi already set.
class CardAcceptance {
public:
    virtual ~CardAcceptance() = default;
    virtual bool AcceptReading(RecognitionContext& ctx) = 0;
};

// The frame loop's preparation of a new FrameBitmap: an unaltered copy into
// ColourFrame, grey mode 0, binarisation with threshold 100 for "DY" and "JD"
// templates, and the copy that the line-end walks read into LineFrame.
void PrepareFrame(RecognitionContext& ctx);

// The recognition driver; may throw (the marking attempt maps that to code 1).
int RecognizeCard(RecognitionContext& ctx, CardAcceptance& acceptance);

// RecognizeCard with exceptions counted as code 1.
int RecognizeCardGuarded(RecognitionContext& ctx, CardAcceptance& acceptance);

// Sounds of a result.
enum class PromptSound { None, Success, Wrong, Warning };

struct MarkingOutcome {
    int code = 0;
    PromptSound sound = PromptSound::None;
};

// The marking attempt without its user interface: recognise, retry once on
// the colour frame binarised with threshold 120 for codes 1 and 2, then once
// on the turned images for code 11, and set StatusText and MemoTiShi from the
// code (codes 0 and 13 keep what acceptance set).
MarkingOutcome RunMarkingAttempt(RecognitionContext& ctx, CardAcceptance& acceptance);

// The StatusText of a code from the failure table; empty for 0 and 13 (set
// by acceptance) and for unknown codes.
std::string StatusTextOf(int code);
// The MemoTiShi of a failure code given its StatusText.
std::string MemoTextOf(int code, std::string_view statusText);
