#pragma once
// Lists directories ahead of a walk on helper threads, so that the walk mostly finds a
// directory listed when it gets there. The walk still decides everything itself, in its
// own order and on its own thread; the helpers only list. A directory the walk reaches
// before a helper has begun on it, the walk lists itself, so the read-ahead never makes a
// walk wait longer than listing the directory would take.
#include "platform/FileSystem.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw {

class DirectoryReadAhead {
public:
    // `threads` helpers (at least 1) over `fs`, which must allow listings from several
    // threads at once; at most `maxAhead` listings wait to be taken.
    DirectoryReadAhead(FileSystem& fs, size_t threads, size_t maxAhead = 256);
    ~DirectoryReadAhead();
    DirectoryReadAhead(const DirectoryReadAhead&) = delete;
    DirectoryReadAhead& operator=(const DirectoryReadAhead&) = delete;

    struct Item;
    using Ticket = std::shared_ptr<Item>;
    // Asks for `path` to be listed ahead.
    Ticket request(std::string path);
    // The listing of a requested directory, as FileSystem::listDirectory gives it.
    bool take(const Ticket& ticket, std::vector<DirEntry>* entries);

private:
    void helperLoop();

    FileSystem& m_fs;
    const size_t m_maxAhead;
    std::mutex m_mutex; // guards everything below and every Item's state
    std::condition_variable m_helpersWake; // a request came, a listing was taken, or closing
    std::condition_variable m_walkWake;    // a listing is done
    // Requested, newest last; an entry may have been begun by a helper or taken by the walk
    // since (it is skipped then, and dropped once it is at the top).
    std::vector<Ticket> m_queue;
    size_t m_waiting = 0;                  // listings done and not yet taken
    bool m_closing = false;
    std::vector<std::thread> m_helpers;
};

} // namespace tw
