#pragma once
// The literal scan: finds a plain byte string in a block, with or without case folding,
// optionally only as a whole word. Hits are leftmost-first and never overlap when the
// caller resumes after each hit, which gives exactly the hits of a forward scan that
// restarts one byte after every failed candidate.
#include "engine/CharClasses.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

class LiteralMatcher {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    LiteralMatcher(std::string searchBytes, bool caseSensitive, bool wholeWord,
                   const CharClasses& classes = activeCharClasses());

    // First hit in block[0, len) that starts at or after `from` and before `startLimit`
    // (startLimit <= len - length() + 1). The byte before `from`, when `from` > 0, is
    // context for the whole-word test; a hit must end inside the block. For a whole-word
    // search the byte after a candidate is consulted only when it lies inside the block,
    // so a caller that has more data must keep candidates that touch the block end
    // out of range. Returns npos when there is none.
    size_t findNext(const uint8_t* block, size_t len, size_t from, size_t startLimit) const;

    // The prefilter of this search: two positions of the search bytes and the (at most
    // two) block bytes that can stand at each, as {pos1 bytes, pos2 bytes}. False when the
    // search has none (a byte with more than two case forms).
    bool prefilter(size_t* pos1, size_t* pos2, uint8_t bytes[4]) const
    {
        *pos1 = m_pos1;
        *pos2 = m_pos2;
        bytes[0] = m_c1a;
        bytes[1] = m_c1b;
        bytes[2] = m_c2a;
        bytes[3] = m_c2b;
        return m_usePrefilter;
    }

    size_t length() const { return m_bytes.size(); }
    bool wholeWord() const { return m_wholeWord; }
    const std::string& bytes() const { return m_bytes; }

private:
    bool verify(const uint8_t* block, size_t len, size_t start) const;
    size_t findScalar(const uint8_t* block, size_t len, size_t from, size_t startLimit) const;

    std::string m_bytes;  // search bytes as given
    std::string m_folded; // m_bytes through FoldUpper, made once per pair
    bool m_caseSensitive;
    bool m_wholeWord;
    const CharClasses* m_classes;
    // Prefilter: two positions of the search bytes and the (at most two) block bytes that
    // can match at each. m_usePrefilter is false when a position's class is larger.
    size_t m_pos1 = 0, m_pos2 = 0;
    uint8_t m_c1a = 0, m_c1b = 0, m_c2a = 0, m_c2b = 0;
    bool m_usePrefilter = false;
};

// Number of line feeds in [p, end).
size_t countLineFeeds(const uint8_t* p, const uint8_t* end);

} // namespace tw
