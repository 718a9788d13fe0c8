#pragma once
// The one way scores are turned into text, for the grids, the exam page and
// every output file.

#include <string>

// General format: plain decimals ("1.5", "2", "39.5"), exponent only for very
// large or small values, at most 15 significant digits. The digits are the
// shortest that read back as the same float32, so a score stored as 0.1f shows
// as "0.1" and not as the float's binary expansion "0.100000001490116".
// Independent of the C locale.
std::string FormatScore(float value);
