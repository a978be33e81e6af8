#include "select/MemberSelection.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(MemberSelection, MaskPathsAreRelativeToTheArchiveRoot)
{
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"a/b.txt", "a/b.txt"},      {"/abs/x.c", "abs/x.c"},   {"./x.c", "x.c"},
        {"a\\b\\c.h", "a/b/c.h"},    {"a//./b", "a/b"},         {"../up.txt", "../up.txt"},
        {"dir/", "dir"},             {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemberSelection::maskPath(c.name), c.path) << c.name;
}

TEST(MemberSelection, OnlyPlainMembersThatPassMasksAndFiltersAreTaken)
{
    auto member = [](const char* name, int64_t size = 10, FileTime time = 100) {
        ArchiveMember m;
        m.name = name;
        m.size = size;
        m.sizeKnown = true;
        m.lastWrite = time;
        m.isRegular = true;
        return m;
    };
    MemberSelection sel("*.*;~*.bak", DateSizeBounds{50, 0, 0, 100});
    EXPECT_TRUE(sel.selects(member("doc/x.txt")));
    EXPECT_FALSE(sel.selects(member("doc/x.bak")));
    EXPECT_FALSE(sel.selects(member("doc/")));          // a directory entry by its name
    EXPECT_FALSE(sel.selects(member("big.txt", 101)));  // the member's own size
    EXPECT_FALSE(sel.selects(member("old.txt", 10, 49))); // the member's own time
    ArchiveMember link = member("l.txt");
    link.isRegular = false;
    link.isLink = true;
    EXPECT_FALSE(sel.selects(link));
    // A mask of 5,000 characters costs nothing special (the mask rules are MaskList's).
    EXPECT_TRUE(MemberSelection(std::string(5000, '*'), {}).selects(member("a.h")));
}

} // namespace
} // namespace tw
