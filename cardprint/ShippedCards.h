#pragma once
// The card templates and the default roster that ship in data/. The generator
// (tools/) writes them from these definitions; a test checks that the files
// in data/ are exactly these bytes.

#include <string>
#include <vector>

#include "recognition/CardTemplate.h"
#include "students/Roster.h"

namespace cardprint {

struct ShippedCard {
    std::string fileName;  // UTF-8, e.g. "DY标准85题自动AB卷.dat"
    CardTemplate record;
};

// In the order they appear in "答题卡.pdf".
std::vector<ShippedCard> ShippedCards();

// "学生信息文件/测试.xs": two classes of 20, classes coded with two digits,
// admission numbers of nine digits (class code + seven digits).
StudentRoster ShippedRoster();

inline const char* const kDefaultRosterFile = "测试.xs";
inline const char* const kPrintableCardsFile = "答题卡.pdf";

} // namespace cardprint
