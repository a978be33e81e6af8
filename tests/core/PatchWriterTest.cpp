// The diff of a replaced file (PatchWriter) from its spans, and the spans of several pairs
// composed into one step (ChangeSpans).
#include "core/ChangeSpans.h"
#include "core/PatchWriter.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

struct Edit {
    size_t offset, length;
    std::string text;
};

// Applies edits (in increasing offset, not overlapping) to `text`, recording their spans.
std::string applyEdits(const std::string& text, const std::vector<Edit>& edits, ChangeSpans& spans)
{
    std::string out;
    size_t at = 0;
    for (const Edit& e : edits) {
        out += text.substr(at, e.offset - at) + e.text;
        at = e.offset + e.length;
        EXPECT_TRUE(spans.append({static_cast<int64_t>(e.offset), static_cast<int64_t>(e.length),
                                  static_cast<int64_t>(e.text.size())}));
    }
    return out + text.substr(at);
}

std::unique_ptr<File> fileWith(const std::string& content)
{
    std::unique_ptr<File> f = realFileSystem().createScratch("TWT");
    EXPECT_TRUE(f && f->write(content.data(), content.size()));
    return f;
}

std::string patchOf(const std::string& original, const std::vector<Edit>& edits, const std::string& rel = "f.txt")
{
    ChangeSpans spans(realFileSystem());
    const std::string changed = applyEdits(original, edits, spans);
    auto before = fileWith(original), after = fileWith(changed), out = fileWith("");
    PatchWriter writer(realFileSystem(), *out);
    EXPECT_TRUE(writer.writeText(rel, *before, static_cast<int64_t>(original.size()), *after,
                                 static_cast<int64_t>(changed.size()), spans));
    EXPECT_TRUE(writer.flush());
    std::string text(static_cast<size_t>(out->position()), '\0');
    EXPECT_TRUE(out->seek(0) && out->read(text.data(), text.size()) == static_cast<int64_t>(text.size()));
    return text;
}

const std::string kHead = "diff --git a/f.txt b/f.txt\n--- a/f.txt\n+++ b/f.txt\n";

TEST(PatchWriter, HunksAsGitWritesThem)
{
    // CR LF stays at the end of its line; a last line without a line end says so.
    EXPECT_EQ(patchOf("a\r\nfoo\r\nb", {{3, 3, "bar"}}), kHead + "@@ -1,3 +1,3 @@\n a\r\n-foo\r\n+bar\r\n b\n"
                                                                "\\ No newline at end of file\n");
    EXPECT_EQ(patchOf("a\nfoo", {{2, 3, "x"}}),
              kHead + "@@ -1,2 +1,2 @@\n a\n-foo\n\\ No newline at end of file\n+x\n\\ No newline at end of file\n");
    // A line end replaced away joins two lines; text added at the end of a file.
    EXPECT_EQ(patchOf("a\nb\n", {{1, 1, ""}}), kHead + "@@ -1,2 +1 @@\n-a\n-b\n+ab\n");
    EXPECT_EQ(patchOf("a\n", {{2, 0, "z\n"}}), kHead + "@@ -1 +1,2 @@\n a\n+z\n");
    // Everything replaced by nothing.
    EXPECT_EQ(patchOf("foo\n", {{0, 4, ""}}), kHead + "@@ -1 +0,0 @@\n-foo\n");
    // Changes six unchanged lines apart share a hunk; seven apart they do not.
    std::string lines;
    for (char c = 'a'; c <= 'p'; ++c)
        lines += std::string(1, c) + "\n";
    EXPECT_EQ(patchOf(lines, {{0, 1, "A"}, {14, 1, "H"}}),
              kHead + "@@ -1,11 +1,11 @@\n-a\n+A\n b\n c\n d\n e\n f\n g\n-h\n+H\n i\n j\n k\n");
    EXPECT_EQ(patchOf(lines, {{0, 1, "A"}, {16, 1, "I"}}),
              kHead + "@@ -1,4 +1,4 @@\n-a\n+A\n b\n c\n d\n@@ -6,7 +6,7 @@\n f\n g\n h\n-i\n+I\n j\n k\n l\n");
    // The later hunk's new line numbers follow the lines the earlier one added.
    EXPECT_EQ(patchOf(lines, {{0, 1, "A\nA2"}, {30, 1, "P"}}),
              kHead + "@@ -1,4 +1,5 @@\n-a\n+A\n+A2\n b\n c\n d\n@@ -13,4 +14,4 @@\n m\n n\n o\n-p\n+P\n");
}

TEST(PatchWriter, NamesAreQuotedAsGitQuotesThem)
{
    EXPECT_EQ(quotePatchName("a/b c.txt"), "a/b c.txt");
    EXPECT_EQ(quotePatchName("a/\xc3\xa9.txt"), "a/\xc3\xa9.txt");
    EXPECT_EQ(quotePatchName("a/x\"y\\z\tw\x01\x7f"), "\"a/x\\\"y\\\\z\\tw\\001\\177\"");
    EXPECT_EQ(patchOf("q\n", {{0, 1, "r"}}, "d/\"q\".txt"),
              "diff --git \"a/d/\\\"q\\\".txt\" \"b/d/\\\"q\\\".txt\"\n--- \"a/d/\\\"q\\\".txt\"\n"
              "+++ \"b/d/\\\"q\\\".txt\"\n@@ -1 +1 @@\n-q\n+r\n");
}

// Two random steps of many edits (enough to spill to the temporary file) composed into
// one: outside the composed spans the original and the final text are the same bytes in
// the same order, and the spans give the final text.
TEST(ChangeSpans, ComposedSpansTakeTheOriginalToTheFinalText)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        std::string base(20000 + rng() % 20000, 'x');
        for (char& c : base)
            c = static_cast<char>('a' + rng() % 4);
        auto randomEdits = [&](const std::string& text) {
            std::vector<Edit> edits;
            for (size_t at = rng() % 5; at < text.size(); at += 1 + rng() % 6) {
                const size_t length = std::min<size_t>(rng() % 3, text.size() - at);
                edits.push_back({at, length, std::string(rng() % 3, 'Z')});
                at += length;
            }
            return edits;
        };
        ChangeSpans first(realFileSystem()), second(realFileSystem()), composed(realFileSystem());
        const std::string middle = applyEdits(base, randomEdits(base), first);
        const std::string final = applyEdits(middle, randomEdits(middle), second);
        ASSERT_GT(first.count(), 4096);
        ASSERT_TRUE(ChangeSpans::compose(first, second, composed));
        std::string rebuilt;
        int64_t at = 0, shift = 0;
        ChangeSpan s;
        composed.rewind();
        while (composed.next(s)) {
            ASSERT_GE(s.offset, at);
            rebuilt += base.substr(static_cast<size_t>(at), static_cast<size_t>(s.offset - at));
            rebuilt += final.substr(static_cast<size_t>(s.offset + shift), static_cast<size_t>(s.size));
            shift += s.size - s.length;
            at = s.offset + s.length;
        }
        rebuilt += base.substr(static_cast<size_t>(at));
        EXPECT_EQ(rebuilt, final);
        EXPECT_EQ(static_cast<int64_t>(base.size()) + shift, static_cast<int64_t>(final.size()));
    }
}

} // namespace
} // namespace tw
