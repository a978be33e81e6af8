#include "core/WholeFileOperations.h"
#include "ReplaceTestSupport.h"

namespace tw {
namespace {

using test::readFile;
using test::RecordingSink;
using test::ScriptedHost;
using test::DataTempDir;
using test::writeFile;

TEST(reformatText, ParagraphAlgorithm)
{
    struct Row {
        const char* name;
        std::string input;
        size_t columns;
        std::string expected;
    };
    const std::string longWord(25, 'w');
    const Row rows[] = {
        {"breaks at the last blank before the limit", "aaa bbb ccc ddd eee fff", 20, "aaa bbb ccc ddd eee\r\nfff\r\n"},
        {"a word longer than the limit stays whole", "ab " + longWord + " cd", 20, "ab\r\n" + longWord + "\r\ncd\r\n"},
        {"a long first word breaks at the first blank after it", longWord + " x", 20, longWord + "\r\nx\r\n"},
        {"a last line without line end is kept", "one\ntwo", 80, "one two\r\n"},
        {"an empty line ends the paragraph", "a\nb\n\nc\n", 80, "a b\r\n\r\nc\r\n"},
        {"two empty lines after a paragraph give three", "a\n\n\nb\n", 80, "a\r\n\r\n\r\n\r\nb\r\n"},
        {"a blank first line is written as it is", "  \nx\n", 80, "\r\n  \r\nx\r\n"},
        {"CR LF input", "a b\r\nc d\r\n\r\ne\r\n", 80, "a b c d\r\n\r\ne\r\n"},
        {"following lines are trimmed and joined by one space", "a  \n\t b \n", 80, "a b\r\n"},
        {"the indent of the first line goes in front of continued lines",
         "  aaa bbb ccc ddd", 10, "  aaa bbb\r\n  ccc ddd\r\n"},
        {"a blank within the indent is no break point", "    aaaaaaa bb", 10, "    aaaaaaa\r\n    bb\r\n"},
        {"lines shorter than N stay unbroken", "123456789", 10, "123456789\r\n"},
        {"a line of exactly N is broken", "12345 7890", 10, "12345\r\n7890\r\n"},
        {"tabs count as blanks", "aaa\tbbb\tccc", 8, "aaa\tbbb\r\nccc\r\n"},
        {"an indent wider than the limit is dropped instead of looping",
         std::string(30, ' ') + "word more", 10, "word more\r\n"},
        {"one column: one word per line", "a b c", 1, "a\r\nb\r\nc\r\n"},
        {"empty input", "", 20, ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(reformatText(r.input, r.columns), r.expected) << r.name;
}

TEST(reformatText, NoWrittenLineReachesTheLimitUnlessOneWord)
{
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += std::string(static_cast<size_t>(1 + (i * 7) % 13), 'x') + ((i % 17 == 0) ? "\n" : " ");
    for (size_t n : {5u, 13u, 14u, 40u}) {
        const std::string out = reformatText(text, n);
        size_t pos = 0, words = 0;
        while (pos < out.size()) {
            const size_t end = out.find("\r\n", pos);
            ASSERT_NE(end, std::string::npos);
            const std::string line = out.substr(pos, end - pos);
            // A single word may be longer (also after the one space that joins a line to
            // an empty gathered text); lines of several words must be shorter than N.
            if (line.find(' ', line.find_first_not_of(' ')) != std::string::npos) {
                EXPECT_LT(line.size(), n) << line;
            }
            for (size_t i = 0; i < line.size(); ++i)
                words += line[i] == 'x' && (i == 0 || line[i - 1] == ' ');
            pos = end + 2;
        }
        EXPECT_EQ(words, 400u) << "every word kept for N=" << n;
    }
}

struct SpecialFixture : ::testing::Test {
    DataTempDir dir;
    ScriptedHost host;
    RecordingSink sink;
    ConfirmationState confirmation;
    std::unique_ptr<File> in, out;
    SpecialContext ctx{confirmation, host, sink, true, ""};

    void SetUp() override
    {
        confirmation.startRun(0);
        confirmation.onFileOpened();
        ctx.filePath = dir.path() + "f.txt";
        sink.setPendingFile(ctx.filePath, {});
        out = realFileSystem().openWrite(dir.path() + "out", true, true);
        ASSERT_TRUE(out);
    }
};

TEST_F(SpecialFixture, PrependAndAppendWriteTextAndReport)
{
    host.answers = {Answer::Yes, Answer::Yes};
    SpecialOutcome a = prependReplaceText(ctx, *out, "HEAD");
    ASSERT_TRUE(out->write("body", 4));
    SpecialOutcome b = appendReplaceText(ctx, *out, "TAIL!");
    EXPECT_EQ(a.result, SpecialResult::Performed);
    EXPECT_EQ(a.sizeChange, -4);
    EXPECT_EQ(b.sizeChange, -5);
    EXPECT_EQ(readFile(dir.path() + "out"), "HEADbodyTAIL!");
    ASSERT_EQ(host.asked.size(), 2u);
    EXPECT_EQ(host.asked[0].second, "Prepend the replace string to file?");
    EXPECT_EQ(host.asked[1].second, "Append the replace string to file?");
    ASSERT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.lines[0], "Processing file : \x01\x01" + ctx.filePath);
    EXPECT_EQ(sink.lines[1], "Replace string prepended to beginning of the file");
    EXPECT_EQ(sink.lines[2], "Replace string appended to end of the file");
}

TEST_F(SpecialFixture, DeclinedOrCancelledWritesNothing)
{
    host.answers = {Answer::No, Answer::Cancel};
    EXPECT_EQ(prependReplaceText(ctx, *out, "HEAD").result, SpecialResult::Declined);
    EXPECT_FALSE(confirmation.cancelled());
    EXPECT_EQ(appendReplaceText(ctx, *out, "TAIL").result, SpecialResult::Declined);
    EXPECT_TRUE(confirmation.cancelled());
    EXPECT_EQ(readFile(dir.path() + "out"), "");
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(SpecialFixture, WriteFailureIsReported)
{
    test::FaultyFileSystem fs;
    fs.target = dir.path() + "small";
    fs.failAfter = 2;
    auto small = fs.openWrite(fs.target, true, true, nullptr);
    confirmation.startRun(2);
    SpecialOutcome o = prependReplaceText(ctx, *small, "HEAD");
    EXPECT_EQ(o.result, SpecialResult::WriteFailed);
    EXPECT_TRUE(sink.contains("Error writing replace string to temp file f.txt"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].second) << "quiet run keeps the message off screen";
}

TEST_F(SpecialFixture, ReformatReadsTheInputAndReports)
{
    writeFile(dir.path() + "in", "aaa bbb ccc ddd eee fff\nlast");
    in = realFileSystem().openRead(dir.path() + "in");
    host.answers = {Answer::Yes};
    SpecialOutcome o = reformatFile(ctx, *in, *out, 20);
    EXPECT_EQ(o.result, SpecialResult::Performed);
    EXPECT_EQ(readFile(dir.path() + "out"), "aaa bbb ccc ddd eee\r\nfff last\r\n");
    EXPECT_EQ(host.asked.at(0).second, "Reformat to 20 columns in file?");
    EXPECT_TRUE(sink.contains("File was reformatted to a maximum of 20 columns"));
}

TEST_F(SpecialFixture, ReformatOfLargeInputMatchesTheWholeTextForm)
{
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += (i % 11 == 0) ? "\r\n" : (i % 97 == 0 ? "\n\n" : "word ");
    writeFile(dir.path() + "in", text);
    in = realFileSystem().openRead(dir.path() + "in");
    confirmation.startRun(1);
    ASSERT_EQ(reformatFile(ctx, *in, *out, 33).result, SpecialResult::Performed);
    EXPECT_EQ(readFile(dir.path() + "out"), reformatText(text, 33));
}

} // namespace
} // namespace tw
