#include "core/BackgroundRemover.h"
#include "platform/FileSystem.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/wait.h>
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

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// Waits (at most about 30 s) until `path` is gone.
bool waitUntilGone(const std::string& path)
{
    for (int i = 0; i < 3000 && exists(path); ++i)
        ::usleep(10000);
    return !exists(path);
}

// A file system that removes what it is asked to before it returns (the fallback every
// file system has), counting the files it was handed.
class RemovalCountingFs : public FileSystem {
public:
    std::unique_ptr<File> openRead(const std::string& p, int* e) override { return m_real.openRead(p, e); }
    std::unique_ptr<File> openWrite(const std::string& p, bool c, bool t, int* e) override
    {
        return m_real.openWrite(p, c, t, e);
    }
    std::unique_ptr<File> createTemp(const std::string& p, int* e) override { return m_real.createTemp(p, e); }
    bool status(const std::string& p, FileStatus* out, bool follow) override { return m_real.status(p, out, follow); }
    bool listDirectory(const std::string& p, std::vector<DirEntry>* out) override { return m_real.listDirectory(p, out); }
    bool removeFile(const std::string& p) override { return m_real.removeFile(p); }
    void removeKnownFiles(const std::vector<KnownFile>& files) override
    {
        handed += files.size();
        ++calls;
        FileSystem::removeKnownFiles(files);
    }
    size_t handed = 0, calls = 0;

private:
    FileSystem& m_real = realFileSystem();
};

// Files queued in several calls, before and after a finish(), are removed once finish()
// handed them over, by a process of their own on the real file system; a name that now
// holds another file than the one queued, and a name already gone, are left as they are.
// Nothing is handed over before finish(), and the caller is left no child to wait for.
TEST(BackgroundRemover, RemovesOnlyTheFilesItWasGivenOnceTheRunEnds)
{
    for (const bool real : {true, false}) {
        SCOPED_TRACE(real ? "detached process" : "fallback");
        TempDir dir;
        RemovalCountingFs counting;
        FileSystem& fs = real ? realFileSystem() : static_cast<FileSystem&>(counting);
        std::vector<KnownFile> first, second;
        writeFile(dir.file("swapped"), "old");
        first.push_back(known(dir.file("swapped"))); // before the others: done when they are
        writeFile(dir.file("other"), "new");
        ASSERT_EQ(::rename(dir.file("other").c_str(), dir.file("swapped").c_str()), 0); // new file, same name
        first.push_back(KnownFile{dir.file("never-there"), first[0].device, first[0].inode});
        for (int i = 0; i < 200; ++i) {
            writeFile(dir.file("a" + std::to_string(i)), "x");
            (i % 2 ? first : second).push_back(known(dir.file("a" + std::to_string(i))));
        }
        writeFile(dir.file("last"), "z");
        second.push_back(known(dir.file("last")));
        {
            BackgroundRemover remover(fs);
            remover.remove(first);
            remover.remove(second);
            EXPECT_TRUE(exists(dir.file("a1")) && exists(dir.file("last"))) << "removed before the run ended";
            remover.finish();
            ASSERT_TRUE(waitUntilGone(dir.file("last")));
            for (int i = 0; i < 200; ++i)
                EXPECT_FALSE(exists(dir.file("a" + std::to_string(i)))) << i;
            EXPECT_EQ(test::readFile(dir.file("swapped")), "new");

            writeFile(dir.file("later"), "y");
            remover.remove({known(dir.file("later"))});
        } // the destructor hands over what was queued since
        EXPECT_TRUE(waitUntilGone(dir.file("later")));
        if (!real) {
            EXPECT_EQ(counting.calls, 2u);
        }
        int status = 0;
        errno = 0;
        EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD) << "a child was left to wait for";
    }
}

} // namespace
} // namespace tw
