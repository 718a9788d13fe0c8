#pragma once
// Whole-file reads and atomic writes, and the program folder.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// The whole file, or nullopt when it cannot be opened or read.
std::optional<std::string> ReadAll(const std::filesystem::path& path);

// Writes `bytes` to a temporary file beside `path`, flushes it and renames it
// over `path`, so a failed save never destroys the previous file. On failure
// returns false with a short reason in `error` (UTF-8) and leaves `path` as it was.
[[nodiscard]] bool WriteAtomic(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr);

// Plain create-or-truncate write, for small records that are rewritten in place ("base.dat").
[[nodiscard]] bool WriteAll(const std::filesystem::path& path, std::string_view bytes);

// Paths are UTF-8 on disk; these keep the conversion in one place.
inline std::filesystem::path FromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string ToUtf8(const std::filesystem::path& p)
{
    auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

// The folder holding the program's installation folders: $SCORIVO_HOME when
// set, otherwise the folder of the running binary.
std::filesystem::path ProgramFolder();

} // namespace files
