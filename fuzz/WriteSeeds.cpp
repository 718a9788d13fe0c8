// Writes the seed corpus of every fuzz entry: fuzz_seeds DATA_FOLDER OUT_FOLDER
// makes OUT_FOLDER/<entry>/seed-N for each seed.
#include <cstdio>
#include <functional>
#include <utility>

#include "fuzz/FuzzEntries.h"
#include "platform/Files.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: fuzz_seeds DATA_FOLDER OUT_FOLDER\n", stderr);
        return 2;
    }
    const std::filesystem::path data = argv[1];
    const std::filesystem::path out = argv[2];
    // The sample entries get small pictures: a frame of camera size runs a
    // hundred times slower and reaches the same code.
    const std::vector<fuzz::SeedPicture> pictures = fuzz::SampleSeedPictures(data);
    auto samples = [&](const char* name) {
        std::vector<std::string> seeds;
        for (const auto& p : pictures)
            for (auto& s : fuzz::SampleSeeds(name, p.bgr, p.width, p.height))
                seeds.push_back(std::move(s));
        return seeds;
    };
    const std::vector<std::pair<const char*, std::function<std::vector<std::string>()>>> corpora = {
        {"template", [&] { return fuzz::TemplateSeeds(data); }},
        {"student", [&] { return fuzz::StudentSeeds(data); }},
        {"basedat", [&] { return fuzz::BaseDatSeeds(data); }},
        {"settings", [&] { return fuzz::SettingsSeeds(); }},
        {"rawfile", [&] { return fuzz::RawFileSeeds(data); }},
        {"yuy2", [&] { return samples("Yuy2Sample"); }},
        {"i420", [&] { return samples("I420Sample"); }},
        {"mjpg", [&] { return samples("MjpgSample"); }},
        {"uncompressed", [&] { return samples("UncompressedSample"); }},
        {"jpeg_picture", [&] { return fuzz::JpegPictureSeeds(data); }},
        {"other_picture", [&] { return fuzz::OtherPictureSeeds(data); }},
        {"marking", [&] { return fuzz::MarkingSeeds(data); }},
    };
    for (const auto& [name, make] : corpora) {
        const auto folder = out / name;
        std::filesystem::create_directories(folder);
        const auto seeds = make();
        for (std::size_t i = 0; i < seeds.size(); ++i)
            if (!files::WriteAll(folder / ("seed-" + std::to_string(i)), seeds[i])) {
                std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", (folder / "seed").c_str());
                return 1;
            }
        std::printf("%s: %zu seeds\n", name, seeds.size());
    }
    return 0;
}
