#pragma once
// The rules of git's ignore files (.gitignore, .git/info/exclude, the global excludes
// file), matched as git matches them:
// - one pattern a line; a line starting with "#" is a comment, "\#" and "\!" stand for the
//   characters themselves; trailing spaces are dropped unless escaped with "\"; a CR before
//   the line feed is dropped; a NUL ends the line (git reads each line as a C string);
// - "!" in front re-includes what an earlier pattern excluded;
// - a trailing "/" makes the pattern match directories only;
// - a pattern with a "/" at its start or in its middle is anchored: it is matched against
//   the path relative to the ignore file's directory; without one it is matched against the
//   last component of the path at any depth;
// - "*" and "?" never match "/", "[...]" is a character class ("!" or "^" negates,
//   ranges, "[:alpha:]" and the other ASCII classes); "**" as a whole component matches
//   any number of directories ("**/x", "x/**", "a/**/b"); other runs of "*" are one "*";
// - a malformed class ("[a" without "]", an unknown "[:name:]") or a trailing "\" makes
//   the pattern match nothing.
// Within one file the last matching pattern decides.
//
// Matching never backtracks: a pattern is compiled to tokens and run as a set of states
// over the path, so a match costs at most (pattern length x path length) steps whatever
// the pattern holds.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// What the patterns of one list say about a path.
enum class IgnoreVerdict : uint8_t {
    None,     // no pattern matches: the next list decides
    Ignored,  // the last matching pattern excludes the path
    Included, // the last matching pattern is a "!" pattern
};

class IgnorePattern {
public:
    // Compiles one line (without its line feed). False for a line that can match nothing
    // (empty, blank, a comment, a malformed pattern), which changes no decision.
    [[nodiscard]] bool compile(std::string_view line);

    bool negative() const { return m_negative; }
    // About what the compiled pattern takes in memory.
    size_t memoryBytes() const;
    // The byte every matching path ends with, or -1 when the pattern does not fix it.
    int lastByte() const { return m_lastByte; }
    bool directoryOnly() const { return m_directoryOnly; }
    // `path` is relative to the ignore file's directory, without a trailing "/" ("a/b.c");
    // `name` its last component.
    [[nodiscard]] bool matches(std::string_view path, std::string_view name, bool isDirectory) const;

private:
    enum class Op : uint8_t {
        Literal,  // the byte m_literals[arg]
        AnyByte,  // "?": any byte but "/"
        Class,    // "[...]": m_classes[arg], never "/"
        Star,     // "*": any run of bytes without "/"
        AnyPath,  // "**": any run of bytes
    };
    struct Token {
        Op op;
        bool skipsSlash = false; // "**/": may also match nothing together with the "/" after it
        uint8_t literal = 0;
        uint32_t classIndex = 0;
    };
    struct ByteSet {
        uint64_t bits[4] = {0, 0, 0, 0};
        void add(unsigned c) { bits[c >> 6] |= uint64_t(1) << (c & 63); }
        bool has(unsigned c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
    };
    enum class Shape : uint8_t {
        Exact,   // only literals: the text equals m_text
        Suffix,  // one "*" or "**" and then only literals: the text ends with m_text
        General, // the token machine
    };

    bool compileTokens(std::string_view p);
    bool compileClass(std::string_view p, size_t* pos);
    bool run(std::string_view text) const;
    bool runSmall(std::string_view text) const;

    bool m_negative = false;
    bool m_directoryOnly = false;
    bool m_basename = false;  // no "/" in the pattern: matched against the last component
    Shape m_shape = Shape::Exact;
    bool m_suffixCrossesSlash = false; // Suffix shape: the star is "**"
    int m_lastByte = -1;      // see lastByte()
    // General shape: the longest run of literal bytes after the literal prefix, which every
    // match holds (a cheap test before the token machine runs).
    std::string m_needle;
    std::string m_text;       // Exact and Suffix: the literal bytes; General: the literal prefix
    size_t m_firstToken = 0;  // General shape: the tokens before it are literals, m_text
    std::vector<Token> m_tokens;
    std::vector<ByteSet> m_classes;
};

// The patterns of one ignore file. `base` is the file's directory relative to the root the
// paths are given in, "" or ending with "/".
// The next line of `text` (without its "\n" or "\r\n"); `text` moves past it.
inline std::string_view takeLine(std::string_view& text)
{
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

class IgnoreList {
public:
    // Longest line taken as a pattern; longer lines are skipped (no path component is
    // that long, and it keeps every match cheap).
    static constexpr size_t kMaxLineBytes = 4096;

    explicit IgnoreList(std::string base = {}) : m_base(std::move(base)) {}

    // Adds the patterns of a file's text (a UTF-8 byte-order mark at its start is skipped).
    void addText(std::string_view text);

    // `rootPath` is relative to the root, without trailing "/"; `name` its last component.
    // A path outside `base` gets None.
    [[nodiscard]] IgnoreVerdict decide(std::string_view rootPath, std::string_view name, bool isDirectory) const;

    const std::string& base() const { return m_base; }
    size_t size() const { return m_patterns.size(); }
    // About what the compiled patterns take in memory.
    size_t memoryBytes() const;
    bool empty() const { return m_patterns.empty(); }

private:
    void buildIndex();

    std::string m_base;
    std::vector<IgnorePattern> m_patterns; // in file order; the last match decides
    // Long lists only (else empty): the positions of the patterns whose matches end with
    // each byte, and of those without a fixed last byte, each ascending; a path need only
    // be tried against its last byte's patterns and the unfixed ones.
    std::vector<std::vector<uint32_t>> m_byLastByte;
    std::vector<uint32_t> m_anyLastByte;
};

} // namespace tw
