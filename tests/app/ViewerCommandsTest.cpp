// The viewer commands: the setting's words, the argument lists built from them, which
// files are never opened by their type, the messages, and hostile paths passed to a
// program that is really started.
#include "app/QtViewerSystem.h"
#include "app/ViewerCommands.h"

#include "core/TestArchives.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;
using Words = std::vector<std::string>;

TEST(ViewerCommands, SplitsTheSettingAsAShellWouldWithoutExpandingAnything)
{
    struct Case {
        std::string text;
        Words words;
    };
    const std::vector<Case> cases = {
        {"editor %PATH% -n%LINE%", {"editor", "%PATH%", "-n%LINE%"}},
        {"\"/opt/my editor/ed\" +%LINE% %PATH%", {"/opt/my editor/ed", "+%LINE%", "%PATH%"}},
        {"a 'b  c' \"d e\"", {"a", "b  c", "d e"}},
        {"a\\ b \\'c \\\"d", {"a b", "'c", "\"d"}},
        {"\"q\\\"s\\\\t\\x\" 'a\\b\"c'", {"q\"s\\t\\x", "a\\b\"c"}},
        {"$(touch x) `touch x` ~ *.txt a;b|c&", {"$(touch", "x)", "`touch", "x`", "~", "*.txt", "a;b|c&"}},
        {"\"$(touch x)\" \"`id`\" \"$HOME\"", {"$(touch x)", "`id`", "$HOME"}},
        {"a \"\" '' b", {"a", "", "", "b"}},
        {"x\"\"y 'a'\"b\"c", {"xy", "abc"}},
        {" \t\n ", {}},
        {"\ta\tb\nc ", {"a", "b", "c"}},
        {"a\\\nb \"c\\\nd\"", {"ab", "cd"}},
        {"ed\\", {"ed\\"}},
    };
    for (const Case& c : cases) {
        Words words{"left over"};
        std::string error;
        EXPECT_TRUE(splitCommandWords(c.text, &words, &error)) << c.text;
        EXPECT_EQ(words, c.words) << c.text;
    }
    for (const std::string open : {"ed \"x", "ed 'x", "ed \"a\\\"", "a'b\"c'\"", "'"}) {
        Words words;
        std::string error;
        EXPECT_FALSE(splitCommandWords(open, &words, &error)) << open;
        EXPECT_NE(error.find("not closed"), std::string::npos) << open;
    }
}

TEST(ViewerCommands, BuildsArgumentListsFromTheSetting)
{
    const std::string spaced = "/tmp/my dir/notes file.txt";
    struct Case {
        std::string viewer;
        ViewerTarget target;
        Words argv;       // empty: refused
        std::string error; // part of the message when refused
    };
    const std::vector<Case> cases = {
        {"editor.exe %PATH% -n%LINE%", {spaced, 12}, {"editor.exe", spaced, "-n12"}, ""},
        {"editor", {spaced, 12}, {"editor", spaced}, ""},
        {"editor %PATH% -n%LINE%", {spaced, 0}, {"editor", spaced, "-n"}, ""},
        {"editor %LINE% %path%", {spaced, 0}, {"editor", spaced}, ""},
        {"Ed --goto=%Line% -- %PaTh% %PATH%", {spaced, 7}, {"Ed", "--goto=7", "--", spaced, spaced}, ""},
        {"ed +%LINE% %PATH%", {"/d/a%LINE%b%PATH%", 5}, {"ed", "+5", "/d/a%LINE%b%PATH%"}, ""},
        {"ed +%LINE% %PATH%", {"/d/bin", 0, true, 496, 4}, {"ed", "+", "/d/bin"}, ""},
        {"ed", {"-rf", 1}, {"ed", "./-rf"}, ""},
        {"ed --file=%PATH%", {"-n", 1}, {"ed", "--file=./-n"}, ""},
        {"ed", {"/abs/-n", 1}, {"ed", "/abs/-n"}, ""},
        {"", {spaced, 1}, {}, "No Default Viewer is set."},
        {" \t", {spaced, 1}, {}, "No Default Viewer is set."},
        {"ed \"%PATH%", {spaced, 1}, {}, "not closed"},
        {"%PATH%", {spaced, 1}, {}, "names no program"},
        {"\"\" %PATH%", {spaced, 1}, {}, "names no program"},
        {"%LINE% %PATH%", {spaced, 1}, {}, "names no program"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(defaultViewerCommand(c.viewer, c.target, &error), c.argv) << c.viewer;
        if (c.argv.empty()) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.viewer << ": " << error;
        }
    }

    // Without an association the viewer gets the file alone, without the placeholders'
    // words and whatever follows them.
    std::string error;
    EXPECT_EQ(fallbackViewerCommand("editor %PATH% -n%LINE%", spaced, &error), (Words{"editor", spaced}));
    EXPECT_EQ(fallbackViewerCommand("ed -r +%LINE% %PATH% -x", "-f", &error), (Words{"ed", "-r", "./-f"}));
    EXPECT_EQ(fallbackViewerCommand("xdg-open", spaced, &error), (Words{"xdg-open", spaced}));
    EXPECT_EQ(fallbackViewerCommand("%PATH%", spaced, &error), Words{});

    ViewerTarget hit{spaced, 0, true, 0x1F0, 4};
    EXPECT_EQ(binaryViewerCommand("/usr/bin/BYTEGLASS", hit), (Words{"/usr/bin/BYTEGLASS", spaced, "-S496", "-E500"}));
    hit.offset = int64_t(5) << 32; // offsets beyond 32 bits stay whole
    EXPECT_EQ(binaryViewerCommand("B", hit), (Words{"B", spaced, "-S21474836480", "-E21474836484"}));
}

TEST(ViewerCommands, FilesThatWouldRunAreNeverOpenedByTheirType)
{
    TempDir dir;
    struct Case {
        std::string name, content;
        unsigned mode;
        bool runs;
    };
    const std::vector<Case> files = {
        {"notes.txt", "hello", 0644, false},  {"one.txt", "#", 0644, false},
        {"hash.md", "# title\n", 0644, false}, {"empty.c", "", 0600, false},
        {"noext", "hello", 0644, true},       {"run.BAT", "echo", 0644, true},
        {"x.exe", "MZ", 0644, true},          {"y.Com", "", 0644, true},
        {"z.pif", "", 0644, true},            {"app.desktop", "[Desktop Entry]", 0644, true},
        {"App.DeskTop", "", 0644, true},      {"tool.txt", "data", 0744, true},
        {"group.txt", "data", 0654, true},    {"other.txt", "data", 0645, true},
        {"script.txt", "#!/bin/sh\n", 0644, true}, {".profile", "x", 0644, true},
        {"trailing.", "x", 0644, true},
    };
    for (const Case& f : files) {
        writeFile(dir.file(f.name), f.content);
        ASSERT_EQ(::chmod(dir.file(f.name).c_str(), f.mode), 0);
    }
    ASSERT_EQ(::mkdir(dir.file("folder.txt").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.txt").c_str(), 0644), 0);
    const std::vector<std::pair<std::string, std::string>> links = {
        {"plain-link.txt", "notes.txt"}, {"tool-link.txt", "tool.txt"}, {"noext-link.txt", "noext"},
        {"script-link.txt", "script.txt"}, {"gone-link.txt", "gone.txt"}, {"pipe-link.txt", "pipe.txt"},
    };
    for (const auto& [link, target] : links)
        ASSERT_EQ(::symlink(dir.file(target).c_str(), dir.file(link).c_str()), 0);

    std::vector<std::pair<std::string, bool>> expected;
    for (const Case& f : files)
        expected.emplace_back(f.name, f.runs);
    for (const auto& [name, runs] : std::vector<std::pair<std::string, bool>>{
             {"folder.txt", true}, {"pipe.txt", true}, {"missing.txt", true}, {"plain-link.txt", false},
             {"tool-link.txt", true}, {"noext-link.txt", true}, {"script-link.txt", true}, {"gone-link.txt", true},
             {"pipe-link.txt", true}})
        expected.emplace_back(name, runs);

    // A FIFO is judged without waiting for a writer.
    ASSERT_TRUE(test::returnsWithin(30, dir.file("pipe.txt"), [&] {
        for (const auto& [name, runs] : expected)
            EXPECT_EQ(opensAsProgram(realFileSystem(), dir.file(name)), runs) << name;
    }));
}

// Records what it is asked to do.
class FakeSystem final : public ViewerSystem {
public:
    bool start(const std::vector<std::string>& argv, const std::string& workingDir, std::string*) override
    {
        started.push_back(argv);
        startDir = workingDir;
        return startWorks;
    }
    std::string associatedProgram(const std::string& path) override
    {
        asked.push_back(path);
        return association;
    }
    bool openWithDefaultAction(const std::string& path) override
    {
        opened.push_back(path);
        return openWorks;
    }
    std::string findProgram(const std::string& name) override { return name == kBinaryViewerName ? hexViewer : ""; }

    std::string association, hexViewer;
    bool startWorks = true, openWorks = true;
    std::vector<Words> started;
    std::string startDir;
    Words asked, opened;
};

TEST(ViewerCommands, EntryPointsStartTheRightProgramOrSayWhyNot)
{
    TempDir dir;
    const std::string text = dir.file("a b.txt"), batch = dir.file("go.bat");
    writeFile(text, "hello");
    writeFile(batch, "echo");
    ProgramOptions options;
    options.defaultViewer = "ed %PATH% -n%LINE%";
    FileSystem& fs = realFileSystem();
    {
        FakeSystem sys; // an associated program opens the file with the desktop's action
        sys.association = "org.example.Editor.desktop";
        EXPECT_EQ(openAssociated({text, 3}, options, fs, sys), "");
        EXPECT_EQ(sys.opened, Words{text});
        EXPECT_TRUE(sys.started.empty());
        sys.openWorks = false;
        EXPECT_EQ(openAssociated({text, 3}, options, fs, sys), "Error -1 shelling\n org.example.Editor.desktop");
    }
    {
        FakeSystem sys; // a batch file is never asked about: it goes to the viewer, without its options
        sys.association = "wine.desktop";
        EXPECT_EQ(openAssociated({batch, 3}, options, fs, sys), "");
        EXPECT_TRUE(sys.asked.empty());
        EXPECT_TRUE(sys.opened.empty());
        EXPECT_EQ(sys.started, (std::vector<Words>{{"ed", batch}}));
        EXPECT_EQ(sys.startDir, dir.path());
        sys.startWorks = false;
        EXPECT_EQ(openAssociated({batch, 3}, options, fs, sys), "Error -1 shelling\n ed %PATH% -n%LINE%");
        ProgramOptions none;
        none.defaultViewer = " ";
        EXPECT_EQ(openAssociated({batch, 3}, none, fs, sys), kNoAssociationText);
        none.defaultViewer = "'ed";
        EXPECT_NE(openAssociated({batch, 3}, none, fs, sys).find("not closed"), std::string::npos);
        // A viewer that opens by type would hand the batch file back to its association.
        none.defaultViewer = "/usr/bin/xdg-open %PATH%";
        EXPECT_EQ(openAssociated({batch, 3}, none, fs, sys), kNoAssociationText);
        EXPECT_EQ(openAssociated({"", 3}, options, fs, sys), "");
        EXPECT_EQ(sys.started.size(), 2u);
    }
    {
        FakeSystem sys; // no association for a text file: the viewer too
        EXPECT_EQ(openAssociated({text, 3}, options, fs, sys), "");
        EXPECT_EQ(sys.asked, Words{text});
        EXPECT_EQ(sys.started, (std::vector<Words>{{"ed", text}}));
    }
    {
        FakeSystem sys;
        EXPECT_EQ(openDefaultViewer({text, 9}, options, sys), "");
        EXPECT_EQ(openWithProgram({text, 9}, "/opt/v w/view", sys), "");
        EXPECT_EQ(openWithProgram({text, 9}, "", sys), ""); // the chooser was cancelled
        EXPECT_EQ(sys.started, (std::vector<Words>{{"ed", text, "-n9"}, {"/opt/v w/view", text}}));
        sys.startWorks = false;
        EXPECT_EQ(openDefaultViewer({text, 9}, options, sys), "Error -1 shelling\n ed %PATH% -n%LINE%");
        EXPECT_EQ(openWithProgram({text, 9}, "/opt/v w/view", sys), "Error -1 shelling\n /opt/v w/view");
        options.defaultViewer = "";
        EXPECT_EQ(openDefaultViewer({text, 9}, options, sys), "No Default Viewer is set.");
    }
    {
        FakeSystem sys;
        const ViewerTarget hit{text, 0, true, 0x1F0, 4};
        const std::string missing = openBinaryViewer(hit, sys);
        EXPECT_EQ(missing.substr(0, missing.find('\n')), "Byteglass could not be found.");
        EXPECT_NE(missing.find("https://"), std::string::npos);
        EXPECT_TRUE(sys.started.empty());
        sys.hexViewer = "/usr/local/bin/BYTEGLASS";
        EXPECT_EQ(openBinaryViewer(hit, sys), "");
        EXPECT_EQ(sys.started, (std::vector<Words>{{"/usr/local/bin/BYTEGLASS", text, "-S496", "-E500"}}));
        sys.startWorks = false;
        EXPECT_EQ(openBinaryViewer(hit, sys), missing);
    }
}

TEST(ViewerCommands, AMemberIsGivenToTheViewerAsACopyOfItsOwn)
{
    TempDir data, dir;
    const std::string archive = dir.file("a.zip");
    ASSERT_TRUE(test::writeArchive(archive, "zip", {{"m/x.txt", "member text"}}));
    writeFile(dir.file("bad.zip"), "PK"); // not an archive: reading it fails
    ProgramOptions options;
    std::string file = "stale";
    EXPECT_EQ(viewerFile("/d/plain.txt", "", options, realFileSystem(), realFileOps(), data.path(), &file), "");
    EXPECT_EQ(file, "/d/plain.txt");
    EXPECT_EQ(viewerFile("m/x.txt", archive, options, realFileSystem(), realFileOps(), data.path(), &file), "");
    EXPECT_EQ(file, data.file("view/TWV1.txt"));
    EXPECT_EQ(test::readFile(file), "member text");
    options.maxMemberBytes = 5;
    EXPECT_NE(viewerFile("m/x.txt", archive, options, realFileSystem(), realFileOps(), data.path(), &file), "");
    EXPECT_NE(viewerFile("m/x.txt", dir.file("bad.zip"), options, realFileSystem(), realFileOps(), data.path(), &file),
              "");
    EXPECT_EQ(file, "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data.file("view")), {}), 1);
}

// Everything written to the FIFO `fd` (opened for reading, without waiting) by the one
// writer that comes; "" when none comes within a generous while.
std::string readWhatIsWritten(int fd)
{
    std::string out;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0)
            return out;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EAGAIN)
            return out;
    }
}

Words splitAtNul(const std::string& s)
{
    Words words;
    size_t from = 0;
    for (size_t nul; (nul = s.find('\0', from)) != std::string::npos; from = nul + 1)
        words.push_back(s.substr(from, nul - from));
    return words;
}

TEST(ViewerCommands, HostilePathsReachAStartedProgramAsOneArgumentAndRunNothing)
{
    TempDir dir, files;
    const std::string out = dir.file("args");
    const std::string recorder = dir.file("my viewer/rec");
    writeFile(recorder, "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + out + "'\n");
    ASSERT_EQ(::chmod(recorder.c_str(), 0755), 0);
    ProgramOptions options;
    options.defaultViewer = "\"" + recorder + "\" --line=%LINE% %PATH%";

    const Words names = {"my file.txt", "it's \"q\".txt", "$(touch x).txt", "`touch x`.txt", "a\nb.txt",
                         "-n.txt", ";touch x;", "'$(touch x)'", "\\x\\"};
    QtViewerSystem system;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string path = files.file(name);
        writeFile(path, "data");
        ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
        const int fd = ::open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(openDefaultViewer({path, 4}, options, system), "");
        EXPECT_EQ(splitAtNul(readWhatIsWritten(fd)), (Words{"--line=4", path}));
        ::close(fd);
        ::unlink(out.c_str());
    }
    // A relative name beginning with "-" goes as "./-..." through a program picked by hand.
    ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
    const int fd = ::open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(openWithProgram({"-rf x", 1}, recorder, system), "");
    EXPECT_EQ(splitAtNul(readWhatIsWritten(fd)), Words{"./-rf x"});
    ::close(fd);

    for (const std::string& where : {dir.path(), files.path(), std::filesystem::current_path().string() + "/",
                                     dir.file("my viewer/")})
        EXPECT_FALSE(std::filesystem::exists(where + "x")) << where;

    std::string error;
    EXPECT_FALSE(system.start({dir.file("no such program")}, dir.path(), &error));
    EXPECT_NE(error, "");
    EXPECT_EQ(openWithProgram({files.file("my file.txt"), 1}, dir.file("none"), system),
              "Error -1 shelling\n " + dir.file("none"));
}

// Sets PATH while it lives.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& path) : m_old(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", path.c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", m_old.c_str(), 1); }

private:
    std::string m_old;
};

TEST(ViewerCommands, AssociationIsAskedOfXdgMimeAndItsAnswerChecked)
{
    TempDir bin, files;
    // A stand-in for xdg-mime: the type is named in a file beside it, the program for
    // "text/plain" is fixed, and what it was asked is kept.
    writeFile(bin.file("xdg-mime"), "#!/bin/sh\n"
                                    "printf '%s\\n' \"$@\" >> '" + bin.file("asked") + "'\n"
                                    "if [ \"$2\" = filetype ]; then cat '" + bin.file("type") + "'; exit 0; fi\n"
                                    "if [ \"$3\" = text/plain ]; then printf 'org.example.Ed.desktop\\nmore\\n'; fi\n");
    writeFile(bin.file("BYTEGLASS"), "#!/bin/sh\n");
    ASSERT_EQ(::chmod(bin.file("xdg-mime").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(bin.file("BYTEGLASS").c_str(), 0755), 0);
    const std::string file = files.file("a $(b).txt");
    writeFile(file, "x");
    ScopedPath path(bin.path() + ":/usr/bin:/bin");
    QtViewerSystem system;
    struct Case {
        std::string type, program;
    };
    for (const Case& c : std::vector<Case>{{"text/plain\n", "org.example.Ed.desktop"},
                                           {"text/html\n", ""},
                                           {"text/plain; x\n", ""},
                                           {"\n", ""},
                                           {"../../plain\n", ""}}) {
        writeFile(bin.file("type"), c.type);
        std::filesystem::remove(bin.file("asked"));
        EXPECT_EQ(system.associatedProgram(file), c.program) << c.type;
        const std::string asked = test::readFile(bin.file("asked"));
        EXPECT_EQ(asked.substr(0, asked.find('\n', asked.find('\n') + 1) + 1), "query\nfiletype\n") << asked;
        EXPECT_NE(asked.find("\n" + file + "\n"), std::string::npos) << asked;
    }
    EXPECT_EQ(system.findProgram(kBinaryViewerName), bin.file("BYTEGLASS"));
    EXPECT_FALSE(system.openWithDefaultAction(file)); // no opener was handed in
    Words opened;
    QtViewerSystem withOpener([&](const std::string& p) {
        opened.push_back(p);
        return true;
    });
    EXPECT_TRUE(withOpener.openWithDefaultAction(file));
    EXPECT_EQ(opened, Words{file});
}

} // namespace
} // namespace tw
