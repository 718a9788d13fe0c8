// Score output: the filter, the row orders, the item values, the unmarked
// list, the CSV bytes and the workbook read back from the written .xlsx.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "ResultsTestSupport.h"
#include "platform/NumberFormat.h"
#include "platform/ScriptedPromptsCore.h"
#include "results/Desktop.h"
#include "results/ScoreOutput.h"
#include "results/Spreadsheet.h"
#include "support/TempDir.h"

using namespace results_test;

namespace {

using Class = GradeClassChoice::Class;

std::vector<std::string> CsvLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string Field(const std::string& line, int index)
{
    std::size_t start = 0;
    for (int i = 0; i < index; ++i)
        start = line.find(',', start) + 1;
    return line.substr(start, line.find(',', start) - start);
}

class ScoreOutputTest : public ::testing::Test {
protected:
    KnownSession k = MakeKnownSession();
    StudentRoster& roster = k.state->roster;
    MarkingSession& session = k.state->session;

    ScoreOutputRequest Request(std::vector<OutputItem> items, Class cls = Class::All, std::string code = {})
    {
        ScoreOutputRequest r;
        r.roster = &roster;
        r.exam = &k.state->exam;
        r.session = &session;
        r.choice.gradeIndex = 0;
        r.choice.classChoice = cls;
        r.choice.classCode = std::move(code);
        r.items = std::move(items);
        return r;
    }
    const MarkingRecord* RecordOf(int student) const
    {
        int i = session.FindRecord(roster.students[student].admissionNumber.View(), 1);
        return i < 0 ? nullptr : &session.records[i];
    }
};

TEST_F(ScoreOutputTest, FilterTakesEveryClassOfTheGradeOrOneClass)
{
    GradeClassChoice all{0, Class::All, {}};
    std::vector<int> expected(45);
    for (int i = 0; i < 45; ++i)
        expected[i] = i;
    EXPECT_EQ(FilterStudents(roster, all), expected);
    EXPECT_EQ(FilterStudents(roster, GradeClassChoice{0, Class::NotChosen, {}}), expected);

    std::vector<int> class02(15);
    for (int i = 0; i < 15; ++i)
        class02[i] = 15 + i;
    EXPECT_EQ(FilterStudents(roster, GradeClassChoice{0, Class::One, "02"}), class02);
    EXPECT_EQ(FilterStudents(roster, GradeClassChoice{1, Class::One, "01"}), (std::vector<int>{45, 46, 47, 48, 49}));
    // No grade chosen: nobody.
    EXPECT_TRUE(FilterStudents(roster, GradeClassChoice{-1, Class::All, {}}).empty());
    // Grades off: the grade choice does not matter.
    roster.gradeEnabled = 0;
    EXPECT_EQ(FilterStudents(roster, GradeClassChoice{-1, Class::One, "01"}).size(), 20u);
}

TEST_F(ScoreOutputTest, GradeAndClassListsAndTheChoiceTheyGive)
{
    EXPECT_EQ(GradeListItems(roster), (std::vector<std::string>{"高一", "高二"}));
    EXPECT_EQ(ClassListItems(roster), (std::vector<std::string>{"所有班级", "01", "02", "03"}));
    GradeClassChoice c = ChoiceFromLists(roster, 1, 3);
    EXPECT_EQ(c.gradeIndex, 1);
    EXPECT_EQ(c.classChoice, Class::One);
    EXPECT_EQ(c.classCode, "03");
    EXPECT_EQ(ChoiceFromLists(roster, 0, 0).classChoice, Class::All);
    EXPECT_EQ(ChoiceFromLists(roster, -1, -1).classChoice, Class::NotChosen);
    EXPECT_EQ(ChoiceFromLists(roster, -1, -1).gradeIndex, -1);
    EXPECT_EQ(ChoiceFromLists(roster, 2, 4).classChoice, Class::NotChosen);  // past the lists
}

TEST_F(ScoreOutputTest, ChecksBeforeOutputInTheirOrder)
{
    const std::vector<OutputItem> some = {OutputItem::Name};
    EXPECT_EQ(CheckScoreOutput(roster, {-1, Class::NotChosen, {}}, {}), "请选择年级！");
    EXPECT_EQ(CheckScoreOutput(roster, {0, Class::NotChosen, {}}, {}), "请选择班级");
    EXPECT_EQ(CheckScoreOutput(roster, {0, Class::All, {}}, {}), "请选择要输出的各个项");
    EXPECT_EQ(CheckScoreOutput(roster, {0, Class::One, "03"}, some), "");
    roster.gradeEnabled = 0;
    roster.classEnabled = 0;
    EXPECT_EQ(CheckScoreOutput(roster, {-1, Class::NotChosen, {}}, some), "");
}

TEST_F(ScoreOutputTest, HeaderLeavesOutTheGroupOfScoreZeroAndRowsFollowIt)
{
    auto request = Request({OutputItem::AdmissionNumber, OutputItem::GroupScores, OutputItem::Total});
    request.includeAbsent = false;
    EXPECT_EQ(HeaderTexts(request.items, k.state->exam),
              (std::vector<std::string>{"准考证号", "1到10题", "11到20题", "总得分"}));
    auto lines = CsvLines(ScoreCsvText(request));
    ASSERT_EQ(lines.size(), 1u + 45 - 7);  // absent students not asked for
    EXPECT_EQ(lines[0], Utf8Gbk("准考证号,1到10题,11到20题,总得分,"));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string number = Field(lines[i], 0).substr(1);
        const int student = roster.FindStudent(number);
        ASSERT_GE(student, 0) << lines[i];
        const MarkingRecord* r = RecordOf(student);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(lines[i], "'" + number + "," + FormatScore(r->groupScores[0]) + "," +
                                FormatScore(r->groupScores[1]) + "," + FormatScore(r->totalScore) + ",");
    }
}

TEST_F(ScoreOutputTest, AbsentStudentsInNumberOrderWithNumberAndNameOnly)
{
    auto request = Request({OutputItem::Name, OutputItem::Total});
    request.includeAbsent = true;
    auto lines = CsvLines(ScoreCsvText(request));
    ASSERT_EQ(lines.size(), 46u);
    // Roster order is number order here, so rows follow the roster.
    for (int i = 0; i < 45; ++i) {
        const StudentEntry& s = roster.students[i];
        const MarkingRecord* r = RecordOf(i);
        if (r)
            EXPECT_EQ(lines[i + 1], std::string(s.name.View()) + "," + FormatScore(r->totalScore) + ",");
        else
            EXPECT_EQ(lines[i + 1], "'" + std::string(s.admissionNumber.View()) + "," + std::string(s.name.View()));
    }
    request.includeAbsent = false;
    EXPECT_EQ(CsvLines(ScoreCsvText(request)).size(), 1u + 45 - k.absentStudents.size());
}

TEST_F(ScoreOutputTest, NumberOrderIsByteOrderWithRosterOrderOnTies)
{
    // Shuffle the roster's numbers so that roster order and number order differ.
    std::swap(roster.students[0], roster.students[14]);
    (void)roster.students[3].admissionNumber.Set("000001002");  // the same number as student 1
    std::vector<int> filtered = FilterStudents(roster, {0, Class::One, "01"});
    StudentOrder order(roster, session, filtered, RowOrder::ByNumber);
    std::vector<int> got;
    while (auto s = order.NextStudentInOrder())
        got.push_back(s->student);
    std::vector<int> expected = filtered;
    // Expected by the plain selection rule: repeatedly the smallest remaining, earliest on ties.
    std::vector<int> remaining = filtered;
    expected.clear();
    while (!remaining.empty()) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < remaining.size(); ++i)
            if (roster.students[remaining[i]].admissionNumber.View() <
                roster.students[remaining[best]].admissionNumber.View())
                best = i;
        expected.push_back(remaining[best]);
        remaining.erase(remaining.begin() + static_cast<long>(best));
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got[1], 1);  // the two equal numbers: roster order
    EXPECT_EQ(got[2], 3);
}

TEST_F(ScoreOutputTest, TotalOrderCountsAbsentAsZeroAndKeepsRosterOrderOnEqualTotals)
{
    std::vector<int> filtered = FilterStudents(roster, {0, Class::All, {}});
    StudentOrder order(roster, session, filtered, RowOrder::ByTotal);
    std::vector<int> got;
    while (auto s = order.NextStudentInOrder())
        got.push_back(s->student);
    ASSERT_EQ(got.size(), filtered.size());
    auto total = [&](int student) {
        const MarkingRecord* r = RecordOf(student);
        return r ? r->totalScore : 0.0f;
    };
    std::vector<int> remaining = filtered, expected;
    while (!remaining.empty()) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < remaining.size(); ++i)
            if (total(remaining[i]) > total(remaining[best]))
                best = i;
        expected.push_back(remaining[best]);
        remaining.erase(remaining.begin() + static_cast<long>(best));
    }
    EXPECT_EQ(got, expected);
    // Students 15 and 16 handed in the same card: 15 comes right before 16.
    ASSERT_EQ(total(15), total(16));
    auto at15 = std::find(got.begin(), got.end(), 15);
    ASSERT_NE(at15 + 1, got.end());
    EXPECT_EQ(*(at15 + 1), 16);
}

TEST(ScoreOutputValues, QuestionListsAndCounts)
{
    ExamSetup e;
    SetExam(e);
    MarkingRecord r{};
    for (int q = 0; q < 25; ++q)
        r.questionResults[q].status = '0';
    (void)r.questionResults[2].answer.Set("AB");
    r.questionResults[2].status = '3';
    r.questionResults[6].status = '3';  // nothing marked
    (void)r.questionResults[11].answer.Set("ABCD");
    r.questionResults[11].status = '1';
    r.questionResults[30].status = '3';  // beyond questionCount: not listed
    r.extraCount = 1;
    r.wrongCount = 2;
    EXPECT_EQ(StatusQuestionList(r, 25, '3'), "3.AB 7. ");
    EXPECT_EQ(StatusQuestionList(r, 25, '1'), "12.ABCD ");
    EXPECT_EQ(StatusQuestionList(r, 25, '2'), "");

    std::vector<ItemValue> v;
    for (OutputItem item : {OutputItem::WrongList, OutputItem::Extra, OutputItem::Missing, OutputItem::Wrong})
        AppendItemValues(item, r, e, v);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].gbk, "3.AB 7. ");
    EXPECT_FALSE(v[0].numeric);
    EXPECT_EQ(v[1].gbk, "1");
    EXPECT_EQ(v[2].gbk, "0");
    EXPECT_EQ(v[3].gbk, "2");
    EXPECT_EQ(OutputItemFromText("错选题号"), OutputItem::WrongList);
    EXPECT_FALSE(OutputItemFromText("错选题"));
    EXPECT_EQ(GroupHeader(e.groups[1]), "11到20题");
}

TEST_F(ScoreOutputTest, UnmarkedListEndsWithoutComma)
{
    UnmarkedStudents u = ListUnmarkedStudents(roster, session, {0, Class::One, "02"});
    // Class 02 is students 15..29; absent are 17, 23 and 29.
    EXPECT_EQ(u.studentCount, 15);
    EXPECT_EQ(u.unmarkedCount, 3);
    EXPECT_EQ(u.lines, (std::vector<std::string>{"学生人数：15", "未阅卷学生人数：3",
                                                 "未阅卷学生名单：学生2-3，学生2-9，学生2-15"}));
    UnmarkedStudents none = ListUnmarkedStudents(roster, session, {1, Class::All, {}});
    EXPECT_EQ(none.lines, (std::vector<std::string>{"学生人数：5", "未阅卷学生人数：0"}));
}

TEST_F(ScoreOutputTest, CsvIsGbkWithQuoteBeforeNumbersAndQuotesOnlyFieldsThatNeedIt)
{
    auto request = Request({OutputItem::AdmissionNumber, OutputItem::Name}, Class::One, "01");
    request.includeAbsent = true;
    // Plain names: no field is quoted, the file is as it always was.
    EXPECT_EQ(ScoreCsvText(request).find('"'), std::string::npos);

    // A comma or a quote in a name: that field alone is quoted, inner quotes doubled.
    auto rename = [&](int student, const char* name) {
        (void)roster.students[student].name.SetUtf8(name);
        if (const MarkingRecord* r = RecordOf(student))
            (void)const_cast<MarkingRecord*>(r)->studentName.SetUtf8(name);
    };
    rename(0, "王,一");
    rename(1, "王\"一");
    int absent = -1;
    for (int s = 0; s < roster.studentCount && absent < 0; ++s)
        if (!RecordOf(s) && roster.students[s].classCode.View() == "01")
            absent = s;
    ASSERT_GE(absent, 0);
    rename(absent, "缺,考");
    const std::string text = ScoreCsvText(request);
    // "准考证号" in GBK, then "," and "姓名".
    const std::string header = "\xD7\xBC\xBF\xBC\xD6\xA4\xBA\xC5,\xD0\xD5\xC3\xFB,\r\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    const std::string first = "'000001001,\"\xCD\xF5,\xD2\xBB\",\r\n";
    EXPECT_EQ(text.substr(header.size(), first.size()), first);
    EXPECT_NE(text.find(",\"\xCD\xF5\"\"\xD2\xBB\",\r\n"), std::string::npos);
    EXPECT_NE(text.find("'" + std::string(roster.students[absent].admissionNumber.View()) + ",\"\xC8\xB1,\xBF\xBC\"\r\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(ScoreOutputTest, ProgressReachesButNeverPassesHundred)
{
    auto request = Request({OutputItem::Total});
    request.includeAbsent = true;
    std::vector<int> seen;
    ScoreCsvText(request, [&](int p) { seen.push_back(p); });
    ASSERT_EQ(seen.size(), 45u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
    sheet::Workbook book;
    seen.clear();
    // All 50 students of both grades with grades switched off: still at most 100.
    roster.gradeEnabled = 0;
    WriteScoreSheet(book.ActiveSheet(), request, [&](int p) { seen.push_back(p); });
    EXPECT_EQ(seen.size(), 50u);
    EXPECT_EQ(*std::max_element(seen.begin(), seen.end()), 100);
}

TEST_F(ScoreOutputTest, WorkbookReadBackHasTitleHeaderWidthsAndTextColumn)
{
    auto request = Request({OutputItem::AdmissionNumber, OutputItem::Name, OutputItem::GroupScores,
                            OutputItem::Total, OutputItem::Extra, OutputItem::WrongList},
                           Class::One, "01");
    request.includeAbsent = true;
    sheet::Workbook book;
    WriteScoreSheet(book.ActiveSheet(), request);
    TempDir dir;
    const auto file = dir / "out.xlsx";
    std::string error;
    ASSERT_TRUE(book.SaveAs(file, &error)) << error;

    const std::string xml = Unzip(file, "xl/worksheets/sheet1.xml");
    const std::string styles = Unzip(file, "xl/styles.xml");
    const auto strings = SharedStrings(Unzip(file, "xl/sharedStrings.xml"));
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("<mergeCell ref=\"A1:J1\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<mergeCell ref=\"A2:J2\"/>"), std::string::npos);
    EXPECT_EQ(CellOf(xml, strings, "A1").value, "期中考试数学");
    EXPECT_EQ(CellOf(xml, strings, "A2").value, "成绩");

    // Fonts: title 18 bold, subtitle 14 bold red, header bold.
    const auto xfs = CellXfs(styles);
    const auto fonts = Fonts(styles);
    auto fontOf = [&](const std::string& ref) {
        return fonts.at(static_cast<std::size_t>(Attribute(xfs.at(static_cast<std::size_t>(CellOf(xml, strings, ref).style)), "fontId")));
    };
    EXPECT_NE(fontOf("A1").find("<b/>"), std::string::npos);
    EXPECT_NE(fontOf("A1").find("<sz val=\"18\"/>"), std::string::npos);
    EXPECT_NE(xfs.at(static_cast<std::size_t>(CellOf(xml, strings, "A1").style)).find("horizontal=\"center\""),
              std::string::npos);
    EXPECT_NE(fontOf("A2").find("<sz val=\"14\"/>"), std::string::npos);
    EXPECT_NE(fontOf("A2").find("<color rgb=\"FFFF0000\"/>"), std::string::npos);
    EXPECT_NE(fontOf("A3").find("<b/>"), std::string::npos);

    const std::vector<std::string> header = {"准考证号", "姓名", "1到10题", "11到20题", "总得分", "多选", "错选题号"};
    const char* columns = "ABCDEFG";
    for (std::size_t i = 0; i < header.size(); ++i)
        EXPECT_EQ(CellOf(xml, strings, std::string(1, columns[i]) + "3").value, header[i]);
    EXPECT_FALSE(CellOf(xml, strings, "H3").found);
    // Widths: 12 for 准考证号, 5 for 多选 (Excel adds its padding to the stored width).
    EXPECT_NE(xml.find("<col min=\"1\" max=\"1\" width=\"12.7109375\""), std::string::npos);
    EXPECT_NE(xml.find("<col min=\"6\" max=\"6\" width=\"5.7109375\""), std::string::npos);

    // Rows: student 0 first, admission number as text with its zeros, text format, left and centred.
    XmlCell a4 = CellOf(xml, strings, "A4");
    EXPECT_TRUE(a4.text);
    EXPECT_EQ(a4.value, "000001001");
    const std::string& a4xf = xfs.at(static_cast<std::size_t>(a4.style));
    EXPECT_EQ(Attribute(a4xf, "numFmtId"), 49);
    EXPECT_NE(a4xf.find("horizontal=\"left\""), std::string::npos);
    EXPECT_NE(a4xf.find("vertical=\"center\""), std::string::npos);
    const MarkingRecord* r0 = RecordOf(0);
    XmlCell e4 = CellOf(xml, strings, "E4");
    EXPECT_FALSE(e4.text);
    EXPECT_EQ(std::stod(e4.value), std::stod(FormatScore(r0->totalScore)));
    EXPECT_EQ(CellOf(xml, strings, "G4").value, std::string(StatusQuestionList(*r0, 25, '3')));
    // Student 5 is absent: number and name only.
    EXPECT_EQ(CellOf(xml, strings, "A9").value, "000001006");
    EXPECT_EQ(CellOf(xml, strings, "B9").value, "学生1-6");
    EXPECT_FALSE(CellOf(xml, strings, "C9").value.size());
    // Formatted to the roster's 50 students: A53 is the last text-format cell.
    EXPECT_EQ(Attribute(xfs.at(static_cast<std::size_t>(CellOf(xml, strings, "A53").style)), "numFmtId"), 49);
    EXPECT_FALSE(CellOf(xml, strings, "A54").found);
}

TEST(SpreadsheetLayer, ReferencesAndRangeProperties)
{
    EXPECT_EQ(sheet::ParseA1("A1:J1"), (sheet::Area{1, 1, 1, 10}));
    EXPECT_EQ(sheet::ParseA1("AB12"), (sheet::Area{12, 28, 12, 28}));
    EXPECT_FALSE(sheet::ParseA1("A4:C3"));
    EXPECT_FALSE(sheet::ParseA1("A0"));
    EXPECT_FALSE(sheet::ParseA1("1A"));
    EXPECT_FALSE(sheet::ParseA1("XFE1"));
    EXPECT_EQ(sheet::ColumnLetters(27), "AA");
    EXPECT_EQ(sheet::ColumnLetters(16384), "XFD");

    sheet::Workbook book;
    sheet::Worksheet& ws = book.ActiveSheet();
    // A property set before the value and one set after both reach the cell.
    ws.GetRange("A1:B2")->GetFont().SetBold(true);
    ws.Cells(2, 2).SetValue(1.5);
    ws.GetRange("B2:C3")->SetNumberFormatLocal("@");
    ws.GetRange("B2")->GetFont().SetBold(false);
    sheet::CellFormat f = ws.FormatAt(2, 2);
    EXPECT_FALSE(f.bold);
    EXPECT_EQ(f.numberFormat, "@");
    EXPECT_TRUE(ws.FormatAt(1, 1).bold);
    EXPECT_EQ(ws.FormatAt(3, 3).numberFormat, "@");
    EXPECT_EQ(ws.FormatAt(4, 4), sheet::CellFormat{});
}

TEST_F(ScoreOutputTest, CsvWhenTheDesktopCannotShowWorkbooks)
{
    TempDir dir;
    FakeDesktop desktop;
    ScriptedPromptsOf<PromptsCore> prompts;
    auto request = Request({OutputItem::AdmissionNumber, OutputItem::Total});
    ScoreOutputResult r = OutputScores(request, dir.path(), desktop, prompts);
    EXPECT_TRUE(r.written);
    EXPECT_TRUE(r.csv);
    auto bytes = files::ReadAll(dir / files::FromUtf8("成绩输出/Result.csv"));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, ScoreCsvText(request));
    // No CSV program either: the install notice, then the text editor.
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{"sheet:Result.csv", "editor:Result.csv"}));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, output_texts::InstallSpreadsheet);

    // With a CSV program nothing is said.
    desktop.opened.clear();
    desktop.spreadsheetOpens = true;
    prompts.shown.clear();
    EXPECT_TRUE(WriteScoreCsv(request, dir.path(), desktop, prompts));
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{"sheet:Result.csv"}));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ScoreOutputTest, WorkbookSavedInTheOutputFolderAndOpened)
{
    TempDir dir;
    FakeDesktop desktop;
    desktop.canOpen = true;
    desktop.spreadsheetOpens = true;
    ScriptedPromptsOf<PromptsCore> prompts;
    auto request = Request({OutputItem::AdmissionNumber, OutputItem::Total});
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    ScoreOutputResult r = OutputScores(request, dir.path(), desktop, prompts, {}, [t] { return t; });
    EXPECT_TRUE(r.written);
    EXPECT_FALSE(r.csv);
    EXPECT_EQ(files::ToUtf8(r.file.filename()), "期中考试数学-20261207-090503.xlsx");
    EXPECT_TRUE(std::filesystem::exists(dir / files::FromUtf8("成绩输出/期中考试数学-20261207-090503.xlsx")));
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{"sheet:期中考试数学-20261207-090503.xlsx"}));
    EXPECT_TRUE(prompts.shown.empty());

    // Another class within the same second: a workbook of its own, the first kept.
    const auto firstBytes = files::ReadAll(r.file);
    ScoreOutputResult second = OutputScores(request, dir.path(), desktop, prompts, {}, [t] { return t; });
    EXPECT_EQ(files::ToUtf8(second.file.filename()), "期中考试数学-20261207-090503-2.xlsx");
    EXPECT_TRUE(std::filesystem::exists(second.file));
    EXPECT_TRUE(files::ReadAll(r.file) == firstBytes);
    std::filesystem::remove(second.file);
    desktop.opened.clear();

    // The workbook cannot be written there (a folder holds its name): the CSV runs.
    std::filesystem::remove(r.file);
    std::filesystem::create_directories(r.file / "x");
    desktop.opened.clear();
    ScoreOutputResult fallback = OutputScores(request, dir.path(), desktop, prompts, {}, [t] { return t; });
    EXPECT_TRUE(fallback.csv);
    EXPECT_TRUE(fallback.written);
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{"sheet:Result.csv"}));
    // Nothing half-written is left beside it.
    std::vector<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir / files::FromUtf8("成绩输出")))
        entries.push_back(files::ToUtf8(e.path().filename()));
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"Result.csv", "期中考试数学-20261207-090503.xlsx"}));  // the folder standing in the way and Result.csv
}

TEST_F(ScoreOutputTest, NothingWritableGivesTheResultCsvMessage)
{
    TempDir dir;
    std::ofstream(dir / files::FromUtf8("成绩输出")) << "a file where the folder belongs";
    FakeDesktop desktop;
    desktop.canOpen = true;
    ScriptedPromptsOf<PromptsCore> prompts;
    ScoreOutputResult r = OutputScores(Request({OutputItem::Name}), dir.path(), desktop, prompts);
    EXPECT_FALSE(r.written);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "成绩输出出错，请先关闭打开的Result.csv文件");
    EXPECT_TRUE(desktop.opened.empty());

    // A failed check writes nothing and says why.
    prompts.shown.clear();
    ScoreOutputResult none = OutputScores(Request({}), dir.path(), desktop, prompts);
    EXPECT_FALSE(none.written);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "请选择要输出的各个项");
}

} // namespace
