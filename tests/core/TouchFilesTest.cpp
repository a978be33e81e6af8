#include "core/RunDriver.h"
#include "core/TouchFiles.h"
#include "results/ResultsList.h"
#include "select/FileList.h"

#include "FakeHost.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

struct CollectingSink : TouchSink {
    std::vector<TouchLine> lines;
    void line(const TouchLine& l) override { lines.push_back(l); }
};

struct stat touchedStat(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

void setStatTimes(const std::string& path, time_t write, long writeNs, time_t access, long accessNs)
{
    timespec ts[2] = {{access, accessNs}, {write, writeNs}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0);
}

FileTime fileTimeOf(time_t sec) { return toFileTime(sec, 0); }

constexpr time_t kOld = 1000000000;   // 2001-09-09
constexpr time_t kOldAccess = 1100000000;
constexpr time_t kNew = 1300000000;   // 2011-03-13

struct TouchFixture : ::testing::Test {
    TempDir dir;
    std::string file, readOnly, target, link, sub, missing;
    CollectingSink sink;

    void SetUp() override
    {
        file = dir.file("plain.txt");
        readOnly = dir.file("locked.txt");
        target = dir.file("target.txt");
        link = dir.file("link.txt");
        sub = dir.file("sub");
        missing = dir.file("gone.txt");
        writeFile(file, "a");
        writeFile(readOnly, "b");
        writeFile(target, "c");
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
        ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
        for (const std::string& p : {file, readOnly, target, link, sub})
            setStatTimes(p, kOld, 123456700, kOldAccess, 0);
        ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
        ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    }
    TouchCounts run(const TouchRequest& request, const std::vector<std::string>& paths)
    {
        TouchFiles touch(realFileSystem(), realFileOps(), request);
        return touch.applyAll(paths, sink);
    }
};

// A new date and time: files (read-only ones too) get it, their access time stays; a
// directory, a link and what it leads to keep their times; a missing file is skipped.
TEST_F(TouchFixture, SetsWriteTimeOfFilesOnlyAndLeavesLinksAlone)
{
    TouchRequest request;
    request.newTime = fileTimeOf(kNew);
    request.alsoCreation = true; // cannot be set here: no error for it
    const TouchCounts counts = run(request, {file, readOnly, link, sub, missing});
    EXPECT_EQ(counts.touched, 3);
    EXPECT_EQ(counts.skipped, 2);
    EXPECT_EQ(counts.failed, 0);
    for (const std::string& p : {file, readOnly}) {
        const struct stat st = touchedStat(p);
        EXPECT_EQ(st.st_mtim.tv_sec, kNew) << p;
        EXPECT_EQ(st.st_mtim.tv_nsec, 0) << p;
        EXPECT_EQ(st.st_atim.tv_sec, kOldAccess) << p;
    }
    EXPECT_EQ(touchedStat(readOnly).st_mode & 0777, 0444u);
    for (const std::string& p : {link, target, sub})
        EXPECT_EQ(touchedStat(p).st_mtim.tv_sec, kOld) << p;
    ASSERT_EQ(sink.lines.size(), 5u);
    EXPECT_EQ(sink.lines[2].outcome, TouchOutcome::Link);
    EXPECT_NE(sink.lines[2].text.find(link), std::string::npos);
    EXPECT_EQ(sink.lines[4].outcome, TouchOutcome::Missing);
    EXPECT_EQ(touchSummaryText(counts), "Touched 3 file(s), 2 skipped, 0 failed");
}

// Adding seconds moves each file's own times (nanoseconds kept); the access time only
// when asked.
TEST_F(TouchFixture, AddSecondsMovesTheFilesOwnTimes)
{
    setStatTimes(readOnly, kOld + 50, 0, kOldAccess + 7, 0);
    TouchRequest request;
    request.newTime = fileTimeOf(kNew); // not used: the times are moved instead
    request.addSeconds = 3600;
    request.alsoAccess = true;
    EXPECT_EQ(run(request, {file, readOnly}).touched, 2);
    EXPECT_EQ(touchedStat(file).st_mtim.tv_sec, kOld + 3600);
    EXPECT_EQ(touchedStat(file).st_mtim.tv_nsec, 123456700);
    EXPECT_EQ(touchedStat(file).st_atim.tv_sec, kOldAccess + 3600);
    EXPECT_EQ(touchedStat(readOnly).st_mtim.tv_sec, kOld + 50 + 3600);
    EXPECT_EQ(touchedStat(readOnly).st_atim.tv_sec, kOldAccess + 7 + 3600);

    request.addSeconds = -60;
    request.alsoAccess = false;
    run(request, {file});
    EXPECT_EQ(touchedStat(file).st_mtim.tv_sec, kOld + 3600 - 60);
    EXPECT_EQ(touchedStat(file).st_atim.tv_sec, kOldAccess + 3600);
}

// The attribute modes: all boxes kept changes nothing; read-only set and cleared changes
// the owner's write bit of files and directories, never through a link, and the times
// only in the mode that sets both.
TEST_F(TouchFixture, AttributeModes)
{
    TouchRequest request;
    request.mode = TouchMode::AttributesOnly;
    request.newTime = fileTimeOf(kNew);
    EXPECT_EQ(run(request, {file, readOnly, sub}).touched, 3);
    EXPECT_EQ(touchedStat(file).st_mode & 0777, 0644u);
    EXPECT_EQ(touchedStat(readOnly).st_mode & 0777, 0444u);
    EXPECT_EQ(touchedStat(file).st_mtim.tv_sec, kOld);

    request.attributes.readOnly = AttributeState::Set;
    request.attributes.hidden = AttributeState::Set; // does nothing on Linux
    EXPECT_EQ(run(request, {file, sub, link}).touched, 2);
    EXPECT_EQ(touchedStat(file).st_mode & 0200, 0u);
    EXPECT_EQ(touchedStat(sub).st_mode & 0200, 0u);
    EXPECT_EQ(touchedStat(target).st_mode & 0200, 0200u);
    EXPECT_EQ(touchedStat(file).st_mtim.tv_sec, kOld);
    EXPECT_EQ(touchedStat(sub).st_mtim.tv_sec, kOld);
    ASSERT_EQ(::chmod(sub.c_str(), 0755), 0);

    request.mode = TouchMode::DateTimeAndAttributes;
    request.attributes.readOnly = AttributeState::Clear;
    EXPECT_EQ(run(request, {readOnly}).touched, 1);
    EXPECT_EQ(touchedStat(readOnly).st_mode & 0777, 0644u);
    EXPECT_EQ(touchedStat(readOnly).st_mtim.tv_sec, kNew);

    EXPECT_EQ(touchAttributesOf(realFileSystem(), file), kAttrReadOnly);
    EXPECT_EQ(touchAttributesOf(realFileSystem(), dir.file(".hid")), std::nullopt);
    writeFile(dir.file(".hid"), "");
    EXPECT_EQ(touchAttributesOf(realFileSystem(), dir.file(".hid")), kAttrHidden);
}

// Through the driver: the files a run selects (masks, subdirectories), then touched.
TEST_F(TouchFixture, DriverCollectsAsARunAndTouches)
{
    writeFile(dir.file("sub/deep.txt"), "d");
    writeFile(dir.file("other.log"), "e");
    setStatTimes(dir.file("other.log"), kOld, 0, kOld, 0);
    test::FakeHost host;
    ResultsList results;
    RunDriver driver(host, results);
    SearchRequest request;
    request.pathMasks.push_back({dir.path(), "*.txt"});
    request.searchSubdirectories = true;
    FileList list;
    ASSERT_EQ(driver.CollectTouchList(request, list), RunOutcome::Completed);
    std::vector<std::string> found;
    for (size_t i = 0; i < list.size(); ++i)
        found.emplace_back(list.at(i));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{readOnly, file, dir.file("sub/deep.txt"), target}));

    TouchRequest touch;
    touch.newTime = fileTimeOf(kNew);
    EXPECT_EQ(driver.TouchFileList(list, touch), RunOutcome::Completed);
    for (const std::string& p : found)
        EXPECT_EQ(touchedStat(p).st_mtim.tv_sec, kNew) << p;
    EXPECT_EQ(touchedStat(dir.file("other.log")).st_mtim.tv_sec, kOld);
    EXPECT_EQ(touchedStat(link).st_mtim.tv_sec, kOld);
    EXPECT_EQ(driver.counters().fileErrors, 0);
}

} // namespace
} // namespace tw
