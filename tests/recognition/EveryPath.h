#pragma once
// Runs a check once on every path the pixel loops choose by what the
// processor has (512-bit with and without byte permutes, AVX2, SSSE3 and
// plain loops; a path the processor lacks is the next narrower one again),
// so that each is held to the same bytes. The loops the compiler clones per
// processor are picked once, when the program starts, and are not lowered.

#include <gtest/gtest.h>

#include "recognition/CpuFeatures.h"

template <class Check> void OnEveryPath(Check check)
{
#if defined(__x86_64__) || defined(__i386__)
    struct Restore {
        ~Restore() { cpu::Ceiling() = cpu::Level::Avx512Vbmi; }
    } restore;
    for (cpu::Level level :
         {cpu::Level::Avx512Vbmi, cpu::Level::Avx512, cpu::Level::Avx2, cpu::Level::Ssse3, cpu::Level::Plain}) {
        cpu::Ceiling() = level;
        SCOPED_TRACE("widest instructions allowed: level " + std::to_string(static_cast<int>(level)));
        check();
    }
#else
    check();
#endif
}
