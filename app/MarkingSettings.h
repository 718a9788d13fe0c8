#pragma once
// Marking settings and their file "YJSet.dat" (18 bytes; earlier 10- and
// 14-byte forms load what they hold).

#include <cstdint>
#include <filesystem>

struct MarkingSettings {
    uint8_t VoicePrompt = 0;
    uint8_t IgnoreSubjectCheck = 0;
    int32_t AutoDelay = 2000;     // ms the picture must stay still
    float AutoTolerance = 1.0f;   // factor on the stillness threshold
    int32_t SavePictures = 0;
    int32_t SpeechRate = 4;       // 1 .. 10
};

// Byte offsets of the file (not of the in-memory struct).
namespace yjset_file {
inline constexpr int VoicePrompt = 0;
inline constexpr int IgnoreSubjectCheck = 1;
inline constexpr int AutoDelay = 2;
inline constexpr int AutoTolerance = 6;
inline constexpr int SavePictures = 10;
inline constexpr int SpeechRate = 14;
inline constexpr int Size = 18;
inline constexpr int ShortSize = 10;
inline constexpr int MiddleSize = 14;
} // namespace yjset_file

// Loads what the file holds; fields it lacks keep their values. False when the
// file cannot be read or is shorter than 10 bytes (then nothing changes).
bool LoadMarkingSettings(MarkingSettings& s, const std::filesystem::path& path);
// Writes all 18 bytes.
[[nodiscard]] bool SaveMarkingSettings(const MarkingSettings& s, const std::filesystem::path& path);
