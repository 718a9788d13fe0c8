#pragma once
// The saved picture of an accepted card: the colour frame as a ".bmp" in
// "原始图片/", named after the student so the marking grid can find it again.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "recognition/Bitmap.h"

// The frame to save: recognition's bottom-up view (B, G, R and, with 4 bytes
// per pixel, a fourth ignored byte).
using PictureView = BitmapView;

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
using LocalClock = std::function<LocalDateTime()>;

// The system clock in local time.
LocalDateTime LocalNow();

namespace card_picture {
inline constexpr const char* Folder = "原始图片";
inline constexpr const char* Extension = ".bmp";
inline constexpr const char* SaveFailed =
    "保存原始图片失败,可能是硬盘空间不足造成。可以点 阅卷设置 按钮,在设置窗体中点 浏览图片文件保存文件夹 "
    "按钮,在文件夹里删除以前的文件释放空间;或者去掉 阅卷时保存每张答题卡的原始图片 这个选项的选中";
} // namespace card_picture

// A BITMAPFILEHEADER + BITMAPINFOHEADER file of the frame, bottom-up, 24 or 32
// bits as the frame is, rows padded to 4 bytes. Empty for a frame that is not
// 3 or 4 bytes per pixel or has no pixels.
std::string EncodeBmp(const PictureView& frame);

// name + number + "-", the part of a picture's file name that identifies the
// student (UTF-8). Characters a file name cannot hold ("/", "\", control
// characters) become "_", so the pattern stays the same for saving and searching.
std::string CardPictureStem(std::string_view nameUtf8, std::string_view admissionNumberUtf8);

// stem + "yyyymmdd-hhmmss" + ".bmp".
std::string CardPictureFileName(std::string_view nameUtf8, std::string_view admissionNumberUtf8,
                                const LocalDateTime& when);

// Writes the picture to programFolder + "原始图片/" + CardPictureFileName,
// creating the folder when missing. False when anything fails.
bool SaveCardPicture(const PictureView& frame, const std::filesystem::path& programFolder, std::string_view nameUtf8,
                     std::string_view admissionNumberUtf8, const LocalDateTime& when,
                     std::filesystem::path* written = nullptr);

// The newest saved picture of a student: among the files of
// programFolder + "原始图片/" named stem + "*-*.bmp" whose name is exactly as
// long as the stem plus "yyyymmdd-hhmmss.bmp", the greatest in byte order.
// nullopt when there is none (or the folder is missing).
std::optional<std::filesystem::path> FindLatestCardPicture(const std::filesystem::path& programFolder,
                                                           std::string_view nameUtf8,
                                                           std::string_view admissionNumberUtf8);
