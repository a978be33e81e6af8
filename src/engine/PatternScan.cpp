#include "engine/PatternScan.h"
#include "engine/SimdSupport.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

constexpr size_t kUnknown = static_cast<size_t>(-2);

} // namespace

PatternScan::PatternScan(const SrchPattern& program, bool skipBySpans)
    : m_program(program), m_state(program.m_chain.size()), m_altNext(program.m_maxAlternatives, 0),
      m_counters(program.m_replace.size()), m_skipBySpans(skipBySpans), m_remember(skipBySpans)
{
    // Chains per repeated literal: one for each offset at which its repetitions can
    // interleave (up to a bound for a group of alternatives).
    constexpr size_t kMaxChains = 64;
    m_chains.resize(program.m_chain.size());
    for (const SrchElement& el : program.m_chain) {
        size_t longest = 1;
        for (const std::string& lit : el.literals)
            longest = std::max(longest, lit.size());
        m_longestAlt.push_back(longest);
        if (!el.isSet)
            m_chains[m_longestAlt.size() - 1].resize(el.literals.size() == 1 ? longest
                                                                             : std::min(longest, kMaxChains) + 1);
    }
    if (m_program.m_ok && !m_program.m_chain.empty() && !m_program.m_maskMode) {
        setUpExceedSkip();
        setUpFollowBytes();
    }
}

// The first bytes of the elements after the first, up to and with the first one that
// cannot match empty (none when all can).
void PatternScan::setUpFollowBytes()
{
    if (m_program.m_order[0] != 0)
        return;
    const auto& chain = m_program.m_chain;
    for (size_t j = 1; j < chain.size(); ++j) {
        const SrchElement& el = chain[j];
        if (el.isSet) {
            for (int b = 0; b < 256; ++b)
                m_follows[b] = m_follows[b] || el.accept[b];
        } else {
            for (const std::string& lit : el.literals)
                for (int b = 0; b < 256; ++b) {
                    const auto c = static_cast<uint8_t>(lit[0]);
                    const bool same = b == c || (!m_program.m_caseSensitive && m_program.m_fold[b] == c);
                    m_follows[b] = m_follows[b] || same;
                }
        }
        // An element that needs a repetition takes at least one byte, except an anchor,
        // which may match empty at the file's start or end.
        if (el.minCount > 0 && !el.isAnchor()) {
            m_followCheck = true;
            return;
        }
    }
}

// Whether passExceededRun applies: a first literal taken once, evaluated first, then a '+'
// count of one byte right after it, evaluated second.
void PatternScan::setUpExceedSkip()
{
    const SrchElement& el0 = m_program.m_chain[m_program.m_order[0]];
    m_firstTakenOnce = !el0.isSet && el0.op != '+' && el0.minCount == 1 && el0.maxCount == 1;
    if (!m_firstTakenOnce || el0.literals.size() != 1 || m_program.m_chain.size() < 2 || m_program.m_order[0] != 0 ||
        m_program.m_order[1] != 1)
        return;
    const SrchElement& el1 = m_program.m_chain[1];
    if (el1.isSet || el1.op != '+' || el1.literals.size() != 1 || el1.literals[0].size() != 1)
        return;
    const size_t cap = static_cast<size_t>(el1.maxCount) + 1;
    // Each attempt's window must hold the first element and the whole exceeded run.
    if (m_program.m_window >= el0.literals[0].size() + cap)
        m_exceedCap = cap;
}

PatternScan::~PatternScan() = default;

bool PatternScan::litAt(const std::string& lit, size_t p, size_t hi) const
{
    const size_t L = lit.size();
    if (p > hi || hi - p < L)
        return false;
    const uint8_t* t = m_block + p;
    const auto* s = reinterpret_cast<const uint8_t*>(lit.data());
    if (m_program.m_caseSensitive)
        return std::memcmp(t, s, L) == 0;
    for (size_t k = 0; k < L; ++k)
        if (t[k] != s[k] && m_program.m_fold[t[k]] != s[k])
            return false;
    return true;
}

size_t PatternScan::altAt(const SrchElement& el, size_t p, size_t hi) const
{
    for (const std::string& lit : el.literals)
        if (litAt(lit, p, hi))
            return lit.size();
    return 0;
}

size_t PatternScan::altEndingAt(const SrchElement& el, size_t lo, size_t end) const
{
    for (const std::string& lit : el.literals)
        if (end >= lo + lit.size() && litAt(lit, end - lit.size(), end))
            return lit.size();
    return 0;
}

// Repetitions (literal) or bytes (set) taken forwards from p without passing hi. A literal
// with '+' goes on past its maximum (one more is enough to know the count is too high).
int PatternScan::plainRunForward(int k, size_t p, size_t hi, size_t* e) const
{
    const SrchElement& el = m_program.m_chain[k];
    if (el.isSet) {
        const size_t limit = std::min(hi - p, static_cast<size_t>(el.maxCount));
        size_t n = 0;
        while (n < limit && el.accept[m_block[p + n]])
            ++n;
        m_steps += n + 1;
        *e = p + n;
        return static_cast<int>(n);
    }
    const int cap = el.op == '+' ? el.maxCount + 1 : el.maxCount;
    size_t q = p;
    int n = 0;
    while (n < cap) {
        const size_t len = altAt(el, q, hi);
        if (len == 0)
            break;
        q += len;
        ++n;
    }
    m_steps += q - p + 1;
    *e = q;
    return n;
}

// Repetitions or bytes taken leftwards, greedily, ending at `end` and not before lo.
int PatternScan::plainRunBackward(int k, size_t lo, size_t end, size_t* s) const
{
    const SrchElement& el = m_program.m_chain[k];
    if (el.isSet) {
        const size_t limit = std::min(end - lo, static_cast<size_t>(el.maxCount));
        size_t n = 0;
        while (n < limit && el.accept[m_block[end - 1 - n]])
            ++n;
        m_steps += n + 1;
        *s = end - n;
        return static_cast<int>(n);
    }
    size_t q = end;
    int n = 0;
    while (n < el.maxCount) {
        const size_t len = altEndingAt(el, lo, q);
        if (len == 0)
            break;
        q -= len;
        ++n;
    }
    m_steps += end - q + 1;
    *s = q;
    return n;
}

// The first position in [lo, hi) at which the element takes at least one repetition and a
// count within its range; runs are cut at runCap bytes.
bool PatternScan::searchForward(int k, size_t lo, size_t hi, size_t runCap, size_t* s, size_t* e, int* count)
{
    const SrchElement& el = m_program.m_chain[k];
    const int need = std::max(1, el.minCount);
    const size_t longest = m_longestAlt[static_cast<size_t>(k)];
    m_searchReach = 0;
    m_searchUnsettled = std::max(lo, hi + 1 - std::min(hi + 1, longest));
    if (el.isSet)
        return searchSetForward(k, lo, hi, runCap, s, e, count);
    const std::vector<LiteralMatcher>& finders = m_program.m_finders[k];
    if (finders.empty())
        return false;
    // A candidate start counts when the element's repetitions from there fit its counts.
    auto acceptAt = [&](size_t q) {
        size_t end = 0;
        const int n = runForward(k, q, std::min(hi, q + runCap), &end);
        m_searchReach = std::max(m_searchReach, end + longest);
        if (n < need || n > el.maxCount) {
            if (end + longest > hi)
                m_searchUnsettled = std::min(m_searchUnsettled, q);
            return false;
        }
        *s = q;
        *e = end;
        *count = n;
        return true;
    };
    // All alternatives in one pass over the block where the probes allow it; otherwise
    // each alternative's own scan, remembering how far each one has looked.
    const bool probed = !m_program.m_altProbes[k].empty();
    if (!probed)
        for (size_t a = 0; a < finders.size(); ++a)
            m_altNext[a] = kUnknown;
    for (size_t p = lo; p < hi;) {
        size_t q = LiteralMatcher::npos;
        if (probed) {
            q = nextAlternative(k, p, hi);
        } else {
            for (size_t a = 0; a < finders.size(); ++a) {
                if (m_altNext[a] == kUnknown || (m_altNext[a] != LiteralMatcher::npos && m_altNext[a] < p))
                    m_altNext[a] = finders[a].findNext(m_block, hi, p, hi);
                q = std::min(q, m_altNext[a]);
            }
        }
        m_steps += (q == LiteralMatcher::npos ? hi : q) - p;
        if (q == LiteralMatcher::npos)
            return false;
        if (acceptAt(q))
            return true;
        p = exceededCandidates(k, q, hi, runCap);
    }
    return false;
}

// searchForward for a set: the first run of accepted bytes in [lo, hi) long enough for the
// element's minimum. Bytes the set rejects are passed in one tight loop.
__attribute__((always_inline)) inline bool PatternScan::searchSetForward(int k, size_t lo, size_t hi, size_t runCap, size_t* s, size_t* e,
                                          int* count)
{
    const SrchElement& el = m_program.m_chain[k];
    const int need = std::max(1, el.minCount);
    size_t p = lo;
    while (p < hi) {
        const size_t skipFrom = p;
        while (p < hi && !el.accept[m_block[p]])
            ++p;
        m_steps += p - skipFrom;
        if (p >= hi)
            break;
        size_t end = 0;
        const int n = runForward(k, p, std::min(hi, p + runCap), &end);
        m_searchReach = std::max(m_searchReach, end + 1);
        if (n >= need) {
            *s = p;
            *e = end;
            *count = n;
            return true;
        }
        if (end + 1 > hi)
            m_searchUnsettled = std::min(m_searchUnsettled, p);
        p += static_cast<size_t>(n); // a start inside this run gives a shorter one
    }
    return false;
}

#if TW_X86_SIMD
namespace {

// Candidate starts p..p+31 of a group scan: bit i is set when some alternative's two
// prefilter bytes stand at p + i + pos1 and p + i + pos2.
template <size_t N>
__attribute__((target("avx2"))) size_t ScanAlternativesAvx2(const uint8_t* block, size_t p, size_t stop,
                                                            const size_t (&pos1)[N], const size_t (&pos2)[N],
                                                            const uint8_t (&bytes)[N][4], size_t count,
                                                            uint32_t* mask)
{
    __m256i v[N][4];
    for (size_t a = 0; a < count; ++a)
        for (int b = 0; b < 4; ++b)
            v[a][b] = _mm256_set1_epi8(static_cast<char>(bytes[a][b]));
    for (; p < stop; p += 32) {
        uint32_t m = 0;
        for (size_t a = 0; a < count; ++a) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + pos1[a]));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + p + pos2[a]));
            const __m256i mx = _mm256_or_si256(_mm256_cmpeq_epi8(x, v[a][0]), _mm256_cmpeq_epi8(x, v[a][1]));
            const __m256i my = _mm256_or_si256(_mm256_cmpeq_epi8(y, v[a][2]), _mm256_cmpeq_epi8(y, v[a][3]));
            m |= static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(mx, my)));
        }
        if (m) {
            *mask = m;
            return p;
        }
    }
    *mask = 0;
    return p;
}

const bool g_groupScanAvx2 = __builtin_cpu_supports("avx2");

} // namespace
#endif

// The first position in [p, hi) at which some alternative of group k lies wholly inside
// [p, hi), or npos. With vector kernels each step tests 32 (or 16) candidate starts against the prefilter bytes
// of every alternative and verifies only the candidates that pass.
size_t PatternScan::nextAlternative(int k, size_t p, size_t hi) const
{
    const SrchElement& el = m_program.m_chain[k];
#if TW_X86_SIMD
    const std::vector<SrchPattern::AltProbe>& probes = m_program.m_altProbes[k];
    const size_t nProbes = probes.size();
    size_t pos1[SrchPattern::kMaxProbedAlternatives], pos2[SrchPattern::kMaxProbedAlternatives];
    uint8_t bytes[SrchPattern::kMaxProbedAlternatives][4];
    size_t reach = 0;
    for (size_t a = 0; a < nProbes; ++a) {
        pos1[a] = probes[a].pos1;
        pos2[a] = probes[a].pos2;
        std::memcpy(bytes[a], probes[a].bytes, 4);
        reach = std::max(reach, probes[a].pos2);
    }
    if (g_groupScanAvx2) {
        // Steps of 32 while the loads stay inside [0, hi).
        const size_t stop = hi >= reach + 32 ? hi - reach - 31 : 0;
        while (p < stop) {
            uint32_t mask = 0;
            p = ScanAlternativesAvx2(m_block, p, stop, pos1, pos2, bytes, nProbes, &mask);
            for (; mask; mask &= mask - 1) {
                const size_t s = p + static_cast<size_t>(__builtin_ctz(mask));
                if (altAt(el, s, hi) > 0)
                    return s;
            }
            if (p < stop)
                p += 32;
        }
    }
    __m128i c1a[SrchPattern::kMaxProbedAlternatives], c1b[SrchPattern::kMaxProbedAlternatives];
    __m128i c2a[SrchPattern::kMaxProbedAlternatives], c2b[SrchPattern::kMaxProbedAlternatives];
    for (size_t a = 0; a < nProbes; ++a) {
        c1a[a] = _mm_set1_epi8(static_cast<char>(bytes[a][0]));
        c1b[a] = _mm_set1_epi8(static_cast<char>(bytes[a][1]));
        c2a[a] = _mm_set1_epi8(static_cast<char>(bytes[a][2]));
        c2b[a] = _mm_set1_epi8(static_cast<char>(bytes[a][3]));
    }
    while (p + reach + 16 <= hi) {
        unsigned mask = 0;
        for (size_t a = 0; a < nProbes; ++a) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_block + p + pos1[a]));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_block + p + pos2[a]));
            const __m128i mx = _mm_or_si128(_mm_cmpeq_epi8(x, c1a[a]), _mm_cmpeq_epi8(x, c1b[a]));
            const __m128i my = _mm_or_si128(_mm_cmpeq_epi8(y, c2a[a]), _mm_cmpeq_epi8(y, c2b[a]));
            mask |= static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(mx, my)));
        }
        for (; mask; mask &= mask - 1) {
            const size_t s = p + static_cast<size_t>(__builtin_ctz(mask));
            if (altAt(el, s, hi) > 0)
                return s;
        }
        p += 16;
    }
#endif
    // The scalar loop: the rest after the vector steps, or the whole range without them.
    for (; p < hi; ++p)
        if (altAt(el, p, hi) > 0)
            return p;
    return LiteralMatcher::npos;
}

// The bounds of element k in an attempt: the end of its nearest matched element before it
// (*lo) and the start of the nearest after it (*hi), left as they are where there is none.
// Returns the index of the one before, or -1.
__attribute__((always_inline)) inline int PatternScan::matchedNeighbours(int k, size_t* lo, size_t* hi) const
{
    const int n = static_cast<int>(m_program.m_chain.size());
    int before = -1;
    for (int j = k - 1; j >= 0; --j)
        if (m_state[j].matched) {
            *lo = m_state[j].e;
            before = j;
            break;
        }
    for (int j = k + 1; j < n; ++j)
        if (m_state[j].matched) {
            *hi = m_state[j].s;
            break;
        }
    return before;
}

// Matches element k between its nearest matched neighbours inside the window [ws, we).
bool PatternScan::matchElement(int k, size_t ws, size_t we)
{
    const SrchElement& el = m_program.m_chain[k];
    const int n = static_cast<int>(m_program.m_chain.size());
    size_t lo = ws, hi = we;
    const int before = matchedNeighbours(k, &lo, &hi);
    if (lo > hi)
        return false;
    const bool prevMatched = k > 0 && m_state[k - 1].matched;
    const bool nextMatched = k + 1 < n && m_state[k + 1].matched;
    // A leading '^' may match empty at the start of the file; a trailing '$' matches at
    // the end of the file's data.
    const bool leadCaret = k == 0 && el.writtenOp == '^' && m_blockStartsFile;
    const bool trailDollar = k == n - 1 && el.writtenOp == '$' && m_blockIsLast;
    MatchState& m = m_state[k];

    if (nextMatched && !prevMatched) { // backwards, ending right before the next element
        size_t s = hi;
        int c = runBackward(k, lo, hi, &s);
        if (c < el.minCount) {
            if (!(leadCaret && hi == 0))
                return false;
            c = 0;
            s = 0;
        }
        m = {true, s, hi, c};
        return true;
    }
    if (prevMatched) { // forwards, only right after the previous element
        size_t e = lo;
        const int c = runForward(k, lo, hi, &e);
        if (c < el.minCount || c > el.maxCount) {
            if (!(trailDollar && lo == m_len))
                return false;
            m = {true, lo, lo, 0};
            return true;
        }
        m = {true, lo, e, c};
        return true;
    }
    if (leadCaret && lo == 0) {
        size_t e = 0;
        const int c = runForward(k, 0, hi, &e);
        m = {true, 0, e, c};
        return true;
    }
    return searchBetween(k, el, m, before, lo, hi, trailDollar);
}

// matchElement for an element with no matched neighbour right next to it: its first place
// in [lo, hi) found by a search, else empty where it may match nothing. `el` and `m` are
// element k and its state (passed on, not looked up again); `before` is the nearest matched
// element before k (-1 for none).
__attribute__((always_inline)) inline bool PatternScan::searchBetween(int k, const SrchElement& el, MatchState& m,
                                                                      int before, size_t lo, size_t hi,
                                                                      bool trailDollar)
{
    // When neither this element nor those between it and the matched element before it
    // can take a line feed, a hit needs this element before the next line feed: found any
    // later, the elements between could not join the two. Cutting the search there saves
    // scanning the rest of the window for every candidate of a pattern such as 'a*b'.
    bool lineBound = before >= 0 && el.minCount > 0 && !m_program.m_takesLineFeed[k];
    for (int j = before + 1; j < k && lineBound; ++j)
        lineBound = !m_program.m_takesLineFeed[j];
    size_t s = 0, e = 0;
    int c = 0;
    const bool found = lineBound ? searchWithinLine(k, lo, &hi, &s, &e, &c) : searchElement(k, lo, hi, &s, &e, &c);
    if (found) {
        m_searchWork += s - lo;
        m = {true, s, e, c};
        return true;
    }
    // Counted as searched either way: the span filter is taken on by what a search without
    // it would read. A line-bound search has cut hi at the line's end.
    m_searchWork += hi - lo;
    if (el.minCount == 0) {
        m = {true, lo, lo, 0};
        return true;
    }
    if (trailDollar && hi == m_len) {
        m = {true, m_len, m_len, 0};
        return true;
    }
    return false;
}

// The last start in [lo, end) of the first evaluated element, taken exactly once (one of
// its alternatives, as the first element's search accepts it); lo when there is none.
size_t PatternScan::lastFirstElementBefore(size_t lo, size_t end) const
{
    const SrchElement& el = m_program.m_chain[m_program.m_order[0]];
    const size_t W = m_program.m_window;
    for (size_t p = end; p > lo;) {
        --p;
        if (altAt(el, p, std::min(m_len, p + W)) > 0) {
            m_steps += end - p;
            return p;
        }
    }
    m_steps += end - lo;
    return lo;
}

// The start of the first attempt whose first element, taken exactly once, lies at or after
// `until`, when the attempts from the one at s0 up to there all fail. An attempt-by-attempt
// search would start one past each start of the first element in turn: so one past the last
// before the first at or after `until`.
size_t PatternScan::passAttempts(size_t s0, size_t until, FirstSearch& cache)
{
    const int first = m_program.m_order[0];
    cache.found = searchElement(first, until, m_len, &cache.s, &cache.e, &cache.count);
    cache.from = lastFirstElementBefore(s0, cache.found ? cache.s : m_len) + 1;
    cache.valid = true;
    return cache.from;
}

bool PatternScan::spanSkipEngaged(SpanSkip& skip, size_t start)
{
    if (skip.engaged)
        return true;
    constexpr size_t kMinWork = 4096;
    if (!m_skipBySpans || m_searchWork < kMinWork || m_searchWork / 2 < start - skip.from)
        return false;
    if (!m_spans)
        m_spans = std::make_unique<SpanFilter>(m_program.m_chain, m_program.m_caseSensitive, m_program.m_fold);
    if (!m_spans->usable()) {
        m_skipBySpans = false;
        return false;
    }
    m_spans->reset(m_block, m_len);
    skip.engaged = true;
    return true;
}

bool PatternScan::matchRest(size_t ws, size_t we)
{
    const int n = static_cast<int>(m_program.m_chain.size());
    m_steps += static_cast<size_t>(n);
    bool matched = true;
    for (int i = 1; i < n && matched; ++i)
        matched = matchElement(m_program.m_order[i], ws, we);
    for (int k = 1; k < n && matched; ++k)
        matched = m_state[k].s == m_state[k - 1].e;
    return matched;
}

bool PatternScan::rejectedByNot() const
{
    for (size_t k = 0; k < m_program.m_chain.size(); ++k)
        if (m_program.m_chain[k].writtenOp == '!' && m_state[k].e > m_state[k].s)
            return true;
    return false;
}

MatchResult PatternScan::takeHit(size_t cs, size_t ce)
{
    const int n = static_cast<int>(m_program.m_chain.size());
    m_trimFront = m_program.m_chain[0].isAnchor();
    m_trimBack = n > 1 && m_program.m_chain[n - 1].isAnchor();
    m_hitStart = m_trimFront ? m_state[0].e : cs;
    m_hitEnd = std::max(m_hitStart, m_trimBack ? m_state[n - 1].s : ce);
    m_hasHit = true;
    MatchResult result;
    result.kind = MatchResult::Hit;
    result.start = m_hitStart;
    result.end = m_hitEnd;
    return result;
}

PatternScan::FirstPlace PatternScan::placeFirst(size_t start, size_t W, FirstSearch& cache, size_t* s0,
                                               size_t* e0, int* c0)
{
    const int n = static_cast<int>(m_program.m_chain.size());
    const int first = m_program.m_order[0];
    const SrchElement& el0 = m_program.m_chain[first];
    const size_t len = m_len;
    const bool last = m_blockIsLast;
    if (first == 0 && el0.writtenOp == '^' && m_blockStartsFile && start == 0) {
        if (!last && W > len)
            return FirstPlace::NeedMore;
        *c0 = runForward(first, 0, std::min(len, W), e0);
        return FirstPlace::Placed;
    }
    if (!(cache.valid && start >= cache.from && (!cache.found || start <= cache.s)) &&
        !firstAtStart(start, W, cache)) {
        // Through the memory of searches: on a buffer kept from call to call, a first element
        // far ahead (or missing) is not searched for again by every call.
        cache.found = searchElement(first, start, len, &cache.s, &cache.e, &cache.count);
        cache.from = start;
        cache.valid = true;
    }
    if (!last && (!cache.found || cache.s + W > len))
        return FirstPlace::NeedMore;
    if (cache.found) {
        *s0 = cache.s;
        *e0 = cache.e;
        *c0 = cache.count;
        return FirstPlace::Searched;
    }
    if (el0.minCount == 0) {
        *s0 = *e0 = start;
        return FirstPlace::Placed;
    }
    if (first == n - 1 && el0.writtenOp == '$') {
        *s0 = *e0 = len;
        return FirstPlace::Placed;
    }
    return FirstPlace::None;
}

bool PatternScan::firstAtStart(size_t start, size_t W, FirstSearch& cache)
{
    // The search would take its first candidate, `start`, with one repetition: the first
    // alternative there that its run (cut at W bytes) holds.
    if (!m_remember || !m_firstTakenOnce)
        return false;
    const size_t len = altAt(m_program.m_chain[m_program.m_order[0]], start, std::min(m_len, start + W));
    ++m_steps;
    if (len == 0)
        return false;
    cache = {true, true, start, start, start + len, 1};
    return true;
}

void PatternScan::adoptBuffer(const ScanBuffer& buf)
{
    // What the last calls learnt about the buffer still holds while its bytes are the same.
    if (buf.sameBytesId == 0 || buf.sameBytesId != m_bytesId || buf.data != m_block || buf.len != m_len)
        forgetRuns();
    m_bytesId = buf.sameBytesId;
    m_block = buf.data;
    m_len = buf.len;
    m_blockStartsFile = buf.startsFile;
    m_blockIsLast = buf.endsFile;
    m_hasHit = false;
}

// An attempt whose first element starts at s0 reads nothing past s0 + W (its window, and the
// first element's run, which is cut at W). Where the buffer does not end the file, it is
// decided when s0 + W <= len. Otherwise every first element the search could find lies at
// or after this position.
inline size_t PatternScan::firstUndecided() const
{
    const size_t W = m_program.m_window;
    return m_len >= W ? m_len - W + 1 : 0;
}

// Asks for more data, going on from `start` or, where that lies further back, from the
// first undecided first element less the room before it: from there on the window and so
// the outcome no longer depend on where the search started.
inline MatchResult PatternScan::needMoreFrom(size_t start) const
{
    const size_t undecided = firstUndecided();
    MatchResult result;
    result.kind = MatchResult::NeedMore;
    result.resume = std::max(start, undecided - std::min(undecided, m_program.m_roomBefore));
    return result;
}

// The window of an attempt in a buffer of len bytes (W = the window width) is placed
// around the first element wherever it was found: it reaches back as far as the elements
// before it can take (not before the search start) and forwards as far as the element and
// those after it can take, and it spans at least W bytes. Anchoring it at the search start instead would leave no
// room after a first element found near or beyond start + W.
__attribute__((always_inline)) inline void PatternScan::placeWindow(size_t start, size_t len, size_t W,
                                                                    Attempt& at) const
{
    at.ws = std::max(start, at.s0 - std::min(at.s0, m_program.m_roomBefore));
    at.we = std::min(len, std::max({at.e0, at.ws + W, at.s0 + m_program.m_roomFrom}));
}

// With the span filter engaged: when the attempt's window holds no relaxed span, the
// attempt fails, and so does every later one until the first element reaches `until`:
// each window ends by its first element's start + W, and starts no earlier than this one
// (or, with no span left, the attempts up to there are decided within this block and find
// nothing). True with *start past them; false when the attempt must run.
__attribute__((always_inline)) inline bool PatternScan::passSpanless(const Attempt& at, FirstSearch& cache, size_t* start)
{
    const size_t y = m_spans->firstEnd(at.ws);
    if (y != SpanFilter::npos && y <= at.we)
        return false;
    if (y == SpanFilter::npos && m_blockIsLast) {
        *start = m_len; // no span in the rest of the file: no hit either
        return true;
    }
    const size_t until = y == SpanFilter::npos ? firstUndecided() : y - std::min(y, m_program.m_window);
    *start = at.fromSearch && m_firstTakenOnce && until > at.next ? passAttempts(at.s0, until, cache) : at.next;
    return true;
}

MatchResult PatternScan::findNext(const ScanBuffer& buf, size_t from)
{
    adoptBuffer(buf);
    MatchResult result;
    if (!m_program.m_ok || m_program.m_chain.empty() || m_program.m_maskMode)
        return result;

    const size_t len = buf.len;
    const int n = static_cast<int>(m_program.m_chain.size());
    const int first = m_program.m_order[0];
    const SrchElement& el0 = m_program.m_chain[first];
    const size_t W = m_program.m_window;
    // The first evaluated element's last search, which keeps elements that may match empty
    // linear.
    FirstSearch cache;

    m_searchWork = 0;
    SpanSkip skip;
    skip.from = from;
    size_t start = from;
    while (start < len) {
        ++m_steps;
        for (MatchState& st : m_state)
            st.matched = false;
        size_t s0 = start, e0 = start;
        int c0 = 0;
        const FirstPlace place = placeFirst(start, W, cache, &s0, &e0, &c0);
        if (place == FirstPlace::NeedMore)
            return needMoreFrom(start);
        if (place == FirstPlace::None)
            return result; // the most selective element is not in the rest of the file
        // s0 is the first element's next start at or after `start`
        m_state[first] = {true, s0, e0, c0};
        Attempt at{s0, e0};
        at.fromSearch = place == FirstPlace::Searched;
        placeWindow(start, len, W, at);
        // Next start after a failed attempt: one past a literal's start, or past the end of
        // a set's run.
        at.next = std::max((el0.isSet && e0 > s0) ? e0 : s0 + 1, start + 1);
        if (m_followCheck && m_remember && at.e0 < len && !m_follows[m_block[at.e0]]) {
            // Every hit from this attempt goes on at e0 with an element that takes the byte
            // there: none can, so the elements cannot all join up.
            ++m_steps;
            start = at.next;
            continue;
        }
        if (spanSkipEngaged(skip, start) && passSpanless(at, cache, &start))
            continue;

        if (matchRest(at.ws, at.we)) {
            const size_t cs = m_state[0].s, ce = m_state[n - 1].e;
            if (ce > cs) {
                if (rejectedByNot()) {
                    start = std::max(ce, start + 1);
                    continue;
                }
                return takeHit(cs, ce);
            }
        }
        // Later attempts that are sure to fail as this one did are passed.
        start = std::max(passShiftedAttempts(start, at.s0, at.we, at.next),
                         m_exceedCap > 0 ? passExceededRun(at.e0, at.next) : at.next);
    }
    return buf.endsFile ? result : needMoreFrom(std::min(start, len));
}

bool PatternScan::findNext(const uint8_t* block, size_t len, size_t from, bool blockStartsFile, bool blockIsLast,
                           size_t* hitStart, size_t* hitEnd)
{
    const MatchResult r = findNext(ScanBuffer{block, len, blockStartsFile, blockIsLast}, from);
    if (r.kind != MatchResult::Hit)
        return false;
    *hitStart = r.start;
    *hitEnd = r.end;
    return true;
}

std::string PatternScan::hitText() const
{
    if (!m_hasHit)
        return {};
    return std::string(reinterpret_cast<const char*>(m_block) + m_hitStart, m_hitEnd - m_hitStart);
}

std::string PatternScan::elementText(int n) const
{
    if (n < 1 || n > m_program.numberedCount())
        return {};
    const int k = m_program.m_numbered[static_cast<size_t>(n) - 1];
    if (!m_hasHit || (k == 0 && m_trimFront) || (k == static_cast<int>(m_program.m_chain.size()) - 1 && m_trimBack))
        return {};
    const MatchState& st = m_state[k];
    return std::string(reinterpret_cast<const char*>(m_block) + st.s, st.e - st.s);
}

std::string PatternScan::buildReplacement()
{
    return tw::buildReplacement(m_program.m_replace, m_counters, [this](int index) {
        const int n = m_program.m_chain[index].number;
        return n > 0 ? elementText(n) : std::string();
    });
}

} // namespace tw
