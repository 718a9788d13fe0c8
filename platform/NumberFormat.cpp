#include "platform/NumberFormat.h"

#include <charconv>
#include <cmath>

std::string FormatScore(float value)
{
    if (value == 0.0f)
        return "0";  // also for -0, which no score should show
    char buffer[64];
    if (!std::isfinite(value)) {
        auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, r.ptr);
    }
    // Nine significant digits always identify a float32; the loop finds the
    // fewest that do.
    double shortest = value;
    for (int digits = 1; digits <= 9; ++digits) {
        auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
        float back = 0;
        std::from_chars(buffer, r.ptr, back);
        if (back == value) {
            std::from_chars(buffer, r.ptr, shortest);
            break;
        }
    }
    // Re-format as %.15g would: "100" instead of the 1-digit form "1e+02".
    auto r = std::to_chars(buffer, buffer + sizeof buffer, shortest, std::chars_format::general, 15);
    return std::string(buffer, r.ptr);
}
