// What tarnwick-cli writes to standard output besides its plain lines: colours on a
// terminal (and nowhere else, so that pipes and files keep today's bytes), JSON Lines that
// a strict reader accepts and whose offsets point at the hits in the files, and the
// refusal of output options it does not know.
#include "JsonReader.h"
#include "cli/CliRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::CliProcess;
using test::CliResult;
using test::Json;
using test::JsonReader;
using test::readFile;
using test::TempDir;
using test::writeFile;

class CliOutput : public test::PrivateDirsTest {
protected:
    CliResult run(const std::vector<std::string>& args) { return CliProcess(args).wait(); }

    // A few files of random bytes from pieces that make hits, line ends, tabs, bytes that
    // are not UTF-8 and characters that are; some files are binary. Returns name -> content.
    std::map<std::string, std::string> randomTree(std::mt19937& rng, const std::string& dir)
    {
        static const std::vector<std::string> pieces = {"ab", "a", "b", "c", " ", "\n", "\n", "\t",
                                                        "\xff", "\xc3\xa9", "aba", "xyz"};
        std::map<std::string, std::string> files;
        const int n = 2 + static_cast<int>(rng() % 5);
        for (int f = 0; f < n; ++f) {
            std::string content = rng() % 4 == 0 ? "\x01" : "";
            const int parts = static_cast<int>(rng() % 120);
            for (int i = 0; i < parts; ++i)
                content += pieces[rng() % pieces.size()];
            const std::string name = dir + "f" + std::to_string(f) + ".txt";
            writeFile(name, content);
            files[name] = content;
        }
        return files;
    }
    TempDir m_tree;
};

// Where `needle` occurs in `hay`, each search going on after the previous hit.
std::vector<size_t> hitsOf(const std::string& hay, const std::string& needle)
{
    std::vector<size_t> at;
    for (size_t p = 0; (p = hay.find(needle, p)) != std::string::npos; p += needle.size())
        at.push_back(p);
    return at;
}

// Checks one run's JSON Lines against the files and the expected hits; `replacement`, when
// not null, must be on every match.
void checkJsonRun(const std::string& out, const std::map<std::string, std::string>& files, const std::string& search,
                  const std::string* replacement)
{
    std::map<std::string, std::vector<size_t>> seen;
    std::string open; // the file between its begin and end
    long total = 0;
    bool summary = false;
    size_t from = 0;
    while (from < out.size()) {
        const size_t eol = out.find('\n', from);
        ASSERT_NE(eol, std::string::npos) << "unterminated last line";
        const std::string line = out.substr(from, eol - from);
        from = eol + 1;
        const std::optional<Json> msg = JsonReader::parse(line);
        ASSERT_TRUE(msg) << line;
        ASSERT_FALSE(summary) << "a message after the summary: " << line;
        const Json* type = msg->get("type");
        const Json* data = msg->get("data");
        ASSERT_TRUE(type && data) << line;
        if (type->text == "summary") {
            summary = true;
            ASSERT_TRUE(open.empty());
            const Json* stats = data->get("stats");
            ASSERT_TRUE(stats && data->get("elapsed_total")) << line;
            EXPECT_EQ(stats->get("matches")->integer(), total);
            EXPECT_EQ(stats->get("searches")->integer(), static_cast<long>(files.size()));
            continue;
        }
        const std::optional<std::string> path = test::jsonBytes(data->get("path"));
        ASSERT_TRUE(path && files.count(*path)) << line;
        if (type->text == "begin") {
            ASSERT_TRUE(open.empty()) << line;
            open = *path;
            continue;
        }
        ASSERT_EQ(open, *path) << line;
        if (type->text == "end") {
            EXPECT_EQ(data->get("stats")->get("matches")->integer(), static_cast<long>(seen[open].size())) << line;
            open.clear();
            continue;
        }
        ASSERT_EQ(type->text, "match") << line;
        const std::string& content = files.at(*path);
        const std::optional<std::string> lines = test::jsonBytes(data->get("lines"));
        const Json& sub = data->get("submatches")->items.at(0);
        const std::optional<std::string> found = test::jsonBytes(sub.get("match"));
        ASSERT_TRUE(lines && found) << line;
        const int64_t start = sub.get("start")->integer(), end = sub.get("end")->integer();
        const int64_t at = data->get("absolute_offset")->integer() + start;
        ASSERT_TRUE(0 <= start && start <= end && static_cast<size_t>(end) <= lines->size()) << line;
        ASSERT_TRUE(at >= 0 && static_cast<size_t>(at) + search.size() <= content.size()) << line;
        // The bytes at absolute_offset + start .. end are the hit, as shown in the line.
        EXPECT_EQ(content.substr(static_cast<size_t>(at), static_cast<size_t>(end - start)), search) << line;
        EXPECT_EQ(lines->substr(static_cast<size_t>(start), static_cast<size_t>(end - start)), *found) << line;
        const bool binary = !content.empty() && content[0] == '\x01';
        const Json* number = data->get("line_number");
        if (binary) {
            EXPECT_EQ(number->type, Json::Type::Null) << line;
        } else {
            EXPECT_EQ(number->integer(), 1 + std::count(content.begin(), content.begin() + at, '\n')) << line;
        }
        if (replacement) {
            EXPECT_EQ(test::jsonBytes(sub.get("replacement")), *replacement) << line;
        }
        seen[*path].push_back(static_cast<size_t>(at));
        ++total;
    }
    EXPECT_TRUE(summary);
    for (const auto& [name, content] : files)
        EXPECT_EQ(seen[name], hitsOf(content, search)) << name;
}

TEST_F(CliOutput, JsonLinesOfRandomRunsParseStrictlyAndPointAtTheHits)
{
    std::mt19937 rng(4711);
    const std::vector<std::string> searches = {"ab", "ba", "a b", "\xc3\xa9", "b\xff", "aa"};
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE(round);
        TempDir tree;
        const auto files = randomTree(rng, tree.path());
        const std::string search = searches[rng() % searches.size()];
        const bool replace = round % 4 == 3;
        std::vector<std::string> args{"/S" + search, "/P", tree.path() + "*.txt", "--json", "--threads",
                                      rng() % 2 ? "1" : "4"};
        const std::string replacement = "X\"\\\x7f";
        if (replace) {
            args.push_back("/R" + replacement);
            args.push_back("/n");
        }
        const CliResult r = run(args);
        long expected = 0;
        for (const auto& [name, content] : files)
            expected += static_cast<long>(hitsOf(content, search).size());
        EXPECT_EQ(r.status, expected > 0 ? 0 : 1) << r.err;
        checkJsonRun(r.out, files, search, replace ? &replacement : nullptr);
        if (replace) {
            for (const auto& [name, content] : files) {
                std::string want = content;
                const auto at = hitsOf(content, search);
                for (auto it = at.rbegin(); it != at.rend(); ++it)
                    want.replace(*it, search.size(), replacement);
                EXPECT_EQ(readFile(name), want) << name;
            }
        }
    }
}

// The output with every SGR sequence taken out.
std::string withoutEscapes(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\x1b' && i + 1 < s.size() && s[i + 1] == '[') {
            i = s.find('m', i);
            if (i == std::string::npos)
                break;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

TEST_F(CliOutput, PipesAndFilesKeepTheirBytesAndColoursOnlyMarkWhatTheHitTextsMarked)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        TempDir tree;
        randomTree(rng, tree.path());
        const std::vector<std::string> base{"/Sab", "/P", tree.path() + "*.txt"};
        const CliResult today = run(base);
        for (const char* choice : {"--color=never", "--color=auto"}) {
            std::vector<std::string> args = base;
            args.emplace_back(choice);
            const CliResult r = run(args);
            EXPECT_EQ(r.out, today.out) << choice;
            EXPECT_EQ(r.status, today.status) << choice;
        }
        std::vector<std::string> args = base;
        args.emplace_back("--color=always");
        const CliResult coloured = run(args);
        std::string plain = today.out;
        std::erase_if(plain, [](char c) { return c == '<' || c == '>'; });
        EXPECT_EQ(withoutEscapes(coloured.out), plain);
        // Every coloured part ends before its line does.
        for (size_t p = 0; (p = coloured.out.find("\x1b[38;2;", p)) != std::string::npos; ++p) {
            const size_t reset = coloured.out.find("\x1b[0m", p);
            EXPECT_LT(reset, coloured.out.find('\n', p));
        }
        if (today.status == 0) {
            EXPECT_NE(coloured.out.find("\x1b[38;2;255;0;0mab\x1b[0m"), std::string::npos) << coloured.out;
        }
    }
}

// Runs tarnwick-cli with standard output on a new pseudo-terminal and gives back what it
// showed there; NO_COLOR is unset unless `env` sets it.
std::string runOnTerminal(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return "no terminal";
    const std::string slave = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(master);
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        ::dup2(fd, STDOUT_FILENO);
        std::freopen("/dev/null", "r", stdin);
        std::freopen("/dev/null", "w", stderr);
        ::unsetenv("NO_COLOR");
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        test::execCli(args);
    }
    // Read until the terminal's other side is closed by the program's end.
    std::string out;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(master, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    ::waitpid(pid, nullptr, 0);
    ::close(master);
    return out;
}

TEST_F(CliOutput, AutoColoursATerminalUnlessItIsDumbOrNoColorIsSet)
{
    writeFile(m_tree.file("a.txt"), "x ab y\n");
    const std::vector<std::string> args{"/Sab", "/P", m_tree.path() + "*.txt"};
    const std::string hit = "\x1b[38;2;255;0;0mab\x1b[0m";
    const struct {
        std::vector<std::pair<std::string, std::string>> env;
        bool coloured;
    } cases[] = {
        {{{"TERM", "xterm"}}, true},
        {{{"TERM", "xterm"}, {"NO_COLOR", ""}}, true},
        {{{"TERM", "xterm"}, {"NO_COLOR", "1"}}, false},
        {{{"TERM", "dumb"}}, false},
    };
    for (const auto& c : cases) {
        const std::string out = runOnTerminal(args, c.env);
        SCOPED_TRACE(testing::PrintToString(out));
        EXPECT_NE(out.find("ab"), std::string::npos);
        EXPECT_EQ(out.find(hit) != std::string::npos, c.coloured);
        EXPECT_EQ(out.find('\x1b') != std::string::npos, c.coloured);
    }
    // --color=never wins over the terminal, --json is never coloured.
    EXPECT_EQ(runOnTerminal({"/Sab", "/P", m_tree.path() + "*.txt", "--color=never"}, {{"TERM", "xterm"}}).find('\x1b'),
              std::string::npos);
    EXPECT_EQ(runOnTerminal({"/Sab", "/P", m_tree.path() + "*.txt", "--json", "--color=always"}, {{"TERM", "xterm"}})
                  .find('\x1b'),
              std::string::npos);
}

TEST_F(CliOutput, UnknownOutputOptionsAreRefusedAndNeverTakenForPathsOrTexts)
{
    writeFile(m_tree.file("a.txt"), "foo --frobnicate\n");
    const std::string all = m_tree.path() + "*.txt";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"/Sfoo", "/Rbar", "/P", all, "/n", "--color=sometimes"}, "--color=sometimes: the colour choice is one of"},
        {{"--color", "/Sfoo", "/Rbar", "/P", all, "/n"}, "--color: the colour choice is one of"},
        {{"/Sfoo", "/Rbar", "/P", all, "/n", "--color="}, "--color=: the colour choice is one of"},
        {{"/Sfoo", "/Rbar", "--frobnicate", "/P", all, "/n"}, "Unknown option \"--frobnicate\""},
        {{"--frobnicate", "/Sfoo", "/Rbar", "/P", all, "/n"}, "Unknown option \"--frobnicate\""},
        {{"/Sfoo", "/Rbar", "/P", all, "/n", "--json=yes"}, "Unknown option \"--json=yes\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(readFile(m_tree.file("a.txt")), "foo --frobnicate\n");
    }
    // As the value of a switch, the same word is a search text.
    const CliResult search = run({"/S", "--frobnicate", "/P", all});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find("<--frobnicate>"), std::string::npos) << search.out;
}

} // namespace
} // namespace tw
