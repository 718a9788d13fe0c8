// scorivo-cli design run for real: the three files of a card that lays out,
// nothing at all for one that does not, and its template byte for byte the
// layout's.
#include <gtest/gtest.h>

#include <cstring>

#include "exam/CardDesign.h"
#include "platform/Files.h"
#include "recognition/BatchCli.h"

using batch_test::Quote;
using batch_test::RunCli;

namespace {

TEST(DesignCli, WritesTemplatePictureAndSheet)
{
    TempDir dir;
    auto run = RunCli("design --name 期中 --questions 60 --options 5 --block-options 11:2 --down 12 --ab B "
                      "--subjects \"01:语文,02:数学\" --score 0 --paper A4 --landscape --out " +
                      Quote(files::ToUtf8(dir.path())));
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_NE(run.lines[0].find("\"template\":\"" + files::ToUtf8(dir / files::FromUtf8("DY期中.dat")) + "\""),
              std::string::npos)
        << run.lines[0];

    CardDesign d;
    d.name = "期中";
    d.options = 5;
    d.exceptions = {{11, 2, false}, {12, 0, true}};
    d.abMode = 2;
    d.subjects = {{"01", "语文"}, {"02", "数学"}};
    d.scoreDigits = 0;
    d.landscape = true;
    const CardLayoutResult expected = LayOutCard(d);
    ASSERT_TRUE(expected.ok) << expected.reason;
    auto dat = files::ReadAll(dir / files::FromUtf8("DY期中.dat"));
    ASSERT_TRUE(dat.has_value());
    ASSERT_EQ(dat->size(), sizeof(CardTemplate));
    EXPECT_EQ(std::memcmp(dat->data(), &expected.record, sizeof(CardTemplate)), 0);
    auto jpg = files::ReadAll(dir / files::FromUtf8("DY期中.jpg"));
    ASSERT_TRUE(jpg.has_value());
    EXPECT_EQ(jpg->substr(0, 3), "\xFF\xD8\xFF");
    auto pdf = files::ReadAll(dir / files::FromUtf8("DY期中.pdf"));
    ASSERT_TRUE(pdf.has_value());
    EXPECT_EQ(pdf->substr(0, 5), "%PDF-");
}

TEST(DesignCli, ARefusedDesignSaysWhyAndWritesNothing)
{
    TempDir dir;
    auto run = RunCli("design --name 太多 --questions 200 --options 10 --out " + Quote(files::ToUtf8(dir.path())));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.errors.find("每题10个选项时一张答题卡最多放"), 0u) << run.errors;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    run = RunCli("design --name 红B --questions 60 --colour red --ab B --out " + Quote(files::ToUtf8(dir.path())));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.errors, "红色机读卡是A卷，不能设为“总是B卷”；B卷请用绿色。\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // A usage fault: no --out.
    run = RunCli("design --name 卡 --questions 60");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("usage: scorivo-cli design"), std::string::npos);
    run = RunCli("design --name 卡 --questions sixty --out " + Quote(files::ToUtf8(dir.path())));
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DesignCli, MachineCardWithBothPapers)
{
    TempDir dir;
    auto run = RunCli("design --name 机读 --questions 50 --colour green --out " + Quote(files::ToUtf8(dir.path())));
    ASSERT_EQ(run.status, 0) << run.errors;
    CardTemplate t{};
    std::string message;
    ASSERT_TRUE(LoadCardTemplateFile(dir / files::FromUtf8("JD机读.dat"), t, message)) << message;
    EXPECT_EQ(t.AbMode, 0);
    EXPECT_EQ(t.QuestionCount, 50);
    // One page per paper: A in red, B in green.
    auto pdf = files::ReadAll(dir / files::FromUtf8("JD机读.pdf"));
    ASSERT_TRUE(pdf.has_value());
    EXPECT_NE(pdf->find("/Count 2"), std::string::npos);
}

} // namespace

// A card that is already there (the one earlier sessions were marked with,
// perhaps) is not replaced without --force; any of its three files counts.
TEST(DesignCli, AnExistingCardIsReplacedOnlyWithForce)
{
    TempDir dir;
    const std::string out = Quote(files::ToUtf8(dir.path()));
    auto run = RunCli("design --name 周测 --questions 20 --out " + out);
    ASSERT_EQ(run.status, 0) << run.errors;
    const auto dat = dir / files::FromUtf8("DY周测.dat");
    const auto before = files::ReadAll(dat);
    ASSERT_TRUE(before.has_value());

    run = RunCli("design --name 周测 --questions 40 --out " + out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "scorivo-cli design: " + files::ToUtf8(dat) +
                              " 已经存在，没有覆盖（要用新设计的答题卡替换它，请加 --force）\n");
    EXPECT_TRUE(run.lines.empty());
    EXPECT_EQ(files::ReadAll(dat), before);

    // Only the printable sheet left: still refused.
    std::filesystem::remove(dat);
    std::filesystem::remove(dir / files::FromUtf8("DY周测.jpg"));
    run = RunCli("design --name 周测 --questions 40 --out " + out);
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dat));

    run = RunCli("design --name 周测 --questions 40 --force --out " + out);
    EXPECT_EQ(run.status, 0) << run.errors;
    const auto after = files::ReadAll(dat);
    ASSERT_TRUE(after.has_value());
    EXPECT_NE(after, before);
}
