#pragma once
// Removes files in a process of its own that outlives the caller. Freeing the space of
// thousands of files can take the file system a while (on a disk that discards freed
// blocks, each removal waits for the device), and nothing the caller does next depends on
// it: a replace run that dropped old runs from the undo history hands their copies over
// here and ends without waiting.
#include "platform/FileSystem.h"

#include <vector>

namespace tw {

// Starts the removal of each of `files` whose name still leads to the device and inode
// it was listed with (names no longer than the system allows in one call, see
// fitsOneCall). False when no process could be started: then nothing was removed.
[[nodiscard]] bool removeInDetachedProcess(const std::vector<KnownFile>& files);

// `path` can be handed to the detached process, which only makes plain system calls.
bool fitsOneCall(const std::string& path);

} // namespace tw
