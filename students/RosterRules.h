#pragma once
// The coding rules and checks of the student page as plain functions: the
// page reads its widgets, calls these, and shows what they return.

#include <optional>
#include <string>
#include <vector>

#include "students/Roster.h"

namespace roster_rules {

// Admission prefix derivation. nullopt: leave the prefix entry unchanged.
struct PrefixInputs {
    bool linked = false;          // 年级和班级编码和准考证号关联
    bool gradeEnabled = false;
    bool classEnabled = false;
    std::optional<std::string> selectedGradeCode;  // nullopt: no grade selected
    std::string selectedClassCode;
};
std::optional<std::string> DeriveAdmissionPrefix(const PrefixInputs& in);
// The entry is read-only exactly when the derived prefix is not empty.
inline bool PrefixReadOnly(const std::string& prefix) { return !prefix.empty(); }

// "（范围…）" beside the class selection.
std::string ClassCodeRangeText(bool classEnabled, int classCodeLength);
// "1", "01" or "001".
std::string FirstClassCode(int classCodeLength);

// Class code check once the code is complete: a value of 0 is refused with
// "请注意范围！" and replaced by the first class code.
struct ClassCodeCheck {
    bool refused = false;
    std::string message;
    std::string replacement;
};
ClassCodeCheck CheckClassCode(const std::string& code, int classCodeLength);

// The n-th new admission number: prefix + n padded with "0" on the left.
std::string NewAdmissionNumber(const std::string& prefix, long long n, int admissionLength);

// Student-list check over the shown rows.
struct StudentRow {
    std::string admissionNumber;
    std::string name;
};
struct StudentListCheck {
    enum class Outcome { Pass, Fail, AskOkCancel } outcome = Outcome::Pass;
    std::string message;  // the failure message or the question
    int row = -1;         // Fail with a row: edit that row's admission number
    bool focusGrid = false;  // Fail (or Cancel of the question): focus the student grid
};
StudentListCheck CheckStudentList(const std::vector<StudentRow>& rows, int admissionLength);

// Grade table check on leaving the grade group (grades enabled).
struct GradeRow {
    std::string name;
    std::string code;
};
struct GradeTableCheck {
    bool ok = true;
    std::string message;
    bool switchGradesOff = false;
    int row = -1;
    enum class Cell { None, Name, Code } cell = Cell::None;
};
GradeTableCheck CheckGradeTable(const std::vector<GradeRow>& rows, int gradeCodeLength);

// Length entries, on leaving them.
struct LengthCheck {
    bool ok = true;
    std::string message;
    bool keepFocus = false;        // empty entry: focus stays
    std::optional<int> resetTo;    // out of range: entry reset
};
LengthCheck CheckGradeCodeLength(const std::string& text);
LengthCheck CheckClassCodeLength(const std::string& text);
LengthCheck CheckAdmissionLength(const std::string& text);

// A grade code that reached its full length and equals another row's code:
// "年级编码不能重复！" and the cell is emptied.
std::optional<std::string> CheckTypedGradeCode(const std::vector<GradeRow>& rows, int row);

// Fits a typed or pasted text into a roster field, or says why not.
std::optional<std::string> NameFitsMessage(const std::string& utf8Name);

} // namespace roster_rules
