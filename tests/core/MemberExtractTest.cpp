// Copying one archive member out for a viewer: the bytes, the copy's name and mode, and
// archives that are damaged, oversized or hostile.
#include "core/MemberExtract.h"

#include "TestArchives.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

using test::Kind;
using test::Member;
using test::readFile;
using test::TempDir;
using test::writeArchive;
using test::writeFile;

std::string randomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen());
    return s;
}

std::set<std::string> namesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

unsigned modeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(MemberExtract, CopiesMembersByteForByteUnderTheProgramsOwnNames)
{
    const std::string big = randomBytes(300000, 1); // several copy blocks
    const std::vector<Member> members = {
        {"dir/a.txt", "alpha\n"},
        {"../../etc/passwd", big},
        {"a/b", "bee"},
        {"x/y.tar.GZ", "gz"},
        {"-n.abcdefghijk", "eleven"},
        {"sp ace.t t", "space"},
        {"x/.profile", "dot"},
        {"sub", "", Kind::Dir},
        {"sub", "the file after a directory of the same name"},
    };
    // Each copy is numbered after the highest number in the directory (here the planted
    // link's); only a short plain extension of the last name part is kept.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"dir/a.txt", ".txt"}, {"../../etc/passwd", ""}, {"a/b", ""},        {"x/y.tar.GZ", ".GZ"},
        {"-n.abcdefghijk", ""}, {"sp ace.t t", ""},       {"x/.profile", ""}, {"sub", ""},
    };
    for (const std::string format : {"zip", "tar", "tar.gz"}) {
        SCOPED_TRACE(format);
        TempDir dir, view;
        const std::string archive = dir.file("in." + format);
        ASSERT_TRUE(writeArchive(archive, format, members));
        // A link planted under the first name is passed over, never written through.
        ASSERT_EQ(::symlink(dir.file("victim").c_str(), view.file("TWV1.txt").c_str()), 0);
        unsigned n = 2;
        for (const auto& [name, ext] : expected) {
            SCOPED_TRACE(name);
            const MemberExtraction got = extractMember(realFileSystem(), archive, name, view.path(), 1 << 20);
            ASSERT_EQ(got.error, "");
            EXPECT_EQ(got.path, view.file("TWV" + std::to_string(n++) + ext));
            const auto member = std::find_if(members.begin(), members.end(),
                                             [&](const Member& m) { return m.name == name && m.kind == Kind::File; });
            EXPECT_TRUE(readFile(got.path) == member->data);
            EXPECT_EQ(modeOf(got.path), 0400u);
        }
        EXPECT_FALSE(std::filesystem::exists(dir.file("victim")));
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"in." + format});
        // The same member again gets a new copy; the first stays as it is.
        const MemberExtraction again = extractMember(realFileSystem(), archive, "a/b", view.path(), 0);
        EXPECT_EQ(again.path, view.file("TWV10"));
        EXPECT_EQ(readFile(view.file("TWV4")), "bee");

        writeFile(view.file("keep.txt"), "k");
        removeExtractedMembers(realFileSystem(), view.path());
        EXPECT_EQ(namesIn(view.path()), (std::set<std::string>{"TWV1.txt", "keep.txt"})); // the link is not a copy
    }
}

TEST(MemberExtract, SparseMemberKeepsItsHolesAndItsSize)
{
    TempDir dir, view;
    const std::vector<test::SparsePiece> pieces = {{0, "head"}, {200000, std::string(5000, 'm')}};
    const int64_t size = 700000; // ends in a hole
    writeFile(dir.file("s.tar"), test::sparseTar("s.bin", size, pieces));
    const MemberExtraction got = extractMember(realFileSystem(), dir.file("s.tar"), "s.bin", view.path(), 1 << 20);
    ASSERT_EQ(got.error, "");
    EXPECT_EQ(readFile(got.path), test::sparseBytes(size, pieces));

    // A member claiming more than the bound is refused before anything is written.
    writeFile(dir.file("huge.tar"), test::sparseTar("h.bin", int64_t(1) << 40, pieces));
    const MemberExtraction huge = extractMember(realFileSystem(), dir.file("huge.tar"), "h.bin", view.path(), 1 << 20);
    EXPECT_EQ(huge.path, "");
    EXPECT_NE(huge.error.find("expands beyond 1048576 bytes"), std::string::npos) << huge.error;
    EXPECT_EQ(namesIn(view.path()).size(), 1u);
}

TEST(MemberExtract, FailuresLeaveNoCopyBehind)
{
    TempDir dir;
    const std::string data = randomBytes(400000, 2);
    ASSERT_TRUE(writeArchive(dir.file("good.zip"), "zip-stored", {{"m.txt", data}}));
    ASSERT_TRUE(writeArchive(dir.file("good.tar.gz"), "tar.gz", {{"m.txt", data}}));
    std::string zip = readFile(dir.file("good.zip"));
    for (size_t i = 200000; i < 200100; ++i)
        zip[i] = static_cast<char>(zip[i] ^ 0x5a); // the stored data no longer meets its checksum
    writeFile(dir.file("flipped.zip"), zip);
    const std::string gz = readFile(dir.file("good.tar.gz"));
    writeFile(dir.file("cut.tar.gz"), gz.substr(0, gz.size() / 2));
    writeFile(dir.file("plain.txt"), "not an archive at all");

    struct Case {
        std::string archive, member;
        int64_t limit;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"flipped.zip", "m.txt", 0, "Error reading file "},
        {"cut.tar.gz", "m.txt", 0, "Error reading file "},
        {"plain.txt", "m.txt", 0, "Error reading file "},
        {"missing.zip", "m.txt", 0, "Error opening "},
        {"good.zip", "other.txt", 0, "Not found in the archive: "},
        {"good.zip", "m.txt", 1000, "expands beyond 1000 bytes"},
        {"good.tar.gz", "m.txt", 399999, "expands beyond 399999 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive + " " + c.member);
        TempDir view;
        const MemberExtraction got = extractMember(realFileSystem(), dir.file(c.archive), c.member, view.path(), c.limit);
        EXPECT_EQ(got.path, "");
        EXPECT_NE(got.error.find(c.message), std::string::npos) << got.error;
        EXPECT_TRUE(namesIn(view.path()).empty());
    }
}

TEST(MemberExtract, ViewDirectoryIsMadeOnceAndALinkInItsPlaceIsRefused)
{
    TempDir data, elsewhere;
    std::string error;
    EXPECT_EQ(extractionDirectory(realFileSystem(), realFileOps(), data.path(), &error), data.file("view/"));
    EXPECT_EQ(extractionDirectory(realFileSystem(), realFileOps(), data.path(), &error), data.file("view/"));
    TempDir linked;
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), linked.file("view").c_str()), 0);
    EXPECT_EQ(extractionDirectory(realFileSystem(), realFileOps(), linked.path(), &error), "");
    EXPECT_NE(error.find("Error creating "), std::string::npos);
}

} // namespace
} // namespace tw
