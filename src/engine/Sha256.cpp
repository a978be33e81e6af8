#include "engine/Sha256.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TW_SHA_X86 1
#endif

namespace tw {

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::atomic<bool> g_allowHardware{true};

inline uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void plainBlocks(uint32_t* state, const uint8_t* data, size_t count)
{
    for (; count > 0; --count, data += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(data[4 * i]) << 24 | uint32_t(data[4 * i + 1]) << 16 | uint32_t(data[4 * i + 2]) << 8
                   | uint32_t(data[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g, g = f, f = e, e = d + t1;
            d = c, c = b, b = a, a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

#ifdef TW_SHA_X86
// The SHA extensions keep the state as two registers, ABEF and CDGH; each sha256rnds2 does
// two rounds, sha256msg1/msg2 extend the message schedule four words at a time.
__attribute__((target("sha,sse4.1"))) void hardwareBlocks(uint32_t* state, const uint8_t* data, size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));       // DCBA
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)); // HGFE
    tmp = _mm_shuffle_epi32(tmp, 0xB1);            // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);      // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);      // CDGH

    for (; count > 0; --count, data += 64) {
        const __m128i save0 = state0, save1 = state1;
        __m128i msg[4];
        for (int i = 0; i < 4; ++i)
            msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
        for (int r = 0; r < 16; ++r) {
            const __m128i cur = msg[r & 3];
            __m128i m = _mm_add_epi32(cur, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * r)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, m);
            m = _mm_shuffle_epi32(m, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, m);
            // The schedule: group r+1 is finished (its W[t-7] and sigma1 terms) while group
            // r-1 is still whole, then group r-1 takes its sigma0 term for group r+3.
            if (r >= 3 && r <= 14) {
                __m128i& next = msg[(r + 1) & 3];
                next = _mm_add_epi32(next, _mm_alignr_epi8(cur, msg[(r - 1) & 3], 4));
                next = _mm_sha256msg2_epu32(next, cur);
            }
            if (r >= 1 && r <= 12)
                msg[(r - 1) & 3] = _mm_sha256msg1_epu32(msg[(r - 1) & 3], cur);
        }
        state0 = _mm_add_epi32(state0, save0);
        state1 = _mm_add_epi32(state1, save1);
    }
    tmp = _mm_shuffle_epi32(state0, 0x1B);            // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);         // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);      // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);         // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

bool hardwareAvailable()
{
    static const bool available = __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1");
    return available;
}
#endif

} // namespace

Sha256::Sha256() { reset(); }

void Sha256::reset()
{
    m_state = kInitial;
    m_pendingSize = 0;
    m_totalBytes = 0;
}

void Sha256::allowHardware(bool allow) { g_allowHardware.store(allow); }

void Sha256::blocks(const uint8_t* data, size_t count)
{
#ifdef TW_SHA_X86
    if (g_allowHardware.load(std::memory_order_relaxed) && hardwareAvailable()) {
        hardwareBlocks(m_state.data(), data, count);
        return;
    }
#endif
    plainBlocks(m_state.data(), data, count);
}

void Sha256::update(const void* dataIn, size_t size)
{
    const auto* data = static_cast<const uint8_t*>(dataIn);
    m_totalBytes += size;
    if (m_pendingSize > 0) {
        const size_t take = std::min(size, 64 - m_pendingSize);
        std::memcpy(m_pending.data() + m_pendingSize, data, take);
        m_pendingSize += take;
        data += take;
        size -= take;
        if (m_pendingSize < 64)
            return;
        blocks(m_pending.data(), 1);
        m_pendingSize = 0;
    }
    if (size >= 64) {
        blocks(data, size / 64);
        data += size / 64 * 64;
        size %= 64;
    }
    std::memcpy(m_pending.data(), data, size);
    m_pendingSize = size;
}

Sha256::Digest Sha256::finish()
{
    const uint64_t bits = m_totalBytes * 8;
    uint8_t tail[72] = {0x80};
    const size_t padding = (m_pendingSize < 56 ? 56 : 120) - m_pendingSize;
    for (int i = 0; i < 8; ++i)
        tail[padding + i] = uint8_t(bits >> (56 - 8 * i));
    update(tail, padding + 8);
    Digest out;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = uint8_t(m_state[i] >> (24 - 8 * j));
    return out;
}

std::string Sha256::hex(const Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(64);
    for (uint8_t b : digest) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

} // namespace tw
