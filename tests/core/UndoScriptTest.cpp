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
    ASSERT_TRUE(writer.CreateTempFiles(1));
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
