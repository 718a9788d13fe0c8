// Standard output that cannot be written (a full disk, "/dev/full") fails
// every command that prints, whatever the command itself thought of its work.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "recognition/BatchCli.h"

namespace {

using namespace batch_test;

TEST(CliOutput, AFullStandardOutputExitsOneWithTheReason)
{
    TempDir dir;
    const std::string session = Quote(files::ToUtf8(dir / "s.yj"));
    const std::string picture = Quote(std::string(SCORIVO_BINARY_DIR) + "/模板文件/DY标准85题自动AB卷.jpg");
    const std::string sessionNew = "session new --out " + session + " --template DY标准85题自动AB卷.dat --roster " +
                                   Quote(ShippedRosterFile()) + " --exam-name 期中 --subject 02 --groups 1-85:1:S";
    // Each command as it runs to a pipe, then to a full device.
    const std::vector<std::pair<std::string, int>> commands = {
        {sessionNew, 0},
        {"read --template 模板文件/DY标准85题自动AB卷.dat --fit " + picture, 0},
        {"mark --session " + session + " --fit " + picture, 3},
        {"export --session " + session + " --items 准考证号,总得分 --class ALL --out " + Quote(files::ToUtf8(dir / "a.csv")), 0},
        {"stats --session " + session + " --class ALL --average --out " + Quote(files::ToUtf8(dir / "a.xlsx")), 0},
        {"--help", 0},
    };
    for (const auto& [args, code] : commands) {
        CliRun piped = RunCli(args);
        EXPECT_EQ(piped.status, code) << args << "\n" << piped.errors;
        EXPECT_FALSE(piped.lines.empty()) << args;
        if (args == sessionNew)
            std::filesystem::remove(dir / "s.yj");
        CliRun full = RunCli(args + " >/dev/full");
        EXPECT_EQ(full.status, 1) << args;
        EXPECT_NE(full.errors.find("scorivo-cli: 标准输出没有写完（No space left on device），输出不完整。"),
                  std::string::npos)
            << args << "\n" << full.errors;
    }
}

} // namespace
