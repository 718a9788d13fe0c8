#include "students/StudentFile.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/Files.h"

namespace {

// The file is the roster's fields in declaration order without the padding.
struct FieldSpan {
    std::size_t offset;  // in the roster record
    std::size_t size;
};

constexpr FieldSpan kHeaderFields[] = {
    {offsetof(StudentRoster, gradeEnabled), 1},
    {offsetof(StudentRoster, gradeCodeLength), 4},
    {offsetof(StudentRoster, grades), sizeof(StudentRoster::grades)},
    {offsetof(StudentRoster, gradeCount), 4},
    {offsetof(StudentRoster, classEnabled), 1},
    {offsetof(StudentRoster, classCodeLength), 4},
    {offsetof(StudentRoster, selectedGrade), sizeof(GradeEntry)},
    {offsetof(StudentRoster, selectedClassCode), 4},
    {offsetof(StudentRoster, admissionLinked), 1},
    {offsetof(StudentRoster, admissionLength), 4},
    {offsetof(StudentRoster, admissionPrefix), 20},
    {offsetof(StudentRoster, studentCount), 4},
};

constexpr std::size_t HeaderBytes()
{
    std::size_t n = 0;
    for (auto f : kHeaderFields)
        n += f.size;
    return n;
}
static_assert(HeaderBytes() == student_file::HeaderSize);

} // namespace

std::string EncodeStudentFile(const StudentRoster& roster)
{
    const auto* base = reinterpret_cast<const char*>(&roster);
    int n = std::clamp(roster.studentCount, 0, StudentRoster::MaxStudents);
    std::string out;
    out.reserve(student_file::HeaderSize + student_file::StudentSize * static_cast<std::size_t>(n));
    for (auto f : kHeaderFields)
        out.append(base + f.offset, f.size);
    out.append(reinterpret_cast<const char*>(roster.students), student_file::StudentSize * static_cast<std::size_t>(n));
    return out;
}

bool ReadStudentFile(const std::filesystem::path& path, StudentRoster& roster, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    std::string why;
    auto bytes = files::ReadAll(path, &why,
                                student_file::HeaderSize + student_file::StudentSize * StudentRoster::MaxStudents);
    if (!bytes && why.rfind(files::TooLargeText, 0) == 0)
        return fail("学生信息文件已损坏（" + why + "）：" + files::ToUtf8(path.filename()));
    if (!bytes)
        return fail("无法打开学生信息文件：" + files::ToUtf8(path.filename()));
    if (bytes->size() < student_file::HeaderSize)
        return fail("学生信息文件已损坏（文件太短）：" + files::ToUtf8(path.filename()));

    // Read into a copy first so a refused file leaves the roster as it was.
    auto staged = std::make_unique<StudentRoster>(roster);
    auto* base = reinterpret_cast<char*>(staged.get());
    std::size_t pos = 0;
    for (auto f : kHeaderFields) {
        std::memcpy(base + f.offset, bytes->data() + pos, f.size);
        pos += f.size;
    }
    int n = staged->studentCount;
    if (n < 0 || n > StudentRoster::MaxStudents)
        return fail("学生信息文件已损坏（学生人数超出范围）：" + files::ToUtf8(path.filename()));
    if (bytes->size() < student_file::HeaderSize + student_file::StudentSize * static_cast<std::size_t>(n))
        return fail("学生信息文件已损坏（文件太短）：" + files::ToUtf8(path.filename()));
    std::memcpy(staged->students, bytes->data() + pos, student_file::StudentSize * static_cast<std::size_t>(n));
    if (std::string why = ValidateRoster(*staged); !why.empty())
        return fail("学生信息文件已损坏（" + why + "）：" + files::ToUtf8(path.filename()));
    roster = *staged;
    return true;
}

bool WriteStudentFile(const std::filesystem::path& path, const StudentRoster& roster, std::string* error)
{
    if (roster.studentCount < 0 || roster.studentCount > StudentRoster::MaxStudents) {
        if (error)
            *error = "学生人数超出范围（0-5000）。";
        return false;
    }
    std::string why;
    if (!files::WriteAtomic(path, EncodeStudentFile(roster), &why)) {
        if (error)
            *error = "无法保存学生信息文件：" + files::ToUtf8(path.filename()) + "（" + why + "）";
        return false;
    }
    return true;
}

void RememberStudentFile(const std::filesystem::path& programFolder, const std::filesystem::path& studentFile)
{
    std::string record(student_file::BaseDatSize, '\0');
    auto gbkPath = gbk::FromUtf8(files::ToUtf8(studentFile));
    if (!gbkPath || gbkPath->size() >= student_file::BaseDatSize)
        return;  // a path that cannot be remembered is simply not remembered
    std::memcpy(record.data(), gbkPath->data(), gbkPath->size());
    // Atomic: a write stopped part way (a full disk) would leave no name at all.
    (void)files::WriteAtomic(programFolder / "base.dat", record);
}

StartRosterResult LoadStartRoster(const std::filesystem::path& programFolder, StudentRoster& roster)
{
    StartRosterResult result;
    roster.Reset();
    std::error_code ec;
    auto baseDat = programFolder / "base.dat";
    if (std::filesystem::exists(baseDat, ec)) {
        if (auto bytes = files::ReadHead(baseDat, student_file::BaseDatSize)) {
            std::string_view gbkPath(bytes->data(), strnlen(bytes->data(), bytes->size()));
            auto path = files::FromUtf8(gbk::ToUtf8(gbkPath));
            std::string why;
            if (!gbkPath.empty() && std::filesystem::exists(path, ec)) {
                if (ReadStudentFile(path, roster, &why)) {
                    result.currentFile = path;
                    return result;
                }
                result.warning = "上次使用的学生信息文件“" + files::ToUtf8(path) + "”不能读取：" + why +
                                 "。现在改用默认的学生名单“测试.xs”。";
            }
        }
        // A remembered file that is gone or unreadable: start from the default
        // list rather than an empty roster the teacher did not ask for.
        roster.Reset();
    }
    result.showDefaultHint = true;
    auto defaultFile = programFolder / files::FromUtf8("学生信息文件") / files::FromUtf8("测试.xs");
    if (ReadStudentFile(defaultFile, roster, nullptr))
        result.currentFile = defaultFile;
    return result;
}
