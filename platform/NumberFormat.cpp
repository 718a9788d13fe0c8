#include "platform/NumberFormat.h"

#include <cstdio>

std::string FormatScore(float value)
{
    if (value == 0.0f)
        return "0";  // also for -0, which no score should show
    // The float32 value itself, widened exactly, in general format with up to
    // 15 significant digits: 1.5 -> "1.5", 2 -> "2", 0.1f -> "0.100000001490116".
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", static_cast<double>(value));
    return buffer;
}
