#include "engine/MultiLiteralFilter.h"

#include "engine/SimdSupport.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

#if TW_X86_SIMD
const bool g_filterAvx2 = __builtin_cpu_supports("avx2");
#endif

// A guess at how often byte c stands in source text and prose (per hundred bytes); only
// the choice of the bytes looked up depends on it, so a poor guess costs speed alone.
double frequency(uint8_t c)
{
    if (c == ' ')
        return 15;
    if (c == 'e' || c == 't' || c == 'a' || c == 'o' || c == 'i' || c == 'n' || c == 's' || c == 'r')
        return 6;
    if (c >= 'a' && c <= 'z')
        return 2.5;
    if (c == '_' || c == '\n' || c == '\t')
        return 3;
    if (c == '(' || c == ')' || c == ',' || c == ';' || c == '*' || c == '=' || c == '-' || c == '>' || c == '.')
        return 1.5;
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return 1;
    return 0.3;
}

} // namespace

size_t MultiLiteralFilter::rarestWindow(const std::string& bytes, bool caseSensitive, const CharClasses& classes)
{
    // The window of kPositions bytes whose bytes (with their other case) are rarest
    // together: the fewer places it lets through, the fewer comparisons.
    auto weight = [&](uint8_t c) {
        double f = frequency(c);
        if (!caseSensitive)
            for (unsigned v = 0; v < 256; ++v)
                if (v != c && classes.upper[v] == classes.upper[c])
                    f += frequency(static_cast<uint8_t>(v));
        return f;
    };
    size_t best = 0;
    double bestScore = 0;
    for (size_t off = 0; off + kPositions <= bytes.size(); ++off) {
        double score = 1;
        for (size_t j = 0; j < kPositions; ++j)
            score *= weight(static_cast<uint8_t>(bytes[off + j]));
        if (off == 0 || score < bestScore) {
            best = off;
            bestScore = score;
        }
    }
    return best;
}

MultiLiteralFilter::MultiLiteralFilter(std::vector<Needle> needles, const CharClasses& classes)
    : m_classes(classes), m_needles(std::move(needles))
{
    for (const Needle& n : m_needles) {
        Entry e{n.bytes, n.caseSensitive};
        if (!n.caseSensitive)
            for (char& c : e.folded)
                c = static_cast<char>(classes.upper[static_cast<uint8_t>(c)]);
        e.offset = rarestWindow(n.bytes, n.caseSensitive, classes);
        for (size_t j = 0; j < kPositions && e.offset + j < n.bytes.size(); ++j) {
            // Every byte whose fold is the string's folded byte, or the byte alone.
            const auto c = static_cast<uint8_t>(n.bytes[e.offset + j]);
            for (unsigned v = 0; v < 256; ++v)
                if (v == c || (!n.caseSensitive && classes.upper[v] == classes.upper[c]))
                    e.accepted[j].push_back(static_cast<uint8_t>(v));
        }
        m_entries.push_back(std::move(e));
        m_maxLength = std::max(m_maxLength, n.bytes.size());
    }
    m_seen.assign(m_needles.size(), 0);
    begin();
}

void MultiLiteralFilter::begin()
{
    m_unseen = 0;
    for (size_t i = 0; i < m_needles.size(); ++i) {
        m_seen[i] = m_needles[i].bytes.empty() ? 1 : 0;
        m_unseen += m_seen[i] ? 0 : 1;
    }
    m_tail.clear();
    // A text in which nothing was seen leaves the tables as they were.
    if (!m_tablesFresh)
        rebuild();
    m_tablesFresh = true;
}

bool MultiLiteralFilter::rebuildDue() const
{
    // Strings seen since the tables were made only cost comparisons that are skipped; the
    // tables are made again once a sixteenth of theirs are seen (at once with up to 16),
    // so that many strings seen in one text cost work in proportion to their number.
    return (m_inTables - m_unseen) * 16 >= std::max<size_t>(m_inTables, 16);
}

void MultiLiteralFilter::rebuild()
{
    m_inTables = m_unseen;
    for (auto& t : m_table)
        t.fill(0);
    for (auto& t : m_low)
        t.fill(0);
    for (auto& t : m_high)
        t.fill(0);
    for (auto& b : m_inBucket)
        b.clear();
    size_t next = 0;
    for (size_t i = 0; i < m_needles.size(); ++i) {
        if (m_seen[i])
            continue;
        Entry& e = m_entries[i];
        e.bucket = next++ % kBuckets;
        m_inBucket[e.bucket].push_back(static_cast<uint32_t>(i));
        const auto bit = static_cast<uint8_t>(1u << e.bucket);
        for (size_t j = 0; j < kPositions; ++j) {
            auto set = [&](unsigned v) {
                m_table[j][v] |= bit;
                m_low[j][v & 15] |= bit;
                m_high[j][v >> 4] |= bit;
            };
            if (e.offset + j >= e.folded.size()) {
                for (unsigned v = 0; v < 256; ++v)
                    set(v);
                continue;
            }
            for (const uint8_t v : e.accepted[j])
                set(v);
        }
    }
}

bool MultiLiteralFilter::verifyAt(const uint8_t* data, size_t len, size_t p, uint8_t bits)
{
    bool newlySeen = false;
    while (bits) {
        const auto b = static_cast<size_t>(__builtin_ctz(bits));
        bits &= static_cast<uint8_t>(bits - 1);
        for (const uint32_t i : m_inBucket[b]) {
            if (m_seen[i])
                continue;
            const Entry& e = m_entries[i];
            const size_t L = e.folded.size();
            // The string would start before data or end after it: its place in the text
            // is looked at with the bytes around it (the tail and the next piece).
            if (p < e.offset || p - e.offset + L > len)
                continue;
            const size_t s = p - e.offset;
            bool same = true;
            if (e.caseSensitive) {
                same = data[s] == static_cast<uint8_t>(e.folded[0]) &&
                       data[s + L - 1] == static_cast<uint8_t>(e.folded[L - 1]) &&
                       std::memcmp(data + s, e.folded.data(), L) == 0;
            } else {
                const auto* f = reinterpret_cast<const uint8_t*>(e.folded.data());
                for (size_t k = 0; k < L && same; ++k)
                    same = m_classes.upper[data[s + k]] == f[k];
            }
            if (same) {
                m_seen[i] = 1;
                --m_unseen;
                newlySeen = true;
                m_tablesFresh = false;
            }
        }
    }
    return newlySeen;
}

inline uint8_t MultiLiteralFilter::bitsAt(const uint8_t* data, size_t len, size_t s) const
{
    // Past the end any byte will do: a string that would reach there is not compared.
    uint8_t bits = m_table[0][data[s]];
    for (size_t j = 1; j < kPositions && s + j < len; ++j)
        bits &= m_table[j][data[s + j]];
    return bits;
}

#if TW_X86_SIMD
namespace {

__attribute__((target("avx2"), always_inline)) inline __m256i nibbleLookup(__m256i x, __m256i low, __m256i high,
                                                                           __m256i nibble)
{
    const __m256i lo = _mm256_and_si256(x, nibble);
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble);
    return _mm256_and_si256(_mm256_shuffle_epi8(low, lo), _mm256_shuffle_epi8(high, hi));
}

__attribute__((target("avx2"))) inline __m256i broadcastTable(const std::array<uint8_t, 16>& t)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data()));
    return _mm256_broadcastsi128_si256(v);
}

} // namespace

// 32 starts a step while the three bytes of each lie inside data; returns the first start
// not looked at. The nibble tables may let through more than the byte tables; each start
// they let through is looked up again byte by byte before anything is compared.
__attribute__((target("avx2"))) size_t MultiLiteralFilter::scanVector(const uint8_t* data, size_t len, size_t from,
                                                                      size_t startLimit)
{
    static_assert(kPositions == 4);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo0, lo1, lo2, lo3, hi0, hi1, hi2, hi3; // in registers: one per position
#define TW_LOAD_TABLES()                                                                                         \
    lo0 = broadcastTable(m_low[0]), lo1 = broadcastTable(m_low[1]), lo2 = broadcastTable(m_low[2]),               \
    lo3 = broadcastTable(m_low[3]), hi0 = broadcastTable(m_high[0]), hi1 = broadcastTable(m_high[1]),             \
    hi2 = broadcastTable(m_high[2]), hi3 = broadcastTable(m_high[3])
    TW_LOAD_TABLES();
    size_t p = from;
    while (p < startLimit && p + 32 + kPositions - 1 <= len) {
        // Each position's bytes through its tables, the positions' buckets and-ed.
        const uint8_t* at = data + p;
        const __m256i r01 = _mm256_and_si256(
            nibbleLookup(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), lo0, hi0, nibble),
            nibbleLookup(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1)), lo1, hi1, nibble));
        const __m256i r23 = _mm256_and_si256(
            nibbleLookup(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 2)), lo2, hi2, nibble),
            nibbleLookup(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 3)), lo3, hi3, nibble));
        const __m256i r = _mm256_and_si256(r01, r23);
        p += 32;
        if (_mm256_testz_si256(r, r))
            continue;
        auto mask = ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(r, zero)));
        const size_t base = p - 32;
        if (startLimit - base < 32)
            mask &= (uint32_t{1} << (startLimit - base)) - 1;
        bool changed = false;
        while (mask) {
            const size_t s = base + static_cast<size_t>(__builtin_ctz(mask));
            mask &= mask - 1;
            const uint8_t bits = bitsAt(data, len, s);
            if (bits && verifyAt(data, len, s, bits))
                changed = true;
        }
        if (changed) {
            if (m_unseen == 0)
                return startLimit;
            if (rebuildDue()) {
                rebuild();
                TW_LOAD_TABLES();
            }
        }
    }
#undef TW_LOAD_TABLES
    return p;
}
#endif

void MultiLiteralFilter::scanRange(const uint8_t* data, size_t len, size_t from, size_t startLimit)
{
    size_t p = from;
#if TW_X86_SIMD
    if (g_filterAvx2 && !m_scalar)
        p = scanVector(data, len, p, startLimit);
#endif
    for (; p < startLimit && m_unseen > 0; ++p) {
        const uint8_t bits = bitsAt(data, len, p);
        if (bits && verifyAt(data, len, p, bits) && m_unseen > 0 && rebuildDue())
            rebuild();
    }
}

void MultiLiteralFilter::feed(const uint8_t* data, size_t len)
{
    if (m_unseen == 0 || len == 0)
        return;
    const size_t keep = m_maxLength - 1; // m_maxLength >= 1 while a needle is unseen
    if (!m_tail.empty()) {
        // Strings that start in the tail, with as much of this piece as the longest needs.
        m_joint.assign(m_tail.begin(), m_tail.end());
        m_joint.insert(m_joint.end(), data, data + std::min(len, keep));
        scanRange(m_joint.data(), m_joint.size(), 0, m_joint.size());
    }
    scanRange(data, len, 0, len);
    if (m_unseen == 0)
        return;
    // The new tail: the last `keep` bytes of the text so far.
    if (len >= keep) {
        m_tail.assign(data + len - keep, data + len);
    } else {
        m_tail.insert(m_tail.end(), data, data + len);
        if (m_tail.size() > keep)
            m_tail.erase(m_tail.begin(), m_tail.begin() + static_cast<std::ptrdiff_t>(m_tail.size() - keep));
    }
}

} // namespace tw
