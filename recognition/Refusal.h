#pragma once
// Where on the card a reading was refused and why, in words a teacher can act
// on: "第12题：涂点不在选项中间" rather than only "the light is wrong". A plain
// record with no other dependencies, so that acceptance can carry it without
// taking on recognition's work types.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The field the refused place lies in.
enum class RefusalField : uint8_t { None, Question, AdmissionNumber, Subject, SubjectiveScore };

// Every rule that refuses a question or a digit column maps to one of these.
enum class RefusalReason : uint8_t {
    None,
    InkOffCentre,      // ink beside a cell's centre, not on it
    MarkAstride,       // one mark between two cells
    NeighbourOverflow, // the only ink, or a rival, is a neighbouring mark reaching over
    PaleMark,          // too pale to be sure of
    ErasedResidue,     // as pale as what a rubbed-out mark leaves
    TwoMarks,          // two options of like weight in a single choice
    TooManyDoubtful,   // more doubtful questions than the card may have
    TwoDigits,         // two rows of a digit column marked
    UnclearDigit,      // ink in a digit column that picks no row
    NotFilled,         // a digit column (or the whole number) left empty
    OtherSubject,      // a clear subject code that is not the exam's
};

struct RefusalDetail {
    RefusalField field = RefusalField::None;
    int index = -1; // question or column, 0-based; -1: the field as a whole
    RefusalReason reason = RefusalReason::None;
    // TooManyDoubtful: what made the named question (the last of them)
    // doubtful, and how many were.
    RefusalReason doubt = RefusalReason::None;
    int doubtful = 0;

    bool Any() const { return reason != RefusalReason::None; }
};

// "第12题", "准考证号第3位", "准考证号", "科目", "科目第2位", "主观分第1位".
std::string RefusalPlace(const RefusalDetail& d);
// The reason in plain Chinese: "涂点不在选项中间".
const char* RefusalReasonText(RefusalReason r);
// What the teacher should do about it.
const char* RefusalAdvice(RefusalReason r);
// The line added to MemoTiShi: place, reason, advice. Empty without a reason.
std::string RefusalMemoLine(const RefusalDetail& d);
// MemoTiShi followed by the refusal's line, on a line of its own.
void AppendRefusalLine(std::string& memo, const RefusalDetail& d);

// Where a digit field read as `text` holds no number, and why: its first
// unclear column (its reason from `why`, UnclearDigit where that gives
// none); else its first blank column, between digits only unless
// `blankAnywhere`; else, the field all blank, the field as a whole, not
// filled. None when the text has neither.
RefusalDetail UnreadDigitColumn(RefusalField field, std::string_view text, bool blankAnywhere,
                                const std::function<RefusalReason(int column)>& why);
