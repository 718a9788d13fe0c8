#pragma once
// Replays a fuzz entry over its seeds and over seeded mutations of them, so
// that every test run (and the sanitizer build) feeds each entry corrupt
// input without libFuzzer. The same seed gives the same inputs on every run.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fuzz/FuzzEntries.h"

namespace fuzz {

// One mutated copy of `input`: a few edits of the kinds that break readers
// (a byte, a cut, a large or negative count, inserted or removed runs, a
// block copied from elsewhere).
inline std::string Mutate(std::string input, std::mt19937& rng)
{
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !input.empty(); ++e) {
        const std::size_t pos = rng() % input.size();
        switch (rng() % 6) {
        case 0:
            input[pos] = static_cast<char>(rng());
            break;
        case 1:
            input.resize(std::max<std::size_t>(1, pos));  // truncate
            break;
        case 2: {  // a count field set to something large or negative
            const int32_t v = static_cast<int32_t>(rng()) >> (rng() % 31);
            if (pos + 4 <= input.size())
                std::memcpy(input.data() + pos, &v, 4);
            break;
        }
        case 3:
            input.insert(pos, std::string(rng() % 16, static_cast<char>(rng())));
            break;
        case 4:
            input.erase(pos, rng() % 64);
            break;
        default: {  // a block of the input copied over another place
            const std::size_t from = rng() % input.size();
            const std::size_t n = std::min<std::size_t>({rng() % 256, input.size() - from, input.size() - pos});
            std::memmove(input.data() + pos, input.data() + from, n);
        }
        }
    }
    return input;
}

inline void Run(Entry entry, const std::string& input)
{
    entry(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// Every seed as it is, then `mutations` mutated seeds; also the empty input.
inline void Replay(Entry entry, const std::vector<std::string>& seeds, int mutations, uint32_t seed)
{
    Run(entry, std::string());
    for (const std::string& s : seeds)
        Run(entry, s);
    if (seeds.empty())
        return;
    std::mt19937 rng(seed);
    for (int i = 0; i < mutations; ++i)
        Run(entry, Mutate(seeds[rng() % seeds.size()], rng));
}

} // namespace fuzz
