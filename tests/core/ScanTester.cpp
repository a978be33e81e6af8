#include "ScanTester.h"

#include "core/RunDriver.h"
#include "engine/Utf16Codec.h"
#include "results/ResultText.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "PrivateTempDirs.h"
#include "TestArchives.h"
#include "TestUtil.h"
#include "Utf16Reference.h"

#include <gtest/gtest.h>

namespace tw::test {
namespace {

enum class Form { Plain, Utf16, Member };

// One way through a run.
struct Way {
    Form form = Form::Plain;
    Utf16Order order = Utf16Order::Little; // Utf16
    size_t threads = 1;
    size_t blockSize = 0;
    bool replace = false;
    std::string name() const
    {
        static const char* const kForms[] = {"plain file", "UTF-16 file", "zip member"};
        std::string s = kForms[static_cast<int>(form)];
        if (form == Form::Utf16)
            s += order == Utf16Order::Little ? " (LE)" : " (BE)";
        return s + (replace ? ", replace" : ", search") + ", " + std::to_string(threads) + " thread(s), block " +
               std::to_string(blockSize);
    }
};

struct WayResult {
    RunOutcome outcome = RunOutcome::NotRun;
    std::vector<std::string> lines;  // output form, paths left out (see ScanCaseResult)
    std::vector<std::string> fields; // the fields of each line that do not name a path
    std::vector<std::string> outputs; // every file after a replace, decoded from UTF-16
    std::vector<std::string> messages;
    long hits = 0;
};

std::string toUtf16(const std::string& utf8, Utf16Order order)
{
    std::string out = order == Utf16Order::Little ? "\xFF\xFE" : "\xFE\xFF";
    const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const int n = readUtf8Char(p + i, utf8.size() - i, &cp);
        if (n <= 0) {
            ADD_FAILURE() << "not UTF-8";
            return out;
        }
        appendUtf16(out, cp, order);
        i += static_cast<size_t>(n);
    }
    return out;
}

std::string fromUtf16(const std::string& bytes)
{
    const bool little = bytes.rfind("\xFF\xFE", 0) == 0;
    if (!little && bytes.rfind("\xFE\xFF", 0) != 0) {
        ADD_FAILURE() << "the UTF-16 file lost its byte-order mark";
        return bytes;
    }
    std::vector<Utf16Irregular> irregular;
    std::string text = referenceDecode(bytes.substr(2), little ? Utf16Order::Little : Utf16Order::Big, &irregular);
    EXPECT_TRUE(irregular.empty()) << "the replace wrote irregular UTF-16";
    return text;
}

void eraseAll(std::string& s, const std::string& what)
{
    for (size_t p; (p = s.find(what)) != std::string::npos;)
        s.erase(p, what.size());
}

std::string fileName(int k)
{
    return std::string("f") + char('0' + k / 10) + char('0' + k % 10) + ".txt";
}

// Makes the files (or the archive) of `way` in `dir`, runs it and reads back what it gave.
WayResult runWay(const ScanCase& c, const Way& way, const std::string& dir)
{
    std::vector<Member> members;
    for (int k = 0; k < c.copies; ++k) {
        const std::string bytes = way.form == Form::Utf16 ? toUtf16(c.content, way.order) : c.content;
        if (way.form == Form::Member)
            members.push_back({fileName(k), bytes});
        else
            writeFile(dir + fileName(k), bytes);
    }
    if (way.form == Form::Member) {
        EXPECT_TRUE(writeArchive(dir + "z.zip", "zip", members));
    }

    FakeHost host;
    MemoryResultsView view;
    ResultsList results;
    results.setView(&view);
    RunDriver driver(host, results);
    SearchRequest req;
    req.pairs.push_back(c.pair);
    req.pathMasks.push_back({dir, "*.txt"});
    req.replaceMode = way.replace;
    req.quiet = true;
    req.searchZips = way.form == Form::Member;
    req.zipMask = "*.zip";
    req.blockSize = way.blockSize;
    req.threads = way.threads;
    req.maxDisplayChars = c.maxDisplayChars;
    req.options.promptMode = 2;
    req.options.maxRegexSize = c.maxRegexSize;
    req.options.cacheFileList = false;
    req.options.displayReplaceString = c.displayReplaceString;
    req.options.detectUtf16 = true;

    WayResult r;
    r.outcome = driver.ExecuteRun(req);
    r.messages = host.messages;
    r.hits = driver.counters().totalHits;
    for (const ResultEntry& e : view.lines) {
        std::string text;
        if (e.kind == LineKind::File) {
            text = std::string(kFileLinePrefix) + e.path.substr(e.path.rfind('/') + 1);
        } else {
            text = outputForm(e.text, "<", ">");
            eraseAll(text, dir);
        }
        r.lines.push_back(text);
        r.fields.push_back(std::to_string(static_cast<int>(e.kind)) + " line " + std::to_string(e.lineNumber) +
                           " offset " + std::to_string(e.fileOffset) + " column " + std::to_string(e.hitColumn) +
                           " length " + std::to_string(e.hitLength) + (e.binary ? " binary" : " text"));
    }
    if (way.replace)
        for (int k = 0; k < c.copies; ++k) {
            std::string out = readFile(dir + fileName(k));
            if (way.form == Form::Utf16)
                out = fromUtf16(out);
            eraseAll(out, dir);
            r.outputs.push_back(out);
        }
    return r;
}

// The lines of a replace run without its replace summary, as a search gives them.
std::vector<std::string> withoutReplaceSummary(std::vector<std::string> lines)
{
    if (!lines.empty() && lines.back().rfind("Replaced ", 0) == 0)
        lines.pop_back();
    return lines;
}

std::vector<Way> waysOf(const ScanCase& c)
{
    const bool utf16 = c.utf16 && isWellFormedUtf8(c.content) && isWellFormedUtf8(c.pair.replaceText);
    std::vector<Way> ways;
    for (size_t b = 0; b < c.blockSizes.size(); ++b) {
        const Utf16Order order = b % 2 ? Utf16Order::Big : Utf16Order::Little;
        for (const Form form : {Form::Plain, Form::Utf16, Form::Member}) {
            if (form == Form::Utf16 && !utf16)
                continue;
            for (const size_t threads : {size_t{1}, size_t{2}})
                ways.push_back({form, order, threads, c.blockSizes[b], false});
            // Replace runs never open archives.
            if (c.replace && form != Form::Member)
                ways.push_back({form, order, 1, c.blockSizes[b], true});
        }
    }
    return ways;
}

} // namespace

SearchPair scanPair(const std::string& search, const std::string& replace, bool regex, bool caseSensitive,
                    bool wholeWord)
{
    SearchPair p;
    p.searchText = search;
    p.replaceText = replace;
    p.regularExpression = regex;
    p.caseSensitive = caseSensitive;
    p.wholeWord = wholeWord;
    return p;
}

ScanCaseResult checkScanCase(const ScanCase& c, const std::string& trace)
{
    EXPECT_NE(c.content.rfind("\xFF\xFE", 0), 0u) << "the content must not begin with a byte-order mark";
    EXPECT_NE(c.content.rfind("\xFE\xFF", 0), 0u) << "the content must not begin with a byte-order mark";
    EXPECT_NE(c.content.rfind("\xEF\xBB\xBF", 0), 0u) << "the content must not begin with a byte-order mark";
    PrivateTempDirs dirs;
    ScanCaseResult result;
    std::optional<WayResult> search, replace; // the references
    for (const Way& way : waysOf(c)) {
        SCOPED_TRACE(trace + " | " + way.name());
        TempDir dir;
        WayResult got = runWay(c, way, dir.path());
        EXPECT_EQ(dirs.temporaryFiles(), 0u) << "the run left temporary files behind";
        EXPECT_EQ(got.outcome, RunOutcome::Completed) << ::testing::PrintToString(got.messages);
        std::optional<WayResult>& ref = way.replace ? replace : search;
        if (!ref) {
            ref = got;
            if (way.replace) {
                // A replace run shows what the search showed.
                EXPECT_EQ(withoutReplaceSummary(got.lines), search->lines);
                EXPECT_EQ(std::vector<std::string>(got.fields.begin(), got.fields.end() - (got.fields.empty() ? 0 : 1)),
                          search->fields);
                if (c.output) {
                    EXPECT_EQ(got.outputs.front(), *c.output);
                }
                result.output = got.outputs.front();
            } else {
                if (c.lines) {
                    EXPECT_EQ(got.lines, *c.lines);
                }
                if (c.hits) {
                    EXPECT_EQ(got.hits, *c.hits);
                }
                result.lines = got.lines;
                result.hits = got.hits;
            }
            continue;
        }
        EXPECT_EQ(got.lines, ref->lines);
        EXPECT_EQ(got.fields, ref->fields);
        EXPECT_EQ(got.outputs, ref->outputs);
        EXPECT_EQ(got.hits, ref->hits);
        EXPECT_EQ(got.messages, ref->messages);
    }
    return result;
}

} // namespace tw::test
