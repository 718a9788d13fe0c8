#pragma once
// The synthetic camera: a filled card, marked as a pencil would, photographed
// into a 640 x 480 camera sample (distance, rotation, tilt, position, light,
// colour cast, blur, noise, JPEG). Deterministic from the seed.
//
// Orientation: the program turns every camera sample by 180 degrees before it
// looks at it, so a camera sample shows the card upside down. Everything here
// returns camera samples unless `SynthOptions::upright` is set, which gives the
// picture as the program sees it after its own turn.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <QImage>

#include "cardprint/CardFace.h"
#include "recognition/CardTemplate.h"

namespace cardprint {

// A mark that recognition must not read.
struct StrayMark {
    PencilMark::Kind kind = PencilMark::TooLight;  // TooLight or Erased
    int question = 0;                               // 0-based
    int option = 0;
};

struct FilledCard {
    int abType = 0;  // paper A (0) or B (1); cards with a fixed AB mode use their own
    // One character per column from the left: a digit, or ' ' / '_' for an
    // empty column. Columns beyond the text stay empty.
    std::string admission;
    std::string subject;
    std::string score;
    // Per question, the marked option letters ("A", "BD", "" for none).
    std::vector<std::string> answers;
    std::vector<StrayMark> strays;
    uint64_t markSeed = 1;  // shapes of the pencil marks
};

struct SynthOptions {
    uint64_t seed = 1;
    // 1.0: a cell row 265/34 pixels tall at the card's middle (the middle of
    // the accepted 230/34 .. 300/34); larger means a nearer camera.
    double scale = 1.0;
    double rotateDeg = 0;  // in the picture plane, counter-clockwise as the program sees the card
    double tiltXDeg = 0;   // about the horizontal axis (top edge away from the camera for positive)
    double tiltYDeg = 0;   // about the vertical axis
    double shiftX = 0;     // card centre from the picture centre, pixels (as the program sees it)
    double shiftY = 0;
    enum Light { LightNone, LightGradient, LightShadow };
    Light light = LightNone;
    double noise = 2.0;   // sensor noise, standard deviation in grey levels
    double blur = 0.6;    // lens blur, Gaussian sigma in pixels; 0 for none
    int jpegQuality = 0;  // 1..100: JPEG round trip at that quality; 0: none
    bool colourCast = true;  // a small per-channel gain difference from the seed
    bool turned = false;     // the card is held upside down
    bool upright = false;    // return the picture as the program sees it, not a camera sample
};

// What went into a synthetic picture, for tests and --truth.
struct SynthTruth {
    std::string templateName;
    int abType = 0;  // the AB type recognition must find
    std::string admission;  // one character per admission column: digit or ' '
    std::string subject;
    std::string score;
    std::vector<std::string> answers;  // per question of the template
    std::vector<StrayMark> strays;
    SynthOptions options;
    // Line ends (bottom-left, bottom-right, top-left, top-right) in the
    // returned picture, pixel coordinates with y downward.
    std::array<std::array<double, 2>, 4> lineEnds{};
    double rowPixels = 0;  // a cell row's height at the card's middle
};

// The marks a filled card puts on its template.
std::vector<PencilMark> MarksFor(const CardTemplate& t, const FilledCard& card);

// The resolution faces are drawn at for the synthetic camera: plenty for 640 x 480.
inline constexpr double SynthPixelsPerMm = 8.0;

// The card face with its pencil marks, upright, at `pixelsPerMm`. Costly to
// draw; callers that photograph one card many times keep it. A null image
// when it cannot be drawn (CardImageSizeProblem).
QImage RenderFilledFace(const CardTemplate& t, const std::string& templateName, const FilledCard& card,
                        double pixelsPerMm = SynthPixelsPerMm);

// Photographs a face from RenderFilledFace (drawn at `pixelsPerMm`) into a
// 640 x 480 RGB32 picture. `truth` (optional) receives the geometry fields.
// A null face gives a null picture.
QImage PhotographFace(const CardTemplate& t, const std::string& templateName, const QImage& face,
                      double pixelsPerMm, const SynthOptions& o, SynthTruth* truth = nullptr);

// Both steps, and the truth of what was filled.
QImage SynthesizeCameraImage(const CardTemplate& t, const std::string& templateName, const FilledCard& card,
                             const SynthOptions& o, SynthTruth* truth = nullptr);

// A camera sample as the capture layer hands it over: `width` x `height`,
// rows bottom-up (the first row in memory is the picture's bottom row),
// pixels B, G, R (and an unwritten fourth byte, 0, when bytesPerPixel is 4).
struct CameraSample {
    int width = 640;
    int height = 480;
    int bytesPerPixel = 3;
    std::vector<uint8_t> pixels;
};
CameraSample ToCameraSample(const QImage& picture, int bytesPerPixel = 3);

std::string TruthToJson(const SynthTruth& truth);

// Parses the --answers list: comma-separated answer texts in question order.
std::vector<std::string> ParseAnswerList(const std::string& list);

} // namespace cardprint
