#pragma once
// What the processor the program runs on can do, asked once: the pixel loops
// keep a plain path for processors without these instructions.

#if defined(__x86_64__) || defined(__i386__)

#include <atomic>

namespace cpu {

// The widest instructions the pixel loops may pick. Tests lower it to check
// every path the processor has against the others; the program never does.
enum class Level { Plain, Ssse3, Avx2, Avx512, Avx512Vbmi };

inline std::atomic<Level>& Ceiling()
{
    static std::atomic<Level> ceiling{Level::Avx512Vbmi};
    return ceiling;
}

inline bool Allows(Level level)
{
    return Ceiling().load(std::memory_order_relaxed) >= level;
}

inline bool HasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has && Allows(Level::Ssse3);
}

inline bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has && Allows(Level::Avx2);
}

// 512-bit vectors with byte shuffles (and the system saving their registers),
// and the bit count every such processor has.
inline bool HasAvx512()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("popcnt");
    return has && Allows(Level::Avx512);
}

// With byte permutes across whole 512-bit registers (AVX-512 VBMI).
inline bool HasAvx512Vbmi()
{
    static const bool has = __builtin_cpu_supports("avx512vbmi");
    return has && HasAvx512() && Allows(Level::Avx512Vbmi);
}

} // namespace cpu

#endif

// A function compiled three times, for 512-bit vectors (x86-64-v4, its loops
// vectorised 512 bits wide: the build prefers that width), for AVX2 and for
// any x86-64 processor; the loader picks one when the program starts.
// ThreadSanitizer cannot run that choice (the loader makes it before the
// sanitizer has set itself up, and the program dies at its start), so its
// builds keep the plain version only.
#if defined(__SANITIZE_THREAD__)
#define SCORIVO_SIMD_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SCORIVO_SIMD_CLONES
#endif
#endif
#ifndef SCORIVO_SIMD_CLONES
#define SCORIVO_SIMD_CLONES [[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]]
#endif
