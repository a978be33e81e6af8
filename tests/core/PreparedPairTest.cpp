#include "core/PreparedPair.h"
#include "engine/PatternScan.h"

#include <gtest/gtest.h>

#include <map>

namespace tw {
namespace {

std::optional<std::string> testEnv(const std::string& name)
{
    static const std::map<std::string, std::string> env = {{"PAT", "a*b["}, {"REP", "%1<"}, {"W", "x y"}};
    const auto it = env.find(name);
    if (it == env.end())
        return std::nullopt;
    return it->second;
}

SearchPair pair(std::string search, std::string replace, bool regex = false)
{
    SearchPair p;
    p.searchText = std::move(search);
    p.replaceText = std::move(replace);
    p.regularExpression = regex;
    return p;
}

bool finds(const SrchPattern& pattern, const std::string& text, std::string* hit = nullptr,
           std::string* replacement = nullptr)
{
    PatternScan p(pattern);
    size_t hs = 0, he = 0;
    if (!p.findNext(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, true, true, &hs, &he))
        return false;
    if (hit)
        *hit = text.substr(hs, he - hs);
    if (replacement)
        *replacement = p.buildReplacement();
    return true;
}

TEST(preparePair, LiteralTextIsUsedAsTyped)
{
    const auto r = preparePair(pair("C:\\temp", "a\\tb"), 32767, testEnv);
    EXPECT_EQ(r.searchBytes, "C:\\temp");
    EXPECT_EQ(r.replaceBytes, "a\\tb");
    EXPECT_FALSE(r.regex);
    EXPECT_FALSE(r.binary);
    EXPECT_EQ(r.pattern, nullptr);
    EXPECT_TRUE(r.usable());
}

TEST(preparePair, BinaryBlocks)
{
    SearchPair p = pair(kBinaryPlaceholder, kBinaryPlaceholder);
    p.binarySearchBlock = "\\0x0D\\0x0A\\0";
    p.binaryReplaceBlock = "\\n";
    auto r = preparePair(p, 32767, testEnv);
    EXPECT_TRUE(r.binary);
    EXPECT_EQ(r.searchBytes, std::string("\r\n\0", 3));
    EXPECT_EQ(r.replaceBytes, "\n");

    // In a pattern the blocks are compiled element by element, not expanded whole.
    p.regularExpression = true;
    p.binarySearchBlock = "\\*+[0-9]";
    r = preparePair(p, 32767, testEnv);
    EXPECT_TRUE(r.binary);
    EXPECT_EQ(r.searchBytes, "\\*+[0-9]");
    EXPECT_EQ(r.replaceBytes, "\\n");
    ASSERT_NE(r.pattern, nullptr);
    std::string hit;
    EXPECT_TRUE(finds(*r.pattern, "x*12", &hit));
    EXPECT_EQ(hit, "*12");
}

TEST(preparePair, SpecialBlocks)
{
    const struct {
        std::string block;
        SpecialOp op;
        int columns;
    } cases[] = {
        {kAppendBlock, SpecialOp::Append, 0},
        {kPrependBlock, SpecialOp::Prepend, 0},
        {"%%TWFORMAT%%=72", SpecialOp::Reformat, 72},
        {"%%TWFORMAT%%=x", SpecialOp::None, 0},
    };
    for (const auto& c : cases) {
        SearchPair p = pair(kBinaryPlaceholder, kBinaryPlaceholder, true);
        p.binarySearchBlock = c.block;
        p.binaryReplaceBlock = "end\\n";
        const auto r = preparePair(p, 32767, testEnv);
        EXPECT_EQ(r.special, c.op) << c.block;
        EXPECT_EQ(r.reformatColumns, c.columns) << c.block;
        if (c.op != SpecialOp::None) {
            EXPECT_FALSE(r.regex) << c.block;
            EXPECT_EQ(r.pattern, nullptr) << c.block;
            EXPECT_EQ(r.replaceBytes, "end\n") << c.block;
        }
    }
}

TEST(preparePair, EnvironmentValuesStayLiteralInPatterns)
{
    auto r = preparePair(pair("x%%ENVVAR=PAT%%", "[%%ENVVAR=REP%%]", true), 32767, testEnv);
    ASSERT_NE(r.pattern, nullptr);
    EXPECT_EQ(r.searchBytes, "xa\\*b\\[");
    EXPECT_EQ(r.pattern->dumpChain(), "e0 lit \"xa*b[\" op - 1..1\norder e0");
    std::string replacement;
    EXPECT_TRUE(finds(*r.pattern, "..xa*b[..", nullptr, &replacement));
    EXPECT_EQ(replacement, "[%1<]");

    r = preparePair(pair("x%%ENVVAR=PAT%%", "%%ENVVAR=REP%%"), 32767, testEnv);
    EXPECT_EQ(r.searchBytes, "xa*b[");
    EXPECT_EQ(r.replaceBytes, "%1<");
}

TEST(preparePair, IgnoreWhitespace)
{
    SearchPair p = pair("if  (a)", "50% <b>");
    p.ignoreWhitespace = true;
    auto r = preparePair(p, 32767, testEnv);
    EXPECT_TRUE(r.regex);
    EXPECT_EQ(r.searchBytes, "if+[ \\t\\r\\n]\\(a\\)");
    EXPECT_EQ(r.replaceBytes, "50\\% \\<b\\>");
    ASSERT_NE(r.pattern, nullptr);
    for (const char* yes : {"if (a)", "if\t(a)", "if\r\n(a)"})
        EXPECT_TRUE(finds(*r.pattern, yes)) << yes;
    EXPECT_FALSE(finds(*r.pattern, "if(a)"));
    std::string replacement;
    EXPECT_TRUE(finds(*r.pattern, "if (a)", nullptr, &replacement));
    EXPECT_EQ(replacement, "50% <b>");

    // Without whitespace the search stays literal (and "Whole Word" keeps applying).
    p.searchText = "cat";
    p.wholeWord = true;
    r = preparePair(p, 32767, testEnv);
    EXPECT_FALSE(r.regex);
    EXPECT_TRUE(r.wholeWord);
    EXPECT_EQ(r.searchBytes, "cat");
    EXPECT_EQ(r.replaceBytes, "50% <b>");

    // Environment values take part in the conversion.
    p.searchText = "%%ENVVAR=W%%";
    r = preparePair(p, 32767, testEnv);
    EXPECT_TRUE(r.regex);
    EXPECT_EQ(r.searchBytes, "x+[ \\t\\r\\n]y");

    // A pattern is never converted.
    p = pair("a b", "", true);
    p.ignoreWhitespace = true;
    r = preparePair(p, 32767, testEnv);
    EXPECT_EQ(r.searchBytes, "a b");
}

TEST(preparePair, CompileErrorsAreReported)
{
    const auto r = preparePair(pair("x[a-", "", true), 32767, testEnv);
    EXPECT_FALSE(r.usable());
    EXPECT_EQ(r.error, "Error parsing: [a-");
    EXPECT_EQ(r.pattern, nullptr);
}

TEST(preparePair, RepeatLimitAndCaseReachThePattern)
{
    SearchPair p = pair("+999999[a]", "", true);
    p.caseSensitive = false;
    const auto r = preparePair(p, 50, testEnv);
    ASSERT_NE(r.pattern, nullptr);
    EXPECT_EQ(r.pattern->dumpChain(), "e0 #1 set [Aa] op + 50..50\norder e0");
}

} // namespace
} // namespace tw
