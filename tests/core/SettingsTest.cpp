#include <gtest/gtest.h>

#include <cstring>

#include "app/MarkingSettings.h"
#include "platform/Files.h"
#include "platform/PromptAudio.h"
#include "support/TempDir.h"

TEST(Settings, DefaultsWithoutFile)
{
    TempDir dir;
    MarkingSettings s;
    EXPECT_FALSE(LoadMarkingSettings(s, dir / "YJSet.dat"));
    EXPECT_EQ(s.VoicePrompt, 0);
    EXPECT_EQ(s.AutoDelay, 2000);
    EXPECT_EQ(s.AutoTolerance, 1.0f);
    EXPECT_EQ(s.SavePictures, 0);
    EXPECT_EQ(s.SpeechRate, 4);
}

TEST(Settings, EighteenBytesAtTheirOffsets)
{
    TempDir dir;
    MarkingSettings s;
    s.VoicePrompt = 1;
    s.IgnoreSubjectCheck = 1;
    s.AutoDelay = 800;
    s.AutoTolerance = 2.0f;
    s.SavePictures = 1;
    s.SpeechRate = 7;
    ASSERT_TRUE(SaveMarkingSettings(s, dir / "YJSet.dat"));
    auto bytes = *files::ReadAll(dir / "YJSet.dat");
    ASSERT_EQ(bytes.size(), 18u);
    const unsigned char expected[18] = {1, 1, 0x20, 0x03, 0, 0, 0, 0, 0, 0x40, 1, 0, 0, 0, 7, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.data(), expected, 18), 0);
    MarkingSettings back;
    ASSERT_TRUE(LoadMarkingSettings(back, dir / "YJSet.dat"));
    EXPECT_EQ(back.AutoDelay, 800);
    EXPECT_EQ(back.SpeechRate, 7);
}

TEST(Settings, ShortFormsLoadWhatTheyHold)
{
    TempDir dir;
    MarkingSettings written;
    written.AutoDelay = 1500;
    written.SavePictures = 1;
    written.SpeechRate = 9;
    ASSERT_TRUE(SaveMarkingSettings(written, dir / "full.dat"));
    auto full = *files::ReadAll(dir / "full.dat");

    ASSERT_TRUE(files::WriteAll(dir / "14.dat", full.substr(0, 14)));
    MarkingSettings s14;
    ASSERT_TRUE(LoadMarkingSettings(s14, dir / "14.dat"));
    EXPECT_EQ(s14.SavePictures, 1);
    EXPECT_EQ(s14.SpeechRate, 4);  // not in a 14-byte file
    ASSERT_TRUE(SaveMarkingSettings(s14, dir / "14.dat"));
    EXPECT_EQ(files::ReadAll(dir / "14.dat")->size(), 18u);

    ASSERT_TRUE(files::WriteAll(dir / "10.dat", full.substr(0, 10)));
    MarkingSettings s10;
    ASSERT_TRUE(LoadMarkingSettings(s10, dir / "10.dat"));
    EXPECT_EQ(s10.AutoDelay, 1500);
    EXPECT_EQ(s10.SavePictures, 0);

    ASSERT_TRUE(files::WriteAll(dir / "5.dat", full.substr(0, 5)));
    MarkingSettings s5;
    EXPECT_FALSE(LoadMarkingSettings(s5, dir / "5.dat"));
    EXPECT_EQ(s5.AutoDelay, 2000);
}

// A damaged file's speech rate went to the voice unchecked, and
// 0x7FFFFFFF overflowed when it was doubled for the older systems.
TEST(Settings, DamagedSpeechRateCountsAsTheNearestEnd)
{
    TempDir dir;
    MarkingSettings written;
    written.SpeechRate = 0x7FFFFFFF;
    ASSERT_TRUE(SaveMarkingSettings(written, dir / "YJSet.dat"));
    MarkingSettings s;
    ASSERT_TRUE(LoadMarkingSettings(s, dir / "YJSet.dat"));
    EXPECT_EQ(VoiceRateFor({2, 5}, s.SpeechRate), 20);
    EXPECT_EQ(VoiceRateFor({2, 6}, s.SpeechRate), 10);
    EXPECT_EQ(VoiceRateFor({2, 5}, -3), 2);
    EXPECT_EQ(VoiceRateFor({2, 6}, 0), 1);
    EXPECT_EQ(VoiceRateFor({2, 6}, 7), 7);
}
