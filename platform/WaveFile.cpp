#include "platform/WaveFile.h"

#include <cstring>

#include "platform/Files.h"

static uint32_t U32(const char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
static uint16_t U16(const char* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

std::optional<PcmSound> DecodeWave(const std::string& bytes)
{
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    PcmSound sound;
    int bits = 0;
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const char* chunk = bytes.data() + at;
        uint32_t size = U32(chunk + 4);
        std::size_t body = at + 8;
        if (size > bytes.size() - body)
            return std::nullopt;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16)
                return std::nullopt;
            uint16_t format = U16(chunk + 8);
            sound.channels = U16(chunk + 10);
            sound.sampleRate = static_cast<int>(U32(chunk + 12));
            bits = U16(chunk + 22);
            if (format != 1 || (bits != 16 && bits != 8) || sound.channels < 1 || sound.channels > 2 ||
                sound.sampleRate < 1000 || sound.sampleRate > 192000)
                return std::nullopt;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return std::nullopt;
            const char* p = chunk + 8;
            if (bits == 16) {
                sound.samples.resize(size / 2);
                std::memcpy(sound.samples.data(), p, sound.samples.size() * 2);
            } else {
                sound.samples.resize(size);
                for (uint32_t i = 0; i < size; ++i)
                    sound.samples[i] = static_cast<int16_t>((static_cast<uint8_t>(p[i]) - 128) << 8);
            }
            return sound;
        }
        at = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return std::nullopt;
}

std::optional<PcmSound> ReadWaveFile(const std::filesystem::path& path)
{
    auto bytes = files::ReadAll(path);
    if (!bytes)
        return std::nullopt;
    return DecodeWave(*bytes);
}

static void Put32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
static void Put16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }

std::string EncodeWave(const PcmSound& sound)
{
    uint32_t dataSize = static_cast<uint32_t>(sound.samples.size() * 2);
    std::string s = "RIFF";
    Put32(s, 36 + dataSize);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, 1);
    Put16(s, static_cast<uint16_t>(sound.channels));
    Put32(s, static_cast<uint32_t>(sound.sampleRate));
    Put32(s, static_cast<uint32_t>(sound.sampleRate * sound.channels * 2));
    Put16(s, static_cast<uint16_t>(sound.channels * 2));
    Put16(s, 16);
    s += "data";
    Put32(s, dataSize);
    s.append(reinterpret_cast<const char*>(sound.samples.data()), dataSize);
    return s;
}
