#include "core/HitLine.h"

#include "results/ResultEntry.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <emmintrin.h>

namespace tw {

bool LooksBinary(const uint8_t* data, size_t length)
{
    const size_t n = std::min<size_t>(length, 1024);
    size_t i = 0;
    // 16 bytes at a time: all of them are at least 0x09 when max(v, 0x09) == v.
    const __m128i nine = _mm_set1_epi8(0x09);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, nine), v)) != 0xFFFF)
            return true;
    }
    for (; i < n; ++i)
        if (data[i] < 0x09)
            return true;
    return false;
}

std::string BuildHitLine(const HitLineInput& in, const CharClasses& cc)
{
    char prefix[64];
    if (in.binary)
        std::snprintf(prefix, sizeof prefix, "Offset 0x%-6" PRIx64 " - ", static_cast<uint64_t>(in.fileOffset));
    else
        std::snprintf(prefix, sizeof prefix, "Line %3ld - ", in.lineNumber);
    std::string out = prefix;

    const uint8_t* b = in.block;
    const size_t n = in.hitStart;
    const auto M = static_cast<size_t>(std::max(in.maxDisplayChars, 1));
    const auto stopsBack = [&](uint8_t c) {
        return in.binary ? !(cc.displayable[c] || cc.doubleByte) : (c == '\r' || c == '\n');
    };
    // Walk back to the start of the line (or of the displayable run), at most M bytes.
    size_t s = n;
    const size_t floor = n > M ? n - M : 0;
    while (s > floor && s > 0) {
        if (stopsBack(b[s]))
            break;
        --s;
    }
    if (s > 0 && s < n)
        ++s;

    const size_t end = std::min(in.blockLength, n + M);
    const size_t hitLast = n + (in.hitLength > 0 ? in.hitLength : 1) - 1;
    bool endMarked = false;
    for (size_t p = s; p < end; ++p) {
        const uint8_t c = b[p];
        if (endMarked && stopsBack(c) && (in.binary || c == '\r' || c == '\n'))
            break;
        if (p == n)
            out += kHitBegin;
        if (cc.doubleByte || (c != 0x09 && cc.displayable[c]))
            out += static_cast<char>(c);
        else
            out += ' ';
        if (p == hitLast) {
            out += kHitEnd;
            endMarked = true;
        }
    }
    if (!endMarked)
        out += kHitEnd;
    return out;
}

} // namespace tw
