#include "core/DecodingSource.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {
constexpr size_t kRawBlock = 65536; // upstream bytes decoded at a time
} // namespace

int64_t DecodingSource::upstreamRead(uint8_t* to, size_t count)
{
    const int64_t got = m_upstream.read(to, count);
    if (got > 0)
        m_upstreamBytes += got;
    return got;
}

int64_t DecodingSource::read(void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t got;
    if (!m_started)
        got = firstRead(out, count);
    else if (isUtf16())
        got = decodeInto(out, count);
    else if (m_spillPos < m_spillEnd) {
        // Bytes of the first read that did not fit a tiny first buffer.
        const size_t n = std::min(count, m_spillEnd - m_spillPos);
        std::memcpy(out, m_spill + m_spillPos, n);
        m_spillPos += n;
        got = static_cast<int64_t>(n);
        if (n < count) {
            const int64_t more = upstreamRead(out + n, count - n);
            got = more < 0 ? -1 : got + more;
        }
    } else
        got = upstreamRead(out, count);
    if (got > 0)
        m_delivered += got;
    return got;
}

int64_t DecodingSource::firstRead(uint8_t* out, size_t count)
{
    m_started = true;
    if (!m_detect)
        return upstreamRead(out, count);
    // The first bytes are read straight into the caller's buffer, so a file without a mark
    // costs nothing extra; only a buffer too small to hold one reads through m_spill.
    const bool direct = count >= 4;
    uint8_t* probe = direct ? out : m_spill;
    const size_t want = direct ? count : 4;
    const int64_t got = upstreamRead(probe, want);
    if (got < 0)
        return -1;
    const auto n = static_cast<size_t>(got);
    const bool ended = n < want;
    size_t skip = 0;
    if (n >= 2 && ((probe[0] == 0xFF && probe[1] == 0xFE) || (probe[0] == 0xFE && probe[1] == 0xFF))) {
        m_form = probe[0] == 0xFF ? TextForm::Utf16Little : TextForm::Utf16Big;
        m_decoder = Utf16Decoder(m_form == TextForm::Utf16Little ? Utf16Order::Little : Utf16Order::Big);
        if (m_keepIrregular)
            m_decoder.recordIrregular(m_irregular.get());
        m_raw.resize(std::max(kRawBlock, want));
        std::memcpy(m_raw.data(), probe + 2, n - 2);
        m_rawPos = 0;
        m_rawEnd = n - 2;
        m_ended = ended;
        return decodeInto(out, count);
    }
    if (n >= 3 && probe[0] == 0xEF && probe[1] == 0xBB && probe[2] == 0xBF) {
        m_form = TextForm::Utf8Bom;
        skip = 3;
    }
    if (!direct) {
        m_spillPos = skip;
        m_spillEnd = n;
        const size_t give = std::min(count, m_spillEnd - m_spillPos);
        std::memcpy(out, m_spill + m_spillPos, give);
        m_spillPos += give;
        if (give < count && !ended) {
            const int64_t more = upstreamRead(out + give, count - give);
            return more < 0 ? -1 : static_cast<int64_t>(give) + more;
        }
        return static_cast<int64_t>(give);
    }
    if (skip == 0)
        return got;
    // The mark is dropped and the buffer filled up again from the upstream.
    std::memmove(out, out + skip, n - skip);
    if (ended)
        return static_cast<int64_t>(n - skip);
    const int64_t more = upstreamRead(out + n - skip, skip);
    return more < 0 ? -1 : static_cast<int64_t>(n - skip) + more;
}

int64_t DecodingSource::decodeInto(uint8_t* out, size_t count)
{
    size_t produced = 0;
    while (produced < count) {
        if (m_spillPos < m_spillEnd) {
            const size_t n = std::min(count - produced, m_spillEnd - m_spillPos);
            std::memcpy(out + produced, m_spill + m_spillPos, n);
            m_spillPos += n;
            produced += n;
            continue;
        }
        Utf16Decoder::Step step = m_decoder.decode(m_raw.data() + m_rawPos, m_rawEnd - m_rawPos, out + produced,
                                                   count - produced, m_ended);
        m_rawPos += step.consumed;
        produced += step.produced;
        if (step.consumed > 0 || step.produced > 0)
            continue;
        if (count - produced < 4) {
            // The next character is longer than the room left: decode it aside and hand
            // out its first bytes now, the rest with the next read.
            step = m_decoder.decode(m_raw.data() + m_rawPos, m_rawEnd - m_rawPos, m_spill, 4, m_ended);
            m_rawPos += step.consumed;
            m_spillPos = 0;
            m_spillEnd = step.produced;
            if (step.produced > 0)
                continue;
        }
        if (m_ended)
            break; // with `final` the decoder has taken every byte
        // More input: the unfinished tail (at most 3 bytes) moves to the front.
        const size_t tail = m_rawEnd - m_rawPos;
        std::memmove(m_raw.data(), m_raw.data() + m_rawPos, tail);
        m_rawPos = 0;
        m_rawEnd = tail;
        const size_t want = m_raw.size() - tail;
        const int64_t got = upstreamRead(m_raw.data() + tail, want);
        if (got < 0)
            return -1;
        m_rawEnd += static_cast<size_t>(got);
        m_ended = static_cast<size_t>(got) < want;
    }
    return static_cast<int64_t>(produced);
}

} // namespace tw
