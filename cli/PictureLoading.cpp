#include "cli/PictureLoading.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#include <jpeglib.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include "capture/JpegFrame.h"
#include "cardprint/GuiApp.h"
#include "platform/Files.h"

namespace cli {

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFail(j_common_ptr info)
{
    auto* err = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, err->message);
    throw std::runtime_error(err->message);
}

// libjpeg only warns about a file cut short or corrupt data, and fills what is
// missing with grey: a card cut 6 KB short still read as accepted, its lost
// rows read as marks. Like a corrupt camera sample, such a file is refused,
// and at once: decoding the grey rows after it cost as much as a whole
// picture, and a file of a few bytes may claim tens of millions of pixels.
void JpegWarn(j_common_ptr info, int level)
{
    if (level < 0)
        JpegFail(info);
}

std::string TooLarge(long long width, long long height)
{
    return "the picture claims " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than any camera sends";
}

// Such files hold their inks inverted (as Adobe writes them, and as picture
// viewers read them): a channel's light is its value times the black's.
void CmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, int width)
{
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const int k = cmyk[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = static_cast<uint8_t>(cmyk[c] * k / 255);
    }
}

// The orientation a camera's Exif block gives its picture (1 to 8, 1 as
// stored), or 1 when there is none or it cannot be read: a phone held upright
// stores its picture lying on its side and says so only here.
int ExifOrientation(const jpeg_decompress_struct& info)
{
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        const uint8_t* d = m->data;
        const std::size_t n = m->data_length;
        if (m->marker != JPEG_APP0 + 1 || n < 14 || std::memcmp(d, "Exif\0\0", 6) != 0)
            continue;
        const uint8_t* tiff = d + 6;
        const std::size_t size = n - 6;
        const bool big = tiff[0] == 'M' && tiff[1] == 'M';
        if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
            return 1;
        auto u16 = [&](std::size_t at) {
            return big ? tiff[at] << 8 | tiff[at + 1] : tiff[at + 1] << 8 | tiff[at];
        };
        auto u32 = [&](std::size_t at) {
            const std::size_t high = u16(big ? at : at + 2), low = u16(big ? at + 2 : at);
            return high << 16 | low;
        };
        const std::size_t ifd = u32(4);
        if (ifd > size - 2)
            return 1;
        const std::size_t entries = u16(ifd);
        for (std::size_t i = 0; i < entries && ifd + 2 + (i + 1) * 12 <= size; ++i) {
            const std::size_t e = ifd + 2 + i * 12;
            if (u16(e) != 0x0112)
                continue;
            const int value = u16(e + 8);
            return u16(e + 2) == 3 && value >= 1 && value <= 8 ? value : 1; // a SHORT
        }
        return 1;
    }
    return 1;
}

// Turns the picture as it is meant to be seen (as picture viewers show it):
// each row of it walks the stored picture from a corner, along a row or a
// column.
void Orient(Picture& p, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return;
    const std::ptrdiff_t w = p.width, h = p.height;
    struct Walk {
        std::ptrdiff_t startX, startY, stepX, stepY; // in stored pixels, per pixel and per row seen
    };
    const Walk walks[9] = {
        {}, {},
        {w - 1, 0, -1, w},              // 2: mirrored
        {w - 1, h - 1, -1, -w},         // 3: upside down
        {0, h - 1, 1, -w},              // 4: mirrored upside down
        {0, 0, w, 1},                   // 5: mirrored, on its side
        {0, h - 1, -w, 1},              // 6: to be turned clockwise
        {w - 1, h - 1, -w, -1},         // 7: mirrored, on its other side
        {w - 1, 0, w, -1},              // 8: to be turned anticlockwise
    };
    const Walk& walk = walks[orientation];
    if (orientation >= 5)
        std::swap(p.width, p.height);
    std::vector<uint8_t> seen(p.rgb.size());
    uint8_t* dst = seen.data();
    for (std::ptrdiff_t y = 0; y < p.height; ++y) {
        std::ptrdiff_t at = walk.startY * w + walk.startX + y * walk.stepY;
        for (int x = 0; x < p.width; ++x, at += walk.stepX, dst += 3)
            std::memcpy(dst, p.rgb.data() + at * 3, 3);
    }
    p.rgb = std::move(seen);
}

// libjpeg-turbo decodes at 1/2, 1/4 or 1/8 of the size for a fraction of the
// work and memory: an 8000 x 6000 card becomes 1000 x 750, still more than
// the 640 x 480 frame it is fitted into. The largest such step that keeps the
// picture at least as large as its fitted frame.
unsigned FrameScaleDenominator(long long width, long long height, int orientation)
{
    if (orientation >= 5)
        std::swap(width, height);
    const double over = std::max(static_cast<double>(width) / SampleWidth, static_cast<double>(height) / SampleHeight);
    for (unsigned denominator : {8u, 4u, 2u})
        if (over >= denominator)
            return denominator;
    return 1;
}

bool DecodeJpeg(const std::string& bytes, bool forFrame, Picture& out, std::string& error)
{
    jpeg_decompress_struct info{};
    JpegError err{};
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.emit_message = JpegWarn;
    try {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xffff);
        jpeg_read_header(&info, TRUE);
        // Read now: finishing the decompression frees the saved markers.
        const int orientation = ExifOrientation(info);
        if (!PictureSizeAcceptable(info.image_width, info.image_height))
            throw std::runtime_error(TooLarge(info.image_width, info.image_height));
        // Scanners may save CMYK, which libjpeg does not turn into RGB itself.
        const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
        info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
        if (forFrame) {
            info.scale_num = 1;
            info.scale_denom = FrameScaleDenominator(info.image_width, info.image_height, orientation);
        }
        jpeg_start_decompress(&info);
        out.width = static_cast<int>(info.output_width);
        out.height = static_cast<int>(info.output_height);
        // Reserved, then grown a row at a time: a few bytes may claim tens
        // of millions of pixels, and the file is refused where its data ends,
        // before memory for rows it never had is touched.
        const std::size_t rowBytes = static_cast<std::size_t>(out.width) * 3;
        std::vector<uint8_t> cmykRow(cmyk ? static_cast<std::size_t>(out.width) * 4 : 0);
        out.rgb.clear();
        out.rgb.reserve(rowBytes * out.height);
        while (info.output_scanline < info.output_height) {
            const std::size_t at = static_cast<std::size_t>(info.output_scanline) * rowBytes;
            out.rgb.resize(at + rowBytes);
            JSAMPROW row = cmyk ? cmykRow.data() : out.rgb.data() + at;
            jpeg_read_scanlines(&info, &row, 1);
            if (cmyk)
                CmykRowToRgb(cmykRow.data(), out.rgb.data() + at, out.width);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        Orient(out, orientation);
        return true;
    } catch (const std::exception& e) {
        jpeg_destroy_decompress(&info);
        error = e.what();
        return false;
    }
}

// Run-length rows (8 or 4 bits a pixel) have no fixed length, but the runs
// end with a mark of their own; Qt's reader fills in what a file cut before
// it lacks, and a card cut 10 % short was read as whole. The runs are walked
// from `at` to that mark, pair by pair as the format lays them out.
std::string CutShortBmpRuns(const std::string& bytes, long long at, bool fourBits)
{
    const long long size = static_cast<long long>(bytes.size());
    auto byte = [&](long long i) { return static_cast<uint8_t>(bytes[static_cast<std::size_t>(i)]); };
    for (;;) {
        if (at + 2 > size)
            return "the picture is cut short: " + std::to_string(size) + " bytes, and its compressed rows need " +
                   std::to_string(at + 2) + " or more";
        const int count = byte(at), value = byte(at + 1);
        at += 2;
        if (count != 0 || value == 0)  // a run of one value, or the end of a row
            continue;
        if (value == 1)  // the end of the picture
            return {};
        if (value == 2) {  // a move right and up
            at += 2;
            continue;
        }
        // Pixels as they are, padded to a 16-bit boundary.
        const int pixelBytes = fourBits ? (value + 1) / 2 : value;
        at += pixelBytes + (pixelBytes & 1);
    }
}

// Qt's BMP reader stops where the file does and gives the rows it never got
// as black: a header alone read as a card full of black dots, and a header
// cut inside itself could still claim a picture of hundreds of megabytes.
// Uncompressed rows have a fixed length, so a file shorter than its headers
// or its rows say is refused.
std::string CutShortBmp(const std::string& bytes)
{
    if (bytes.size() < 2 || bytes.compare(0, 2, "BM") != 0)
        return {};
    auto le = [&](std::size_t at, int size) {
        uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
        return v;
    };
    auto cut = [&](long long needed) {
        return "the picture is cut short: " + std::to_string(bytes.size()) + " of the " + std::to_string(needed) +
               " bytes its header gives";
    };
    const long long size = static_cast<long long>(bytes.size());
    constexpr long long FileHeader = 14, CoreHeader = 12, ShortOs2Header = 16, InfoHeader = 40;
    if (size < FileHeader + 4)
        return cut(FileHeader + CoreHeader);
    const long long infoSize = le(14, 4);
    const long long headers = FileHeader + std::max(infoSize, CoreHeader);
    if (size < headers)
        return cut(headers);
    long long width = 0, height = 0, bits = 0, compression = 0;
    if (infoSize == CoreHeader) {  // the oldest form: 16-bit sizes, never compressed
        width = le(18, 2);
        height = le(20, 2);
        bits = le(24, 2);
    } else if (infoSize >= ShortOs2Header) {  // 32-bit sizes; the short OS/2 form ends before the compression
        width = static_cast<int32_t>(le(18, 4));
        height = std::llabs(static_cast<int32_t>(le(22, 4)));
        bits = le(28, 2);
        compression = infoSize >= InfoHeader ? le(30, 4) : 0;
    } else {
        // No BMP has such a header, yet Qt read one of 0 bytes as a picture
        // of 32 megapixels, all black but for what 27 bytes held.
        return "the picture's BMP header is damaged: no BMP header is " + std::to_string(infoSize) + " bytes long";
    }
    if (!PictureSizeAcceptable(width, height))
        return {};  // refused later, with the size it claims
    const long long dataStart = std::max<long long>(le(10, 4), headers);
    if (compression == 1 || compression == 2)
        return CutShortBmpRuns(bytes, dataStart, compression == 2);
    if (compression != 0 && compression != 3)
        return {};
    const long long rowBytes = (width * bits + 31) / 32 * 4;
    const long long needed = dataStart + rowBytes * height;
    return size >= needed ? std::string() : cut(needed);
}

// Qt's GIF reader, made to show pictures while they download, gives what it
// has of a GIF cut short, the rest of the picture filled in: a card missing
// its last tenth was read as a whole card. A GIF is a chain of blocks ending
// in a trailer; a file that ends inside one of them (its colour tables, its
// descriptors, its chains of data sub-blocks) is refused. One that ends
// between whole blocks without the trailer is left to Qt: some writers omit
// it, and every picture in it is whole.
std::string CutShortGif(const std::string& bytes)
{
    if (bytes.size() < 6 || (bytes.compare(0, 6, "GIF87a") != 0 && bytes.compare(0, 6, "GIF89a") != 0))
        return {};
    const std::size_t size = bytes.size();
    auto byte = [&](std::size_t i) { return static_cast<uint8_t>(bytes[i]); };
    auto cut = [&](std::size_t needed) {
        return "the picture is cut short: " + std::to_string(size) + " bytes, and its GIF blocks need " +
               std::to_string(needed) + " or more";
    };
    auto colourTable = [](uint8_t packed) -> std::size_t {
        return packed & 0x80 ? std::size_t(3) << ((packed & 7) + 1) : 0;
    };
    // Data sub-blocks: a length byte, that many bytes, until a length of 0.
    auto subBlocks = [&](std::size_t& at) {
        for (;;) {
            if (at >= size)
                return false;
            const std::size_t length = byte(at);
            at += 1 + length;
            if (length == 0)
                return true;
        }
    };
    std::size_t at = 13; // signature and logical screen descriptor
    if (size < at)
        return cut(at);
    at += colourTable(byte(10));
    while (at < size) {
        const uint8_t introducer = byte(at);
        if (introducer == 0x3B) // trailer
            return {};
        if (introducer == 0x21) { // extension: its label, then sub-blocks
            at += 2;
        } else if (introducer == 0x2C) { // image: descriptor, colour table, LZW code size, sub-blocks
            if (at + 10 > size)
                return cut(at + 10);
            at += 10 + colourTable(byte(at + 9)) + 1;
        } else {
            return {}; // not a block GIF has: Qt says what it makes of it
        }
        if (!subBlocks(at))
            return cut(std::max(at, size + 1));
    }
    return at > size ? cut(at) : std::string();
}

std::string NoMemory(long long width, long long height)
{
    return "not enough memory for the picture's " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels (close other programs, or use fewer --jobs)";
}

// Qt answers a failed allocation with a null image, which drawn or copied is
// a blank frame: a readable card would be reported as no card at all.
bool FromQImage(const QImage& image, Picture& p, std::string& error)
{
    QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (image.isNull() || rgb.isNull()) {
        error = NoMemory(image.width(), image.height());
        return false;
    }
    p.width = rgb.width();
    p.height = rgb.height();
    // Appended row by row: zeroing the whole picture first was a pass more.
    const std::size_t rowBytes = static_cast<std::size_t>(p.width) * 3;
    p.rgb.clear();
    p.rgb.reserve(rowBytes * p.height);
    for (int y = 0; y < p.height; ++y)
        p.rgb.insert(p.rgb.end(), rgb.constScanLine(y), rgb.constScanLine(y) + rowBytes);
    return true;
}

bool IsJpegPath(const std::filesystem::path& path)
{
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".jpg" || ext == ".jpeg";
}

} // namespace

static bool LoadPictureBytes(const std::string& bytes, bool jpeg, bool forFrame, Picture& out, std::string& error)
{
    if (jpeg)
        return DecodeJpeg(bytes, forFrame, out, error);
    cardprint::EnsureGuiApplication();
    // Qt refuses pictures over 128 MB by default, an 8000 x 6000 PNG among
    // them, as "not a picture": our own size limit is the one that holds.
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(static_cast<int>(MaxPicturePixels * 4 / (1024 * 1024)) + 1);
        return true;
    }();
    (void)limitSet;
    QBuffer buffer;
    buffer.setData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QSize claimed = QImageReader(&buffer).size();
    if (claimed.isValid() && !PictureSizeAcceptable(claimed.width(), claimed.height())) {
        error = TooLarge(claimed.width(), claimed.height());
        return false;
    }
    std::string cut = CutShortBmp(bytes);
    if (cut.empty())
        cut = CutShortGif(bytes);
    if (!cut.empty()) {
        error = cut;
        return false;
    }
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()))) {
        // Qt says the same for a picture it had no memory for: whether an
        // image of the size the header gives can be had tells which.
        if (claimed.isValid() && QImage(claimed, QImage::Format_ARGB32).isNull())
            error = NoMemory(claimed.width(), claimed.height());
        else
            error = "not a picture this command can read";
        return false;
    }
    // Not every header gives its size before decoding (a top-down BMP's
    // negative height does not): the picture itself is held to the limits.
    if (!PictureSizeAcceptable(image.width(), image.height())) {
        error = TooLarge(image.width(), image.height());
        return false;
    }
    return FromQImage(image, out, error);
}

bool LoadPicture(const std::filesystem::path& path, Picture& out, std::string& error, bool forFrame)
{
    std::string why;
    auto bytes = files::ReadAll(path, &why, MaxPictureFileBytes);
    if (!bytes) {
        error = "cannot read the file: " + why;
        return false;
    }
    // By its first bytes too: a JPEG named otherwise (".jfif", ".png", no
    // extension) went to Qt's reader, which reads one cut short as whole.
    const bool jpeg = IsJpegPath(path) || bytes->compare(0, 3, "\xff\xd8\xff") == 0;
    try {
        return LoadPictureBytes(*bytes, jpeg, forFrame, out, error);
    } catch (const std::bad_alloc&) {
        error = NoMemory(out.width, out.height);
        out = {};
        return false;
    }
}

bool FitIntoFrame(const Picture& p, Picture& out, std::string& error)
{
    cardprint::EnsureGuiApplication();
    QImage source(p.rgb.data(), p.width, p.height, p.width * 3, QImage::Format_RGB888);
    QImage frame(SampleWidth, SampleHeight, QImage::Format_RGB888);
    QImage scaled = source.scaled(SampleWidth, SampleHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (frame.isNull() || scaled.isNull()) {
        error = NoMemory(p.width, p.height);
        return false;
    }
    frame.fill(Qt::white);
    QPainter painter(&frame);
    painter.drawImage((SampleWidth - scaled.width()) / 2, (SampleHeight - scaled.height()) / 2, scaled);
    painter.end();
    try {
        return FromQImage(frame, out, error);
    } catch (const std::bad_alloc&) {
        error = NoMemory(p.width, p.height);
        return false;
    }
}

namespace {

// Pictures being decoded hold at most this much memory at once, whatever
// --jobs is: eight workers on 8000 x 8000 JPEGs took 4.9 GB. A picture that
// needs more than the whole of it is decoded alone.
constexpr std::uint64_t DecodeMemoryBudget = 1ULL << 30;

class DecodeMemory {
public:
    void Acquire(std::uint64_t bytes)
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return holders_ == 0 || used_ + bytes <= DecodeMemoryBudget; });
        used_ += bytes;
        ++holders_;
    }
    void Release(std::uint64_t bytes)
    {
        std::lock_guard lock(mutex_);
        used_ -= bytes;
        --holders_;
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t used_ = 0;
    int holders_ = 0;
};

DecodeMemory& SharedDecodeMemory()
{
    static DecodeMemory memory;
    return memory;
}

class DecodeMemoryHold {
public:
    explicit DecodeMemoryHold(std::uint64_t bytes) : bytes_(bytes) { SharedDecodeMemory().Acquire(bytes_); }
    ~DecodeMemoryHold() { SharedDecodeMemory().Release(bytes_); }
    DecodeMemoryHold(const DecodeMemoryHold&) = delete;
    DecodeMemoryHold& operator=(const DecodeMemoryHold&) = delete;

private:
    std::uint64_t bytes_;
};

// What decoding the picture in `path` for the frame will hold at its peak:
// the file's bytes and, from the size its header claims, the pixels (a JPEG
// at its reduced size, twice for the turn an Exif orientation may ask; other
// formats as Qt's image, its RGB copy and ours). A header that gives no size
// counts as the largest picture taken.
std::uint64_t DecodePeakBytes(const std::filesystem::path& path)
{
    std::error_code ec;
    const std::uint64_t fileBytes = std::filesystem::file_size(path, ec);
    if (ec)
        return 0;  // the load says why
    const auto head = files::ReadHead(path, 256 * 1024);
    long long width = 0, height = 0;
    std::uint64_t bytesPerPixel = 10;
    if (head && head->compare(0, 3, "\xff\xd8\xff") == 0) {
        jpeg_decompress_struct info{};
        JpegError err{};
        info.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = JpegFail;
        err.mgr.emit_message = [](j_common_ptr, int) {};
        try {
            jpeg_create_decompress(&info);
            jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(head->data()), head->size());
            jpeg_read_header(&info, TRUE);
            const unsigned d = FrameScaleDenominator(info.image_width, info.image_height, 1);
            width = (info.image_width + d - 1) / d;
            height = (info.image_height + d - 1) / d;
            bytesPerPixel = 6;
        } catch (const std::exception&) {
        }
        jpeg_destroy_decompress(&info);
    } else if (head) {
        cardprint::EnsureGuiApplication();
        QBuffer buffer;
        buffer.setData(head->data(), static_cast<qsizetype>(head->size()));
        const QSize claimed = QImageReader(&buffer).size();
        width = claimed.isValid() ? claimed.width() : 0;
        height = claimed.isValid() ? claimed.height() : 0;
    }
    if (!PictureSizeAcceptable(width, height)) {  // unknown, or refused right after the header
        width = MaxPicturePixels;
        height = 1;
    }
    return fileBytes + static_cast<std::uint64_t>(width * height) * bytesPerPixel;
}

} // namespace

bool LoadFramePicture(const std::filesystem::path& path, bool fit, Picture& out, std::string& error)
{
    DecodeMemoryHold hold(DecodePeakBytes(path));
    if (!LoadPicture(path, out, error, fit))
        return false;
    if (fit && (out.width != SampleWidth || out.height != SampleHeight)) {
        Picture fitted;
        if (!FitIntoFrame(out, fitted, error))
            return false;
        out = std::move(fitted);
    }
    if (out.width != SampleWidth || out.height != SampleHeight) {
        error = "the picture is " + std::to_string(out.width) + " x " + std::to_string(out.height) +
                ", not 640 x 480 (use --fit)";
        return false;
    }
    return true;
}

void LoadSample(RecognitionContext& ctx, const Picture& p)
{
    // Copying the picture bottom row first and then turning it by 180
    // degrees puts the picture's top-down row y, mirrored, at row y: one pass
    // here instead of a copy and a turn, which took a fifth of a card's reading.
    const BitmapView f = ctx.FrameBitmap.View();
    const int bpp = f.bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(p.width) * 3;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* src = p.rgb.data() + static_cast<std::size_t>(y) * rowBytes + rowBytes - 3;
        uint8_t* dst = f.Row(y);
        for (int x = 0; x < p.width; ++x, src -= 3, dst += bpp) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
}

void PrepareImageReadersForWorkers(const std::vector<std::string>& files, bool fit)
{
    bool needed = fit;
    for (std::size_t i = 0; i < files.size() && !needed; ++i)
        needed = !IsJpegPath(files::FromUtf8(files[i]));
    if (needed)
        cardprint::EnsureGuiApplication();
}

} // namespace cli
