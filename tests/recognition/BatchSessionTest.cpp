// scorivo-cli session new: the marking raw file it writes, and its refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "marking/RawFile.h"
#include "platform/Files.h"
#include "recognition/BatchCli.h"
#include "students/StudentFile.h"

namespace {

using namespace batch_test;

TEST(BatchSession, NewWritesExamAndRosterWithEmptyStore)
{
    TempDir dir;
    const std::string out = files::ToUtf8(dir / "期中.yj");
    CliRun run = RunCli("session new --out " + Quote(out) + " --template DY标准85题自动AB卷.dat --roster " +
                        Quote(ShippedRosterFile()) +
                        " --exam-name 期中考试 --subject 02 --subjective --groups 1-10:2:S,11-20:3:M,21-85:1:S"
                        " --rules '11-13,15:0.5/;16-20:1'");
    ASSERT_EQ(run.status, 0) << run.errors;
    auto bytes = files::ReadAll(files::FromUtf8(out));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), raw_file::FileSize(0));

    auto state = NewMarkingSessionState();
    std::string message;
    ASSERT_TRUE(DecodeMarkingFile(*bytes, *state, message)) << message;
    const ExamSetup& e = state->exam;
    EXPECT_EQ(e.cardName.Utf8(), "DY标准85题自动AB卷.dat");
    EXPECT_EQ(e.examName.Utf8(), "期中考试");
    EXPECT_EQ(e.subjectCode.View(), "02");
    EXPECT_EQ(e.hasSubjectiveScore, 1);
    ASSERT_EQ(e.groupCount, 3);
    EXPECT_EQ(e.groups[1].firstQuestion, 11);
    EXPECT_EQ(e.groups[1].kind, 1);
    EXPECT_EQ(e.groups[1].score, 3.0f);
    ASSERT_EQ(e.ruleCount, 2);
    EXPECT_EQ(e.rules[0].questionList.View(), "11-13,15");
    EXPECT_EQ(e.rules[0].partialScore.View(), "0.5/");
    EXPECT_EQ(e.rules[1].questionList.View(), "16-20");
    EXPECT_EQ(e.questionCount, 85);
    EXPECT_EQ(e.questions[12].perOption, 1);
    EXPECT_EQ(e.questions[13].partialScore, 0.0f);  // 14 is in no rule
    EXPECT_EQ(state->session.recordCount, 0);

    auto roster = std::make_unique<StudentRoster>();
    ASSERT_TRUE(ReadStudentFile(files::FromUtf8(ShippedRosterFile()), *roster, &message)) << message;
    EXPECT_EQ(std::memcmp(roster.get(), &state->roster, sizeof *roster), 0);
}

TEST(BatchSession, FailedExamCheckWritesNothing)
{
    TempDir dir;
    const std::string out = files::ToUtf8(dir / "x.yj");
    const std::string common = "session new --out " + Quote(out) + " --template DY标准85题自动AB卷.dat --roster " +
                               Quote(ShippedRosterFile()) + " --exam-name 期中 --subject 02";
    CliRun gap = RunCli(common + " --groups 1-10:1:S,12-20:1:S");
    EXPECT_EQ(gap.status, 1);
    EXPECT_EQ(gap.errors,
              "题分设置中，大题之间题号不连续！中间没有用到的题号也要添加一个大题,并将分值设置为零\n");
    CliRun tooMany = RunCli(common + " --groups 1-86:1:S");
    EXPECT_EQ(tooMany.status, 1);
    EXPECT_EQ(tooMany.errors, "终止题号不能大于总题目数。\n");
    CliRun slash = RunCli("session new --out " + Quote(out) + " --template DY标准85题自动AB卷.dat --roster " +
                          Quote(ShippedRosterFile()) + " --exam-name 2024/1期中 --subject 02 --groups 1-85:1:S");
    EXPECT_EQ(slash.status, 1);
    EXPECT_EQ(slash.errors, "考试名称或科目名称中含有不能用于文件名的字符“/”，无法保存阅卷原始文件。\n");
    ASSERT_TRUE(files::WriteAll(dir / "bad.xs", std::string(100, '\x7f')));
    CliRun roster = RunCli("session new --out " + Quote(out) + " --template DY标准85题自动AB卷.dat --roster " +
                           Quote(files::ToUtf8(dir / "bad.xs")) + " --exam-name 期中 --subject 02 --groups 1-85:1:S");
    EXPECT_EQ(roster.status, 1);
    EXPECT_EQ(roster.errors, "学生信息文件已损坏（文件太短）：bad.xs\n");
    CliRun rule = RunCli(common + " --groups 1-10:1:M --rules 1-5:x");
    EXPECT_EQ(rule.status, 1);
    EXPECT_EQ(rule.errors, "多选题特殊规则设置里少选分只能是数字，或数字后加“/”（如0.5/）。\n");
    CliRun noTemplate = RunCli("session new --out " + Quote(out) + " --template 没有.dat --roster " +
                               Quote(ShippedRosterFile()) + " --exam-name 期中 --subject 02 --groups 1-10:1:S");
    EXPECT_EQ(noTemplate.status, 1);
    EXPECT_EQ(noTemplate.errors, "未发现模板文件：没有.dat\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.yj"));
    EXPECT_EQ(RunCli("session new --out " + Quote(out)).status, 2);
}

// A roster whose admission length the student page would not take (0 reads
// every card as the standard answer) is refused where it is read: by
// `session new`, and by `mark` when the raw file carries it; a length the
// card has no columns for is refused against the card.
TEST(BatchSession, AnAdmissionLengthThePageWouldNotTakeIsRefused)
{
    TempDir dir;
    const std::string roster = *files::ReadAll(files::FromUtf8(ShippedRosterFile()));
    auto withLength = [&](const std::string& name, int32_t length) {
        std::string b = roster;
        std::memcpy(b.data() + 3130, &length, 4);
        EXPECT_TRUE(files::WriteAll(dir / name, b));
        return Quote(files::ToUtf8(dir / name));
    };
    const std::string out = files::ToUtf8(dir / "x.yj");
    auto sessionNew = [&](const std::string& rosterArg) {
        return RunCli("session new --out " + Quote(out) + " --template DY标准85题自动AB卷.dat --roster " + rosterArg +
                      " --exam-name 期中 --subject 02 --groups 1-85:1:S");
    };
    CliRun zero = sessionNew(withLength("zero.xs", 0));
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.errors, "学生信息文件已损坏（准考证长度为0，准考证长度范围为2-20之间！）：zero.xs\n");
    CliRun long21 = sessionNew(withLength("long.xs", 21));
    EXPECT_EQ(long21.status, 1);
    EXPECT_EQ(long21.errors, "学生信息文件已损坏（准考证长度为21，准考证长度范围为2-20之间！）：long.xs\n");
    CliRun overCard = sessionNew(withLength("twelve.xs", 12));
    EXPECT_EQ(overCard.status, 1);
    EXPECT_EQ(overCard.errors, "学生信息的准考证长度（12）超过答题卡的准考证号列数（10），"
                               "这种答题卡读不出这么长的准考证号。\n");
    EXPECT_FALSE(std::filesystem::exists(files::FromUtf8(out)));

    // A raw file made elsewhere with such a roster: `mark` refuses it before any card.
    ASSERT_EQ(sessionNew(Quote(ShippedRosterFile())).status, 0);
    const std::string good = *files::ReadAll(files::FromUtf8(out));
    for (auto [length, message] : {std::pair<int32_t, std::string>{0, "学生信息有误：准考证长度为0，准考证长度范围为2-20之间！"},
                                   {12, "学生信息的准考证长度（12）超过答题卡的准考证号列数（10），"
                                        "这种答题卡读不出这么长的准考证号。"}}) {
        std::string b = good;
        std::memcpy(b.data() + offsetof(StudentRoster, admissionLength), &length, 4);
        ASSERT_TRUE(files::WriteAll(files::FromUtf8(out), b));
        CliRun mark = RunCli("mark --session " + Quote(out) + " nothing.png");
        EXPECT_EQ(mark.status, 1);
        EXPECT_NE(mark.errors.find(message), std::string::npos) << mark.errors;
        EXPECT_EQ(*files::ReadAll(files::FromUtf8(out)), b);
    }
}

} // namespace
