// The camera sample and picture fuzz entries over seeds from the synthetic
// camera and seeded mutations of them.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "cardprint/GuiApp.h"
#include "cli/PictureLoading.h"
#include "fuzz/FuzzReplay.h"
#include "platform/Files.h"
#include "support/TempDir.h"

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

// Little-endian fields of hand-made picture headers.
std::string Le16(int v) { return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string Le32(int v) { return Le16(v & 0xffff) + Le16(v >> 16); }

// The picture loader on `bytes`, written to `path` first.
bool LoadBytes(const std::filesystem::path& path, const std::string& bytes, cli::Picture& picture, std::string& error)
{
    EXPECT_TRUE(files::WriteAll(path, bytes));
    return cli::LoadPicture(path, picture, error);
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

// A 27-byte BMP from the fuzzer whose info header claims 672 MB: Qt's reader
// made a picture of it, 0.4 GB and a third of a second. Headers the file does
// not hold are refused before any decoding, in either header form; a whole
// picture in the oldest form (12-byte header) still loads.
TEST(PictureFuzzReplay, BmpHeadersTheFileDoesNotHoldAreCutShort)
{
    TempDir dir;
    auto load = [&](const std::string& bytes, cli::Picture& picture, std::string& error) {
        return LoadBytes(dir / "p.bmp", bytes, picture, error);
    };
    const unsigned char fuzzed[] = {0x42, 0x4d, 0x36, 0xff, 0xff, 0x7e, 0xd7, 0x8d, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0x01, 0x00, 0x13, 0x28, 0x01, 0x2e, 0xd1, 0xfa, 0x01, 0x00, 0x18, 0x00, 0xff};
    cli::Picture picture;
    std::string error;
    EXPECT_FALSE(load(std::string(reinterpret_cast<const char*>(fuzzed), sizeof fuzzed), picture, error));
    EXPECT_EQ(error, "the picture is cut short: 27 of the " + std::to_string(14 + 0x28130001LL) +
                         " bytes its header gives");

    // The 12-byte header: 2 x 2 pixels of 24 bits, rows padded to 8 bytes.
    const std::string core = "BM" + Le32(42) + Le32(0) + Le32(26) + Le32(12) + Le16(2) + Le16(2) + Le16(1) + Le16(24);
    const std::string rows = std::string("\x10\x20\x30\x40\x50\x60\0\0", 8) + std::string("\x70\x80\x90\xa0\xb0\xc0\0\0", 8);
    ASSERT_TRUE(load(core + rows, picture, error)) << error;
    EXPECT_EQ(picture.width, 2);
    EXPECT_EQ(picture.height, 2);
    EXPECT_FALSE(load(core + rows.substr(0, 12), picture, error));
    EXPECT_EQ(error, "the picture is cut short: 38 of the 42 bytes its header gives");
    EXPECT_FALSE(load(core.substr(0, 20), picture, error));
    EXPECT_EQ(error, "the picture is cut short: 20 of the 26 bytes its header gives");
}

// A 27-byte BMP from the fuzzer whose info header says it is 0 bytes long:
// Qt read it as a picture of 3072 x 10456 pixels (340 MB, and 13 s under the
// fuzzer's sanitizers). No BMP header has such a size; the short OS/2 form
// of 16 bytes is held to its rows like the others.
TEST(PictureFuzzReplay, ABmpHeaderOfASizeNoBmpHasIsRefused)
{
    TempDir dir;
    const unsigned char fuzzed[] = {0x42, 0x4d, 0x36, 0xff, 0xff, 0x7e, 0x65, 0x8d, 0xd7, 0xd7, 0x8d, 0xdf, 0x00, 0x00,
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x28, 0xd7, 0x01, 0x00, 0x18, 0x00, 0xff};
    cli::Picture picture;
    std::string error;
    EXPECT_FALSE(LoadBytes(dir / "p.bmp", std::string(reinterpret_cast<const char*>(fuzzed), sizeof fuzzed), picture,
                           error));
    EXPECT_EQ(error, "the picture's BMP header is damaged: no BMP header is 0 bytes long");

    // 4 x 300 pixels of 24 bits behind a 16-byte header: 30 + 3600 bytes.
    const std::string os2 = "BM" + Le32(3630) + Le32(0) + Le32(30) + Le32(16) + Le32(4) + Le32(300) + Le16(1) + Le16(24);
    EXPECT_FALSE(LoadBytes(dir / "p.bmp", os2 + std::string(100, '\x7f'), picture, error));
    EXPECT_EQ(error, "the picture is cut short: 130 of the 3630 bytes its header gives");
}

// A run-length BMP has no fixed row length; Qt's reader filled in what one
// cut short lacked, and a card cut 10 % short was read as whole. Its runs
// must reach their end mark.
TEST(PictureLoading, ARunLengthBmpCutShortIsRefused)
{
    TempDir dir;
    // 4 x 2 pixels of a black and white palette: a run of four blacks, the
    // row's end, four pixels as they are, the row's end, the picture's end.
    auto bmp = [&](int bits, const std::string& runs) {
        const int offset = 14 + 40 + 8;
        return "BM" + Le32(offset + static_cast<int>(runs.size())) + Le32(0) + Le32(offset) + Le32(40) + Le32(4) + Le32(2) +
               Le16(1) + Le16(bits) + Le32(bits == 8 ? 1 : 2) + Le32(static_cast<int>(runs.size())) + Le32(0) + Le32(0) +
               Le32(2) + Le32(0) + std::string("\0\0\0\0\xff\xff\xff\0", 8) + runs;
    };
    const std::string rle8 = bmp(8, std::string("\x04\0\0\0\0\x04\x01\x01\x01\x01\0\0\0\x01", 14));
    const std::string rle4 = bmp(4, std::string("\x04\0\0\0\0\x04\x11\x11\0\0\0\x01", 12));
    cli::Picture picture;
    std::string error;
    for (const std::string* whole : {&rle8, &rle4}) {
        ASSERT_TRUE(LoadBytes(dir / "p.bmp", *whole, picture, error)) << error;
        // The rows are stored bottom-up: the white row is the top one.
        EXPECT_EQ(picture.rgb, (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, //
                                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        const std::size_t size = whole->size();
        EXPECT_FALSE(LoadBytes(dir / "p.bmp", whole->substr(0, size - 2), picture, error));
        EXPECT_EQ(error, "the picture is cut short: " + std::to_string(size - 2) +
                             " bytes, and its compressed rows need " + std::to_string(size) + " or more");
    }
    EXPECT_FALSE(LoadBytes(dir / "p.bmp", rle8.substr(0, 70), picture, error)); // inside the pixels as they are
    EXPECT_EQ(error, "the picture is cut short: 70 bytes, and its compressed rows need 74 or more");
}

// A JPEG is read as JPEG whatever its name: named ".png" it went to Qt's
// reader, which gives a JPEG cut short with its missing rows grey.
TEST(PictureLoading, AJpegIsReadAsJpegWhateverItsName)
{
    cardprint::EnsureGuiApplication();
    QImage image(64, 48, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 3));
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "JPG", 90));
    const std::string jpeg(encoded.constData(), static_cast<std::size_t>(encoded.size()));

    TempDir dir;
    cli::Picture picture;
    std::string error;
    for (const char* name : {"p.jfif", "p.png", "p"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(LoadBytes(dir / name, jpeg, picture, error)) << error;
        EXPECT_EQ(picture.width, 64);
        EXPECT_FALSE(LoadBytes(dir / name, jpeg.substr(0, jpeg.size() * 7 / 10), picture, error));
        EXPECT_EQ(error, "Premature end of JPEG file");
    }
}

// A scanner's CMYK JPEG, inks inverted as Adobe writes them, reads as the
// colours a picture viewer shows; libjpeg alone refused it.
TEST(PictureLoading, ACmykJpegReadsAsItsColours)
{
    constexpr int W = 16, H = 8;
    std::vector<uint8_t> pixels;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // left half yellow (no yellow ink stored inverted: 0), right half half-dark cyan
            const uint8_t left[4] = {255, 255, 0, 255}, right[4] = {0, 255, 255, 128};
            pixels.insert(pixels.end(), x < W / 2 ? left : right, (x < W / 2 ? left : right) + 4);
        }
    const std::string jpeg = fuzz::CmykJpeg(pixels, W, H);

    TempDir dir;
    cli::Picture picture;
    std::string error;
    ASSERT_TRUE(LoadBytes(dir / "scan.jpg", jpeg, picture, error)) << error;
    ASSERT_EQ(picture.width, W);
    ASSERT_EQ(picture.height, H);
    auto near = [&](int x, int y, int r, int g, int b) {
        const uint8_t* p = picture.rgb.data() + (static_cast<std::size_t>(y) * W + x) * 3;
        return std::abs(p[0] - r) <= 3 && std::abs(p[1] - g) <= 3 && std::abs(p[2] - b) <= 3;
    };
    EXPECT_TRUE(near(1, 3, 255, 255, 0));
    EXPECT_TRUE(near(14, 3, 0, 128, 128));
    EXPECT_FALSE(LoadBytes(dir / "scan.jpg", jpeg.substr(0, jpeg.size() / 2), picture, error));
    EXPECT_EQ(error, "Premature end of JPEG file");
}

// A phone held upright stores its picture on its side and says so in its
// Exif block; the picture is read as picture viewers show it. Each quarter
// of a 64 x 32 picture has its own colour; seen, the corners hold them as
// each orientation turns or mirrors them.
TEST(PictureLoading, APhonePictureIsReadTheWayUpItsExifBlockSays)
{
    cardprint::EnsureGuiApplication();
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    QImage image(64, 32, QImage::Format_RGB888);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, y < 16 ? (x < 32 ? red : green) : (x < 32 ? blue : white));
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "JPG", 100));
    const std::string jpeg(encoded.constData(), static_cast<std::size_t>(encoded.size()));

    struct Seen {
        int orientation;
        QRgb topLeft, topRight, bottomLeft, bottomRight;
    };
    const Seen cases[] = {
        {1, red, green, blue, white},  {2, green, red, white, blue}, {3, white, blue, green, red},
        {4, blue, white, red, green},  {5, red, blue, green, white}, {6, blue, red, white, green},
        {7, white, green, blue, red},  {8, green, white, red, blue},
    };
    TempDir dir;
    cli::Picture picture;
    std::string error;
    for (const bool bigEndian : {false, true})
        for (const Seen& c : cases) {
            SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << (bigEndian ? ", MM" : ", II"));
            ASSERT_TRUE(LoadBytes(dir / "phone.jpg", fuzz::WithExifOrientation(jpeg, c.orientation, bigEndian),
                                  picture, error))
                << error;
            const bool onItsSide = c.orientation >= 5;
            ASSERT_EQ(picture.width, onItsSide ? 32 : 64);
            ASSERT_EQ(picture.height, onItsSide ? 64 : 32);
            auto at = [&](int x, int y) {
                const uint8_t* p = picture.rgb.data() + (static_cast<std::size_t>(y) * picture.width + x) * 3;
                return qRgb(p[0] > 128 ? 255 : 0, p[1] > 128 ? 255 : 0, p[2] > 128 ? 255 : 0);
            };
            const int right = picture.width - 4, bottom = picture.height - 4;
            EXPECT_EQ(at(3, 3), c.topLeft);
            EXPECT_EQ(at(right, 3), c.topRight);
            EXPECT_EQ(at(3, bottom), c.bottomLeft);
            EXPECT_EQ(at(right, bottom), c.bottomRight);
        }

    // An orientation no camera writes, or a block cut inside its directory,
    // leaves the picture as stored.
    for (const std::string& odd : {fuzz::WithExifOrientation(jpeg, 9, false), fuzz::WithExifOrientation(jpeg, 0, true)}) {
        ASSERT_TRUE(LoadBytes(dir / "phone.jpg", odd, picture, error)) << error;
        EXPECT_EQ(picture.width, 64);
    }
    std::string cut = fuzz::WithExifOrientation(jpeg, 6, false);
    cut.erase(2 + 4 + 6 + 8 + 2 + 4, 26 - 8 - 2 - 4); // the entry from its type on, and what follows
    cut[5] = static_cast<char>(2 + 6 + 8 + 2 + 4); // the segment's length
    ASSERT_TRUE(LoadBytes(dir / "phone.jpg", cut, picture, error)) << error;
    EXPECT_EQ(picture.width, 64);
}

// Qt's GIF reader fills in what a GIF cut short lacks: a synthetic card
// missing its last tenth was read as a whole card. A GIF that ends inside
// one of its blocks is refused; a whole one loads, also without the trailer
// some writers leave out.
TEST(PictureLoading, AGifCutShortIsRefusedAndAWholeOneLoads)
{
    TempDir dir;
    auto load = [&](const std::string& bytes, cli::Picture& picture, std::string& error) {
        return LoadBytes(dir / "p.gif", bytes, picture, error);
    };
    // 2 x 1 pixels, black and white: a two-colour table, then the codes
    // clear, 0, 1, end in 3 bits each.
    const std::string screen = std::string("GIF89a\x02\0\x01\0\x80\0\0", 13) + std::string("\0\0\0\xff\xff\xff", 6);
    const std::string image = std::string("\x2c\0\0\0\0\x02\0\x01\0\0", 10) + std::string("\x02\x02\x44\x0a\0", 5);
    const std::string whole = screen + image + ";";
    cli::Picture picture;
    std::string error;
    ASSERT_TRUE(load(whole, picture, error)) << error;
    EXPECT_EQ(picture.rgb, (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
    ASSERT_TRUE(load(screen + image, picture, error)) << error;

    auto refused = [&](std::size_t size, const std::string& why) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(load(whole.substr(0, size), picture, error));
        EXPECT_EQ(error, why);
    };
    refused(32, "the picture is cut short: 32 bytes, and its GIF blocks need 33 or more"); // inside the data
    refused(33, "the picture is cut short: 33 bytes, and its GIF blocks need 34 or more"); // before the data's end
    refused(24, "the picture is cut short: 24 bytes, and its GIF blocks need 29 or more"); // inside the descriptor
    refused(16, "the picture is cut short: 16 bytes, and its GIF blocks need 19 or more"); // inside the colours
    refused(8, "the picture is cut short: 8 bytes, and its GIF blocks need 13 or more");
}
