#include "marking/CardPicture.h"

#include <cstdio>
#include <ctime>
#include <system_error>

#include "platform/Files.h"

LocalDateTime LocalNow()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

static void PutLe(std::string& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::string EncodeBmp(const PictureView& f)
{
    if (!f.base || f.width <= 0 || f.height <= 0 || (f.bytesPerPixel != 3 && f.bytesPerPixel != 4) ||
        f.stride < f.width * f.bytesPerPixel)
        return {};
    const uint32_t rowBytes = static_cast<uint32_t>(f.width) * f.bytesPerPixel;
    const uint32_t paddedRow = (rowBytes + 3) & ~3u;
    const uint32_t imageSize = paddedRow * static_cast<uint32_t>(f.height);
    constexpr uint32_t headers = 14 + 40;
    std::string out;
    out.reserve(headers + imageSize);
    // BITMAPFILEHEADER
    out += "BM";
    PutLe(out, headers + imageSize, 4);
    PutLe(out, 0, 4);
    PutLe(out, headers, 4);
    // BITMAPINFOHEADER; a positive height means bottom-up rows, as the frame has them.
    PutLe(out, 40, 4);
    PutLe(out, static_cast<uint32_t>(f.width), 4);
    PutLe(out, static_cast<uint32_t>(f.height), 4);
    PutLe(out, 1, 2);
    PutLe(out, static_cast<uint32_t>(f.bytesPerPixel * 8), 2);
    PutLe(out, 0, 4);  // BI_RGB
    PutLe(out, imageSize, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    for (int y = 0; y < f.height; ++y) {
        const char* row = reinterpret_cast<const char*>(f.base) + static_cast<std::size_t>(y) * f.stride;
        out.append(row, rowBytes);
        out.append(paddedRow - rowBytes, '\0');
    }
    return out;
}

static std::string SafeForFileName(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        out.push_back(c == '/' || c == '\\' || u < 0x20 || u == 0x7f ? '_' : c);
    }
    return out;
}

std::string CardPictureStem(std::string_view nameUtf8, std::string_view admissionNumberUtf8)
{
    return SafeForFileName(nameUtf8) + SafeForFileName(admissionNumberUtf8) + "-";
}

std::string CardPictureFileName(std::string_view nameUtf8, std::string_view admissionNumberUtf8,
                                const LocalDateTime& w)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", w.year, w.month, w.day, w.hour, w.minute,
                  w.second);
    return CardPictureStem(nameUtf8, admissionNumberUtf8) + stamp + card_picture::Extension;
}

bool SaveCardPicture(const PictureView& frame, const std::filesystem::path& programFolder, std::string_view nameUtf8,
                     std::string_view admissionNumberUtf8, const LocalDateTime& when, std::filesystem::path* written)
{
    std::string bytes = EncodeBmp(frame);
    if (bytes.empty())
        return false;
    std::filesystem::path folder = programFolder / files::FromUtf8(card_picture::Folder);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::path file = folder / files::FromUtf8(CardPictureFileName(nameUtf8, admissionNumberUtf8, when));
    if (!files::WriteAll(file, bytes)) {
        std::filesystem::remove(file, ec);  // no half-written picture left behind on a full disk
        return false;
    }
    if (written)
        *written = file;
    return true;
}

std::optional<std::filesystem::path> FindLatestCardPicture(const std::filesystem::path& programFolder,
                                                           std::string_view nameUtf8,
                                                           std::string_view admissionNumberUtf8)
{
    const std::string stem = CardPictureStem(nameUtf8, admissionNumberUtf8);
    const std::string_view extension = card_picture::Extension;
    // "yyyymmdd-hhmmss" and the extension behind the stem.
    const std::size_t length = stem.size() + 15 + extension.size();
    const std::filesystem::path folder = programFolder / files::FromUtf8(card_picture::Folder);
    std::optional<std::string> latest;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string name = files::ToUtf8(it->path().filename());
        if (name.size() != length || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        // The stamp between stem and extension is "*-*".
        const std::string_view stamp = std::string_view(name).substr(stem.size(), 15);
        if (stamp.find('-') == std::string_view::npos)
            continue;
        if (!latest || name > *latest)
            latest = name;
    }
    if (!latest)
        return std::nullopt;
    return folder / files::FromUtf8(*latest);
}
