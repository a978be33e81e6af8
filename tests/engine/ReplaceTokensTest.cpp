#include "engine/ReplaceTokens.h"

#include <gtest/gtest.h>

#include <map>

namespace tw {
namespace {

TEST(ExpandFileTokens, Table)
{
    const struct {
        std::string text, path, out;
    } cases[] = {
        {"%%TWPATH%%", "/data/a.txt", "/data/"},
        {"%%TWFILE%%", "/data/a.txt", "a.txt"},
        {"%%twfile%%", "/data/a.txt", "a.txt"},
        {"[%%TwPath%%|%%TWFILE%%]", "/x/y/z.c", "[/x/y/|z.c]"},
        {"%%TWPATH%%", "a.txt", ""},
        {"%%TWFILE%%", "a.txt", "a.txt"},
        {"%%TWFILE%%%%TWFILE%%", "/r/f", "ff"},
        {"no tokens", "/r/f", "no tokens"},
        {"%%TWPATH", "/r/f", "%%TWPATH"},
        // The name pass scans the whole result of the directory pass.
        {"%%TWPATH%%", "/%%TWFILE%%/n", "/n/"},
    };
    for (const auto& c : cases) {
        std::string t = c.text;
        ExpandFileTokens(t, c.path);
        EXPECT_EQ(t, c.out) << c.text << " with " << c.path;
    }
}

TEST(ExpandEnvironmentTokens, Table)
{
    const std::map<std::string, std::string> env = {
        {"HOME", "/home/u"}, {"home", "lower"}, {"STAR", "a*b[c]"}, {"PCT", "50%<x>"}, {"TOK", "%%ENVVAR=HOME%%"},
        {"BIG", std::string(20000, 'v')},
    };
    const EnvironmentLookup lookup = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = env.find(name);
        if (it == env.end())
            return std::nullopt;
        return it->second;
    };
    const struct {
        std::string text, escape, out;
    } cases[] = {
        {"x%%ENVVAR=HOME%%y", "", "x/home/uy"},
        {"%%envvar=home%%", "", "lower"},
        {"x%%ENVVAR=HOME", "", "xHOME"},
        {"[%%ENVVAR=UNSET%%]", "", "[]"},
        {"%%ENVVAR=STAR%%", "\\+*?[]()!|-$^", "a\\*b\\[c\\]"},
        {"%%ENVVAR=PCT%%", "\\%<>", "50\\%\\<x\\>"},
        {"%%ENVVAR=TOK%%", "", "%%ENVVAR=HOME%%"},
        {"%%ENVVAR=HOME%%%%ENVVAR=HOME%%", "", "/home/u/home/u"},
        {"plain", "", "plain"},
    };
    for (const auto& c : cases) {
        std::string t = c.text;
        ExpandEnvironmentTokens(t, lookup, c.escape);
        EXPECT_EQ(t, c.out) << c.text;
    }
    std::string big = "<%%ENVVAR=BIG%%>";
    ExpandEnvironmentTokens(big, lookup, "");
    EXPECT_EQ(big, "<" + std::string(20000, 'v') + ">");
}

} // namespace
} // namespace tw
