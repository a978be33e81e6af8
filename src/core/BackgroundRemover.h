#pragma once
// Collects the files a replace run frees in the undo history (the copies of the runs it
// dropped, and copies left without a run) and has them removed when the run ends
// (finish()), by the file system's removeKnownFiles: on this machine in a process of its
// own, so that neither the run nor the user waits while the space is freed. Removing
// them during the run would make its own writes wait behind the removals.
#include "platform/FileSystem.h"

#include <vector>

namespace tw {

class BackgroundRemover {
public:
    explicit BackgroundRemover(FileSystem& fs) : m_fs(fs) {}
    ~BackgroundRemover() { finish(); }
    BackgroundRemover(const BackgroundRemover&) = delete;
    BackgroundRemover& operator=(const BackgroundRemover&) = delete;

    // Queues the files for removal.
    void remove(std::vector<KnownFile> files);
    // Hands the queued files over for removal. Files may be queued again afterwards.
    void finish();

private:
    FileSystem& m_fs;
    std::vector<KnownFile> m_queue; // given over by the next finish()
};

} // namespace tw
