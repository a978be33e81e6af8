// Search and listing runs over archives, built by the tests with libarchive's writer:
// the member rules (masks, filters, order, texts), and hostile archives that must neither
// write anything, follow anything, hang nor end the run.
#include "core/KeptBytes.h"
#include "core/RunDriver.h"
#include "results/ResultText.h"
#include "results/ResultsList.h"

#include "FakeHost.h"
#include "ScratchWrappingFs.h"
#include "TestArchives.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw {
namespace {

using test::TempDir;

using test::Kind;
using test::Member;
using test::writeArchive;

class RecordingHost : public test::FakeHost {
public:
    void progress(const std::string& text) override { progressTexts.push_back(text); }
    std::vector<std::string> progressTexts;
};

struct ArchiveRun {
    RecordingHost host;
    MemoryResultsView view;
    ResultsList results;
    RunDriver driver{host, results};
    ArchiveRun() { results.setView(&view); }

    RunOutcome run(const std::string& text, const std::string& path, const std::string& mask,
                   const std::function<void(SearchRequest&)>& tweak = {})
    {
        SearchRequest req;
        SearchPair pair;
        pair.searchText = text;
        req.pairs.push_back(pair);
        req.pathMasks.push_back({path, mask});
        req.quiet = true;
        req.options.maxRegexSize = 32767;
        req.blockSize = 4096;
        if (tweak)
            tweak(req);
        return text.empty() ? driver.ListFilesOnly(req) : driver.ExecuteRun(req);
    }
    // run(), stopped by a watchdog after `seconds`: a run still busy then ends Stopped
    // rather than holding up the tests for hours.
    RunOutcome runWithin(int seconds, const std::string& text, const std::string& path, const std::string& mask,
                         const std::function<void(SearchRequest&)>& tweak = {})
    {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(m);
            if (!cv.wait_for(lock, std::chrono::seconds(seconds), [&] { return done; }))
                driver.requestStop();
        });
        const RunOutcome outcome = run(text, path, mask, tweak);
        {
            std::lock_guard<std::mutex> lock(m);
            done = true;
        }
        cv.notify_one();
        watchdog.join();
        return outcome;
    }
    // Lines in their output form, markers left out.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const ResultEntry& e : view.lines)
            out.push_back(outputForm(e.text, "", ""));
        return out;
    }
    bool hasLine(const std::string& line) const
    {
        const auto l = lines();
        return std::find(l.begin(), l.end(), line) != l.end();
    }
    long linesStartingWith(const std::string& prefix) const
    {
        long n = 0;
        for (const std::string& l : lines())
            n += l.rfind(prefix, 0) == 0;
        return n;
    }
    std::string all() const
    {
        std::string s;
        for (const std::string& l : lines())
            s += l + "\n";
        return s;
    }
};

// Every entry below `dir`, as relative paths (links not followed).
std::vector<std::string> treeOf(const std::string& dir)
{
    std::vector<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(dir); it != std::filesystem::end(it); ++it)
        out.push_back(std::filesystem::relative(it->path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ArchiveRun, MembersPassTheFileMaskAndReadArchiveBarMember)
{
    TempDir dir;
    test::ScopedTmpDir tmp;
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip",
                             {{"doc/", "", Kind::Dir}, {"doc/x.txt", "one needle\n"}, {"y.bin", "needle"}}));
    const auto before = treeOf(dir.path());
    ArchiveRun r;
    EXPECT_EQ(r.run("needle", dir.path(), "*.txt"), RunOutcome::Completed);
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"Processing file : " + dir.file("a.zip") + " | doc/x.txt",
                                                   "Line   1 - one needle", "Found 1 occurrences.",
                                                   "Searched 1 file(s), found 1 occurrences in 1 file(s)"}));
    // The file line and the hit line both name the member and its archive; the hit's
    // offset is in the member.
    for (const int k : {0, 1}) {
        EXPECT_EQ(r.view.lines[k].archivePath, dir.file("a.zip"));
        EXPECT_EQ(r.view.lines[k].path, "doc/x.txt");
    }
    EXPECT_EQ(r.view.lines[1].fileOffset, 4);
    // Nothing was unpacked anywhere: the tree and the temporary directory are as before.
    EXPECT_EQ(treeOf(dir.path()), before);
    EXPECT_TRUE(treeOf(tmp.path()).empty());
}

// A member that begins with a UTF-16 mark is searched as text in both byte orders, decoded
// as it comes out of the archive; with "Detect UTF-16" off it is bytes.
TEST(ArchiveRun, Utf16MembersAreSearchedAsText)
{
    auto utf16 = [](const std::string& ascii, bool big) {
        std::string s = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : ascii)
            s += big ? std::string{'\0', c} : std::string{c, '\0'};
        return s;
    };
    TempDir dir;
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip",
                             {{"le.txt", utf16("one\r\ntwo needle\r\n", false)},
                              {"be.txt", utf16("needle\n", true)}}));
    for (bool detect : {true, false}) {
        ArchiveRun r;
        r.run("needle", dir.path(), "*.txt", [&](SearchRequest& req) { req.options.detectUtf16 = detect; });
        if (detect) {
            EXPECT_TRUE(r.hasLine("Line   2 - two needle"));
            EXPECT_TRUE(r.hasLine("Line   1 - needle"));
            EXPECT_TRUE(r.hasLine("Searched 2 file(s), found 2 occurrences in 2 file(s)"));
        } else {
            EXPECT_TRUE(r.hasLine("Searched 2 file(s), found 0 occurrences in 0 file(s)"));
        }
    }
}

TEST(ArchiveRun, MemberMasksDecideWhichMembersAreSearched)
{
    TempDir dir;
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip",
                             {{"k.txt", "needle"}, {"old.bak", "needle"}, {"src/m.c", "needle"}, {"top.c", "needle"}}));
    struct Case {
        const char* mask;
        const char* zipFileMask;
        long searched;
        bool bakSearched;
    } cases[] = {
        // "*.*" takes a.zip itself as a file as well.
        {"*.*;~*.bak", "", 4, false}, // the exclusion keeps the .bak member out
        {"*.*", "", 5, true},
        {"*.txt", "*.c", 2, false},   // "ZIP File Mask" replaces the run's mask inside archives
        {"*.bak", "", 1, true},
    };
    for (const Case& c : cases) {
        ArchiveRun r;
        r.run("needle", dir.path(), c.mask, [&](SearchRequest& q) { q.zipFileMask = c.zipFileMask; });
        EXPECT_EQ(r.driver.counters().filesSearched, c.searched) << c.mask << " / " << c.zipFileMask;
        EXPECT_EQ(r.linesStartingWith("Processing file : " + dir.file("a.zip") + " | old.bak"), c.bakSearched ? 1 : 0)
            << c.mask << "\n" << r.all();
    }
}

TEST(ArchiveRun, MembersPassTheDateAndSizeFiltersWithTheirOwnStamps)
{
    TempDir dir;
    Member oldOne{"old.txt", "needle"};
    oldOne.mtime = 946684800; // 2000-01-01
    Member big{"big.txt", std::string(5000, 'x') + "needle"};
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip", {oldOne, big, {"new.txt", "needle"}}));
    // The archive file itself is young and small; only the members' own values count.
    ArchiveRun r;
    r.run("needle", dir.path(), "*.txt", [](SearchRequest& q) {
        q.options.minDate = (1262304000LL + kFileTimeEpochToUnixSeconds) * kFileTimeTicksPerSecond; // 2010
        q.options.maxSize = 1000;
    });
    EXPECT_EQ(r.driver.counters().filesSearched, 1) << r.all();
    EXPECT_TRUE(r.hasLine("Processing file : " + dir.file("a.zip") + " | new.txt")) << r.all();
}

TEST(ArchiveRun, OrdinaryFilesComeFirstThenEachArchiveWithItsProgress)
{
    TempDir dir;
    test::writeFile(dir.file("plain.txt"), "needle");
    test::writeFile(dir.file("s/plain2.txt"), "needle");
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip", {{"m1.txt", "needle"}, {"m2.txt", "needle"}}));
    ASSERT_TRUE(writeArchive(dir.file("s/b.zip"), "zip", {{"m3.txt", "needle"}}));
    ArchiveRun r;
    r.run("needle", dir.path(), "*.txt", [](SearchRequest& q) { q.searchSubdirectories = true; });
    std::vector<std::string> files;
    for (const std::string& l : r.lines())
        if (l.rfind("Processing file : ", 0) == 0)
            files.push_back(l.substr(18));
    EXPECT_EQ(files, (std::vector<std::string>{dir.file("plain.txt"), dir.file("s/plain2.txt"),
                                               dir.file("a.zip") + " | m1.txt", dir.file("a.zip") + " | m2.txt",
                                               dir.file("s/b.zip") + " | m3.txt"}));
    EXPECT_TRUE(r.hasLine("Searched 5 file(s), found 5 occurrences in 5 file(s)"));
    EXPECT_EQ(r.driver.counters().archivesDone, 2);
    long first = 0, second = 0, extracting = 0;
    for (const std::string& p : r.host.progressTexts) {
        first += p.rfind("Processing ZIP files, 2 files left (", 0) == 0;
        second += p.rfind("Processing ZIP files, 1 files left (", 0) == 0;
        extracting += p == "Processing ZIP file - extracting";
    }
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(extracting, 2);
}

TEST(ArchiveRun, ListingNamesMembersFromTheDirectoryWithoutDirectoryEntries)
{
    TempDir dir;
    test::writeFile(dir.file("plain.txt"), "x");
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip",
                             {{"d/", "", Kind::Dir}, {"d/x.txt", "x"}, {"y.txt", "y"}, {"z.bin", "z"}}));
    ArchiveRun r;
    EXPECT_EQ(r.run("", dir.path(), "*.txt"), RunOutcome::Completed);
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"Processing file : " + dir.file("plain.txt"),
                                                   "Processing file : " + dir.file("a.zip") + " | .zip/d/x.txt",
                                                   "Processing file : " + dir.file("a.zip") + " | .zip/y.txt",
                                                   "Found 3 files in 1 directories"}));
    // With "Search Zips" off the archive stays shut.
    ArchiveRun off;
    off.run("", dir.path(), "*.txt", [](SearchRequest& q) { q.searchZips = false; });
    EXPECT_EQ(off.driver.counters().filesListed, 1);
}

TEST(ArchiveRun, ReplaceRunsNeverOpenArchives)
{
    TempDir dir;
    test::ScopedTmpDir tmp;
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip-stored", {{"x.txt", "needle"}}));
    const std::string before = test::readFile(dir.file("a.zip"));
    ArchiveRun r;
    r.run("needle", dir.path(), "*.txt", [&](SearchRequest& q) {
        q.replaceMode = true;
        q.pairs[0].replaceText = "thread";
        q.options.backupPath = dir.file("bak");
    });
    EXPECT_EQ(r.driver.counters().filesSearched, 0) << r.all();
    EXPECT_EQ(test::readFile(dir.file("a.zip")), before);
}

TEST(ArchiveRun, FormatsNamedInTheZipMaskAreRead)
{
    TempDir dir;
    const std::vector<Member> members{{"in/x.txt", "a needle here"}};
    for (const char* f : {"zip", "tar", "tar.gz", "7z"})
        ASSERT_TRUE(writeArchive(dir.file(std::string("a.") + f), f, members)) << f;
    ArchiveRun r;
    r.run("needle", dir.path(), "*.txt", [](SearchRequest& q) { q.zipMask = "*.zip;*.7z;*.tar;*.tar.gz"; });
    for (const char* f : {"zip", "tar", "tar.gz", "7z"})
        EXPECT_TRUE(r.hasLine("Processing file : " + dir.file(std::string("a.") + f) + " | in/x.txt")) << f << r.all();
    EXPECT_TRUE(r.hasLine("Searched 4 file(s), found 4 occurrences in 4 file(s)")) << r.all();
}

// Names that would escape a scratch directory, or confuse a display, are only shown.
TEST(ArchiveRun, HostileNamesAreShownAndNeverWritten)
{
    TempDir root;
    const std::string dir = root.file("in/");
    std::filesystem::create_directories(dir);
    struct Case {
        std::string name;
        std::string shown{}; // the member part of the file line
    } cases[] = {
        {"../escape.txt", "../escape.txt"},
        {"../../escape2.txt", "../../escape2.txt"},
        {"/tmp/tw-absolute.txt", "/tmp/tw-absolute.txt"},
        {"back\\slash\\..\\x.txt", "back\\slash\\..\\x.txt"}, // the zip writer stores "/" for "\\"
        {"ctl\x01\x1b[2Jname.txt", "ctl??[2Jname.txt"},
        {"bad\xff\xfe.txt", "bad\xff\xfe.txt"},
        {"dup.txt", "dup.txt"},
    };
    for (const char* format : {"zip", "tar"}) {
        std::vector<Member> members;
        for (const Case& c : cases)
            members.push_back({c.name, "needle"});
        members.push_back({"dup.txt", "needle"}); // the same name twice: both are searched
        members.push_back({"link.txt", "", Kind::Symlink, "/etc/passwd"});
        members.push_back({"hard.txt", "", Kind::Hardlink, "dup.txt"});
        const std::string archive = dir + "h." + format;
        ASSERT_TRUE(writeArchive(archive, format, members)) << format;
        const auto before = treeOf(root.path());
        ArchiveRun r;
        r.run("needle", dir, "*.txt", [](SearchRequest& q) { q.zipMask = "*.zip;*.tar"; });
        SCOPED_TRACE(format + std::string("\n") + r.all());
        for (const Case& c : cases) {
            std::string slashed = c.shown;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            EXPECT_EQ(r.linesStartingWith("Processing file : " + archive + " | " + c.shown) +
                          (slashed != c.shown ? r.linesStartingWith("Processing file : " + archive + " | " + slashed) : 0),
                      c.name == "dup.txt" ? 2 : 1)
                << c.name;
        }
        // Links are neither followed nor searched.
        EXPECT_EQ(r.linesStartingWith("Processing file : " + archive + " | link.txt"), 0);
        EXPECT_EQ(r.linesStartingWith("Processing file : " + archive + " | hard.txt"), 0);
        // A zip archive has no hard links: the writer stored "hard.txt" as an empty file.
        EXPECT_EQ(r.driver.counters().filesSearched, std::string(format) == "zip" ? 9 : 8);
        EXPECT_EQ(treeOf(root.path()), before);
        EXPECT_FALSE(std::filesystem::exists("/tmp/tw-absolute.txt"));
        std::filesystem::remove(archive);
    }
}

// A broken archive gets an error line; the archives after it are still searched.
TEST(ArchiveRun, BrokenArchivesGiveAnErrorLineAndTheRunGoesOn)
{
    struct Case {
        const char* label;
        const char* format;
        std::function<void(std::string&)> damage{};
    } cases[] = {
        {"zip cut in the middle", "zip", [](std::string& b) { b.resize(b.size() / 2); }},
        {"tar.gz cut in the middle", "tar.gz", [](std::string& b) { b.resize(b.size() / 2); }},
        {"tar cut inside the data", "tar", [](std::string& b) { b.resize(512 + 100); }},
        {"not an archive at all", "zip", [](std::string& b) { b.assign(3000, '\x5a'); }},
        {"compressed data overwritten", "zip",
         [](std::string& b) {
             for (size_t i = 40; i < 200 && i < b.size(); ++i)
                 b[i] = static_cast<char>(i * 7);
         }},
        {"sizes claimed larger than the data", "zip-stored",
         [](std::string& b) {
             // The uncompressed size of the local header and the central directory: 16 MiB,
             // within the bounds of a member's size, so that the member is read.
             for (size_t p = 0; (p = b.find("PK", p)) != std::string::npos; p += 2) {
                 const size_t field = b.compare(p, 4, "PK\x03\x04") == 0 ? 22
                                      : b.compare(p, 4, "PK\x01\x02") == 0 ? 24
                                                                           : 0;
                 if (field && p + field + 4 <= b.size())
                     b.replace(p + field, 4, "\x00\x00\x00\x01", 4);
             }
         }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ASSERT_TRUE(writeArchive(dir.file("a.zip"), c.format,
                                 {{"x.txt", std::string(20000, 'q') + "needle"}, {"y.txt", "needle"}}));
        std::string bytes = test::readFile(dir.file("a.zip"));
        c.damage(bytes);
        test::writeFile(dir.file("a.zip"), bytes);
        ASSERT_TRUE(writeArchive(dir.file("b.zip"), "zip", {{"good.txt", "needle"}}));
        ArchiveRun r;
        EXPECT_EQ(r.run("needle", dir.path(), "*.txt"), RunOutcome::Completed) << c.label;
        EXPECT_TRUE(r.hasLine("Processing file : " + dir.file("b.zip") + " | good.txt")) << c.label << "\n" << r.all();
        EXPECT_GE(r.linesStartingWith("Error reading file " + dir.file("a.zip")), 1) << c.label << "\n" << r.all();
    }
}

TEST(ArchiveRun, EncryptedMembersAreNamedAndSkipped)
{
    TempDir dir;
    if (!writeArchive(dir.file("a.zip"), "zip", {{"secret.txt", "needle"}}, "zip:encryption=zipcrypt"))
        GTEST_SKIP() << "this libarchive writes no encrypted zip archives";
    ASSERT_TRUE(writeArchive(dir.file("b.zip"), "zip", {{"open.txt", "needle"}}));
    for (const char* text : {"needle", ""}) {
        ArchiveRun r;
        r.run(text, dir.path(), "*.txt");
        if (*text) {
            EXPECT_TRUE(r.hasLine("Skipped encrypted file " + dir.file("a.zip") + " | secret.txt")) << r.all();
            EXPECT_TRUE(r.hasLine("Searched 1 file(s), found 1 occurrences in 1 file(s)")) << r.all();
        } else {
            // Listing reads no data, so the encrypted member is listed like any other.
            EXPECT_TRUE(r.hasLine("Processing file : " + dir.file("a.zip") + " | .zip/secret.txt")) << r.all();
        }
    }
}

// An archive inside an archive is one member's bytes: searched, not descended into.
TEST(ArchiveRun, NestedArchivesAreSearchedAsBytes)
{
    TempDir dir;
    TempDir work;
    ASSERT_TRUE(writeArchive(work.file("inner.zip"), "zip-stored", {{"deep.txt", "needle"}}));
    ASSERT_TRUE(writeArchive(dir.file("outer.zip"), "zip", {{"inner.zip", test::readFile(work.file("inner.zip"))}}));
    ArchiveRun r;
    r.run("needle", dir.path(), "*.*");
    EXPECT_TRUE(r.hasLine("Processing file : " + dir.file("outer.zip") + " | inner.zip")) << r.all();
    EXPECT_EQ(r.linesStartingWith("Processing file : " + dir.file("outer.zip") + " | deep.txt"), 0);
    EXPECT_EQ(r.driver.counters().filesSearched, 2); // outer.zip as a file, and its member
}

// An archive file that hands out a few bytes per read, as it may: the decoder then often
// takes input and gives nothing back yet. Every member still reads whole, in every format.
class TrickleFile final : public File {
public:
    explicit TrickleFile(std::unique_ptr<File> inner) : m_inner(std::move(inner)) {}
    int64_t read(void* buffer, size_t count) override { return m_inner->read(buffer, std::min<size_t>(count, 7)); }
    bool write(const void*, size_t) override { return false; }
    bool seek(int64_t offset) override { return m_inner->seek(offset); }
    int64_t position() override { return m_inner->position(); }
    bool truncate(int64_t) override { return false; }
    bool sync() override { return false; }
    const std::string& path() const override { return m_inner->path(); }
    bool status(FileStatus* out) override { return m_inner->status(out); }

private:
    std::unique_ptr<File> m_inner;
};

TEST(ArchiveRun, MembersReadWholeWhenTheArchiveComesInSmallPieces)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i * 7919 % 10007) + " of the member\n";
    for (const char* format : {"zip", "tar.gz", "7z"}) {
        ASSERT_TRUE(writeArchive(dir.file("a.arc"), format, {{"a.txt", text}, {"b.txt", text + "b"}}));
        std::string why;
        auto reader = ArchiveReader::open(std::make_unique<TrickleFile>(realFileSystem().openRead(dir.file("a.arc"))),
                                          &why);
        ASSERT_TRUE(reader) << why;
        ArchiveMember member;
        int members = 0;
        while (reader->next(&member) == ArchiveReader::Step::Member) {
            std::string got;
            char buffer[1000];
            int64_t n;
            while ((n = reader->read(buffer, sizeof buffer)) > 0)
                got.append(buffer, static_cast<size_t>(n));
            EXPECT_EQ(n, 0) << format;
            EXPECT_EQ(got, member.name == "a.txt" ? text : text + "b") << format << " " << member.name;
            ++members;
        }
        EXPECT_EQ(members, 2) << format;
    }
}

// A member that expands far beyond memory is scanned as a stream; the hit at its very end
// is found and the run goes on to the next archive.
TEST(ArchiveRun, AMemberExpandingToGigabytesIsSearchedAsAStream)
{
    TempDir dir;
    Member bomb{"bomb.txt", "\nthe needle at the end\n"};
    bomb.zerosBefore = int64_t(2) << 30; // 2 GiB of zeros, a few megabytes compressed
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip", {bomb}));
    ASSERT_LT(std::filesystem::file_size(dir.file("a.zip")), 16u << 20);
    ASSERT_TRUE(writeArchive(dir.file("b.zip"), "zip", {{"after.txt", "needle"}}));
    ArchiveRun r;
    r.run("needle", dir.path(), "*.txt", [](SearchRequest& q) { q.blockSize = 102400; });
    EXPECT_TRUE(r.hasLine("Offset 0x80000005 - the needle at the end")) << r.all();
    EXPECT_TRUE(r.hasLine("Searched 2 file(s), found 2 occurrences in 2 file(s)")) << r.all();
}

// A member that would expand beyond its bounds (bytes, or a multiple of its archive's
// size) is named in an error line and not read; the run goes on. A sparse tar of a few
// kilobytes that claims a petabyte once kept a search busy for hours.
TEST(ArchiveRun, OversizedMembersAreSkippedByName)
{
    TempDir dir;
    const int64_t petabyte = int64_t(1) << 50;
    test::writeFile(dir.file("a.tar"),
                    test::sparseTar("big.txt", petabyte, {{0, "needle\n"}, {petabyte - 7, "needle\n"}}));
    Member zeros{"zeros.txt", "needle"};
    zeros.zerosBefore = 4 << 20; // about a thousand times the size of its archive
    ASSERT_TRUE(writeArchive(dir.file("b.zip"), "zip", {zeros}));
    const auto tarLimit = std::to_string(std::filesystem::file_size(dir.file("a.tar")) * 10000);
    const std::string bigSkipped =
        "Skipped oversized file " + dir.file("a.tar") + " | big.txt (expands beyond " + tarLimit + " bytes)";
    const std::string zerosSkipped = "Skipped oversized file " + dir.file("b.zip") + " | zeros.txt (expands beyond ";
    auto archives = [](SearchRequest& q) { q.zipMask = "*.zip;*.tar"; };

    ArchiveRun r;
    EXPECT_EQ(r.runWithin(20, "needle", dir.path(), "*.txt", archives), RunOutcome::Completed);
    EXPECT_TRUE(r.hasLine(bigSkipped)) << r.all();
    EXPECT_EQ(r.linesStartingWith(zerosSkipped), 0) << r.all();
    EXPECT_TRUE(r.hasLine("Searched 1 file(s), found 1 occurrences in 1 file(s)")) << r.all();
    EXPECT_EQ(r.driver.counters().fileErrors, 1);

    // Tighter bounds from the settings, each alone, also skip the compressed member.
    for (const auto& [bytes, ratio] : {std::pair<int64_t, int64_t>{0, 100}, {1 << 20, 0}}) {
        ArchiveRun tight;
        tight.runWithin(20, "needle", dir.path(), "*.txt", [&](SearchRequest& q) {
            archives(q);
            q.options.maxMemberBytes = bytes;
            q.options.maxMemberRatio = ratio;
        });
        EXPECT_EQ(tight.linesStartingWith(zerosSkipped), 1) << tight.all();
        EXPECT_TRUE(tight.hasLine("Searched 0 file(s), found 0 occurrences in 0 file(s)")) << tight.all();
    }
}

// The holes of a sparse member (here a terabyte before the second piece and another after
// it) are passed over, not read as zeros; the offsets after them stay right.
TEST(ArchiveRun, HolesOfSparseMembersArePassedOver)
{
    TempDir dir;
    const int64_t tebibyte = int64_t(1) << 40;
    test::writeFile(dir.file("a.tar"),
                    test::sparseTar("disk.img", 2 * tebibyte, {{0, "needle one\n"}, {tebibyte, "\nneedle two\n"}}));
    ArchiveRun r;
    EXPECT_EQ(r.runWithin(20, "needle", dir.path(), "*.img",
                          [](SearchRequest& q) {
                              q.zipMask = "*.tar";
                              q.options.maxMemberBytes = 0;
                              q.options.maxMemberRatio = 0;
                              q.blockSize = 102400;
                          }),
              RunOutcome::Completed);
    EXPECT_TRUE(r.hasLine("Offset 0x10000000001 - needle two")) << r.all();
    EXPECT_TRUE(r.hasLine("Searched 1 file(s), found 2 occurrences in 1 file(s)")) << r.all();
}

// Random sparse members give exactly the lines of the same bytes in an ordinary file, for
// patterns that reach into a hole from either side, that hit zeros alone (then nothing is
// passed over), in text and in binary members.
TEST(ArchiveRun, SparseMembersGiveTheHitsOfTheSameBytesInAFile)
{
    struct Pattern {
        std::string text, block;
        bool regex = false, wholeWord = false, caseSensitive = true;
    };
    const std::vector<Pattern> patterns = {
        {"needle", "", false, false, false},
        {"needle", "", false, true, true},
        {"ne+dle", "", true, false, true},
        {kBinaryPlaceholder, "\\0x00ne"},
        {kBinaryPlaceholder, "le\\0x00\\0x00"},
        {kBinaryPlaceholder, [] {
             std::string b;
             for (int i = 0; i < 64; ++i)
                 b += "\\0x00";
             return b;
         }()},
    };
    const std::vector<std::string> words = {"needle", "Needle", "\n", "x", " ", std::string(1, '\0'), "ne", "le"};
    std::mt19937 rng(20261210);
    for (int round = 0; round < 12; ++round) {
        const int64_t realSize = std::uniform_int_distribution<int64_t>(20000, 200000)(rng);
        std::vector<test::SparsePiece> pieces;
        int64_t at = round % 2 ? 0 : std::uniform_int_distribution<int64_t>(0, 30000)(rng);
        while (at < realSize - 200) {
            std::string data;
            const size_t want = std::uniform_int_distribution<size_t>(1, round % 2 ? 6000 : 300)(rng);
            while (data.size() < want) {
                // The odd rounds start with a long text piece: text members with line numbers.
                const std::string& w = words[std::uniform_int_distribution<size_t>(0, words.size() - 1)(rng)];
                if (!(round % 2 && pieces.empty() && w[0] == '\0'))
                    data += w;
            }
            data.resize(std::min<size_t>(data.size(), static_cast<size_t>(realSize - at)));
            pieces.push_back({at, data});
            at += static_cast<int64_t>(data.size()) + std::uniform_int_distribution<int64_t>(1, 40000)(rng);
        }
        TempDir dir, plain;
        test::writeFile(dir.file("a.tar"), test::sparseTar("m.img", realSize, pieces));
        test::writeFile(plain.file("m.img"), test::sparseBytes(realSize, pieces));
        for (const Pattern& p : patterns) {
            auto tweak = [&](SearchRequest& q) {
                q.zipMask = "*.tar";
                q.pairs[0].binarySearchBlock = p.block;
                q.pairs[0].regularExpression = p.regex;
                q.pairs[0].wholeWord = p.wholeWord;
                q.pairs[0].caseSensitive = p.caseSensitive;
            };
            ArchiveRun member, file;
            member.run(p.text, dir.path(), "*.img", tweak);
            file.run(p.text, plain.path(), "*.img", tweak);
            auto hitLines = [](const ArchiveRun& r) {
                std::vector<std::string> out;
                for (const std::string& l : r.lines())
                    if (l.rfind("Processing file : ", 0) != 0)
                        out.push_back(l);
                return out;
            };
            ASSERT_EQ(hitLines(member), hitLines(file)) << "round " << round << ", pattern " << p.text << p.block;
            ASSERT_GT(member.driver.counters().filesSearched, 0);
        }
    }
}

// A FIFO or a link named like an archive is never opened: the run ends at once.
TEST(ArchiveRun, AFifoOrLinkNamedLikeAnArchiveIsNeverOpened)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("x.zip").c_str(), 0644), 0);
    ASSERT_TRUE(writeArchive(dir.file("real.zip.data"), "zip", {{"m.txt", "needle"}}));
    ASSERT_EQ(::symlink(dir.file("real.zip.data").c_str(), dir.file("l.zip").c_str()), 0);
    ASSERT_TRUE(writeArchive(dir.file("y.zip"), "zip", {{"ok.txt", "needle"}}));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ArchiveRun r;
        r.run("needle", dir.path(), "*.txt");
        const bool ok = r.driver.counters().filesSearched == 1 &&
                        r.hasLine("Processing file : " + dir.file("y.zip") + " | ok.txt");
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 200 && (done = ::waitpid(child, &status, WNOHANG)) == 0; ++i)
        ::usleep(50000);
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the run hung on the FIFO";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ArchiveRun, AnUnreadableArchiveGivesAnErrorLine)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not keep root out";
    TempDir dir;
    ASSERT_TRUE(writeArchive(dir.file("a.zip"), "zip", {{"m.txt", "needle"}}));
    ASSERT_TRUE(writeArchive(dir.file("b.zip"), "zip", {{"ok.txt", "needle"}}));
    ::chmod(dir.file("a.zip").c_str(), 0);
    ArchiveRun r;
    r.run("needle", dir.path(), "*.txt");
    EXPECT_TRUE(r.hasLine("Error opening a.zip")) << r.all();
    EXPECT_TRUE(r.hasLine("Searched 1 file(s), found 1 occurrences in 1 file(s)")) << r.all();
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// Counts the opens of each path; the held-back and kept bytes' scratch files are counted too.
class CountingFs final : public test::ScratchWrappingFs {
public:
    std::unique_ptr<File> openRead(const std::string& p, int* e) override
    {
        ++opens[p];
        return ScratchWrappingFs::openRead(p, e);
    }
    std::map<std::string, int> opens;
    int scratches = 0;

protected:
    std::unique_ptr<File> wrapScratch(std::unique_ptr<File> inner) override
    {
        ++scratches;
        return inner;
    }
};

// Several pairs over an archive: each archive is opened once and each member read from it
// once, and the pairs find in the members what they find in the same files on disk, also
// in a member larger than the bytes kept in memory.
TEST(ArchiveRun, SeveralPairsReadEachMemberOnce)
{
    TempDir dir;
    // Beyond the bytes a keeper holds in memory, with a hit across the bound.
    std::string big(KeptBytes::kDefaultMemoryBytes + (1 << 20), 'x');
    for (size_t at : {size_t{100}, KeptBytes::kDefaultMemoryBytes - 3, big.size() - 10})
        big.replace(at, 6, "needle");
    for (size_t line = 4000; line < big.size(); line += 70001)
        big[line] = '\n';
    const std::vector<Member> members = {
        {"a.txt", "cat needle\nconcat\ncut cat\n"}, {"big.txt", big}, {"b.txt", "no hits here\n"}, {"c.txt", "cot"}};
    std::filesystem::create_directories(dir.file("arc"));
    ASSERT_TRUE(writeArchive(dir.file("arc/m.zip"), "zip", members));
    for (const Member& m : members)
        test::writeFile(dir.file("plain/" + m.name), m.data);

    auto search = [&](const std::string& path, size_t threads, CountingFs& fs) {
        test::FakeHost host;
        MemoryResultsView view;
        ResultsList results(fs);
        results.setView(&view);
        RunDriver driver(host, results, fs);
        SearchRequest req;
        for (const auto& [text, regex] : {std::pair{"needle", false}, {"cat", false}, {"c+[a-z]t", true}}) {
            SearchPair pair;
            pair.searchText = text;
            pair.regularExpression = regex;
            req.pairs.push_back(pair);
        }
        req.pathMasks.push_back({path, "*.txt"});
        req.searchZips = true;
        req.zipMask = "*.zip";
        req.quiet = true;
        req.threads = threads;
        req.blockSize = 4096;
        req.options.maxRegexSize = 32767;
        req.options.displayFileStats = true;
        EXPECT_EQ(driver.ExecuteRun(req), RunOutcome::Completed);
        std::vector<std::string> lines; // every field but the file's place
        for (const ResultEntry& e : view.lines)
            if (e.kind == LineKind::File)
                lines.push_back("file " + (e.archivePath.empty() ? std::filesystem::path(e.path).filename().string() : e.path));
            else if (e.kind != LineKind::Summary)
                lines.push_back(std::to_string(static_cast<int>(e.kind)) + "|" + e.text + "|" +
                                std::to_string(e.lineNumber) + "|" + std::to_string(e.fileOffset) + "|" +
                                std::to_string(e.hitColumn) + "|" + std::to_string(e.hitLength));
        return lines;
    };
    CountingFs plainFs;
    const std::vector<std::string> expect = search(dir.file("plain/"), 1, plainFs);
    ASSERT_GT(expect.size(), 12u);
    for (const size_t threads : {size_t{1}, size_t{2}}) {
        SCOPED_TRACE(threads);
        CountingFs fs;
        EXPECT_EQ(search(dir.file("arc/"), threads, fs), expect);
        EXPECT_EQ(fs.opens[dir.file("arc/m.zip")], 1);
        EXPECT_GE(fs.scratches, 1) << "the big member's bytes beyond the memory bound";
    }
}

} // namespace
} // namespace tw
