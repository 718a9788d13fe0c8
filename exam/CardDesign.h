#pragma once
// A card a teacher designs: what goes on it (questions, options, header
// digits, AB papers, print colour, paper), and the layout that turns it into
// a 600-byte card template the camera reads.
//
// The layout keeps to the rules the shipped cards follow (cardprint/
// ShippedCards.cpp): cells 5 x 4 mm, header grids above the top line from row
// 11.5, answer blocks from 1.5 rows below it, a block being its question
// numbers, its options and one free column where recognition draws its grey
// reference frame. Only when a card does not fit that way does it tighten the
// spacing, and then the cells (down to 4 x 3.2 mm, every distance with them, so
// that the camera sees the same picture from nearer).

#include <string>
#include <vector>

#include "recognition/CardTemplate.h"

enum class CardPaper { A4, A5, B5 };
enum class CardPrintColour { Black, Red, Green };  // black: "DY"; red or green: the machine card "JD"

// A block of five questions that differs from the card's default.
struct CardBlockException {
    int block = 1;     // counted from 1: block 1 holds questions 1-5, block 7 questions 31-35
    int options = 0;   // 0: the card's default
    bool down = false; // options run down, one question per column
};

struct CardSubject {
    std::string code;  // as many digits as the subject grid has columns
    std::string name;  // UTF-8, at most 9 GBK bytes (four Chinese characters)
};

struct CardDesign {
    std::string name;  // UTF-8, without "DY"/"JD" and ".dat": "期中35题"
    int questions = 60;
    int options = 4;
    std::vector<CardBlockException> exceptions;
    int admissionDigits = 9;
    int subjectDigits = 2;
    std::vector<CardSubject> subjects;  // empty: the nine usual subjects
    int scoreDigits = 3;                // 0: no subjective score
    int abMode = 0;                     // 0 detected from the marks, 1 always A, 2 always B
    CardPrintColour colour = CardPrintColour::Black;
    CardPaper paper = CardPaper::A4;
    bool landscape = true;
};

namespace card_design {
inline constexpr int MinQuestions = 5;
inline constexpr int MaxQuestions = 200;
inline constexpr int MinOptions = 2;
inline constexpr int MaxOptions = 10;
inline constexpr int MinAdmissionDigits = 2;  // the machine card's colour check reads two columns
inline constexpr int MaxAdmissionDigits = 20;
inline constexpr int MaxSubjectDigits = 2;
inline constexpr int MaxScoreDigits = 3;
inline constexpr int MaxExceptions = 10;
inline constexpr int MaxNameBytes = 40;  // GBK bytes of the name, so that "DY" + name + ".dat" stays short
} // namespace card_design

struct PaperSizeMm {
    double width = 0;
    double height = 0;
};
PaperSizeMm PaperSize(CardPaper paper, bool landscape);
// "A4纸（横放）"
std::string PaperText(CardPaper paper, bool landscape);

struct CardLayoutResult {
    bool ok = false;
    std::string reason;     // one Chinese sentence when the design cannot be laid out
    CardTemplate record{};  // the laid-out template when ok
    std::string fileName;   // "DY期中35题.dat" / "JD….dat"
    // The printed card (paper of the card itself) and the sheet it goes on, mm.
    double cardWidthMm = 0;
    double cardHeightMm = 0;
    PaperSizeMm page;
    double cellScale = 1;   // 1: 5 x 4 mm cells; 0.8: 4 x 3.2 mm
    bool compact = false;   // tighter spacing between blocks
    // Which AB papers the card is printed for: {0}, {1} or {0, 1}.
    std::vector<int> papers;
};

// The template file name a design is saved under ("DY" or "JD" + name + ".dat").
std::string CardFileName(const CardDesign& d);

// Empty when the design's choices are each in range; otherwise why not.
std::string CheckCardDesign(const CardDesign& d);

CardLayoutResult LayOutCard(const CardDesign& d);

// The printed card's size in mm for a template, as the card renderer draws it
// (cardprint/CardGeometry: the paper around the lines, the header and title).
struct CardExtentMm {
    double left = 0, bottom = 0, right = 0, top = 0;  // card space: u from the bottom line's left end, v up
};
CardExtentMm PrintedCardExtent(const CardTemplate& t, bool jd);

// Parsers of the teacher's lists, shared by the command line and the dialog.
// Each returns false and sets `why` (Chinese) on a malformed list.
// "7:2,8:2": blocks 7 and 8 have two options.
bool ParseBlockOptions(const std::string& text, std::vector<CardBlockException>& into, std::string& why);
// "7,8": blocks 7 and 8 run down.
bool ParseDownBlocks(const std::string& text, std::vector<CardBlockException>& into, std::string& why);
// "01:语文,02:数学"
bool ParseSubjectList(const std::string& text, std::vector<CardSubject>& into, std::string& why);
// The nine usual subjects, coded with `digits` digits (1 or 2).
std::vector<CardSubject> DefaultSubjects(int digits);
