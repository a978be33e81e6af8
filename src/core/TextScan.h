#pragma once
// One scan of a file or archive member in the text form its first bytes announce: what the
// scan reads (a DecodingSource) and, in replace mode, where the replaced text goes (an
// EncodingOutput in front of the pair's temporary file).
//
// How a UTF-16 file comes back out exactly. Well-formed UTF-16 survives decoding to UTF-8
// and encoding back unchanged, so the output is the scan's UTF-8 output encoded again,
// with two additions that make it exact:
// - The scanner says, before it writes each replacement, which decoded bytes it stands
//   for (ReplaceHooks::replacing). The encoder therefore knows of every output byte
//   whether it is a copy of decoded input, and at which decoded offset, or part of a
//   replacement.
// - The decoder records every unit it showed as U+FFFD (an unpaired surrogate, or the lone
//   last byte of an odd-length file) with the decoded offset of that U+FFFD. A U+FFFD
//   whose three bytes are copies of exactly those decoded bytes is written as the
//   original unit, never as FFFD; a U+FFFD from the file itself or from a replacement has
//   no record and is encoded as U+FFFD.
// The records are dropped as the encoder passes them, so memory stays bounded by the
// scan's buffer. Output that is not well-formed UTF-8 (a replace text with an unpaired
// surrogate or a stray byte from an escape, or a hit that cuts a character) cannot be
// written as UTF-16: the file is then unwritable, its output is abandoned and the file
// stays as it was.
#include "core/DecodingSource.h"
#include "core/FileScanner.h"

#include <deque>
#include <optional>
#include <vector>

namespace tw {

// The temporary output of a replace scan: passes bytes through, after the UTF-8 mark when
// the input had one, or encodes them to UTF-16 in the input's order after its mark.
class EncodingOutput final : public File {
public:
    EncodingOutput(File& target, DecodingSource& source) : m_target(target), m_source(source) {}

    // The replacement written next stands for the decoded bytes [offset, offset + length)
    // and is `size` bytes long. Only UTF-16 output needs to know; there, a replacement
    // announced once everything before it was written begins at once, so a run of them
    // (replaced by nothing, say) leaves no record behind.
    void replacing(int64_t offset, size_t length, size_t size);
    void markUnwritable() { m_unwritable = true; }
    bool unwritable() const { return m_unwritable; }

    // After a completed scan: writes what is buffered and checks that every decoded byte
    // was accounted for (else the output is unwritable). False on a write failure.
    [[nodiscard]] bool finish();
    // Bytes handed to the target, marks included.
    int64_t bytesWritten() const { return m_written; }
    // Announced replacements whose bytes have not begun to arrive.
    size_t replacementsWaiting() const { return m_spans.size(); }

    // Writes of an unwritable output are swallowed: the scan goes on to the file's end,
    // and the file is dropped afterwards as one error, not as a failed temporary file.
    [[nodiscard]] bool write(const void* data, size_t count) override;
    [[nodiscard]] int64_t read(void*, size_t) override { return -1; }
    [[nodiscard]] bool seek(int64_t) override { return false; }
    [[nodiscard]] int64_t position() override { return m_written + static_cast<int64_t>(m_buffer.size()); }
    [[nodiscard]] bool truncate(int64_t) override { return false; }
    [[nodiscard]] bool sync() override { return flush() && m_target.sync(); }
    const std::string& path() const override { return m_target.path(); }

private:
    struct Span {
        int64_t offset;
        int64_t length;
        size_t size;
    };
    bool start();
    bool flush();
    void beginSpans();
    void dropPassedRecords();
    void encode(const uint8_t* data, size_t count, bool copy);
    void character(char32_t cp, size_t length);
    void unit(uint16_t u);

    File& m_target;
    DecodingSource& m_source;
    bool m_started = false;    // the mark (if any) is out; the form is known
    bool m_unwritable = false;
    Utf16Order m_order = Utf16Order::Little;
    int64_t m_written = 0;     // bytes the target took
    std::string m_buffer; // UTF-16 output not yet written

    // UTF-16 only. Invariants: the input bytes before m_inPos (decoded offsets) are
    // accounted for, copied or replaced; m_replLeft > 0 while the bytes coming are a
    // replacement that will account for m_replSkips more input bytes; m_spans are the
    // announced replacements not yet begun, in increasing offset.
    std::deque<Span> m_spans;
    int64_t m_inPos = 0;
    size_t m_replLeft = 0;
    int64_t m_replSkips = 0;
    // A character whose bytes have not all arrived: m_pending[0, m_pendingLength).
    // m_pendingCopy: all its bytes so far are copies of consecutive decoded bytes starting
    // at m_pendingOffset.
    uint8_t m_pending[4] = {};
    size_t m_pendingLength = 0;
    bool m_pendingCopy = false;
    int64_t m_pendingOffset = 0;
};

// Hooks of a replace scan through an EncodingOutput; everything but the output and the
// announced replacements goes to the run's own hooks.
class EncodingHooks final : public ReplaceHooks {
public:
    EncodingHooks(ReplaceHooks& inner, EncodingOutput& output, DecodingSource& source)
        : m_inner(inner), m_output(output), m_source(source)
    {
    }
    File& output() override { return m_output; }
    // Once the file cannot be written its later hits are neither shown nor asked about.
    bool hitVisible() override { return !m_output.unwritable() && m_inner.hitVisible(); }
    bool decideHit(FileState& file, const std::string& hitLine, const std::string& replaceText) override;
    // The run's hooks hear of the replacement in the file's bytes: after a UTF-8 mark.
    void replacing(int64_t offset, size_t length, size_t size) override
    {
        m_output.replacing(offset, length, size);
        if (!m_source.isUtf16())
            m_inner.replacing(offset + (m_source.upstreamBytes() - m_source.decodedBytes()), length, size);
    }
    bool tracksReplacements() override { return m_source.isUtf16(); }
    void replaced() override { m_inner.replaced(); }
    void writeFailed(const FileState& file, bool whileWritingReplacement) override
    {
        m_inner.writeFailed(file, whileWritingReplacement);
    }

private:
    ReplaceHooks& m_inner;
    EncodingOutput& m_output;
    DecodingSource& m_source;
};

// What the run driver uses: given the opened input and the run's hooks (null for a
// search), the source and hooks to scan with; after the scan, finish() completes the
// output and brings the file's size change to the bytes of the file (not of the decoded
// text), which the size check of the commit compares with the temporary file.
class TextScan {
public:
    TextScan(ByteSource& input, bool detectUtf16, FileState& file, ReplaceHooks* hooks);

    ByteSource& source() { return m_source; }
    ReplaceHooks* hooks() { return m_hooks ? &*m_hooks : m_inner; }

    // Takes the scan's outcome and gives the one to act on.
    ScanOutcome finish(ScanOutcome scanned);
    // The replaced text cannot be written in the file's form: the file stays unchanged.
    bool unwritable() const { return m_output && m_output->unwritable(); }
    bool isUtf16() const { return m_source.isUtf16(); }

private:
    DecodingSource m_source;
    FileState& m_file;
    int64_t m_sizeChangeBefore;
    ReplaceHooks* m_inner;
    std::optional<EncodingOutput> m_output;
    std::optional<EncodingHooks> m_hooks;
};

// The error line's text (the file's name follows).
inline constexpr const char* kUtf16UnwritableText = "Error writing replacement as UTF-16 to file ";

} // namespace tw
