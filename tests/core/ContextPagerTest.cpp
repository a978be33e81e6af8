#include "core/ContextPager.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "ReplaceTestSupport.h"
#include "TestArchives.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <fcntl.h>

namespace tw {
namespace {

using namespace test;

// What a page of lines first .. first + 2N of `text` is, worked out on the whole text.
struct RefPage {
    long last = 0;
    int64_t start = 0, end = 0;
    bool atEnd = false;
    std::string display;
};

RefPage referencePage(const std::string& text, long n, long first)
{
    std::vector<std::string> lines;
    for (size_t from = 0; from < text.size();) {
        const size_t lf = text.find('\n', from);
        const size_t to = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(from, to - from));
        from = to;
    }
    RefPage page;
    for (long i = 0; i < first - 1 && i < static_cast<long>(lines.size()); ++i)
        page.start += static_cast<int64_t>(lines[i].size());
    page.end = page.start;
    long shown = 0;
    for (long i = first - 1; i < static_cast<long>(lines.size()) && shown < 2 * n + 1; ++i, ++shown) {
        std::string line = lines[i];
        page.end += static_cast<int64_t>(line.size());
        const bool lf = !line.empty() && line.back() == '\n';
        if (lf)
            line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (char& c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                c = ' ';
        page.display += line + (lf ? "\r\n" : "");
    }
    page.last = std::max(first, first + shown - 1);
    page.atEnd = first - 1 + shown >= static_cast<long>(lines.size());
    return page;
}

void expectPage(const ContextPager& p, const std::string& text, long n, long first, const std::string& what)
{
    const RefPage ref = referencePage(text, n, first);
    EXPECT_EQ(p.firstLine(), first) << what;
    EXPECT_EQ(p.lastLine(), ref.last) << what;
    EXPECT_EQ(p.startOffset(), ref.start) << what;
    EXPECT_EQ(p.endOffset(), ref.end) << what;
    EXPECT_EQ(p.atEnd(), ref.atEnd) << what;
    EXPECT_EQ(p.displayText(), ref.display) << what;
}

std::string numbered(int count, const char* end = "\n")
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + end;
    return text;
}

struct ContextPagerTest : ::testing::Test {
    DataTempDir dir;
    FileSystem& fs = realFileSystem();

    std::string make(const std::string& name, const std::string& content)
    {
        writeFile(dir.path() + name, content);
        return dir.path() + name;
    }
    std::string selected(const ContextPager& p)
    {
        size_t b = 0, e = 0;
        return p.selection(&b, &e) ? p.displayText().substr(b, e - b) : std::string("<none>");
    }
};

TEST_F(ContextPagerTest, PagesAndSelectionsOfSmallFiles)
{
    ContextPager p(fs, 5, false);
    // A hit on line 3 with N = 5: lines 1 to 11, no Page Up.
    const std::string lf = make("lf.txt", numbered(30));
    ASSERT_TRUE(p.open({lf, "", 3, 5, 1}));
    EXPECT_EQ(p.linesText(), " (&lines 1-11)");
    EXPECT_FALSE(p.canPageUp());
    EXPECT_TRUE(p.canPageDown());
    EXPECT_EQ(selected(p), "3"); // widened by the two CRs the display put before it
    // A 4-line file: lines 1-4, at end.
    ASSERT_TRUE(p.open({make("four.txt", numbered(4, "\r\n")), "", 2, 0, 4}));
    EXPECT_EQ(p.linesText(), " (&lines 1-4)");
    EXPECT_TRUE(p.atEnd());
    EXPECT_FALSE(p.canPageDown());
    EXPECT_EQ(p.displayText(), numbered(4, "\r\n"));
    // Mixed line ends, control bytes, a last line without an end that ends in CR, and a
    // hit that spans a line end: its selection takes in the inserted CR.
    const std::string mixed = "ab\r\ncd\nef\x01g\tX\rY\nlast\r";
    ASSERT_TRUE(p.open({make("mixed.txt", mixed), "", 2, 1, 3}));
    EXPECT_EQ(p.displayText(), "ab\r\ncd\r\nef g\tX Y\r\nlast");
    EXPECT_EQ(selected(p), "d\r\ne");
    EXPECT_TRUE(p.atEnd());
    EXPECT_EQ(p.lastLine(), 4);
    // The results line's offset wins over the column (long lines show a shifted column);
    // line ends a hit begins with are not selected.
    ASSERT_TRUE(p.open({make("off.txt", "aaa\nbbb hit\n"), "", 1, 0, 3, 8}));
    EXPECT_EQ(selected(p), "hit");
    ASSERT_TRUE(p.open({dir.path() + "off.txt", "", 1, 0, 3, 3}));
    EXPECT_EQ(selected(p), "bbb");
    // A hit outside the page selects nothing; a missing file keeps the page and says why.
    EXPECT_FALSE(p.open({dir.path() + "none.txt", "", 1, 0, 1}));
    EXPECT_EQ(p.error(), "Error opening " + dir.path() + "none.txt");
    EXPECT_EQ(p.displayText(), "aaa\r\nbbb hit\r\n");
}

TEST_F(ContextPagerTest, LongLineEndsThePageAndPagingGoesOnAfterIt)
{
    const std::string longLine(ContextPager::kBlock + 500, 'x');
    const std::string text = "one\n" + longLine + "\nthree\nfour\n";
    const std::string path = make("long.txt", text);
    ContextPager p(fs, 5, false);
    ASSERT_TRUE(p.open({path, "", 1, 0, 3}));
    EXPECT_EQ(p.firstLine(), 1);
    EXPECT_EQ(p.lastLine(), 2);
    EXPECT_EQ(p.displayText(), "one\r\n" + std::string(ContextPager::kBlock, 'x'));
    EXPECT_TRUE(p.canPageDown());
    ASSERT_TRUE(p.pageDown());
    EXPECT_EQ(p.firstLine(), 3);
    EXPECT_EQ(p.displayText(), "three\r\nfour\r\n");
    EXPECT_EQ(p.startOffset(), static_cast<int64_t>(text.find("three")));
    EXPECT_TRUE(p.atEnd());
}

TEST_F(ContextPagerTest, RandomFilesPageLikeTheWholeFileReference)
{
    std::mt19937 rng(20261210);
    const char alphabet[] = {'a', 'b', ' ', '\n', '\n', '\r', '\t', '\x01', '\xC3', '\xA9'};
    for (int round = 0; round < 150; ++round) {
        std::string text(rng() % 400, 'a');
        for (char& c : text)
            c = alphabet[rng() % sizeof alphabet];
        const long n = 1 + static_cast<long>(rng() % 4);
        const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
        const long hitLine = 1 + static_cast<long>(rng() % static_cast<unsigned long>(lines));
        const std::string path = make("r.txt", text);
        ContextPager p(fs, static_cast<int>(n), false);
        ASSERT_TRUE(p.open({path, "", hitLine, 0, 1}));
        const std::string what = "round " + std::to_string(round);
        expectPage(p, text, n, std::max(1L, hitLine - n), what);
        for (int step = 0; step < 6; ++step) {
            const long first = p.firstLine();
            if (rng() % 2) {
                const bool could = p.canPageDown();
                const long next = p.lastLine() + 1;
                ASSERT_TRUE(p.pageDown());
                expectPage(p, text, n, could ? next : first, what + " down");
            } else {
                ASSERT_TRUE(p.pageUp());
                expectPage(p, text, n, std::max(1L, first - 2 * n - 1), what + " up");
            }
        }
    }
}

TEST_F(ContextPagerTest, PageDownThenUpReturnsToTheSameRange)
{
    const std::string text = numbered(200, "\r\n");
    ContextPager p(fs, 5, false);
    ASSERT_TRUE(p.open({make("many.txt", text), "", 100, 0, 4}));
    const std::string first = p.displayText();
    const int64_t start = p.startOffset();
    ASSERT_TRUE(p.pageDown());
    ASSERT_TRUE(p.pageUp());
    EXPECT_EQ(p.firstLine(), 95);
    EXPECT_EQ(p.startOffset(), start);
    EXPECT_EQ(p.displayText(), first);
}

TEST_F(ContextPagerTest, SaveWritesOnlyTheEditedLinesWithTheFilesLineEnds)
{
    // Lines before and after the page, LF and CR LF lines, and a line the page cuts short
    // of nothing: only the edited line changes, every other byte stays.
    std::string text = numbered(20) + "crlf a\r\ncrlf b\r\n" + numbered(3) + "tail\r";
    const std::string path = make("save.txt", text);
    ContextPager p(fs, 5, false);
    ContextSaveSettings settings{dataDirectory(), "", 0};
    ASSERT_FALSE(settings.dataDir.empty());
    FileStatus st;
    ASSERT_TRUE(fs.status(path, &st));
    settings.searchEnded = st.lastWrite;
    ASSERT_TRUE(p.open({path, "", 17, 0, 4}));
    ASSERT_TRUE(p.canSave());

    // Unedited: the same bytes.
    SaveOutcome out = p.save(p.displayText(), p.displayText(), settings);
    ASSERT_EQ(out.status, SaveStatus::Saved) << out.message;
    EXPECT_EQ(readFile(path), text);

    std::string edited = p.displayText();
    edited.replace(edited.find("line 13"), 7, "LINE 13\r\nnew line");
    edited.replace(edited.find("crlf b"), 6, "CRLF B");
    out = p.save(p.displayText(), edited, settings);
    ASSERT_EQ(out.status, SaveStatus::Saved) << out.message;
    std::string expected = text;
    expected.replace(expected.find("line 13"), 7, "LINE 13\nnew line");
    expected.replace(expected.find("crlf b"), 6, "CRLF B");
    EXPECT_EQ(readFile(path), expected);
    // The page was read again and a second save is not taken for someone else's change.
    EXPECT_EQ(p.firstLine(), 12);
    edited = p.displayText();
    edited.replace(edited.find("LINE 13"), 7, "line 13");
    EXPECT_EQ(p.save(p.displayText(), edited, settings).status, SaveStatus::Saved);
    expected.replace(expected.find("LINE 13"), 7, "line 13");
    EXPECT_EQ(readFile(path), expected);

    // Our own save is no change since the search, for that file only: another file written
    // after the search but before that save is refused.
    const std::string other = make("other.txt", numbered(3));
    int64_t sec = 0, nsec = 0;
    fromFileTime(settings.searchEnded + 1, &sec, &nsec);
    const timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
    ASSERT_TRUE(p.open({other, "", 1, 0, 4}));
    EXPECT_EQ(p.save(p.displayText(), "x", settings).status, SaveStatus::Modified);

    // With a UTF-8 byte-order mark the search's offsets leave the mark out; a save keeps it.
    const std::string marked = make("bom.txt", "\xEF\xBB\xBF" + numbered(3));
    ASSERT_TRUE(fs.status(marked, &st));
    settings.searchEnded = st.lastWrite;
    ContextPager d(fs, 5, true);
    ASSERT_TRUE(d.open({marked, "", 2, 0, 4, 7}));
    EXPECT_EQ(selected(d), "line");
    edited = d.displayText();
    edited.replace(edited.find("line 2"), 6, "second");
    ASSERT_EQ(d.save(d.displayText(), edited, settings).status, SaveStatus::Saved);
    EXPECT_EQ(readFile(marked), "\xEF\xBB\xBFline 1\nsecond\nline 3\n");
}

TEST_F(ContextPagerTest, RandomSavesChangeExactlyTheEditedLine)
{
    std::mt19937 rng(7);
    const char alphabet[] = {'a', 'b', '\n', '\n', '\r', '\t', '\x01', '\xC3'};
    ContextSaveSettings settings{dataDirectory(), "", 0};
    for (int round = 0; round < 40; ++round) {
        std::string text(1 + rng() % 200, 'a');
        for (char& c : text)
            c = alphabet[rng() % sizeof alphabet];
        const std::string path = make("s.txt", text);
        FileStatus st;
        ASSERT_TRUE(fs.status(path, &st));
        settings.searchEnded = st.lastWrite;
        const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
        ContextPager p(fs, 2, false);
        ASSERT_TRUE(p.open({path, "", 1 + static_cast<long>(rng() % static_cast<unsigned long>(lines)), 0, 1}));
        SaveOutcome out = p.save(p.displayText(), p.displayText(), settings);
        ASSERT_EQ(out.status, SaveStatus::Saved) << out.message;
        ASSERT_EQ(readFile(path), text) << "round " << round;

        // Display line k becomes "EDITED"; in the file, that line's text without its line end.
        std::vector<std::string> shown;
        std::string display = p.displayText();
        for (size_t from = 0;;) {
            const size_t lf = display.find('\n', from);
            shown.push_back(display.substr(from, lf == std::string::npos ? std::string::npos : lf - from));
            if (lf == std::string::npos)
                break;
            from = lf + 1;
        }
        // The empty piece after a page's last LF is no line of the page.
        const size_t k = rng() % (shown.size() > 1 && shown.back().empty() ? shown.size() - 1 : shown.size());
        std::string edited;
        for (size_t i = 0; i < shown.size(); ++i)
            edited += (i == k ? std::string("EDITED") + (i + 1 < shown.size() ? "\r\n" : "") : shown[i]) +
                      (i + 1 < shown.size() && i != k ? "\n" : "");
        size_t lineStart = static_cast<size_t>(p.startOffset());
        for (size_t i = 0; i < k; ++i)
            lineStart = text.find('\n', lineStart) + 1;
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = static_cast<size_t>(p.endOffset());
        else if (lineEnd > lineStart && text[lineEnd - 1] == '\r')
            --lineEnd;
        std::string expected = text;
        expected.replace(lineStart, lineEnd - lineStart, "EDITED");
        out = p.save(p.displayText(), edited, settings);
        ASSERT_EQ(out.status, SaveStatus::Saved) << out.message;
        EXPECT_EQ(readFile(path), expected) << "round " << round << " line " << k;
    }
}

TEST_F(ContextPagerTest, SaveRefusesChangedFilesAndKeepsABackup)
{
    const std::string text = numbered(10);
    const std::string path = make("c.txt", text);
    FileStatus st;
    ASSERT_TRUE(fs.status(path, &st));
    ContextSaveSettings settings{dataDirectory(), dir.path() + "bak", st.lastWrite};
    ContextPager p(fs, 5, false);
    ASSERT_TRUE(p.open({path, "", 2, 0, 4}));
    std::string edited = p.displayText();
    edited[0] = 'L';

    // Changed after the search: the modification time is later than its end.
    settings.searchEnded = st.lastWrite - 1;
    SaveOutcome out = p.save(p.displayText(), edited, settings);
    EXPECT_EQ(out.status, SaveStatus::Modified);
    EXPECT_EQ(out.message, kContextModifiedText);
    EXPECT_EQ(readFile(path), text);

    // Changed since the page was read (another size).
    settings.searchEnded = st.lastWrite + 100 * kFileTimeTicksPerSecond;
    writeFile(path, text + "more\n");
    EXPECT_EQ(p.save(p.displayText(), edited, settings).status, SaveStatus::Modified);
    EXPECT_EQ(readFile(path), text + "more\n");

    // Read again, saved, with the old content in the backup directory and an undo line.
    ASSERT_TRUE(p.open({path, "", 2, 0, 4}));
    edited = p.displayText();
    edited[0] = 'L';
    out = p.save(p.displayText(), edited, settings);
    ASSERT_EQ(out.status, SaveStatus::Saved) << out.message;
    EXPECT_EQ(readFile(path), "L" + text.substr(1) + "more\n");
    EXPECT_EQ(readFile(dir.path() + "bak/c.txt"), text + "more\n");
    EXPECT_NE(readFile(settings.dataDir + "twundo.sh").find("c.txt"), std::string::npos);

    // A read-only file is not offered for saving.
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(p.open({path, "", 2, 0, 4}));
    EXPECT_FALSE(p.canSave());
    EXPECT_EQ(p.save(p.displayText(), edited, settings).status, SaveStatus::Failed);
}

TEST_F(ContextPagerTest, MembersAndUtf16ShowTheirTextAndAreNotSaved)
{
    const std::string archive = dir.path() + "a.zip";
    ASSERT_TRUE(writeArchive(archive, "zip", {{"other.txt", "no\n"}, {"dir/m.txt", numbered(30)}}));
    ContextPager p(fs, 5, true);
    ASSERT_TRUE(p.open({"dir/m.txt", archive, 20, 5, 2}));
    EXPECT_EQ(p.firstLine(), 15);
    EXPECT_EQ(p.displayText().substr(0, 9), "line 15\r\n");
    EXPECT_EQ(selected(p), "20");
    EXPECT_FALSE(p.canSave());
    ASSERT_TRUE(p.pageUp()); // counted again from line 1
    EXPECT_EQ(p.firstLine(), 4);
    EXPECT_EQ(p.displayText().substr(0, 8), "line 4\r\n");
    EXPECT_FALSE(p.open({"missing.txt", archive, 1, 0, 1}));
    EXPECT_EQ(p.error(), "Error reading file " + archive + " | missing.txt");

    // UTF-16 little-endian "h\u00e9\n" three times and "x\n": the decoded text.
    std::string utf16 = "\xFF\xFE";
    for (int i = 0; i < 3; ++i)
        utf16 += std::string("h\0\xE9\0\n\0", 6);
    utf16 += std::string("x\0\n\0", 4);
    ASSERT_TRUE(p.open({make("w.txt", utf16), "", 4, 0, 1}));
    EXPECT_EQ(p.displayText(), "h\xC3\xA9\r\nh\xC3\xA9\r\nh\xC3\xA9\r\nx\r\n");
    EXPECT_TRUE(p.decodedUtf16());
    EXPECT_EQ(selected(p), "x");
    EXPECT_FALSE(p.canSave());
}

} // namespace
} // namespace tw
