#pragma once
// The files a replace run is limited to, each with the size and modification time it had
// when a preview showed its changes: a run that applies a preview replaces exactly those
// files, and none that changed since.
#include "platform/FileSystem.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tw {

class ExpectedFiles {
public:
    void add(const std::string& path, int64_t size, FileTime lastWrite) { m_files[path] = {size, lastWrite}; }
    bool lists(const std::string& path) const { return m_files.count(path) != 0; }
    // The listed file still has the size and modification time it was expected with.
    bool unchanged(const std::string& path, const FileStatus& status) const
    {
        const auto it = m_files.find(path);
        return it != m_files.end() && it->second.size == status.size && it->second.lastWrite == status.lastWrite;
    }
    size_t size() const { return m_files.size(); }

    // The run left the listed file `path` alone because it changed since; the search
    // threads of a run may say so at the same time.
    void noteRefused(const std::string& path) const
    {
        const std::lock_guard<std::mutex> lock(m_refusedLock);
        m_refused.push_back(path);
    }
    // The files noted by noteRefused, in the order they were noted.
    std::vector<std::string> refused() const
    {
        const std::lock_guard<std::mutex> lock(m_refusedLock);
        return m_refused;
    }

private:
    struct Expected {
        int64_t size = 0;
        FileTime lastWrite = 0;
    };
    std::unordered_map<std::string, Expected> m_files;
    mutable std::mutex m_refusedLock;          // guards m_refused
    mutable std::vector<std::string> m_refused; // what the run refused, as it went
};

// The results line of a listed file that changed since: its text before the name.
inline constexpr const char* kChangedSincePreview = "Not replaced, changed since the preview: ";

} // namespace tw
