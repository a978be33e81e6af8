// The binary block editor's model: codes and pasted text in the block, the special
// operations, the checks of OK and Apply Script.
#include "app/BinaryModeModel.h"
#include "engine/Escapes.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace tw {
namespace {

const CharClasses& utf8()
{
    static const CharClasses classes = CharClasses::make(CodePageKind::Utf8);
    return classes;
}

const CharClasses& cp1252()
{
    static const CharClasses classes = CharClasses::make(CodePageKind::Windows1252);
    return classes;
}

// Blocks made of codes and pasted text read back through the escape expansion to the bytes
// they were made from, and OK takes them without the doubling question.
TEST(BinaryModeModel, BlocksReadBackToTheirBytes)
{
    std::mt19937 rng(20261210);
    for (const CharClasses* classes : {&utf8(), &cp1252()}) {
        for (int round = 0; round < 300; ++round) {
            BinaryModeModel model("", BlockSide::Search, false, *classes);
            std::string bytes;
            const int steps = 1 + static_cast<int>(rng() % 40);
            for (int i = 0; i < steps; ++i) {
                if (i > 0 && rng() % 4 == 0) {
                    // Pasted text without backslashes is taken as it is, at the end here.
                    std::string text;
                    for (size_t n = rng() % 6; n > 0; --n) {
                        const auto c = static_cast<char>(0x20 + rng() % 0x5F);
                        text += c == '\\' ? 'x' : c;
                    }
                    model.pasteText(text, model.block().size(), model.block().size());
                    bytes += text;
                } else {
                    const auto v = static_cast<uint8_t>(rng());
                    model.addCode(v);
                    bytes += static_cast<char>(v);
                }
            }
            ASSERT_EQ(ExpandEscapes(model.block()), bytes) << model.block();
            ASSERT_EQ(model.checkOk(), BinaryModeModel::OkCheck::Accept) << model.block();
        }
    }
}

TEST(BinaryModeModel, PasteReplacesTheSelectionWithinTheLimit)
{
    BinaryModeModel model("abcdef", BlockSide::Replace, false, utf8());
    EXPECT_EQ(model.pasteText("X\nY", 2, 4), 5u);
    EXPECT_EQ(model.block(), "abX\nYef");

    // The block takes at most 32,767 characters: a paste is cut at the limit, in UTF-8
    // never inside a character; a selection pasted over makes room.
    const std::string nearlyFull(kBinaryBlockMaxChars - 2, 'a');
    BinaryModeModel full(nearlyFull, BlockSide::Replace, false, utf8());
    full.pasteText("\xc3\xa9\xc3\xa9\xc3\xa9", 0, 0); // three two-byte characters
    EXPECT_EQ(full.block(), "\xc3\xa9\xc3\xa9" + nearlyFull);
    EXPECT_EQ(full.charCount(full.block()), kBinaryBlockMaxChars);
    EXPECT_EQ(full.pasteText("xyz", 0, 4), 2u); // two characters make room for two
    EXPECT_EQ(full.block(), "xy" + nearlyFull);

    BinaryModeModel single(nearlyFull, BlockSide::Replace, false, cp1252());
    single.pasteText("\xc3\xa9\xc3", 0, 0); // bytes are characters in a single-byte code page
    EXPECT_EQ(single.block(), "\xc3\xa9" + nearlyFull);
}

TEST(BinaryModeModel, OkChecks)
{
    using Ok = BinaryModeModel::OkCheck;
    struct Case {
        std::string block;
        Ok check;
        std::string doubled; // after Yes, plain and regular expression
        std::string escaped;
    };
    const Case cases[] = {
        {"", Ok::EmptyBlock, "", ""},
        {"\\n\\t\\\\", Ok::Accept, "", ""},
        {"\\0x41\\q", Ok::AskDoubling, "\\\\0x41\\\\q", "\\\\0x41\\\\q"},
        {"\\65", Ok::AskDoubling, "\\\\65", "\\\\65"},
        {"50%\\", Ok::AskDoubling, "50%\\\\", "50\\%\\\\"},
        {"<a>\\d", Ok::AskDoubling, "<a>\\\\d", "\\<a\\>\\\\d"},
        {"\\\\\\", Ok::AskDoubling, "\\\\\\\\\\\\", "\\\\\\\\\\\\"},
        {std::string(kBinaryBlockMaxChars, 'a'), Ok::Accept, "", ""},
        {std::string(kBinaryBlockMaxChars + 1, 'a'), Ok::TooLong, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block.substr(0, 20));
        for (bool regex : {false, true}) {
            BinaryModeModel model(c.block, BlockSide::Replace, regex, utf8());
            EXPECT_EQ(model.checkOk(), c.check);
            if (c.check != Ok::AskDoubling)
                continue;
            model.doubleBackslashes();
            EXPECT_EQ(model.block(), regex ? c.escaped : c.doubled);
        }
    }
    // The limit counts characters: 32,767 two-byte characters are within it in UTF-8.
    std::string wide;
    for (size_t i = 0; i < kBinaryBlockMaxChars; ++i)
        wide += "\xc3\xa9";
    EXPECT_EQ(BinaryModeModel(wide, BlockSide::Replace, false, utf8()).checkOk(), Ok::Accept);
    EXPECT_EQ(BinaryModeModel(wide, BlockSide::Replace, false, cp1252()).checkOk(), Ok::TooLong);
    EXPECT_EQ(blockTooLongMessage(), "Please enter no more than 32767 characters.");
}

TEST(BinaryModeModel, SpecialOperations)
{
    BinaryModeModel model("typed", BlockSide::Search, false, utf8());
    EXPECT_EQ(model.label(), "Search Bloc&k:");
    model.chooseOperation(BlockOperation::AddAtBottom);
    EXPECT_EQ(model.block(), kAppendBlock);
    EXPECT_FALSE(model.editable());
    // While a fixed text shows, the block takes no codes, pastes, edits or scripts.
    model.addCode('x');
    model.pasteText("y", 0, 0);
    model.setBlock("z");
    EXPECT_EQ(model.block(), kAppendBlock);
    model.chooseOperation(BlockOperation::AddAtTop); // the fixed text is not saved over the typed one
    EXPECT_EQ(model.block(), kPrependBlock);
    model.chooseOperation(BlockOperation::UseSearchString);
    EXPECT_EQ(model.block(), "typed");
    EXPECT_TRUE(model.editable());

    // Opened on a fixed text: the operation is chosen and nothing typed is kept.
    BinaryModeModel reopened(kPrependBlock, BlockSide::Search, false, utf8());
    EXPECT_EQ(reopened.operation(), BlockOperation::AddAtTop);
    reopened.chooseOperation(BlockOperation::UseSearchString);
    EXPECT_EQ(reopened.block(), "");

    // A replace block has no operations: its fixed-looking text is plain text.
    BinaryModeModel replace(kAppendBlock, BlockSide::Replace, false, utf8());
    EXPECT_EQ(replace.label(), "");
    EXPECT_TRUE(replace.editable());
    replace.chooseOperation(BlockOperation::AddAtTop);
    EXPECT_EQ(replace.block(), kAppendBlock);
    EXPECT_TRUE(replace.editable());
}

TEST(BinaryModeModel, OpeningAndOk)
{
    const std::string P = kBinaryPlaceholder;
    EXPECT_EQ(BinaryModeModel::startingBlock("blk", P, true, false), "blk");
    EXPECT_EQ(BinaryModeModel::startingBlock("blk", "field", true, true), "field");
    EXPECT_EQ(BinaryModeModel::startingBlock("", "field", true, false), "field");
    EXPECT_EQ(BinaryModeModel::startingBlock("", P, true, false), "");
    EXPECT_EQ(BinaryModeModel::startingBlock("", "field", false, true), "");

    SearchPair pair;
    pair.searchText = "old";
    pair.replaceText = "keep";
    BinaryModeModel(kAppendBlock, BlockSide::Search, false, utf8()).applyTo(pair);
    BinaryModeModel("\\0x00", BlockSide::Replace, false, utf8()).applyTo(pair);
    EXPECT_EQ(pair.searchText, P);
    EXPECT_EQ(pair.binarySearchBlock, kAppendBlock);
    EXPECT_EQ(pair.replaceText, P);
    EXPECT_EQ(pair.binaryReplaceBlock, "\\0x00");
}

SearchPair scriptPair(std::string search, std::string replace, bool regex = false)
{
    SearchPair p;
    p.searchText = std::move(search);
    p.replaceText = std::move(replace);
    p.regularExpression = regex;
    return p;
}

TEST(BinaryModeModel, ApplyScript)
{
    std::map<std::string, Script> shelf;
    const ScriptLoader load = [&](Script& script, const std::string& path) {
        ScriptLoadResult r;
        const auto it = shelf.find(path);
        r.read = it != shelf.end();
        script = r.read ? it->second : Script();
        if (!r.read)
            r.messages.push_back("Cannot read script file\n" + path);
        return r;
    };
    const EnvironmentLookup env = [](const std::string& name) -> std::optional<std::string> {
        return name == "SIDE" ? std::optional<std::string>("left") : std::nullopt;
    };
    shelf["/s/ab.tws"].pairs = {scriptPair("a", "b")};
    shelf["/s/chain.tws"].pairs = {scriptPair("[", "x", true),      // does not compile: skipped
                                   scriptPair("an", "AN"),          // literal, case sensitive
                                   scriptPair("+[A-N]", "#", true), // runs of capitals
                                   scriptPair("%%ENVVAR=SIDE%%", "right")}; // environment tokens
    shelf["/s/none.tws"].pairs = {scriptPair("zzz", "y")};
    shelf["/s/quote.tws"].pairs = {scriptPair("^", "> ", true)}; // empty hits after each line break

    BinaryModeModel model("banana", BlockSide::Search, false, utf8());
    EXPECT_EQ(model.applyScript("/s/ab.tws", load, env, 32767).hits, 3);
    EXPECT_EQ(model.block(), "bbnbnb");
    EXPECT_EQ(model.lastScriptFile(), "/s/ab.tws");

    model.setBlock("banana left");
    const BlockScriptResult chained = model.applyScript("/s/chain.tws", load, env, 32767);
    EXPECT_TRUE(chained.load.read);
    EXPECT_EQ(model.block(), "b#a right");
    EXPECT_EQ(chained.hits, 2 + 1 + 1);

    model.setBlock("ab\r\ncd\nef");
    EXPECT_EQ(model.applyScript("/s/quote.tws", load, env, 32767).hits, 2);
    EXPECT_EQ(model.block(), "ab\r\n> cd\n> ef");

    model.setBlock("unchanged");
    EXPECT_EQ(model.applyScript("/s/none.tws", load, env, 32767).hits, 0);
    const BlockScriptResult missing = model.applyScript("/s/gone.tws", load, env, 32767);
    EXPECT_FALSE(missing.load.read);
    EXPECT_EQ(missing.load.messages.size(), 1u);
    EXPECT_EQ(model.block(), "unchanged");
    EXPECT_EQ(model.lastScriptFile(), "/s/gone.tws");

    EXPECT_EQ(BinaryModeModel::scriptChoiceStart("").name, "script.tws");
    EXPECT_EQ(BinaryModeModel::scriptChoiceStart("/home/u/a.tws").folder, "/home/u");
    EXPECT_EQ(BinaryModeModel::scriptChoiceStart("/home/u/a.tws").name, "a.tws");
    EXPECT_EQ(BinaryModeModel::scriptChoiceStart("/a.tws").folder, "/");
}

} // namespace
} // namespace tw
