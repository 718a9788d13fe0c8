#pragma once
// The student roster: grades, classes, admission-number coding and the list
// of students. Stored whole (283,168 bytes, padding included) in the marking
// raw file and field by field in the student information file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Gbk.h"

// Texts of the grade and class boxes on the marking and output pages, and of
// their refusals when grades or classes are coded and none is chosen.
namespace roster_texts {
inline constexpr const char* AllClasses = "所有班级";
inline constexpr const char* ChooseGrade = "请选择年级！";
inline constexpr const char* ChooseClass = "请选择班级";
} // namespace roster_texts

struct GradeEntry {
    GbkText<50> name;
    GbkText<11> code;
};
static_assert(sizeof(GradeEntry) == 61);

struct StudentEntry {
    GbkText<21> admissionNumber;
    GbkText<20> name;
    GbkText<11> gradeCode;
    GbkText<4> classCode;
};
static_assert(sizeof(StudentEntry) == 56);
static_assert(offsetof(StudentEntry, name) == 21);
static_assert(offsetof(StudentEntry, gradeCode) == 41);
static_assert(offsetof(StudentEntry, classCode) == 52);

struct StudentRoster {
    static constexpr int MaxGrades = 50;
    static constexpr int MaxStudents = 5000;

    uint8_t gradeEnabled;
    uint8_t pad0[3];
    int32_t gradeCodeLength;
    GradeEntry grades[MaxGrades];
    uint8_t pad1[2];
    int32_t gradeCount;
    uint8_t classEnabled;
    uint8_t pad2[3];
    int32_t classCodeLength;
    GradeEntry selectedGrade;
    GbkText<4> selectedClassCode;
    uint8_t admissionLinked;
    uint8_t pad3[2];
    int32_t admissionLength;
    GbkText<20> admissionPrefix;
    int32_t studentCount;
    StudentEntry students[MaxStudents];

    // Every field to its value after reset, all 5000 student records cleared.
    void Reset();
    // First student, in roster order, with this admission number; -1 when none.
    int FindStudent(std::string_view admissionNumber) const;
    int FindStudentInView(std::string_view gradeCode, std::string_view classCode,
                          std::string_view admissionNumber) const;
    // Name of the first grade with this code; empty when none has it.
    std::string_view GradeNameOf(std::string_view gradeCode) const;
    bool IsInView(int index, std::string_view selectedClass) const;
    std::vector<std::string> DistinctClassCodes() const;
    // False (and nothing changed) when the roster is full.
    [[nodiscard]] bool AppendStudent(const StudentEntry& s);
    void RemoveStudent(int index);
    void RemoveView(std::string_view selectedClass);
};

static_assert(sizeof(StudentRoster) == 283168);
static_assert(offsetof(StudentRoster, gradeEnabled) == 0);
static_assert(offsetof(StudentRoster, gradeCodeLength) == 4);
static_assert(offsetof(StudentRoster, grades) == 8);
static_assert(offsetof(StudentRoster, gradeCount) == 3060);
static_assert(offsetof(StudentRoster, classEnabled) == 3064);
static_assert(offsetof(StudentRoster, classCodeLength) == 3068);
static_assert(offsetof(StudentRoster, selectedGrade) == 3072);
static_assert(offsetof(StudentRoster, selectedClassCode) == 3133);
static_assert(offsetof(StudentRoster, admissionLinked) == 3137);
static_assert(offsetof(StudentRoster, admissionLength) == 3140);
static_assert(offsetof(StudentRoster, admissionPrefix) == 3144);
static_assert(offsetof(StudentRoster, studentCount) == 3164);
static_assert(offsetof(StudentRoster, students) == 3168);

// The admission-number lengths the student page allows.
inline constexpr int MinAdmissionLength = 2;
inline constexpr int MaxAdmissionLength = 20;
// Empty when the student page would take `admissionLength`; otherwise its
// refusal, "准考证长度范围为2-20之间！" with the length found.
std::string AdmissionLengthProblem(int admissionLength);
// Empty when a card with `cardColumns` admission columns can hold numbers of
// `admissionLength` digits; otherwise why not (UTF-8).
std::string AdmissionLengthOnCardProblem(int admissionLength, int cardColumns);

// Empty when the counts, lengths and texts of `r` are within the record's
// capacities; otherwise why not (UTF-8). Readers refuse such rosters.
std::string ValidateRoster(const StudentRoster& r);
