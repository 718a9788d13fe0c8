// What a file, a picture or a batch may cost in memory: a file longer than
// its format can be is refused before it is read, a large JPEG is decoded at
// the size its frame needs, and neither depends on the memory at hand.
#include <gtest/gtest.h>

#include <QImage>

#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "platform/Files.h"
#include "recognition/BatchCli.h"

namespace {

using namespace batch_test;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers reserve terabytes of address space: no limit can be set.
const std::string kSmallMachine;
#else
// About twice what a run on a 640 x 480 picture takes.
const std::string kSmallMachine = "ulimit -v 250000; ";
#endif

std::filesystem::path SparseGigabyte(const TempDir& dir, const char* name)
{
    const auto path = dir / files::FromUtf8(name);
    EXPECT_TRUE(files::WriteAll(path, ""));
    std::filesystem::resize_file(path, 1ULL << 30);  // a hole: no disk, no time
    return path;
}

TEST(MemoryBounds, AFileLongerThanItsFormatIsRefusedBeforeItIsRead)
{
    TempDir dir;
    const std::string picture = Quote(std::string(SCORIVO_BINARY_DIR) + "/模板文件/DY标准85题自动AB卷.jpg");
    const std::string session = Quote(files::ToUtf8(dir / "s.yj"));
    auto sessionNew = [&](const std::string& roster) {
        return RunCli("session new --out " + session + " --template DY标准85题自动AB卷.dat --roster " + roster +
                          " --exam-name 期中 --subject 02 --groups 1-85:1:S",
                      kSmallMachine);
    };
    const CliRun roster = sessionNew(Quote(files::ToUtf8(SparseGigabyte(dir, "big.xs"))));
    EXPECT_EQ(roster.status, 1);
    EXPECT_NE(roster.errors.find("学生信息文件已损坏（文件太大（1073741824字节，这种文件最多283158字节），不能读取）：big.xs"),
              std::string::npos)
        << roster.errors;

    const CliRun raw = RunCli("mark --session " + Quote(files::ToUtf8(SparseGigabyte(dir, "big.yj"))) + " " + picture,
                              kSmallMachine);
    EXPECT_EQ(raw.status, 1);
    EXPECT_NE(raw.errors.find("文件太大（1073741824字节，这种文件最多17387775字节），不能读取"), std::string::npos)
        << raw.errors;

    const CliRun image = RunCli("read --template 模板文件/DY标准85题自动AB卷.dat --fit " +
                                    Quote(files::ToUtf8(SparseGigabyte(dir, "big.jpg"))),
                                kSmallMachine);
    EXPECT_EQ(image.status, 1);
    EXPECT_NE(image.errors.find("文件太大（1073741824字节，这种文件最多257048576字节），不能读取"), std::string::npos)
        << image.errors;

    // A template and "YJSet.dat" are read from their fixed heads, as always:
    // the rest of such a file is not even read.
    const CliRun card = RunCli("read --template " + Quote(files::ToUtf8(SparseGigabyte(dir, "big.dat"))) + " " + picture,
                               kSmallMachine);
    EXPECT_EQ(card.status, 1);
    EXPECT_NE(card.errors.find("（big.dat）"), std::string::npos) << card.errors;  // a template of zeros, refused

    ASSERT_EQ(sessionNew(Quote(ShippedRosterFile())).status, 0);
    std::filesystem::create_directory_symlink(std::string(SCORIVO_BINARY_DIR) + "/模板文件", dir / "模板文件");
    std::filesystem::rename(SparseGigabyte(dir, "x"), dir / "YJSet.dat");
    const CliRun settings =
        RunCli("mark --session " + session + " --fit " + picture, kSmallMachine + "SCORIVO_HOME=" + Quote(dir.path().string()) + " ");
    EXPECT_EQ(settings.status, 3) << settings.errors;  // the picture is no card, but it was marked
    EXPECT_EQ(settings.lines.size(), 1u);
}

// A phone's 9000 x 6750 JPEG is decoded at an eighth of its size for the
// 640 x 480 frame: whole, it took 180 MB and more than a small machine has.
TEST(MemoryBounds, ALargeJpegIsDecodedAtTheSizeItsFrameNeeds)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = dir / "DY卡.dat";
    ASSERT_TRUE(
        files::WriteAll(templatePath, std::string_view(reinterpret_cast<const char*>(&card.record), sizeof card.record)));
    cardprint::FilledCard filled;
    filled.answers = {"A", "B"};
    const QImage picture = cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, {})
                               .scaled(9000, 6750, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    ASSERT_TRUE(picture.save(QString::fromStdString(files::ToUtf8(dir / "big.jpg")), "JPG", 90));
    std::string arguments = "read --fit --template " + Quote(files::ToUtf8(templatePath));
    for (int i = 0; i < 4; ++i)
        arguments += " " + Quote(files::ToUtf8(dir / "big.jpg"));
    const CliRun small = RunCli(arguments + " --jobs 1", kSmallMachine);
    ASSERT_EQ(small.status, 0) << small.errors;
    ASSERT_EQ(small.lines.size(), 4u);
    EXPECT_NE(small.lines[0].find("\"paperType\":\"A\""), std::string::npos) << small.lines[0];  // the card was found
    // Many workers read the same, whatever memory they would want at once.
    const CliRun many = RunCli(arguments + " --jobs 4");
    EXPECT_EQ(many.lines, small.lines);
}

} // namespace
