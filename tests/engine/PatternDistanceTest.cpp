// Hits far from the search start: the window of each attempt must follow the first
// evaluated element wherever it is found in the block, and a randomized cross-check of
// common pattern shapes against a plain reference matcher over texts of several windows.
#include "engine/PatternScan.h"
#include "engine/SrchPattern.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

struct Hit {
    size_t start, end;
    bool operator==(const Hit&) const = default;
};

void PrintTo(const Hit& h, std::ostream* os) { *os << "[" << h.start << "," << h.end << ")"; }

std::unique_ptr<SrchPattern> compileForDistance(std::string_view pattern, bool caseSensitive = true)
{
    PatternOptions o;
    o.caseSensitive = caseSensitive;
    return SrchPattern::compile(pattern, nullptr, o);
}

// Every hit, resuming at the end of each one as the per-file scan does.
std::vector<Hit> allHits(const SrchPattern& pattern, const std::string& text, bool isLast = true)
{
    PatternScan p(pattern);
    std::vector<Hit> out;
    const auto* b = reinterpret_cast<const uint8_t*>(text.data());
    size_t from = 0, hs = 0, he = 0;
    while (from < text.size() && p.findNext(b, text.size(), from, true, isLast, &hs, &he)) {
        out.push_back({hs, he});
        from = he > hs ? he : he + 1;
        if (out.size() > text.size()) {
            ADD_FAILURE() << "no progress";
            break;
        }
    }
    return out;
}

TEST(PatternDistance, HitsFarAfterTheSearchStart)
{
    struct Case {
        const char* pattern;
        std::string filler; // repeated before the hit; holds no hit itself
        std::string hitLine;
        std::string hit;
    };
    const Case cases[] = {
        // '*' between literals (window 20480): the report that started this.
        {"struct*{", "a", "\nstatic struct s = {\n", "struct s = {"},
        // Decoys: the first literal without the second on its line fails many attempts.
        {"struct*{", "struct x;\n", "\nstatic struct s = {\n", "struct s = {"},
        // A literal followed by a set run.
        {"PM_+[A-Z_]", "x", "\nThe ``DPM_FLAG_SMART_SUSPEND`` flag\n", "PM_FLAG_SMART_SUSPEND"},
        {"PM_+[A-Z_]", "PM_ PM_x ", "\nThe ``DPM_FLAG_SMART_SUSPEND`` flag\n", "PM_FLAG_SMART_SUSPEND"},
        // A fixed-count set before the literal, found backwards from it.
        {"+3[0-9]x", "ab ", "\nvalue 0123x\n", "123x"},
        {"+3[0-9]x", "12x ", "\nvalue 0123x\n", "123x"},
        // A set evaluated first, with a fixed-count set after it.
        {"[#]+3[0-9]", "#x 12 ", " #4567 ", "#456"},
        // A group of alternatives evaluated first.
        {"(mutex_lock|spin_lock)", "lock ", "\n\tspin_lock(&l);\n", "spin_lock"},
        {"^#define", "x define\n", "\n#define X 1\n", "#define"},
        {"done$", "done. ", " done\r\n", "done"},
    };
    for (const Case& c : cases) {
        auto p = compileForDistance(c.pattern);
        ASSERT_TRUE(p->ok()) << c.pattern;
        for (const size_t distance : {size_t(100), size_t(10000), size_t(20470), size_t(20500), size_t(41000),
                                      size_t(90000)}) {
            std::string text;
            while (text.size() < distance)
                text += c.filler;
            const size_t lineAt = text.size();
            text += c.hitLine + "tail";
            const size_t at = lineAt + c.hitLine.find(c.hit);
            EXPECT_EQ(allHits(*p, text), (std::vector<Hit>{{at, at + c.hit.size()}}))
                << c.pattern << " after " << distance << " bytes of '" << c.filler << "'";
        }
    }
}

TEST(PatternDistance, HitsAroundTheWindowEdge)
{
    // Every position of the hit around the first window's end: a first element that fits
    // just inside the window must still leave room for the elements after it.
    auto p = compileForDistance("struct*{");
    auto q = compileForDistance("+4[0-9]x");
    for (size_t pad = 20380; pad < 20500; ++pad) {
        std::string text(pad, 'a');
        text += "\nstruct s = {\n";
        EXPECT_EQ(allHits(*p, text), (std::vector<Hit>{{pad + 1, pad + 13}})) << pad;
        std::string digits(pad, 'a');
        digits += "9 12345x\n";
        EXPECT_EQ(allHits(*q, digits), (std::vector<Hit>{{pad + 3, pad + 8}})) << pad;
    }
}

TEST(PatternDistance, ResumesAfterEachHitInALongBlock)
{
    // Hits spaced wider than the window, each found once and in order.
    auto p = compileForDistance("id=+[0-9]");
    std::string text;
    std::vector<Hit> expected;
    for (int i = 0; i < 12; ++i) {
        text += std::string(static_cast<size_t>(15000 + 3000 * i), 'z') + "\n id=";
        const size_t at = text.size() - 3;
        text += std::to_string(i * 7 + 1);
        expected.push_back({at, text.size()});
        text += " id= x\n";
    }
    EXPECT_EQ(allHits(*p, text), expected);
}

// ---- randomized cross-check -----------------------------------------------------------

bool isAnyChar(uint8_t c) { return !(c <= 0x08 || c == '\n' || c == '\r'); }
bool isBreak(uint8_t c) { return c == '\n' || c == '\r'; }

uint8_t fold(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }

bool litAt(const std::string& text, size_t p, const std::string& lit, bool cs)
{
    if (p + lit.size() > text.size())
        return false;
    for (size_t k = 0; k < lit.size(); ++k) {
        const auto a = static_cast<uint8_t>(text[p + k]), b = static_cast<uint8_t>(lit[k]);
        if (cs ? a != b : fold(a) != fold(b))
            return false;
    }
    return true;
}

enum class Shape { LitStarLit, LitPlusSet, CountSetLit, CaretLit, LitDollar };

struct RefPattern {
    Shape shape;
    std::string a, b;  // literals
    std::string set;   // member bytes of the set (case folded in the comparison when needed)
    int count = 0;     // for CountSetLit
    bool caseSensitive = true;

    bool inSet(uint8_t c) const
    {
        for (const char m : set) {
            const auto s = static_cast<uint8_t>(m);
            if (caseSensitive ? s == c : fold(s) == fold(c))
                return true;
        }
        return false;
    }

    std::string text() const
    {
        std::string setText = "[" + set + "]";
        switch (shape) {
        case Shape::LitStarLit: return a + "*" + b;
        case Shape::LitPlusSet: return a + "+" + setText;
        case Shape::CountSetLit: return "+" + std::to_string(count) + setText + a;
        case Shape::CaretLit: return "^" + a;
        case Shape::LitDollar: return a + "$";
        }
        return {};
    }

    // The leftmost hit starting at or after `from`, written directly from the meaning of
    // each shape: 'a*b' is a, then the fewest characters of the same line, then b; 'a+[s]'
    // is a and the longest run of members after it; '+N[s]a' is N members then a; '^a' is
    // a at the file start or after CR or LF; 'a$' is a before CR, LF or the end.
    bool find(const std::string& t, size_t from, Hit* hit) const
    {
        const bool cs = caseSensitive;
        for (size_t p = from; p < t.size(); ++p) {
            switch (shape) {
            case Shape::LitStarLit: {
                if (!litAt(t, p, a, cs))
                    break;
                for (size_t q = p + a.size(); q < t.size(); ++q) {
                    if (litAt(t, q, b, cs)) {
                        *hit = {p, q + b.size()};
                        return true;
                    }
                    if (!isAnyChar(static_cast<uint8_t>(t[q])))
                        break;
                }
                break;
            }
            case Shape::LitPlusSet: {
                if (!litAt(t, p, a, cs))
                    break;
                size_t e = p + a.size();
                while (e < t.size() && inSet(static_cast<uint8_t>(t[e])))
                    ++e;
                if (e > p + a.size()) {
                    *hit = {p, e};
                    return true;
                }
                break;
            }
            case Shape::CountSetLit: {
                const auto n = static_cast<size_t>(count);
                bool ok = p + n <= t.size();
                for (size_t k = 0; ok && k < n; ++k)
                    ok = inSet(static_cast<uint8_t>(t[p + k]));
                if (ok && litAt(t, p + n, a, cs)) {
                    *hit = {p, p + n + a.size()};
                    return true;
                }
                break;
            }
            case Shape::CaretLit:
                if (litAt(t, p, a, cs) && (p == 0 || (p - 1 >= from && isBreak(static_cast<uint8_t>(t[p - 1]))))) {
                    *hit = {p, p + a.size()};
                    return true;
                }
                break;
            case Shape::LitDollar: {
                const size_t e = p + a.size();
                if (litAt(t, p, a, cs) && (e == t.size() || isBreak(static_cast<uint8_t>(t[e])))) {
                    *hit = {p, e};
                    return true;
                }
                break;
            }
            }
        }
        return false;
    }

    std::vector<Hit> all(const std::string& t) const
    {
        std::vector<Hit> out;
        size_t from = 0;
        Hit h{};
        while (from < t.size() && find(t, from, &h)) {
            out.push_back(h);
            from = h.end;
        }
        return out;
    }
};

std::string randomWord(std::mt19937& rng, std::string_view alphabet, size_t minLen, size_t maxLen)
{
    std::uniform_int_distribution<size_t> len(minLen, maxLen), pick(0, alphabet.size() - 1);
    std::string w(len(rng), ' ');
    for (char& c : w)
        c = alphabet[pick(rng)];
    return w;
}

// About 60 KB of lines over a lowercase alphabet with digits and punctuation, sometimes
// with CR LF ends and with a few long stretches without any line break; the pattern's own
// literals and set members are planted sparsely, also in broken-up forms.
std::string randomText(std::mt19937& rng, const RefPattern& pat)
{
    const std::string_view filler = "abcdefghij klmnop,;.=()0123456789";
    std::uniform_int_distribution<int> percent(0, 99);
    std::string t;
    while (t.size() < 60000) {
        const int roll = percent(rng);
        if (roll < 2)
            t += randomWord(rng, "qrstuvwxyz", 9000, 26000); // a long line
        else
            t += randomWord(rng, filler, 0, 90);
        const int plant = percent(rng);
        if (plant < 6) {
            t += pat.a;
        } else if (plant < 9 && !pat.b.empty()) {
            t += pat.b;
        } else if (plant < 12) {
            t += randomWord(rng, pat.set.empty() ? "ABC" : std::string_view(pat.set), 1, 6) + pat.a;
        } else if (plant < 15) {
            t += pat.a + randomWord(rng, filler, 0, 12) + pat.b + (pat.set.empty() ? "" : pat.set.substr(0, 1));
        } else if (plant < 16) {
            t += pat.a.substr(0, pat.a.size() - 1); // a broken literal
        }
        t += percent(rng) < 10 ? "\r\n" : "\n";
    }
    return t;
}

TEST(PatternDistance, RandomTextsAgreeWithReference)
{
    std::mt19937 rng(20240611);
    const std::string_view upper = "ABCDEFGH_";
    int checkedHits = 0;
    for (int round = 0; round < 60; ++round) {
        RefPattern pat;
        pat.shape = static_cast<Shape>(round % 5);
        pat.caseSensitive = round % 7 != 3;
        pat.a = randomWord(rng, upper, 2, 4);
        pat.b = pat.shape == Shape::LitStarLit ? randomWord(rng, upper, 1, 3) : "";
        if (pat.shape == Shape::LitPlusSet)
            pat.set = round % 2 ? "ABCDEFGH_" : "0123456789";
        if (pat.shape == Shape::CountSetLit) {
            // Members that cannot start the literal: a hit found from a failed candidate's
            // literal would otherwise depend on the order the candidates are tried in.
            pat.set = "0123456789";
            pat.count = 1 + round % 4;
        }
        auto p = compileForDistance(pat.text(), pat.caseSensitive);
        ASSERT_TRUE(p->ok()) << pat.text();
        const std::string text = randomText(rng, pat);
        const std::vector<Hit> expected = pat.all(text);
        checkedHits += static_cast<int>(expected.size());
        EXPECT_EQ(allHits(*p, text), expected) << "pattern " << pat.text() << (pat.caseSensitive ? "" : " (any case)");
    }
    EXPECT_GT(checkedHits, 500); // the texts did hold hits to compare
}

TEST(PatternDistance, GroupsAgreeWithReference)
{
    // Groups of 1 to 6 alternatives (up to four are scanned in one pass, more one by one),
    // with shared prefixes so that the order of the alternatives matters: the leftmost
    // position where any alternative matches wins, and there the first alternative written.
    std::mt19937 rng(977);
    std::uniform_int_distribution<int> percent(0, 99);
    int checkedHits = 0;
    for (int round = 0; round < 40; ++round) {
        const bool caseSensitive = round % 3 != 1;
        std::vector<std::string> alts;
        const size_t nAlts = 1 + static_cast<size_t>(round) % 6;
        for (size_t a = 0; a < nAlts; ++a) {
            if (a > 0 && percent(rng) < 30)
                alts.push_back(alts[a - 1] + randomWord(rng, "DEF", 1, 2)); // a longer one after a prefix
            else
                alts.push_back(randomWord(rng, "ABCDEF_", 1, 5));
        }
        std::string pattern = "(";
        for (size_t a = 0; a < alts.size(); ++a)
            pattern += (a ? "|" : "") + alts[a];
        pattern += ")";
        auto p = compileForDistance(pattern, caseSensitive);
        ASSERT_TRUE(p->ok()) << pattern;
        std::string text;
        const size_t size = 20000 + static_cast<size_t>(percent(rng)) * 500;
        while (text.size() < size) {
            text += randomWord(rng, "abcdefxyz 0123.\n", 0, 40);
            if (percent(rng) < 20)
                text += alts[static_cast<size_t>(percent(rng)) % alts.size()];
        }
        text += alts.back(); // a hit that ends the block
        std::vector<Hit> expected;
        for (size_t q = 0; q < text.size();) {
            size_t len = 0;
            for (const std::string& alt : alts)
                if (litAt(text, q, alt, caseSensitive)) {
                    len = alt.size();
                    break;
                }
            if (len == 0) {
                ++q;
                continue;
            }
            expected.push_back({q, q + len});
            q += len;
        }
        checkedHits += static_cast<int>(expected.size());
        EXPECT_EQ(allHits(*p, text), expected) << pattern << (caseSensitive ? "" : " (any case)");
    }
    EXPECT_GT(checkedHits, 1000);
}

} // namespace
} // namespace tw
