// The libFuzzer target of one entry, chosen when it is compiled.
#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    return SCORIVO_FUZZ_ENTRY(data, size);
}
