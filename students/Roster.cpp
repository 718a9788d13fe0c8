#include "students/Roster.h"

#include <algorithm>
#include <cstring>

void StudentRoster::Reset()
{
    std::memset(this, 0, sizeof *this);
    gradeCodeLength = 5;
    classCodeLength = 2;
    admissionLinked = 1;
    admissionLength = 9;
}

int StudentRoster::FindStudent(std::string_view admissionNumber) const
{
    for (int i = 0; i < studentCount; ++i)
        if (students[i].admissionNumber.View() == admissionNumber)
            return i;
    return -1;
}

int StudentRoster::FindStudentInView(std::string_view gradeCode, std::string_view classCode,
                                     std::string_view admissionNumber) const
{
    for (int i = 0; i < studentCount; ++i) {
        const StudentEntry& s = students[i];
        if ((gradeEnabled == 0 || s.gradeCode.View() == gradeCode) &&
            (classEnabled == 0 || s.classCode.View() == classCode) && s.admissionNumber.View() == admissionNumber)
            return i;
    }
    return -1;
}

std::string_view StudentRoster::GradeNameOf(std::string_view gradeCode) const
{
    for (int i = 0; i < gradeCount; ++i)
        if (grades[i].code.View() == gradeCode)
            return grades[i].name.View();
    return {};
}

bool StudentRoster::IsInView(int index, std::string_view selectedClass) const
{
    if (index < 0 || index >= studentCount)
        return false;
    const StudentEntry& s = students[index];
    return (gradeEnabled == 0 || s.gradeCode.View() == selectedGrade.code.View()) &&
           (classEnabled == 0 || s.classCode.View() == selectedClass);
}

std::vector<std::string> StudentRoster::DistinctClassCodes() const
{
    std::vector<std::string> codes;
    for (int i = 0; i < studentCount; ++i) {
        std::string_view c = students[i].classCode.View();
        if (!c.empty() && std::find(codes.begin(), codes.end(), c) == codes.end())
            codes.emplace_back(c);
    }
    return codes;
}

bool StudentRoster::AppendStudent(const StudentEntry& s)
{
    if (studentCount < 0 || studentCount >= MaxStudents)
        return false;
    StudentEntry& slot = students[studentCount];
    slot.admissionNumber.SetTruncated(s.admissionNumber.View());
    slot.name.SetTruncated(s.name.View());
    slot.gradeCode.SetTruncated(s.gradeCode.View());
    slot.classCode.SetTruncated(s.classCode.View());
    ++studentCount;
    return true;
}

void StudentRoster::RemoveStudent(int index)
{
    if (index < 0 || index >= studentCount)
        return;
    std::memmove(&students[index], &students[index + 1],
                 sizeof(StudentEntry) * static_cast<std::size_t>(studentCount - index - 1));
    --studentCount;
    // The freed slot is zero, as after a reset, so stored images stay clean.
    std::memset(&students[studentCount], 0, sizeof(StudentEntry));
}

void StudentRoster::RemoveView(std::string_view selectedClass)
{
    for (int i = studentCount - 1; i >= 0; --i)
        if (IsInView(i, selectedClass))
            RemoveStudent(i);
}

std::string AdmissionLengthProblem(int admissionLength)
{
    if (admissionLength >= MinAdmissionLength && admissionLength <= MaxAdmissionLength)
        return {};
    return "准考证长度为" + std::to_string(admissionLength) + "，准考证长度范围为2-20之间！";
}

std::string AdmissionLengthOnCardProblem(int admissionLength, int cardColumns)
{
    if (admissionLength <= cardColumns)
        return {};
    return "学生信息的准考证长度（" + std::to_string(admissionLength) + "）超过答题卡的准考证号列数（" +
           std::to_string(cardColumns) + "），这种答题卡读不出这么长的准考证号。";
}

std::string ValidateRoster(const StudentRoster& r)
{
    if (r.gradeCount < 0 || r.gradeCount > StudentRoster::MaxGrades)
        return "年级数超出范围（0-50）。";
    if (r.studentCount < 0 || r.studentCount > StudentRoster::MaxStudents)
        return "学生人数超出范围（0-5000）。";
    // A length of 0 reads every card's number as empty, the standard answer's:
    // each student card would then overwrite the key.
    if (std::string why = AdmissionLengthProblem(r.admissionLength); !why.empty())
        return why;
    if (r.gradeCodeLength < 0 || r.gradeCodeLength > 10 || r.classCodeLength < 0 || r.classCodeLength > 3)
        return "编码长度超出范围。";
    for (int i = 0; i < r.gradeCount; ++i)
        if (!r.grades[i].name.Terminated() || !r.grades[i].code.Terminated())
            return "年级信息中有没有结束符的文字。";
    if (!r.selectedGrade.name.Terminated() || !r.selectedGrade.code.Terminated() ||
        !r.selectedClassCode.Terminated() || !r.admissionPrefix.Terminated())
        return "学生信息设置中有没有结束符的文字。";
    for (int i = 0; i < r.studentCount; ++i) {
        const StudentEntry& s = r.students[i];
        if (!s.admissionNumber.Terminated() || !s.name.Terminated() || !s.gradeCode.Terminated() ||
            !s.classCode.Terminated())
            return "学生信息中有没有结束符的文字（第" + std::to_string(i + 1) + "个学生）。";
    }
    return {};
}
