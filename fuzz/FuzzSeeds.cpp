// Seeds drawn by the synthetic camera: a filled standard-answer card of each
// shipped template photographed as the camera would.
#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>

#include <jpeglib.h>

#include <QBuffer>
#include <QImage>

#include "cardprint/GuiApp.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "fuzz/FuzzEntries.h"

namespace fuzz {

namespace {

struct SynthPicture {
    std::string templateName;
    CardTemplate record{};
    QImage camera;  // the camera sample, 640 x 480
};

SynthPicture Synth(int index)
{
    cardprint::EnsureGuiApplication();
    const std::vector<cardprint::ShippedCard> cards = cardprint::ShippedCards();
    const cardprint::ShippedCard& card = cards[static_cast<std::size_t>(index) % cards.size()];
    cardprint::FilledCard filled;
    filled.abType = index % 2;
    filled.subject = "01";
    filled.score = "087";
    for (int q = 0; q < card.record.QuestionCount; ++q)
        filled.answers.push_back(std::string(1, static_cast<char>('A' + q % 4)));
    cardprint::SynthOptions o;
    o.seed = 7 + static_cast<uint64_t>(index);
    o.rotateDeg = index % 2 ? 2.0 : -1.5;
    return {card.fileName, card.record, cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, o)};
}

std::string Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

int ShippedCardCount()
{
    return static_cast<int>(cardprint::ShippedCards().size());
}

} // namespace

std::vector<uint8_t> SynthFrameBgr(const std::filesystem::path&, int index)
{
    const QImage rgb = Synth(index).camera.convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> bgr;
    bgr.reserve(static_cast<std::size_t>(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* row = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            bgr.push_back(row[x * 3 + 2]);
            bgr.push_back(row[x * 3 + 1]);
            bgr.push_back(row[x * 3]);
        }
    }
    return bgr;
}

std::vector<SeedPicture> SampleSeedPictures(const std::filesystem::path& dataFolder)
{
    const std::vector<uint8_t> frame = SynthFrameBgr(dataFolder, 2);
    SeedPicture crop{{}, 64, 48};
    for (int y = 200; y < 248; ++y)
        crop.bgr.insert(crop.bgr.end(), frame.begin() + (y * 640 + 300) * 3, frame.begin() + (y * 640 + 364) * 3);
    // Each pixel the mean of its 4 x 4 block, so that the lines stay visible.
    SeedPicture reduced{std::vector<uint8_t>(160 * 120 * 3), 160, 120};
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx)
                        sum += frame[static_cast<std::size_t>(((y * 4 + dy) * 640 + x * 4 + dx) * 3 + c)];
                reduced.bgr[static_cast<std::size_t>((y * 160 + x) * 3 + c)] = static_cast<uint8_t>(sum / 16);
            }
    return {crop, reduced};
}

std::string CmykJpeg(const std::vector<uint8_t>& cmyk, int width, int height)
{
    if (width <= 0 || height <= 0 || cmyk.size() != static_cast<std::size_t>(width) * height * 4)
        return {};
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    c.write_Adobe_marker = TRUE;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(cmyk.data()) + static_cast<std::size_t>(c.next_scanline) * width * 4;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::string bytes(reinterpret_cast<const char*>(mem), size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return bytes;
}

std::string WithExifOrientation(const std::string& jpeg, int orientation, bool bigEndian)
{
    auto u16 = [&](int v) {
        const char high = static_cast<char>(v >> 8 & 0xff), low = static_cast<char>(v & 0xff);
        return bigEndian ? std::string{high, low} : std::string{low, high};
    };
    auto u32 = [&](int v) { return bigEndian ? u16(v >> 16) + u16(v & 0xffff) : u16(v & 0xffff) + u16(v >> 16); };
    // The TIFF header, then the first directory with one entry: the
    // orientation, a SHORT, one value, padded to four bytes.
    const std::string tiff = std::string(bigEndian ? "MM" : "II") + u16(42) + u32(8) + u16(1) + u16(0x0112) +
                             u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const int length = static_cast<int>(payload.size()) + 2;
    const std::string segment =
        std::string("\xff\xe1") + static_cast<char>(length >> 8) + static_cast<char>(length & 0xff) + payload;
    return jpeg.substr(0, 2) + segment + jpeg.substr(std::min<std::size_t>(2, jpeg.size()));
}

std::vector<std::string> JpegPictureSeeds(const std::filesystem::path&)
{
    const QImage picture = Synth(0).camera;
    // A small CMYK one, inks inverted: no black, each colour's light as it is.
    const QImage small = picture.scaled(64, 48).convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> cmyk;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x) {
            const uchar* p = small.constScanLine(y) + x * 3;
            cmyk.insert(cmyk.end(), {p[0], p[1], p[2], 255});
        }
    return {Encoded(picture, "JPG"), Encoded(picture.scaled(320, 240), "JPG"),
            Encoded(picture.convertToFormat(QImage::Format_Grayscale8), "JPG"), CmykJpeg(cmyk, 64, 48),
            WithExifOrientation(Encoded(picture.scaled(64, 48), "JPG"), 6, true)};
}

std::vector<std::string> OtherPictureSeeds(const std::filesystem::path&)
{
    const QImage picture = Synth(1).camera;
    return {Encoded(picture, "PNG"), Encoded(picture.scaled(320, 240), "PNG"),
            Encoded(picture.convertToFormat(QImage::Format_Indexed8).scaled(64, 48), "PNG"),
            Encoded(picture.scaled(64, 48), "BMP"),
            // 4 x 2 pixels of a run-length BMP, for the walk through its runs.
            std::string("\x42\x4d\x4c\x00\x00\x00\x00\x00\x00\x00\x3e\x00\x00\x00\x28\x00\x00\x00\x04\x00"
                        "\x00\x00\x02\x00\x00\x00\x01\x00\x08\x00\x01\x00\x00\x00\x0e\x00\x00\x00\x00\x00"
                        "\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\xff"
                        "\xff\x00\x04\x00\x00\x00\x00\x04\x01\x01\x01\x01\x00\x00\x00\x01",
                        76),
            // Qt writes no GIF: 2 x 1 pixels by hand, black and white, for the block chain's checks.
            std::string("GIF89a\x02\0\x01\0\x80\0\0\0\0\0\xff\xff\xff\x2c\0\0\0\0\x02\0\x01\0\0\x02\x02\x44\x0a\0;", 35)};
}

std::vector<std::string> MarkingSeeds(const std::filesystem::path&)
{
    std::vector<std::string> seeds;
    for (int i = 0; i < ShippedCardCount(); ++i) {
        const SynthPicture p = Synth(i);
        std::string head(1, static_cast<char>(IsJdTemplate(p.templateName) ? 1 : 0));
        head.append(reinterpret_cast<const char*>(&p.record), sizeof p.record);
        // The colour sample as the camera hands it over.
        const cardprint::CameraSample sample = cardprint::ToCameraSample(p.camera, 3);
        seeds.push_back(head + std::string(sample.pixels.begin(), sample.pixels.end()));
        // The grey form, top row first.
        const QImage grey = p.camera.convertToFormat(QImage::Format_Grayscale8);
        std::string pixels;
        for (int y = 0; y < grey.height(); ++y)
            pixels.append(reinterpret_cast<const char*>(grey.constScanLine(y)), static_cast<std::size_t>(grey.width()));
        seeds.push_back(head + pixels);
    }
    return seeds;
}

} // namespace fuzz
