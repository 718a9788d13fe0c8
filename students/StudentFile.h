#pragma once
// The student information file ("*.xs", 3158 + 56·n bytes, the roster's
// fields without padding) and "base.dat" (the last-used file's path).

#include <filesystem>
#include <string>

#include "students/Roster.h"

namespace student_file {
inline constexpr std::size_t HeaderSize = 3158;
inline constexpr std::size_t StudentSize = 56;
inline constexpr std::size_t BaseDatSize = 1024;
} // namespace student_file

// Fills `roster` from the file. A file that cannot be read, is shorter than
// its counts require, has counts out of range or texts without their
// terminator is refused with `error` (UTF-8) and `roster` is left untouched.
[[nodiscard]] bool ReadStudentFile(const std::filesystem::path& path, StudentRoster& roster, std::string* error);
// The file's bytes for `roster`.
std::string EncodeStudentFile(const StudentRoster& roster);
// Creates or replaces the file (atomically).
[[nodiscard]] bool WriteStudentFile(const std::filesystem::path& path, const StudentRoster& roster,
                                    std::string* error);
// Rewrites "base.dat" in `programFolder` with `studentFile`; failures are ignored.
void RememberStudentFile(const std::filesystem::path& programFolder, const std::filesystem::path& studentFile);

struct StartRosterResult {
    std::filesystem::path currentFile;  // empty when nothing was loaded
    bool showDefaultHint = false;       // "测试软件阅卷效果时可以直接使用默认的学生名单…"
    // Not empty when the remembered file exists but could not be read: which
    // file and why, for the teacher to see before the default list stands in.
    std::string warning;
};
// Resets `roster` and loads the last-used file, or the default "测试.xs".
StartRosterResult LoadStartRoster(const std::filesystem::path& programFolder, StudentRoster& roster);
