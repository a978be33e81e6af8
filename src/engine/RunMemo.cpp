// PatternScan's memory of one findNext() call: element runs, searches and line ends that
// earlier attempts worked out, so that an attempt does not read again the bytes another
// attempt has read for the same element. Each function gives exactly the result of the
// plain run or search it stands for; what it remembers is only ever extended or replaced.
//
// With it, the work of a call is bounded by its bytes times the elements (and the longest
// alternative), not also by the repeat counts: an attempt that fails because a repeat
// count is exceeded, or by a count of bytes that a set cannot reach, no longer runs the
// repetitions again from each of the starts that follow.
#include "engine/PatternScan.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace tw {

namespace {

// Repeated literals below this many repetitions run plainly: their runs are short.
constexpr int kChainFrom = 4;

} // namespace

void PatternScan::forgetRuns()
{
    const size_t n = m_state.size();
    m_searches.assign(n, SearchMemo{});
    m_setRuns.assign(n, KnownRun{});
    m_backRuns.assign(n, BackRun{});
    for (std::vector<Chain>& chains : m_chains)
        for (Chain& c : chains) {
            c.pos.clear();
            c.closed = false;
            c.used = 0;
        }
    m_lfFrom = m_lfTo = 0;
    m_lfFound = false;
    m_byteRunValid = false;
    m_sameRunValid = false;
}

// An attempt reads only its window: the first element's run is cut at W bytes past its
// start, within the window, and every other element is matched between window bounds.
// With the first element at `start` and no edge of the buffer in reach (no anchor at the
// file's start or end can take part), the attempt from start + j sees the bytes of the
// one from start shifted by j, and so fails alike, as long as both windows hold one byte
// value throughout and the window end stays short of the buffer's last byte (before it,
// the window is not cut and so as wide). Its first element is found at start + j and
// its next start is start + j + 1 again.
size_t PatternScan::passShiftedAttempts(size_t start, size_t s0, size_t we, size_t next)
{
    if (!m_remember || s0 != start || next != s0 + 1 || s0 == 0 || we + 1 >= m_len)
        return next;
    const size_t runEnd = sameRunEnd(s0);
    if (runEnd <= we)
        return next;
    return s0 + 1 + std::min(runEnd - we, m_len - 1 - we);
}

// The end of the run of block[p]'s value that holds p (p < the length).
size_t PatternScan::sameRunEnd(size_t p)
{
    if (!m_sameRunValid || p < m_sameRunFrom || p >= m_sameRunEnd) {
        const uint8_t c = m_block[p];
        size_t q = p + 1;
        while (q < m_len && m_block[q] == c)
            ++q;
        m_steps += q - p;
        m_sameRunValid = true;
        m_sameRunFrom = p;
        m_sameRunEnd = q;
    }
    ++m_steps;
    return m_sameRunEnd;
}

// A candidate q' of the run takes its repetitions within min(hi, q' + runCap), and the
// bytes of the run all equal block[q], which the one-byte literal took: from q' at least
// cap = maximum + 1 before both the run's end (cut at hi) and q' + runCap, it takes cap.
// Each such rejection is kept in the search's reach and settlement as acceptAt would.
size_t PatternScan::exceededCandidates(int k, size_t q, size_t hi, size_t runCap)
{
    const SrchElement& el = m_program.m_chain[k];
    if (!m_remember || el.isSet || el.op != '+' || el.literals.size() != 1 || el.literals[0].size() != 1)
        return q + 1;
    const size_t cap = static_cast<size_t>(el.maxCount) + 1;
    const size_t runEnd = std::min(sameRunEnd(q), hi);
    if (cap > runCap || runEnd < q + cap)
        return q + 1;
    const size_t last = runEnd - cap; // the last candidate that takes cap
    m_searchReach = std::max(m_searchReach, runEnd + 1);
    if (runEnd + 1 > hi)
        m_searchUnsettled = std::min(m_searchUnsettled, last);
    return last + 1;
}

// An attempt whose first element ends at e' takes the count's repetitions from e' within a
// window that reaches at least W past its start (or to the buffer's end), and W holds the
// first element and the count's cap: where e' lies at least the cap before the end of a run
// of the counted byte, the count takes cap repetitions, one more than its maximum, and the
// attempt fails whatever the bytes past the run. The first element is as long wherever it
// is found, so the attempts to pass are those found before runEnd - cap - its length + 1.
size_t PatternScan::passExceededRun(size_t e0, size_t next)
{
    if (!m_remember || e0 > m_len)
        return next;
    const SrchElement& el = m_program.m_chain[1];
    const std::string& lit = el.literals[0];
    if (!m_byteRunValid || e0 < m_byteRunFrom || e0 > m_byteRunEnd) {
        m_byteRunValid = true;
        m_byteRunFrom = m_byteRunEnd = e0;
    }
    if (m_byteRunEnd < m_len && m_byteRunEnd < e0 + m_exceedCap) {
        // The bytes past those already read, to the run's end: each is read once while the
        // attempts move through the run.
        size_t q = m_byteRunEnd;
        while (q < m_len && litAt(lit, q, q + 1))
            ++q;
        m_steps += q - m_byteRunEnd;
        m_byteRunEnd = q;
    }
    ++m_steps;
    if (m_byteRunEnd - e0 < m_exceedCap)
        return next;
    const size_t firstLen = m_program.m_chain[0].literals[0].size();
    return std::max(next, m_byteRunEnd - m_exceedCap - firstLen + 1);
}

int PatternScan::runForward(int k, size_t p, size_t hi, size_t* e)
{
    const SrchElement& el = m_program.m_chain[k];
    if (!m_remember)
        return plainRunForward(k, p, hi, e);
    if (el.isSet) {
        const size_t n = setRunForward(k, p, std::min(hi - p, static_cast<size_t>(el.maxCount)));
        *e = p + n;
        return static_cast<int>(n);
    }
    const int cap = el.op == '+' ? el.maxCount + 1 : el.maxCount;
    return cap < kChainFrom ? plainRunForward(k, p, hi, e) : chainRunForward(k, p, hi, cap, e);
}

int PatternScan::runBackward(int k, size_t lo, size_t end, size_t* s)
{
    const SrchElement& el = m_program.m_chain[k];
    if (!m_remember)
        return plainRunBackward(k, lo, end, s);
    if (el.isSet) {
        const size_t n = setRunBackward(k, end, std::min(end - lo, static_cast<size_t>(el.maxCount)));
        *s = end - n;
        return static_cast<int>(n);
    }
    return el.maxCount < kChainFrom ? plainRunBackward(k, lo, end, s) : literalRunBackward(k, lo, end, s);
}

// The member bytes of set k from p on, at most `limit` of them (p + limit <= the length).
size_t PatternScan::setRunForward(int k, size_t p, size_t limit)
{
    const SrchElement& el = m_program.m_chain[k];
    KnownRun& r = m_setRuns[static_cast<size_t>(k)];
    if (!r.valid || p < r.a || p > r.b)
        r = {true, false, false, p, p};
    const size_t stop = p + limit;
    if (r.b < stop && !r.bStop) {
        size_t q = r.b;
        while (q < stop && el.accept[m_block[q]])
            ++q;
        m_steps += q - r.b;
        r.bStop = q < stop || q == m_len;
        r.b = q;
    }
    ++m_steps;
    return std::min(r.b, stop) - p;
}

// The member bytes of set k ending at `end`, at most `limit` of them (limit <= end).
size_t PatternScan::setRunBackward(int k, size_t end, size_t limit)
{
    const SrchElement& el = m_program.m_chain[k];
    KnownRun& r = m_setRuns[static_cast<size_t>(k)];
    if (!r.valid || end < r.a || end > r.b)
        r = {true, false, false, end, end};
    const size_t stop = end - limit;
    if (r.a > stop && !r.aStop) {
        size_t q = r.a;
        while (q > stop && el.accept[m_block[q - 1]])
            --q;
        m_steps += r.a - q;
        r.aStop = q > stop || q == 0;
        r.a = q;
    }
    ++m_steps;
    return end - std::max(r.a, stop);
}

// Where position p lies on one of `chains` (its index in *idx), or nullptr.
PatternScan::Chain* PatternScan::chainHolding(std::span<Chain> chains, size_t p, size_t* idx)
{
    for (Chain& c : chains) {
        if (c.pos.empty() || p < c.pos.front() || p > c.pos.back())
            continue;
        const auto it = std::lower_bound(c.pos.begin(), c.pos.end(), p);
        if (*it == p) {
            *idx = static_cast<size_t>(it - c.pos.begin());
            return &c;
        }
    }
    return nullptr;
}

// The chain of element k that holds position p (its index in *idx); a new chain from p, in
// place of the least recently used one, when none does. The repetitions of a literal
// without alternatives all have its length, so a chain holds one remainder of the
// positions divided by it: that remainder picks the chain's place.
PatternScan::Chain& PatternScan::chainAt(int k, size_t p, size_t* idx)
{
    std::vector<Chain>& all = m_chains[static_cast<size_t>(k)];
    const bool single = m_program.m_chain[k].literals.size() == 1;
    const auto chains = single ? std::span<Chain>(&all[p % all.size()], 1) : std::span<Chain>(all);
    Chain* c = chainHolding(chains, p, idx);
    if (!c) {
        c = &chains.front();
        for (Chain& other : chains)
            if (other.used < c->used)
                c = &other;
        c->pos.assign(1, p);
        c->closed = false;
        c->link = -1;
        ++c->gen;
        *idx = 0;
    }
    c->used = ++m_chainClock;
    return *c;
}

// The chain that chain c goes on in, at *idx, when it has run into one; else nullptr.
PatternScan::Chain* PatternScan::linkedChain(int k, const Chain& c, size_t* idx)
{
    if (c.link < 0)
        return nullptr;
    Chain& next = m_chains[static_cast<size_t>(k)][static_cast<size_t>(c.link)];
    *idx = c.linkIdx;
    return next.gen == c.linkGen ? &next : nullptr;
}

// Lengthens chain c until it holds `cap` repetitions after index idx, is closed, ends
// less than the longest alternative before hi, or runs into another chain of a group
// (repetitions of different alternatives can join up): it then goes on in that one.
void PatternScan::extendChain(int k, Chain& c, size_t idx, int cap, size_t hi)
{
    const SrchElement& el = m_program.m_chain[k];
    const size_t longest = m_longestAlt[static_cast<size_t>(k)];
    std::vector<Chain>& all = m_chains[static_cast<size_t>(k)];
    size_t at = 0;
    if (linkedChain(k, c, &at))
        return;
    c.link = -1;
    while (!c.closed && c.pos.size() - 1 - idx < static_cast<size_t>(cap) && c.pos.back() + longest <= hi) {
        const size_t len = altAt(el, c.pos.back(), m_len);
        m_steps += len + 1;
        if (len == 0) {
            c.closed = true;
            break;
        }
        const size_t x = c.pos.back() + len;
        c.pos.push_back(x);
        Chain* other = el.literals.size() > 1 ? chainHolding(all, x, &at) : nullptr;
        if (other && other != &c) {
            c.link = static_cast<int>(other - all.data());
            c.linkIdx = at;
            c.linkGen = other->gen;
            return;
        }
    }
}

// plainRunForward for a repeated literal: the repetitions from positions at least the
// longest alternative before hi come from the chains, only the last few are taken with hi.
int PatternScan::chainRunForward(int k, size_t p, size_t hi, int cap, size_t* e)
{
    const SrchElement& el = m_program.m_chain[k];
    const size_t longest = m_longestAlt[static_cast<size_t>(k)];
    const auto ucap = static_cast<size_t>(cap);
    size_t idx = 0, n = 0;
    Chain* c = &chainAt(k, p, &idx);
    for (size_t hops = 0;; ++hops) {
        extendChain(k, *c, idx, cap - static_cast<int>(n), hi);
        size_t m = 0;
        if (hi >= longest) {
            // Indices [idx, safeEnd) are far enough from hi; those with a successor each give
            // one repetition.
            const auto safeEnd = static_cast<size_t>(
                std::upper_bound(c->pos.begin() + static_cast<long>(idx), c->pos.end(), hi - longest) -
                c->pos.begin());
            const size_t withNext = std::min(safeEnd, c->pos.size() - 1);
            m = withNext > idx ? withNext - idx : 0;
        }
        ++m_steps;
        if (n + m >= ucap) {
            *e = c->pos[idx + ucap - n];
            return cap;
        }
        n += m;
        idx += m;
        size_t at = 0;
        Chain* next = idx + 1 == c->pos.size() && c->pos[idx] + longest <= hi ? linkedChain(k, *c, &at) : nullptr;
        if (!next || hops > m_chains[static_cast<size_t>(k)].size())
            break;
        c = next;
        c->used = ++m_chainClock;
        idx = at;
    }
    size_t q = c->pos[idx];
    const size_t tailFrom = q;
    while (n < ucap) {
        const size_t len = altAt(el, q, hi);
        if (len == 0)
            break;
        q += len;
        ++n;
    }
    m_steps += q - tailFrom + 1;
    *e = q;
    return static_cast<int>(n);
}

// plainRunBackward for a repeated literal, given again without a run when the last one
// ended at the same position and neither lower bound could have changed it: every
// position it compared lay at least the longest alternative above both bounds.
int PatternScan::literalRunBackward(int k, size_t lo, size_t end, size_t* s)
{
    BackRun& m = m_backRuns[static_cast<size_t>(k)];
    const size_t longest = m_longestAlt[static_cast<size_t>(k)];
    if (m.valid && m.end == end && (m.lo == lo || m.s >= std::max(m.lo, lo) + longest)) {
        ++m_steps;
        *s = m.s;
        return m.count;
    }
    const int c = plainRunBackward(k, lo, end, s);
    m = {true, end, lo, *s, c};
    return c;
}

// The first line feed in [lo, hi), or hi.
size_t PatternScan::lineEnd(size_t lo, size_t hi)
{
    if (!m_remember || lo < m_lfFrom || lo > m_lfTo) {
        m_lfFrom = m_lfTo = lo;
        m_lfFound = false;
    }
    if (!m_lfFound && m_lfTo < hi) {
        const void* lf = std::memchr(m_block + m_lfTo, '\n', hi - m_lfTo);
        const size_t to = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - m_block) : hi;
        m_steps += to - m_lfTo;
        m_lfTo = to;
        m_lfFound = lf != nullptr;
    }
    ++m_steps;
    return std::min(m_lfTo, hi);
}

// Element k's search in [lo, hi), or its outcome when earlier searches decide it.
bool PatternScan::searchElement(int k, size_t lo, size_t hi, size_t* s, size_t* e, int* count)
{
    size_t from = lo, fromHi = 0;
    bool found = false;
    if (rememberedSearch(k, lo, hi, &from, &fromHi, s, e, count, &found))
        return found;
    found = searchForward(k, from, hi, m_program.m_window, s, e, count);
    rememberSearch(k, lo, hi, from, fromHi, found, *s, *e, *count);
    return found;
}

// searchElement in [lo, *hi) cut at the first line feed (*hi becomes the cut). The line
// feed is looked for only as far as the search needs: when lo lies past what was read,
// bounds from lo double until one holds a line feed or a find that judged no byte past the
// bound, which is the find of the cut search too.
bool PatternScan::searchWithinLine(int k, size_t lo, size_t* hi, size_t* s, size_t* e, int* count)
{
    constexpr size_t kFirstBound = 64;
    // Within the stretch of the line already read, the cut costs only the bytes past it.
    if (!m_remember || (lo >= m_lfFrom && lo <= m_lfTo)) {
        *hi = lineEnd(lo, *hi);
        return searchElement(k, lo, *hi, s, e, count);
    }
    for (size_t b = std::min(*hi, lo + kFirstBound);; b = std::min(*hi, lo + 2 * (b - lo))) {
        const size_t cut = lineEnd(lo, b);
        if (cut < b || b == *hi) {
            *hi = cut;
            return searchElement(k, lo, cut, s, e, count);
        }
        if (searchElement(k, lo, b, s, e, count) && m_lastReach <= b)
            return true;
    }
}

// The outcome of element k's search in [lo, hi) when earlier searches decide it (true);
// otherwise *from is where the search must begin: before it, the candidates were rejected
// by a search whose hi, *fromHi, was at most this one. Each candidate is judged by its own
// bytes and the bound alone, and a set's run from inside an earlier rejected run is a
// shorter one, so a search from a later lo meets the same candidates from there on.
bool PatternScan::rememberedSearch(int k, size_t lo, size_t hi, size_t* from, size_t* fromHi, size_t* s,
                                   size_t* e, int* count, bool* found)
{
    *from = lo;
    if (!m_remember)
        return false;
    const SearchMemo& m = m_searches[static_cast<size_t>(k)];
    ++m_steps;
    if (m.missLo != SearchMemo::kNone && lo >= m.missLo && hi >= m.missHi) {
        if (hi == m.missHi) {
            *found = false;
            return true;
        }
        if (m.missSettled > *from) {
            *from = m.missSettled;
            *fromHi = m.missHi;
        }
    }
    if (m.findLo == SearchMemo::kNone || lo < m.findLo)
        return false;
    const bool sameJudgement = m.findHi == hi || (m.reach <= m.findHi && hi >= m.reach);
    if (lo <= m.s && sameJudgement) {
        *found = true;
        *s = m.s;
        *e = m.e;
        *count = m.count;
        m_lastReach = m.reach;
        return true;
    }
    if (hi >= m.findHi && m.findSettled > *from) {
        *from = m.findSettled;
        *fromHi = m.findHi;
    }
    return false;
}

// Keeps the outcome of element k's search in [lo, hi), begun at `from`.
void PatternScan::rememberSearch(int k, size_t lo, size_t hi, size_t from, size_t fromHi, bool found, size_t s,
                                 size_t e, int count)
{
    SearchMemo& m = m_searches[static_cast<size_t>(k)];
    // Candidates in [lo, from) were judged by an earlier search that read up to fromHi.
    m_lastReach = std::max(m_searchReach, fromHi);
    const size_t settled = std::max(from, m_searchUnsettled);
    if (!found) {
        m.missLo = lo;
        m.missHi = hi;
        m.missSettled = settled;
        return;
    }
    m.findLo = lo;
    m.findHi = hi;
    m.findSettled = std::min(settled, s);
    m.s = s;
    m.e = e;
    m.count = count;
    m.reach = m_lastReach;
}

} // namespace tw
