#pragma once
// The scalar fields of a results line: what kind of line it is and where in its file it
// points. Every copy of a line (a worker's recording, the held-back store, the desktop
// list's rows, the export) stores and copies them as one block, so a field added here
// reaches every consumer without more code. Strings (the text, the path and the archive
// path) travel beside it, each consumer keeping them in its own way.
#include <cstdint>
#include <type_traits>

namespace tw {

enum class LineKind : uint8_t {
    Other,       // a line of none of the kinds below
    File,        // "Processing file : name" before the first line of a file
    ListedFile,  // one file of a file listing (same text as a file line)
    Hit,         // "Line N - ..." or "Offset 0x... - ..." with the found text between the hit markers
    ReplaceText, // the replace text shown under a hit
    Count,       // "Found N occurrences." or "No occurrences found!"
    Error,       // a file error, a temporary-file error, lost held-back lines
    Recovery,    // where the safety copy of a file whose rewrite failed is kept
    Done,        // a whole-file operation that was performed (prepend, append, reformat)
    Summary,     // the run's totals (shown without their leading name marker)
    PairSummary, // the totals of one search/replace pair of a script
    Notice,      // "Execution interrupted by the user!"
};

// Only plain values: the block is copied byte for byte (also into the held-back store's
// temporary file, which the same process reads back). Widest first, so the padding is at
// the end, where a derived type may place its own small fields.
struct ResultFields {
    long lineNumber = 0;     // hit lines of text files: the line of the hit (from 1); else 0
    int64_t fileOffset = -1; // hit lines: absolute offset of the hit in the bytes the scan read
                             // (the file, the member, or a UTF-16 text decoded); else -1
    int hitColumn = -1;      // hit lines: where the found text starts in the shown context
                             // (bytes after the "Line N - " or "Offset 0x... - " prefix,
                             // markers not counted); else -1
    int hitLength = 0;       // hit lines: length of the hit, leaving out the line ends it
                             // begins with (which fileOffset still counts); 0 for other lines
    LineKind kind = LineKind::Other;
    bool binary = false;     // hit lines: found in a binary file

    ResultFields& fields() { return *this; }
    const ResultFields& fields() const { return *this; }
    bool operator==(const ResultFields&) const = default;
};

static_assert(std::is_trivially_copyable_v<ResultFields>);

} // namespace tw
