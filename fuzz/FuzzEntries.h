#pragma once
// Fuzz entries. Each takes arbitrary bytes and must neither crash, hang nor
// touch memory it does not own (they run under the sanitizers), and aborts
// when a result breaks the promises of the code under test. Every entry is a
// libFuzzer target of its own (fuzz/CMakeLists.txt) and is replayed over its
// seeds and seeded mutations by the tests, so the plain build runs them too.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

using Entry = int (*)(const uint8_t* data, std::size_t size);

// Readers of the program's files: the bytes are the whole file.
int TemplateFile(const uint8_t* data, std::size_t size);   // "模板文件/*.dat"
int StudentFile(const uint8_t* data, std::size_t size);    // "*.xs"
int BaseDat(const uint8_t* data, std::size_t size);        // "base.dat", then the start roster it names
int SettingsFile(const uint8_t* data, std::size_t size);   // "YJSet.dat"
int RawFile(const uint8_t* data, std::size_t size);        // "*.yj"

// Camera samples. The first SampleHeaderSize bytes give the sample's width
// and height (2 bytes each, little-endian), the destination frame's width and
// height (2 bytes each, cut to at most 160 x 120), a flags byte (bit 0: 4
// bytes per pixel) and the MJPG top offset (2 bytes, signed); the rest is the
// sample.
inline constexpr std::size_t SampleHeaderSize = 11;
int Yuy2Sample(const uint8_t* data, std::size_t size);
int I420Sample(const uint8_t* data, std::size_t size);
int MjpgSample(const uint8_t* data, std::size_t size);
int UncompressedSample(const uint8_t* data, std::size_t size);

// Card pictures as the command line loads them: the bytes are the file.
int JpegPicture(const uint8_t* data, std::size_t size);
int OtherPicture(const uint8_t* data, std::size_t size);  // PNG and whatever else Qt reads

// The whole marking attempt: byte 0 picks the template's kind by its name
// ("DY", "JD" or neither), the next 600 bytes are the template file, the rest
// one 640 x 480 camera sample: bottom-up B, G, R rows when it holds them all,
// otherwise grey bytes one per pixel, top row first, white where they run out.
inline constexpr std::size_t MarkingTemplateOffset = 1;
int MarkingAttempt(const uint8_t* data, std::size_t size);

// Seeds, each a valid input of its entry, from the shipped files in
// `dataFolder` (the source's data/) and the encoders.
std::vector<std::string> TemplateSeeds(const std::filesystem::path& dataFolder);
std::vector<std::string> StudentSeeds(const std::filesystem::path& dataFolder);
std::vector<std::string> BaseDatSeeds(const std::filesystem::path& dataFolder);
std::vector<std::string> SettingsSeeds();
std::vector<std::string> RawFileSeeds(const std::filesystem::path& dataFolder);

// Sample seeds of one kind (the entry's name) from a top-down B, G, R picture.
std::vector<std::string> SampleSeeds(const std::string& entryName, const std::vector<uint8_t>& bgr, int width,
                                     int height);

// Seeds that need the card renderer: synthetic camera pictures of the shipped
// templates as JPEG, PNG and marking inputs.
std::vector<std::string> JpegPictureSeeds(const std::filesystem::path& dataFolder);
std::vector<std::string> OtherPictureSeeds(const std::filesystem::path& dataFolder);
std::vector<std::string> MarkingSeeds(const std::filesystem::path& dataFolder);
// A CMYK JPEG, as scanners save it (Adobe's inverted inks), of top-down
// C, M, Y, K bytes.
std::string CmykJpeg(const std::vector<uint8_t>& cmyk, int width, int height);
// The JPEG with an Exif block after its start that gives the picture's
// orientation (1 to 8) as a phone writes it, in big- or little-endian order.
std::string WithExifOrientation(const std::string& jpeg, int orientation, bool bigEndian);
// A synthetic camera picture, top-down B, G, R, 640 x 480.
std::vector<uint8_t> SynthFrameBgr(const std::filesystem::path& dataFolder, int index);
// What the sample seeds are drawn from: a 64 x 48 crop of a synthetic camera
// picture and the whole picture reduced to 160 x 120, the largest frame the
// sample entries make.
struct SeedPicture {
    std::vector<uint8_t> bgr;
    int width = 0;
    int height = 0;
};
std::vector<SeedPicture> SampleSeedPictures(const std::filesystem::path& dataFolder);

// Aborts when `condition` is false: a broken promise is a finding.
inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A scratch file of this process with the given extension.
std::filesystem::path ScratchFile(const std::string& extension);

} // namespace fuzz
