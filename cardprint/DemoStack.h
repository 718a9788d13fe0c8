#pragma once
// The demo card stack the virtual camera plays and tests mark: the standard
// answer first, then students of the default roster, a re-read and a card of
// a student who is not on the roster. All on the default card.

#include <string>
#include <vector>

#include "cardprint/SynthCamera.h"

namespace cardprint {

struct DemoCard {
    FilledCard card;
    std::string studentName;  // UTF-8; empty for the standard answer and the unknown student
    std::string note;         // what the card is for (UTF-8)
};

// "DY标准85题自动AB卷.dat"
std::string DemoTemplateName();
// The subject code every demo card carries ("02", 数学).
std::string DemoSubjectCode();

std::vector<DemoCard> DemoCardStack();

} // namespace cardprint
