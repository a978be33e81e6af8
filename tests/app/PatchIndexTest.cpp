#include "app/PatchIndex.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The standard output of a shell command run in `dir`.
std::string runIn(const std::string& dir, const std::string& command)
{
    const std::string out = dir + ".out";
    const int rc = std::system(("cd '" + dir + "' && " + command + " > '" + out + "' 2>/dev/null").c_str());
    EXPECT_EQ(rc, 0) << command;
    return readAll(out);
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find(sep, pos);
        parts.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return parts;
}

// The lines of `text`, each without its LF.
std::vector<std::string> linesOf(const std::string& text)
{
    return split(text, '\n');
}

std::string randomText(std::mt19937& rng, bool crlf, bool finalNewline)
{
    static const char* words[] = {"alpha", "beta", "gamma", "delta", "x", "", "  indented", "tab\there", "ünï"};
    std::string text;
    const int lines = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < lines; ++i) {
        text += words[rng() % std::size(words)];
        text += ' ';
        text += words[rng() % std::size(words)];
        text += crlf ? "\r\n" : "\n";
    }
    if (!finalNewline)
        text.pop_back();
    return text;
}

std::string edited(std::mt19937& rng, const std::string& text)
{
    std::vector<std::string> lines = split(text, '\n');
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !lines.empty(); ++e) {
        const size_t at = rng() % lines.size();
        switch (rng() % 3) {
        case 0: lines[at] = "changed " + lines[at] + " here"; break;
        case 1: lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at)); break;
        default: lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), "inserted"); break;
        }
    }
    std::string out;
    for (const std::string& l : lines)
        out += l + '\n';
    if (rng() % 4 == 0 && !out.empty())
        out.pop_back(); // no newline at the end now
    return out;
}

// Every section's rows read back as the patch's own lines, and the sections cover the
// whole patch in order.
void expectRowsMatchPatch(PatchIndex& index, const std::string& patch)
{
    uint64_t at = 0;
    const std::vector<std::string> lines = linesOf(patch);
    size_t lineNo = 0;
    for (size_t i = 0; i < index.sectionCount(); ++i) {
        const PatchSection& s = index.section(i);
        ASSERT_EQ(s.begin, at);
        at = s.end;
        for (uint64_t row = 0; row < s.rows; ++row, ++lineNo) {
            PatchLine line;
            ASSERT_TRUE(index.readLine(i, row, &line)) << i << ' ' << row;
            ASSERT_LT(lineNo, lines.size());
            const std::string& want = lines[lineNo];
            EXPECT_EQ(line.cut, want.size() > PatchIndex::kMaxLineBytes);
            ASSERT_EQ(line.text, want.substr(0, PatchIndex::kMaxLineBytes)) << "section " << i << " row " << row;
            EXPECT_LE(line.markBegin, line.markEnd);
            EXPECT_LE(line.markEnd, line.text.size());
        }
    }
    EXPECT_EQ(at, patch.size());
    EXPECT_EQ(lineNo, lines.size());
}

// Random edits of files with hostile names, compared with what git itself reports of the
// same change: names (--name-only -z), counts (--numstat -z) and the hunk lines.
TEST(PatchIndex, IndexesGitDiffsOfRandomEdits)
{
    const char* names[] = {"plain.txt", "with space.txt", "quote\"d.txt", "back\\slash.txt", "tab\tname.txt",
                           "ünï.txt",   "sub/dir/x.c",    "new\nline.txt", "crlf.txt",      "binary.bin"};
    std::mt19937 rng(20261210);
    for (int round = 0; round < 6; ++round) {
        test::TempDir dir;
        const std::string repo = dir.file("repo");
        std::vector<std::string> originals;
        for (const char* name : names) {
            const bool crlf = std::string(name) == "crlf.txt";
            std::string text = randomText(rng, crlf, rng() % 3 != 0);
            if (std::string(name) == "binary.bin")
                text += std::string("\0\1\2", 3);
            test::writeFile(repo + "/" + name, text);
            originals.push_back(text);
        }
        runIn(repo, "git init -q . && git add -A");
        for (size_t k = 0; k < std::size(names); ++k)
            if (rng() % 3 != 0)
                test::writeFile(repo + "/" + names[k], edited(rng, originals[k]));
        const std::string patch = runIn(repo, "git -c core.quotePath=true diff --no-color --no-ext-diff");
        const std::vector<std::string> wantNames = split(runIn(repo, "git diff --name-only -z"), '\0');
        const std::vector<std::string> numstat = split(runIn(repo, "git diff --numstat -z"), '\0');
        test::writeFile(dir.file("p.diff"), patch);

        PatchIndex index;
        ASSERT_TRUE(index.open(dir.file("p.diff"))) << index.error();
        ASSERT_EQ(index.size(), patch.size());
        ASSERT_EQ(index.sectionCount(), wantNames.size()) << patch;
        ASSERT_EQ(numstat.size(), wantNames.size());
        const std::vector<std::string> lines = linesOf(patch);
        size_t lineNo = 0;
        for (size_t i = 0; i < index.sectionCount(); ++i) {
            const PatchSection& s = index.section(i);
            EXPECT_EQ(s.rel, wantNames[i]);
            EXPECT_FALSE(s.malformed) << s.rel;
            EXPECT_EQ(patch.compare(s.begin, 11, "diff --git "), 0);
            const std::vector<std::string> counts = split(numstat[i], '\t');
            ASSERT_GE(counts.size(), 2u);
            EXPECT_EQ(s.binary, counts[0] == "-") << s.rel;
            if (!s.binary) {
                EXPECT_EQ(std::to_string(s.added), counts[0]) << s.rel;
                EXPECT_EQ(std::to_string(s.removed), counts[1]) << s.rel;
            }
            size_t hunkLines = 0;
            for (uint64_t r = 0; r < s.rows; ++r)
                hunkLines += lines[lineNo + r].rfind("@@ -", 0) == 0;
            EXPECT_EQ(s.hunkCount, hunkLines) << s.rel;
            for (size_t h = s.firstHunk; h < s.firstHunk + s.hunkCount; ++h) {
                EXPECT_TRUE(index.hunk(h).complete);
                EXPECT_EQ(patch.compare(index.hunk(h).begin, 4, "@@ -"), 0);
                EXPECT_TRUE(index.hunk(h).end == s.end || patch.compare(index.hunk(h).end, 4, "@@ -") == 0);
            }
            EXPECT_TRUE(index.setReplacements(wantNames[i], i + 1));
            EXPECT_EQ(index.section(i).replacements, i + 1);
            lineNo += s.rows;
        }
        expectRowsMatchPatch(index, patch);
    }
}

// Garbage, cut and corrupted patches: always indexed whole, every row readable, and a
// broken hunk marks its section malformed.
TEST(PatchIndex, HostilePatchesIndexWholeAndFlagBrokenSections)
{
    const std::string good = "diff --git a/f.txt b/f.txt\n--- a/f.txt\n+++ b/f.txt\n@@ -1,3 +1,3 @@\n a\n-b\n+B\n c\n"
                             "@@ -10,2 +10,3 @@\n x\n+y\n z\n\\ No newline at end of file\n";
    test::TempDir dir;
    std::mt19937 rng(7);
    std::vector<std::string> patches = {
        "", "\n", "garbage before\n" + good, good.substr(0, good.find("+y")), good + "trailing junk\n",
        "diff --git \"a/unterminated b/x\n@@ -1 +1 @@\n-a\n", "@@ -1,999999999999999999999 +1 @@\n-a\n",
        "diff --git a/x b/x\n@@ -1,5 +1,5 @@\n-a\n-b\n+c\n@@ -9 +9 @@\n-q\n+r\n",
        std::string(3 * PatchIndex::kMaxLineBytes, 'L') + "\n" + good + "+" + std::string(PatchIndex::kMaxLineBytes, 'x'),
    };
    for (int i = 0; i < 40; ++i) {
        std::string p = good + good;
        for (int k = 0; k < 4; ++k)
            p[rng() % p.size()] = static_cast<char>(rng() % 256);
        patches.push_back(p.substr(0, rng() % (p.size() + 1)));
        std::string noise(rng() % 3000, '\0');
        for (char& c : noise)
            c = "-+ @\\\nd\r\"x"[rng() % 11];
        patches.push_back(noise);
    }
    for (size_t n = 0; n < patches.size(); ++n) {
        SCOPED_TRACE(n);
        const std::string path = dir.file("p" + std::to_string(n));
        test::writeFile(path, patches[n]);
        PatchIndex index;
        ASSERT_TRUE(index.open(path));
        expectRowsMatchPatch(index, patches[n]);
    }
    const auto flags = [&](size_t n) {
        PatchIndex index;
        EXPECT_TRUE(index.open(dir.file("p" + std::to_string(n))));
        std::string f;
        for (size_t i = 0; i < index.sectionCount(); ++i)
            f += index.section(i).preamble ? 'P' : index.section(i).malformed ? 'M' : 'G';
        return f;
    };
    EXPECT_EQ(flags(2), "PG");
    EXPECT_EQ(flags(3), "M"); // cut inside its second hunk
    EXPECT_EQ(flags(4), "M");
    EXPECT_EQ(flags(5), "M"); // no name that can be read
    EXPECT_EQ(flags(6), "P");
    EXPECT_EQ(flags(7), "M"); // the first hunk is short of its lines
}

// The bytes that differ between a removed line and its paired added line are marked, in
// whole UTF-8 sequences, also across "\ No newline at end of file"; unpaired lines are not.
TEST(PatchIndex, MarksTheDifferingMiddleOfPairedLines)
{
    const std::string patch = "diff --git a/f b/f\n--- a/f\n+++ b/f\n@@ -1,4 +1,3 @@\n"
                              "-keep old here\r\n-caf\xc3\xa9!\n-gone\n+keep new here\r\n+caf\xc3\xa8!\n x\n"
                              "@@ -9 +8 @@\n-same\n\\ No newline at end of file\n+same\n";
    test::TempDir dir;
    test::writeFile(dir.file("p"), patch);
    PatchIndex index;
    ASSERT_TRUE(index.open(dir.file("p")));
    ASSERT_EQ(index.sectionCount(), 1u);
    const auto marked = [&](uint64_t row) {
        PatchLine line;
        EXPECT_TRUE(index.readLine(0, row, &line));
        return line.text.substr(line.markBegin, line.markEnd - line.markBegin);
    };
    EXPECT_EQ(marked(4), "old");
    EXPECT_EQ(marked(7), "new");
    EXPECT_EQ(marked(5), "\xc3\xa9"); // the second lines pair; "gone" pairs with nothing
    EXPECT_EQ(marked(8), "\xc3\xa8");
    EXPECT_EQ(marked(6), "");
    EXPECT_EQ(marked(9), "");
    EXPECT_EQ(marked(11), ""); // same bytes: nothing differs
    EXPECT_EQ(marked(13), "");
    PatchLine line;
    ASSERT_TRUE(index.readLine(0, 12, &line));
    EXPECT_EQ(line.kind, PatchLineKind::NoNewline);
    EXPECT_EQ(PatchIndex::unquoteName("\"a\\tb\\\"c\\\\d\\303\\274\""), "a\tb\"c\\d\xc3\xbc");
}

} // namespace
} // namespace tw
