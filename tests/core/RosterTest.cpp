#include <gtest/gtest.h>

#include <memory>

#include "students/RosterRules.h"
#include "students/Roster.h"

namespace {

std::unique_ptr<StudentRoster> NewRoster()
{
    auto r = std::make_unique<StudentRoster>();
    r->Reset();
    return r;
}

StudentEntry Student(const char* number, const char* nameUtf8, const char* grade = "", const char* cls = "")
{
    StudentEntry s{};
    EXPECT_TRUE(s.admissionNumber.Set(number));
    EXPECT_TRUE(s.name.SetUtf8(nameUtf8));
    EXPECT_TRUE(s.gradeCode.Set(grade));
    EXPECT_TRUE(s.classCode.Set(cls));
    return s;
}

} // namespace

TEST(Roster, ResetGivesTheDocumentedValues)
{
    auto r = NewRoster();
    EXPECT_EQ(r->gradeEnabled, 0);
    EXPECT_EQ(r->gradeCodeLength, 5);
    EXPECT_EQ(r->classCodeLength, 2);
    EXPECT_EQ(r->admissionLinked, 1);
    EXPECT_EQ(r->admissionLength, 9);
    EXPECT_EQ(r->studentCount, 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(r.get());
    EXPECT_EQ(bytes[1] | bytes[2] | bytes[3], 0);  // padding stays zero in stored images
}

TEST(Roster, LookupsFollowRosterOrder)
{
    auto r = NewRoster();
    r->classEnabled = 1;
    ASSERT_TRUE(r->AppendStudent(Student("202401001", "张三", "", "01")));
    ASSERT_TRUE(r->AppendStudent(Student("202401002", "李四", "", "02")));
    ASSERT_TRUE(r->AppendStudent(Student("202401001", "王五", "", "02")));
    EXPECT_EQ(r->FindStudent("202401001"), 0);  // the first of two equal numbers
    EXPECT_EQ(r->FindStudent("20240100"), -1);  // compared in full
    EXPECT_EQ(r->FindStudentInView("", "02", "202401001"), 2);
    EXPECT_EQ(r->FindStudentInView("", "03", "202401001"), -1);
    EXPECT_EQ(r->DistinctClassCodes(), (std::vector<std::string>{"01", "02"}));
    EXPECT_TRUE(r->IsInView(1, "02"));
    EXPECT_FALSE(r->IsInView(0, "02"));
    EXPECT_FALSE(r->IsInView(7, "02"));
}

TEST(Roster, GradeNameOfUnknownCodeIsEmpty)
{
    auto r = NewRoster();
    r->gradeCount = 1;
    ASSERT_TRUE(r->grades[0].name.SetUtf8("高一"));
    ASSERT_TRUE(r->grades[0].code.Set("20241"));
    EXPECT_EQ(gbk::ToUtf8(r->GradeNameOf("20241")), "高一");
    EXPECT_TRUE(r->GradeNameOf("20242").empty());
}

TEST(Roster, RemoveViewKeepsOrderAndZeroesFreedSlots)
{
    auto r = NewRoster();
    r->classEnabled = 1;
    for (const char* cls : {"01", "02", "01", "02", "01"})
        ASSERT_TRUE(r->AppendStudent(Student("100000000", "甲", "", cls)));
    r->students[1].admissionNumber.SetTruncated("111");
    r->students[3].admissionNumber.SetTruncated("333");
    r->RemoveView("01");
    ASSERT_EQ(r->studentCount, 2);
    EXPECT_EQ(r->students[0].admissionNumber.View(), "111");
    EXPECT_EQ(r->students[1].admissionNumber.View(), "333");
    EXPECT_TRUE(r->students[2].admissionNumber.Empty());
}

TEST(Roster, CapacityIsRefusedNeverOverrun)
{
    auto r = NewRoster();
    r->studentCount = StudentRoster::MaxStudents;
    EXPECT_FALSE(r->AppendStudent(Student("1", "甲")));
    EXPECT_EQ(r->studentCount, StudentRoster::MaxStudents);
}

TEST(RosterRules, AdmissionPrefix)
{
    using roster_rules::DeriveAdmissionPrefix;
    roster_rules::PrefixInputs in;
    in.linked = true;
    in.gradeEnabled = true;
    in.classEnabled = true;
    in.selectedGradeCode = "20241";
    in.selectedClassCode = "03";
    EXPECT_EQ(DeriveAdmissionPrefix(in), "2024103");
    in.selectedGradeCode.reset();  // no grade selected: prefix entry left as it was
    EXPECT_EQ(DeriveAdmissionPrefix(in), std::nullopt);
    in.selectedGradeCode = "20241";
    in.selectedClassCode.clear();
    EXPECT_EQ(DeriveAdmissionPrefix(in), std::nullopt);
    in.linked = false;  // cleared option empties the prefix
    EXPECT_EQ(DeriveAdmissionPrefix(in), "");
    in.linked = true;
    in.gradeEnabled = in.classEnabled = false;  // option unavailable
    EXPECT_EQ(DeriveAdmissionPrefix(in), "");
}

TEST(RosterRules, ClassCodes)
{
    using namespace roster_rules;
    EXPECT_EQ(ClassCodeRangeText(false, 2), "（范围）");
    EXPECT_EQ(ClassCodeRangeText(true, 1), "（范围1-9）");
    EXPECT_EQ(ClassCodeRangeText(true, 2), "（范围01-99，比如1班请输入01）");
    EXPECT_EQ(ClassCodeRangeText(true, 3), "（范围001-999，比如1班请输入001，11班请输入011）");
    auto c = CheckClassCode("00", 2);
    EXPECT_TRUE(c.refused);
    EXPECT_EQ(c.message, "请注意范围！");
    EXPECT_EQ(c.replacement, "01");
    EXPECT_EQ(CheckClassCode("000", 3).replacement, "001");
    EXPECT_FALSE(CheckClassCode("07", 2).refused);
    EXPECT_FALSE(CheckClassCode("0", 2).refused);  // not complete yet
}

TEST(RosterRules, NewAdmissionNumbers)
{
    using roster_rules::NewAdmissionNumber;
    EXPECT_EQ(NewAdmissionNumber("2024103", 5, 9), "202410305");
    EXPECT_EQ(NewAdmissionNumber("", 42, 9), "000000042");
    EXPECT_EQ(NewAdmissionNumber("2024103", 123, 9), "2024103123");  // no padding when n is long enough
}

TEST(RosterRules, StudentListCheck)
{
    using namespace roster_rules;
    using Outcome = StudentListCheck::Outcome;
    std::vector<StudentRow> rows;
    for (int i = 0; i < 8; ++i)
        rows.push_back({"20240100" + std::to_string(i), i < 4 ? "" : "某"});
    auto half = CheckStudentList(rows, 9);  // 4 of 8 missing: the error case
    EXPECT_EQ(half.outcome, Outcome::Fail);
    EXPECT_EQ(half.message, "请输入准考证号对应的学生姓名，以便阅卷时立即核对学生姓名和准卡证号是否对应。");
    EXPECT_TRUE(half.focusGrid);

    rows[3].name = "丁";  // 3 of 8: asks
    auto ask = CheckStudentList(rows, 9);
    EXPECT_EQ(ask.outcome, Outcome::AskOkCancel);
    EXPECT_EQ(ask.message.rfind("以下准考证号的学生姓名未输入：202401000 202401001 202401002 建议输入", 0), 0u);

    rows[5].admissionNumber = "12345";
    auto len = CheckStudentList(rows, 9);
    EXPECT_EQ(len.outcome, Outcome::Fail);
    EXPECT_EQ(len.row, 5);
    EXPECT_EQ(len.message, "（学生：某）输入的准考证长度和设置的准考证长度不符合！");

    EXPECT_EQ(CheckStudentList({{"123456789", "甲"}}, 9).outcome, Outcome::Pass);
}

TEST(RosterRules, GradeTableCheck)
{
    using namespace roster_rules;
    auto none = CheckGradeTable({}, 5);
    EXPECT_TRUE(none.switchGradesOff);
    EXPECT_EQ(none.message, "如果选中启用年级，至少要设置一个有效年级信息才可以。");

    auto shortCode = CheckGradeTable({{"高一", "20241"}, {"高二", "2024"}}, 5);
    EXPECT_EQ(shortCode.message, "输入的年级编码的长度和设置的年级编码长度不符！");
    EXPECT_EQ(shortCode.row, 1);

    auto dupName = CheckGradeTable({{"高一", "20241"}, {"高二", "20242"}, {"高一", "20243"}}, 5);
    EXPECT_EQ(dupName.message, "年级名称不能重复！");
    EXPECT_EQ(dupName.row, 2);
    EXPECT_EQ(dupName.cell, GradeTableCheck::Cell::Name);

    auto dupCode = CheckGradeTable({{"高一", "20241"}, {"高二", "20241"}}, 5);
    EXPECT_EQ(dupCode.message, "年级编码不能重复！");
    EXPECT_EQ(dupCode.row, 1);
    EXPECT_TRUE(CheckGradeTable({{"高一", "20241"}, {"高二", "20242"}}, 5).ok);
}

TEST(RosterRules, LengthEntries)
{
    using namespace roster_rules;
    for (const char* bad : {"0", "11"}) {
        auto r = CheckGradeCodeLength(bad);
        EXPECT_EQ(r.message, "年级编码长度范围为1-10之间！");
        EXPECT_EQ(r.resetTo, 5);
    }
    EXPECT_TRUE(CheckGradeCodeLength("").keepFocus);
    for (const char* bad : {"1", "21"}) {
        auto r = CheckAdmissionLength(bad);
        EXPECT_EQ(r.message, "准考证长度范围为2-20之间！");
        EXPECT_EQ(r.resetTo, 9);
    }
    EXPECT_EQ(CheckAdmissionLength("").message, "准考证长度不能空！");
    EXPECT_EQ(CheckClassCodeLength("").message, "班级编码长度不能空！");
    EXPECT_TRUE(CheckAdmissionLength("20").ok);
    EXPECT_EQ(CheckTypedGradeCode({{"a", "11111"}, {"b", "11111"}}, 1), "年级编码不能重复！");
    EXPECT_TRUE(NameFitsMessage("欧阳修文").has_value() == false);
    EXPECT_TRUE(NameFitsMessage("一二三四五六七八九十").has_value());  // 20 bytes
}
