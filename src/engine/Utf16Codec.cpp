#include "engine/Utf16Codec.h"

#include "engine/SimdSupport.h"

namespace tw {

namespace {

inline uint16_t loadUnit(const uint8_t* p, Utf16Order order)
{
    return order == Utf16Order::Little ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                                       : static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline size_t putUtf8(uint8_t* o, char32_t cp)
{
    if (cp < 0x80) {
        o[0] = static_cast<uint8_t>(cp);
        return 1;
    }
    if (cp < 0x800) {
        o[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
        o[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        o[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
        o[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        o[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    o[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
    o[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    o[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    o[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
}

constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes a run of ASCII units eight at a time: the number of units done (all below 0x80).
inline size_t asciiRun(const uint8_t* in, size_t units, uint8_t* out, size_t room, Utf16Order order)
{
    size_t done = 0;
#if TW_X86_SIMD
    const __m128i highMask =
        order == Utf16Order::Little ? _mm_set1_epi16(static_cast<short>(0xFF80)) : _mm_set1_epi16(static_cast<short>(0x80FF));
    while (done + 16 <= units && done + 16 <= room) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * done));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * done + 16));
        const __m128i any = _mm_and_si128(_mm_or_si128(a, b), highMask);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF)
            break;
        if (order == Utf16Order::Big) {
            a = _mm_srli_epi16(a, 8);
            b = _mm_srli_epi16(b, 8);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), _mm_packus_epi16(a, b));
        done += 16;
    }
#endif
    const int lo = order == Utf16Order::Little ? 0 : 1;
    while (done + 4 <= units && done + 4 <= room) {
        const uint8_t* p = in + 2 * done;
        if (((p[1 - lo] | p[3 - lo] | p[5 - lo] | p[7 - lo]) | ((p[lo] | p[2 + lo] | p[4 + lo] | p[6 + lo]) & 0x80)) != 0)
            break;
        out[done] = p[lo];
        out[done + 1] = p[2 + lo];
        out[done + 2] = p[4 + lo];
        out[done + 3] = p[6 + lo];
        done += 4;
    }
    return done;
}

} // namespace

void Utf16Decoder::irregular(uint16_t unit, bool half)
{
    if (m_irregular)
        m_irregular->push_back(Utf16Irregular{m_decoded, unit, half});
}

Utf16Decoder::Step Utf16Decoder::decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity,
                                        bool final)
{
    // Invariants: in[0, i) is decoded into out[0, o); m_decoded counts every byte put out.
    size_t i = 0, o = 0;
    while (i + 2 <= inSize) {
        const size_t fast = asciiRun(in + i, (inSize - i) / 2, out + o, outCapacity - o, m_order);
        if (fast > 0) {
            i += 2 * fast;
            o += fast;
            m_decoded += static_cast<int64_t>(fast);
            continue;
        }
        const uint16_t u = loadUnit(in + i, m_order);
        char32_t cp = u;
        size_t units = 1;
        bool bad = false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 <= inSize) {
                const uint16_t low = loadUnit(in + i + 2, m_order);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
                    units = 2;
                } else {
                    bad = true;
                }
            } else if (!final) {
                break; // its low half may come with the next piece
            } else {
                bad = true;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            bad = true;
        }
        if (bad)
            cp = kReplacementChar;
        const size_t need = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (o + need > outCapacity)
            break;
        if (bad)
            irregular(u, false);
        const size_t n = putUtf8(out + o, cp);
        o += n;
        m_decoded += static_cast<int64_t>(n);
        i += 2 * units;
    }
    if (final && i + 1 == inSize && o + 3 <= outCapacity) {
        irregular(in[i], true);
        o += putUtf8(out + o, kReplacementChar);
        m_decoded += 3;
        ++i;
    }
    return Step{i, o};
}

int readUtf8Char(const uint8_t* s, size_t size, char32_t* cp)
{
    if (size == 0)
        return -1;
    const uint8_t b = s[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    int len;
    char32_t v;
    uint8_t lo = 0x80, hi = 0xBF; // the allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        v = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        v = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0; // no overlong forms
        else if (b == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        v = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    for (int k = 1; k < len; ++k) {
        if (static_cast<size_t>(k) >= size)
            return -1;
        const uint8_t c = s[k];
        if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (c & 0x3F);
    }
    *cp = v;
    return len;
}

bool isWellFormedUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp;
        const int n = readUtf8Char(p + i, text.size() - i, &cp);
        if (n <= 0)
            return false;
        i += static_cast<size_t>(n);
    }
    return true;
}

void appendUtf16Unit(std::string& out, uint16_t u, Utf16Order order)
{
    if (order == Utf16Order::Little) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    } else {
        out.push_back(static_cast<char>(u >> 8));
        out.push_back(static_cast<char>(u & 0xFF));
    }
}

void appendUtf16(std::string& out, char32_t cp, Utf16Order order)
{
    auto unit = [&](uint16_t u) { appendUtf16Unit(out, u, order); };
    if (cp < 0x10000) {
        unit(static_cast<uint16_t>(cp));
    } else {
        cp -= 0x10000;
        unit(static_cast<uint16_t>(0xD800 + (cp >> 10)));
        unit(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

} // namespace tw
