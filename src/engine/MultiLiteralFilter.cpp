#include "engine/MultiLiteralFilter.h"

#include "engine/SimdSupport.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

#if TW_X86_SIMD
const bool g_hasAvx2 = __builtin_cpu_supports("avx2");
#endif

} // namespace

MultiLiteralFilter::MultiLiteralFilter(std::vector<Needle> needles, const CharClasses& classes)
    : m_classes(classes), m_needles(std::move(needles))
{
    for (const Needle& n : m_needles) {
        Entry e{n.bytes, n.caseSensitive};
        if (!n.caseSensitive)
            for (char& c : e.folded)
                c = static_cast<char>(classes.upper[static_cast<uint8_t>(c)]);
        for (size_t j = 0; j < kPositions && j < n.bytes.size(); ++j) {
            // Every byte whose fold is the string's folded byte, or the byte alone.
            const auto c = static_cast<uint8_t>(n.bytes[j]);
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

void MultiLiteralFilter::rebuild()
{
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
            if (j >= e.folded.size()) {
                for (unsigned v = 0; v < 256; ++v)
                    set(v);
                continue;
            }
            for (const uint8_t v : e.accepted[j])
                set(v);
        }
    }
}

bool MultiLiteralFilter::verifyAt(const uint8_t* data, size_t len, size_t s, uint8_t bits)
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
            if (s + L > len)
                continue;
            bool same = true;
            if (e.caseSensitive) {
                same = std::memcmp(data + s, e.folded.data(), L) == 0;
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
    if (s + 1 < len)
        bits &= m_table[1][data[s + 1]];
    if (s + 2 < len)
        bits &= m_table[2][data[s + 2]];
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
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo[kPositions], hi[kPositions];
    for (size_t j = 0; j < kPositions; ++j) {
        lo[j] = broadcastTable(m_low[j]);
        hi[j] = broadcastTable(m_high[j]);
    }
    size_t p = from;
    while (p < startLimit && p + 32 + kPositions - 1 <= len) {
        const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p));
        const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + 1));
        const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + 2));
        const __m256i r = _mm256_and_si256(_mm256_and_si256(nibbleLookup(x0, lo[0], hi[0], nibble),
                                                            nibbleLookup(x1, lo[1], hi[1], nibble)),
                                           nibbleLookup(x2, lo[2], hi[2], nibble));
        auto mask = ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(r, zero)));
        if (startLimit - p < 32)
            mask &= (uint32_t{1} << (startLimit - p)) - 1;
        bool changed = false;
        while (mask) {
            const size_t s = p + static_cast<size_t>(__builtin_ctz(mask));
            mask &= mask - 1;
            const uint8_t bits = bitsAt(data, len, s);
            if (bits && verifyAt(data, len, s, bits))
                changed = true;
        }
        p += 32;
        if (changed) {
            if (m_unseen == 0)
                return startLimit;
            rebuild();
            for (size_t j = 0; j < kPositions; ++j) {
                lo[j] = broadcastTable(m_low[j]);
                hi[j] = broadcastTable(m_high[j]);
            }
        }
    }
    return p;
}
#endif

void MultiLiteralFilter::scanRange(const uint8_t* data, size_t len, size_t from, size_t startLimit)
{
    size_t p = from;
#if TW_X86_SIMD
    if (g_hasAvx2 && !m_scalar)
        p = scanVector(data, len, p, startLimit);
#endif
    for (; p < startLimit && m_unseen > 0; ++p) {
        const uint8_t bits = bitsAt(data, len, p);
        if (bits && verifyAt(data, len, p, bits) && m_unseen > 0)
            rebuild();
    }
}

void MultiLiteralFilter::feed(const uint8_t* data, size_t len)
{
    if (m_unseen == 0 || len == 0)
        return;
    const size_t keep = m_maxLength - 1; // m_maxLength >= 1 while a needle is unseen
    if (!m_tail.empty()) {
        // Starts in the tail, with as much of this piece as the longest string needs.
        m_joint.assign(m_tail.begin(), m_tail.end());
        m_joint.insert(m_joint.end(), data, data + std::min(len, keep));
        scanRange(m_joint.data(), m_joint.size(), 0, m_tail.size());
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
