#include <gtest/gtest.h>

#include <cstring>

#include "ExamTestSupport.h"
#include "exam/ExamSetup.h"

using namespace exam_test;
namespace col = exam_columns;

namespace {

class ExamPageCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        t = MakeTemplate();
        exam.Clear();
    }
    ExamPageCheck Check(const ExamPageContent& page) { return CheckExamPage(t, page, exam); }
    // The record must be byte for byte what it was before a failing check.
    ExamPageCheck CheckFails(const ExamPageContent& page)
    {
        ExamSetup before = exam;
        ExamPageCheck r = Check(page);
        EXPECT_FALSE(r.passed);
        EXPECT_EQ(std::memcmp(&before, &exam, sizeof exam), 0) << "a failing check changed the record";
        return r;
    }

    CardTemplate t;
    ExamSetup exam;
};

TEST_F(ExamPageCheckTest, ThreeGroupsWriteTheRecordAndTheQuestionTable)
{
    auto r = Check(MakePage({{"1", "10", "1", "单选题"}, {"11", "20", "1.5", "单选题"}, {"21", "40", "2", "多选题"}}));
    ASSERT_TRUE(r.passed) << r.message;
    EXPECT_EQ(exam.questionCount, 40);
    EXPECT_EQ(exam.groupCount, 3);
    EXPECT_EQ(exam.ruleCount, 0);
    EXPECT_EQ(exam.cardName.Utf8(), "DY标准85题自动AB卷.dat");
    EXPECT_EQ(exam.examName.Utf8(), "期中考试");
    EXPECT_EQ(exam.subjectCode.View(), "02");
    EXPECT_EQ(exam.subjectName.Utf8(), "数学");
    EXPECT_EQ(exam.hasSubjectiveScore, 1);
    EXPECT_EQ(exam.groups[1].firstQuestion, 11);
    EXPECT_EQ(exam.groups[1].lastQuestion, 20);
    EXPECT_EQ(exam.groups[1].score, 1.5f);
    EXPECT_EQ(exam.groups[2].kind, 1);
    EXPECT_EQ(exam.questions[0].score, 1.0f);
    EXPECT_EQ(exam.questions[10].score, 1.5f);
    EXPECT_EQ(exam.questions[39].score, 2.0f);
    EXPECT_EQ(exam.questions[39].kind, 1);
    EXPECT_EQ(exam.questions[40].score, 0.0f);
}

TEST_F(ExamPageCheckTest, GroupsMustBeContiguousWithoutOverlap)
{
    auto gap = CheckFails(MakePage({{"1", "10", "1", "单选题"}, {"12", "20", "1", "单选题"}}));
    EXPECT_EQ(gap.message, "题分设置中，大题之间题号不连续！中间没有用到的题号也要添加一个大题,并将分值设置为零");
    EXPECT_EQ(gap.focus, ExamPageControl::ScoreTable);
    EXPECT_EQ(gap.row, 2);
    EXPECT_EQ(gap.column, col::First);

    auto overlap = CheckFails(MakePage({{"1", "10", "1", "单选题"}, {"10", "20", "1", "单选题"}}));
    EXPECT_EQ(overlap.message, "题分设置中，大题之间题号不能交叉重复设置！");
    EXPECT_EQ(overlap.row, 2);
    EXPECT_EQ(overlap.column, col::First);
}

TEST_F(ExamPageCheckTest, RowChecksInOrderWithTheirCells)
{
    auto empty = CheckFails(MakePage({{"1", "", "1", "单选题"}}));
    EXPECT_EQ(empty.message, "不能有空项。");
    EXPECT_EQ(empty.column, col::Last);
    EXPECT_TRUE(empty.openEditor);
    auto emptyKind = CheckFails(MakePage({{"1", "5", "1", ""}}));
    EXPECT_EQ(emptyKind.column, col::Kind);
    EXPECT_FALSE(emptyKind.openEditor);  // the type cell has a drop-down list, not an editor

    EXPECT_EQ(CheckFails(MakePage({{"8", "5", "1", "单选题"}})).message, "题分设置里起始题号不能大于终止题号。");
    auto beyond = CheckFails(MakePage({{"1", "86", "1", "单选题"}}));
    EXPECT_EQ(beyond.message, "终止题号不能大于总题目数。");
    EXPECT_EQ(beyond.column, col::Last);
    auto zero = CheckFails(MakePage({{"0", "5", "1", "单选题"}}));
    EXPECT_EQ(zero.message, "起始题号不能为0");
    EXPECT_TRUE(zero.openEditor);
    EXPECT_EQ(CheckFails(MakePage({{"00", "5", "1", "单选题"}})).message, "起始题号不能为0");

    EXPECT_TRUE(Check(MakePage({{"1", "5", "10", "单选题"}})).passed);
    auto tooHigh = CheckFails(MakePage({{"1", "5", "10.5", "单选题"}}));
    EXPECT_EQ(tooHigh.message, "每小题分数不能超过10分");
    EXPECT_EQ(tooHigh.column, col::Score);
    EXPECT_FALSE(CheckFails(MakePage({{"1", "5", "1.25", "单选题"}})).message.empty());
    EXPECT_FALSE(CheckFails(MakePage({{"1", "x", "1", "单选题"}})).message.empty());
    EXPECT_FALSE(CheckFails(MakePage({{"1", "5", "1", "判断题"}})).message.empty());
}

TEST_F(ExamPageCheckTest, PageLevelChecks)
{
    auto page = MakePage({{"1", "5", "1", "单选题"}});
    page.examName.clear();
    auto name = CheckFails(page);
    EXPECT_EQ(name.message, "本次考试名称不能为空。");
    EXPECT_EQ(name.focus, ExamPageControl::ExamName);

    page.examName.clear();
    for (int i = 0; i < 24; ++i)
        page.examName += "考";  // 48 GBK bytes fit
    EXPECT_TRUE(Check(page).passed);
    page.examName += "试";  // 50 do not
    EXPECT_EQ(CheckFails(page).focus, ExamPageControl::ExamName);

    // Names the raw file could not be saved under: a character GBK has no
    // code for, and a "/" in the exam's or the subject's name (the file is
    // named after both), refused before any card is marked.
    page.examName = "期中😀";
    auto unencodable = CheckFails(page);
    EXPECT_EQ(unencodable.message, "本次考试名称中有无法保存的字符。");
    EXPECT_EQ(unencodable.focus, ExamPageControl::ExamName);
    page.examName = "2024/1期中";
    auto slash = CheckFails(page);
    EXPECT_EQ(slash.message, "考试名称或科目名称中含有不能用于文件名的字符“/”，无法保存阅卷原始文件。");
    EXPECT_EQ(slash.focus, ExamPageControl::ExamName);
    page.examName = "期中";
    ASSERT_TRUE(t.Subjects[1].name.SetUtf8("数学/几何"));
    slash = CheckFails(page);
    EXPECT_EQ(slash.message, "考试名称或科目名称中含有不能用于文件名的字符“/”，无法保存阅卷原始文件。");
    EXPECT_EQ(slash.focus, ExamPageControl::Subject);
    ASSERT_TRUE(t.Subjects[1].name.SetUtf8("数学"));

    page = MakePage({{"1", "5", "1", "单选题"}});
    page.subjectIndex = -1;
    EXPECT_EQ(CheckFails(page).message, "请选择科目。");
    page.subjectIndex = 3;  // the template has three subjects
    EXPECT_EQ(CheckFails(page).message, "请选择科目。");
    page.subjectIndex = 0;
    page.subjectiveIndex = -1;
    EXPECT_EQ(CheckFails(page).message, "请选择主观分选项。");

    auto none = CheckFails(MakePage({}));
    EXPECT_EQ(none.message, "题分设置里至少要设置一项");
    EXPECT_TRUE(none.appendFirstRow);

    Rows eleven;
    for (int g = 0; g < 11; ++g)
        eleven.push_back({std::to_string(g * 5 + 1), std::to_string(g * 5 + 5), "1", "单选题"});
    auto tooMany = CheckFails(MakePage(eleven));
    EXPECT_EQ(tooMany.row, 11);
    eleven.pop_back();
    EXPECT_TRUE(Check(MakePage(eleven)).passed);
    EXPECT_EQ(exam.questionCount, 50);
}

TEST_F(ExamPageCheckTest, RuleWithPerOptionScore)
{
    auto r = Check(MakePage({{"1", "11", "2", "多选题"}}, {{"1-5,11", "0.5/"}}));
    ASSERT_TRUE(r.passed) << r.message;
    for (int q : {1, 2, 3, 4, 5, 11}) {
        EXPECT_EQ(exam.questions[q - 1].perOption, 1) << q;
        EXPECT_EQ(exam.questions[q - 1].partialScore, 0.5f) << q;
    }
    for (int q : {6, 7, 8, 9, 10}) {
        EXPECT_EQ(exam.questions[q - 1].perOption, 0) << q;
        EXPECT_EQ(exam.questions[q - 1].partialScore, 0.0f) << q;
    }
    EXPECT_EQ(exam.ruleCount, 1);
    EXPECT_EQ(exam.rules[0].questionList.View(), "1-5,11");
    EXPECT_EQ(exam.rules[0].partialScore.View(), "0.5/");
}

TEST_F(ExamPageCheckTest, ALaterRuleReplacesBothValues)
{
    auto r = Check(MakePage({{"1", "5", "4", "多选题"}}, {{"1-3", "1/"}, {"2", "2"}}));
    ASSERT_TRUE(r.passed) << r.message;
    EXPECT_EQ(exam.questions[0].perOption, 1);
    EXPECT_EQ(exam.questions[1].perOption, 0);
    EXPECT_EQ(exam.questions[1].partialScore, 2.0f);
}

TEST_F(ExamPageCheckTest, RuleRefusals)
{
    Rows groups = {{"1", "10", "0", "单选题"}, {"11", "20", "2", "多选题"}};
    auto equal = CheckFails(MakePage(groups, {{"11", "2"}}));
    EXPECT_EQ(equal.message, "多选题特殊规则设置里少选分不能大于等于该题题分，请检查！");
    EXPECT_EQ(CheckFails(MakePage(groups, {{"3", "1"}})).message, "多选题特殊规则设置里不能填入单选题题号。");
    EXPECT_EQ(CheckFails(MakePage(groups, {{"21", "1"}})).message, "多选题特殊规则设置里有题号超出总题数！");
    auto empty = CheckFails(MakePage(groups, {{"11", ""}}));
    EXPECT_EQ(empty.message, "多选题特殊规则设置里不能为空。");
    EXPECT_EQ(empty.focus, ExamPageControl::RuleTable);
    EXPECT_EQ(empty.column, col::Partial);
    EXPECT_TRUE(empty.openEditor);

    // Texts the rule fields cannot hold, and texts that are not numbers.
    EXPECT_FALSE(CheckFails(MakePage(groups, {{"11", "0.25/"}})).message.empty());
    std::string longList = "11";
    while (longList.size() < 100)
        longList += ",11";
    EXPECT_EQ(CheckFails(MakePage(groups, {{longList, "1"}})).column, col::Questions);
    // An item that is no number is quoted as typed.
    EXPECT_EQ(CheckFails(MakePage(groups, {{"一", "1"}})).message, "多选题特殊规则设置里“一”不是题号。");
    EXPECT_EQ(CheckFails(MakePage(groups, {{"11-二", "1"}})).message,
              "多选题特殊规则设置里“11-二”不是题号范围，应写成如1-5。");
    for (const char* bad : {"0", "11,,12", "11-12-13", "-3", "a"})
        EXPECT_EQ(CheckFails(MakePage(groups, {{bad, "1"}})).column, col::Questions) << bad;
    for (const char* bad : {"/", "1/2", "/1", ".", "1//"})
        EXPECT_EQ(CheckFails(MakePage(groups, {{"11", bad}})).column, col::Partial) << bad;

    Rows elevenRules(11, {"11", "1"});
    EXPECT_EQ(CheckFails(MakePage(groups, elevenRules)).row, 11);
}

TEST(ParseQuestionList, ItemsAndRanges)
{
    EXPECT_EQ(ParseQuestionList("1-5,11").numbers, (std::vector<int>{1, 2, 3, 4, 5, 11}));
    EXPECT_EQ(ParseQuestionList("11,3,1-2").numbers, (std::vector<int>{11, 3, 1, 2}));
    auto reversed = ParseQuestionList("5-3");
    EXPECT_TRUE(reversed.ok);
    EXPECT_TRUE(reversed.numbers.empty());
    EXPECT_TRUE(ParseQuestionList("").ok);
    EXPECT_TRUE(ParseQuestionList("").numbers.empty());
    EXPECT_EQ(ParseQuestionList("1-100").numbers.size(), 100u);
    for (const char* bad : {"1-101", "1-999999999", "1-60,61-101", ",", "1,", "1--2", "0-3", "3-0", "1 ,2"})
        EXPECT_FALSE(ParseQuestionList(bad).ok) << bad;
}

TEST(ShowExamPage, FillsThePageFromTheRecord)
{
    CardTemplate t = MakeTemplate();
    (void)t.Subjects[2].code.Set("02");  // two subjects with one code: the last one is selected
    ExamSetup e;
    e.Clear();
    ASSERT_TRUE(CheckExamPage(MakeTemplate(), MakePage({{"1", "10", "1.5", "单选题"}, {"11", "20", "2", "多选题"}},
                                                       {{"11-12", "0.5/"}}),
                              e)
                    .passed);
    ExamPageContent page = ShowExamPage(t, "DY.dat", e);
    EXPECT_EQ(page.examName, "期中考试");
    EXPECT_EQ(page.subjectNames, (std::vector<std::string>{"语文", "数学", "英语"}));
    EXPECT_EQ(page.subjectIndex, 2);
    EXPECT_TRUE(page.subjectiveEnabled);
    EXPECT_EQ(page.subjectiveIndex, 1);
    EXPECT_EQ(page.scoreRows, (Rows{{"1", "10", "1.5", "单选题"}, {"11", "20", "2", "多选题"}}));
    EXPECT_EQ(page.ruleRows, (Rows{{"11-12", "0.5/"}}));

    ExamPageContent noArea = ShowExamPage(MakeTemplate(85, false), "DY.dat", e);
    EXPECT_FALSE(noArea.subjectiveEnabled);
    EXPECT_EQ(noArea.subjectiveIndex, 0);

    // Whatever the page says, a card without the area never gets the option.
    ExamPageContent withOption = MakePage({{"1", "5", "1", "单选题"}});
    ASSERT_TRUE(CheckExamPage(MakeTemplate(85, false), withOption, e).passed);
    EXPECT_EQ(e.hasSubjectiveScore, 0);
}

} // namespace
