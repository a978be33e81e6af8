#include "core/RecoveryList.h"
#include "platform/Environment.h"
#include "ReplaceTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

using namespace test;

std::string listLine(char kind, const std::string& original, const std::string& copy, int64_t offset, int64_t length,
                     const FileStatus* identity)
{
    std::string line = std::string(1, kind) + '\t' + original + '\t' + copy + '\t' + std::to_string(offset) + '\t' +
                       std::to_string(length);
    if (identity)
        line += '\t' + std::to_string(identity->device) + '\t' + std::to_string(identity->inode);
    return line + '\n';
}

// The recovery list is read as hostile: a crafted entry must neither make --recover copy
// some file over another nor make --discard-recovery delete a file that is not one of the
// safety copies. Each crafted entry is tried alone, then one that the program would have
// written, which must still restore.
TEST(RecoveryList, RestoresAndDeletesOnlyTheCopiesItRecorded)
{
    DataTempDir dir;
    const std::string data = dataDirectory();
    ASSERT_FALSE(data.empty());
    const std::string safety = data + kSafetyDirName + "/";
    ASSERT_EQ(::mkdir(safety.c_str(), 0700), 0);
    const std::string secret = dir.path() + "secret", victim = dir.path() + "victim";
    const std::string secretText = "private key material\n";
    FileStatus secretId, safetyId;
    writeFile(secret, secretText);
    ASSERT_TRUE(realFileSystem().status(secret, &secretId));
    // A genuine-looking safety file whose identity differs from the one recorded.
    writeFile(safety + "TWsafe.other", secretText);
    ASSERT_TRUE(realFileSystem().status(safety + "TWsafe.other", &safetyId));
    ASSERT_EQ(::symlink(secret.c_str(), (safety + "TWsafe.link").c_str()), 0);
    const int64_t n = static_cast<int64_t>(secretText.size());

    struct Case {
        const char* what;
        std::string line;
        std::string kept; // a file that must survive --discard-recovery
    };
    const Case cases[] = {
        {"safety copy outside the safety directory", listLine('S', victim, secret, 0, n, &secretId), secret},
        {"dot-dot out of the safety directory",
         listLine('S', victim, safety + "../../../" + secret.substr(dir.path().size()), 0, n, &secretId), secret},
        {"link inside the safety directory", listLine('S', victim, safety + "TWsafe.link", 0, n, &secretId), secret},
        {"safety file that is not the one recorded", listLine('S', victim, safety + "TWsafe.other", 0, n, &secretId),
         safety + "TWsafe.other"},
        {"backup without its identity", listLine('B', victim, secret, 0, n, nullptr), secret},
        {"backup of another identity", listLine('B', victim, secret, 0, n, &safetyId), secret},
        {"backup of another length", listLine('B', victim, secret, 0, n - 1, &secretId), secret},
        {"unknown kind", listLine('X', victim, secret, 0, n, &secretId), secret},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool restore : {true, false}) {
            writeFile(victim, "public text\n");
            writeFile(data + kRecoveryListName, c.line);
            std::vector<std::string> lines;
            if (restore) {
                (void)recoverPending(realFileSystem(), realFileOps(), data, &lines);
                EXPECT_EQ(readFile(victim), "public text\n");
                EXPECT_EQ(pendingRecoveries(data).size(), c.line[0] == 'X' ? 0u : 1u) << "the entry stays";
            } else {
                EXPECT_TRUE(discardPending(realFileSystem(), realFileOps(), data, &lines));
                EXPECT_TRUE(pendingRecoveries(data).empty());
            }
            EXPECT_EQ(readFile(c.kept), secretText);
            EXPECT_EQ(readFile(secret), secretText);
        }
    }

    // What a rewrite records: a segment of a file in the safety directory, with its identity.
    const std::string own = safety + "TWsafe.own";
    writeFile(own, "junk" + std::string("earlier content\n"));
    FileStatus ownId;
    ASSERT_TRUE(realFileSystem().status(own, &ownId));
    writeFile(victim, "torn");
    writeFile(data + kRecoveryListName, listLine('S', victim, own, 4, 16, &ownId));
    std::vector<std::string> lines;
    EXPECT_TRUE(recoverPending(realFileSystem(), realFileOps(), data, &lines));
    EXPECT_EQ(readFile(victim), "earlier content\n");
    EXPECT_TRUE(pendingRecoveries(data).empty());
    FileStatus gone;
    EXPECT_FALSE(realFileSystem().status(own, &gone)) << "the used safety copy is deleted";
}

} // namespace
} // namespace tw
