#pragma once
// The state of one search with a compiled pattern: the matcher the per-file scan uses for
// a pattern pair. The compiled SrchPattern stays read-only, so one pattern can serve any
// number of scans (one per thread); the scan holds the buffer of the current search, the
// elements' matched ranges of the last hit and the replace counters of the run.
#include "engine/Matcher.h"
#include "engine/ReplElement.h"
#include "engine/SpanFilter.h"
#include "engine/SrchPattern.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
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
    // Work done by this scan's searches so far: bytes the element runs and searches
    // covered, plus one per element of every attempt. For tests that bound it.
    size_t steps() const { return m_steps; }
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
    int runForward(int k, size_t p, size_t hi, size_t* e);
    int runBackward(int k, size_t lo, size_t end, size_t* s);
    int plainRunForward(int k, size_t p, size_t hi, size_t* e) const;
    int plainRunBackward(int k, size_t lo, size_t end, size_t* s) const;
    bool searchForward(int k, size_t lo, size_t hi, size_t runCap, size_t* s, size_t* e, int* count);
    bool searchSetForward(int k, size_t lo, size_t hi, size_t runCap, size_t* s, size_t* e, int* count);
    size_t nextAlternative(int k, size_t p, size_t hi) const;
    bool matchElement(int k, size_t ws, size_t we);
    int matchedNeighbours(int k, size_t* lo, size_t* hi) const;
    bool searchBetween(int k, const SrchElement& el, MatchState& m, int before, size_t lo, size_t hi,
                       bool trailDollar);
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
    // One attempt of findNext: its first evaluated element at [s0, e0), its window [ws, we)
    // and the start to go on from when it fails.
    struct Attempt {
        size_t s0 = 0, e0 = 0, ws = 0, we = 0, next = 0;
        bool fromSearch = false; // the first element was found by its search
    };
    size_t firstUndecided() const;
    MatchResult needMoreFrom(size_t start) const;
    void placeWindow(size_t start, size_t len, size_t W, Attempt& at) const;
    bool passSpanless(const Attempt& at, FirstSearch& cache, size_t* start);
    // Where the first evaluated element of the next attempt at or after `start` lies:
    // placed without a search (at the file's start, or empty), found by its search, not
    // decidable within this block, or nowhere in the rest of the file.
    enum class FirstPlace { Placed, Searched, NeedMore, None };
    // Takes `buf` as the buffer of the search, keeping what was learnt about it while its
    // bytes are the same.
    void adoptBuffer(const ScanBuffer& buf);
    FirstPlace placeFirst(size_t start, size_t W, FirstSearch& cache, size_t* s0, size_t* e0, int* c0);
    // The first element taken once at `start` itself, found without a search (false when it
    // is not there or the pattern's first element is not such a literal).
    bool firstAtStart(size_t start, size_t W, FirstSearch& cache);
    // Patterns that begin with a literal taken once and then a '+' count of one byte,
    // evaluated in that order: every attempt whose count starts in a run of that byte at
    // least the count's cap before the run's end exceeds the count and fails. The start
    // after the attempt at s0 (ending at e0) failed: past all such attempts, or `next`.
    size_t passExceededRun(size_t e0, size_t next);
    void setUpExceedSkip();
    // After a failed attempt from `start` whose first element lies at start itself and whose
    // window [start, we) lies inside a run of one byte value: the attempts from the next
    // starts are the same attempt shifted by one byte while their windows stay in the run,
    // and fail the same way. The start past them, or `next`.
    size_t passShiftedAttempts(size_t start, size_t s0, size_t we, size_t next);
    // searchForward's next candidate after q was rejected: past the candidates from which a
    // '+' count of one byte takes one repetition more than its maximum (q one of them), as
    // they all lie at least that far before the end of q's run of one byte value; or q + 1.
    size_t exceededCandidates(int k, size_t q, size_t hi, size_t runCap);
    size_t sameRunEnd(size_t p);
    // A run of one byte value: block[m_sameRunFrom, m_sameRunEnd) all equal, and the byte at
    // m_sameRunEnd differs (or it is the buffer's end).
    bool m_sameRunValid = false;
    size_t m_sameRunFrom = 0, m_sameRunEnd = 0;
    void setUpFollowBytes();
    // When the first evaluated element is the chain's first and some later element must take
    // a byte: the bytes a hit can hold right after the first element (the first bytes of
    // the elements after it up to and with the first that cannot match empty).
    bool m_followCheck = false;
    std::array<bool, 256> m_follows{};
    bool m_firstTakenOnce = false; // the first evaluated element is a literal taken once
    size_t m_exceedCap = 0;        // cap of the byte count after it; 0: no such pattern
    // A run of the counted byte: [m_byteRunFrom, m_byteRunEnd) all that byte, and the byte at
    // m_byteRunEnd is not (or it is the buffer's end).
    bool m_byteRunValid = false;
    size_t m_byteRunFrom = 0, m_byteRunEnd = 0;

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
    // What this findNext() call has learnt about each element, so that no attempt repeats
    // another's work on the same bytes (see RunMemo.cpp). Kept only with `skipBySpans`.
    bool m_remember = true;
    // Per element, its searches: the last range [missLo, missHi) in which it found nothing,
    // which holds for a later lo up to the same hi; and the last find, at s from findLo,
    // which holds for any lo up to s with the same hi or any hi at or past `reach` (no
    // candidate's judgement read that far). With a larger hi, the candidates of either
    // before its `settled` stay rejected: only the later ones are judged again.
    struct SearchMemo {
        static constexpr size_t kNone = static_cast<size_t>(-1);
        size_t missLo = kNone, missHi = 0, missSettled = 0;
        size_t findLo = kNone, findHi = 0, findSettled = 0;
        size_t s = 0, e = 0, reach = 0;
        int count = 0;
    };
    std::vector<SearchMemo> m_searches;
    size_t m_searchReach = 0; // the running search's reach: one past the last byte judged
    // The running search's first candidate whose rejection depends on hi (a run that reached
    // it, or a literal that may end past it): those before it stay rejected with a larger hi.
    size_t m_searchUnsettled = 0;
    size_t m_lastReach = 0;   // the reach of searchElement's last find
    // Per set element, bytes [a, b) all accepted by it; aStop / bStop: the byte before a /
    // at b is not (or is outside the buffer).
    struct KnownRun {
        bool valid = false, aStop = false, bStop = false;
        size_t a = 0, b = 0;
    };
    std::vector<KnownRun> m_setRuns;
    // Per repeated literal element, a few chains of back-to-back repetitions: pos[i + 1] is
    // pos[i] plus the length of the first alternative at pos[i] (not bounded by a window);
    // `closed` when none is at pos.back(). A repetition from a position at least the longest
    // alternative before the bound is the same with the bound.
    struct Chain {
        std::vector<size_t> pos;
        bool closed = false;
        size_t used = 0; // for replacing the least recently used chain
        uint32_t gen = 0; // counts the chains this one has been
        // Run into another chain at pos.back(): it goes on there, at that chain's linkIdx,
        // while that chain is still the one it was (linkGen).
        int link = -1;
        size_t linkIdx = 0;
        uint32_t linkGen = 0;
    };
    std::vector<std::vector<Chain>> m_chains;
    std::vector<size_t> m_longestAlt; // per element: its longest alternative (1 for a set)
    size_t m_chainClock = 0;
    // Per literal element, its last backwards run: from `end` down to s with `count`
    // repetitions, given the lower bound lo.
    struct BackRun {
        bool valid = false;
        size_t end = 0, lo = 0, s = 0;
        int count = 0;
    };
    std::vector<BackRun> m_backRuns;
    // The line feed search of matchElement: no line feed in [lfFrom, lfTo); one at lfTo when
    // lfFound.
    size_t m_lfFrom = 0, m_lfTo = 0;
    bool m_lfFound = false;
    // Remembered runs (RunMemo.cpp): the same results as the plain runs below.
    void forgetRuns();
    size_t setRunForward(int k, size_t p, size_t limit);
    size_t setRunBackward(int k, size_t end, size_t limit);
    static Chain* chainHolding(std::span<Chain> chains, size_t p, size_t* idx);
    Chain& chainAt(int k, size_t p, size_t* idx);
    Chain* linkedChain(int k, const Chain& c, size_t* idx);
    void extendChain(int k, Chain& c, size_t idx, int cap, size_t hi);
    int chainRunForward(int k, size_t p, size_t hi, int cap, size_t* e);
    int literalRunBackward(int k, size_t lo, size_t end, size_t* s);
    size_t lineEnd(size_t lo, size_t hi);
    bool rememberedSearch(int k, size_t lo, size_t hi, size_t* from, size_t* fromHi, size_t* s, size_t* e,
                          int* count, bool* found);
    void rememberSearch(int k, size_t lo, size_t hi, size_t from, size_t fromHi, bool found, size_t s, size_t e,
                        int count);
    bool searchElement(int k, size_t lo, size_t hi, size_t* s, size_t* e, int* count);
    bool searchWithinLine(int k, size_t lo, size_t* hi, size_t* s, size_t* e, int* count);
    size_t altAt(const SrchElement& el, size_t p, size_t hi) const;
    size_t altEndingAt(const SrchElement& el, size_t lo, size_t end) const;
    std::unique_ptr<SpanFilter> m_spans;  // built when first needed
    size_t m_searchWork = 0;              // bytes the later elements' searches of this call spanned
    mutable size_t m_steps = 0;           // see steps()
    uint64_t m_bytesId = 0;               // the sameBytesId of the buffer the memory is about
};

} // namespace tw
