#pragma once
// What the scan reads of a file or archive member that may begin with a byte-order mark.
// A UTF-16 text (FF FE or FE FF first) reaches the scan as UTF-8, decoded on the fly, so
// the 8-bit engine searches it as it searches any UTF-8 file; a UTF-8 byte-order mark
// (EF BB BF) is left out, so no hit can start inside it. The mark is never part of what
// the scan sees. Everything else passes through unchanged, as does every file when
// detection is off.
#include "core/ByteSource.h"
#include "engine/Utf16Codec.h"

#include <deque>
#include <memory>
#include <vector>

namespace tw {

enum class TextForm { Bytes, Utf8Bom, Utf16Little, Utf16Big };

class DecodingSource final : public ByteSource {
public:
    // With `detect` false every input is read as bytes.
    DecodingSource(ByteSource& upstream, bool detect) : m_upstream(upstream), m_detect(detect) {}

    int64_t read(void* buffer, size_t count) override;
    // Holes are passed on only while bytes pass through unchanged: decoded UTF-16 is read
    // in full.
    int64_t zerosAhead() override { return passesThrough() ? m_upstream.zerosAhead() : 0; }
    void skipZeros(int64_t count) override
    {
        if (passesThrough()) {
            m_upstream.skipZeros(count);
            m_upstreamBytes += count;
            m_delivered += count;
        }
    }

    // Known once the first read returned.
    TextForm form() const { return m_form; }
    bool isUtf16() const { return m_form == TextForm::Utf16Little || m_form == TextForm::Utf16Big; }

    // Replace scans: keep a record of every unit decoded as U+FFFD for the encoder, which
    // removes those it has passed. Call before the first read.
    void keepIrregular()
    {
        m_keepIrregular = true;
        if (!m_irregular)
            m_irregular = std::make_unique<std::deque<Utf16Irregular>>();
    }
    // Only after keepIrregular().
    std::deque<Utf16Irregular>& irregular() { return *m_irregular; }

    // Bytes taken from the upstream (byte-order mark included) and bytes handed out.
    int64_t upstreamBytes() const { return m_upstreamBytes; }
    int64_t decodedBytes() const { return m_delivered; }
    // The upstream is used up and every byte decoded from it has been handed out.
    bool exhausted() const { return m_ended && m_rawPos == m_rawEnd && m_spillPos == m_spillEnd; }

private:
    bool passesThrough() const { return m_started && !isUtf16() && m_spillPos == m_spillEnd; }
    int64_t firstRead(uint8_t* out, size_t count);
    int64_t decodeInto(uint8_t* out, size_t count);
    int64_t upstreamRead(uint8_t* to, size_t count);

    ByteSource& m_upstream;
    bool m_detect;
    bool m_started = false;        // the first read has looked for a mark
    TextForm m_form = TextForm::Bytes;
    bool m_keepIrregular = false;
    int64_t m_upstreamBytes = 0;
    int64_t m_delivered = 0;

    // UTF-16 only. Invariants: m_raw[m_rawPos, m_rawEnd) holds upstream bytes not yet
    // decoded (at most 3 of them can be an unfinished unit or surrogate pair waiting for
    // the rest); m_spill[m_spillPos, m_spillEnd) holds decoded bytes of one character that
    // did not fit the caller's buffer, handed out first; m_ended: the upstream returned 0.
    Utf16Decoder m_decoder{Utf16Order::Little};
    // Made by keepIrregular() only: a deque allocates as it is made, and most scans are not
    // replace scans.
    std::unique_ptr<std::deque<Utf16Irregular>> m_irregular;
    std::vector<uint8_t> m_raw;
    size_t m_rawPos = 0, m_rawEnd = 0;
    uint8_t m_spill[8] = {};
    size_t m_spillPos = 0, m_spillEnd = 0;
    bool m_ended = false;
};

} // namespace tw
