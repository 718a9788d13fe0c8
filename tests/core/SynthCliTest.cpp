// scorivo-cli synth's numbers: what no picture can be drawn with is refused
// before anything is written.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Files.h"
#include "recognition/BatchCli.h"

using batch_test::Quote;
using batch_test::RunCli;

namespace {

TEST(SynthCli, NumbersThatDrawNoPictureAreRefused)
{
    TempDir dir;
    const std::string out = files::ToUtf8(dir / "card.png");
    const std::string base = "synth --template " +
                             Quote(std::string(SCORIVO_BINARY_DIR) + "/模板文件/DY标准85题自动AB卷.dat") +
                             " --out " + Quote(out) + " ";
    for (const char* bad : {"--rotate nan", "--rotate -inf", "--rotate 1e308", "--rotate 361", "--shift nan,0",
                            "--shift 0,inf", "--scale nan", "--noise nan", "--tilt 1,nan"}) {
        auto run = RunCli(base + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_NE(run.errors.find("bad value for"), std::string::npos) << bad << "\n" << run.errors;
        EXPECT_FALSE(std::filesystem::exists(files::FromUtf8(out))) << bad;
    }
    auto turned = RunCli(base + "--rotate -360 --shift -20,15");
    EXPECT_EQ(turned.status, 0) << turned.errors;
    EXPECT_TRUE(std::filesystem::exists(files::FromUtf8(out)));
}

// A template whose line length or distance is absurd (1e7) loads for
// reading, but no picture of it can be drawn: synth crashed on the null
// picture, print wrote nothing and blamed the file. Both say why.
TEST(SynthCli, ATemplateTooLargeToDrawIsRefusedWithTheReason)
{
    TempDir dir;
    const std::string shipped = *files::ReadAll(std::string(SCORIVO_BINARY_DIR) + "/模板文件/DY标准85题自动AB卷.dat");
    for (std::size_t offset : {std::size_t(0), std::size_t(4)}) {
        std::string bytes = shipped;
        const float huge = 1e7f;
        std::memcpy(bytes.data() + offset, &huge, sizeof huge);
        ASSERT_TRUE(files::WriteAll(dir / "huge.dat", bytes));
        const std::string templateArg = " --template " + Quote(files::ToUtf8(dir / "huge.dat"));
        for (const char* command : {"synth", "print"}) {
            auto run = RunCli(std::string(command) + templateArg + " --out " + Quote(files::ToUtf8(dir / "card.png")));
            EXPECT_EQ(run.status, 1) << command << " " << offset;
            EXPECT_NE(run.errors.find("画出来超出能画的大小（每边最多16384像素），可能是模板文件中定位线的长度或间距有误。"),
                      std::string::npos)
                << command << "\n" << run.errors;
            EXPECT_FALSE(std::filesystem::exists(dir / "card.png"));
        }
        auto read = RunCli("read" + templateArg + " --fit " +
                           Quote(std::string(SCORIVO_BINARY_DIR) + "/模板文件/DY标准85题自动AB卷.jpg"));
        EXPECT_EQ(read.status, 0) << read.errors;
    }
}

} // namespace
