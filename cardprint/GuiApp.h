#pragma once
// Fonts and image plugins need a QGuiApplication. Command-line tools create
// one on first use, on the offscreen platform unless another is asked for.

namespace cardprint {
void EnsureGuiApplication();
} // namespace cardprint
