#pragma once
// --grade and --class as the pages' grade and class boxes take them: the
// boxes offer only the roster's grades and classes, so a code the roster does
// not have is refused here instead of refusing (or leaving out) every card.

#include <string>

#include "cli/CliOptions.h"
#include "results/ScoreOutput.h"
#include "students/Roster.h"

namespace cli {

// Fills choice from --grade CODE and --class CODE|ALL (left not chosen when
// absent). Empty when accepted, else why not (UTF-8).
std::string ChooseGradeClass(const StudentRoster& roster, const ParsedOptions& o, GradeClassChoice& choice);

} // namespace cli
