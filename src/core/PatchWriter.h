#pragma once
// Writes the changes of a replace run as a unified diff in the form git writes it, so that
// "git apply -p1" in the start directory makes each file what the run would have made it:
// per file "diff --git a/REL b/REL", "--- a/REL", "+++ b/REL", then hunks with three lines
// of context ("@@ -l,s +l,s @@"), line ends kept byte for byte and "\ No newline at end of
// file" after a last line without one. A binary file gets "Binary files a/REL and b/REL
// differ" instead of hunks.
//
// A file's diff is made in one forward pass over the original and the changed text,
// guided by the spans that changed (ChangeSpans): outside them both are the same bytes,
// so the lines that touch a span are the changed lines. A hunk's lines are gathered
// before its header (which counts them): in memory up to a bound, beyond it in an unnamed
// temporary file, so memory stays bounded whatever the size of a file or hunk.
#include "core/ChangeSpans.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tw {

// "a/NAME" as git writes it in a patch: as it is, or in double quotes with C escapes
// when it holds a double quote, a backslash or a control byte.
std::string quotePatchName(const std::string& name);

class PatchWriter {
public:
    PatchWriter(FileSystem& fs, File& out) : m_fs(fs), m_out(out) {}

    // A changed text file: the original (`originalSize` bytes), its changed text and the
    // spans from one to the other. Both files are read from any position. False when a
    // read or write failed.
    [[nodiscard]] bool writeText(const std::string& rel, File& original, int64_t originalSize, File& changed,
                                 int64_t changedSize, ChangeSpans& spans);
    [[nodiscard]] bool writeBinary(const std::string& rel);
    // Hands what is buffered to the output.
    [[nodiscard]] bool flush();

private:
    class Reader;
    class LineScan;
    struct Hunk;
    struct Block;
    void writeHeader(const std::string& rel);
    bool addBlock(Hunk& hunk, Reader& oldText, Reader& newText, const Block& block);
    bool closeHunk(Hunk& hunk, Reader& oldText);
    // Copies [from, to) of `in` into the hunk's lines, each line after `prefix`; at most
    // `maxLines` lines (when not negative). Gives the lines copied, -1 on a failure.
    int64_t copyLines(Hunk& hunk, Reader& in, int64_t from, int64_t to, char prefix, int64_t maxLines = -1,
                      int64_t* end = nullptr);
    bool body(Hunk& hunk, const char* data, size_t size);
    bool put(const char* data, size_t size);
    bool put(const std::string& text) { return put(text.data(), text.size()); }

    static constexpr int64_t kContext = 3; // lines of context around a change
    static constexpr size_t kOutBuffer = size_t{64} << 10;
    static constexpr size_t kBodyInMemory = size_t{1} << 20;

    FileSystem& m_fs;
    File& m_out;
    std::string m_buffer;            // output not yet written; below kOutBuffer between calls
    std::unique_ptr<File> m_spool;   // a hunk's lines beyond kBodyInMemory
    bool m_failed = false;
};

} // namespace tw
