#include "core/BackgroundRemover.h"
#include "platform/FileSystem.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tw {
namespace {

using test::TempDir;
using test::writeFile;

KnownFile known(const std::string& path)
{
    FileStatus st;
    EXPECT_TRUE(realFileSystem().status(path, &st, false));
    return KnownFile{path, st.device, st.inode};
}

// Files queued in several calls, before and after a finish(), are all removed by the time
// finish() returns; a name that now holds another file than the one queued, and a name
// already gone, are left as they are.
TEST(BackgroundRemover, RemovesOnlyTheFilesItWasGivenAndFinishWaitsForThem)
{
    TempDir dir;
    BackgroundRemover remover(realFileSystem());
    std::vector<KnownFile> first, second;
    for (int i = 0; i < 200; ++i) {
        writeFile(dir.file("a" + std::to_string(i)), "x");
        (i % 2 ? first : second).push_back(known(dir.file("a" + std::to_string(i))));
    }
    writeFile(dir.file("swapped"), "old");
    const KnownFile swapped = known(dir.file("swapped"));
    writeFile(dir.file("other"), "new");
    ASSERT_EQ(::rename(dir.file("other").c_str(), dir.file("swapped").c_str()), 0); // a new file, same name
    first.push_back(swapped);
    first.push_back(KnownFile{dir.file("never-there"), swapped.device, swapped.inode});

    remover.remove(first);
    remover.remove(second);
    remover.finish();
    for (int i = 0; i < 200; ++i)
        EXPECT_NE(::access(dir.file("a" + std::to_string(i)).c_str(), F_OK), 0) << i;
    EXPECT_EQ(test::readFile(dir.file("swapped")), "new");

    writeFile(dir.file("later"), "y");
    remover.remove({known(dir.file("later"))});
    remover.finish();
    EXPECT_NE(::access(dir.file("later").c_str(), F_OK), 0);
}

} // namespace
} // namespace tw
