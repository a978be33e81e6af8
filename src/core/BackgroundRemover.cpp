#include "core/BackgroundRemover.h"

namespace tw {

void BackgroundRemover::remove(std::vector<KnownFile> files)
{
    if (files.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queue.empty())
            m_queue = std::move(files);
        else
            m_queue.insert(m_queue.end(), std::make_move_iterator(files.begin()),
                           std::make_move_iterator(files.end()));
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { work(); });
    else
        m_wake.notify_one();
}

void BackgroundRemover::finish()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = false;
}

void BackgroundRemover::work()
{
    std::vector<KnownFile> batch;
    FileStatus st;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty())
            return; // closing, and nothing left
        batch.swap(m_queue);
        lock.unlock();
        for (const KnownFile& file : batch)
            if (m_fs.status(file.path, &st, false) && st.device == file.device && st.inode == file.inode)
                (void)m_fs.removeFile(file.path); // should it fail, the next survey finds it again
        batch.clear();
        lock.lock();
    }
}

} // namespace tw
