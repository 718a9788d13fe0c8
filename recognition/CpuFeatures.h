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
