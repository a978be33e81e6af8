#pragma once
// The one interface the per-file scan uses to find hits, whatever the search: a literal
// scan or a compiled pattern. A matcher searches a buffer from a start position; the bytes
// before that position stay in the buffer as context (the whole-word test reads the byte
// before a candidate).
//
// The scan feeds a file in overlapping blocks. A matcher never answers from a partial view
// of the file: when a hit, or the absence of one, could depend on bytes past the end of the
// buffer, it says so (NeedMore) and names the position from which the search goes on once
// more data is at hand. The hits of a blockwise scan are then exactly those of one search
// over the whole file, at every block size that holds more than twice reach().
#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

// Bytes a matcher looks at. Indices into `data` are in-block positions; the scan keeps the
// 64-bit file offsets.
struct ScanBuffer {
    const uint8_t* data = nullptr;
    size_t len = 0;
    bool startsFile = false; // data[0] is the first byte of the file
    bool endsFile = false;   // the file ends at data[len]
    // Nonzero: every call given this id sees the same bytes at data[0, len), so a matcher
    // may keep what it learnt about them from one call to the next. Zero promises nothing.
    uint64_t sameBytesId = 0;
};

struct MatchResult {
    enum Kind {
        Hit,      // [start, end) is the next hit; it may be empty (after an anchor)
        NoHit,    // no hit at or after `from` (only when the buffer ends the file)
        NeedMore, // nothing before `resume` is a hit; search again from there with more data
    };
    Kind kind = NoHit;
    size_t start = 0, end = 0; // Hit
    size_t resume = 0;         // NeedMore: from <= resume <= len
};

class Matcher {
public:
    virtual ~Matcher() = default;
    // The next hit at or after `from` (from <= buf.len). The caller resumes at the hit's
    // end, or one byte later when the hit is empty, so a search never stalls.
    virtual MatchResult findNext(const ScanBuffer& buf, size_t from) = 0;
    // Bytes before `from` that findNext may read.
    virtual size_t contextBefore() const = 0;
    // A bound on how far past a candidate start a decision looks; blocks must be longer
    // than twice this (plus the context) for a blockwise scan to make progress.
    virtual size_t reach() const = 0;
    // True when the replace text depends on the hit (then buildReplacement() gives it for
    // the last hit while that hit's buffer is still valid); false when it is fixed.
    virtual bool replacementVaries() const { return false; }
    virtual std::string buildReplacement() { return {}; }
};

} // namespace tw
