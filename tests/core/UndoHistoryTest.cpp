#include "core/UndoHistory.h"
#include "platform/FileOps.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <unistd.h>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

// The survey as a status call per name would find it: each run's copies with their
// identity, and the bytes of its record and copies.
struct Seen {
    std::map<std::string, std::pair<uint64_t, uint64_t>> copies; // name -> device, inode
    int64_t bytes = 0;
};

std::map<std::string, Seen> byStatus(const UndoSurvey& survey)
{
    std::map<std::string, Seen> out;
    for (const UndoSurvey::Run& run : survey.runs) {
        Seen& s = out[run.name];
        s.bytes = run.bytes;
        for (const KnownFile& f : run.copies)
            s.copies[f.path] = {f.device, f.inode};
    }
    return out;
}

// Random histories: runs whose records name all, some or none of their copies (a crash
// between a copy and its line, or a copy put in by hand), a record naming a copy that is
// gone or a path outside the directory, a damaged record, copies of a dropped run. The
// survey, which learns the copies from the records, must give every run the copies the
// directory holds under its name with their real identities, the orphans, and the bytes a
// status call per name gives.
TEST(UndoHistorySurvey, GivesWhatAStatusOfEveryNameGives)
{
    std::mt19937 rng(7);
    int countedFromSummary = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        TempDir data;
        const std::string dir = data.file("undo/");
        std::set<std::string> expectedOrphans;
        uint64_t highest = 0; // of any name written
        std::map<std::string, Seen> expected;
        const int runs = 1 + int(rng() % 5);
        for (int r = 1; r <= runs; ++r) {
            const std::string base = "r00000" + std::to_string(r);
            const bool dropped = rng() % 5 == 0;
            std::string record = undoHeaderLines(1000, "a", "b");
            Seen seen;
            const int copies = int(rng() % 6);
            for (int c = 1; c <= copies; ++c) {
                const std::string name = base + (rng() % 2 ? ".b" : ".s") + std::to_string(c);
                const std::string content(size_t(rng() % 3000), 'x');
                writeFile(dir + name, content);
                highest = uint64_t(r);
                FileStatus st;
                ASSERT_TRUE(realFileSystem().status(dir + name, &st, false));
                UndoFileRecord f;
                f.index = c;
                f.path = "/orig/" + std::to_string(c);
                f.copyName = name;
                f.copyLength = int64_t(content.size());
                f.copyDevice = st.device;
                f.copyInode = st.inode;
                f.sha256 = std::string(64, '0');
                if (rng() % 4 != 0) // else a copy its record does not name
                    record += undoFileLine(f);
                seen.copies[dir + name] = {st.device, st.inode};
                seen.bytes += int64_t(content.size());
                if (dropped)
                    expectedOrphans.insert(dir + name);
            }
            UndoFileRecord gone;
            gone.copyName = rng() % 2 ? base + ".b99" : "../outside";
            gone.copyLength = 5;
            gone.sha256 = std::string(64, '0');
            record += undoFileLine(gone);
            // The run's summary: none (a run cut short), true (perhaps followed by a take
            // back), or one that disagrees with the listing and must not be believed.
            const int64_t copyBytes = seen.bytes;
            switch (rng() % 4) {
            case 1: record += undoCopiesLine(copies, copyBytes); break;
            case 2: record += undoCopiesLine(copies, copyBytes) + undoTakenBackLine(2000); break;
            case 3: record += undoCopiesLine(copies + 1, copyBytes + 7); break;
            default: break;
            }
            if (dropped)
                continue;
            if (rng() % 6 == 0)
                record = "damaged\n" + record.substr(record.size() / 2);
            writeFile(dir + base + ".rec", record);
            highest = uint64_t(r);
            seen.bytes += int64_t(record.size());
            expected[base] = seen;
        }
        writeFile(data.file("outside"), "not the history's");
        UndoHistory history(realFileSystem(), realFileOps(), data.path());
        UndoSurvey survey = history.survey();
        // Counted from a summary or not, the bytes are those of the listing; resolved,
        // the copies are those of the listing too.
        const std::map<std::string, Seen> counted = byStatus(survey);
        ASSERT_EQ(counted.size(), expected.size());
        for (const auto& [base, seen] : expected)
            EXPECT_EQ(counted.at(base).bytes, seen.bytes) << base;
        ASSERT_TRUE(survey.runs.empty() || survey.runs.front().resolved);
        for (UndoSurvey::Run& run : survey.runs) {
            countedFromSummary += run.resolved ? 0 : 1;
            history.resolveCopies(&run);
        }
        const std::map<std::string, Seen> got = byStatus(survey);
        for (const auto& [base, seen] : expected) {
            const Seen& g = got.at(base);
            EXPECT_EQ(g.copies, seen.copies) << base;
            EXPECT_EQ(g.bytes, seen.bytes) << base;
        }
        std::set<std::string> orphans;
        for (const KnownFile& f : survey.orphans)
            orphans.insert(f.path);
        EXPECT_EQ(orphans, expectedOrphans);
        EXPECT_EQ(survey.highestNumber, highest);
    }
    EXPECT_GT(countedFromSummary, 10);
}

} // namespace
} // namespace tw
