// The checks of the inputs when boxes name a script, and the requests built from scripts.
#include "app/LanguageTable.h"
#include "app/RunRequest.h"
#include "app/ScriptInputs.h"
#include "select/FileWalker.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <unistd.h>

namespace tw {
namespace {

const std::string P = kScriptPrefix;

SearchPair searchPair(const std::string& search, const std::string& replace)
{
    SearchPair p;
    p.searchText = search;
    p.replaceText = replace;
    return p;
}

// Scripts by file name, handed out by the loader; every load is counted.
struct ScriptShelf {
    std::map<std::string, Script> files;
    int loads = 0;

    ScriptLoader loader()
    {
        return [this](Script& script, const std::string& path) {
            ++loads;
            ScriptLoadResult r;
            const auto it = files.find(path);
            if (it == files.end()) {
                script = Script();
                r.messages.push_back("Cannot read script file\n" + path);
                return r;
            }
            script = it->second;
            script.filePath = path;
            r.read = true;
            return r;
        };
    }
};

ScriptShelf shelf()
{
    ScriptShelf s;
    Script full;
    full.pairs = {searchPair("a", "b"), searchPair("c", "d")};
    full.paths = {{"/nonexistent-tw/one/", "*.c"}, {"/nonexistent-tw/two/", "*.h"}};
    s.files["/s/full.tws"] = full;
    Script pathsOnly;
    pathsOnly.paths = full.paths;
    s.files["/s/paths.tws"] = pathsOnly;
    Script pairsOnly;
    pairsOnly.pairs = full.pairs;
    s.files["/s/pairs.tws"] = pairsOnly;
    Script own = full; // its own options: a backup directory that is one of its paths
    own.options = ProgramOptions();
    own.options->backupPath = "/nonexistent-tw/two/";
    s.files["/s/own.tws"] = own;
    Script deep = full; // walks subdirectories: a backup below a path is inside the walk
    deep.subdirectories = ScriptSubdirs::Yes;
    s.files["/s/deep.tws"] = deep;
    Script flat = deep;
    flat.subdirectories = ScriptSubdirs::No;
    s.files["/s/flat.tws"] = flat;
    Script writesToBackup = full;
    writesToBackup.options = ProgramOptions();
    writesToBackup.options->writeToBackupDir = true;
    s.files["/s/wtb.tws"] = writesToBackup;
    return s;
}

TEST(ScriptInputs, ChecksInOrderWithTheirMessagesAndFocus)
{
    const std::string sameDir = "Please select a backup directory different than the one you want to process files in.";
    const std::string inside = "The backup directory lies inside the directory being processed with its "
                               "subdirectories. Please select a backup directory outside it.";
    const std::string bothOrNeither = activeLanguage().text(kTextScriptBothOrNeither);
    struct Case {
        const char* what;
        MainInputs in;
        bool replace;
        std::string backup; // the program's backup path
        std::string message;
        InputBox focus;
    };
    const auto in = [](std::string s, std::string r, std::string m, std::string p) {
        MainInputs i;
        i.searchText = std::move(s);
        i.replaceText = std::move(r);
        i.mask = std::move(m);
        i.path = std::move(p);
        return i;
    };
    const std::string full = P + "/s/full.tws";
    const Case cases[] = {
        {"empty mask", in(full, "", "", "/x/"), false, "", "Please enter a valid mask!", InputBox::Mask},
        {"empty path", in("a", "", "*.c", ""), false, "", "Please enter a valid path!", InputBox::Path},
        {"two scripts", in(full, "", "*.c", P + "/s/paths.tws"), false, "", "Cannot use different scripts",
         InputBox::Path},
        {"replace box ignored when searching", in(full, P + "/s/other.tws", "*.c", "/x/"), false, "", "",
         InputBox::None},
        {"the same file under another name", in(full, "", P + "/s/x/../full.tws", P + "/s/./full.tws"), false, "",
         "", InputBox::None},
        {"two scripts when replacing", in(full, P + "/s/other.tws", "*.c", "/x/"), true, "",
         "Cannot use different scripts", InputBox::Replace},
        {"search from script, replace literal", in(full, "b", "*.c", "/x/"), true, "", bothOrNeither,
         InputBox::Replace},
        {"replace from script, search literal", in("a", full, "*.c", "/x/"), true, "", bothOrNeither,
         InputBox::Search},
        {"mask alone", in("a", "", full, "/x/"), false, "", "Cannot use just mask strings from script",
         InputBox::Mask},
        {"script without pairs", in(P + "/s/paths.tws", "", "*.c", "/x/"), false, "",
         "No Search Strings were entered in Script!", InputBox::Search},
        {"script without paths", in("a", "", "*.c", P + "/s/pairs.tws"), false, "",
         "No Paths were entered in Script!", InputBox::Path},
        {"unreadable script", in(P + "/s/gone.tws", "", "*.c", "/x/"), false, "",
         "No Search Strings were entered in Script!", InputBox::Search},
        {"everything from the script", in(full, full, full, full), true, "/nonexistent-tw/elsewhere/", "",
         InputBox::None},
        // The backup directory against every path the run walks, under the options in force.
        {"backup is the literal path", in(full, full, "*.c", "/nonexistent-tw/one"), true, "/nonexistent-tw/one/",
         sameDir, InputBox::Path},
        {"backup is the script's second path", in("a", "b", "*.c", full), true, "/nonexistent-tw/two", sameDir,
         InputBox::Path},
        {"script's own backup is one of its paths", in(P + "/s/own.tws", P + "/s/own.tws", "*.c", P + "/s/own.tws"),
         true, "", sameDir, InputBox::Path},
        {"script's own options replace the program's", in(P + "/s/own.tws", P + "/s/own.tws", "*.c", "/x/"), true,
         "/x/", "", InputBox::None},
        {"script walks subdirectories", in("a", "b", "*.c", P + "/s/deep.tws"), true, "/nonexistent-tw/one/bak/",
         inside, InputBox::Path},
        {"script walks no subdirectories", in("a", "b", "*.c", P + "/s/flat.tws"), true, "/nonexistent-tw/one/bak/",
         "", InputBox::None},
        {"script writes to a backup directory it has not", in(P + "/s/wtb.tws", P + "/s/wtb.tws", "*.c", "/x/"),
         true, "/nonexistent-tw/bak/",
         "You must specify a backup directory when using the Write to Backup Dir Option.", InputBox::Path},
    };
    for (const Case& c : cases) {
        ScriptShelf scripts = shelf();
        Script script;
        std::string last;
        ProgramOptions options;
        options.backupPath = c.backup;
        const AcceptedInputs r = acceptInputs(c.in, c.replace, options, script, last, scripts.loader());
        EXPECT_EQ(r.message, c.message) << c.what;
        EXPECT_EQ(r.focus, c.focus) << c.what;
    }
}

// The script is loaded once when first named, becomes the last script file, and is then
// used as loaded; what loading said comes back to be shown.
TEST(ScriptInputs, LoadsTheNamedScriptOnceAndMakesItTheLastScriptFile)
{
    ScriptShelf scripts = shelf();
    Script script;
    std::string last = "/s/older.tws";
    MainInputs in;
    in.searchText = P + "/s/full.tws";
    in.mask = "*.txt";
    in.path = "/x/";
    AcceptedInputs r = acceptInputs(in, false, ProgramOptions(), script, last, scripts.loader());
    ASSERT_TRUE(r.accepted()) << r.message;
    EXPECT_TRUE(r.scriptChanged);
    EXPECT_EQ(last, "/s/full.tws");
    EXPECT_EQ(scripts.loads, 1);
    EXPECT_EQ(script.pairs.size(), 2u);
    EXPECT_TRUE(r.use.pairs && !r.use.paths && !r.use.masks);

    r = acceptInputs(in, false, ProgramOptions(), script, last, scripts.loader());
    EXPECT_TRUE(r.accepted() && !r.scriptChanged);
    EXPECT_EQ(scripts.loads, 1);

    // A script that cannot be read: its message, then the check that finds it empty.
    in.searchText = P + "/s/gone.tws";
    r = acceptInputs(in, false, ProgramOptions(), script, last, scripts.loader());
    EXPECT_EQ(r.loadMessages, std::vector<std::string>{"Cannot read script file\n/s/gone.tws"});
    EXPECT_EQ(r.message, "No Search Strings were entered in Script!");
    EXPECT_TRUE(script.empty());
    // "~/" names the home directory.
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    ::setenv("HOME", "/s", 1);
    in.searchText = P + "~/full.tws";
    r = acceptInputs(in, false, ProgramOptions(), script, last, scripts.loader());
    ::setenv("HOME", oldHome.c_str(), 1);
    EXPECT_TRUE(r.accepted()) << r.message;
    EXPECT_EQ(script.filePath, "/s/full.tws");
    EXPECT_EQ(last, "/s/full.tws");

    // Nothing refers to a script: nothing is loaded and the last script file stays.
    in.searchText = "plain";
    const int loads = scripts.loads;
    r = acceptInputs(in, true, ProgramOptions(), script, last, scripts.loader());
    EXPECT_TRUE(r.accepted() && !r.use.inUse() && r.use.file.empty());
    EXPECT_EQ(scripts.loads, loads);
    EXPECT_EQ(last, "/s/full.tws");
}

TEST(ScriptInputs, ShowingAScriptInTheBoxes)
{
    Script both;
    both.pairs = {searchPair("a", "b")};
    both.paths = {{"/d/", "*.c"}};
    Script pairsOnly;
    pairsOnly.pairs = both.pairs;
    MainInputs in;
    in.searchText = "s";
    in.replaceText = "r";
    in.mask = "*.c";
    in.path = P + "/old.tws";
    EXPECT_TRUE(showScriptInInputs(in, pairsOnly, "/s/x.tws"));
    EXPECT_EQ(in.searchText, P + "/s/x.tws");
    EXPECT_EQ(in.replaceText, P + "/s/x.tws");
    EXPECT_EQ(in.mask, "*.c");
    EXPECT_EQ(in.path, P + "/old.tws");
    EXPECT_TRUE(showScriptInInputs(in, both, "/s/y.tws"));
    EXPECT_EQ(in.mask, P + "/s/y.tws");
    EXPECT_EQ(in.path, P + "/s/y.tws");
    // No script: every reference goes, the literal texts stay.
    in.replaceText = "kept";
    EXPECT_FALSE(showScriptInInputs(in, Script(), ""));
    EXPECT_EQ(in.searchText, "");
    EXPECT_EQ(in.replaceText, "kept");
    EXPECT_EQ(in.mask, "");
    EXPECT_EQ(in.path, "");
}

struct RequestFixture {
    MainInputs in;
    ProgramOptions options;
    MainWindowSettings saved;
    Script script;

    SearchRequest build(ScriptUse use, bool replace = false)
    {
        return buildRunRequest({in, options, saved, replace, true, true, &script, use});
    }
};

TEST(ScriptRequest, PairsPathsAndMasksComeFromWhereTheBoxesSay)
{
    RequestFixture f;
    f.in.searchText = "window";
    f.in.mask = "*.txt;*.md";
    f.in.path = "/w/";
    SearchPair first = searchPair("Version +[0-9]", "Release %1>");
    first.regularExpression = true;
    first.caseSensitive = false;
    first.searchComment = "version lines";
    first.ignoreWhitespaceMask = " ";
    SearchPair second = searchPair(kBinaryPlaceholder, "");
    second.binarySearchBlock = std::string("\0\x01", 2);
    second.replaceComment = "gone";
    f.script.pairs = {first, second};
    f.script.paths = {{"/a/", "*.c;*.h"}, {"", "*.x"}, {"/b/", "readme"}};
    f.script.expression = "E1 AND NOT E2";

    SearchRequest r = f.build({"/s.tws", true, true, true}, true);
    ASSERT_EQ(r.pairs.size(), 2u);
    EXPECT_TRUE(r.pairsFromScript && r.pathsFromScript && r.masksFromScript);
    const SearchPair& got = r.pairs[1];
    EXPECT_EQ(got.binarySearchBlock, second.binarySearchBlock);
    EXPECT_EQ(got.replaceComment, "gone");
    EXPECT_EQ(r.pairs[0].searchComment, "version lines");
    EXPECT_FALSE(r.pairs[0].caseSensitive);
    EXPECT_TRUE(r.pairs[0].regularExpression);
    EXPECT_EQ(r.pairs[0].ignoreWhitespaceMask, " ");
    EXPECT_EQ(r.expression, "E1 AND NOT E2");
    ASSERT_EQ(r.pathMasks.size(), 3u);
    EXPECT_EQ(r.pathMasks[0].mask, "*.c;*.h");
    // A directory that did not exist stays an entry of its own with no start path.
    EXPECT_EQ(r.pathMasks[1].path, "");
    EXPECT_EQ(r.pathMasks[2].path, "/b/");
    EXPECT_FALSE(isListing(r));

    // The mask box holds a literal mask: every script path gets it.
    r = f.build({"/s.tws", false, true, false});
    EXPECT_FALSE(r.pairsFromScript || r.masksFromScript);
    EXPECT_TRUE(r.pathsFromScript);
    ASSERT_EQ(r.pairs.size(), 1u);
    EXPECT_EQ(r.pairs[0].searchText, "window");
    EXPECT_EQ(r.expression, ""); // its variables name the script's pairs, which this run has not
    for (const PathMaskPair& pm : r.pathMasks)
        EXPECT_EQ(pm.mask, "*.txt;*.md");

    // Pairs from the script, the path and mask of the boxes.
    r = f.build({"/s.tws", true, false, false});
    EXPECT_TRUE(r.pairsFromScript && !r.pathsFromScript);
    ASSERT_EQ(r.pathMasks.size(), 1u);
    EXPECT_EQ(r.pathMasks[0].path, "/w/");
    EXPECT_EQ(r.pathMasks[0].mask, "*.txt;*.md");

    // A box showing the binary-mode placeholder brings the block kept for it; a box
    // with text of its own leaves the kept block behind.
    f.saved.binarySearchBlock = "\\0x00";
    f.saved.binaryReplaceBlock = "\\r\\n";
    f.in.searchText = kBinaryPlaceholder;
    r = f.build({});
    EXPECT_EQ(r.pairs[0].binarySearchBlock, "\\0x00");
    EXPECT_EQ(r.pairs[0].binaryReplaceBlock, "");
    f.in.searchText = "window";
    f.in.replaceText = kBinaryPlaceholder;
    r = f.build({}, true);
    EXPECT_EQ(r.pairs[0].binarySearchBlock, "");
    EXPECT_EQ(r.pairs[0].binaryReplaceBlock, "\\r\\n");

    // A script pair without a search text (an append, say) is still searched.
    f.script.pairs = {searchPair("", "tail")};
    EXPECT_FALSE(isListing(f.build({"/s.tws", true, false, false})));
    f.in.searchText.clear();
    EXPECT_TRUE(isListing(f.build({})));
}

TEST(ScriptRequest, OptionsAndSubdirectoriesInForce)
{
    struct Case {
        std::optional<std::string> scriptBeforeHit; // the script's own options, when set
        ScriptSubdirs state;
        bool windowSubdirs;
        bool inUse;
        std::string beforeHit;
        bool subdirs;
    };
    const Case cases[] = {
        {std::nullopt, ScriptSubdirs::FromWindow, true, true, "<", true},
        {std::nullopt, ScriptSubdirs::FromWindow, false, true, "<", false},
        {std::nullopt, ScriptSubdirs::Yes, false, true, "<", true},
        {std::nullopt, ScriptSubdirs::No, true, true, "<", false},
        {"[[", ScriptSubdirs::No, true, true, "[[", false},
        {"[[", ScriptSubdirs::FromWindow, true, true, "[[", true},
        // A script the run takes nothing from changes nothing.
        {"[[", ScriptSubdirs::No, true, false, "<", true},
    };
    for (const Case& c : cases) {
        RequestFixture f;
        f.in.mask = "*.c";
        f.in.path = "/w/";
        f.options.searchSubdirs = c.windowSubdirs;
        f.options.threads = 3;
        f.script.pairs = {searchPair("a", "b")};
        f.script.paths = {{"/a/", "*.c"}};
        f.script.subdirectories = c.state;
        if (c.scriptBeforeHit) {
            f.script.options = ProgramOptions();
            f.script.options->beforeHit = *c.scriptBeforeHit;
            f.script.options->searchSubdirs = !c.windowSubdirs; // overridden by the state
            f.script.options->threads = 2;    // not a line of the block: the program's hold
            f.script.options->useIgnoreFiles = true;
        }
        const ScriptUse use = c.inUse ? ScriptUse{"/s.tws", false, true, false} : ScriptUse{};
        const SearchRequest r = f.build(use);
        EXPECT_EQ(r.options.beforeHit, c.beforeHit) << c.beforeHit << int(c.state);
        EXPECT_EQ(r.searchSubdirectories, c.subdirs) << c.beforeHit << int(c.state);
        EXPECT_EQ(r.options.searchSubdirs, c.subdirs);
        EXPECT_EQ(r.threads, 3u);
        EXPECT_FALSE(r.options.useIgnoreFiles);
    }
}

// The entry of a directory that did not exist has an empty path: the walk starts nowhere,
// whatever the current directory holds.
TEST(ScriptRequest, AnEmptyStartPathSelectsNoFile)
{
    test::TempDir dir;
    test::writeFile(dir.file("a.txt"), "x\n");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    FileList list;
    FileWalker walker;
    walker.build("", "*.*", true, list);
    walker.build(";", "*.*", true, list);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(list.size(), 0u);
}

} // namespace
} // namespace tw
