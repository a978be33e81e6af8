#pragma once
// The state of one search with a compiled pattern: the matcher the per-file scan uses for
// a pattern pair. The compiled SrchPattern stays read-only, so one pattern can serve any
// number of scans (one per thread); the scan holds the buffer of the current search, the
// elements' matched ranges of the last hit and the replace counters of the run.
#include "engine/Matcher.h"
#include "engine/ReplElement.h"
#include "engine/SpanFilter.h"
#include "engine/SrchPattern.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class PatternScan final : public Matcher {
public:
    // `program` must outlive the scan; one that is not ok() finds nothing. Without
    // `skipBySpans` every attempt runs in full, every element search too (the same hits,
    // found the slow way).
    explicit PatternScan(const SrchPattern& program, bool skipBySpans = true);
    ~PatternScan() override;

    MatchResult findNext(const ScanBuffer& buf, size_t from) override;
    size_t contextBefore() const override { return 0; } // a search never reads before `from`
    size_t reach() const override { return m_program.m_window; }
    bool replacementVaries() const override { return true; }
    // The replacement for the last hit, from the compiled replace text. Counters advance
    // once per call and carry over for the life of the scan. File tokens are not expanded
    // here.
    std::string buildReplacement() override;

    // A search of block[0, len) as one buffer: true with the next hit in
    // [*hitStart, *hitEnd). Line-break bytes matched by a leading or trailing anchor are
    // not part of the hit, so the hit may be empty after an anchor ('^' alone). When the
    // block does not end the file a hit that could depend on later bytes is not reported.
    bool findNext(const uint8_t* block, size_t len, size_t from, bool blockStartsFile, bool blockIsLast,
                  size_t* hitStart, size_t* hitEnd);

    // The bytes of the last hit.
    std::string hitText() const;
    // The bytes matched by the n-th numbered element (1-based) in the last hit; empty when
    // there is no such element or it matched nothing.
    std::string elementText(int n) const;

private:
    struct MatchState {
        bool matched = false;
        size_t s = 0, e = 0; // matched bytes block[s, e); s == e when matched empty
        int count = 0;
    };

    // All positions are indices into m_block.
    bool litAt(const std::string& lit, size_t p, size_t hi) const;
    size_t altAt(const SrchElement& el, size_t p, size_t hi) const;
    size_t altEndingAt(const SrchElement& el, size_t lo, size_t end) const;
    int runForward(int k, size_t p, size_t hi, size_t* e) const;
    int runBackward(int k, size_t lo, size_t end, size_t* s) const;
    bool searchForward(int k, size_t lo, size_t hi, size_t runCap, size_t* s, size_t* e, int* count);
    size_t nextAlternative(int k, size_t p, size_t hi) const;
    bool matchElement(int k, size_t ws, size_t we);
    // Matches the elements after the first evaluated one within [ws, we) and checks that
    // all of them join up, each starting where the one before it ended.
    bool matchRest(size_t ws, size_t we);
    // A "!" element of the attempt just matched took bytes: the attempt is no hit.
    bool rejectedByNot() const;
    // Keeps the attempt just matched, spanning [cs, ce), as the hit (anchors trimmed).
    MatchResult takeHit(size_t cs, size_t ce);
    size_t lastFirstElementBefore(size_t lo, size_t end) const;

    // The attempts of one findNext() call whose window holds no relaxed span (SpanFilter)
    // cannot match. The filter is taken on once the attempts' element searches have read
    // far more bytes than the search has advanced.
    struct SpanSkip {
        bool engaged = false;
        size_t from = 0; // the call's start
    };
    bool spanSkipEngaged(SpanSkip& skip, size_t start);
    // The first evaluated element's search from `from` on; it holds for every later start up
    // to the position found.
    struct FirstSearch {
        bool valid = false, found = false;
        size_t from = 0, s = 0, e = 0;
        int count = 0;
    };
    size_t passAttempts(size_t s0, size_t until, FirstSearch& cache);
    // Where the first evaluated element of the next attempt at or after `start` lies:
    // placed without a search (at the file's start, or empty), found by its search, not
    // decidable within this block, or nowhere in the rest of the file.
    enum class FirstPlace { Placed, Searched, NeedMore, None };
    FirstPlace placeFirst(size_t start, size_t W, FirstSearch& cache, size_t* s0, size_t* e0, int* c0);

    const SrchPattern& m_program;
    // The buffer of the current search; valid while the caller keeps it.
    const uint8_t* m_block = nullptr;
    size_t m_len = 0;
    bool m_blockStartsFile = false;
    bool m_blockIsLast = false;
    std::vector<MatchState> m_state;  // per element, in pattern order
    std::vector<size_t> m_altNext;    // scratch for searchForward: next occurrence per alternative
    size_t m_hitStart = 0, m_hitEnd = 0;
    bool m_trimFront = false, m_trimBack = false; // anchor bytes left out of the hit
    bool m_hasHit = false;
    std::vector<CounterState> m_counters; // per piece of the replace chain
    bool m_skipBySpans = true;
    // Per element, the last range of this findNext() call in which its search found nothing.
    struct SearchMiss {
        static constexpr size_t kNone = static_cast<size_t>(-1);
        size_t lo = kNone, hi = 0;
    };
    std::vector<SearchMiss> m_misses;
    std::unique_ptr<SpanFilter> m_spans;  // built when first needed
    size_t m_searchWork = 0;              // bytes the later elements' searches of this call spanned
};

} // namespace tw
