#include "engine/LiteralMatcher.h"
#include "engine/SimdSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tw {

namespace {

// Bytes b whose fold equals the fold of the search byte c (c itself always included).
std::vector<uint8_t> matchClass(uint8_t c, bool caseSensitive, const CharClasses& cc)
{
    std::vector<uint8_t> out{c};
    if (caseSensitive)
        return out;
    const uint8_t f = cc.upper[c];
    for (int b = 0; b < 256; ++b)
        if (b != c && cc.upper[b] == f)
            out.push_back(static_cast<uint8_t>(b));
    return out;
}

// Rough rarity of a byte in source text and prose; lower is rarer. Used only to pick the
// prefilter positions, so a poor guess costs speed, never correctness.
int commonness(uint8_t c)
{
    if (c == ' ' || c == 'e' || c == 't' || c == 'a' || c == 'o' || c == 'i' || c == 'n')
        return 10;
    if (c == 's' || c == 'r' || c == 'h' || c == 'l' || c == 'd' || c == '\n' || c == '\t' || c == 'c')
        return 9;
    if (c >= 'a' && c <= 'z')
        return 7;
    if (c == '_' || c == '(' || c == ')' || c == ',' || c == ';' || c == '*' || c == '=')
        return 6;
    if (c == 'E' || c == 'T' || c == 'A' || c == 'R' || c == 'S' || c == 'I' || c == 'N' || c == 'O')
        return 5;
    if (c >= 'A' && c <= 'Z')
        return 4;
    if (c >= '0' && c <= '9')
        return 4;
    if (c >= 0x80)
        return 1;
    return 3;
}

} // namespace

LiteralMatcher::LiteralMatcher(std::string searchBytes, bool caseSensitive, bool wholeWord,
                               const CharClasses& classes)
    : m_bytes(std::move(searchBytes)), m_caseSensitive(caseSensitive), m_wholeWord(wholeWord),
      m_classes(&classes)
{
    m_folded = m_bytes;
    for (char& c : m_folded)
        c = static_cast<char>(classes.upper[static_cast<uint8_t>(c)]);
    const size_t L = m_bytes.size();
    if (L == 0)
        return;
    // Pick the two rarest positions whose classes have at most two members.
    auto score = [&](size_t k) {
        const auto cls = matchClass(static_cast<uint8_t>(m_bytes[k]), caseSensitive, classes);
        if (cls.size() > 2)
            return 1000;
        return commonness(classes.upper[static_cast<uint8_t>(m_bytes[k])]) + (cls.size() == 2 ? 1 : 0);
    };
    size_t best1 = 0;
    for (size_t k = 1; k < L; ++k)
        if (score(k) < score(best1))
            best1 = k;
    size_t best2 = best1;
    for (size_t k = 0; k < L; ++k)
        if (k != best1 && (best2 == best1 || score(k) < score(best2) ||
                           (score(k) == score(best2) && m_bytes[k] != m_bytes[best1] &&
                            m_bytes[best2] == m_bytes[best1])))
            best2 = k;
    if (score(best1) >= 1000 || score(best2) >= 1000)
        return;
    m_pos1 = std::min(best1, best2);
    m_pos2 = std::max(best1, best2);
    const auto c1 = matchClass(static_cast<uint8_t>(m_bytes[m_pos1]), caseSensitive, classes);
    const auto c2 = matchClass(static_cast<uint8_t>(m_bytes[m_pos2]), caseSensitive, classes);
    m_c1a = c1[0];
    m_c1b = c1.size() > 1 ? c1[1] : c1[0];
    m_c2a = c2[0];
    m_c2b = c2.size() > 1 ? c2[1] : c2[0];
    m_usePrefilter = true;
}

bool LiteralMatcher::verify(const uint8_t* block, size_t len, size_t s) const
{
    const size_t L = m_bytes.size();
    if (m_caseSensitive) {
        if (std::memcmp(block + s, m_bytes.data(), L) != 0)
            return false;
    } else {
        const auto* up = m_classes->upper.data();
        const auto* f = reinterpret_cast<const uint8_t*>(m_folded.data());
        for (size_t k = 0; k < L; ++k)
            if (up[block[s + k]] != f[k])
                return false;
    }
    if (m_wholeWord) {
        if (s > 0 && m_classes->wordChar[block[s - 1]])
            return false;
        if (s + L < len && m_classes->wordChar[block[s + L]])
            return false;
    }
    return true;
}

size_t LiteralMatcher::findScalar(const uint8_t* block, size_t len, size_t from, size_t startLimit) const
{
    for (size_t s = from; s < startLimit; ++s)
        if (verify(block, len, s))
            return s;
    return npos;
}

#if TW_X86_SIMD
namespace {

// Bytes of x in the class {va, vb}; with Single the class has one member, va == vb.
template <bool Single>
__attribute__((target("avx2"), always_inline)) inline __m256i inClass(__m256i x, __m256i va, __m256i vb)
{
    if constexpr (Single)
        return _mm256_cmpeq_epi8(x, va);
    else
        return _mm256_or_si256(_mm256_cmpeq_epi8(x, va), _mm256_cmpeq_epi8(x, vb));
}

// The 32-byte form of the prefilter loop; returns the first verified hit, or npos with
// *next at the first start position it did not examine. With Single, each class has one
// member (a case-sensitive search) and one compare per position suffices.
template <bool Single, typename Verify>
__attribute__((target("avx2"))) size_t PrefilterAvx2(const uint8_t* block, size_t len, size_t p, size_t startLimit,
                                                     size_t pos1, size_t pos2, uint8_t c1a, uint8_t c1b, uint8_t c2a,
                                                     uint8_t c2b, const Verify& verify, size_t* next)
{
    const __m256i v1a = _mm256_set1_epi8(static_cast<char>(c1a));
    const __m256i v1b = _mm256_set1_epi8(static_cast<char>(c1b));
    const __m256i v2a = _mm256_set1_epi8(static_cast<char>(c2a));
    const __m256i v2b = _mm256_set1_epi8(static_cast<char>(c2b));
    // 64 bytes a step while nothing is found (most of any text), two loads in flight.
    while (p + 32 < startLimit && p + pos2 + 64 <= len) {
        const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + pos1));
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + pos2));
        const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + 32 + pos1));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + 32 + pos2));
        const __m256i m0 = _mm256_and_si256(inClass<Single>(a0, v1a, v1b), inClass<Single>(b0, v2a, v2b));
        const __m256i m1 = _mm256_and_si256(inClass<Single>(a1, v1a, v1b), inClass<Single>(b1, v2a, v2b));
        const __m256i any = _mm256_or_si256(m0, m1);
        if (!_mm256_testz_si256(any, any))
            break; // the 32-byte loop below takes this step's candidates in order
        p += 64;
    }
    while (p < startLimit && p + pos2 + 32 <= len) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + pos1));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + pos2));
        auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(inClass<Single>(a, v1a, v1b), inClass<Single>(b, v2a, v2b))));
        while (mask) {
            const size_t s = p + static_cast<size_t>(__builtin_ctz(mask));
            if (s >= startLimit) {
                *next = startLimit;
                return LiteralMatcher::npos;
            }
            if (verify(s))
                return s;
            mask &= mask - 1;
        }
        p += 32;
    }
    *next = p;
    return LiteralMatcher::npos;
}

const bool g_hasAvx2 = __builtin_cpu_supports("avx2");

} // namespace
#endif

size_t LiteralMatcher::findNext(const uint8_t* block, size_t len, size_t from, size_t startLimit) const
{
    const size_t L = m_bytes.size();
    if (L == 0 || L > len)
        return npos;
    startLimit = std::min(startLimit, len - L + 1);
    if (from >= startLimit)
        return npos;
    if (!m_usePrefilter)
        return findScalar(block, len, from, startLimit);

    size_t p = from;
    if (L == 1 && m_c1a == m_c1b && !m_wholeWord) {
        const void* hit = std::memchr(block + p, m_c1a, startLimit - p);
        return hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - block) : npos;
    }
#if TW_X86_SIMD
    if (g_hasAvx2) {
        const auto verifyAt = [&](size_t at) { return verify(block, len, at); };
        const size_t hit =
            m_c1a == m_c1b && m_c2a == m_c2b
                ? PrefilterAvx2<true>(block, len, p, startLimit, m_pos1, m_pos2, m_c1a, m_c1b, m_c2a, m_c2b, verifyAt, &p)
                : PrefilterAvx2<false>(block, len, p, startLimit, m_pos1, m_pos2, m_c1a, m_c1b, m_c2a, m_c2b, verifyAt, &p);
        if (hit != npos || p >= startLimit)
            return hit;
    }
    const __m128i v1a = _mm_set1_epi8(static_cast<char>(m_c1a));
    const __m128i v1b = _mm_set1_epi8(static_cast<char>(m_c1b));
    const __m128i v2a = _mm_set1_epi8(static_cast<char>(m_c2a));
    const __m128i v2b = _mm_set1_epi8(static_cast<char>(m_c2b));
    // Each step tests the 16 candidate starts p..p+15 at both prefilter positions.
    while (p < startLimit && p + m_pos2 + 16 <= len) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + p + m_pos1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + p + m_pos2));
        const __m128i ma = _mm_or_si128(_mm_cmpeq_epi8(a, v1a), _mm_cmpeq_epi8(a, v1b));
        const __m128i mb = _mm_or_si128(_mm_cmpeq_epi8(b, v2a), _mm_cmpeq_epi8(b, v2b));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(ma, mb)));
        while (mask) {
            const size_t s = p + static_cast<size_t>(__builtin_ctz(mask));
            if (s >= startLimit)
                return npos;
            if (verify(block, len, s))
                return s;
            mask &= mask - 1;
        }
        p += 16;
    }
#endif
    // The scalar loop: the rest after the vector steps, or the whole range without them.
    return p < startLimit ? findScalar(block, len, p, startLimit) : npos;
}

#if TW_X86_SIMD
namespace {

// 32 bytes a step in two independent byte-lane counters, folded every 255 steps.
__attribute__((target("avx2"))) size_t countLineFeedsAvx2(const uint8_t*& p, const uint8_t* end)
{
    size_t n = 0;
    const __m256i lf = _mm256_set1_epi8('\n');
    while (end - p >= 64) {
        const auto steps = static_cast<int>(std::min<ptrdiff_t>((end - p) / 64, 255));
        __m256i a = _mm256_setzero_si256(), b = _mm256_setzero_si256();
        for (int i = 0; i < steps; ++i, p += 64) {
            a = _mm256_sub_epi8(a, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), lf));
            b = _mm256_sub_epi8(b, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), lf));
        }
        const __m256i zero = _mm256_setzero_si256();
        const __m256i sums = _mm256_add_epi64(_mm256_sad_epu8(a, zero), _mm256_sad_epu8(b, zero));
        n += static_cast<size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                 _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
    }
    while (end - p >= 32) {
        const __m256i eq = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), lf);
        n += static_cast<size_t>(__builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(eq))));
        p += 32;
    }
    return n;
}

} // namespace
#endif

size_t countLineFeeds(const uint8_t* p, const uint8_t* end)
{
    size_t n = 0;
#if TW_X86_SIMD
    if (g_hasAvx2 && end - p >= 32)
        n += countLineFeedsAvx2(p, end);
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        // Count in byte lanes for up to 255 steps, then fold the lanes.
        const auto steps = static_cast<int>(std::min<ptrdiff_t>((end - p) / 16, 255));
        __m128i acc = _mm_setzero_si128();
        for (int i = 0; i < steps; ++i, p += 16)
            acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf));
        const __m128i sums = _mm_sad_epu8(acc, _mm_setzero_si128());
        n += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; p < end; ++p)
        n += *p == '\n';
    return n;
}

} // namespace tw
