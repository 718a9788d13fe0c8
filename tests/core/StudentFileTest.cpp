#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/Files.h"
#include "students/StudentFile.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace {

std::unique_ptr<StudentRoster> ThreeStudents()
{
    auto r = std::make_unique<StudentRoster>();
    r->Reset();
    r->gradeEnabled = 1;
    r->gradeCount = 1;
    EXPECT_TRUE(r->grades[0].name.SetUtf8("高一"));
    EXPECT_TRUE(r->grades[0].code.Set("20241"));
    r->selectedGrade = r->grades[0];
    r->classEnabled = 1;
    EXPECT_TRUE(r->selectedClassCode.Set("03"));
    EXPECT_TRUE(r->admissionPrefix.Set("2024103"));
    const char* names[] = {"张三", "测试", "李四"};
    for (int i = 0; i < 3; ++i) {
        StudentEntry s{};
        EXPECT_TRUE(s.admissionNumber.Set("20241030" + std::to_string(i + 1)));
        EXPECT_TRUE(s.name.SetUtf8(names[i]));
        EXPECT_TRUE(s.gradeCode.Set("20241"));
        EXPECT_TRUE(s.classCode.Set("03"));
        EXPECT_TRUE(r->AppendStudent(s));
    }
    return r;
}

template <typename T>
T At(const std::string& bytes, std::size_t offset)
{
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

} // namespace

TEST(StudentFile, ThreeStudentsWrite3326BytesAtTheDocumentedOffsets)
{
    TempDir dir;
    auto r = ThreeStudents();
    ASSERT_TRUE(WriteStudentFile(dir / "a.xs", *r, nullptr));
    auto bytes = *files::ReadAll(dir / "a.xs");
    ASSERT_EQ(bytes.size(), 3326u);
    EXPECT_EQ(bytes[0], 1);                                 // gradeEnabled
    EXPECT_EQ(At<int32_t>(bytes, 1), 5);                    // gradeCodeLength
    EXPECT_EQ(bytes.substr(5, 4), *gbk::FromUtf8("高一"));  // grades[0].name
    EXPECT_EQ(bytes.substr(5 + 50, 5), "20241");            // grades[0].code
    EXPECT_EQ(At<int32_t>(bytes, 3055), 1);                 // gradeCount
    EXPECT_EQ(bytes[3059], 1);                              // classEnabled
    EXPECT_EQ(At<int32_t>(bytes, 3060), 2);                 // classCodeLength
    EXPECT_EQ(bytes.substr(3064 + 50, 5), "20241");         // selectedGrade.code
    EXPECT_EQ(bytes.substr(3125, 3), std::string("03\0", 3));
    EXPECT_EQ(bytes[3129], 1);                              // admissionLinked
    EXPECT_EQ(At<int32_t>(bytes, 3130), 9);
    EXPECT_EQ(bytes.substr(3134, 7), "2024103");
    EXPECT_EQ(At<int32_t>(bytes, 3154), 3);
    EXPECT_EQ(bytes.substr(3158, 9), "202410301");
    EXPECT_EQ(bytes.substr(3158 + 21, 4), *gbk::FromUtf8("张三"));
    EXPECT_EQ(bytes.substr(3158 + 56 + 21, 4), *gbk::FromUtf8("测试"));
    EXPECT_EQ(bytes.substr(3158 + 41, 5), "20241");
    EXPECT_EQ(bytes.substr(3158 + 52, 2), "03");
}

TEST(StudentFile, RoundTripRestoresEveryField)
{
    TempDir dir;
    auto r = ThreeStudents();
    ASSERT_TRUE(WriteStudentFile(dir / "a.xs", *r, nullptr));
    auto back = std::make_unique<StudentRoster>();
    back->Reset();
    std::string error;
    ASSERT_TRUE(ReadStudentFile(dir / "a.xs", *back, &error)) << error;
    EXPECT_EQ(std::memcmp(back.get(), r.get(), sizeof(StudentRoster)), 0);
    EXPECT_EQ(back->students[1].name.Utf8(), "测试");
}

TEST(StudentFile, CorruptFilesAreRefusedWithoutTouchingTheRoster)
{
    TempDir dir;
    auto good = EncodeStudentFile(*ThreeStudents());
    auto corrupt = [&](auto mutate) {
        std::string b = good;
        mutate(b);
        return b;
    };
    auto setCount = [](std::string& b, std::size_t offset, int32_t v) { std::memcpy(b.data() + offset, &v, 4); };
    const std::string tooShort = "学生信息文件已损坏（文件太短）：bad.xs";
    const std::pair<std::string, std::string> cases[] = {
        {"", tooShort},
        {good.substr(0, 100), tooShort},                // shorter than the header
        {good.substr(0, good.size() - 1), tooShort},    // shorter than its students
        {corrupt([&](std::string& b) { setCount(b, 3154, 5001); }), "学生信息文件已损坏（学生人数超出范围）：bad.xs"},
        {corrupt([&](std::string& b) { setCount(b, 3154, -1); }), "学生信息文件已损坏（学生人数超出范围）：bad.xs"},
        {corrupt([&](std::string& b) { setCount(b, 3055, 51); }),  // gradeCount too big
         "学生信息文件已损坏（年级数超出范围（0-50）。）：bad.xs"},
        {corrupt([&](std::string& b) { std::memset(b.data() + 3158 + 21, 'x', 20); }),  // name unterminated
         "学生信息文件已损坏（学生信息中有没有结束符的文字（第1个学生）。）：bad.xs"},
    };
    for (const auto& [bytes, message] : cases) {
        ASSERT_TRUE(files::WriteAll(dir / "bad.xs", bytes));
        auto r = ThreeStudents();
        auto before = std::make_unique<StudentRoster>(*r);
        std::string error;
        EXPECT_FALSE(ReadStudentFile(dir / "bad.xs", *r, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error, message);
        EXPECT_EQ(std::memcmp(before.get(), r.get(), sizeof(StudentRoster)), 0);
    }
    auto r = ThreeStudents();
    std::string error;
    EXPECT_FALSE(ReadStudentFile(dir / "missing.xs", *r, &error));
    EXPECT_EQ(error, "无法打开学生信息文件：missing.xs");
}

TEST(StudentFile, ReadingLeavesLaterRecordsAsTheyWere)
{
    TempDir dir;
    auto r = ThreeStudents();
    ASSERT_TRUE(WriteStudentFile(dir / "a.xs", *r, nullptr));
    auto target = ThreeStudents();
    StudentEntry extra{};
    ASSERT_TRUE(extra.admissionNumber.Set("999"));
    ASSERT_TRUE(target->AppendStudent(extra));
    ASSERT_TRUE(ReadStudentFile(dir / "a.xs", *target, nullptr));
    EXPECT_EQ(target->studentCount, 3);
    EXPECT_EQ(target->students[3].admissionNumber.View(), "999");
}

TEST(StudentFile, BaseDatAndStartRoster)
{
    TempDir home;
    std::filesystem::create_directories(home / files::FromUtf8("学生信息文件"));
    auto defaultRoster = ThreeStudents();
    auto defaultPath = home / files::FromUtf8("学生信息文件") / files::FromUtf8("测试.xs");
    ASSERT_TRUE(WriteStudentFile(defaultPath, *defaultRoster, nullptr));

    auto r = std::make_unique<StudentRoster>();
    auto start = LoadStartRoster(home.path(), *r);
    EXPECT_TRUE(start.showDefaultHint);
    EXPECT_EQ(start.currentFile, defaultPath);
    EXPECT_EQ(r->studentCount, 3);

    auto other = ThreeStudents();
    other->RemoveStudent(0);
    auto otherPath = home / files::FromUtf8("另一个班.xs");
    ASSERT_TRUE(WriteStudentFile(otherPath, *other, nullptr));
    RememberStudentFile(home.path(), otherPath);
    auto baseDat = *files::ReadAll(home / "base.dat");
    ASSERT_EQ(baseDat.size(), 1024u);
    EXPECT_EQ(gbk::ToUtf8(baseDat.c_str()), files::ToUtf8(otherPath));

    start = LoadStartRoster(home.path(), *r);
    EXPECT_FALSE(start.showDefaultHint);
    EXPECT_EQ(start.currentFile, otherPath);
    EXPECT_EQ(r->studentCount, 2);

    EXPECT_TRUE(start.warning.empty());

    // The remembered file is corrupt: the teacher is told which and why, then the default list stands in.
    ASSERT_TRUE(files::WriteAll(otherPath, "short"));
    start = LoadStartRoster(home.path(), *r);
    EXPECT_EQ(start.currentFile, defaultPath);
    EXPECT_EQ(r->studentCount, 3);
    EXPECT_EQ(start.warning, "上次使用的学生信息文件“" + files::ToUtf8(otherPath) +
                                 "”不能读取：学生信息文件已损坏（文件太短）：另一个班.xs。现在改用默认的学生名单“测试.xs”。");

    // The remembered file is gone: the default list is used again, silently.
    std::filesystem::remove(otherPath);
    start = LoadStartRoster(home.path(), *r);
    EXPECT_EQ(start.currentFile, defaultPath);
    EXPECT_EQ(r->studentCount, 3);
    EXPECT_TRUE(start.warning.empty());

    // No default file either: an empty roster, no crash.
    std::filesystem::remove(defaultPath);
    start = LoadStartRoster(home.path(), *r);
    EXPECT_TRUE(start.currentFile.empty());
    EXPECT_EQ(r->studentCount, 0);
}

// "base.dat" is rewritten in place, so a full disk or a crash can leave it
// empty or cut short, and anything can be in it. None of that names a student
// file: the default list is used, without a warning about a file nobody chose.
TEST(StudentFile, ADamagedBaseDatFallsBackToTheDefaultList)
{
    TempDir home;
    std::filesystem::create_directories(home / files::FromUtf8("学生信息文件"));
    const auto defaultPath = home / files::FromUtf8("学生信息文件") / files::FromUtf8("测试.xs");
    ASSERT_TRUE(WriteStudentFile(defaultPath, *ThreeStudents(), nullptr));
    const auto otherPath = home / files::FromUtf8("另一个班.xs");
    ASSERT_TRUE(WriteStudentFile(otherPath, *ThreeStudents(), nullptr));
    RememberStudentFile(home.path(), otherPath);
    const std::string remembered = *files::ReadAll(home / "base.dat");

    std::string noise(student_file::BaseDatSize, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(0x81 + i % 120);  // no terminator, and no path
    const std::string cases[] = {"", remembered.substr(0, 10), noise};
    for (const auto& bytes : cases) {
        ASSERT_TRUE(files::WriteAll(home / "base.dat", bytes));
        auto r = std::make_unique<StudentRoster>();
        auto start = LoadStartRoster(home.path(), *r);
        EXPECT_EQ(start.currentFile, defaultPath) << bytes.size();
        EXPECT_TRUE(start.showDefaultHint);
        EXPECT_TRUE(start.warning.empty()) << start.warning;
        EXPECT_EQ(r->studentCount, 3);
    }
}

// Remembering another student file on a full disk (the file-size limit stops
// the write part way) keeps the file remembered before: a "base.dat" cut
// short would name no file, and the next start would use the default list.
TEST(StudentFile, ADiskFullKeepsTheRememberedFile)
{
    TempDir dir;
    RememberStudentFile(dir.path(), dir / "高一.xs");
    const auto before = files::ReadAll(dir / "base.dat");
    ASSERT_TRUE(before.has_value());
    ASSERT_EQ(before->size(), student_file::BaseDatSize);
    EXPECT_EQ(RunWithFileSizeLimit(100, [&] {
                  RememberStudentFile(dir.path(), dir / "高二.xs");
                  return 0;
              }),
              0);
    EXPECT_EQ(files::ReadAll(dir / "base.dat"), before);
    int left = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++left;
    EXPECT_EQ(left, 1) << "no temporary file left beside it";
}
