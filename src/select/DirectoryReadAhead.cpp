#include "select/DirectoryReadAhead.h"

namespace tw {

DirectoryReadAhead::DirectoryReadAhead(FileSystem& fs, size_t helpers) : m_fs(fs)
{
    for (size_t i = 0; i < helpers; ++i)
        m_helpers.emplace_back([this] { helperLoop(); });
}

DirectoryReadAhead::~DirectoryReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_helpersWake.notify_all();
    for (std::thread& t : m_helpers)
        t.join();
}

void DirectoryReadAhead::ahead(const std::string& path)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_listings.try_emplace(path).second)
            return;
        m_queue.push_back(path);
    }
    m_helpersWake.notify_one();
}

bool DirectoryReadAhead::take(const std::string& path, std::vector<DirEntry>* out)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto it = m_listings.find(path);
        if (it != m_listings.end()) {
            Listing& l = it->second;
            if (l.state == Listing::State::Running)
                m_takerWake.wait(lock, [&] { return l.state == Listing::State::Done; });
            if (l.state == Listing::State::Done) {
                const bool ok = l.ok;
                m_heldEntries -= l.entries.size();
                out->swap(l.entries);
                m_listings.erase(it);
                lock.unlock();
                m_helpersWake.notify_one(); // there is room again
                return ok;
            }
            m_listings.erase(it); // still waiting: its queue entry is skipped
        }
    }
    return m_fs.listDirectory(path, out);
}

DirectoryReadAhead::Listing* DirectoryReadAhead::pickNext(std::string* path)
{
    // The walk goes depth first and names each directory's subdirectories last one first,
    // so the paths named last come soonest. The very last waiting one is the walk's next,
    // which it is about to list itself; the one before it is the best to list now.
    auto waiting = [&](size_t k) {
        auto it = m_listings.find(m_queue[k]);
        return it != m_listings.end() && it->second.state == Listing::State::Waiting ? &it->second : nullptr;
    };
    while (!m_queue.empty() && !waiting(m_queue.size() - 1))
        m_queue.pop_back(); // taken or listed meanwhile
    if (m_queue.empty())
        return nullptr;
    size_t chosen = m_queue.size() - 1;
    // A few paths down at most: past a long run of taken ones, the walk's next will do.
    for (size_t k = chosen, seen = 0; k-- > 0 && seen < 64; ++seen) {
        if (waiting(k)) {
            chosen = k;
            break;
        }
    }
    Listing* l = waiting(chosen);
    *path = std::move(m_queue[chosen]);
    m_queue.erase(m_queue.begin() + static_cast<long>(chosen));
    return l;
}

void DirectoryReadAhead::helperLoop()
{
    std::vector<DirEntry> entries;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_helpersWake.wait(lock, [&] { return m_ending || (!m_queue.empty() && roomAhead()); });
        if (m_ending)
            return;
        std::string path;
        Listing* const found = pickNext(&path);
        if (!found)
            continue;
        Listing& l = *found;
        l.state = Listing::State::Running;
        lock.unlock();
        const bool ok = m_fs.listDirectory(path, &entries);
        lock.lock();
        // Only take() removes a listing, and it waits for a Running one, so `l` is still here.
        l.ok = ok;
        l.entries.swap(entries);
        entries.clear();
        l.state = Listing::State::Done;
        m_heldEntries += l.entries.size();
        m_takerWake.notify_all();
    }
}

} // namespace tw
