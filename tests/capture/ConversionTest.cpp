// Sample conversion into the bottom-up frame: exact table arithmetic,
// orientation, the untouched fourth byte, MJPG placement and damage, bounds.

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "CaptureTestSupport.h"
#include "capture/CaptureSession.h"
#include "capture/JpegFrame.h"
#include "capture/SampleConversion.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

// YUY2 sample whose every pixel (x, y) has Y = f(x, y); U and V per pair.
std::vector<uint8_t> Yuy2Pattern()
{
    std::vector<uint8_t> s(Yuy2SampleBytes(W, H));
    for (int y = 0; y < H; ++y)
        for (int k = 0; k < W / 2; ++k) {
            uint8_t* p = s.data() + (size_t(y) * W + 2 * k) * 2;
            p[0] = uint8_t(16 + (y * 7 + k * 3) % 220);
            p[1] = uint8_t((y * 5 + k * 11) % 256);
            p[2] = uint8_t(16 + (y * 3 + k * 13) % 220);
            p[3] = uint8_t((y * 17 + k * 2) % 256);
        }
    return s;
}

TEST(YuvTables, EntriesAndClip)
{
    BuildYuvTables();
    const YuvTables& t = GetYuvTables();
    EXPECT_EQ(t.yTerm[16], 0);
    EXPECT_EQ(t.yTerm[235], 76309 * 219);
    EXPECT_EQ(t.yTerm[0], -76309 * 16);
    EXPECT_EQ(t.uBlue[255], 132201 * 127);
    EXPECT_EQ(t.uGreen[0], 25674 * 128);
    EXPECT_EQ(t.vGreen[200], -53278 * 72);
    EXPECT_EQ(t.vRed[128], 0);
    EXPECT_EQ(ClipColour(-1), 0);
    EXPECT_EQ(ClipColour(-256), 0);
    EXPECT_EQ(ClipColour(-100000), 0);
    EXPECT_EQ(ClipColour(0), 0);
    EXPECT_EQ(ClipColour(137), 137);
    EXPECT_EQ(ClipColour(255), 255);
    EXPECT_EQ(ClipColour(256), 255);
    EXPECT_EQ(ClipColour(511), 255);
    EXPECT_EQ(ClipColour(100000), 255);
}

TEST(ConvertYUY2, ExactValuesUprightAndFourthByteUntouched)
{
    const auto sample = Yuy2Pattern();
    FrameBuffer frame(W, H, 4);
    std::memset(frame.Data(), 0xAB, frame.SizeBytes());
    ASSERT_TRUE(ConvertYUY2(W, H, sample.data(), sample.size(), frame.Pixels()));

    const BitmapView f = frame.Pixels();
    for (int y : {0, 1, 2, 239, 478, 479})
        for (int x : {0, 1, 2, 3, 318, 319, 638, 639}) {
            const uint8_t* p = sample.data() + (size_t(y) * W + size_t(x & ~1)) * 2;
            const int luma = (x & 1) ? p[2] : p[0];
            ASSERT_EQ(PixelAt(f, x, y), ExpectedPixel(luma, p[1], p[3])) << x << "," << y;
        }
    // Source row 0 is the picture's top: the last row in memory.
    const uint8_t* top = sample.data();
    EXPECT_EQ(PixelAt(f, 0, 0), ExpectedPixel(top[0], top[1], top[3]));
    EXPECT_EQ(frame.Data()[size_t(H - 1) * W * 4 + 0], ExpectedPixel(top[0], top[1], top[3]).b);
    for (size_t i = 3; i < frame.SizeBytes(); i += 4)
        ASSERT_EQ(frame.Data()[i], 0xAB) << i;
}

TEST(ConvertYUY2, HandWorkedValues)
{
    // Y 81, U 90, V 240: luma 4960085; red (4960085 + 11714864) >> 16 = 254;
    // green −31439 >> 16 = −1 → 0; blue −63553 >> 16 = −1 → 0.
    std::vector<uint8_t> sample(Yuy2SampleBytes(W, H));
    for (size_t i = 0; i < sample.size(); i += 4) {
        sample[i] = 81;
        sample[i + 1] = 90;
        sample[i + 2] = 235;
        sample[i + 3] = 240;
    }
    FrameBuffer frame(W, H, 4);
    ASSERT_TRUE(ConvertYUY2(W, H, sample.data(), sample.size(), frame.Pixels()));
    EXPECT_EQ(PixelAt(frame.Pixels(), 0, 0), (Bgr{0, 0, 254}));
    // Y 235 with the same chroma: luma 16711671; blue (16711671 − 5023638) >> 16 = 178,
    // green (16711671 + 975612 − 5967136) >> 16 = 178, red 28426535 >> 16 = 433 → 255.
    EXPECT_EQ(PixelAt(frame.Pixels(), 1, 0), (Bgr{178, 178, 255}));
}

TEST(ConvertYUY2, RefusesBadWidthShortSampleSmallDestination)
{
    const auto sample = Yuy2Pattern();
    FrameBuffer frame(W, H, 4);
    std::memset(frame.Data(), 0x5A, frame.SizeBytes());
    EXPECT_FALSE(ConvertYUY2(638, H, sample.data(), sample.size(), frame.Pixels()));  // 638 is not a multiple of 4
    EXPECT_FALSE(ConvertYUY2(W, H, sample.data(), sample.size() - 1, frame.Pixels()));
    FrameBuffer small(320, 240, 4);
    EXPECT_FALSE(ConvertYUY2(W, H, sample.data(), sample.size(), small.Pixels()));
    for (size_t i = 0; i < frame.SizeBytes(); ++i)
        ASSERT_EQ(frame.Data()[i], 0x5A);
    // A width that is a multiple of 4 but smaller than the frame converts.
    EXPECT_TRUE(ConvertYUY2(636, 2, sample.data(), sample.size(), frame.Pixels()));
}

TEST(ConvertI420, PlanesAndSharedChroma)
{
    std::vector<uint8_t> s(I420SampleBytes(W, H));
    uint8_t* planeY = s.data();
    uint8_t* planeU = planeY + W * H;
    uint8_t* planeV = planeU + W * H / 4;
    for (int i = 0; i < W * H; ++i)
        planeY[i] = uint8_t(16 + (i * 7) % 220);
    for (int i = 0; i < W * H / 4; ++i) {
        planeU[i] = uint8_t((i * 13) % 256);
        planeV[i] = uint8_t((i * 29 + 5) % 256);
    }
    FrameBuffer frame(W, H, 4);
    std::memset(frame.Data(), 0xCD, frame.SizeBytes());
    ASSERT_TRUE(ConvertI420(W, H, s.data(), s.size(), frame.Pixels()));
    for (int y : {0, 1, 2, 3, 300, 301, 479})
        for (int x : {0, 1, 2, 5, 400, 639}) {
            const int c = (y / 2) * (W / 2) + x / 2;
            ASSERT_EQ(PixelAt(frame.Pixels(), x, y), ExpectedPixel(planeY[y * W + x], planeU[c], planeV[c]))
                << x << "," << y;
        }
    for (size_t i = 3; i < frame.SizeBytes(); i += 4)
        ASSERT_EQ(frame.Data()[i], 0xCD);
    EXPECT_FALSE(ConvertI420(W, H, s.data(), s.size() - 1, frame.Pixels()));
    EXPECT_FALSE(ConvertI420(642, H, s.data(), s.size(), frame.Pixels()));
}

TEST(Rotate180, TopLeftShowsTheCameraBottomRight)
{
    const auto sample = Yuy2Pattern();
    FrameBuffer frame(W, H, 4);
    ASSERT_TRUE(ConvertYUY2(W, H, sample.data(), sample.size(), frame.Pixels()));
    const Bgr cameraBottomRight = PixelAt(frame.Pixels(), W - 1, H - 1);
    const Bgr cameraTopLeft = PixelAt(frame.Pixels(), 0, 0);
    FrameBuffer before;
    before.CopyFrom(frame);
    Rotate180(frame.Pixels());
    EXPECT_EQ(PixelAt(frame.Pixels(), 0, 0), cameraBottomRight);
    EXPECT_EQ(PixelAt(frame.Pixels(), W - 1, H - 1), cameraTopLeft);
    EXPECT_EQ(PixelAt(frame.Pixels(), 10, 20), PixelAt(before.Pixels(), W - 11, H - 21));
    Rotate180(frame.Pixels());
    EXPECT_EQ(0, std::memcmp(frame.Data(), before.Data(), frame.SizeBytes()));

    // 3-byte pixels and an odd height: the middle row is mirrored in place.
    FrameBuffer odd(5, 3, 3);
    for (size_t i = 0; i < odd.SizeBytes(); ++i)
        odd.Data()[i] = uint8_t(i);
    Rotate180(odd.Pixels());
    const uint8_t* mid = odd.Pixels().Row(1);
    EXPECT_EQ(mid[0], 15 + 12);  // row 1 pixel 4 came to pixel 0
    EXPECT_EQ(odd.Data()[0], uint8_t(2 * 15 + 12));
}

TEST(CopyUncompressed, NeverWritesPastTheBitmap)
{
    std::vector<uint8_t> memory(size_t(W) * H * 3 + 64, 0xEE);
    const BitmapView view{memory.data(), W, H, 3, W * 3};
    const std::vector<uint8_t> longSample(size_t(W) * H * 4, 0x11);  // a 32-bit camera calling itself 0
    EXPECT_EQ(CopyUncompressed(longSample.data(), longSample.size(), view), size_t(W) * H * 3);
    for (size_t i = size_t(W) * H * 3; i < memory.size(); ++i)
        ASSERT_EQ(memory[i], 0xEE);
    const std::vector<uint8_t> shortSample(100, 0x22);
    EXPECT_EQ(CopyUncompressed(shortSample.data(), shortSample.size(), view), 100u);
    EXPECT_EQ(memory[99], 0x22);
    EXPECT_EQ(memory[100], 0x11);
}

// A 640 × 480 picture in horizontal bands 16 rows high (JPEG blocks stay flat).
std::vector<uint8_t> BandedPicture()
{
    std::vector<uint8_t> bgr(size_t(W) * H * 3);
    for (int y = 0; y < H; ++y) {
        const uint8_t v = (y / 16) % 2 ? 40 : 220;
        const uint8_t tail = y >= 464 ? 0 : v;  // the last band black
        for (int x = 0; x < W; ++x) {
            uint8_t* p = bgr.data() + (size_t(y) * W + x) * 3;
            p[0] = tail;
            p[1] = tail;
            p[2] = y < 16 ? 250 : tail;  // the first band red
        }
    }
    return bgr;
}

TEST(IsCompleteJpeg, MarkersAtBothEnds)
{
    const uint8_t good[] = {0xFF, 0xD8, 0x00, 0xFF, 0xD9};
    EXPECT_TRUE(IsCompleteJpeg(good, sizeof good));
    EXPECT_FALSE(IsCompleteJpeg(good, sizeof good - 1));
    const uint8_t bad[] = {0xFF, 0xD9, 0x00, 0xFF, 0xD9};
    EXPECT_FALSE(IsCompleteJpeg(bad, sizeof bad));
    EXPECT_FALSE(IsCompleteJpeg(good, 2));
    EXPECT_FALSE(IsCompleteJpeg(nullptr, 0));
}

TEST(JpegFrameDecoder, DrawnFromRowTenAndCutAtTheBottom)
{
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(EncodeJpegBgr(BandedPicture().data(), W, H, 100, jpeg));
    FrameBuffer frame(W, H, 3);
    std::memset(frame.Data(), 0x77, frame.SizeBytes());
    JpegFrameDecoder decoder;
    ASSERT_TRUE(decoder.DrawOnto(jpeg.data(), jpeg.size(), frame.Pixels(), 10));
    const BitmapView f = frame.Pixels();
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(PixelAt(f, 100, y), (Bgr{0x77, 0x77, 0x77})) << y;  // not refreshed
    // Picture row 10 shows the decoded top row (red band), row 25 the decoded row 15.
    EXPECT_GE(PixelAt(f, 100, 10).r, 240);
    EXPECT_LE(PixelAt(f, 100, 10).g, 235);
    EXPECT_GE(PixelAt(f, 100, 25).r, 240);
    EXPECT_NEAR(PixelAt(f, 100, 26).g, 40, 6);  // decoded row 16: the first dark band
    // The decoded black band (rows 464 … 479) is cut after row 469: picture rows 474 … 479.
    EXPECT_LE(PixelAt(f, 300, 479).g, 4);
    EXPECT_LE(PixelAt(f, 300, 474).g, 4);
    EXPECT_NEAR(PixelAt(f, 300, 473).g, 220, 6);  // decoded row 463, a light band
}

// Wider pictures are cut at the frame's right edge, narrower ones fill its
// left part; either way every drawn byte is the decoded picture's, and the
// frame keeps the rest. 4-byte frames keep their fourth bytes.
TEST(JpegFrameDecoder, DrawsThePictureCutToTheFrameAtAnyWidth)
{
    std::vector<uint8_t> picture(size_t(W) * H * 3);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = uint8_t((i * 7 + i / 1920 * 3) % 251);
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(EncodeJpegBgr(picture.data(), W, H, 90, jpeg));
    JpegFrameDecoder decoder;
    std::vector<uint8_t> decoded;
    int width = 0, height = 0;
    ASSERT_TRUE(decoder.DecodeBgr(jpeg.data(), jpeg.size(), decoded, width, height));
    ASSERT_EQ(width, W);
    for (const auto& [frameWidth, frameHeight, bytes] :
         {std::tuple{W, H, 3}, std::tuple{W - 24, H, 3}, std::tuple{W + 40, H - 30, 3}, std::tuple{W - 8, H, 4}}) {
        SCOPED_TRACE(testing::Message() << frameWidth << " x " << frameHeight << " x " << bytes);
        FrameBuffer frame(frameWidth, frameHeight, bytes);
        std::memset(frame.Data(), 0x5A, frame.SizeBytes());
        ASSERT_TRUE(decoder.DrawOnto(jpeg.data(), jpeg.size(), frame.Pixels(), 0));
        const BitmapView f = frame.Pixels();
        for (int y = 0; y < frameHeight; ++y) {
            const uint8_t* row = f.TopRow(y);
            for (int x = 0; x < frameWidth; ++x)
                for (int c = 0; c < bytes; ++c) {
                    const uint8_t want = x < W && c < 3 ? decoded[(size_t(y) * W + x) * 3 + c] : 0x5A;
                    ASSERT_EQ(row[x * bytes + c], want) << x << "," << y << " byte " << c;
                }
        }
    }
}

class MjpgSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        source = std::make_shared<ManualSource>(subtype::Mjpg);
        ASSERT_TRUE(session.StartCapture(source));
        ASSERT_TRUE(EncodeJpegBgr(BandedPicture().data(), W, H, 90, good));
        source->Send(good);
        ASSERT_TRUE(session.ConvertNewestSample());
        kept.CopyFrom(session.FrameBitmap());
    }
    void ExpectKept()
    {
        ASSERT_TRUE(session.FrameBitmap().SameFormat(kept));
        EXPECT_EQ(0, std::memcmp(session.FrameBitmap().Data(), kept.Data(), kept.SizeBytes()));
    }
    CaptureSession session;
    std::shared_ptr<ManualSource> source;
    std::vector<uint8_t> good;
    FrameBuffer kept;
};

TEST_F(MjpgSession, FrameIs24BitAndTurned)
{
    EXPECT_EQ(session.PixelBytes(), 3);
    EXPECT_EQ(session.RowBytes(), 1920);
    // Turned: the red top band is now at the bottom, the picture's top rows hold the cut black band.
    EXPECT_GE(PixelAt(session.FrameBitmap().Pixels(), 5, 479 - 12).r, 240);
    EXPECT_LE(PixelAt(session.FrameBitmap().Pixels(), 5, 0).g, 4);
}

TEST_F(MjpgSession, TruncatedFrameKeepsThePreviousPicture)
{
    std::vector<uint8_t> truncated(good.begin(), good.begin() + long(good.size() / 2));
    source->Send(truncated);
    EXPECT_FALSE(session.ConvertNewestSample());
    ExpectKept();
}

TEST_F(MjpgSession, DamagedFrameEndingInD9KeepsThePreviousPicture)
{
    // Entropy data cut short but closed with FF D9: libjpeg only warns.
    std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 3));
    cut.push_back(0xFF);
    cut.push_back(0xD9);
    source->Send(cut);
    EXPECT_FALSE(session.ConvertNewestSample());
    ExpectKept();
    // Garbage between the markers: a fatal libjpeg error, caught without exit.
    std::vector<uint8_t> garbage = {0xFF, 0xD8, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xFF, 0xD9};
    source->Send(garbage);
    EXPECT_FALSE(session.ConvertNewestSample());
    ExpectKept();
    // And the decoder still works afterwards.
    source->Send(good);
    EXPECT_TRUE(session.ConvertNewestSample());
}

TEST(CaptureSession, TicksEndAtTheFirstStep)
{
    CaptureSession session;
    EXPECT_FALSE(session.ConvertNewestSample());  // nothing connected
    auto source = std::make_shared<ManualSource>(subtype::Yuy2);
    ASSERT_TRUE(session.StartCapture(source));
    EXPECT_EQ(session.PixelBytes(), 4);
    EXPECT_EQ(session.RowBytes(), 2560);
    EXPECT_FALSE(session.ConvertNewestSample());  // no sample yet
    source->Send(Yuy2Pattern());
    EXPECT_TRUE(session.ConvertNewestSample());
    source->EndStream();
    EXPECT_FALSE(session.ConvertNewestSample());  // the stream ended
}

TEST(CaptureSession, UnconvertedSubtypeKeepsFormatAndEndsTheTick)
{
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(std::make_shared<ManualSource>(subtype::Yuy2)));
    auto nv12 = std::make_shared<ManualSource>(0x3231564E);
    ASSERT_TRUE(session.StartCapture(nv12));
    EXPECT_EQ(session.SourceSubtype(), 0x3231564E);
    EXPECT_EQ(session.PixelBytes(), 4);
    nv12->Send(std::vector<uint8_t>(I420SampleBytes(W, H), 0x80));
    EXPECT_FALSE(session.ConvertNewestSample());
}

TEST(CaptureSession, OversizedUncompressedSampleStaysInsideTheBitmap)
{
    CaptureSession session;
    auto source = std::make_shared<ManualSource>(subtype::Rgb);
    ASSERT_TRUE(session.StartCapture(source));
    ASSERT_EQ(session.PixelBytes(), 3);
    std::vector<uint8_t> sample(size_t(1280) * 720 * 3, 0);
    sample[0] = 200;  // bottom row's first pixel, blue
    source->Send(sample);
    ASSERT_TRUE(session.ConvertNewestSample());
    EXPECT_EQ(session.FrameBitmap().SizeBytes(), size_t(W) * H * 3);
    // Bottom-left of the camera shows at the top-right after the turn.
    EXPECT_EQ(PixelAt(session.FrameBitmap().Pixels(), W - 1, 0).b, 200);
}

} // namespace

// Every (Y, U, V) of the byte range, into 4-byte pixels (the vectorised rows)
// and 3-byte pixels (the pixel loop), against the arithmetic written out in
// CaptureTestSupport.h; the fourth bytes keep what they held.
TEST(ConvertYUY2, EveryYuvTripleInBothPixelSizes)
{
    constexpr int Width = 512;  // 256 pairs: Y = 2k and 2k + 1
    constexpr int Height = 256; // one row per V
    std::vector<uint8_t> sample(Yuy2SampleBytes(Width, Height));
    for (int bpp : {4, 3}) {
        Bitmap frame(Width, Height, bpp);
        int wrong = 0;
        for (int u = 0; u < 256 && wrong == 0; ++u) {
            for (int v = 0; v < 256; ++v)
                for (int k = 0; k < Width / 2; ++k) {
                    uint8_t* p = sample.data() + (size_t(v) * Width + 2 * k) * 2;
                    p[0] = uint8_t(2 * k);
                    p[1] = uint8_t(u);
                    p[2] = uint8_t(2 * k + 1);
                    p[3] = uint8_t(v);
                }
            std::memset(frame.Data(), 0x5A, frame.ByteSize());
            ASSERT_TRUE(ConvertYUY2(Width, Height, sample.data(), sample.size(), frame.View()));
            for (int v = 0; v < 256; ++v)
                for (int y = 0; y < 256; ++y) {
                    const BitmapView f = frame.View();
                    if (PixelAt(f, y, v) != ExpectedPixel(y, u, v) ||
                        (bpp == 4 && f.TopRow(v)[size_t(y) * 4 + 3] != 0x5A)) {
                        if (++wrong <= 5)
                            ADD_FAILURE() << "Y " << y << " U " << u << " V " << v << ", " << bpp << " bytes";
                    }
                }
        }
    }
}
