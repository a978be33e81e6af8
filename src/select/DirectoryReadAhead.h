#pragma once
// Lists directories ahead of a walk, on helper threads. The walk names each directory it
// is going to list (ahead) and takes the listing when it comes to it (take): what it gets
// is what FileSystem::listDirectory gives, only read a little earlier, so the walk and its
// results stay the same while the kernel's part of listing runs on other cores. A
// directory the helpers have not reached is listed by take() itself.
//
// One walk (one thread) uses an object: ahead() and take() are not to be called from two
// threads at once. Memory stays bounded: the helpers wait while the listings taken ahead
// and not yet taken hold kMaxEntries entries or kMaxListings directories.
#include "platform/FileSystem.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tw {

class DirectoryReadAhead {
public:
    DirectoryReadAhead(FileSystem& fs, size_t helpers);
    ~DirectoryReadAhead(); // stops the helpers (a listing under way is finished) and joins them
    DirectoryReadAhead(const DirectoryReadAhead&) = delete;
    DirectoryReadAhead& operator=(const DirectoryReadAhead&) = delete;

    // `path` will be listed later. A path named again before it is taken is listed once.
    void ahead(const std::string& path);
    // As fs.listDirectory(path, out): the listing made ahead, once it is done, or one made now.
    bool take(const std::string& path, std::vector<DirEntry>* out);

    static constexpr size_t kMaxEntries = 64 * 1024;
    static constexpr size_t kMaxListings = 4096;

private:
    struct Listing {
        enum class State { Waiting, Running, Done } state = State::Waiting;
        bool ok = false;
        std::vector<DirEntry> entries;
    };
    void helperLoop();
    // The waiting listing to make next, taken off the queue, with its path; null when none
    // waits (m_mutex held).
    Listing* pickNext(std::string* path);
    bool roomAhead() const { return m_heldEntries < kMaxEntries && m_listings.size() < kMaxListings; }

    FileSystem& m_fs;
    std::mutex m_mutex; // guards everything below
    std::condition_variable m_helpersWake; // a path was named, a listing taken, or the end came
    std::condition_variable m_takerWake;   // a listing is done
    // Every named path not yet taken, with its listing; a node's address never changes.
    std::unordered_map<std::string, Listing> m_listings;
    // The paths named and not yet listed, in the order named. A path taken meanwhile by
    // take() is left here and skipped.
    std::deque<std::string> m_queue;
    size_t m_heldEntries = 0; // entries in Done listings not yet taken
    bool m_ending = false;
    std::vector<std::thread> m_helpers;
};

} // namespace tw
