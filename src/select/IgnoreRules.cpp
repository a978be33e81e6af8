#include "select/IgnoreRules.h"

#include <array>

namespace tw {

namespace {

// The pattern byte at `i`, or 0 past its end (the patterns are read as C strings).
unsigned char at(std::string_view p, size_t i)
{
    return i < p.size() ? static_cast<unsigned char>(p[i]) : 0;
}

bool isGlobSpecial(char c)
{
    return c == '*' || c == '?' || c == '[' || c == '\\';
}

// Drops trailing spaces that no "\" escapes.
std::string_view trimTrailingSpaces(std::string_view s)
{
    size_t lastSpace = std::string_view::npos;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ' ') {
            if (lastSpace == std::string_view::npos)
                lastSpace = i;
        } else if (s[i] == '\\') {
            if (++i == s.size())
                return s;
            lastSpace = std::string_view::npos;
        } else {
            lastSpace = std::string_view::npos;
        }
    }
    return lastSpace == std::string_view::npos ? s : s.substr(0, lastSpace);
}

// The ASCII character classes of "[:name:]"; "space" is tab, line feed, carriage return and
// space only. False for an unknown name.
bool addNamedClass(std::string_view name, auto&& add)
{
    auto range = [&](unsigned lo, unsigned hi) {
        for (unsigned c = lo; c <= hi; ++c)
            add(c);
    };
    if (name == "alnum") {
        range('0', '9'), range('A', 'Z'), range('a', 'z');
    } else if (name == "alpha") {
        range('A', 'Z'), range('a', 'z');
    } else if (name == "blank") {
        add(' '), add('\t');
    } else if (name == "cntrl") {
        range(0, 31), add(127);
    } else if (name == "digit") {
        range('0', '9');
    } else if (name == "graph") {
        range(0x21, 0x7e);
    } else if (name == "lower") {
        range('a', 'z');
    } else if (name == "print") {
        range(0x20, 0x7e);
    } else if (name == "punct") {
        range(0x21, 0x2f), range(0x3a, 0x40), range(0x5b, 0x60), range(0x7b, 0x7e);
    } else if (name == "space") {
        add('\t'), add('\n'), add('\r'), add(' ');
    } else if (name == "upper") {
        range('A', 'Z');
    } else if (name == "xdigit") {
        range('0', '9'), range('A', 'F'), range('a', 'f');
    } else {
        return false;
    }
    return true;
}

} // namespace

bool IgnorePattern::compile(std::string_view line)
{
    *this = IgnorePattern();
    if (const size_t nul = line.find('\0'); nul != std::string_view::npos)
        line = line.substr(0, nul);
    if (line.empty() || line[0] == '#')
        return false;
    std::string_view p = trimTrailingSpaces(line);
    if (!p.empty() && p[0] == '!') {
        m_negative = true;
        p.remove_prefix(1);
    }
    if (!p.empty() && p.back() == '/') {
        m_directoryOnly = true;
        p.remove_suffix(1);
    }
    m_basename = p.find('/') == std::string_view::npos;
    if (!m_basename && p[0] == '/')
        p.remove_prefix(1); // anchored at the ignore file's directory
    if (p.empty())
        return false; // no path component is empty
    return compileTokens(p);
}

bool IgnorePattern::compileClass(std::string_view p, size_t* pos)
{
    // `*pos` is at the "["; on success it is left at the closing "]". A class never
    // matches "/". Read exactly as git reads it: a "]" right after "[" or "[!" is a
    // member, "a-z" is a range unless the "-" is last, "[:name:]" is a named class, and
    // "[:" without ":]" before the next "]" makes the "[" an ordinary member.
    size_t i = *pos + 1;
    unsigned c = at(p, i);
    if (c == '^')
        c = '!';
    const bool negated = c == '!';
    if (negated)
        c = at(p, ++i);
    ByteSet set;
    auto add = [&](unsigned b) { set.add(b); };
    unsigned prev = 0;
    do {
        if (!c)
            return false;
        if (c == '\\') {
            c = at(p, ++i);
            if (!c)
                return false;
            add(c);
        } else if (c == '-' && prev && at(p, i + 1) && at(p, i + 1) != ']') {
            c = at(p, ++i);
            if (c == '\\') {
                c = at(p, ++i);
                if (!c)
                    return false;
            }
            for (unsigned b = prev; b <= c; ++b)
                add(b);
            c = 0;
        } else if (c == '[' && at(p, i + 1) == ':') {
            const size_t s = i + 2;
            size_t j = s;
            while (at(p, j) && at(p, j) != ']')
                ++j;
            if (!at(p, j))
                return false;
            if (j < s + 1 || at(p, j - 1) != ':') {
                // Not a named class: "[" is a member and the bytes after it are read on.
                i = s - 2;
                c = '[';
                add(c);
                prev = c;
                c = at(p, ++i);
                continue;
            }
            if (!addNamedClass(p.substr(s, j - 1 - s), add))
                return false;
            i = j;
            c = 0;
        } else {
            add(c);
        }
        prev = c;
        c = at(p, ++i);
    } while (c != ']');
    if (negated)
        for (uint64_t& w : set.bits)
            w = ~w;
    set.bits['/' >> 6] &= ~(uint64_t(1) << ('/' & 63));
    Token t{Op::Class};
    t.classIndex = static_cast<uint32_t>(m_classes.size());
    m_classes.push_back(set);
    m_tokens.push_back(t);
    *pos = i;
    return true;
}

bool IgnorePattern::compileTokens(std::string_view p)
{
    // An anchored pattern's literal start is compared on its own and the rest matched from
    // where it ends, so a "**" right after it counts as standing at the start.
    size_t literalStart = 0;
    if (!m_basename)
        while (literalStart < p.size() && !isGlobSpecial(p[literalStart]))
            ++literalStart;
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '\\') {
            if (i + 1 == p.size())
                return false; // a trailing "\" matches nothing
            m_tokens.push_back(Token{Op::Literal, false, static_cast<uint8_t>(p[++i])});
        } else if (c == '?') {
            m_tokens.push_back(Token{Op::AnyByte});
        } else if (c == '[') {
            if (!compileClass(p, &i))
                return false;
        } else if (c == '*') {
            size_t j = i;
            while (j < p.size() && p[j] == '*')
                ++j;
            Token t{Op::Star};
            if (j - i >= 2) {
                const bool afterSlash = i == 0 || i == literalStart || p[i - 1] == '/';
                const bool beforeSlash = j == p.size() || p[j] == '/' || (p[j] == '\\' && at(p, j + 1) == '/');
                if (afterSlash && beforeSlash) {
                    t.op = Op::AnyPath;
                    t.skipsSlash = j < p.size() && p[j] == '/';
                }
            }
            m_tokens.push_back(t);
            i = j - 1;
        } else {
            m_tokens.push_back(Token{Op::Literal, false, static_cast<uint8_t>(c)});
        }
    }
    // Shapes with a direct test.
    size_t literals = 0;
    while (literals < m_tokens.size() && m_tokens[literals].op == Op::Literal)
        ++literals;
    auto literalText = [&](size_t from, size_t to) {
        std::string s;
        for (size_t k = from; k < to; ++k)
            s += static_cast<char>(m_tokens[k].literal);
        return s;
    };
    if (literals == m_tokens.size()) {
        m_shape = Shape::Exact;
        m_text = literalText(0, literals);
        m_lastByte = static_cast<unsigned char>(m_text.back());
        m_tokens = {};
        return true;
    }
    if (literals == 0 && (m_tokens[0].op == Op::Star || (m_tokens[0].op == Op::AnyPath && !m_tokens[0].skipsSlash))) {
        size_t k = 1;
        while (k < m_tokens.size() && m_tokens[k].op == Op::Literal)
            ++k;
        if (k == m_tokens.size()) {
            m_shape = Shape::Suffix;
            m_suffixCrossesSlash = m_tokens[0].op == Op::AnyPath;
            m_text = literalText(1, k);
            if (!m_text.empty())
                m_lastByte = static_cast<unsigned char>(m_text.back());
            m_tokens = {};
            return true;
        }
    }
    m_shape = Shape::General;
    m_firstToken = literals;
    m_text = literalText(0, literals);
    // The "/" after a "**/" is not needed when the "**/" matches no directory.
    auto required = [&](size_t k) {
        return m_tokens[k].op == Op::Literal && !(k > 0 && m_tokens[k - 1].skipsSlash);
    };
    if (required(m_tokens.size() - 1))
        m_lastByte = m_tokens.back().literal;
    for (size_t k = literals; k < m_tokens.size();) {
        size_t e = k;
        while (e < m_tokens.size() && required(e))
            ++e;
        if (e - k > m_needle.size())
            m_needle = literalText(k, e);
        k = e + 1;
    }
    m_tokens.shrink_to_fit();
    m_classes.shrink_to_fit();
    return true;
}

size_t IgnorePattern::memoryBytes() const
{
    return sizeof(*this) + m_text.capacity() + m_needle.capacity() + m_tokens.capacity() * sizeof(Token) +
           m_classes.capacity() * sizeof(ByteSet);
}

bool IgnorePattern::matches(std::string_view path, std::string_view name, bool isDirectory) const
{
    if (m_directoryOnly && !isDirectory)
        return false;
    const std::string_view text = m_basename ? name : path;
    switch (m_shape) {
    case Shape::Exact:
        return text == m_text;
    case Shape::Suffix:
        return text.size() >= m_text.size() && text.substr(text.size() - m_text.size()) == m_text &&
               (m_suffixCrossesSlash ||
                text.substr(0, text.size() - m_text.size()).find('/') == std::string_view::npos);
    case Shape::General:
        if (text.substr(0, m_text.size()) != m_text)
            return false;
        if (!m_needle.empty() && text.find(m_needle, m_text.size()) == std::string_view::npos)
            return false;
        if (m_tokens.size() - m_firstToken < 62)
            return runSmall(text.substr(m_text.size()));
        return run(text.substr(m_text.size()));
    }
    return false;
}

bool IgnorePattern::runSmall(std::string_view text) const
{
    // run() with the state set in one 64-bit word (fewer than 62 tokens).
    const Token* tok = m_tokens.data() + m_firstToken;
    const size_t n = m_tokens.size() - m_firstToken;
    uint64_t stars = 0, skips = 0;
    for (size_t i = 0; i < n; ++i) {
        if (tok[i].op == Op::Star || tok[i].op == Op::AnyPath)
            stars |= uint64_t(1) << i;
        if (tok[i].skipsSlash)
            skips |= uint64_t(1) << i;
    }
    // `entered`: positions just reached (a "**/" may still match nothing from there);
    // `looping`: stars that have read bytes (they may stop, but their "/" must follow).
    auto close = [&](uint64_t entered, uint64_t looping) {
        entered |= (looping & stars) << 1;
        uint64_t before;
        do {
            before = entered;
            entered |= (entered & stars) << 1;
            entered |= (entered & skips) << 2;
        } while (entered != before);
        return entered | looping;
    };
    uint64_t cur = close(1, 0);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        uint64_t next = 0, loop = 0;
        for (uint64_t m = cur & ((uint64_t(1) << n) - 1); m; m &= m - 1) {
            const int i = __builtin_ctzll(m);
            const Token& t = tok[i];
            switch (t.op) {
            case Op::Literal:
                if (c == t.literal)
                    next |= uint64_t(1) << (i + 1);
                break;
            case Op::AnyByte:
                if (c != '/')
                    next |= uint64_t(1) << (i + 1);
                break;
            case Op::Class:
                if (m_classes[t.classIndex].has(c))
                    next |= uint64_t(1) << (i + 1);
                break;
            case Op::Star:
                if (c != '/')
                    loop |= uint64_t(1) << i;
                break;
            case Op::AnyPath:
                loop |= uint64_t(1) << i;
                break;
            }
        }
        if (!(next | loop))
            return false;
        cur = close(next, loop);
    }
    return (cur >> n) & 1;
}

bool IgnorePattern::run(std::string_view text) const
{
    // The set of token positions the text read so far can have reached; position n (one
    // past the last token) is a match. Each position holds kEntered when it has just been
    // reached (a "**/" there may still match no directory) and kLooping for a star that
    // has read bytes (it may stop, but then its "/" must follow). Only forward moves exist,
    // so one pass in position order closes a set over the moves that read nothing.
    constexpr uint8_t kEntered = 1, kLooping = 2;
    const Token* tok = m_tokens.data() + m_firstToken;
    const size_t n = m_tokens.size() - m_firstToken;
    std::array<uint8_t, 256> smallA{}, smallB{};
    std::vector<uint8_t> bigA, bigB;
    uint8_t* cur = smallA.data();
    uint8_t* next = smallB.data();
    if (n + 3 > smallA.size()) {
        bigA.assign(n + 3, 0);
        bigB.assign(n + 3, 0);
        cur = bigA.data();
        next = bigB.data();
    }
    auto close = [&](uint8_t* s) {
        for (size_t i = 0; i < n; ++i) {
            if (!s[i] || !(tok[i].op == Op::Star || tok[i].op == Op::AnyPath))
                continue;
            s[i + 1] |= kEntered;
            if (tok[i].skipsSlash && (s[i] & kEntered))
                s[i + 2] |= kEntered; // "**/" matching no directory at all
        }
    };
    cur[0] = kEntered;
    close(cur);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        bool any = false;
        std::fill(next, next + n + 1, 0);
        for (size_t i = 0; i < n; ++i) {
            if (!cur[i])
                continue;
            const Token& t = tok[i];
            switch (t.op) {
            case Op::Literal:
                if (c == t.literal)
                    next[i + 1] |= kEntered, any = true;
                break;
            case Op::AnyByte:
                if (c != '/')
                    next[i + 1] |= kEntered, any = true;
                break;
            case Op::Class:
                if (m_classes[t.classIndex].has(c))
                    next[i + 1] |= kEntered, any = true;
                break;
            case Op::Star:
                if (c != '/')
                    next[i] |= kLooping, any = true;
                break;
            case Op::AnyPath:
                next[i] |= kLooping, any = true;
                break;
            }
        }
        if (!any)
            return false;
        close(next);
        std::swap(cur, next);
    }
    return cur[n] != 0;
}

void IgnoreList::addText(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        std::string_view line = takeLine(text);
        if (line.size() > kMaxLineBytes)
            continue;
        IgnorePattern pattern;
        if (pattern.compile(line))
            m_patterns.push_back(std::move(pattern));
    }
    buildIndex();
}

void IgnoreList::buildIndex()
{
    m_byLastByte.clear();
    m_anyLastByte.clear();
    if (m_patterns.size() < 16)
        return;
    m_byLastByte.resize(256);
    for (size_t i = 0; i < m_patterns.size(); ++i) {
        const int last = m_patterns[i].lastByte();
        (last < 0 ? m_anyLastByte : m_byLastByte[static_cast<size_t>(last)]).push_back(static_cast<uint32_t>(i));
    }
}

size_t IgnoreList::memoryBytes() const
{
    size_t bytes = sizeof(*this) + m_base.capacity() + (m_patterns.capacity() - m_patterns.size()) * sizeof(IgnorePattern) +
                   m_anyLastByte.capacity() * sizeof(uint32_t);
    for (const auto& v : m_byLastByte)
        bytes += sizeof(v) + v.capacity() * sizeof(uint32_t);
    for (const IgnorePattern& p : m_patterns)
        bytes += p.memoryBytes();
    return bytes;
}

IgnoreVerdict IgnoreList::decide(std::string_view rootPath, std::string_view name, bool isDirectory) const
{
    if (rootPath.size() <= m_base.size() || rootPath.substr(0, m_base.size()) != m_base)
        return IgnoreVerdict::None;
    const std::string_view path = rootPath.substr(m_base.size());
    if (!m_byLastByte.empty()) {
        // Both candidate lists from the back, the later position first.
        const std::vector<uint32_t>& fixed = m_byLastByte[static_cast<unsigned char>(path.back())];
        auto a = fixed.rbegin();
        auto b = m_anyLastByte.rbegin();
        while (a != fixed.rend() || b != m_anyLastByte.rend()) {
            const uint32_t i = (b == m_anyLastByte.rend() || (a != fixed.rend() && *a > *b)) ? *a++ : *b++;
            if (m_patterns[i].matches(path, name, isDirectory))
                return m_patterns[i].negative() ? IgnoreVerdict::Included : IgnoreVerdict::Ignored;
        }
        return IgnoreVerdict::None;
    }
    for (auto it = m_patterns.rbegin(); it != m_patterns.rend(); ++it)
        if (it->matches(path, name, isDirectory))
            return it->negative() ? IgnoreVerdict::Included : IgnoreVerdict::Ignored;
    return IgnoreVerdict::None;
}

} // namespace tw
