#pragma once
// Temporary outputs of a threaded replace run that the run's thread has committed from,
// given back for the workers to write again: a file made once and truncated for each
// use costs the file system far less than an unnamed file made and dropped per file.
#include "platform/FileSystem.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace tw {

class SpareOutputs {
public:
    // Keeps at most `limit` files; more are closed (and so gone).
    explicit SpareOutputs(size_t limit) : m_limit(limit) {}

    void give(std::shared_ptr<File> file)
    {
        if (!file)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_files.size() < m_limit)
            m_files.push_back(std::move(file));
    }
    // A spare file, or null when none is left.
    std::shared_ptr<File> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_files.empty())
            return nullptr;
        std::shared_ptr<File> file = std::move(m_files.back());
        m_files.pop_back();
        return file;
    }

private:
    const size_t m_limit;
    std::mutex m_mutex;                       // guards m_files
    std::vector<std::shared_ptr<File>> m_files; // at most m_limit
};

} // namespace tw
