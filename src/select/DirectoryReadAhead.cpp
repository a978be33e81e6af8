#include "select/DirectoryReadAhead.h"

#include <algorithm>

namespace tw {

struct DirectoryReadAhead::Item {
    enum class State { Queued, Listing, Done, Taken };
    std::string path;
    State state = State::Queued;
    bool ok = false;
    std::vector<DirEntry> entries; // when Done
};

DirectoryReadAhead::DirectoryReadAhead(FileSystem& fs, size_t threads, size_t maxAhead)
    : m_fs(fs), m_maxAhead(std::max<size_t>(maxAhead, 1))
{
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i)
        m_helpers.emplace_back([this] { helperLoop(); });
}

DirectoryReadAhead::~DirectoryReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_helpersWake.notify_all();
    for (std::thread& t : m_helpers)
        t.join();
}

DirectoryReadAhead::Ticket DirectoryReadAhead::request(std::string path)
{
    auto item = std::make_shared<Item>();
    item->path = std::move(path);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(item);
    }
    m_helpersWake.notify_one();
    return item;
}

bool DirectoryReadAhead::take(const Ticket& ticket, std::vector<DirEntry>* entries)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ticket->state == Item::State::Queued) {
        // No helper has begun on it: listing it here is as quick as waiting could be.
        ticket->state = Item::State::Taken;
        lock.unlock();
        entries->clear();
        return m_fs.listDirectory(ticket->path, entries);
    }
    m_walkWake.wait(lock, [&] { return ticket->state == Item::State::Done; });
    ticket->state = Item::State::Taken;
    --m_waiting;
    entries->swap(ticket->entries);
    ticket->entries = {};
    lock.unlock();
    m_helpersWake.notify_one();
    return ticket->ok;
}

void DirectoryReadAhead::helperLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Requests begun or taken over are dropped from the top of the stack.
        while (!m_queue.empty() && m_queue.back()->state != Item::State::Queued)
            m_queue.pop_back();
        if (m_closing)
            return;
        // The newest request is the directory the walk goes to next: the walk lists that
        // one itself. A helper takes the newest one after it, which the walk needs soon
        // but not at once, so its listing is ready when the walk gets there.
        Ticket item;
        if (m_waiting < m_maxAhead) {
            bool skippedNext = false;
            for (size_t i = m_queue.size(); i-- > 0;) {
                if (m_queue[i]->state != Item::State::Queued)
                    continue;
                if (!skippedNext) {
                    skippedNext = true;
                    continue;
                }
                item = m_queue[i];
                break;
            }
        }
        if (!item) {
            m_helpersWake.wait(lock);
            continue;
        }
        item->state = Item::State::Listing;
        ++m_waiting;
        lock.unlock();
        std::vector<DirEntry> entries;
        const bool ok = m_fs.listDirectory(item->path, &entries);
        lock.lock();
        item->entries = std::move(entries);
        item->ok = ok;
        item->state = Item::State::Done;
        m_walkWake.notify_all();
    }
}

} // namespace tw
