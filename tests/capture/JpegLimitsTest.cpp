// A picture file is small, what its header claims need not be: the size is
// checked before a single row is allocated.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "CaptureTestSupport.h"
#include "capture/JpegFrame.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace {

// A real 16 x 16 JPEG whose frame header then claims width x height.
std::vector<uint8_t> JpegClaiming(int width, int height)
{
    std::vector<uint8_t> bgr(16 * 16 * 3, 128);
    std::vector<uint8_t> jpeg;
    EXPECT_TRUE(EncodeJpegBgr(bgr.data(), 16, 16, 80, jpeg));
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // baseline frame header
            jpeg[i + 5] = uint8_t(height >> 8);
            jpeg[i + 6] = uint8_t(height);
            jpeg[i + 7] = uint8_t(width >> 8);
            jpeg[i + 8] = uint8_t(width);
            return jpeg;
        }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

TEST(JpegLimits, AHeaderClaimingMoreThanAnyCameraIsRefusedBeforeDecoding)
{
    EXPECT_TRUE(PictureSizeAcceptable(640, 480));
    EXPECT_TRUE(PictureSizeAcceptable(8160, 6120));
    EXPECT_FALSE(PictureSizeAcceptable(20000, 20000));
    EXPECT_FALSE(PictureSizeAcceptable(16385, 10));
    EXPECT_FALSE(PictureSizeAcceptable(0, 480));

    JpegFrameDecoder decoder;
    std::vector<uint8_t> bgr;
    int w = 0, h = 0;
    const auto ok = JpegClaiming(16, 16);
    EXPECT_TRUE(decoder.DecodeBgr(ok.data(), ok.size(), bgr, w, h));
    EXPECT_EQ(w, 16);
    const auto huge = JpegClaiming(20000, 20000);
    bgr.clear();
    EXPECT_FALSE(decoder.DecodeBgr(huge.data(), huge.size(), bgr, w, h));
    EXPECT_TRUE(bgr.empty());
    // The decoder is still good for the next sample.
    EXPECT_TRUE(decoder.DecodeBgr(ok.data(), ok.size(), bgr, w, h));
}

// What scorivo-cli prints (and its exit status) reading one picture.
std::string ReadWithTheCommandLine(const std::filesystem::path& picture, int& exitStatus)
{
    const std::string command = std::string(SCORIVO_BINARY_DIR) +
                                "/scorivo-cli read --template 模板文件/DY标准85题自动AB卷.dat --fit '" +
                                files::ToUtf8(picture) + "' 2>&1";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "popen failed";
    char buf[4096];
    while (std::fgets(buf, sizeof buf, pipe))
        out += buf;
    const int status = pclose(pipe);
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(JpegLimits, APictureWhoseHeaderHidesItsSizeIsHeldToTheLimitsOnceDecoded)
{
    TempDir dir;
    for (const auto& [width, refused] : {std::pair{20000, true}, std::pair{640, false}}) {
        // Top-down: the height is negative, which the reader cannot size before decoding.
        const auto path = dir / ("wide" + std::to_string(width) + ".bmp");
        WriteBmp(path, width, 1, 24, true, 200, 200, 200);
        int status = -1;
        const std::string out = ReadWithTheCommandLine(path, status);
        const std::string claim = std::to_string(width) + " x 1 pixels, more than any camera sends";
        EXPECT_EQ(out.find(claim) != std::string::npos, refused) << out;
        if (refused) {
            EXPECT_GT(status, 0) << out;
        }
    }
}

TEST(JpegLimits, TheCommandLineRefusesTheClaimWithItsSize)
{
    TempDir dir;
    const auto huge = JpegClaiming(65500, 65500);
    ASSERT_TRUE(files::WriteAll(dir / "huge.jpg", std::string_view(reinterpret_cast<const char*>(huge.data()), huge.size())));
    int status = -1;
    const std::string out = ReadWithTheCommandLine(dir / "huge.jpg", status);
    EXPECT_GT(status, 0);
    EXPECT_NE(out.find("65500 x 65500 pixels, more than any camera sends"), std::string::npos) << out;
}

} // namespace
