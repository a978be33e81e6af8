#pragma once
// Copying, moving and deleting the files a run listed. Plain files are copied whole or not
// at all (a temporary name beside the target, synced, then renamed over it) with their
// mode and times; a move within one file system is a rename, across file systems a copy
// whose size is checked before the source goes. Links are never followed: a link in the
// list is itself the file that is moved or removed. Archive members are extracted one at
// a time to a file of the program's and copied from there; the archive never changes.
#include "core/RunHost.h"
#include "platform/FileOps.h"
#include "results/ResultStream.h"
#include "platform/FileSystem.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tw {

enum class FileOperationKind { Copy = 0, Move = 1, Delete = 2 };

struct FileOperationItem {
    std::string path;        // the full path, or the member's name when archivePath is set
    std::string archivePath; // the archive holding the member; empty for a plain file
};

struct FileOperationRequest {
    std::vector<FileOperationItem> files;
    // The run's start paths as canonical directories; with `preserve` the part of a file's
    // path below the first that holds it is kept under the destination.
    std::vector<std::string> startPaths;
    FileOperationKind operation = FileOperationKind::Copy;
    std::string destination;
    bool preserve = true;
    std::string extractDir; // where members are extracted for the copy, ending with "/"
};

// The answers to "the target exists: overwrite it?". The "to All" answers hold for the
// rest of the operation.
enum class OverwriteAnswer { Yes, No, YesToAll, NoToAll };

struct FileOperationHooks {
    // Asked once per existing target; unset means No for every one.
    std::function<OverwriteAnswer(const std::string& target)> askOverwrite;
    // Before each file: its index in the request and its path.
    std::function<void(size_t index, size_t total, const std::string& path)> progress;
    // Asked before each file; true ends the operation there.
    std::function<bool()> stopRequested;
};

struct FileOperationSummary {
    size_t done = 0;    // files copied, moved or deleted
    size_t failed = 0;  // files that could not be (they stay as they were)
    size_t skipped = 0; // existing targets left alone by the answer
    bool stopped = false;
    std::vector<std::string> errorLines; // the refusals that protect a file, one line each
    // "12 files copied, 1 failed" and so on.
    std::string text(FileOperationKind kind) const;
};

// The name the file gets at the destination; empty when there is no destination or the name
// would leave the destination.
std::string fileOperationTarget(const FileOperationRequest& request, const FileOperationItem& item);

// Runs the operation on every file of the request, in order.
FileOperationSummary runFileOperation(FileSystem& fs, FileOps& ops, const FileOperationRequest& request,
                                      const FileOperationHooks& hooks);

// Hooks that ask through the run host ("Confirmation Required": Yes, Yes to All, No; its
// Cancel, also the dialog closed, answers No to All), show each file as the progress and
// pump the host; `stop` is asked before each file.
FileOperationHooks hostFileOperationHooks(RunHost& host, std::function<bool()> stop);
// The question asked before an existing target is replaced.
std::string overwriteQuestion(const std::string& target);
// The refusals as error lines, then the summary line.
void addFileOperationLines(ResultStream& sink, const FileOperationSummary& summary, FileOperationKind kind);

// Error line texts (followed by a space and the file's name).
inline constexpr const char* kOntoItself = "Cannot copy a file onto itself";
inline constexpr const char* kTargetIsListed = "Target is one of the files to process";
inline constexpr const char* kTargetIsDirectory = "Target is a directory";
inline constexpr const char* kIsDirectory = "Cannot delete a directory";
inline constexpr const char* kMemberDelete = "Cannot delete inside an archive";

} // namespace tw
