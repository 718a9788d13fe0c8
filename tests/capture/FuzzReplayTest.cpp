// The camera sample and picture fuzz entries over seeds from the synthetic
// camera and seeded mutations of them.
#include <gtest/gtest.h>

#include "fuzz/FuzzReplay.h"
#include "platform/Files.h"

namespace {

std::filesystem::path DataFolder()
{
    return files::FromUtf8(SCORIVO_SOURCE_DIR) / "data";
}

// A 64 x 48 crop of a synthetic frame: mutations of a small sample reach
// the same code as those of a whole one, many times faster.
std::vector<std::string> Seeds(const std::string& entry)
{
    const std::vector<uint8_t> frame = fuzz::SynthFrameBgr(DataFolder(), 2);
    std::vector<uint8_t> crop;
    for (int y = 200; y < 248; ++y)
        crop.insert(crop.end(), frame.begin() + (y * 640 + 300) * 3, frame.begin() + (y * 640 + 364) * 3);
    auto seeds = fuzz::SampleSeeds(entry, crop, 64, 48);
    for (auto& s : fuzz::SampleSeeds(entry, frame, 640, 480))
        seeds.push_back(std::move(s));
    return seeds;
}

} // namespace

TEST(SampleFuzzReplay, Yuy2)
{
    auto seeds = Seeds("Yuy2Sample");
    ASSERT_EQ(seeds.size(), 4u);
    EXPECT_EQ(seeds[2].size(), fuzz::SampleHeaderSize + 640u * 480 * 2);
    fuzz::Replay(fuzz::Yuy2Sample, {seeds[0], seeds[1]}, 1500, 11);
    fuzz::Replay(fuzz::Yuy2Sample, seeds, 40, 12);
}

TEST(SampleFuzzReplay, I420)
{
    auto seeds = Seeds("I420Sample");
    ASSERT_EQ(seeds.size(), 4u);
    EXPECT_EQ(seeds[2].size(), fuzz::SampleHeaderSize + 640u * 480 * 3 / 2);
    fuzz::Replay(fuzz::I420Sample, {seeds[0], seeds[1]}, 1500, 13);
    fuzz::Replay(fuzz::I420Sample, seeds, 40, 14);
}

TEST(SampleFuzzReplay, Mjpg)
{
    auto seeds = Seeds("MjpgSample");
    ASSERT_EQ(seeds.size(), 6u);
    fuzz::Replay(fuzz::MjpgSample, {seeds[0], seeds[1], seeds[2]}, 1500, 15);
    fuzz::Replay(fuzz::MjpgSample, seeds, 60, 16);
}

TEST(SampleFuzzReplay, Uncompressed)
{
    auto seeds = Seeds("UncompressedSample");
    ASSERT_EQ(seeds.size(), 4u);
    fuzz::Replay(fuzz::UncompressedSample, seeds, 300, 17);
}

TEST(PictureFuzzReplay, Jpeg)
{
    fuzz::Replay(fuzz::JpegPicture, fuzz::JpegPictureSeeds(DataFolder()), 200, 21);
}

TEST(PictureFuzzReplay, OtherFormats)
{
    fuzz::Replay(fuzz::OtherPicture, fuzz::OtherPictureSeeds(DataFolder()), 200, 22);
}
