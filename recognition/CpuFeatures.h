#pragma once
// What the processor the program runs on can do, asked once: the pixel loops
// keep a plain path for processors without these instructions.

#if defined(__x86_64__) || defined(__i386__)

namespace cpu {

inline bool HasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

inline bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

} // namespace cpu

#endif

// A function compiled twice, for AVX2 and for any x86-64 processor; the
// loader picks one when the program starts. ThreadSanitizer cannot run that
// choice (the loader makes it before the sanitizer has set itself up, and the
// program dies at its start), so its builds keep the plain version only.
#if defined(__SANITIZE_THREAD__)
#define SCORIVO_AVX2_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SCORIVO_AVX2_CLONES
#endif
#endif
#ifndef SCORIVO_AVX2_CLONES
#define SCORIVO_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#endif
