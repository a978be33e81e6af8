#pragma once
// "Cache File List": the last file list with the texts and the subdirectory option it was
// built with, reused by the next run when all of them are unchanged.
#include "select/FileList.h"
#include "select/FileWalker.h"

#include <string>
#include <utility>

namespace tw {

class FileListCache {
public:
    [[nodiscard]] bool tryReuse(const std::string& maskText, const std::string& pathText, bool subdirs, FileList& out,
                  std::vector<StartPath>* starts) const
    {
        if (!m_valid || maskText != m_mask || pathText != m_path || subdirs != m_subdirs)
            return false;
        out = m_list;
        if (starts)
            *starts = m_starts;
        return true;
    }
    // Takes the list over: a run hands on the list it is done with, which costs no copy.
    void store(const std::string& maskText, const std::string& pathText, bool subdirs, FileList&& list,
               const std::vector<StartPath>& starts)
    {
        m_starts = starts;
        m_mask = maskText;
        m_path = pathText;
        m_subdirs = subdirs;
        m_list = std::move(list);
        m_valid = true;
    }
    void clear()
    {
        m_valid = false;
        m_list.clear();
    }

private:
    bool m_valid = false; // m_list and the keys belong together only while valid
    std::string m_mask, m_path;
    bool m_subdirs = false;
    FileList m_list;
    std::vector<StartPath> m_starts;
};

} // namespace tw
