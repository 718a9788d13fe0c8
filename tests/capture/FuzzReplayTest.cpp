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

// The seeds libFuzzer starts from (a 64 x 48 crop and a 160 x 120
// reduction of a synthetic frame), then the whole 640 x 480 frame, larger
// than any frame the entries make.
std::vector<std::string> Seeds(const std::string& entry)
{
    std::vector<std::string> seeds;
    for (const auto& p : fuzz::SampleSeedPictures(DataFolder()))
        for (auto& s : fuzz::SampleSeeds(entry, p.bgr, p.width, p.height))
            seeds.push_back(std::move(s));
    for (auto& s : fuzz::SampleSeeds(entry, fuzz::SynthFrameBgr(DataFolder(), 2), 640, 480))
        seeds.push_back(std::move(s));
    return seeds;
}

} // namespace

TEST(SampleFuzzReplay, Yuy2)
{
    auto seeds = Seeds("Yuy2Sample");
    ASSERT_EQ(seeds.size(), 6u);
    EXPECT_EQ(seeds[2].size(), fuzz::SampleHeaderSize + 160u * 120 * 2);
    EXPECT_EQ(seeds[4].size(), fuzz::SampleHeaderSize + 640u * 480 * 2);
    fuzz::Replay(fuzz::Yuy2Sample, {seeds[0], seeds[1]}, 1500, 11);
    fuzz::Replay(fuzz::Yuy2Sample, seeds, 40, 12);
}

TEST(SampleFuzzReplay, I420)
{
    auto seeds = Seeds("I420Sample");
    ASSERT_EQ(seeds.size(), 6u);
    EXPECT_EQ(seeds[2].size(), fuzz::SampleHeaderSize + 160u * 120 * 3 / 2);
    EXPECT_EQ(seeds[4].size(), fuzz::SampleHeaderSize + 640u * 480 * 3 / 2);
    fuzz::Replay(fuzz::I420Sample, {seeds[0], seeds[1]}, 1500, 13);
    fuzz::Replay(fuzz::I420Sample, seeds, 40, 14);
}

TEST(SampleFuzzReplay, Mjpg)
{
    auto seeds = Seeds("MjpgSample");
    ASSERT_EQ(seeds.size(), 9u);
    fuzz::Replay(fuzz::MjpgSample, {seeds[0], seeds[1], seeds[2]}, 1500, 15);
    fuzz::Replay(fuzz::MjpgSample, seeds, 60, 16);
}

TEST(SampleFuzzReplay, Uncompressed)
{
    auto seeds = Seeds("UncompressedSample");
    ASSERT_EQ(seeds.size(), 6u);
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

// Found by other_picture_fuzz: a top-down BMP (negative height) claiming
// 540992 pixels a row, whose size the reader cannot tell before decoding,
// was decoded and passed on beyond the limits.
TEST(PictureFuzzReplay, TopDownBmpBeyondTheLimits)
{
    const unsigned char bmp[] = {
        0x42, 0x4d, 0x36, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5d, 0x36, 0x00, 0x00, 0x00, 0x28, 0x00,
        0x00, 0x00, 0x40, 0x41, 0x08, 0x00, 0xff, 0xff, 0xff, 0xff, 0x01, 0x00, 0x18, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0xa7, 0x9b, 0xa4, 0xa6, 0x96, 0xa1, 0xa3, 0x97, 0xa3,
        0x60, 0x2e, 0x70, 0x6e, 0x67, 0x9f, 0xa5, 0x95, 0x9e, 0xa3};
    EXPECT_EQ(fuzz::OtherPicture(bmp, sizeof bmp), 0);
}
