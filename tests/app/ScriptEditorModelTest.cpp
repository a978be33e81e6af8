// The Script Editor's editing state: button availability, the list edits, the Advanced
// page's expression check and options, the modified flags and the closing steps.
#include "app/ScriptEditorModel.h"
#include "engine/Expression.h"

#include <gtest/gtest.h>

#include <map>

namespace tw {
namespace {

SearchPair pair(const std::string& search, const std::string& replace)
{
    SearchPair p;
    p.searchText = search;
    p.replaceText = replace;
    return p;
}

Script scriptOf(int pairs, int paths)
{
    Script s;
    for (int k = 0; k < pairs; ++k)
        s.pairs.push_back(pair("s" + std::to_string(k), "r" + std::to_string(k)));
    for (int k = 0; k < paths; ++k)
        s.paths.push_back({"/d" + std::to_string(k) + "/", "*.c"});
    return s;
}

std::vector<std::string> searchTexts(const Script& s)
{
    std::vector<std::string> texts;
    for (const SearchPair& p : s.pairs)
        texts.push_back(p.searchText);
    return texts;
}

// Script files by name for the loader and the saver; "full/" paths refuse to be written.
struct Files {
    std::map<std::string, Script> stored;
    int loads = 0, saves = 0;

    ScriptLoader loader()
    {
        return [this](Script& s, const std::string& path) {
            ++loads;
            auto it = stored.find(path);
            if (it == stored.end()) {
                s.reset();
                return ScriptLoadResult{false, {"Cannot read script file\n" + path}};
            }
            s = it->second;
            s.filePath = path;
            return ScriptLoadResult{true, {}};
        };
    }
    ScriptSaver saver()
    {
        return [this](Script& s, const std::string& path) -> std::string {
            ++saves;
            if (s.empty())
                return kEmptyScriptMessage;
            if (path.rfind("full/", 0) == 0)
                return "Cannot write script file\n" + path + "\nNo space left on device";
            s.filePath = path;
            stored[path] = s;
            return {};
        };
    }
};

ScriptEditorSeed windowSeed()
{
    ScriptEditorSeed seed;
    seed.pair = pair("window search", "window replace");
    seed.pair.caseSensitive = false;
    seed.pair.regularExpression = true;
    seed.path = "/home/w/src";
    seed.mask = "*.h";
    seed.programOptions.searchSubdirs = true;
    seed.programOptions.beforeHit = "[[";
    return seed;
}

struct Editor {
    Files files;
    Script script;
    ScriptEditorModel model;
    std::vector<std::string> messages;

    explicit Editor(Script s, ScriptEditorSeed seed = windowSeed())
        : script(std::move(s)), model(script, std::move(seed), files.loader(), files.saver())
    {
    }
};

TEST(ScriptEditorModel, ButtonsFollowTheSelectionAndTheRegularExpressionBox)
{
    struct Row {
        int rows, select;
        bool apply, remove, up, down;
    };
    const Row table[] = {
        {0, 0, false, false, false, false},  {1, 0, true, true, false, false}, {3, 0, true, true, false, true},
        {3, 1, true, true, true, true},      {3, 2, true, true, true, false},  {3, 3, false, false, false, false},
        {3, -1, false, false, false, false},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(std::to_string(row.rows) + " rows, row " + std::to_string(row.select));
        Editor e(scriptOf(row.rows, row.rows));
        e.model.selectPair(row.select);
        e.model.selectPath(row.select);
        EXPECT_EQ(e.model.canApplyPair(), row.apply);
        EXPECT_EQ(e.model.canRemovePair(), row.remove);
        EXPECT_EQ(e.model.canCommentPair(), row.remove);
        EXPECT_EQ(e.model.canMovePairUp(), row.up);
        EXPECT_EQ(e.model.canMovePairDown(), row.down);
        EXPECT_EQ(e.model.canApplyPath(), row.apply);
        EXPECT_EQ(e.model.canRemovePath(), row.remove);
        EXPECT_EQ(e.model.canMovePathUp(), row.up);
        EXPECT_EQ(e.model.canMovePathDown(), row.down);
    }
    Editor e(scriptOf(1, 0));
    e.model.pairFields().regularExpression = true;
    EXPECT_FALSE(e.model.canSetWholeWord());
    EXPECT_FALSE(e.model.canSetIgnoreWhitespace());
    e.model.pairFields().regularExpression = false;
    EXPECT_TRUE(e.model.canSetWholeWord());
    EXPECT_TRUE(e.model.canSetIgnoreWhitespace());
}

TEST(ScriptEditorModel, PairEditsKeepListSelectionAndFieldsInStep)
{
    Script s = scriptOf(3, 0);
    s.pairs[1].searchComment = "keep me";
    s.pairs[1].ignoreWhitespaceMask = " ";
    Editor e(s);
    EXPECT_EQ(e.model.selectedPair(), 0);
    EXPECT_EQ(e.model.pairFields().searchText, "s0");

    // Apply without a change moves on and marks nothing.
    e.model.applyPair();
    EXPECT_EQ(e.model.selectedPair(), 1);
    EXPECT_FALSE(e.model.pairsModified());

    // A changed flag alone is a change; the row keeps what the page does not show.
    e.model.pairFields().wholeWord = true;
    e.model.applyPair();
    EXPECT_TRUE(e.model.pairsModified());
    EXPECT_TRUE(e.script.pairs[1].wholeWord);
    EXPECT_EQ(e.script.pairs[1].searchComment, "keep me");
    EXPECT_EQ(e.script.pairs[1].ignoreWhitespaceMask, " ");
    EXPECT_EQ(e.model.selectedPair(), 2);

    // Applying the last row selects nothing: the texts are cleared, the flags stay.
    e.model.pairFields().caseSensitive = false;
    e.model.applyPair();
    EXPECT_EQ(e.model.selectedPair(), ScriptEditorModel::kNone);
    EXPECT_EQ(e.model.pairFields().searchText, "");
    EXPECT_EQ(e.model.pairFields().replaceText, "");
    EXPECT_FALSE(e.model.pairFields().caseSensitive);

    // Insert with nothing selected puts the new pair first and selects it.
    e.model.pairFields().searchText = "new";
    e.model.insertPair(false);
    EXPECT_EQ(searchTexts(e.script), (std::vector<std::string>{"new", "s0", "s1", "s2"}));
    EXPECT_EQ(e.model.selectedPair(), 0);

    // Insert with Ctrl takes the main window's pair, at the selected row.
    e.model.selectPair(2);
    e.model.insertPair(true);
    EXPECT_EQ(searchTexts(e.script), (std::vector<std::string>{"new", "s0", "window search", "s1", "s2"}));
    EXPECT_EQ(e.model.selectedPair(), 2);
    EXPECT_FALSE(e.script.pairs[2].caseSensitive);
    EXPECT_TRUE(e.script.pairs[2].regularExpression);

    e.model.movePairDown();
    e.model.movePairDown();
    EXPECT_EQ(searchTexts(e.script), (std::vector<std::string>{"new", "s0", "s1", "s2", "window search"}));
    EXPECT_EQ(e.model.selectedPair(), 4);
    e.model.movePairDown(); // the last row goes nowhere
    e.model.movePairUp();
    EXPECT_EQ(searchTexts(e.script), (std::vector<std::string>{"new", "s0", "s1", "window search", "s2"}));

    // Remove selects the row now at the same place, or the new last row.
    e.model.removePair();
    EXPECT_EQ(e.model.selectedPair(), 3);
    EXPECT_EQ(e.model.pairFields().searchText, "s2");
    e.model.removePair();
    EXPECT_EQ(e.model.selectedPair(), 2);
    EXPECT_EQ(e.model.pairFields().searchText, "s1");

    // Remove All with Ctrl leaves the main window's texts and flags in the fields.
    e.model.removeAllPairs(true);
    EXPECT_TRUE(e.script.pairs.empty());
    EXPECT_EQ(e.model.pairFields().searchText, "window search");
    EXPECT_EQ(e.model.pairFields().replaceText, "window replace");
    EXPECT_FALSE(e.model.pairFields().caseSensitive);
    EXPECT_TRUE(e.model.pairFields().regularExpression);

    // Remove All on an empty list changes nothing.
    Editor empty(scriptOf(0, 1));
    empty.model.removeAllPairs(false);
    EXPECT_FALSE(empty.model.modified());
}

TEST(ScriptEditorModel, BinaryBlocksGoIntoTheFieldsBehindThePlaceholder)
{
    Editor e(scriptOf(1, 0));
    e.model.setBinarySearchBlock(std::string("\0\xff", 2));
    e.model.setBinaryReplaceBlock("\x01");
    e.model.applyPair();
    EXPECT_EQ(e.script.pairs[0].searchText, kBinaryPlaceholder);
    EXPECT_EQ(e.script.pairs[0].binarySearchBlock, std::string("\0\xff", 2));
    EXPECT_EQ(e.script.pairs[0].replaceText, kBinaryPlaceholder);
    EXPECT_EQ(e.script.pairs[0].binaryReplaceBlock, "\x01");
    EXPECT_TRUE(e.model.pairsModified());
}

TEST(ScriptEditorModel, PathEditsEndPathsInASlashAndTreatEmptyMasksAsTheCommandSays)
{
    Editor e(scriptOf(0, 2));
    // Apply with an empty mask stores it empty; the path gains its "/".
    e.model.pathField() = "/x";
    e.model.maskField() = "";
    e.model.applyPath();
    EXPECT_EQ(e.script.paths[0].path, "/x/");
    EXPECT_EQ(e.script.paths[0].mask, "");
    EXPECT_EQ(e.model.selectedPath(), 1);
    EXPECT_TRUE(e.model.pathsModified());

    // An empty path changes nothing, not even the selection.
    e.model.pathField() = "";
    e.model.applyPath();
    EXPECT_EQ(e.script.paths[1].path, "/d1/");
    EXPECT_EQ(e.model.selectedPath(), 1);

    // Insert with an empty mask stores "*.*".
    e.model.pathField() = "/y/";
    e.model.maskField() = "";
    e.model.insertPath(false);
    ASSERT_EQ(e.script.paths.size(), 3u);
    EXPECT_EQ(e.script.paths[1].path, "/y/");
    EXPECT_EQ(e.script.paths[1].mask, "*.*");
    EXPECT_EQ(e.model.selectedPath(), 1);

    // Insert with Ctrl takes the window's path and mask, each only when it is not empty.
    ScriptEditorSeed seed = windowSeed();
    seed.mask.clear();
    Editor c(scriptOf(0, 0), seed);
    c.model.maskField() = "*.txt";
    c.model.insertPath(true);
    ASSERT_EQ(c.script.paths.size(), 1u);
    EXPECT_EQ(c.script.paths[0].path, "/home/w/src/");
    EXPECT_EQ(c.script.paths[0].mask, "*.txt");

    c.model.removeAllPaths(true);
    EXPECT_TRUE(c.script.paths.empty());
    EXPECT_EQ(c.model.pathField(), "/home/w/src");
    EXPECT_EQ(c.model.maskField(), "");
}

TEST(ScriptEditorModel, LeavingTheAdvancedPageChecksTheExpression)
{
    struct Row {
        const char* typed;
        const char* stored;  // when the page may be left
        const char* message; // when it stays
    };
    const Row table[] = {
        {"E1 OR E2", "", nullptr},       // the default expression is stored as none
        {"e1 or e2", "e1 or e2", nullptr}, // compared exactly
        {"", "", nullptr},
        {"E2 AND E1", "E2 AND E1", nullptr},
        {"E3", nullptr, "Cannot use variable E3"},
        {"E1 OR E12", nullptr, "Cannot use variable E12"},
        {"(E1", nullptr, ""}, // the parser's own message
        {"FOO", nullptr, ""},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.typed);
        Editor e(scriptOf(2, 0));
        ASSERT_TRUE(e.model.switchPage(ScriptEditorPage::Advanced, &e.messages));
        EXPECT_EQ(e.model.advancedFields().expression, "E1 OR E2");
        e.model.advancedFields().expression = row.typed;
        const bool left = e.model.switchPage(ScriptEditorPage::Pairs, &e.messages);
        if (row.stored) {
            EXPECT_TRUE(left);
            EXPECT_TRUE(e.messages.empty());
            EXPECT_EQ(e.script.expression, row.stored);
            EXPECT_EQ(e.model.advancedModified(), *row.stored != '\0');
            continue;
        }
        EXPECT_FALSE(left);
        EXPECT_EQ(e.model.page(), ScriptEditorPage::Advanced);
        ASSERT_EQ(e.messages.size(), 1u);
        const std::string expected = *row.message ? row.message : Expression(row.typed).error();
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(e.messages[0], expected);
        EXPECT_EQ(e.script.expression, "");
        // Use Script and Save As stop on the same check.
        e.messages.clear();
        EXPECT_EQ(e.model.useScript(&e.messages), EditorClose::Stay);
        EXPECT_FALSE(e.model.prepareSaveAs(&e.messages));
        EXPECT_EQ(e.messages.size(), 2u);
    }
}

TEST(ScriptEditorModel, ProgramOptionsBoxDecidesTheScriptsOwnOptions)
{
    // Turned off and the sheet never accepted: the script's options are the program's,
    // with the subdirectory state copied in.
    Editor e(scriptOf(1, 0));
    e.model.switchPage(ScriptEditorPage::Advanced, &e.messages);
    EXPECT_TRUE(e.model.advancedFields().useProgramOptions);
    EXPECT_FALSE(e.model.canSetSubdirectories());
    e.model.setUseProgramOptions(false);
    EXPECT_TRUE(e.model.canSetSubdirectories());
    EXPECT_EQ(e.model.advancedFields().subdirectories, ScriptSubdirs::Yes); // the program's
    e.model.setSubdirectories(ScriptSubdirs::No);
    ASSERT_TRUE(e.model.switchPage(ScriptEditorPage::Paths, &e.messages));
    ASSERT_TRUE(e.script.options.has_value());
    EXPECT_EQ(e.script.options->beforeHit, "[[");
    EXPECT_FALSE(e.script.options->searchSubdirs);
    EXPECT_EQ(e.script.subdirectories, ScriptSubdirs::No);
    EXPECT_TRUE(e.model.advancedModified());

    // Setting the subdirectory box turns the program's options off; turning them on
    // again makes the box indeterminate and drops the script's options.
    e.model.switchPage(ScriptEditorPage::Advanced, &e.messages);
    EXPECT_FALSE(e.model.advancedFields().useProgramOptions);
    e.model.setUseProgramOptions(true);
    EXPECT_EQ(e.model.advancedFields().subdirectories, ScriptSubdirs::FromWindow);
    e.model.setSubdirectories(ScriptSubdirs::Yes);
    EXPECT_FALSE(e.model.advancedFields().useProgramOptions);
    e.model.setUseProgramOptions(true);
    e.model.switchPage(ScriptEditorPage::Pairs, &e.messages);
    EXPECT_FALSE(e.script.options.has_value());
    EXPECT_EQ(e.script.subdirectories, ScriptSubdirs::FromWindow);

    // The sheet opens on the program's options, and its OK gives the script its own.
    e.model.switchPage(ScriptEditorPage::Advanced, &e.messages);
    ProgramOptions sheet = e.model.optionsForSheet();
    EXPECT_EQ(sheet.beforeHit, "[[");
    sheet.beforeHit = "{";
    e.model.acceptSheetOptions(sheet);
    EXPECT_FALSE(e.model.advancedFields().useProgramOptions);
    EXPECT_EQ(e.model.optionsForSheet().beforeHit, "{");

    // On a script that has options, an OK that changes them marks the script modified; one
    // that changes nothing does not.
    Editor owned(scriptOf(1, 1));
    owned.script.options = sheet;
    owned.model.acceptSheetOptions(sheet);
    EXPECT_FALSE(owned.model.modified());
    sheet.contextLines = 9;
    owned.model.acceptSheetOptions(sheet);
    EXPECT_TRUE(owned.model.advancedModified());
    EXPECT_EQ(owned.model.useScript(&owned.messages), EditorClose::AskToSave);
}

TEST(ScriptEditorModel, ClosingAsksToSaveOnlyWhatIsUnsaved)
{
    // Only a comment changed: Use Script asks, and a cancelled save keeps the dialog open.
    Editor e(scriptOf(1, 1));
    e.model.setPairComments("why", "because");
    EXPECT_EQ(e.script.pairs[0].searchComment, "why");
    EXPECT_EQ(e.model.useScript(&e.messages), EditorClose::AskToSave);
    EXPECT_EQ(e.model.answerSaveChanges(true, &e.messages), EditorClose::Stay);
    // A failed write also leaves it open, with the saver's message.
    ASSERT_TRUE(e.model.prepareSaveAs(&e.messages));
    EXPECT_FALSE(e.model.saveAs("full/a.tws", &e.messages));
    ASSERT_EQ(e.messages.size(), 1u);
    EXPECT_EQ(e.model.answerSaveChanges(true, &e.messages), EditorClose::Stay);
    // A good save clears every flag and the dialog ends.
    EXPECT_TRUE(e.model.saveAs("a.tws", &e.messages));
    EXPECT_FALSE(e.model.modified());
    EXPECT_EQ(e.script.filePath, "a.tws");
    EXPECT_EQ(e.model.answerSaveChanges(true, &e.messages), EditorClose::Close);
    EXPECT_EQ(e.model.useScript(&e.messages), EditorClose::Close);

    // No on Use Script keeps the edits in memory.
    e.model.selectPair(0);
    e.model.removePair();
    EXPECT_EQ(e.model.useScript(&e.messages), EditorClose::AskToSave);
    EXPECT_EQ(e.model.answerSaveChanges(false, &e.messages), EditorClose::Close);
    EXPECT_TRUE(e.script.pairs.empty());

    // No on Cancel reads the file again.
    EXPECT_EQ(e.model.cancel(&e.messages), EditorClose::AskToSave);
    EXPECT_EQ(e.model.answerSaveChanges(false, &e.messages), EditorClose::Close);
    EXPECT_EQ(searchTexts(e.script), std::vector<std::string>{"s0"});
    EXPECT_FALSE(e.model.modified());

    // An empty script cannot be used or saved; Cancel without changes just ends.
    Editor empty(Script{});
    EXPECT_EQ(empty.model.useScript(&empty.messages), EditorClose::Stay);
    EXPECT_FALSE(empty.model.prepareSaveAs(&empty.messages));
    EXPECT_EQ(empty.messages, (std::vector<std::string>{kEmptyScriptMessage, kEmptyScriptMessage}));
    EXPECT_EQ(empty.model.cancel(&empty.messages), EditorClose::Close);
    EXPECT_EQ(empty.files.saves, 0);
}

TEST(ScriptEditorModel, OpeningAndLoadReadTheFileAndShowItOnEveryPage)
{
    Files shelf;
    Script onDisk = scriptOf(2, 1);
    onDisk.description = "described";
    shelf.stored["b.tws"] = onDisk;

    // An empty script with a path is read on opening.
    Script named;
    named.filePath = "b.tws";
    ScriptEditorModel opened(named, windowSeed(), shelf.loader(), shelf.saver());
    EXPECT_EQ(shelf.loads, 1);
    EXPECT_EQ(opened.pairFields().searchText, "s0");
    EXPECT_EQ(opened.pathField(), "/d0/");

    // Load replaces the edits, clears the flags and refills the Advanced page too.
    Script s = scriptOf(1, 0);
    ScriptEditorModel e(s, windowSeed(), shelf.loader(), shelf.saver());
    std::vector<std::string> messages;
    e.switchPage(ScriptEditorPage::Advanced, &messages);
    e.advancedFields().description = "typed";
    e.switchPage(ScriptEditorPage::Pairs, &messages);
    e.selectPair(0);
    e.removePair();
    EXPECT_TRUE(e.pairsModified() && e.advancedModified());
    e.switchPage(ScriptEditorPage::Advanced, &messages);
    e.load("b.tws", &messages);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(e.modified());
    EXPECT_EQ(e.advancedFields().description, "described");
    EXPECT_EQ(e.advancedFields().expression, "E1 OR E2");
    EXPECT_EQ(e.selectedPair(), 0);
    EXPECT_EQ(e.fileChoiceStart(), "b.tws");

    // A file that cannot be read: its message; the script, its edits and the page stay.
    e.switchPage(ScriptEditorPage::Pairs, &messages);
    e.insertPair(false);
    e.load("gone.tws", &messages);
    EXPECT_EQ(messages, std::vector<std::string>{"Cannot read script file\ngone.tws"});
    EXPECT_EQ(s.pairs.size(), 3u);
    EXPECT_EQ(s.filePath, "b.tws");
    EXPECT_TRUE(e.pairsModified());
    EXPECT_EQ(e.selectedPair(), 0);
}

} // namespace
} // namespace tw
