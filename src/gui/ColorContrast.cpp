#include "gui/ColorContrast.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

double channel(uint32_t rgb, int shift)
{
    const double c = static_cast<double>((rgb >> shift) & 0xFF) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

uint32_t mix(uint32_t from, uint32_t to, double share)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double a = static_cast<double>((from >> shift) & 0xFF);
        const double b = static_cast<double>((to >> shift) & 0xFF);
        out |= static_cast<uint32_t>(std::lround(a + (b - a) * share)) << shift;
    }
    return out;
}

} // namespace

double relativeLuminance(uint32_t rgb)
{
    return 0.2126 * channel(rgb, 16) + 0.7152 * channel(rgb, 8) + 0.0722 * channel(rgb, 0);
}

double contrastRatio(uint32_t a, uint32_t b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

uint32_t readableColor(uint32_t wanted, uint32_t background, double minimum)
{
    if (contrastRatio(wanted, background) >= minimum)
        return wanted;
    const uint32_t extreme = contrastRatio(0x000000, background) >= contrastRatio(0xFFFFFF, background) ? 0x000000
                                                                                                       : 0xFFFFFF;
    // The contrast grows steadily towards the extreme: the least share that reaches the
    // minimum is found by halving.
    double low = 0.0, high = 1.0;
    for (int step = 0; step < 16; ++step) {
        const double middle = (low + high) / 2;
        (contrastRatio(mix(wanted, extreme, middle), background) >= minimum ? high : low) = middle;
    }
    return mix(wanted, extreme, high);
}

} // namespace tw
