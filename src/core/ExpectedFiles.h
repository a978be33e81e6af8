#pragma once
// The files a replace run is limited to, each with the size and modification time it had
// when a preview showed its changes: a run that applies a preview replaces exactly those
// files, and none that changed since.
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <unordered_map>

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

private:
    struct Expected {
        int64_t size = 0;
        FileTime lastWrite = 0;
    };
    std::unordered_map<std::string, Expected> m_files;
};

// The results line of a listed file that changed since: its text before the name.
inline constexpr const char* kChangedSincePreview = "Not replaced, changed since the preview: ";

} // namespace tw
