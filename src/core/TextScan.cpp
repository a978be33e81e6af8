#include "core/TextScan.h"

#include <algorithm>

namespace tw {

namespace {
constexpr size_t kFlushAt = 65536; // UTF-16 output is written in pieces of about this size
constexpr char32_t kReplacementChar = 0xFFFD;
} // namespace

bool EncodingOutput::start()
{
    m_started = true;
    switch (m_source.form()) {
    case TextForm::Bytes:
        return true;
    case TextForm::Utf8Bom: {
        static const uint8_t mark[3] = {0xEF, 0xBB, 0xBF};
        if (!m_target.write(mark, sizeof mark))
            return false;
        m_written += 3;
        return true;
    }
    case TextForm::Utf16Little:
    case TextForm::Utf16Big:
        m_order = m_source.form() == TextForm::Utf16Little ? Utf16Order::Little : Utf16Order::Big;
        unit(0xFEFF);
        return true;
    }
    return true;
}

bool EncodingOutput::flush()
{
    if (m_buffer.empty())
        return true;
    if (!m_target.write(m_buffer.data(), m_buffer.size()))
        return false;
    m_written += static_cast<int64_t>(m_buffer.size());
    m_buffer.clear();
    return true;
}

void EncodingOutput::unit(uint16_t u)
{
    appendUtf16Unit(m_buffer, u, m_order);
}

void EncodingOutput::replacing(int64_t offset, size_t length, size_t size)
{
    // Bytes pass through unchanged, so a record would only pile up, one per hit.
    if (!m_source.isUtf16() || m_unwritable)
        return;
    m_spans.push_back(Span{offset, static_cast<int64_t>(length), size});
    if (m_replLeft == 0)
        beginSpans();
}

void EncodingOutput::beginSpans()
{
    while (m_replLeft == 0 && !m_spans.empty() && m_spans.front().offset <= m_inPos) {
        const Span s = m_spans.front();
        m_spans.pop_front();
        if (s.offset < m_inPos) {
            m_unwritable = true; // a replacement for text already written: never announced so
            return;
        }
        // A character begun before the replacement is no longer the original one.
        m_pendingCopy = false;
        if (s.size > 0) {
            m_replLeft = s.size;
            m_replSkips = s.length;
        } else {
            m_inPos += s.length;
            dropPassedRecords();
        }
    }
}

void EncodingOutput::dropPassedRecords()
{
    // Records of units inside replaced text are of no more use; without this a file whose
    // irregular units are all replaced would pile them up.
    std::deque<Utf16Irregular>& irregular = m_source.irregular();
    while (!irregular.empty() && irregular.front().decodedOffset < m_inPos)
        irregular.pop_front();
}

bool EncodingOutput::write(const void* data, size_t count)
{
    if (!m_started && !start())
        return false;
    if (!m_source.isUtf16()) {
        if (!m_target.write(data, count))
            return false;
        m_written += static_cast<int64_t>(count);
        return true;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    size_t i = 0;
    while (i < count && !m_unwritable) {
        if (m_replLeft == 0)
            beginSpans();
        if (m_unwritable)
            break;
        if (m_replLeft > 0) {
            const size_t run = std::min(count - i, m_replLeft);
            encode(p + i, run, false);
            i += run;
            m_replLeft -= run;
            if (m_replLeft == 0) {
                m_inPos += m_replSkips;
                m_replSkips = 0;
                m_pendingCopy = false;
                dropPassedRecords();
            }
        } else {
            size_t run = count - i;
            if (!m_spans.empty())
                run = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(run), m_spans.front().offset - m_inPos));
            encode(p + i, run, true);
            i += run;
            m_inPos += static_cast<int64_t>(run);
        }
    }
    if (m_unwritable) {
        m_buffer.clear();
        return true;
    }
    return m_buffer.size() < kFlushAt || flush();
}

void EncodingOutput::encode(const uint8_t* p, size_t n, bool copy)
{
    size_t j = 0;
    while (j < n) {
        if (m_pendingLength == 0 && p[j] < 0x80) {
            size_t k = j;
            while (k < n && p[k] < 0x80)
                ++k;
            const size_t old = m_buffer.size();
            m_buffer.resize(old + 2 * (k - j));
            auto* o = reinterpret_cast<uint8_t*>(m_buffer.data()) + old;
            const bool little = m_order == Utf16Order::Little;
            for (; j < k; ++j, o += 2) {
                o[little ? 0 : 1] = p[j];
                o[little ? 1 : 0] = 0;
            }
            continue;
        }
        const int64_t offset = m_inPos + static_cast<int64_t>(j);
        if (m_pendingLength == 0) {
            m_pendingCopy = copy;
            m_pendingOffset = offset;
        } else if (!copy || offset != m_pendingOffset + static_cast<int64_t>(m_pendingLength)) {
            m_pendingCopy = false;
        }
        m_pending[m_pendingLength++] = p[j++];
        char32_t cp = 0;
        const int got = readUtf8Char(m_pending, m_pendingLength, &cp);
        if (got == 0) {
            m_unwritable = true;
            return;
        }
        if (got > 0) {
            character(cp, static_cast<size_t>(got));
            m_pendingLength = 0;
            if (m_unwritable)
                return;
        }
    }
}

void EncodingOutput::character(char32_t cp, size_t length)
{
    if (m_pendingCopy) {
        // A copy of decoded input: the U+FFFD of an irregular unit goes back out as that unit.
        std::deque<Utf16Irregular>& irregular = m_source.irregular();
        while (!irregular.empty() && irregular.front().decodedOffset < m_pendingOffset)
            irregular.pop_front();
        if (!irregular.empty() && irregular.front().decodedOffset == m_pendingOffset) {
            const Utf16Irregular r = irregular.front();
            irregular.pop_front();
            if (cp != kReplacementChar || length != 3) {
                m_unwritable = true; // the record and the text disagree: never written blindly
                return;
            }
            if (r.halfUnit)
                m_buffer.push_back(static_cast<char>(r.unit));
            else
                unit(r.unit);
            return;
        }
    }
    appendUtf16(m_buffer, cp, m_order);
}

bool EncodingOutput::finish()
{
    if (!m_started && !start())
        return false;
    if (!m_source.isUtf16())
        return true;
    if (!m_unwritable) {
        beginSpans(); // replacements by nothing at the very end
        if (m_replLeft > 0 || m_pendingLength > 0 || !m_spans.empty() || m_inPos != m_source.decodedBytes() ||
            !m_source.exhausted())
            m_unwritable = true;
    }
    if (m_unwritable) {
        m_buffer.clear();
        return true;
    }
    return flush();
}

bool EncodingHooks::decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText)
{
    // Checked before anyone is asked: a replace text that UTF-16 cannot hold makes the
    // whole file unwritable, so no answer about it would count.
    if (m_source.isUtf16() && !isWellFormedUtf8(replaceText)) {
        m_output.markUnwritable();
        return false;
    }
    return m_inner.decideHit(file, hitLine, replaceText);
}

TextScan::TextScan(ByteSource& input, bool detectUtf16, FileState& file, ReplaceHooks* hooks)
    : m_source(input, detectUtf16), m_file(file), m_sizeChangeBefore(file.sizeChange), m_inner(hooks)
{
    if (hooks && detectUtf16) {
        m_source.keepIrregular();
        m_output.emplace(hooks->output(), m_source);
        m_hooks.emplace(*hooks, *m_output, m_source);
    }
}

ScanOutcome TextScan::finish(ScanOutcome scanned)
{
    if (!m_output || scanned != ScanOutcome::Done)
        return scanned;
    if (!m_output->finish()) {
        m_inner->writeFailed(m_file, false);
        return ScanOutcome::Stopped;
    }
    // The scanner counted the size change in decoded bytes. What the commit checks is the
    // file: the input's bytes against the bytes this output handed to the temporary file,
    // so the check still catches a temporary file that lost or gained bytes. (Summed over
    // the pairs of a file, each reading the last one's output, these telescope to original
    // size minus final size.)
    if (m_source.isUtf16() && !m_output->unwritable())
        m_file.sizeChange = m_sizeChangeBefore + (m_source.upstreamBytes() - m_output->bytesWritten());
    return scanned;
}

} // namespace tw
