#pragma once
// Helpers shared by the script tests: a script flattened into one comparable line, and
// binary-format files built from parts.
#include "script/ScriptFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

inline std::string pairFlags(const SearchPair& p)
{
    std::string f;
    if (!p.caseSensitive) f += 'i';
    if (p.regularExpression) f += 'x';
    if (p.wholeWord) f += 'w';
    if (p.ignoreWhitespace) f += 'h';
    return f;
}

inline std::string shownText(const std::string& text, const std::string& block)
{
    return text == kBinaryPlaceholder ? "B:" + block : text;
}

// "D[description] X[expression]", then " {flags|search|replace|comments}" per pair (a
// binary block as "B:" and its bytes) and " <path|mask>" per path entry.
inline std::string describe(const Script& s)
{
    std::string out = "D[" + s.description + "] X[" + s.expression + "]";
    for (const SearchPair& p : s.pairs) {
        out += " {" + pairFlags(p) + "|" + shownText(p.searchText, p.binarySearchBlock) + "|" +
               shownText(p.replaceText, p.binaryReplaceBlock);
        if (!p.searchComment.empty() || !p.replaceComment.empty())
            out += "|" + p.searchComment + "|" + p.replaceComment;
        out += "}";
    }
    for (const PathMaskPair& e : s.paths)
        out += " <" + e.path + "|" + e.mask + ">";
    return out;
}

// Every field a script file carries, each with its length, so that two scripts are the same
// exactly when their dumps are.
inline std::string dump(const Script& s)
{
    std::string out;
    auto field = [&out](const std::string& name, const std::string& value) {
        out += name + "(" + std::to_string(value.size()) + ")" + value + " ";
    };
    field("description", s.description);
    field("expression", s.expression);
    out += s.options ? "options " : "";
    out += "subdirs" + std::to_string(int(s.subdirectories)) + " ";
    for (const SearchPair& p : s.pairs) {
        out += "\npair " + pairFlags(p) + " ";
        field("search", p.searchText);
        field("replace", p.replaceText);
        field("searchBlock", p.binarySearchBlock);
        field("replaceBlock", p.binaryReplaceBlock);
        field("searchComment", p.searchComment);
        field("replaceComment", p.replaceComment);
        field("mask", p.ignoreWhitespaceMask);
    }
    for (const PathMaskPair& e : s.paths) {
        out += "\nentry ";
        field("path", e.path);
        field("mask", e.mask);
    }
    return out;
}

inline void putU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xff);
}

inline void putText(std::string& out, const std::string& s)
{
    out += char(s.size() & 0xff);
    out += char((s.size() >> 8) & 0xff);
    out += s;
}

// A binary-format file: per pair its texts and the flags regex, case, word.
inline std::string binaryScript(const std::vector<SearchPair>& pairs, const std::vector<std::string>& pathStrings)
{
    std::string out;
    putU32(out, 2600);
    putU32(out, uint32_t(pairs.size()));
    for (const SearchPair& p : pairs) {
        putText(out, p.searchText);
        putText(out, p.replaceText);
        putText(out, p.binarySearchBlock);
        putText(out, p.binaryReplaceBlock);
        putU32(out, p.regularExpression);
        putU32(out, p.caseSensitive);
        putU32(out, p.wholeWord);
    }
    putU32(out, uint32_t(pathStrings.size()));
    for (const std::string& s : pathStrings)
        putText(out, s);
    return out;
}

inline SearchPair makePair(std::string search, std::string replace)
{
    SearchPair p;
    p.searchText = std::move(search);
    p.replaceText = std::move(replace);
    return p;
}

} // namespace tw::test
