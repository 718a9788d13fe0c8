// The readers' fuzz entries over their seeds and seeded mutations of them, so
// every test run (and the sanitizer build) feeds each reader corrupt files.
#include <gtest/gtest.h>

#include "fuzz/FuzzReplay.h"
#include "platform/Files.h"

namespace {

std::filesystem::path DataFolder()
{
    return files::FromUtf8(SCORIVO_SOURCE_DIR) / "data";
}

} // namespace

TEST(ReaderFuzzReplay, SeedsAreValidFiles)
{
    // Seeds that the readers refuse would leave the mutations testing only
    // the first checks.
    const auto templates = fuzz::TemplateSeeds(DataFolder());
    ASSERT_GE(templates.size(), 5u);
    for (const std::string& s : templates)
        EXPECT_EQ(s.size(), 600u);
    for (const std::string& s : fuzz::StudentSeeds(DataFolder()))
        EXPECT_GE(s.size(), 3158u);
    EXPECT_EQ(fuzz::SettingsSeeds().front().size(), 18u);
    const auto raw = fuzz::RawFileSeeds(DataFolder());
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[1].size(), 287775u + 2 * 3420u);
}

TEST(ReaderFuzzReplay, TemplateFile)
{
    fuzz::Replay(fuzz::TemplateFile, fuzz::TemplateSeeds(DataFolder()), 3000, 1);
}

TEST(ReaderFuzzReplay, StudentFile)
{
    fuzz::Replay(fuzz::StudentFile, fuzz::StudentSeeds(DataFolder()), 1500, 2);
}

TEST(ReaderFuzzReplay, BaseDat)
{
    fuzz::Replay(fuzz::BaseDat, fuzz::BaseDatSeeds(DataFolder()), 1500, 3);
}

TEST(ReaderFuzzReplay, SettingsFile)
{
    fuzz::Replay(fuzz::SettingsFile, fuzz::SettingsSeeds(), 1500, 4);
}

TEST(ReaderFuzzReplay, RawFile)
{
    fuzz::Replay(fuzz::RawFile, fuzz::RawFileSeeds(DataFolder()), 1500, 5);
}
