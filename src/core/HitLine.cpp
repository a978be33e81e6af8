#include "core/HitLine.h"

#include "engine/SimdSupport.h"
#include "results/ResultEntry.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace tw {

bool looksBinary(const uint8_t* data, size_t length)
{
    const size_t n = std::min<size_t>(length, 1024);
    size_t i = 0;
#if TW_X86_SIMD
    // 16 bytes at a time: all of them are at least 0x09 when max(v, 0x09) == v.
    const __m128i nine = _mm_set1_epi8(0x09);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, nine), v)) != 0xFFFF)
            return true;
    }
#endif
    for (; i < n; ++i)
        if (data[i] < 0x09)
            return true;
    return false;
}

namespace {

// Where the shown text before the hit starts: the start of the hit's line (text) or of
// its displayable run (binary), at most maxDisplayChars bytes back.
size_t contextStartOf(const HitLineInput& in, const CharClasses& cc)
{
    const uint8_t* b = in.block;
    const size_t n = in.hitStart;
    const auto M = static_cast<size_t>(std::max(in.maxDisplayChars, 1));
    const auto stopsBack = [&](uint8_t c) {
        return in.binary ? !(cc.displayable[c] || cc.doubleByte) : (c == '\r' || c == '\n');
    };
    // Walk back to the start of the line (or of the displayable run), at most M bytes.
    size_t s = n;
    const size_t floor = n > M ? n - M : 0;
    if (!in.binary && n > 0 && !stopsBack(b[n])) {
        // The nearest line end in (floor, n), found with two backward byte searches;
        // without one the walk ends at floor (the byte there is not looked at).
        s = floor;
        for (const int c : {'\n', '\r'}) {
            if (n - 1 > s) {
                if (const void* hit = ::memrchr(b + s + 1, c, n - 1 - s))
                    s = static_cast<size_t>(static_cast<const uint8_t*>(hit) - b);
            }
        }
    } else {
        while (s > floor && s > 0) {
            if (stopsBack(b[s]))
                break;
            --s;
        }
    }
    if (s > 0 && s < n)
        ++s;
    return s;
}

// The first '\r' or '\n' in [from, to), or `to` when there is none (an empty or reversed
// range included): 16 bytes a step, as this runs once per hit line over the rest of the line.
size_t firstLineEnd(const uint8_t* b, size_t from, size_t to)
{
    size_t p = from;
#if TW_X86_SIMD
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; p + 16 <= to; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + p));
        const auto m = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        if (m)
            return p + static_cast<size_t>(__builtin_ctz(m));
    }
#endif
    for (; p < to; ++p)
        if (b[p] == '\r' || b[p] == '\n')
            return p;
    return to;
}

} // namespace

std::string BuildHitLine(const HitLineInput& in, const CharClasses& cc, size_t* contextStart)
{
    std::string out;
    buildHitLineInto(out, in, cc, contextStart);
    return out;
}

namespace {

// "Line %3ld - " and "Offset 0x%-6" PRIx64 " - " without the cost of a formatted print:
// this runs once per hit line.
void appendPrefix(std::string& out, const HitLineInput& in)
{
    char digits[24];
    char* end = digits + sizeof digits;
    char* d = end;
    if (in.binary) {
        uint64_t v = static_cast<uint64_t>(in.fileOffset);
        do {
            *--d = "0123456789abcdef"[v & 15];
            v >>= 4;
        } while (v);
        out.append("Offset 0x");
        out.append(d, end);
        for (ptrdiff_t w = end - d; w < 6; ++w)
            out.push_back(' ');
        out.append(" - ");
        return;
    }
    const bool negative = in.lineNumber < 0;
    uint64_t v = negative ? 0 - static_cast<uint64_t>(in.lineNumber) : static_cast<uint64_t>(in.lineNumber);
    do {
        *--d = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    if (negative)
        *--d = '-';
    out.append("Line ");
    for (ptrdiff_t w = end - d; w < 3; ++w)
        out.push_back(' ');
    out.append(d, end);
    out.append(" - ");
}

} // namespace

void buildHitLineInto(std::string& out, const HitLineInput& in, const CharClasses& cc, size_t* contextStart)
{
    out.clear();
    appendPrefix(out, in);

    const uint8_t* b = in.block;
    const size_t n = in.hitStart;
    const auto M = static_cast<size_t>(std::max(in.maxDisplayChars, 1));
    const auto stopsBack = [&](uint8_t c) {
        return in.binary ? !(cc.displayable[c] || cc.doubleByte) : (c == '\r' || c == '\n');
    };
    const size_t s = contextStartOf(in, cc);
    if (contextStart)
        *contextStart = s;

    const size_t end = std::min(in.blockLength, n + M);
    const size_t hitLast = n + (in.hitLength > 0 ? in.hitLength : 1) - 1;
    // After the hit the text ends at the first line end (text) or byte that cannot be
    // shown (binary).
    size_t stop = end;
    if (in.binary) {
        for (size_t p = hitLast + 1; p < end; ++p) {
            if (stopsBack(b[p])) {
                stop = p;
                break;
            }
        }
    } else {
        stop = firstLineEnd(b, hitLast + 1, end);
    }
    // Bytes that cannot be shown (tab included) appear as spaces.
    auto appendShown = [&](size_t from, size_t to) {
        const size_t at = out.size();
        out.resize(at + (to - from));
        char* dst = out.data() + at;
        if (cc.doubleByte) {
            std::memcpy(dst, b + from, to - from);
            return;
        }
        size_t p = from;
#if TW_X86_SIMD
        // Printable ASCII shows as itself in every code page: 16 such bytes at a time are
        // copied as they are, and only the rest goes through the table.
        const __m128i below = _mm_set1_epi8(0x20);
        const __m128i beyond = _mm_set1_epi8(0x7F);
        for (; p + 16 <= to; p += 16, dst += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + p));
            // Signed compares: bytes from 0x80 count as negative, so they take the table.
            const __m128i plain = _mm_andnot_si128(_mm_cmplt_epi8(v, below), _mm_cmplt_epi8(v, beyond));
            if (_mm_movemask_epi8(plain) == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
                continue;
            }
            for (size_t q = 0; q < 16; ++q)
                dst[q] = cc.shown[b[p + q]];
        }
#endif
        for (; p < to; ++p)
            *dst++ = cc.shown[b[p]];
    };
    out.reserve(out.size() + (stop - s) + 4);
    appendShown(s, n);
    out += kHitBegin;
    if (hitLast < stop) {
        appendShown(n, hitLast + 1);
        out += kHitEnd;
        appendShown(hitLast + 1, stop);
    } else {
        // The hit runs past what is shown: the end marker closes the text.
        appendShown(n, stop);
        out += kHitEnd;
    }
}

ResultEntry hitEntry(const HitLineInput& in, std::string text, const std::string& path, size_t contextStart)
{
    ResultEntry e;
    e.text = std::move(text);
    e.path = path;
    setHitFields(e, in, contextStart);
    return e;
}

void setHitFields(ResultEntry& e, const HitLineInput& in, size_t contextStart)
{
    e.kind = LineKind::Hit;
    e.binary = in.binary;
    e.lineNumber = in.binary ? 0 : in.lineNumber;
    e.fileOffset = in.fileOffset;
    e.hitColumn = static_cast<int>(in.hitStart - contextStart);
    // The hit length leaves out the line ends that start the search text.
    int shown = static_cast<int>(in.hitLength);
    for (size_t k = 0; k < in.hitLength && (in.block[in.hitStart + k] == '\r' || in.block[in.hitStart + k] == '\n'); ++k)
        --shown;
    e.hitLength = shown;
}

} // namespace tw
