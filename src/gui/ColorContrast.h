#pragma once
// Contrast between two colours as the Web Content Accessibility Guidelines measure it
// (relative luminance of sRGB), and a way to make a colour readable on a background.
// Colours are 0xRRGGBB.
#include <cstdint>

namespace tw {

// 0 for black to 1 for white.
double relativeLuminance(uint32_t rgb);
// (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
double contrastRatio(uint32_t a, uint32_t b);
// `wanted` itself when it has at least `minimum` contrast with `background`; otherwise
// `wanted` mixed with black or white (whichever stands out more from the background), as
// little as reaches `minimum`, so that the hue stays recognisable.
uint32_t readableColor(uint32_t wanted, uint32_t background, double minimum);

} // namespace tw
