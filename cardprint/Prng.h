#pragma once
// A small seeded generator of our own: std distributions differ between
// library versions, and synthetic cards must be the same picture everywhere.

#include <cmath>
#include <cstdint>

namespace cardprint {

class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}

    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // [0, 1) with 53 bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    bool Chance(double p) { return Uniform() < p; }
    // Standard normal by Box-Muller; the second value is dropped to keep the
    // sequence a plain function of the call count.
    double Normal()
    {
        double u1 = Uniform();
        double u2 = Uniform();
        if (u1 < 1e-300)
            u1 = 1e-300;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    uint64_t state_;
};

// Mixes several values into one seed.
inline uint64_t MixSeed(uint64_t a, uint64_t b)
{
    SplitMix64 g(a ^ (b * 0xD6E8FEB86659FD93ull));
    return g.Next();
}

} // namespace cardprint
