#include <gtest/gtest.h>

#include <cstring>

#include "platform/Files.h"
#include "recognition/CardLayout.h"
#include "recognition/CardTemplate.h"
#include "support/TempDir.h"

namespace {

CardTemplate Valid()
{
    CardTemplate t;
    t.Clear();
    t.LineLength = 20;
    t.LineDistance = 20;
    t.CellWidth = 1;
    t.CellHeight = 1;
    t.QuestionCount = 40;
    t.DefaultOptions = 4;
    t.Sec1Columns = 4;
    t.Sec1Rows = 2;
    t.Sec2Columns = 4;
    t.BlockColPitch = 5;
    t.BlockRowPitch = 6;
    t.AnswerRow = -2;
    t.AdmColumns = 9;
    return t;
}

void WriteTemplate(const TempDir& home, const std::string& name, const CardTemplate& t)
{
    std::filesystem::create_directories(home / files::FromUtf8("模板文件"));
    ASSERT_TRUE(files::WriteAll(home / files::FromUtf8("模板文件") / files::FromUtf8(name),
                                std::string_view(reinterpret_cast<const char*>(&t), sizeof t)));
}

} // namespace

TEST(CardTemplate, LoadsExactly600Bytes)
{
    TempDir home;
    WriteTemplate(home, "DY测试.dat", Valid());
    CardTemplate t;
    t.Clear();
    std::string message;
    ASSERT_TRUE(LoadCardTemplate(home.path(), "DY测试.dat", t, message)) << message;
    EXPECT_EQ(t.QuestionCount, 40);
}

TEST(CardTemplate, MissingOrShortFileKeepsThePreviousRecord)
{
    TempDir home;
    CardTemplate t = Valid();
    std::string message;
    EXPECT_FALSE(LoadCardTemplate(home.path(), "DY无.dat", t, message));
    EXPECT_EQ(message, "未发现模板文件：DY无.dat");
    EXPECT_EQ(t.QuestionCount, 40);

    std::filesystem::create_directories(home / files::FromUtf8("模板文件"));
    ASSERT_TRUE(files::WriteAll(home / files::FromUtf8("模板文件") / "DYshort.dat", std::string(599, '\1')));
    EXPECT_FALSE(LoadCardTemplate(home.path(), "DYshort.dat", t, message));
    EXPECT_EQ(message, "模板文件已损坏（文件太短）：DYshort.dat");
    EXPECT_EQ(t.QuestionCount, 40);
}

TEST(CardTemplate, RecordsThatCannotBeLaidOutAreRefused)
{
    auto refused = [](auto mutate) {
        CardTemplate t = Valid();
        mutate(t);
        return !ValidateCardTemplate(t).empty();
    };
    EXPECT_FALSE(refused([](CardTemplate&) {}));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.QuestionCount = 201; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.OverrideCount = 11; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.AdmColumns = 21; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.SubjColumns = 3; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.LineLength = 0; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.LineLength = -3; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.DefaultOptions = 11; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.CellWidth = std::numeric_limits<float>::quiet_NaN(); }));
    // Valid numbers, absurd places: cells nobody could print.
    EXPECT_TRUE(refused([](CardTemplate& t) { t.AdmCol = 1e30f; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.AnswerRow = -1e9f; }));
    EXPECT_TRUE(refused([](CardTemplate& t) { t.BlockColPitch = 1e6f; }));
    EXPECT_TRUE(refused([](CardTemplate& t) {
        t.OverrideCount = 1;
        t.BlockOverrides[0] = {0, 2.0f, -5e7f, 4, 0};
    }));
    EXPECT_EQ(ValidateCardTemplate([] {
                  CardTemplate t = Valid();
                  t.AdmRow = 1e9f;
                  return t;
              }()),
              "模板文件中有填涂格远在答题卡之外。");
    EXPECT_TRUE(refused([](CardTemplate& t) {
        t.SubjectCount = 1;
        std::memset(t.Subjects[0].name.bytes, 'x', 10);
    }));

    TempDir home;
    CardTemplate bad = Valid();
    bad.QuestionCount = 500;
    WriteTemplate(home, "DYbad.dat", bad);
    CardTemplate t = Valid();
    std::string message;
    EXPECT_FALSE(LoadCardTemplate(home.path(), "DYbad.dat", t, message));
    EXPECT_NE(message.find("DYbad.dat"), std::string::npos);
    EXPECT_EQ(t.QuestionCount, 40);
}

TEST(CardLayout, SectionsAndOverrides)
{
    CardTemplate t = Valid();
    // Type A: block 5 is the second row of section 1, column 1.
    QuestionLayout q = LayoutQuestion(t, 0, 5 * 5 + 2);
    ASSERT_TRUE(q.placed);
    EXPECT_FLOAT_EQ(q.first.col, 5.0f);
    EXPECT_FLOAT_EQ(q.first.row, -2.0f - 6.0f);
    CellPos opt = OptionCell(q, 2, 3);
    EXPECT_FLOAT_EQ(opt.col, 8.0f);
    EXPECT_FLOAT_EQ(opt.row, -10.0f);
    // Type B with n = 2 + 0 rows: the first column holds m = 2 blocks, so
    // block 3 is k = 1: column k div n + 1 = 1, row k mod n = 1.
    QuestionLayout b = LayoutQuestion(t, 1, 3 * 5);
    EXPECT_FLOAT_EQ(b.first.col, 5.0f);
    EXPECT_FLOAT_EQ(b.first.row, -2.0f - 6.0f);
    t.BExtraRows = 1;
    t.Sec2FirstCol = 1;  // n = 3, m = 3 - 1 = 2
    EXPECT_FLOAT_EQ(LayoutQuestion(t, 1, 1 * 5).first.row, -2.0f - 6.0f);
    EXPECT_FLOAT_EQ(LayoutQuestion(t, 1, 2 * 5).first.col, 5.0f);
    EXPECT_FLOAT_EQ(LayoutQuestion(t, 1, 2 * 5).first.row, -2.0f);
    t.BExtraRows = 0;
    t.Sec2FirstCol = 0;

    t.OverrideCount = 1;
    t.BlockOverrides[0] = {3, 30.0f, -4.0f, 5, 1};
    QuestionLayout o = LayoutQuestion(t, 0, 16);
    EXPECT_EQ(o.options, 5);
    EXPECT_EQ(o.orientation, 1);
    EXPECT_FLOAT_EQ(o.first.col, 30.0f);
    CellPos down = OptionCell(o, 16 % 5, 4);
    EXPECT_FLOAT_EQ(down.col, 31.0f);
    EXPECT_FLOAT_EQ(down.row, -8.0f);
    EXPECT_FALSE(LayoutQuestion(t, 0, 40).placed);
}
