// Statistics: the figures against plain loops over the known session, the
// checks and their messages, and the workbook with its sheets and charts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ResultsTestSupport.h"
#include "platform/ScriptedPromptsCore.h"
#include "results/Spreadsheet.h"
#include "results/Statistics.h"
#include "support/TempDir.h"

using namespace results_test;

namespace {

using Class = GradeClassChoice::Class;

class StatisticsTest : public ::testing::Test {
protected:
    KnownSession k = MakeKnownSession();
    const StudentRoster& roster = k.state->roster;
    const ExamSetup& exam = k.state->exam;
    const MarkingSession& session = k.state->session;

    // The marked students of grade 高一, roster order, found by a plain scan.
    std::vector<std::pair<int, const MarkingRecord*>> Marked(const char* onlyClass = nullptr) const
    {
        std::vector<std::pair<int, const MarkingRecord*>> out;
        for (int s = 0; s < roster.studentCount; ++s) {
            if (roster.students[s].gradeCode.View() != "10001")
                continue;
            if (onlyClass && roster.students[s].classCode.View() != onlyClass)
                continue;
            for (int r = 1; r < session.recordCount; ++r)
                if (session.records[r].admissionNumber.View() == roster.students[s].admissionNumber.View()) {
                    out.push_back({s, &session.records[r]});
                    break;
                }
        }
        return out;
    }
};

TEST_F(StatisticsTest, SummaryFiguresMatchPlainComputation)
{
    StatisticsOptions o;
    o.average = true;
    o.fullScore = 100;
    std::vector<int> seen;
    StatisticsModel m = ComputeStatistics(roster, exam, session, {0, Class::All, {}}, o,
                                          [&](int p) { seen.push_back(p); });
    auto marked = Marked();
    ASSERT_GE(marked.size(), 35u);
    EXPECT_EQ(m.students, 45);
    EXPECT_EQ(m.marked, static_cast<int>(marked.size()));
    EXPECT_EQ(m.absent, 45 - static_cast<int>(marked.size()));

    // Mean, median, standard deviation, extremes of the total.
    double sum = 0, hi = -1e9, lo = 1e9;
    std::vector<double> totals;
    for (auto& [s, r] : marked) {
        sum += r->totalScore;
        hi = std::max(hi, double(r->totalScore));
        lo = std::min(lo, double(r->totalScore));
        totals.push_back(r->totalScore);
    }
    const double mean = sum / marked.size();
    double sq = 0;
    for (double t : totals)
        sq += (t - mean) * (t - mean);
    std::sort(totals.begin(), totals.end());
    const std::size_t n = totals.size();
    const double median = n % 2 ? totals[n / 2] : (totals[n / 2 - 1] + totals[n / 2]) / 2;
    EXPECT_NEAR(m.total.mean, mean, 1e-9);
    EXPECT_NEAR(m.total.median, median, 1e-9);
    EXPECT_NEAR(m.total.standardDeviation, std::sqrt(sq / n), 1e-9);
    EXPECT_EQ(m.total.highest, hi);
    EXPECT_EQ(m.total.lowest, lo);

    double subjectiveSum = 0, choiceSum = 0;
    for (auto& [s, r] : marked) {
        subjectiveSum += r->subjectiveScore;
        choiceSum += r->choiceScore;
    }
    EXPECT_NEAR(m.subjective.mean, subjectiveSum / n, 1e-9);
    EXPECT_NEAR(m.choice.mean, choiceSum / n, 1e-9);

    // Pass and excellent rates at 60 and 85 of 100; choice against its 50.
    int pass = 0, excellent = 0, choicePass = 0, choiceExcellent = 0;
    for (auto& [s, r] : marked) {
        pass += r->totalScore >= 60;
        excellent += r->totalScore >= 85;
        choicePass += r->choiceScore >= 30;
        choiceExcellent += r->choiceScore >= 42.5;
    }
    EXPECT_EQ(m.choiceFullScore, 50);
    EXPECT_NEAR(m.passRate, double(pass) / n, 1e-12);
    EXPECT_NEAR(m.excellentRate, double(excellent) / n, 1e-12);
    EXPECT_NEAR(m.choicePassRate, double(choicePass) / n, 1e-12);
    EXPECT_NEAR(m.choiceExcellentRate, double(choiceExcellent) / n, 1e-12);
    EXPECT_GT(pass, 0);
    EXPECT_LT(pass, static_cast<int>(n));

    // Histogram: ten bins of 10 points over 0..100, the last one closed.
    ASSERT_EQ(m.histogram.size(), 10u);
    EXPECT_EQ(m.histogram[0].label, "0-10");
    EXPECT_EQ(m.histogram[9].label, "90-100");
    for (int b = 0; b < 10; ++b) {
        int count = 0;
        for (double t : totals)
            count += (t >= b * 10 && t < (b + 1) * 10) || (b == 9 && t == 100);
        EXPECT_EQ(m.histogram[b].count, count) << "bin " << b;
    }

    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_LE(*std::max_element(seen.begin(), seen.end()), 100);
}

TEST_F(StatisticsTest, WithASubjectiveScoreTheTotalRatesNeedTheFullScore)
{
    StatisticsOptions o;
    o.average = true;
    StatisticsModel m = ComputeStatistics(roster, exam, session, {0, Class::All, {}}, o);
    EXPECT_EQ(m.fullScore, 0);
    EXPECT_EQ(m.passRate, -1);
    EXPECT_EQ(m.excellentRate, -1);
    // The bins then reach the highest total rounded up to ten.
    const int top = static_cast<int>(std::ceil(m.total.highest / 10)) * 10;
    ASSERT_EQ(m.histogram.size(), 10u);
    EXPECT_EQ(m.histogram[9].label, std::to_string(top * 9 / 10) + "-" + std::to_string(top));
    int counted = 0;
    for (const HistogramBin& b : m.histogram)
        counted += b.count;
    EXPECT_EQ(counted, m.marked);

    // A full score of 75 gives bins of 7.5.
    o.fullScore = 75;
    StatisticsModel seventyFive = ComputeStatistics(roster, exam, session, {0, Class::All, {}}, o);
    EXPECT_EQ(seventyFive.histogram[0].label, "0-7.5");
    EXPECT_EQ(seventyFive.histogram[9].label, "67.5-75");
}

TEST_F(StatisticsTest, ItemAnalysisAndGroupRates)
{
    StatisticsOptions o;
    o.questionRates = true;
    o.groupRates = true;
    StatisticsModel m = ComputeStatistics(roster, exam, session, {0, Class::All, {}}, o);
    auto marked = Marked();
    const double n = static_cast<double>(marked.size());
    ASSERT_EQ(m.questions.size(), 25u);
    EXPECT_EQ(m.optionCount, 4);
    for (int q = 0; q < 25; ++q) {
        const QuestionStatistics& qs = m.questions[q];
        SCOPED_TRACE("question " + std::to_string(q + 1));
        EXPECT_EQ(qs.key, KeyOf(q));
        double sum = 0;
        int correct = 0, blank = 0;
        int letters[4] = {};
        for (auto& [s, r] : marked) {
            const QuestionResult& a = r->questionResults[q];
            sum += a.score;
            correct += a.status == '0';
            std::string answer(a.answer.View());
            blank += answer.empty();
            for (char c : answer)
                letters[c - 'A']++;
        }
        EXPECT_NEAR(qs.meanScore, sum / n, 1e-9);
        const double full = q < 10 ? 2 : q < 20 ? 3 : 0;
        EXPECT_EQ(qs.fullScore, full);
        EXPECT_NEAR(qs.scoreRate, full > 0 ? sum / n / full : 0, 1e-9);
        EXPECT_EQ(qs.correct, correct);
        EXPECT_EQ(qs.blank, blank);
        EXPECT_EQ(qs.correct + qs.extra + qs.missing + qs.wrong, static_cast<int>(n));
        for (int l = 0; l < 4; ++l)
            EXPECT_NEAR(qs.optionShares[l], letters[l] / n, 1e-12);
    }
    // Groups with a score: 1-10 and 11-20 only.
    ASSERT_EQ(m.groups.size(), 2u);
    EXPECT_EQ(m.groups[1].header, "11到20题");
    EXPECT_EQ(m.groups[1].fullScore, 30);
    double g1 = 0;
    for (auto& [s, r] : marked)
        for (int q = 10; q < 20; ++q)
            g1 += r->questionResults[q].score;
    EXPECT_NEAR(m.groups[1].scoreRate, g1 / n / 30, 1e-9);
}

TEST_F(StatisticsTest, NameListsAndClassComparison)
{
    StatisticsOptions o;
    o.average = true;
    o.fullScore = 100;
    o.wrongList = true;
    o.wrongRange = "1-3,12,2";
    o.rightList = true;
    o.rightRange = "5";
    StatisticsModel m = ComputeStatistics(roster, exam, session, {0, Class::All, {}}, o);
    auto marked = Marked();
    ASSERT_EQ(m.wrongNames.size(), 4u);  // 1, 2, 3, 12: the repeated 2 once
    EXPECT_EQ(m.wrongNames[3].question, 12);
    for (const NameList& list : m.wrongNames) {
        std::vector<std::string> expected;
        for (auto& [s, r] : marked)
            if (r->questionResults[list.question - 1].status != '0')
                expected.push_back(roster.students[s].name.Utf8());
        EXPECT_EQ(list.names, expected) << "question " << list.question;
    }
    ASSERT_EQ(m.rightNames.size(), 1u);
    std::size_t right = 0;
    for (auto& [s, r] : marked)
        right += r->questionResults[4].status == '0';
    EXPECT_EQ(m.rightNames[0].names.size(), right);
    EXPECT_EQ(m.wrongNames[0].names.size() + [&] {
        std::size_t c = 0;
        for (auto& [s, r] : marked)
            c += r->questionResults[0].status == '0';
        return c;
    }(), marked.size());

    ASSERT_EQ(m.classes.size(), 3u);
    const char* codes[] = {"01", "02", "03"};
    for (int c = 0; c < 3; ++c) {
        auto inClass = Marked(codes[c]);
        double sum = 0;
        for (auto& [s, r] : inClass)
            sum += r->totalScore;
        EXPECT_EQ(m.classes[c].classCode, codes[c]);
        EXPECT_EQ(m.classes[c].students, 15);
        EXPECT_EQ(m.classes[c].marked, static_cast<int>(inClass.size()));
        EXPECT_NEAR(m.classes[c].total.mean, sum / inClass.size(), 1e-9);
    }
    // One class chosen: no comparison.
    EXPECT_TRUE(ComputeStatistics(roster, exam, session, {0, Class::One, "02"}, o).classes.empty());
}

TEST_F(StatisticsTest, ChecksGiveClearMessages)
{
    StatisticsOptions none;
    StatisticsOptions wrong;
    wrong.wrongList = true;
    EXPECT_EQ(CheckStatistics(roster, exam, {-1, Class::All, {}}, none), "请选择要统计的年级！");
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::NotChosen, {}}, none), "请选择要统计的班级！");
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, none), "请至少选择一个统计项目！");
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong), "请输入统计小题做错名单的小题范围！");
    wrong.wrongRange = "1-5,26";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
              "统计小题做错名单的小题范围里有题号超出总题数（25）！");
    wrong.wrongRange = "1,,3";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
              "统计小题做错名单的小题范围里题号之间不能有空项。");
    wrong.wrongRange = "1-2-3";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
              "统计小题做错名单的小题范围里“1-2-3”不是题号范围，应写成如1-5。");
    wrong.wrongRange = "0";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong), "统计小题做错名单的小题范围里题号不能为0。");
    // A reversed range is said, not dropped (alone it gave "没有题号", among
    // others it left its questions out without a word); a number too long
    // for a question number is too large, not malformed.
    wrong.wrongRange = "5-3";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
              "统计小题做错名单的小题范围里“5-3”的起始题号大于终止题号，应写成如3-5。");
    wrong.wrongRange = "1-3,12-6";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
              "统计小题做错名单的小题范围里“12-6”的起始题号大于终止题号，应写成如6-12。");
    for (const char* range : {"1-2000000000", "99999999999999999999999"}) {
        wrong.wrongRange = range;
        EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
                  "统计小题做错名单的小题范围里有题号超出总题数（25）！")
            << range;
    }
    // Pasted with the full-width comma or dash an input method types.
    for (const char* range : {"1-5，11", "1－5", "１-5"}) {
        wrong.wrongRange = range;
        EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong),
                  std::string("统计小题做错名单的小题范围里“") + range +
                      "”有全角符号或汉字，请用英文输入状态下的半角逗号“,”和“-”，如1-5,11。");
    }
    wrong.wrongRange = "1-5,11";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, wrong), "");
    StatisticsOptions right;
    right.rightList = true;
    right.rightRange = "x";
    EXPECT_EQ(CheckStatistics(roster, exam, {0, Class::All, {}}, right), "统计小题做对名单的小题范围里“x”不是题号。");

    RangeParse p = ParseStatisticsRange("1-5,11,3-3,7", 25, "范围");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.numbers, (std::vector<int>{1, 2, 3, 4, 5, 11, 3, 7}));
}

TEST_F(StatisticsTest, WorkbookHasTheTickedSheetsAndCharts)
{
    StatisticsOptions o;
    o.average = true;
    o.questionRates = true;
    o.groupRates = true;
    o.wrongList = true;
    o.wrongRange = "1-3";
    o.rightList = true;
    o.rightRange = "4";
    o.fullScore = 100;
    StatisticsModel m = ComputeStatistics(roster, exam, session, {0, Class::All, {}}, o);
    sheet::Workbook book;
    BuildStatisticsWorkbook(book, m, o);
    TempDir dir;
    const auto file = dir / "stats.xlsx";
    std::string error;
    ASSERT_TRUE(book.SaveAs(file, &error)) << error;

    const std::string workbook = Unzip(file, "xl/workbook.xml");
    std::vector<std::string> names;
    for (std::size_t at = 0; (at = workbook.find("<sheet name=\"", at)) != std::string::npos;) {
        at += 13;
        names.push_back(workbook.substr(at, workbook.find('"', at) - at));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"成绩汇总", "班级对比", "小题分析", "大题得分率", "做错名单",
                                               "做对名单"}));
    const std::string list = UnzipList(file);
    EXPECT_NE(list.find("xl/charts/chart1.xml"), std::string::npos);
    EXPECT_NE(list.find("xl/charts/chart2.xml"), std::string::npos);
    EXPECT_NE(list.find("xl/charts/chart3.xml"), std::string::npos);
    EXPECT_NE(list.find("xl/drawings/_rels/drawing1.xml.rels"), std::string::npos);
    EXPECT_NE(list.find("xl/worksheets/_rels/sheet1.xml.rels"), std::string::npos);
    EXPECT_NE(Unzip(file, "xl/charts/chart1.xml").find("<c:barChart>"), std::string::npos);

    // The summary's figures as written.
    const std::string xml = Unzip(file, "xl/worksheets/sheet1.xml");
    const auto strings = SharedStrings(Unzip(file, "xl/sharedStrings.xml"));
    EXPECT_EQ(CellOf(xml, strings, "A8").value, "平均分");
    EXPECT_NEAR(std::stod(CellOf(xml, strings, "B8").value), m.total.mean, 1e-9);
    EXPECT_EQ(std::stoi(CellOf(xml, strings, "B4").value), m.marked);
    // The wrong-answer sheet names the students of question 1.
    const std::string wrongXml = Unzip(file, "xl/worksheets/sheet5.xml");
    std::string names1;
    for (const std::string& s : m.wrongNames[0].names)
        names1 += (names1.empty() ? "" : "、") + s;
    EXPECT_EQ(CellOf(wrongXml, strings, "D4").value, names1);
    EXPECT_EQ(CellOf(wrongXml, strings, "B4").value, "A");

    // Only the ticked option's sheet.
    StatisticsOptions groupsOnly;
    groupsOnly.groupRates = true;
    sheet::Workbook small;
    BuildStatisticsWorkbook(small, ComputeStatistics(roster, exam, session, {0, Class::All, {}}, groupsOnly),
                            groupsOnly);
    ASSERT_EQ(small.SheetCount(), 1u);
    EXPECT_EQ(small.Sheet(0).Name(), "大题得分率");
    EXPECT_TRUE(small.Sheet(0).Charts().empty());
}

TEST(StatisticsEmpty, NoMarkedStudentsGiveZerosNotNaN)
{
    KnownSession k = MakeKnownSession(2);
    k.state->session.recordCount = 1;  // the standard answer only
    StatisticsOptions o;
    o.average = o.questionRates = o.groupRates = true;
    StatisticsModel m = ComputeStatistics(k.state->roster, k.state->exam, k.state->session, {0, Class::All, {}}, o);
    EXPECT_EQ(m.marked, 0);
    EXPECT_EQ(m.absent, 6);
    EXPECT_EQ(m.total.mean, 0);
    for (const QuestionStatistics& q : m.questions) {
        EXPECT_FALSE(std::isnan(q.scoreRate));
        EXPECT_FALSE(std::isnan(q.optionShares[0]));
    }
    sheet::Workbook book;
    BuildStatisticsWorkbook(book, m, o);
    TempDir dir;
    EXPECT_TRUE(book.SaveAs(dir / "empty.xlsx"));
}

} // namespace

namespace {

TEST(StatisticsOutput, SavedInTheOutputFolderAndOpenedOrWhereItWasSaid)
{
    KnownSession k = MakeKnownSession(4);
    StatisticsOptions o;
    o.average = true;
    StatisticsModel m = ComputeStatistics(k.state->roster, k.state->exam, k.state->session,
                                          {0, GradeClassChoice::Class::All, {}}, o);
    TempDir dir;
    FakeDesktop desktop;
    ScriptedPromptsCore prompts;
    constexpr std::time_t t = 1'800'000'000;
    StatisticsOutputResult r = OutputStatistics(m, o, dir.path(), desktop, prompts, [] { return t; });
    ASSERT_TRUE(r.written);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(files::ToUtf8(r.file.parent_path().filename()), "成绩输出");
    EXPECT_EQ(files::ToUtf8(r.file.filename()).rfind("期中考试数学统计-", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(r.file));
    EXPECT_TRUE(desktop.opened.empty());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text.find(files::ToUtf8(r.file)), std::string::npos);

    desktop.canOpen = desktop.spreadsheetOpens = true;
    prompts.shown.clear();
    StatisticsOutputResult shown = OutputStatistics(m, o, dir.path(), desktop, prompts, [] { return t + 1; });
    EXPECT_TRUE(shown.opened);
    EXPECT_EQ(desktop.opened.size(), 1u);
    EXPECT_TRUE(prompts.shown.empty());
}

} // namespace
