#pragma once
// UTF-16 <-> UTF-8 transcoding in pieces, for searching UTF-16 files with the 8-bit
// engine. No I/O: callers hand in and take out byte ranges.
//
// Decoding turns every well-formed unit or surrogate pair into its UTF-8 form. A unit
// that cannot be decoded (an unpaired surrogate, or a single byte left over at the end of
// an odd-length text) becomes U+FFFD, and the decoder records where in the decoded text
// that U+FFFD starts and which original unit it stands for (`Utf16Irregular`). Well-formed
// UTF-16 survives decoding and encoding unchanged, so those records are all an encoder
// needs to give back every original byte of text that was not replaced.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tw {

enum class Utf16Order { Little, Big };

// One unit the decoder showed as U+FFFD.
struct Utf16Irregular {
    int64_t decodedOffset = 0; // where its three U+FFFD bytes start in the decoded text
    uint16_t unit = 0;         // the unpaired surrogate, or the lone byte when halfUnit
    bool halfUnit = false;     // a single byte at the end of an odd-length text
};

// Decodes UTF-16 (without its byte-order mark) to UTF-8, piece by piece: a piece may end
// anywhere, also inside a unit or between the halves of a surrogate pair.
class Utf16Decoder {
public:
    explicit Utf16Decoder(Utf16Order order) : m_order(order) {}

    // Records irregular units into `out` (null: not recorded). The records of a long text
    // pile up unless the reader removes those it has passed.
    void recordIrregular(std::deque<Utf16Irregular>* out) { m_irregular = out; }

    struct Step {
        size_t consumed = 0; // input bytes used
        size_t produced = 0; // output bytes written
    };
    // Decodes whole characters from in[0, inSize) into out[0, outCapacity) while the next
    // one fits. Without `final`, a piece that ends inside a unit or after a high surrogate
    // leaves those bytes unconsumed for the next call; with `final` they are irregular.
    // Both counts are 0 only when the next character needs more room (at most 4 bytes) or,
    // without `final`, more input.
    Step decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity, bool final);

    // Bytes produced so far: the decoded offset of the next output byte.
    int64_t decodedBytes() const { return m_decoded; }

private:
    void irregular(uint16_t unit, bool half);

    Utf16Order m_order;
    std::deque<Utf16Irregular>* m_irregular = nullptr;
    int64_t m_decoded = 0;
};

// True for well-formed UTF-8 as the Unicode standard defines it: no overlong forms, no
// encoded surrogates, nothing above U+10FFFF, no stray continuation bytes.
bool isWellFormedUtf8(std::string_view text);

// Appends the UTF-16 form of one code point (no surrogates) in the given order.
void appendUtf16(std::string& out, char32_t cp, Utf16Order order);
// One UTF-16 code unit, in `order`, appended to `out`.
void appendUtf16Unit(std::string& out, uint16_t unit, Utf16Order order);

// Reads one well-formed UTF-8 character at text[0, size): its length (1 to 4) and code
// point, 0 when it is not well formed, -1 when it is a well-formed start that needs more
// bytes than `size`.
int readUtf8Char(const uint8_t* text, size_t size, char32_t* cp);

} // namespace tw
