// scorivo-cli export and stats run for real on a saved marking raw file.
#include <gtest/gtest.h>

#include "ResultsTestSupport.h"
#include "marking/RawFile.h"
#include "recognition/BatchCli.h"
#include "results/ScoreOutput.h"

using namespace results_test;
using batch_test::Quote;
using batch_test::RunCli;

namespace {

class ResultsCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        k = MakeKnownSession();
        session = files::ToUtf8(dir / "期中.yj");
        MarkingFileResult saved = SaveMarkingFileTo(*k.state, files::FromUtf8(session));
        ASSERT_TRUE(saved.ok) << saved.message;
    }
    TempDir dir;
    KnownSession k;
    std::string session;
};

TEST_F(ResultsCli, ExportCsvIsTheSameTextAsThePage)
{
    const std::string out = files::ToUtf8(dir / "成绩.csv");
    auto run = RunCli("export --session " + Quote(session) +
                      " --items 准考证号,姓名,大题得分情况,总得分,错选题号 --grade 10001 --class ALL --order total"
                      " --absent --out " + Quote(out));
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_GE(run.lines.size(), 4u);
    EXPECT_EQ(run.lines[0], out);
    EXPECT_EQ(run.lines[2], "未阅卷学生人数：7");

    ScoreOutputRequest request;
    request.roster = &k.state->roster;
    request.exam = &k.state->exam;
    request.session = &k.state->session;
    request.choice = {0, GradeClassChoice::Class::All, {}};
    request.items = {OutputItem::AdmissionNumber, OutputItem::Name, OutputItem::GroupScores, OutputItem::Total,
                     OutputItem::WrongList};
    request.order = RowOrder::ByTotal;
    request.includeAbsent = true;
    auto bytes = files::ReadAll(files::FromUtf8(out));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, ScoreCsvText(request));
}

TEST_F(ResultsCli, ExportWorkbookAndStatisticsWithCharts)
{
    const std::string xlsx = files::ToUtf8(dir / "成绩.xlsx");
    auto run = RunCli("export --session " + Quote(session) + " --items 准考证号,总得分 --grade 10001 --class 02 --out " +
                      Quote(xlsx));
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string xml = Unzip(files::FromUtf8(xlsx), "xl/worksheets/sheet1.xml");
    const auto strings = SharedStrings(Unzip(files::FromUtf8(xlsx), "xl/sharedStrings.xml"));
    EXPECT_EQ(CellOf(xml, strings, "A4").value, "000002001");
    EXPECT_EQ(CellOf(xml, strings, "A1").value, "期中考试数学");

    const std::string stats = files::ToUtf8(dir / "统计.xlsx");
    auto s = RunCli("stats --session " + Quote(session) +
                    " --grade 10001 --class ALL --average --question-rates --group-rates --wrong 1-3,11 --right 5 --out " +
                    Quote(stats));
    ASSERT_EQ(s.status, 0) << s.errors;
    ASSERT_GE(s.lines.size(), 4u);
    EXPECT_EQ(s.lines[1], "学生人数：45");
    const std::string list = UnzipList(files::FromUtf8(stats));
    EXPECT_NE(list.find("xl/charts/chart1.xml"), std::string::npos);
    EXPECT_NE(list.find("xl/drawings/_rels/drawing1.xml.rels"), std::string::npos);
    EXPECT_NE(Unzip(files::FromUtf8(stats), "xl/workbook.xml").find("做错名单"), std::string::npos);
}

TEST_F(ResultsCli, BadArgumentsExitWithTwoAndWriteNothing)
{
    const std::string out = files::ToUtf8(dir / "x.xlsx");
    const std::string base = "--session " + Quote(session) + " --out " + Quote(out);
    struct Case {
        std::string args;
        std::string message;  // part of what stderr says
    };
    const std::vector<Case> cases = {
        {"export " + base + " --items 准考证号,分数 --grade 10001 --class ALL", "unknown item \"分数\""},
        {"export " + base + " --items 总得分 --grade 10001 --class ALL --order name", "--order"},
        {"export " + base + " --items 总得分 --class ALL", "请选择年级！"},
        {"export " + base + " --items 总得分 --grade 10001", "请选择班级"},
        {"export " + base + " --items 总得分 --grade 99999 --class ALL", "99999"},
        {"export " + base + " --items 总得分 --grade 10001 --class 07", "07"},
        {"export --session " + Quote(session) + " --items 总得分 --grade 10001 --class ALL --out " +
             Quote(files::ToUtf8(dir / "x.txt")),
         ".csv"},
        {"export " + base + " --grade 10001 --class ALL", "missing --items"},
        {"export --session " + Quote(files::ToUtf8(dir / "none.yj")) + " --items 总得分 --out " + Quote(out), "none.yj"},
        {"stats " + base + " --grade 10001 --class ALL", "请至少选择一个统计项目！"},
        {"stats " + base + " --grade 10001 --class ALL --wrong 0-3", "题号不能为0"},
        {"stats " + base + " --grade 10001 --class ALL --right 30", "超出总题数"},
        {"stats " + base + " --grade 10001 --class ALL --average --bogus", "unknown option --bogus"},
    };
    for (const Case& c : cases) {
        auto run = RunCli(c.args);
        EXPECT_EQ(run.status, 2) << c.args << "\n" << run.errors;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.args << "\n" << run.errors;
        EXPECT_FALSE(std::filesystem::exists(files::FromUtf8(out))) << c.args;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.txt"));
    }
}

// A session named like an output ("s.csv") is read, never written over:
// not by name, not through a symbolic or a hard link; nor is another raw file.
TEST_F(ResultsCli, AnOutputThatIsTheSessionOrAnotherRawFileIsRefused)
{
    const std::string csvSession = files::ToUtf8(dir / "s.csv");
    const std::string xlsxSession = files::ToUtf8(dir / "s.xlsx");
    std::filesystem::copy_file(files::FromUtf8(session), files::FromUtf8(csvSession));
    std::filesystem::copy_file(files::FromUtf8(session), files::FromUtf8(xlsxSession));
    std::filesystem::create_symlink(files::FromUtf8(csvSession), dir / "link.csv");
    std::filesystem::create_hard_link(files::FromUtf8(csvSession), dir / "hard.csv");
    const std::string before = *files::ReadAll(files::FromUtf8(session));
    const std::string items = " --items 准考证号,总得分 --grade 10001 --class ALL --out ";
    const std::string same = "就是要读的阅卷原始文件，没有覆盖它";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"export --session " + Quote(csvSession) + items + Quote(csvSession), same},
        {"export --session " + Quote(csvSession) + items + Quote(files::ToUtf8(dir / "link.csv")), same},
        {"export --session " + Quote(csvSession) + items + Quote(files::ToUtf8(dir / "hard.csv")), same},
        {"export --session " + Quote(session) + items + Quote(csvSession), "是一个阅卷原始文件，没有覆盖它"},
        {"stats --session " + Quote(xlsxSession) + " --grade 10001 --class ALL --average --out " + Quote(xlsxSession),
         same},
    };
    for (const auto& [args, message] : cases) {
        auto run = RunCli(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.errors.find(message), std::string::npos) << args << "\n" << run.errors;
    }
    for (const char* name : {"s.csv", "s.xlsx", "link.csv", "hard.csv"})
        EXPECT_EQ(*files::ReadAll(dir / name), before) << name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
}

// mark takes --grade and --class as export does: a grade or class the roster
// lacks would otherwise refuse every card of the batch, one by one.
TEST_F(ResultsCli, MarkTakesOnlyTheRostersGradesAndClasses)
{
    ASSERT_TRUE(k.state->exam.cardName.SetUtf8("DY标准85题自动AB卷.dat"));
    ASSERT_TRUE(SaveMarkingFileTo(*k.state, files::FromUtf8(session)).ok);
    const auto before = files::ReadAll(files::FromUtf8(session));
    const std::string base = "mark --session " + Quote(session) + " ";
    const std::string picture = " " + Quote(files::ToUtf8(dir / "none.png"));
    struct Case {
        std::string args;
        int status;
        std::string message;  // part of what stderr says
    };
    const std::vector<Case> cases = {
        {base + "--grade 99999" + picture, 2, "没有年级编码为 99999 的年级"},
        {base + "--grade 10001 --class 07" + picture, 2, "学生信息里没有班级 07"},
        {base + "--class 01" + picture, 1, "请选择年级"},
        // Accepted: only the missing picture stops the run.
        {base + "--grade 10002 --class ALL" + picture, 1, "none.png"},
        {base + "--grade 10001 --class 03" + picture, 1, "none.png"},
    };
    for (const Case& c : cases) {
        auto run = RunCli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.errors;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.args << "\n" << run.errors;
        EXPECT_TRUE(run.lines.empty()) << c.args;
    }
    EXPECT_EQ(files::ReadAll(files::FromUtf8(session)), before);

    // ALL is every class, as in export: a card of an absent student of class 01 is taken.
    const std::string card = files::ToUtf8(dir / "card.png");
    std::string answers = KeyOf(0);
    for (int q = 1; q < 25; ++q)
        answers = answers + "," + KeyOf(q);
    ASSERT_EQ(RunCli("synth --template " + Quote(std::string(SCORIVO_BINARY_DIR) + "/模板文件/DY标准85题自动AB卷.dat") +
                     " --out " + Quote(card) + " --admission 000001006 --subject 02 --score 40 --seed 3 --answers " + answers)
                  .status,
              0);
    auto marked = RunCli(base + "--grade 10001 --class ALL " + Quote(card));
    EXPECT_EQ(marked.status, 0) << marked.errors << (marked.lines.empty() ? "" : marked.lines[0]);
    ASSERT_EQ(marked.lines.size(), 1u) << marked.errors;
    EXPECT_NE(marked.lines[0].find("\"name\":\"学生1-6\""), std::string::npos) << marked.lines[0];
}

} // namespace
