#include "core/UndoRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tw {
namespace {

UndoFileRecord fileRecord(int index, int64_t size)
{
    UndoFileRecord r;
    r.index = index;
    r.path = "/data/f" + std::to_string(index);
    r.copyName = "r000001.b" + std::to_string(index);
    r.copyLength = size;
    r.copyDevice = 7;
    r.copyInode = 1000 + uint64_t(index);
    r.device = 8;
    r.inode = 2000 + uint64_t(index);
    r.size = size;
    r.sha256 = std::string(64, 'a');
    return r;
}

// Random records of FILE and DONE lines, with repeated indices, DONE lines for unknown
// files, repeated DONE lines and DONE lines of the wrong size, read against the rules
// stated plainly: the first FILE line of an index counts, a DONE line completes the file
// of its index once, and only with the size the FILE line gave.
TEST(UndoRecord, FileAndDoneLinesAreReadAsTheRulesSay)
{
    std::mt19937 rng(20261211);
    for (int round = 0; round < 200; ++round) {
        std::string text = undoHeaderLines(FileTime(133000000000000000), "a", "b");
        std::vector<UndoFileRecord> expected;
        std::vector<std::string> expectedDamaged;
        const int indexRange = 1 + int(rng() % 40);
        const int lines = int(rng() % 120);
        for (int i = 0; i < lines; ++i) {
            const int lineNo = 3 + i; // after the header and the RUN line
            const int index = 1 + int(rng() % unsigned(indexRange));
            auto known = std::find_if(expected.begin(), expected.end(),
                                      [&](const UndoFileRecord& r) { return r.index == index; });
            if (rng() % 2 == 0) {
                const UndoFileRecord r = fileRecord(index, int64_t(rng() % 5));
                text += undoFileLine(r);
                if (known == expected.end())
                    expected.push_back(r);
                else
                    expectedDamaged.push_back("line " + std::to_string(lineNo));
            } else {
                const int64_t size = int64_t(rng() % 5);
                text += undoDoneLine(index, size, FileTime(3000 + i));
                if (known != expected.end() && !known->complete && known->size == size) {
                    known->complete = true;
                    known->sizeAfter = size;
                    known->lastWriteAfter = FileTime(3000 + i);
                } else {
                    expectedDamaged.push_back("line " + std::to_string(lineNo));
                }
            }
        }
        UndoRunRecord run;
        std::vector<std::string> damaged;
        ASSERT_TRUE(parseUndoRecord(text, &run, &damaged));
        EXPECT_EQ(damaged, expectedDamaged) << "round " << round;
        ASSERT_EQ(run.files.size(), expected.size()) << "round " << round;
        for (size_t i = 0; i < expected.size(); ++i) {
            const UndoFileRecord& got = run.files[i];
            const UndoFileRecord& want = expected[i];
            EXPECT_EQ(got.index, want.index);
            EXPECT_EQ(got.copyInode, want.copyInode);
            EXPECT_EQ(got.size, want.size);
            EXPECT_EQ(got.complete, want.complete) << "index " << want.index << ", round " << round;
            EXPECT_EQ(got.sizeAfter, want.sizeAfter);
            EXPECT_EQ(got.lastWriteAfter, want.lastWriteAfter);
        }
    }
}

} // namespace
} // namespace tw
