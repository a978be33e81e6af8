#include "engine/SrchPattern.h"

#include "engine/CharClasses.h"
#include "engine/Escapes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>

namespace tw {

namespace {

constexpr std::string_view kPatternSpecials = "?*+!$^[(";
constexpr size_t kUnknown = static_cast<size_t>(-2);

std::array<bool, 256> AnyCharacterSet()
{
    std::array<bool, 256> m{};
    for (int b = 0; b < 256; ++b)
        m[b] = !(b <= 0x08 || b == '\n' || b == '\r');
    return m;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads decimal digits at text[*i], saturating far above any repeat limit.
int64_t ReadDecimal(std::string_view text, size_t* i)
{
    int64_t v = 0;
    while (*i < text.size() && IsDigit(text[*i]))
        v = std::min<int64_t>(v * 10 + (text[(*i)++] - '0'), int64_t(1) << 40);
    return v;
}

// Position of the bracket that closes text[0], counting unescaped brackets of the same
// kind as nesting; npos when there is none.
size_t FindClosing(std::string_view text, char open, char close)
{
    int depth = 0;
    bool escaped = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!escaped) {
            if (c == open)
                ++depth;
            else if (c == close && --depth == 0)
                return i;
        }
        escaped = c == '\\' && !escaped;
    }
    return std::string_view::npos;
}

// Adds the members written in a set's text: ranges "low-high" (the ends may be escape
// sequences), single bytes, and a dash at the start or end as a member.
void AddSetText(std::string_view s, std::array<bool, 256>& m)
{
    while (!s.empty()) {
        long dash = -1;
        bool escaped = false;
        for (size_t i = 0; i < s.size(); ++i) {
            if (!escaped && s[i] == '-') {
                if (i + 1 < s.size())
                    dash = static_cast<long>(i);
                break;
            }
            escaped = s[i] == '\\' && !escaped;
        }
        if (dash < 0) {
            for (const char c : ExpandEscapes(s))
                m[static_cast<uint8_t>(c)] = true;
            return;
        }
        const std::string before = ExpandEscapes(s.substr(0, static_cast<size_t>(dash)));
        const std::string_view after = s.substr(static_cast<size_t>(dash) + 1);
        if (before.empty()) { // leading dash: a member
            m['-'] = true;
            s = after;
            continue;
        }
        for (size_t k = 0; k + 1 < before.size(); ++k)
            m[static_cast<uint8_t>(before[k])] = true;
        const auto low = static_cast<uint8_t>(before.back());
        std::string highText;
        size_t used = 1;
        if (after[0] == '\\')
            used = ExpandOneEscape(after, 0, highText);
        else
            highText.assign(1, after[0]);
        if (highText.empty()) { // the range end was a lone trailing backslash
            m[low] = true;
            m['-'] = true;
        } else {
            const auto high = static_cast<uint8_t>(highText[0]);
            for (int v = low; v <= high; ++v)
                m[v] = true;
        }
        s = after.substr(used);
    }
}

std::string QuoteBytes(std::string_view s)
{
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<uint8_t>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string SetByte(int c)
{
    if (c > 0x20 && c < 0x7F && c != '\\' && c != ']' && c != '-')
        return std::string(1, static_cast<char>(c));
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    return buf;
}

std::string DumpSet(const std::array<bool, 256>& accept)
{
    if (accept == AnyCharacterSet())
        return "[any]";
    if (std::all_of(accept.begin(), accept.end(), [](bool b) { return b; }))
        return "[all]";
    std::string out = "[";
    for (int b = 0; b < 256;) {
        if (!accept[b]) {
            ++b;
            continue;
        }
        int e = b;
        while (e + 1 < 256 && accept[e + 1])
            ++e;
        if (e - b >= 2)
            out += SetByte(b) + "-" + SetByte(e);
        else
            for (int c = b; c <= e; ++c)
                out += SetByte(c);
        b = e + 1;
    }
    return out + "]";
}

} // namespace

std::unique_ptr<SrchPattern> SrchPattern::Compile(std::string_view search, const std::string* replace,
                                                  const PatternOptions& options)
{
    std::unique_ptr<SrchPattern> p(new SrchPattern());
    p->m_maskMode = options.maskMode;
    p->m_caseSensitive = options.caseSensitive && !options.maskMode;
    p->m_maxRepeat = std::max(1, options.maxRepeat);
    p->m_fold = ActiveCharClasses().upper;
    if (options.maskMode) {
        p->compileMask(search);
    } else if (!p->compileChain(search)) {
        p->m_ok = false;
        p->m_chain.clear();
        return p;
    }
    p->finish();
    if (replace && !options.maskMode) {
        ReplaceTarget target;
        target.numberedIndex = p->m_numbered;
        for (const SrchElement& el : p->m_chain)
            target.numericByIndex.push_back(el.isNumeric);
        p->m_replace = CompileReplaceChain(*replace, target);
    }
    return p;
}

void SrchPattern::addLiteral(std::string bytes)
{
    if (bytes.empty())
        return; // an escape that expands to nothing (a trailing backslash)
    SrchElement el;
    el.literals.push_back(std::move(bytes));
    m_chain.push_back(std::move(el));
}

void SrchPattern::addAnySet(char op, char writtenOp, int minCount, int maxCount)
{
    SrchElement el;
    el.isSet = true;
    el.members = AnyCharacterSet();
    el.op = op;
    el.writtenOp = writtenOp;
    el.minCount = minCount;
    el.maxCount = maxCount;
    m_chain.push_back(std::move(el));
}

bool SrchPattern::addBracketed(std::string_view text, char op, char writtenOp, int minCount, int maxCount,
                               bool /*anyOperand*/, size_t* used)
{
    const char open = text[0];
    const char close = open == '[' ? ']' : ')';
    const size_t end = FindClosing(text, open, close);
    if (end == std::string_view::npos) {
        m_error = ExpandEscapes(text);
        return false;
    }
    const std::string_view inner = text.substr(1, end - 1);
    *used = end + 1;
    SrchElement el;
    if (open == '[') {
        el.isSet = true;
        if (inner.empty())
            el.members.fill(true);
        else
            AddSetText(inner, el.members);
    } else {
        // A group holds literal text only; its alternatives are split at unescaped '|'.
        el.isGroup = true;
        std::string_view rest = inner;
        while (true) {
            const long bar = FindOneOfUnescaped(rest, "|");
            const std::string piece = ExpandEscapes(bar < 0 ? rest : rest.substr(0, static_cast<size_t>(bar)));
            if (!piece.empty())
                el.literals.push_back(piece);
            if (bar < 0)
                break;
            rest.remove_prefix(static_cast<size_t>(bar) + 1);
        }
    }
    el.op = op;
    el.writtenOp = writtenOp;
    el.minCount = minCount;
    el.maxCount = maxCount;
    m_chain.push_back(std::move(el));
    return true;
}

bool SrchPattern::compileChain(std::string_view text)
{
    const int limit = m_maxRepeat;
    while (!text.empty()) {
        const long i = FindOneOfUnescaped(text, kPatternSpecials);
        if (i < 0) {
            addLiteral(ExpandEscapes(text));
            break;
        }
        if (i > 0) {
            addLiteral(ExpandEscapes(text.substr(0, static_cast<size_t>(i))));
            text.remove_prefix(static_cast<size_t>(i));
            continue;
        }
        const char c = text[0];
        size_t used = 0;
        if (c == '[' || c == '(') { // a bare set or group matches exactly once
            if (!addBracketed(text, '?', 0, 1, 1, false, &used))
                return false;
            text.remove_prefix(used);
            continue;
        }
        if (c == '^' || c == '$') { // a line break of one or two bytes
            SrchElement el;
            el.isSet = true;
            el.members['\r'] = el.members['\n'] = true;
            el.op = '?';
            el.writtenOp = c;
            el.minCount = 1;
            el.maxCount = 2;
            m_chain.push_back(std::move(el));
            text.remove_prefix(1);
            continue;
        }
        // A prefix operator, with a repeat count after '+'.
        size_t pos = 1;
        int minCount = 1, maxCount = 1;
        const char op = c == '!' ? '*' : c;
        if (c == '*' || c == '!') {
            minCount = 0;
            maxCount = limit;
        } else if (c == '+') {
            minCount = 1;
            maxCount = limit;
            auto clampCount = [limit](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 1, limit)); };
            if (pos < text.size() && IsDigit(text[pos])) {
                const int n = clampCount(ReadDecimal(text, &pos));
                if (pos < text.size() && text[pos] == '+') {
                    ++pos;
                    minCount = n;
                } else if (pos + 1 < text.size() && text[pos] == '-' && IsDigit(text[pos + 1])) {
                    ++pos;
                    minCount = n;
                    maxCount = std::max(n, clampCount(ReadDecimal(text, &pos)));
                } else {
                    minCount = maxCount = n;
                }
            } else if (pos + 1 < text.size() && text[pos] == '-' && IsDigit(text[pos + 1])) {
                ++pos;
                maxCount = clampCount(ReadDecimal(text, &pos));
            }
        }
        if (pos < text.size() && (text[pos] == '[' || text[pos] == '(')) {
            if (!addBracketed(text.substr(pos), op, c, minCount, maxCount, false, &used))
                return false;
            text.remove_prefix(pos + used);
        } else {
            // No operand: the any-character set; for '+' the count sets only the maximum.
            addAnySet(op, c, c == '+' ? 1 : minCount, maxCount);
            text.remove_prefix(pos);
        }
    }
    return true;
}

void SrchPattern::compileMask(std::string_view text)
{
    while (!text.empty()) {
        const long i = FindOneOfUnescaped(text, "?*");
        if (i < 0) {
            addLiteral(ExpandEscapes(text));
            break;
        }
        if (i > 0) {
            addLiteral(ExpandEscapes(text.substr(0, static_cast<size_t>(i))));
            text.remove_prefix(static_cast<size_t>(i));
            continue;
        }
        if (text[0] == '?')
            addAnySet('?', '?', 1, 1);
        else
            addAnySet('*', '*', 0, m_maxRepeat);
        text.remove_prefix(1);
    }
}

void SrchPattern::setAccept(SrchElement& el) const
{
    if (!m_caseSensitive) {
        std::array<bool, 256> folded{};
        for (int b = 0; b < 256; ++b)
            if (el.members[b])
                folded[m_fold[b]] = true;
        el.members = folded;
    }
    for (int b = 0; b < 256; ++b)
        el.accept[b] = el.members[b] || (!m_caseSensitive && el.members[m_fold[b]]);
}

void SrchPattern::finish()
{
    size_t maxAlternatives = 1;
    for (SrchElement& el : m_chain) {
        if (!m_caseSensitive)
            for (std::string& lit : el.literals)
                for (char& ch : lit)
                    ch = static_cast<char>(m_fold[static_cast<uint8_t>(ch)]);
        if (el.isSet) {
            setAccept(el);
            bool any = false, numeric = true;
            for (int b = 0; b < 256; ++b)
                if (el.members[b]) {
                    any = true;
                    numeric = numeric && (IsDigit(static_cast<char>(b)) || b == '-');
                }
            el.isNumeric = any && numeric;
        }
        if (el.op != 0 || el.isSet || el.literals.size() > 1) {
            m_numbered.push_back(static_cast<int>(&el - m_chain.data()));
            el.number = static_cast<int>(m_numbered.size());
        }
        maxAlternatives = std::max(maxAlternatives, el.literals.size());
        std::vector<LiteralMatcher> finders;
        for (const std::string& lit : el.literals)
            finders.emplace_back(lit, m_caseSensitive, false);
        std::vector<AltProbe> probes;
        if (finders.size() >= 2 && finders.size() <= kMaxProbedAlternatives) {
            for (const LiteralMatcher& f : finders) {
                AltProbe probe;
                if (!f.prefilter(&probe.pos1, &probe.pos2, probe.bytes)) {
                    probes.clear();
                    break;
                }
                probes.push_back(probe);
            }
        }
        m_altProbes.push_back(std::move(probes));
        m_finders.push_back(std::move(finders));
    }
    m_takesLineFeed.clear();
    for (const SrchElement& el : m_chain) {
        bool lf = el.isSet && el.accept['\n'];
        for (const std::string& lit : el.literals)
            lf = lf || lit.find('\n') != std::string::npos;
        m_takesLineFeed.push_back(lf);
    }
    m_state.assign(m_chain.size(), MatchState());
    m_altNext.assign(maxAlternatives, 0);
    buildEvaluationOrder();
    computeWidth();
}

void SrchPattern::buildEvaluationOrder()
{
    const int n = static_cast<int>(m_chain.size());
    std::vector<bool> picked(m_chain.size(), false);
    auto firstWhere = [&](auto pred) {
        for (int k = 0; k < n; ++k)
            if (!picked[k] && pred(k))
                return k;
        return -1;
    };
    for (int round = 0; round < n; ++round) {
        int k = firstWhere([&](int i) {
            const SrchElement& el = m_chain[i];
            if (el.op == 0)
                return true; // a plain literal run
            return el.minCount == el.maxCount && ((i > 0 && picked[i - 1]) || (i + 1 < n && picked[i + 1]));
        });
        if (k < 0)
            k = firstWhere([&](int i) { return m_chain[i].op == '?'; });
        if (k < 0)
            k = firstWhere([&](int i) { return m_chain[i].op == '+'; });
        if (k < 0)
            k = firstWhere([&](int i) { return m_chain[i].writtenOp == '!'; });
        if (k < 0)
            k = firstWhere([](int) { return true; });
        picked[k] = true;
        m_order.push_back(k);
    }
}

void SrchPattern::computeWidth()
{
    int64_t sum = 0, minimum = 0;
    int64_t before = 0, from = 0; // widths of the elements before / from the first evaluated one
    const int first = m_order.empty() ? 0 : m_order[0];
    for (const SrchElement& el : m_chain) {
        int64_t contribution = 0;
        if (el.isSet) {
            contribution = el.maxCount;
            minimum += el.minCount;
        } else {
            int64_t shortest = INT64_MAX;
            for (const std::string& lit : el.literals) {
                const auto len = static_cast<int64_t>(lit.size());
                contribution = std::max(contribution, len * el.maxCount + (el.maxCount < 3 ? len : 0));
                shortest = std::min(shortest, len);
            }
            if (!el.literals.empty())
                minimum += shortest * el.minCount;
        }
        sum = std::min<int64_t>(sum + contribution, kMaxWidthEstimate);
        int64_t& side = &el - m_chain.data() < first ? before : from;
        side = std::min<int64_t>(side + contribution, int64_t(1) << 40);
    }
    m_widthEstimate = static_cast<int>(sum);
    // The window of one attempt: twice the estimate unless the estimate already reaches the
    // repeat limit, and never narrower than the shortest possible hit.
    int64_t window = m_widthEstimate >= m_maxRepeat ? m_widthEstimate : 2 * int64_t(m_widthEstimate);
    window = std::max<int64_t>({window, minimum, 1});
    m_window = static_cast<size_t>(window);
    m_roomBefore = static_cast<size_t>(std::min(before, window));
    m_roomFrom = static_cast<size_t>(std::min(from, window));
}

// ---- matching -------------------------------------------------------------------------

bool SrchPattern::litAt(const std::string& lit, size_t p, size_t hi) const
{
    const size_t L = lit.size();
    if (p > hi || hi - p < L)
        return false;
    const uint8_t* t = m_block + p;
    const auto* s = reinterpret_cast<const uint8_t*>(lit.data());
    if (m_caseSensitive)
        return std::memcmp(t, s, L) == 0;
    for (size_t k = 0; k < L; ++k)
        if (t[k] != s[k] && m_fold[t[k]] != s[k])
            return false;
    return true;
}

size_t SrchPattern::altAt(const SrchElement& el, size_t p, size_t hi) const
{
    for (const std::string& lit : el.literals)
        if (litAt(lit, p, hi))
            return lit.size();
    return 0;
}

size_t SrchPattern::altEndingAt(const SrchElement& el, size_t lo, size_t end) const
{
    for (const std::string& lit : el.literals)
        if (end >= lo + lit.size() && litAt(lit, end - lit.size(), end))
            return lit.size();
    return 0;
}

// Repetitions (literal) or bytes (set) taken forwards from p without passing hi. A literal
// with '+' goes on past its maximum (one more is enough to know the count is too high).
int SrchPattern::runForward(int k, size_t p, size_t hi, size_t* e) const
{
    const SrchElement& el = m_chain[k];
    if (el.isSet) {
        const size_t limit = std::min(hi - p, static_cast<size_t>(el.maxCount));
        size_t n = 0;
        while (n < limit && el.accept[m_block[p + n]])
            ++n;
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
    *e = q;
    return n;
}

// Repetitions or bytes taken leftwards, greedily, ending at `end` and not before lo.
int SrchPattern::runBackward(int k, size_t lo, size_t end, size_t* s) const
{
    const SrchElement& el = m_chain[k];
    if (el.isSet) {
        const size_t limit = std::min(end - lo, static_cast<size_t>(el.maxCount));
        size_t n = 0;
        while (n < limit && el.accept[m_block[end - 1 - n]])
            ++n;
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
    *s = q;
    return n;
}

// The first position in [lo, hi) at which the element takes at least one repetition and a
// count within its range; runs are cut at runCap bytes.
bool SrchPattern::searchForward(int k, size_t lo, size_t hi, size_t runCap, size_t* s, size_t* e, int* count)
{
    const SrchElement& el = m_chain[k];
    const int need = std::max(1, el.minCount);
    if (el.isSet) {
        size_t p = lo;
        while (p < hi) {
            while (p < hi && !el.accept[m_block[p]])
                ++p;
            if (p >= hi)
                break;
            size_t end = 0;
            const int n = runForward(k, p, std::min(hi, p + runCap), &end);
            if (n >= need) {
                *s = p;
                *e = end;
                *count = n;
                return true;
            }
            p += static_cast<size_t>(n); // a start inside this run gives a shorter one
        }
        return false;
    }
    const std::vector<LiteralMatcher>& finders = m_finders[k];
    if (finders.empty())
        return false;
    // A candidate start counts when the element's repetitions from there fit its counts.
    auto acceptAt = [&](size_t q) {
        size_t end = 0;
        const int n = runForward(k, q, std::min(hi, q + runCap), &end);
        if (n < need || n > el.maxCount)
            return false;
        *s = q;
        *e = end;
        *count = n;
        return true;
    };
    // All alternatives in one pass over the block where the probes allow it; otherwise
    // each alternative's own scan, remembering how far each one has looked.
    const bool probed = !m_altProbes[k].empty();
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
        if (q == LiteralMatcher::npos)
            return false;
        if (acceptAt(q))
            return true;
        p = q + 1;
    }
    return false;
}

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

// The first position in [p, hi) at which some alternative of group k lies wholly inside
// [p, hi), or npos. Each step tests 32 (or 16) candidate starts against the prefilter bytes
// of every alternative and verifies only the candidates that pass.
size_t SrchPattern::nextAlternative(int k, size_t p, size_t hi) const
{
    const SrchElement& el = m_chain[k];
    const std::vector<AltProbe>& probes = m_altProbes[k];
    const size_t nProbes = probes.size();
    size_t pos1[kMaxProbedAlternatives], pos2[kMaxProbedAlternatives];
    uint8_t bytes[kMaxProbedAlternatives][4];
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
    __m128i c1a[kMaxProbedAlternatives], c1b[kMaxProbedAlternatives];
    __m128i c2a[kMaxProbedAlternatives], c2b[kMaxProbedAlternatives];
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
    for (; p < hi; ++p)
        if (altAt(el, p, hi) > 0)
            return p;
    return LiteralMatcher::npos;
}

// Matches element k between its nearest matched neighbours inside the window [ws, we).
bool SrchPattern::matchElement(int k, size_t ws, size_t we)
{
    const SrchElement& el = m_chain[k];
    const int n = static_cast<int>(m_chain.size());
    size_t lo = ws, hi = we;
    int before = -1; // nearest matched element before k
    for (int j = k - 1; j >= 0; --j)
        if (m_state[j].matched) {
            lo = m_state[j].e;
            before = j;
            break;
        }
    for (int j = k + 1; j < n; ++j)
        if (m_state[j].matched) {
            hi = m_state[j].s;
            break;
        }
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
    // When neither this element nor those between it and the matched element before it
    // can take a line feed, a hit needs this element before the next line feed: found any
    // later, the elements between could not join the two. Cutting the search there saves
    // scanning the rest of the window for every candidate of a pattern such as 'a*b'.
    if (before >= 0 && el.minCount > 0 && !m_takesLineFeed[k]) {
        bool lineBound = true;
        for (int j = before + 1; j < k && lineBound; ++j)
            lineBound = !m_takesLineFeed[j];
        if (lineBound) {
            if (const void* lf = std::memchr(m_block + lo, '\n', hi - lo))
                hi = static_cast<size_t>(static_cast<const uint8_t*>(lf) - m_block);
        }
    }
    size_t s = 0, e = 0;
    int c = 0;
    if (searchForward(k, lo, hi, m_window, &s, &e, &c)) {
        m = {true, s, e, c};
        return true;
    }
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

bool SrchPattern::findNext(const uint8_t* block, size_t len, size_t from, bool blockStartsFile, bool blockIsLast,
                           size_t* hitStart, size_t* hitEnd)
{
    m_block = block;
    m_len = len;
    m_blockStartsFile = blockStartsFile;
    m_blockIsLast = blockIsLast;
    m_hasHit = false;
    if (!m_ok || m_chain.empty() || m_maskMode)
        return false;

    const int n = static_cast<int>(m_chain.size());
    const int first = m_order[0];
    const SrchElement& el0 = m_chain[first];
    const size_t W = m_window;
    // The first evaluated element's search result from `cacheFrom` on holds for every later
    // start up to the position found, which keeps elements that may match empty linear.
    bool cacheValid = false, cacheFound = false;
    size_t cacheFrom = 0, cacheS = 0, cacheE = 0;
    int cacheN = 0;

    size_t start = from;
    while (start < len) {
        for (MatchState& st : m_state)
            st.matched = false;
        size_t s0 = start, e0 = start;
        int c0 = 0;
        if (first == 0 && el0.writtenOp == '^' && blockStartsFile && start == 0) {
            c0 = runForward(first, 0, std::min(len, W), &e0);
        } else {
            if (!(cacheValid && start >= cacheFrom && (!cacheFound || start <= cacheS))) {
                cacheFound = searchForward(first, start, len, W, &cacheS, &cacheE, &cacheN);
                cacheFrom = start;
                cacheValid = true;
            }
            if (cacheFound) {
                s0 = cacheS;
                e0 = cacheE;
                c0 = cacheN;
            } else if (el0.minCount == 0) {
                s0 = e0 = start;
            } else if (first == n - 1 && el0.writtenOp == '$' && blockIsLast) {
                s0 = e0 = len;
            } else {
                return false; // the most selective element is not in the rest of the block
            }
        }
        m_state[first] = {true, s0, e0, c0};
        // The window of this attempt is placed around the first element wherever it was
        // found: it reaches back as far as the elements before it can take (not before the
        // search start) and forwards as far as the element and those after it can take, and
        // it spans at least W bytes. Anchoring it at the search start instead would leave no
        // room after a first element found near or beyond start + W.
        const size_t ws = std::max(start, s0 - std::min(s0, m_roomBefore));
        const size_t we = std::min(len, std::max({e0, ws + W, s0 + m_roomFrom}));

        bool matched = true;
        for (int i = 1; i < n && matched; ++i)
            matched = matchElement(m_order[i], ws, we);
        if (matched) {
            for (int k = 1; k < n && matched; ++k)
                matched = m_state[k].s == m_state[k - 1].e;
        }
        if (matched) {
            const size_t cs = m_state[0].s, ce = m_state[n - 1].e;
            if (ce > cs) {
                bool rejected = false;
                for (int k = 0; k < n; ++k)
                    rejected = rejected || (m_chain[k].writtenOp == '!' && m_state[k].e > m_state[k].s);
                if (rejected) {
                    start = std::max(ce, start + 1);
                    continue;
                }
                m_trimFront = m_chain[0].isAnchor();
                m_trimBack = n > 1 && m_chain[n - 1].isAnchor();
                m_hitStart = m_trimFront ? m_state[0].e : cs;
                m_hitEnd = std::max(m_hitStart, m_trimBack ? m_state[n - 1].s : ce);
                m_hasHit = true;
                *hitStart = m_hitStart;
                *hitEnd = m_hitEnd;
                return true;
            }
        }
        // Next start: one past a literal's start, or past the end of a set's run.
        const size_t next = (el0.isSet && e0 > s0) ? e0 : s0 + 1;
        start = std::max(next, start + 1);
    }
    return false;
}

std::string SrchPattern::hitText() const
{
    if (!m_hasHit)
        return {};
    return std::string(reinterpret_cast<const char*>(m_block) + m_hitStart, m_hitEnd - m_hitStart);
}

std::string SrchPattern::elementText(int n) const
{
    if (n < 1 || n > numberedCount())
        return {};
    const int k = m_numbered[static_cast<size_t>(n) - 1];
    if (!m_hasHit || (k == 0 && m_trimFront) || (k == static_cast<int>(m_chain.size()) - 1 && m_trimBack))
        return {};
    const MatchState& st = m_state[k];
    return std::string(reinterpret_cast<const char*>(m_block) + st.s, st.e - st.s);
}

std::string SrchPattern::buildReplacement()
{
    return BuildReplacement(m_replace, [this](int index) {
        const int n = m_chain[index].number;
        return n > 0 ? elementText(n) : std::string();
    });
}

bool SrchPattern::matchName(std::string_view name) const
{
    // Wildcard match of the whole name; a '*' gives back characters when a later element
    // fails, so 'x.c.c' matches '*.c'.
    const size_t n = m_chain.size(), len = name.size();
    auto litMatches = [&](const std::string& lit, size_t p) {
        if (len - p < lit.size())
            return false;
        for (size_t k = 0; k < lit.size(); ++k) {
            const auto c = static_cast<uint8_t>(name[p + k]);
            const auto s = static_cast<uint8_t>(lit[k]);
            if (c != s && (m_caseSensitive || m_fold[c] != s))
                return false;
        }
        return true;
    };
    size_t k = 0, p = 0;
    size_t starK = SIZE_MAX, starP = 0;
    while (true) {
        if (k < n) {
            const SrchElement& el = m_chain[k];
            if (el.isSet && el.op == '*') {
                starK = k++;
                starP = p;
                continue;
            }
            if (el.isSet) {
                if (p < len && el.accept[static_cast<uint8_t>(name[p])]) {
                    ++p;
                    ++k;
                    continue;
                }
            } else if (!el.literals.empty() && litMatches(el.literals[0], p)) {
                p += el.literals[0].size();
                ++k;
                continue;
            }
        } else if (p == len) {
            return true;
        }
        if (starK == SIZE_MAX || starP >= len || !m_chain[starK].accept[static_cast<uint8_t>(name[starP])])
            return false;
        p = ++starP;
        k = starK + 1;
    }
}

std::string SrchPattern::dumpChain() const
{
    std::string out;
    for (size_t k = 0; k < m_chain.size(); ++k) {
        const SrchElement& el = m_chain[k];
        out += "e" + std::to_string(k);
        if (el.number)
            out += " #" + std::to_string(el.number);
        if (el.isSet) {
            out += " set " + DumpSet(el.accept);
        } else {
            out += el.isGroup ? " grp " : " lit ";
            for (size_t a = 0; a < el.literals.size(); ++a)
                out += (a ? "|" : "") + QuoteBytes(el.literals[a]);
        }
        out += " op ";
        out += el.op ? el.op : '-';
        if (el.writtenOp && el.writtenOp != el.op)
            out += el.writtenOp;
        out += " " + std::to_string(el.minCount) + ".." + std::to_string(el.maxCount);
        if (el.isNumeric)
            out += " num";
        out += "\n";
    }
    out += "order";
    for (const int k : m_order)
        out += " e" + std::to_string(k);
    return out;
}

} // namespace tw
