#pragma once
// 16-bit PCM sound in memory, and the RIFF/WAVE files the prompt sounds ship as.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct PcmSound {
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved

    std::size_t Frames() const { return channels ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};

// Reads an uncompressed 16-bit PCM wave file (8-bit is widened). Anything
// else, or a truncated file, gives nullopt.
std::optional<PcmSound> ReadWaveFile(const std::filesystem::path& path);
std::optional<PcmSound> DecodeWave(const std::string& bytes);
// The file's bytes for `sound` (16-bit PCM).
std::string EncodeWave(const PcmSound& sound);
