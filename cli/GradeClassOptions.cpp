#include "cli/GradeClassOptions.h"

#include <algorithm>

#include "platform/Gbk.h"

namespace cli {

std::string ChooseGradeClass(const StudentRoster& roster, const ParsedOptions& o, GradeClassChoice& choice)
{
    if (o.Has("--grade")) {
        if (!roster.gradeEnabled)
            return "这份学生信息没有启用年级，不能用 --grade";
        auto code = gbk::FromUtf8(o.Get("--grade"));
        for (int g = 0; code && g < std::min(roster.gradeCount, StudentRoster::MaxGrades); ++g)
            if (roster.grades[g].code.View() == *code)
                choice.gradeIndex = g;
        if (choice.gradeIndex < 0)
            return "没有年级编码为 " + o.Get("--grade") + " 的年级";
    }
    if (o.Has("--class")) {
        if (!roster.classEnabled)
            return "这份学生信息没有启用班级，不能用 --class";
        const std::string value = o.Get("--class");
        if (value == "ALL") {
            choice.classChoice = GradeClassChoice::Class::All;
            return {};
        }
        auto code = gbk::FromUtf8(value);
        bool known = false;
        for (const std::string& c : roster.DistinctClassCodes())
            known = known || (code && c == *code);
        if (!known)
            return "学生信息里没有班级 " + value;
        choice.classChoice = GradeClassChoice::Class::One;
        choice.classCode = *code;
    }
    return {};
}

} // namespace cli
