#include "engine/SrchPattern.h"

#include "engine/CharClasses.h"
#include "engine/Escapes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tw {

namespace {

constexpr std::string_view kPatternSpecials = "?*+!$^[(";

std::array<bool, 256> anyCharacterSet()
{
    std::array<bool, 256> m{};
    for (int b = 0; b < 256; ++b)
        m[b] = !(b <= 0x08 || b == '\n' || b == '\r');
    return m;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads decimal digits at text[*i], saturating far above any repeat limit.
int64_t readDecimal(std::string_view text, size_t* i)
{
    int64_t v = 0;
    while (*i < text.size() && isDigit(text[*i]))
        v = std::min<int64_t>(v * 10 + (text[(*i)++] - '0'), int64_t(1) << 40);
    return v;
}

// Position of the bracket that closes text[0], counting unescaped brackets of the same
// kind as nesting; npos when there is none.
size_t findClosing(std::string_view text, char open, char close)
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
void addSetText(std::string_view s, std::array<bool, 256>& m)
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
            used = expandOneEscape(after, 0, highText);
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

std::string quoteBytes(std::string_view s)
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

std::string setByte(int c)
{
    if (c > 0x20 && c < 0x7F && c != '\\' && c != ']' && c != '-')
        return std::string(1, static_cast<char>(c));
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    return buf;
}

std::string dumpSet(const std::array<bool, 256>& accept)
{
    if (accept == anyCharacterSet())
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
            out += setByte(b) + "-" + setByte(e);
        else
            for (int c = b; c <= e; ++c)
                out += setByte(c);
        b = e + 1;
    }
    return out + "]";
}

} // namespace

std::unique_ptr<SrchPattern> SrchPattern::compile(std::string_view search, const std::string* replace,
                                                  const PatternOptions& options)
{
    std::unique_ptr<SrchPattern> p(new SrchPattern());
    p->m_maskMode = options.maskMode;
    p->m_caseSensitive = options.caseSensitive && !options.maskMode;
    p->m_maxRepeat = std::max(1, options.maxRepeat);
    p->m_fold = activeCharClasses().upper;
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
        p->m_replace = compileReplaceChain(*replace, target);
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
    el.members = anyCharacterSet();
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
    const size_t end = findClosing(text, open, close);
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
            addSetText(inner, el.members);
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

namespace {

// Reads the repeat count that may follow a '+' at text[*pos]: "n" exactly n, "n+" at
// least n, "n-m" n to m, "-m" up to m; without one, one up to the limit. Counts are
// clamped to [1, limit], and a maximum below the minimum is raised to it.

void readRepeatCount(std::string_view text, int limit, size_t* pos, int* minCount, int* maxCount)
{
    auto clampCount = [limit](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 1, limit)); };
    size_t& p = *pos;
    *minCount = 1;
    *maxCount = limit;
    if (p < text.size() && isDigit(text[p])) {
        const int n = clampCount(readDecimal(text, &p));
        if (p < text.size() && text[p] == '+') {
            ++p;
            *minCount = n;
        } else if (p + 1 < text.size() && text[p] == '-' && isDigit(text[p + 1])) {
            ++p;
            *minCount = n;
            *maxCount = std::max(n, clampCount(readDecimal(text, &p)));
        } else {
            *minCount = *maxCount = n;
        }
    } else if (p + 1 < text.size() && text[p] == '-' && isDigit(text[p + 1])) {
        ++p;
        *maxCount = clampCount(readDecimal(text, &p));
    }
}

} // namespace

// '^' or '$': a line break, one or two bytes each a carriage return or a line feed.
void SrchPattern::addLineBreak(char writtenOp)
{
    SrchElement el;
    el.isSet = true;
    el.members['\r'] = el.members['\n'] = true;
    el.op = '?';
    el.writtenOp = writtenOp;
    el.minCount = 1;
    el.maxCount = 2;
    m_chain.push_back(std::move(el));
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
        if (c == '^' || c == '$') {
            addLineBreak(c);
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
            readRepeatCount(text, limit, &pos, &minCount, &maxCount);
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
                    numeric = numeric && (isDigit(static_cast<char>(b)) || b == '-');
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
    m_maxAlternatives = maxAlternatives;
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
            out += " set " + dumpSet(el.accept);
        } else {
            out += el.isGroup ? " grp " : " lit ";
            for (size_t a = 0; a < el.literals.size(); ++a)
                out += (a ? "|" : "") + quoteBytes(el.literals[a]);
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
