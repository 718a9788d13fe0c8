#pragma once
// The dozen designs the designer's cards are judged on, shared by the
// synthetic-camera corpus (tests/recognition) and the print-and-photograph
// corpus (tests/printcorpus), so that both read the same cards: 5 to 200
// questions, 2 to 10 options, with and without a subjective score, each AB
// mode, black, red and green print, A4, A5 and B5 paper upright and on its
// side, cells scaled down for small paper, blocks of their own.

#include <vector>

#include "exam/CardDesign.h"

namespace testdesigns {

inline CardDesign Design(const char *name, int questions, int options, int abMode, CardPrintColour colour,
                         CardPaper paper, bool landscape)
{
    CardDesign d;
    d.name = name;
    d.questions = questions;
    d.options = options;
    d.abMode = abMode;
    d.colour = colour;
    d.paper = paper;
    d.landscape = landscape;
    return d;
}

inline std::vector<CardDesign> Designs()
{
    using C = CardPrintColour;
    using P = CardPaper;
    std::vector<CardDesign> out;
    out.push_back(Design("五题", 5, 4, 0, C::Black, P::A4, true));
    CardDesign d35 = Design("三十五题", 35, 4, 0, C::Black, P::A4, false);
    d35.scoreDigits = 0;
    d35.subjectDigits = 1;
    d35.admissionDigits = 6;
    out.push_back(d35);
    out.push_back(Design("一百题A卷", 100, 4, 1, C::Black, P::A4, false));
    out.push_back(Design("二百题判断", 200, 2, 0, C::Black, P::A4, false)); // tight spacing, 4.5 mm cells
    out.push_back(Design("二百题横放", 200, 2, 2, C::Black, P::A4, true));
    out.push_back(Design("十选项B卷", 40, 10, 2, C::Black, P::A4, true));
    CardDesign mixed = Design("五选项含判断", 60, 5, 2, C::Black, P::A4, true);
    mixed.exceptions = {{11, 2, false}, {12, 4, true}};
    mixed.scoreDigits = 0;
    out.push_back(mixed);
    out.push_back(Design("机读红A", 60, 4, 1, C::Red, P::A4, true));
    out.push_back(Design("机读绿B", 35, 4, 2, C::Green, P::B5, true));
    out.push_back(Design("机读AB", 50, 4, 0, C::Red, P::A4, true));
    out.push_back(Design("A5小卡", 100, 4, 0, C::Black, P::A5, false)); // 4 x 3.2 mm cells
    CardDesign wide = Design("三选项长号", 75, 3, 1, C::Black, P::B5, true);
    wide.admissionDigits = 14;
    wide.exceptions = {{3, 0, true}};
    out.push_back(wide);
    return out;
}

} // namespace testdesigns
