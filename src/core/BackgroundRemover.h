#pragma once
// Removes files on a thread of its own. A replace run that makes room in the undo history
// hands it the copies of the runs it dropped, so that the run does not wait while the file
// system frees their space; the run waits only for what is left when it ends (finish()).
#include "platform/FileSystem.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw {

// A file to remove, named with the identity it had when it was listed: a file put in its
// place since is not removed.
struct KnownFile {
    std::string path;
    uint64_t device = 0, inode = 0;
};

class BackgroundRemover {
public:
    explicit BackgroundRemover(FileSystem& fs) : m_fs(fs) {}
    ~BackgroundRemover() { finish(); }
    BackgroundRemover(const BackgroundRemover&) = delete;
    BackgroundRemover& operator=(const BackgroundRemover&) = delete;

    // Queues the files for removal; the thread starts with the first of them.
    void remove(std::vector<KnownFile> files);
    // Returns once every queued file was removed (or could not be). Files may be queued
    // again afterwards.
    void finish();

private:
    void work();

    FileSystem& m_fs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<KnownFile> m_queue;   // guarded by m_mutex
    bool m_closing = false;           // guarded by m_mutex; set only while finish() joins
    std::thread m_thread;             // joinable while files may be queued for it
};

} // namespace tw
