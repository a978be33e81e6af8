#pragma once
// A necessary condition for a hit of a compiled pattern, checked in one forward pass over a
// buffer: where the first span of a relaxed form of the element chain ends. The relaxed
// chain takes each element from the set of its bytes or its literal alternatives, zero
// times if its minimum is 0 (and for anchors and '!' elements) and any number of times if
// its maximum is above 1; every other count is widened to "at least once". Every hit the
// exact matcher can report, and every attempt that matches all elements, is a non-empty
// span of the relaxed chain inside its window, so an attempt whose window holds no such
// span cannot succeed.
//
// The pass follows all partial spans at once, keeping for each automaton position only the
// latest start that reaches it, so it costs O(bytes x positions) whatever the input and
// never looks at a byte twice between two resets. Queries must come with starts that do not
// decrease; the pass goes on from where the previous query stopped.
#include "engine/SrchElement.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

class SpanFilter {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    // Patterns with more literal bytes than this get no filter: its tables take 256 bytes a
    // position.
    static constexpr size_t kMaxPositions = 4096;

    SpanFilter(const std::vector<SrchElement>& chain, bool caseSensitive, const std::array<uint8_t, 256>& fold);

    // False when the chain is too long for a filter; firstEnd() then always answers 0.
    bool usable() const { return m_usable; }

    // Starts a pass over block[0, len).
    void reset(const uint8_t* block, size_t len);

    // The first y such that a non-empty relaxed span [x, y) with from <= x lies in the
    // block, or npos when there is none. Returns 0 (no information) when `from` is below an
    // earlier query's since reset().
    size_t firstEnd(size_t from);

private:
    struct Element {
        bool optional = false; // may be left out
        bool repeats = false;  // may follow itself
        bool isSet = false;
        size_t firstPos = 0, endPos = 0; // its automaton positions [firstPos, endPos)
        std::vector<size_t> altEnds;     // literal: one past each alternative's last position
    };

    void step(uint8_t c, size_t p);
    size_t skipToRequired();
    void clearThreads();

    bool m_usable = false;
    std::vector<Element> m_elements;
    // Per automaton position, the bytes it takes: byte b at position k when
    // m_accept[k * 256 + b]. Invariant: m_accept.size() == 256 * m_value.size().
    std::vector<uint8_t> m_accept;
    size_t m_tailFrom = 0;              // ends of elements at or after this one end a span
    bool m_lineBound = false;           // no position takes a line feed
    std::vector<uint8_t> m_required;    // 1..3 bytes one of which every span holds; empty if none
    // The pass: positions [0, m_at) of m_block are read. Values are a start plus 1, 0 for
    // none. Invariant: m_at <= m_len.
    const uint8_t* m_block = nullptr;
    size_t m_len = 0;
    size_t m_at = 0;
    std::vector<size_t> m_requiredNext; // per required byte: its next position at or after
                                        // m_at, npos for none; kUnknown before it is looked up
    std::vector<size_t> m_value;        // per position: latest start + 1 of a partial span there
    std::vector<size_t> m_endValue;     // per element: latest start + 1 of a span that just ended it
    std::vector<size_t> m_in;           // scratch: per element, the start + 1 entering it
    bool m_stepping = false;            // reading the line of a required byte byte by byte...
    size_t m_stepUntil = 0;             // ...up to and with its line feed at this position
    size_t m_lastFrom = 0;
    size_t m_foundEnd = npos;           // the span end found by the last query, with its start
    size_t m_foundStart = 0;
};

} // namespace tw
