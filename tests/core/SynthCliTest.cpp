// scorivo-cli synth's numbers: what no picture can be drawn with is refused
// before anything is written.
#include <gtest/gtest.h>

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

} // namespace
