// Saving a workbook treats the file as saving the raw file does: through a
// link, keeping its mode, never over a read-only file, nothing left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ResultsTestSupport.h"
#include "platform/Files.h"
#include "results/Spreadsheet.h"
#include "support/TempDir.h"

namespace {

using results_test::Unzip;

sheet::Workbook OneCellBook(const std::string& text)
{
    sheet::Workbook book;
    book.ActiveSheet().Cells(1, 1).SetValue(text);
    return book;
}

mode_t ModeOf(const std::filesystem::path& p)
{
    struct stat st{};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

std::vector<std::string> Names(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(files::ToUtf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WorkbookSave, ALinkIsSavedThroughAndTheModeKept)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "成绩");
    const auto target = dir / "成绩" / "期中.xlsx";
    ASSERT_TRUE(files::WriteAll(target, "old"));
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    const auto link = dir / "期中.xlsx";
    std::filesystem::create_symlink("成绩/期中.xlsx", link);

    std::string error;
    ASSERT_TRUE(OneCellBook("张欣怡").SaveAs(link, &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(Unzip(target, "xl/sharedStrings.xml").find("张欣怡"), std::string::npos);
    EXPECT_EQ(ModeOf(target), 0600u);
    EXPECT_EQ(Names(dir / "成绩"), std::vector<std::string>{"期中.xlsx"});
}

TEST(WorkbookSave, AReadOnlyWorkbookOrAMissingFolderIsSaidAndNothingLeft)
{
    TempDir dir;
    const auto file = dir / "统计.xlsx";
    ASSERT_TRUE(files::WriteAll(file, "kept"));
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(OneCellBook("x").SaveAs(file, &error));
    EXPECT_EQ(error, "无法写入文件 " + files::ToUtf8(file) + "：文件是只读的，没有保存");
    EXPECT_EQ(files::ReadAll(file), "kept");
    EXPECT_EQ(ModeOf(file), 0444u);

    const auto lost = dir / "没有的文件夹" / "统计.xlsx";
    EXPECT_FALSE(OneCellBook("x").SaveAs(lost, &error));
    EXPECT_EQ(error, "无法写入文件 " + files::ToUtf8(lost) +
                         "：cannot create a temporary file: No such file or directory");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"统计.xlsx"});
}

} // namespace
