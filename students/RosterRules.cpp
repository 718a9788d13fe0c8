#include "students/RosterRules.h"

#include <cstdlib>

namespace roster_rules {

std::optional<std::string> DeriveAdmissionPrefix(const PrefixInputs& in)
{
    std::string prefix;
    bool available = in.gradeEnabled || in.classEnabled;
    if (in.linked && available) {
        if (in.gradeEnabled) {
            if (!in.selectedGradeCode)
                return std::nullopt;
            prefix += *in.selectedGradeCode;
        }
        if (in.classEnabled) {
            if (in.selectedClassCode.empty())
                return std::nullopt;
            prefix += in.selectedClassCode;
        }
    }
    return prefix;
}

std::string ClassCodeRangeText(bool classEnabled, int classCodeLength)
{
    if (!classEnabled)
        return "（范围）";
    switch (classCodeLength) {
    case 1:
        return "（范围1-9）";
    case 2:
        return "（范围01-99，比如1班请输入01）";
    case 3:
        return "（范围001-999，比如1班请输入001，11班请输入011）";
    default:
        return "（范围）";
    }
}

std::string FirstClassCode(int classCodeLength)
{
    switch (classCodeLength) {
    case 1:
        return "1";
    case 3:
        return "001";
    default:
        return "01";
    }
}

static bool AllDigits(const std::string& s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

ClassCodeCheck CheckClassCode(const std::string& code, int classCodeLength)
{
    ClassCodeCheck r;
    if (static_cast<int>(code.size()) != classCodeLength || !AllDigits(code))
        return r;
    if (std::strtol(code.c_str(), nullptr, 10) == 0) {
        r.refused = true;
        r.message = "请注意范围！";
        r.replacement = FirstClassCode(classCodeLength);
    }
    return r;
}

std::string NewAdmissionNumber(const std::string& prefix, long long n, int admissionLength)
{
    std::string digits = std::to_string(n);
    int width = admissionLength - static_cast<int>(prefix.size());
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return prefix + digits;
}

StudentListCheck CheckStudentList(const std::vector<StudentRow>& rows, int admissionLength)
{
    StudentListCheck r;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (static_cast<int>(rows[i].admissionNumber.size()) != admissionLength) {
            r.outcome = StudentListCheck::Outcome::Fail;
            r.message = "（学生：" + rows[i].name + "）输入的准考证长度和设置的准考证长度不符合！";
            r.row = static_cast<int>(i);
            return r;
        }
    }
    std::string missing;
    int m = 0;
    for (const auto& row : rows)
        if (row.name.empty()) {
            missing += row.admissionNumber + " ";
            ++m;
        }
    if (m == 0)
        return r;
    int n = static_cast<int>(rows.size());
    r.focusGrid = true;
    if (m * 100 / n < 50) {
        r.outcome = StudentListCheck::Outcome::AskOkCancel;
        r.message = "以下准考证号的学生姓名未输入：" + missing +
                    "建议输入所有学生姓名，以便阅卷时立即核对学生姓名和准卡证号是否对应。"
                    "如果这些准卡证号的学生姓名有一些特殊原因目前没必要或无法输入的，请点 确定 继续。确定要继续吗？";
    } else {
        r.outcome = StudentListCheck::Outcome::Fail;
        r.message = "请输入准考证号对应的学生姓名，以便阅卷时立即核对学生姓名和准卡证号是否对应。";
    }
    return r;
}

GradeTableCheck CheckGradeTable(const std::vector<GradeRow>& rows, int gradeCodeLength)
{
    GradeTableCheck r;
    if (rows.empty()) {
        r.ok = false;
        r.message = "如果选中启用年级，至少要设置一个有效年级信息才可以。";
        r.switchGradesOff = true;
        return r;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (static_cast<int>(rows[i].code.size()) != gradeCodeLength) {
            r.ok = false;
            r.message = "输入的年级编码的长度和设置的年级编码长度不符！";
            r.row = static_cast<int>(i);
            r.cell = GradeTableCheck::Cell::Code;
            return r;
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows.size(); ++j) {
            if (i == j)
                continue;
            if (rows[i].name == rows[j].name) {
                r.ok = false;
                r.message = "年级名称不能重复！";
                r.row = static_cast<int>(j);
                r.cell = GradeTableCheck::Cell::Name;
                return r;
            }
            if (rows[i].code == rows[j].code) {
                r.ok = false;
                r.message = "年级编码不能重复！";
                r.row = static_cast<int>(j);
                r.cell = GradeTableCheck::Cell::Code;
                return r;
            }
        }
    return r;
}

static LengthCheck RangeCheck(const std::string& text, const char* emptyMessage, int low, int high,
                              const char* rangeMessage, int resetTo)
{
    LengthCheck r;
    if (text.empty()) {
        r.ok = false;
        r.message = emptyMessage;
        r.keepFocus = true;
        return r;
    }
    long v = AllDigits(text) && text.size() <= 9 ? std::strtol(text.c_str(), nullptr, 10) : -1;
    if (v < low || v > high) {
        r.ok = false;
        r.message = rangeMessage;
        r.resetTo = resetTo;
    }
    return r;
}

LengthCheck CheckGradeCodeLength(const std::string& text)
{
    return RangeCheck(text, "年级编码长度不能为空！", 1, 10, "年级编码长度范围为1-10之间！", 5);
}

LengthCheck CheckClassCodeLength(const std::string& text)
{
    LengthCheck r;
    if (text.empty()) {
        r.ok = false;
        r.message = "班级编码长度不能空！";
        r.keepFocus = true;
    }
    return r;
}

LengthCheck CheckAdmissionLength(const std::string& text)
{
    return RangeCheck(text, "准考证长度不能空！", MinAdmissionLength, MaxAdmissionLength, "准考证长度范围为2-20之间！",
                      9);
}

std::optional<std::string> CheckTypedGradeCode(const std::vector<GradeRow>& rows, int row)
{
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return std::nullopt;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        if (i != row && rows[i].code == rows[row].code)
            return std::string("年级编码不能重复！");
    return std::nullopt;
}

std::optional<std::string> NameFitsMessage(const std::string& utf8Name)
{
    auto g = gbk::FromUtf8(utf8Name);
    if (!g)
        return "姓名中有无法保存的字符：" + utf8Name;
    if (g->size() > 19)
        return "姓名太长（最多9个汉字或19个字母）：" + utf8Name;
    return std::nullopt;
}

} // namespace roster_rules
