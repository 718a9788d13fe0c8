#pragma once
// Cards filled to be refused, one for each reason a refusal gives the
// teacher: the demo card, a student of the demo roster, every mark clean but
// one thing wrong (a mark off its bubble, across two bubbles, rubbed out,
// pale, a digit column left empty...). The help page's pictures are made from
// them and the tests read them through the whole pipeline.

#include <string>
#include <vector>

#include <QImage>

#include "cardprint/SynthCamera.h"
#include "recognition/Refusal.h"

namespace cardprint {

struct RefusalExample {
    std::string pictureName;  // the help page's picture, without ".png"
    RefusalDetail expected;   // the place and reason the reading must name
    FilledCard card;
    // Marks beyond the card's answers and digits (the one thing wrong), and
    // the card's own marks taken off (the answer it replaces).
    std::vector<PencilMark> extra;
    std::vector<CellPos> removed;
};

// The demo exam these cards are marked against: questions 1-80 single
// choice, 81-85 multiple choice; a multiple-choice question on the card makes
// one doubtful question refuse it.
std::vector<std::vector<std::string>> RefusalExampleScoreRows();
// The standard answer of that exam, one answer per question.
std::vector<std::string> RefusalExampleKey();
// A clean card of the roster's second student: the examples' starting point.
FilledCard RefusalExampleStudent();

std::vector<RefusalExample> RefusalExamples();

// The example's card face, upright, at `pixelsPerMm`.
QImage RenderRefusalExample(const RefusalExample& e, double pixelsPerMm = 8.0);
// The example photographed by the synthetic camera.
QImage PhotographRefusalExample(const RefusalExample& e, const SynthOptions& o);
// The help page's picture of the example: the card face around the refused
// place, the place boxed in `boxColour` as the live view boxes it.
QImage RefusalExamplePicture(const RefusalExample& e, const QColor& boxColour);

} // namespace cardprint
