#pragma once
// SHA-256 (FIPS 180-4) of a byte stream fed in pieces. On processors with the SHA
// extensions the blocks go through those instructions; elsewhere through the plain
// rounds. Both give the same digest.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

class Sha256 {
public:
    using Digest = std::array<uint8_t, 32>;

    Sha256();
    void update(const void* data, size_t size);
    // The digest of everything fed so far; the object is then spent (reset() to reuse).
    Digest finish();
    void reset();

    // The digest as 64 lower-case hexadecimal digits.
    static std::string hex(const Digest& digest);
    // Tests: false keeps every block on the plain rounds.
    static void allowHardware(bool allow);

private:
    void blocks(const uint8_t* data, size_t count);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_pending; // bytes of an incomplete block
    size_t m_pendingSize = 0;          // invariant: < 64
    uint64_t m_totalBytes = 0;
};

} // namespace tw
