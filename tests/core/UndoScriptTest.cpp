#include "core/ReplaceWriter.h"
#include "core/UndoScript.h"
#include "platform/Environment.h"
#include "ReplaceTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>

namespace tw {
namespace {

using namespace test;

TEST(UndoScriptText, QuotesEveryPathAsOneWord)
{
    EXPECT_EQ(shellQuote("a b"), "'a b'");
    EXPECT_EQ(shellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(shellQuote("''"), "''\\'''\\'''");
    EXPECT_EQ(undoCopyLine("/b/x", "/o/x"), "cp -p -- '/b/x' '/o/x'\n");
}

// Files with awkward names are replaced with backups; running the undo script with sh
// puts every original back byte for byte and runs nothing hidden in a name.
TEST(UndoScriptRun, RestoresAwkwardNames)
{
    DataTempDir dir;
    const std::string src = dir.path() + "src dir/", bak = dir.path() + "bak 'dir'/";
    ::mkdir(src.c_str(), 0755);
    const std::string data = dataDirectory();
    const std::vector<std::string> names = {
        "plain.txt", "with space.txt", "it's.txt", "''double''", "\xe9t\xe9 \xc3\xa9t\xc3\xa9.txt",
        "-leading-dash", "$(touch PWNED)", "back\\slash`tick`", "new\nline", "sub dir/inner 'x'.txt",
    };
    ConfirmationState confirmation;
    confirmation.startRun(2);
    ScriptedHost host;
    RecordingSink sink;
    ProgramOptions options;
    options.backupPath = bak;
    ReplaceWriter writer(realFileSystem(), realFileOps(), host, sink, confirmation);
    writer.startRun(options, true, data);
    ASSERT_TRUE(writer.createTempFiles(1));
    ::mkdir((src + "sub dir").c_str(), 0755);
    std::vector<std::string> originals;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string path = src + names[i];
        originals.push_back(patternBytes(1000 + i * 37, static_cast<int>(i)));
        writeFile(path, originals.back());
        File* out = writer.tempFile(0);
        ASSERT_TRUE(out->seek(0) && out->truncate(0) && out->write("changed", 7));
        CommitInput in;
        in.path = path;
        in.startPath = src;
        in.backupDir = bak;
        ASSERT_TRUE(realFileSystem().status(path, &in.status));
        in.output = out;
        in.replacements = 1;
        in.sizeChange = in.status.size - 7;
        ASSERT_EQ(writer.CommitFile(in), CommitResult::Replaced) << names[i];
        ASSERT_EQ(readFile(path), "changed");
    }
    writer.endRun();
    EXPECT_TRUE(sink.lines.empty());

    const std::string script = data + kUndoScriptName;
    struct stat st {};
    ASSERT_EQ(::stat(script.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    const std::string text = readFile(script);
    EXPECT_EQ(text.rfind("#!/bin/sh\n", 0), 0u);

    const int rc = std::system(("cd '" + dir.path() + "' && sh '" + script + "'").c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 0);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(readFile(src + names[i]) == originals[i]) << names[i];
    FileStatus ignored;
    EXPECT_FALSE(realFileSystem().status(dir.path() + "PWNED", &ignored));
    EXPECT_FALSE(realFileSystem().status(src + "PWNED", &ignored));
}

// Paths of PATH_MAX bytes or more, which no single system call accepts: the script still
// puts every original back with its mode, whichever side is long, also for relative paths
// and with a CDPATH that would lead a plain "cd" elsewhere.
TEST(UndoScriptRun, RestoresFilesWhosePathsExceedTheKernelLimit)
{
    DataTempDir dir;
    const std::string data = dataDirectory();
    const std::string root = dir.path() + "tree/";
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "short").c_str(), 0755);
    // 40 levels of 120 bytes: about 4,900 bytes below the root.
    const std::string deepBak = makeDeepFile(root, 40, 120, "it's -1.txt", "earlier 1\n");
    const std::string deepOrig = makeDeepFile(root + "short/", 45, 110, "-orig 1.txt", "changed\n");
    ASSERT_FALSE(deepBak.empty() || deepOrig.empty());
    ASSERT_GE(deepBak.size(), static_cast<size_t>(PATH_MAX));
    const std::string deepDir = deepOrig.substr(0, deepOrig.rfind('/') + 1);
    struct Pair {
        std::string source, target, content;
    };
    std::vector<Pair> pairs = {
        {deepBak, deepOrig, "earlier 1\n"},
        {root + "short/bak 2", deepDir + "orig 2", "earlier 2\n"},
        {deepDir + "bak '3'", root + "short/orig 3", "earlier 3\n"},
        // Relative to the directory the script is run from.
        {"tree/short/bak 4", deepDir.substr(dir.path().size()) + "orig 4", "earlier 4\n"},
    };
    FileSystem& fs = realFileSystem();
    auto full = [&](const std::string& path) { return path.front() == '/' ? path : dir.path() + path; };
    for (size_t i = 1; i < pairs.size(); ++i) {
        auto f = fs.openWrite(full(pairs[i].target), true, true);
        ASSERT_TRUE(f && f->write("changed\n", 8)) << i;
        f = fs.openWrite(full(pairs[i].source), true, true);
        ASSERT_TRUE(f && f->write(pairs[i].content.data(), pairs[i].content.size())) << i;
    }
    for (const Pair& p : pairs)
        ASSERT_TRUE(fs.openRead(full(p.source))->setMode(0640));
    UndoScript script(fs, realFileOps());
    ASSERT_TRUE(script.open(data));
    for (const Pair& p : pairs)
        ASSERT_TRUE(script.addCopy(p.source, p.target));
    ASSERT_TRUE(script.close());

    const int rc = std::system(("cd '" + dir.path() + "' && CDPATH=/ sh '" + data + kUndoScriptName + "'").c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 0);
    for (const Pair& p : pairs) {
        auto in = fs.openRead(full(p.target));
        FileStatus st;
        ASSERT_TRUE(in && in->status(&st)) << p.target.size();
        std::string got(64, '\0');
        got.resize(static_cast<size_t>(std::max<int64_t>(0, in->read(got.data(), got.size()))));
        EXPECT_EQ(got, p.content) << p.target.size();
        EXPECT_EQ(st.mode & 0777, 0640u) << "cp -p keeps the mode";
    }
}

TEST(UndoScriptRun, ALaterRunEmptiesTheScript)
{
    DataTempDir dir;
    const std::string data = dataDirectory();
    UndoScript first(realFileSystem(), realFileOps());
    ASSERT_TRUE(first.open(data));
    ASSERT_TRUE(first.addCopy("/b/1", "/o/1"));
    ASSERT_TRUE(first.close());
    UndoScript second(realFileSystem(), realFileOps());
    ASSERT_TRUE(second.open(data));
    ASSERT_TRUE(second.addCopy("/b/2", "/o/2"));
    EXPECT_EQ(readFile(data + kUndoScriptName), "#!/bin/sh\ncp -p -- '/b/2' '/o/2'\n");
}

} // namespace
} // namespace tw
