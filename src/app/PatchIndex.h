#pragma once
// An index of a unified diff in git's form, made in one forward pass over the file: per
// file section its name, its byte range, its hunks and its added and removed lines, and
// every so many lines a place to start reading from. The lines themselves stay in the
// file and are read when asked for, so a patch of any size opens at once and the index is
// all the memory it takes. The file is hostile input: whatever does not read as a patch
// is kept as a malformed section or malformed lines, shown as such.
#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

enum class PatchLineKind : uint8_t {
    Header,     // "diff --git", "index", "---", "+++", mode and rename lines, "Binary files"
    HunkHeader, // "@@ -l,s +l,s @@"
    Context,    // " " (both sides)
    Removed,    // "-"
    Added,      // "+"
    NoNewline,  // "\ No newline at end of file"
    Malformed,  // anything that does not belong where it stands
};

// One line of a section as read from the patch.
struct PatchLine {
    PatchLineKind kind = PatchLineKind::Malformed;
    // The line's bytes without its LF (a CR before the LF is kept), at most
    // PatchIndex::kMaxLineBytes of them.
    std::string text;
    bool cut = false; // the line is longer than `text`
    // For a removed line and the added line paired with it: the bytes of `text` that
    // differ, [markBegin, markEnd), the common prefix and suffix left out. Equal when
    // nothing is marked.
    size_t markBegin = 0;
    size_t markEnd = 0;
};

struct PatchHunk {
    uint64_t begin = 0; // offset of the "@@" line in the patch
    uint64_t end = 0;   // offset just past its last line
    uint64_t firstRow = 0; // the "@@" line's row within its section
    uint64_t rows = 0;     // its lines, the "@@" line included
    uint64_t oldStart = 0, oldCount = 0, newStart = 0, newCount = 0;
    bool complete = false; // the lines the "@@" line announces are all there
};

struct PatchSection {
    // The file's name without "a/" or "b/", unquoted (C escapes decoded); empty when the
    // section names none that could be read.
    std::string rel;
    uint64_t begin = 0; // offset of the section's first line in the patch
    uint64_t end = 0;   // offset just past its last line; begin <= end
    uint64_t rows = 0;  // its lines
    size_t firstHunk = 0; // its hunks in PatchIndex::hunk()
    size_t hunkCount = 0;
    uint64_t added = 0;
    uint64_t removed = 0;
    bool binary = false;    // "Binary files ... differ" or a binary patch
    bool malformed = false; // a broken hunk, stray lines, or text before the first file
    bool preamble = false;  // the text before the first "diff --git" line
    std::optional<uint64_t> replacements; // attached by the caller
    // Where reading starts (PatchIndex internals).
    size_t firstCheckpoint = 0;
    size_t checkpointCount = 0; // at least 1: the section's first line
    size_t firstRun = 0;        // its runs of removed lines followed by added lines
    size_t runCount = 0;
};

class PatchIndex {
public:
    // Lines longer than this are shown cut.
    static constexpr size_t kMaxLineBytes = 8192;
    // A place to start reading from every this many lines (and after every long line).
    static constexpr uint64_t kCheckpointRows = 64;

    PatchIndex();
    ~PatchIndex();
    PatchIndex(const PatchIndex&) = delete;
    PatchIndex& operator=(const PatchIndex&) = delete;

    // Opens `path` (a regular file, never through a link) and indexes it. False, with
    // error() saying why, when it cannot be opened or read.
    bool open(const std::string& path, FileSystem& fs = realFileSystem());
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }
    // The bytes indexed.
    uint64_t size() const { return m_size; }

    size_t sectionCount() const { return m_sections.size(); }
    const PatchSection& section(size_t i) const { return m_sections[i]; }
    const PatchHunk& hunk(size_t i) const { return m_hunks[i]; }
    // The first section named `rel`, if any.
    std::optional<size_t> findSection(std::string_view rel) const;
    // Attaches a replacement count to the section named `rel`; false when none is.
    bool setReplacements(std::string_view rel, uint64_t count);

    // Line `row` of section `index`, read from the patch. False when it cannot be read
    // (the file shrank or failed since it was indexed).
    bool readLine(size_t index, uint64_t row, PatchLine* out);
    // Writes the indexed bytes to `out`, as they are in the patch. False on a read or
    // write failure, or when the patch no longer has them all.
    bool copyTo(File& out);
    // The status of the open patch (the file a save must not write over).
    bool status(FileStatus* out) const;

    // A name as git writes it in a header: C-quoted in double quotes, or plain.
    static std::string unquoteName(std::string_view text);

private:
    struct Checkpoint {
        uint64_t row = 0;    // within the section
        uint64_t offset = 0; // in the patch
    };
    // A run of removed lines and the added lines right after it, paired line by line.
    struct ChangeRun {
        uint64_t removedRow = 0, removedCount = 0;
        uint64_t addedRow = 0, addedCount = 0;
    };
    struct Block; // lines read from one checkpoint
    class Builder;

    const Block* block(size_t index, uint64_t row);
    bool readRaw(size_t index, uint64_t row, std::string* text, bool* cut);
    PatchLineKind kindOf(const PatchSection& s, uint64_t row, std::string_view text) const;
    std::optional<uint64_t> partnerRow(const PatchSection& s, uint64_t row, bool removed) const;
    bool readAt(uint64_t offset, char* buffer, size_t count, size_t* got);

    std::string m_path;
    std::string m_error;
    std::unique_ptr<File> m_file; // the patch, open while the index lives
    uint64_t m_size = 0;
    std::vector<PatchSection> m_sections;
    std::vector<PatchHunk> m_hunks;
    std::vector<Checkpoint> m_checkpoints; // per section, rows rising
    std::vector<ChangeRun> m_runs;         // per section, rows rising
    std::vector<std::unique_ptr<Block>> m_cache; // most recently used first, at most kCachedBlocks
};

} // namespace tw
