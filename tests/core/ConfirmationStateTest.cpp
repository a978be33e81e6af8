#include "core/ConfirmationState.h"
#include "engine/CharClasses.h"
#include "ReplaceTestSupport.h"

#include <optional>

namespace tw {
namespace {

using test::RecordingSink;
using test::ScriptedHost;

// One step of a run as the driver and the scanner would take it.
enum class Op { FileStart, FileOpened, Hit, FileQuestion, ReadOnlyQuestion, SpecialQuestion };

struct Step {
    Op op;
    std::string path;              // FileStart, Hit, FileQuestion
    std::optional<Answer> answer;  // the answer given when a question is expected
    bool expected;                 // Hit/questions: go ahead; FileStart: processed (not skipped)
};

struct Scenario {
    const char* name;
    int promptMode;
    std::vector<Step> steps;
    bool cancelled = false;
};

void runScenario(const Scenario& sc)
{
    SCOPED_TRACE(sc.name);
    ConfirmationState state;
    int cancels = 0;
    state.startRun(sc.promptMode);
    state.setCancelHandler([&] { ++cancels; });
    ScriptedHost host;
    for (size_t i = 0; i < sc.steps.size(); ++i) {
        const Step& s = sc.steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        const size_t askedBefore = host.asked.size();
        if (s.answer)
            host.answers.push_back(*s.answer);
        bool result = false;
        switch (s.op) {
        case Op::FileStart:
            result = state.onFileStart(s.path) == DirDecision::Process;
            break;
        case Op::FileOpened:
            state.onFileOpened();
            result = true;
            break;
        case Op::Hit:
            result = state.decideHit(host, "Replace - q", noHeldBackLines(), s.path);
            break;
        case Op::FileQuestion:
            result = state.confirmFile(host, 2, s.path);
            break;
        case Op::ReadOnlyQuestion:
            result = state.confirmReadOnly(host);
            break;
        case Op::SpecialQuestion:
            result = state.confirmSpecialOperation(host, "Prepend the replace string to file?");
            break;
        }
        EXPECT_EQ(result, s.expected);
        EXPECT_EQ(host.asked.size() - askedBefore, s.answer ? 1u : 0u) << "question asked or not as expected";
        EXPECT_TRUE(host.answers.empty());
        host.answers.clear();
    }
    EXPECT_EQ(state.cancelled(), sc.cancelled);
    EXPECT_EQ(cancels, sc.cancelled ? 1 : 0);
}

const std::string X = "/A/x.txt", Y = "/A/y.txt", Z = "/B/z.txt";

TEST(ConfirmationState, RunScenarios)
{
    const std::vector<Scenario> scenarios = {
        {"mode 0: replace, skip, replace, then No to the file", 0,
         {{Op::FileStart, X, {}, true}, {Op::FileOpened, X, {}, true},
          {Op::Hit, X, Answer::ReplaceThis, true}, {Op::Hit, X, Answer::SkipThis, false},
          {Op::Hit, X, Answer::ReplaceThis, true}, {Op::FileQuestion, X, Answer::No, false}}},
        {"mode 0: rest in file needs no more questions; the next file asks again", 0,
         {{Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::ReplaceRestInFile, true}, {Op::Hit, X, {}, true},
          {Op::FileQuestion, X, {}, true}, {Op::SpecialQuestion, X, {}, true},
          {Op::FileStart, Y, {}, true}, {Op::FileOpened, Y, {}, true}, {Op::Hit, Y, Answer::SkipThis, false},
          {Op::FileQuestion, Y, Answer::Yes, true}}},
        {"mode 0: all remaining; only the read-only question is still asked", 0,
         {{Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::ReplaceAllRemaining, true},
          {Op::FileQuestion, X, {}, true}, {Op::FileStart, Z, {}, true}, {Op::FileOpened, Z, {}, true},
          {Op::Hit, Z, {}, true}, {Op::SpecialQuestion, Z, {}, true}, {Op::FileQuestion, Z, {}, true},
          {Op::ReadOnlyQuestion, Z, Answer::Yes, true}}},
        {"mode 0: skip rest in dir skips the directory's next file unopened", 0,
         {{Op::FileStart, X, {}, true}, {Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::SkipRestInDir, false},
          {Op::Hit, X, {}, false}, {Op::FileStart, Y, {}, false}, {Op::FileStart, Z, {}, true},
          {Op::FileOpened, Z, {}, true}, {Op::Hit, Z, Answer::ReplaceThis, true}}},
        {"mode 0: replace rest in dir; another directory asks again", 0,
         {{Op::FileStart, X, {}, true}, {Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::ReplaceRestInDir, true},
          {Op::Hit, X, {}, true}, {Op::FileQuestion, X, {}, true},
          {Op::FileStart, Y, {}, true}, {Op::FileOpened, Y, {}, true}, {Op::Hit, Y, {}, true},
          {Op::FileQuestion, Y, {}, true}, {Op::FileStart, Z, {}, true}, {Op::FileOpened, Z, {}, true},
          {Op::Hit, Z, Answer::SkipThis, false}, {Op::FileQuestion, Z, Answer::Yes, true}}},
        {"directories differing only in case are different directories", 0,
         {{Op::FileStart, X, {}, true}, {Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::SkipRestInDir, false},
          {Op::FileStart, "/a/y.txt", {}, true}}},
        {"mode 1: no per-hit dialog, one question per file", 1,
         {{Op::FileOpened, X, {}, true}, {Op::Hit, X, {}, true}, {Op::Hit, X, {}, true},
          {Op::SpecialQuestion, X, {}, true}, {Op::FileQuestion, X, Answer::Yes, true},
          {Op::ReadOnlyQuestion, X, Answer::YesToAll, true}, {Op::ReadOnlyQuestion, Y, {}, true}}},
        {"mode 2: no question at all, read-only files included", 2,
         {{Op::FileOpened, X, {}, true}, {Op::Hit, X, {}, true}, {Op::FileQuestion, X, {}, true},
          {Op::ReadOnlyQuestion, X, {}, true}, {Op::SpecialQuestion, X, {}, true}}},
        {"cancel remaining stops the run", 0,
         {{Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::CancelRemaining, false}},
         true},
        {"closing the per-file question cancels", 1,
         {{Op::FileOpened, X, {}, true}, {Op::FileQuestion, X, Answer::Cancel, false}}, true},
        {"cancel on the read-only question", 0, {{Op::ReadOnlyQuestion, X, Answer::Cancel, false}}, true},
        {"special operation: No declines it, yes to all replaces every later hit", 0,
         {{Op::FileOpened, X, {}, true}, {Op::SpecialQuestion, X, Answer::No, false},
          {Op::SpecialQuestion, X, Answer::YesToAll, true}, {Op::Hit, X, {}, true}, {Op::FileQuestion, X, {}, true}}},
        {"an answer the hit dialog does not offer counts as closing it", 0,
         {{Op::FileOpened, X, {}, true}, {Op::Hit, X, Answer::Yes, false}}, true},
    };
    for (const Scenario& sc : scenarios)
        runScenario(sc);
}

TEST(ConfirmationState, AnswerSetsFlags)
{
    struct Row {
        Answer answer;
        bool replaced, restOfFile, skipRest, all;
        DirectoryRuleKind rule;
    };
    const Row rows[] = {
        {Answer::ReplaceThis, true, false, false, false, DirectoryRuleKind::None},
        {Answer::ReplaceRestInFile, true, true, false, false, DirectoryRuleKind::None},
        {Answer::ReplaceAllRemaining, true, false, false, true, DirectoryRuleKind::None},
        {Answer::ReplaceRestInDir, true, true, false, false, DirectoryRuleKind::ReplaceRestInDir},
        {Answer::SkipThis, false, false, false, false, DirectoryRuleKind::None},
        {Answer::SkipRestOfFile, false, false, true, false, DirectoryRuleKind::None},
        {Answer::SkipRestInDir, false, false, true, false, DirectoryRuleKind::SkipRestInDir},
        {Answer::CancelRemaining, false, false, false, false, DirectoryRuleKind::None},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.answer));
        ConfirmationState s;
        s.startRun(0);
        s.onFileOpened();
        ScriptedHost host;
        host.answers.push_back(r.answer);
        RecordingSink held;
        held.lines = {"held"};
        EXPECT_EQ(s.decideHit(host, "Replace - q", held.heldBack(), "/dir/sub/f.txt"), r.replaced);
        ASSERT_EQ(host.asked.size(), 1u);
        EXPECT_EQ(host.asked[0].first, Question::ReplaceHit);
        EXPECT_EQ(host.asked[0].second, "Replace - q");
        EXPECT_EQ(host.askedDetail[0], "held\n");
        EXPECT_EQ(s.replaceRestOfFile(), r.restOfFile);
        EXPECT_EQ(s.skipRestOfFile(), r.skipRest);
        EXPECT_EQ(s.hitVisible(), !r.skipRest);
        EXPECT_EQ(s.replaceAllRemaining(), r.all);
        EXPECT_EQ(s.directoryRule(), r.rule);
        EXPECT_EQ(s.ruleDirectory(), r.rule == DirectoryRuleKind::None ? "" : "/dir/sub/");
        EXPECT_EQ(s.cancelled(), r.answer == Answer::CancelRemaining);
        // Opening the next file clears the per-file flags only.
        s.onFileOpened();
        EXPECT_FALSE(s.replaceRestOfFile());
        EXPECT_FALSE(s.skipRestOfFile());
        EXPECT_EQ(s.replaceAllRemaining(), r.all);
    }
}

TEST(ConfirmationState, QuestionTexts)
{
    ConfirmationState s;
    s.startRun(0);
    ScriptedHost host;
    host.answers = {Answer::Yes, Answer::Yes};
    s.confirmFile(host, 3, "/data/a b.txt");
    s.confirmReadOnly(host);
    ASSERT_EQ(host.asked.size(), 2u);
    EXPECT_EQ(host.asked[0].first, Question::YesNoCancel);
    EXPECT_EQ(host.asked[0].second, "Replace 3 occurences in file /data/a b.txt?");
    EXPECT_EQ(host.asked[1].first, Question::ReadOnly);
    EXPECT_EQ(host.asked[1].second, "File is Read-Only, System or Hidden.\nReplace anyway?");
}

TEST(ConfirmationState, StartRunResetsRunFlags)
{
    ConfirmationState s;
    s.startRun(0);
    ScriptedHost host;
    host.answers = {Answer::SkipRestInDir, Answer::YesToAll};
    s.decideHit(host, "q", noHeldBackLines(), "/A/x");
    s.confirmReadOnly(host);
    s.startRun(0);
    EXPECT_EQ(s.directoryRule(), DirectoryRuleKind::None);
    EXPECT_FALSE(s.yesToAll());
    EXPECT_EQ(s.onFileStart("/A/y"), DirDecision::Process);
    s.startRun(2);
    EXPECT_TRUE(s.yesToAll());
}

TEST(buildHitQuestion, ReplacesFoundTextByShownReplaceText)
{
    setActiveCodePage(CodePageKind::Utf8);
    struct Row {
        const char* line;
        std::string replace;
        bool binary;
        const char* expected;
    };
    const Row rows[] = {
        {"Line   3 - abc \x01\x02" "foo\x01\x03 def", "bar", false, "Replace - abc \x01\x02" "bar\x01\x03 def"},
        {"Line  12 - \x01\x02x-y\x01\x03 - z", "a\tb\r\nc", false, "Replace - \x01\x02" "a b  c\x01\x03 - z"},
        {"Line   1 - \x01\x02" "foo\x01\x03", std::string("a\x01" "b", 3), false, "Replace - \x01\x02" "a b\x01\x03"},
        {"Offset 0x1f     - ab\x01\x02" "cd\x01\x03", std::string("xy\x02z", 4), true, "Replace - ab\x01\x02xy\x01\x03"},
        {"Offset 0x0      - \x01\x02" "cd\x01\x03", "x\ty", true, "Replace - \x01\x02x y\x01\x03"},
        {"Line   2 - \x01\x02" "a\x01\x03", "\xc3\xa9t\xc3\xa9", false, "Replace - \x01\x02\xc3\xa9t\xc3\xa9\x01\x03"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(buildHitQuestion(r.line, r.replace, r.binary), r.expected) << r.line;
}

TEST(PathParts, DirectoryAndBaseName)
{
    EXPECT_EQ(directoryOf("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(directoryOf("/c.txt"), "/");
    EXPECT_EQ(directoryOf("c.txt"), "");
    EXPECT_EQ(baseName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(baseName("c.txt"), "c.txt");
}

} // namespace
} // namespace tw
