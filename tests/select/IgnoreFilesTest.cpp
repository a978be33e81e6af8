#include "select/FileWalker.h"
#include "select/IgnoreFileFilter.h"
#include "select/IgnoreRules.h"
#include "platform/PathText.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

// The files a walk of `start` with the ignore filter lists, relative to `start`.
std::set<std::string> walkIgnoring(const std::string& start, const std::string& global, const std::string& mask = "*")
{
    FileWalker walker;
    walker.addFilter(std::make_unique<IgnoreFileFilter>(realFileSystem(), global));
    FileList list;
    walker.build(start, mask, true, list);
    std::set<std::string> out;
    for (size_t i = 0; i < list.size(); ++i)
        out.insert(std::string(list.at(i)).substr(withTrailingSlash(start).size()));
    return out;
}

// The smallest repository git recognises (what "git init" makes, without its samples).
void makeRepository(const TempDir& repo)
{
    std::filesystem::create_directories(repo.file(".git/objects"));
    std::filesystem::create_directories(repo.file(".git/refs/heads"));
    writeFile(repo.file(".git/HEAD"), "ref: refs/heads/main\n");
}

bool gitAvailable()
{
    return std::system("git --version >/dev/null 2>&1") == 0;
}

// Runs git in `repo` with a private home and configuration (`config` is its
// XDG_CONFIG_HOME, so "config/git/ignore" is its global excludes file).
int runGit(const std::string& repo, const std::string& config, const std::string& args)
{
    const std::string cmd = "cd '" + repo + "' && HOME='" + config + "' XDG_CONFIG_HOME='" + config +
                            "' GIT_CONFIG_NOSYSTEM=1 git " + args;
    return std::system(cmd.c_str());
}

// What `git check-ignore` says is ignored among `paths` (relative to `repo`).
std::set<std::string> gitIgnored(const std::string& repo, const std::string& config, const std::vector<std::string>& paths,
                                 const TempDir& scratch)
{
    std::string in;
    for (const std::string& p : paths)
        in += p + '\0';
    writeFile(scratch.file("in"), in);
    runGit(repo, config, "check-ignore --no-index --stdin -z <'" + scratch.file("in") + "' >'" + scratch.file("out") + "'");
    const std::string out = test::readFile(scratch.file("out"));
    std::set<std::string> ignored;
    for (size_t pos = 0; pos < out.size();) {
        const size_t end = out.find('\0', pos);
        ignored.insert(out.substr(pos, end - pos));
        pos = end == std::string::npos ? out.size() : end + 1;
    }
    return ignored;
}

// Random names and patterns over a small alphabet, so that patterns often hit; names with
// the characters that patterns treat specially.
const char* const kNames[] = {"a", "b", "ab", "ba", "a.c", "b.o", "x y", "o", "c", "#c", "!d", "d ", "a*", "[b]", "a\\b", "e.c"};
const char* const kPieces[] = {"a", "b", "ab", "o", ".c", "x y", "*", "*", "?", "**", "**", "[ab]", "[!a]", "[^b]",
                               "[a-c]", "[[:alpha:]]", "[[:punct:]]", "[]a]", "[a-]", "\\*", "\\ ", "\\[", "#", "!",
                               "a**", "**b", "[", "[[:nope:]]", "\\"};

std::string randomPattern(std::mt19937& rng)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    switch (pick(40)) {
    case 0:
        return "";
    case 1:
        return "# a comment";
    case 2:
        return "\\#c";
    case 3:
        return "\\!d";
    case 4: {
        // Long enough for the matcher's many-token form; the same as "**/" and the piece.
        std::string chain;
        for (int i = 21 + pick(20); i > 0; --i)
            chain += "**/";
        return chain + kPieces[pick(static_cast<int>(std::size(kPieces)))];
    }
    default:
        break;
    }
    std::string p;
    if (pick(5) == 0)
        p += '!';
    if (pick(4) == 0)
        p += '/';
    const int parts = 1 + pick(3);
    for (int i = 0; i < parts; ++i) {
        if (i)
            p += '/';
        const int pieces = 1 + pick(2);
        for (int k = 0; k < pieces; ++k)
            p += kPieces[pick(static_cast<int>(std::size(kPieces)))];
    }
    if (pick(5) == 0)
        p += '/';
    if (pick(10) == 0)
        p += "  ";
    return p;
}

std::string randomLines(std::mt19937& rng, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += randomPattern(rng) + (rng() % 8 == 0 ? "\r\n" : "\n");
    return text;
}

// Random trees with random .gitignore files at several levels, info/exclude and a global
// excludes file: the walk lists exactly the files that git check-ignore does not ignore,
// from the root and from a directory below it.
TEST(IgnoreFiles, WalkAgreesWithGitCheckIgnore)
{
    if (!gitAvailable())
        GTEST_SKIP() << "git is not installed (Debian package git): the comparison with git check-ignore needs it";
    std::mt19937 rng(static_cast<unsigned>(std::getenv("TW_SEED") ? std::atoi(std::getenv("TW_SEED")) : 20261208));
    long comparedPaths = 0, patterns = 0;
    for (int round = 0; round < 80; ++round) {
        TempDir repo, config, scratch;
        makeRepository(repo);
        // The tree: random files up to three levels deep.
        std::set<std::string> files, dirs;
        for (int i = 0; i < 40; ++i) {
            std::string path;
            const int depth = static_cast<int>(rng() % 4);
            for (int k = 0; k < depth; ++k) {
                path += kNames[rng() % std::size(kNames)];
                if (files.count(path))
                    break;
                dirs.insert(path);
                path += '/';
            }
            path += kNames[rng() % std::size(kNames)];
            if (dirs.count(path) || files.count(path))
                continue;
            files.insert(path);
            writeFile(repo.file(path), "x");
        }
        // Ignore files: the root's, some directories', the repository's and the global one.
        std::vector<std::string> ignoreDirs{""};
        for (const std::string& d : dirs)
            if (rng() % 3 == 0)
                ignoreDirs.push_back(d + "/");
        for (const std::string& d : ignoreDirs) {
            const int n = 1 + static_cast<int>(rng() % 6);
            patterns += n;
            writeFile(repo.file(d + ".gitignore"), randomLines(rng, n));
            files.insert(d + ".gitignore");
        }
        if (rng() % 2)
            writeFile(repo.file(".git/info/exclude"), randomLines(rng, 3)), patterns += 3;
        if (rng() % 2)
            writeFile(config.file("git/ignore"), randomLines(rng, 3)), patterns += 3;

        std::vector<std::string> all(files.begin(), files.end());
        all.insert(all.end(), dirs.begin(), dirs.end());
        const std::set<std::string> ignored = gitIgnored(repo.path(), config.path(), all, scratch);
        comparedPaths += static_cast<long>(all.size());

        // A start below the root that git does not ignore itself, when there is one.
        std::string start;
        for (const std::string& d : dirs)
            if (!ignored.count(d) && rng() % 2) {
                start = d + "/";
                break;
            }
        for (const std::string& from : {std::string(), start}) {
            std::set<std::string> expected;
            for (const std::string& f : files)
                if (!ignored.count(f) && f.rfind(from, 0) == 0)
                    expected.insert(f.substr(from.size()));
            const std::set<std::string> listed = walkIgnoring(repo.file(from), config.file("git/ignore"));
            if (listed != expected) {
                std::string why = "start '" + from + "'\n";
                for (const std::string& d : ignoreDirs)
                    why += "--- " + d + ".gitignore\n" + test::readFile(repo.file(d + ".gitignore"));
                why += "--- info/exclude\n" + test::readFile(repo.file(".git/info/exclude"));
                why += "--- global\n" + test::readFile(config.file("git/ignore"));
                for (const std::string& f : expected)
                    if (!listed.count(f))
                        why += "missing: '" + f + "'\n";
                for (const std::string& f : listed)
                    if (!expected.count(f))
                        why += "extra: '" + f + "'\n";
                FAIL() << "round " << round << ": " << why;
            }
            if (start.empty())
                break;
        }
    }
    EXPECT_GT(comparedPaths, 3000);
    EXPECT_GT(patterns, 1000);
}

// Exotic bytes in names and patterns: the classes against names with control and high
// bytes, NUL ending a line, escaped trailing spaces, a byte-order mark, CR line ends.
TEST(IgnoreFiles, OddBytesAgreeWithGit)
{
    if (!gitAvailable())
        GTEST_SKIP() << "git is not installed (Debian package git): the comparison with git check-ignore needs it";
    TempDir repo, config, scratch;
    ASSERT_EQ(runGit(repo.path(), config.path(), "init -q ."), 0);
    const std::vector<std::string> names = {"t\tab", "v\vt", "sp ", "sp", "h\xc3\xa9", "\x7f" "del", "up", "UP",
                                            "x1", "x_", "n0", "zz", "bom"};
    for (const std::string& n : names)
        writeFile(repo.file(n), "x");
    writeFile(repo.file(".gitignore"), std::string("\xEF\xBB\xBF" "bom\n[[:space:]]*\n"
                                                   "*[[:cntrl:]]*\n!v*\nsp\\ \n[[:upper:]]*\nh[^[:alpha:]]*\n"
                                                   "x[[:alnum:]]\r\nn[[:digit:]]\0zz\nz[[:graph:]\n",
                                                   110));
    std::vector<std::string> all(names.begin(), names.end());
    all.push_back(".gitignore");
    const std::set<std::string> ignored = gitIgnored(repo.path(), config.path(), all, scratch);
    std::set<std::string> expected;
    for (const std::string& n : all)
        if (!ignored.count(n))
            expected.insert(n);
    EXPECT_EQ(walkIgnoring(repo.path(), ""), expected);
}

// How the files outside the tree take part: the .gitignore files between the repository
// root and the start, the start itself and a named file never skipped, a linked
// .gitignore not read, and outside a repository only the tree's own files.
TEST(IgnoreFiles, SourcesAboveTheStartAndExemptions)
{
    TempDir repo, config, outside;
    std::filesystem::create_directories(repo.file(".git/info"));
    writeFile(repo.file(".gitignore"), "/src/gen/\n*.o\nbuild/\n");
    writeFile(repo.file(".git/info/exclude"), "*.tmp\n");
    writeFile(config.file("git/ignore"), "*.swp\n");
    writeFile(repo.file("src/.gitignore"), "!keep.o\n");
    for (const char* f : {"src/a.c", "src/a.o", "src/keep.o", "src/x.tmp", "src/y.swp", "src/gen/g.c", "src/build/b.c"})
        writeFile(repo.file(f), "x");
    writeFile(outside.file("real-ignore"), "a.c\n");
    std::filesystem::create_symlink(outside.file("real-ignore"), repo.file("src/gen/.gitignore"));
    const std::string global = config.file("git/ignore");
    using S = std::set<std::string>;
    EXPECT_EQ(walkIgnoring(repo.file("src"), global), (S{".gitignore", "a.c", "keep.o"}));
    // The start directory is walked even though the root's rules ignore it; the link is not read.
    EXPECT_EQ(walkIgnoring(repo.file("src/gen"), global), (S{"g.c"}));
    // A file the mask names is never skipped.
    EXPECT_EQ(walkIgnoring(repo.file("src"), global, "a.o"), (S{"a.o"}));
    // A ".git" file pointing elsewhere: that directory's info/exclude applies.
    TempDir linked;
    std::filesystem::create_directories(outside.file("gitdir/info"));
    writeFile(outside.file("gitdir/info/exclude"), "b.c\n");
    writeFile(linked.file(".git"), "gitdir: " + outside.file("gitdir") + "\n");
    writeFile(linked.file("b.c"), "x");
    writeFile(linked.file("c.c"), "x");
    EXPECT_EQ(walkIgnoring(linked.path(), ""), (S{"c.c"}));
    // Outside a repository the tree's own .gitignore files and the global file apply.
    TempDir plain;
    writeFile(plain.file(".gitignore"), "*.o\n");
    writeFile(plain.file("sub/.gitignore"), "!*.o\n");
    for (const char* f : {"a.o", "a.swp", "sub/b.o", "sub/c.c"})
        writeFile(plain.file(f), "x");
    EXPECT_EQ(walkIgnoring(plain.path(), global), (S{".gitignore", "sub/.gitignore", "sub/b.o", "sub/c.c"}));
}

// The archives a run searches come from the same walk and skip what git ignores too,
// though the walk's other filters leave them alone.
TEST(IgnoreFiles, TheArchiveSelectionOfTheSameWalkSkipsIgnoredFiles)
{
    TempDir repo;
    makeRepository(repo);
    writeFile(repo.file(".gitignore"), "node_modules/\n*.o\nold.zip\n");
    for (const char* f : {"a.c", "a.o", "keep.zip", "old.zip", "node_modules/m.zip", "node_modules/m.c", "src/s.zip"})
        writeFile(repo.file(f), "x");
    FileWalker walker;
    walker.addFilter(std::make_unique<IgnoreFileFilter>(realFileSystem(), ""));
    FileList files, archives;
    walker.setSecondSelection("*.zip", &archives);
    walker.build(repo.path(), "*.c;*.o", true, files);
    auto names = [&](const FileList& l) {
        std::set<std::string> out;
        for (size_t i = 0; i < l.size(); ++i)
            out.insert(std::string(l.at(i)).substr(repo.path().size()));
        return out;
    };
    using S = std::set<std::string>;
    EXPECT_EQ(names(files), (S{"a.c"}));
    EXPECT_EQ(names(archives), (S{"keep.zip", "src/s.zip"}));
}

// core.excludesFile read from configuration texts as git reads it (the plain forms).
TEST(IgnoreFiles, ExcludesFileFromConfigAgreesWithGit)
{
    if (!gitAvailable())
        GTEST_SKIP() << "git is not installed (Debian package git): the comparison with git config needs it";
    const char* const configs[] = {
        "[core]\n\texcludesFile = ~/.gitignore_global\n",
        "[Core]\nExcludesFile=/abs/ign # comment\n",
        "[core]\n  excludesfile = \"/with space/ign\" ; comment\n",
        "[core \"x\"]\nexcludesFile = /not/this\n[user]\nexcludesFile = /nor/this\n",
        "[core]\nexcludesFile = /first\n[alias]\nx = y\n[core]\nexcludesFile = /second\n",
        "[core] excludesFile = /on/the/header/line\n",
        "[core]\nexcludesFile = a\\\"b\\\\c\\td   \n",
        "[core]\nexcludesFile = \"quoted # not a comment\"  trailing  \n",
        "# [core]\n; excludesFile = /commented\n",
        "[core]\r\nexcludesFile = /crlf\r\n",
        "[core]\n\tbare = true\n\texcludes-file = /other/key\n",
    };
    TempDir scratch;
    for (const char* config : configs) {
        writeFile(scratch.file("config"), config);
        writeFile(scratch.file("out"), "");
        const int status = std::system(("git config --file '" + scratch.file("config") +
                                        "' --get core.excludesFile >'" + scratch.file("out") + "' 2>/dev/null").c_str());
        std::optional<std::string> expected;
        if (status == 0) {
            std::string out = test::readFile(scratch.file("out"));
            out.pop_back(); // git's line feed
            expected = out;
        }
        EXPECT_EQ(excludesFileFromConfig(config), expected) << config;
    }
}

// Which file is the global one: the default beside git's configuration, else
// core.excludesFile of the XDG configuration, overridden by ~/.gitconfig's.
TEST(IgnoreFiles, GlobalExcludesFileFollowsTheUsersConfiguration)
{
    TempDir home, xdg;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", xdg.path().c_str(), 1);
    EXPECT_EQ(globalExcludesFile(realFileSystem()), xdg.file("git/ignore"));
    writeFile(xdg.file("git/config"), "[core]\nexcludesFile = /from/xdg\n");
    EXPECT_EQ(globalExcludesFile(realFileSystem()), "/from/xdg");
    writeFile(home.file(".gitconfig"), "[core]\n\texcludesFile = ~/personal-ignore\n");
    EXPECT_EQ(globalExcludesFile(realFileSystem()), home.file("personal-ignore"));
    ::unsetenv("XDG_CONFIG_HOME");
    ::remove(home.file(".gitconfig").c_str());
    EXPECT_EQ(globalExcludesFile(realFileSystem()), home.file(".config/git/ignore"));
    ::setenv("HOME", oldHome.c_str(), 1);
    if (!oldXdg.empty())
        ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
}

// Hostile ignore files: huge, very long lines, NUL bytes, patterns of stars everywhere.
// The walk decides them right. The patterns are made so that a backtracking matcher
// would not come back from them in any useful time, so the test ends only because
// matching stays linear; how long it takes is bench/ignore.sh's business.
TEST(IgnoreFiles, HostileIgnoreFilesStayBounded)
{
    TempDir d;
    const std::string deepName(200, 'a');
    writeFile(d.file(deepName + "/" + deepName + "/" + deepName + "b"), "x");
    writeFile(d.file("keep.c"), "x");
    std::string stars;
    // Patterns that make a backtracking matcher take exponential time on a long name.
    for (int i = 0; i < 60; ++i)
        stars += "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*c\n"
                 "**/*a**a**a**a**a**a**a**a**a**a**a**a**a**a**a**a**a**a**a**a**/c\n";
    std::string huge = stars;
    huge += std::string(IgnoreList::kMaxLineBytes + 10, '*') + "\n"; // too long: skipped
    huge += std::string("ke\0ep.c trailing", 16) + "\n";             // NUL ends the line: "ke"
    while (huge.size() < 3 * IgnoreFileFilter::kMaxFileBytes)
        huge += "[a-z]?*[!q]*" + std::to_string(huge.size()) + "\n";
    huge += "keep.c\n"; // beyond the bytes read: not applied
    writeFile(d.file(".gitignore"), huge);
    writeFile(d.file(deepName + "/.gitignore"), stars);
    const auto listed = walkIgnoring(d.path(), "");
    EXPECT_TRUE(listed.count("keep.c"));
    EXPECT_TRUE(listed.count(deepName + "/" + deepName + "/" + deepName + "b"));

    // One pattern against a long name: linear in both, whatever the stars.
    IgnorePattern p;
    ASSERT_TRUE(p.compile(std::string(2000, '*') + "a" + std::string(1000, '?') + "/**/" + std::string(500, 'b')));
    IgnorePattern q;
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "*a";
    ASSERT_TRUE(q.compile(many + "c"));
    const std::string name(4000, 'a');
    EXPECT_FALSE(p.matches(name + "/x/" + name, name, false));
    EXPECT_FALSE(q.matches(name, name, false));
    EXPECT_TRUE(q.matches(name + "c", name + "c", false));
    EXPECT_TRUE(p.matches(name + "a/x/" + std::string(500, 'b'), std::string(500, 'b'), false));
}

// An ignore file is read up to a cap: a line cut there is dropped, not taken as the
// pattern its first bytes make ("*" would hide every file, "!*" bring back ignored ones).
TEST(IgnoreFiles, ALineCutAtTheCapIsNotAPattern)
{
    auto cutAfter = [](const std::string& kept, const std::string& rest) {
        // One comment line that ends where `kept` must end at the cap.
        const size_t pad = IgnoreFileFilter::kMaxFileBytes - kept.size();
        return "#" + std::string(pad - 2, ' ') + "\n" + kept + rest + "\n";
    };
    TempDir d;
    writeFile(d.file(".gitignore"), "*.o\n");
    writeFile(d.file("hide/.gitignore"), cutAfter("*", ".tmp"));
    writeFile(d.file("back/.gitignore"), cutAfter("!*", ".keep"));
    for (const char* f : {"hide/a.c", "back/b.o", "back/c.c"})
        writeFile(d.file(f), "x");
    using S = std::set<std::string>;
    EXPECT_EQ(walkIgnoring(d.path(), "", "*.c;*.o"), (S{"back/c.c", "hide/a.c"}));
}

// The rules held for the directories being walked are bounded: a .gitignore that would
// pass the bound is not applied, and the first such file is named once.
TEST(IgnoreFiles, IgnoreFilesPastTheRuleBudgetAreNamedOnce)
{
    std::string many;
    while (many.size() + 8 < IgnoreFileFilter::kMaxFileBytes)
        many += "q\n";
    IgnoreList probe;
    probe.addText(many);
    // Each such file takes more than half of the budget, so no two fit together.
    ASSERT_GT(probe.memoryBytes(), IgnoreFileFilter::kMaxHeldBytes / 2);
    ASSERT_LT(probe.memoryBytes() + 1000, IgnoreFileFilter::kMaxHeldBytes);
    TempDir d;
    writeFile(d.file(".gitignore"), many + "*.o\n");
    writeFile(d.file("a/.gitignore"), many + "!*.o\n");
    writeFile(d.file("b/.gitignore"), many + "!*.o\n");
    writeFile(d.file("c/.gitignore"), "!*.o\n");
    for (const char* f : {"x.o", "a/x.o", "b/x.o", "c/x.o"})
        writeFile(d.file(f), "x");
    std::vector<std::string> notices;
    FileWalker walker;
    walker.addFilter(std::make_unique<IgnoreFileFilter>(realFileSystem(), "",
                                                        [&](const std::string& text) { notices.push_back(text); }));
    FileList list;
    walker.build(d.path(), "*.o", true, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(0), d.file("c/x.o"));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(d.file("a/.gitignore")), std::string::npos) << notices[0];
}

// FIFOs, sockets and links met during a walk are never opened, with and without the
// ignore filter, even when a FIFO is named ".gitignore"; the walk completes.
TEST(IgnoreFiles, FifosAndSocketsInTheTreeNeverBlock)
{
    TempDir d;
    writeFile(d.file("a.c"), "x");
    ASSERT_EQ(::mkfifo(d.file("pipe.c").c_str(), 0644), 0);
    writeFile(d.file("sub/b.c"), "x");
    ASSERT_EQ(::mkfifo(d.file("sub/.gitignore").c_str(), 0644), 0);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sock = d.file("sock.c");
    if (s >= 0 && sock.size() < sizeof(addr.sun_path)) {
        std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", sock.c_str());
        EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    }
    ::alarm(20); // a blocking open of a FIFO would hang the test; fail it instead
    using S = std::set<std::string>;
    EXPECT_EQ(walkIgnoring(d.path(), ""), (S{"a.c", "sub/b.c"}));
    FileWalker plain;
    FileList list;
    plain.build(d.path(), "*", true, list);
    EXPECT_EQ(list.size(), 2u);
    ::alarm(0);
    if (s >= 0)
        ::close(s);
}

} // namespace
} // namespace tw
