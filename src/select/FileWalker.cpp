#include "select/FileWalker.h"

#include "platform/PathText.h"
#include "select/DirectoryReadAhead.h"

#include <cstdint>

namespace tw {

std::vector<std::string> splitPathText(const std::string& pathText)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= pathText.size()) {
        size_t end = pathText.find(';', pos);
        if (end == std::string::npos)
            end = pathText.size();
        std::string piece = pathText.substr(pos, end - pos);
        if (!piece.empty())
            out.push_back(withTrailingSlash(std::move(piece)));
        pos = end + 1;
    }
    return out;
}

void FileWalker::build(const std::string& pathText, const std::string& maskText, bool subdirectories,
                       FileList& out, std::vector<StartPath>* starts)
{
    begin(pathText, maskText, subdirectories, out, starts);
    while (step(SIZE_MAX)) {
    }
}

void FileWalker::begin(const std::string& pathText, const std::string& maskText, bool subdirectories,
                       FileList& out, std::vector<StartPath>* starts)
{
    m_masks = std::make_unique<MaskFilter>(maskText);
    m_filters = {&m_dotDirectories, m_masks.get()};
    for (const auto& f : m_extraFilters)
        m_filters.push_back(f.get());
    m_needStatus = false;
    for (const WalkFilter* f : m_filters)
        m_needStatus = m_needStatus || f->needsStatus();
    m_startDirs = splitPathText(pathText);
    m_nextStart = 0;
    m_maskText = maskText;
    m_subdirectories = subdirectories;
    m_out = &out;
    m_starts = starts;
    m_pending.clear();
}

bool FileWalker::step(size_t directories)
{
    // Depth first with an explicit stack; each directory's subdirectories are walked in
    // name order after its files, and only one directory is open at a time.
    for (size_t done = 0; done < directories;) {
        if (m_pending.empty()) {
            if (m_nextStart >= m_startDirs.size())
                return false;
            m_start = m_startDirs[m_nextStart++];
            if (m_starts)
                m_starts->push_back(StartPath{m_out->size(), m_start, m_entry});
            if (stopped())
                return endWalk();
            for (WalkFilter* f : m_filters)
                f->beginWalk(m_start, m_maskText);
            m_pending.push_back(Pending{m_start, true, m_secondOut != nullptr});
        }
        if (stopped())
            return endWalk();
        Pending current = std::move(m_pending.back());
        m_pending.pop_back();
        ++done;
        if (!walkDirectory(std::move(current)))
            return endWalk();
    }
    return !m_pending.empty() || m_nextStart < m_startDirs.size();
}

bool FileWalker::endWalk()
{
    m_pending.clear();
    m_nextStart = m_startDirs.size();
    return false;
}

bool FileWalker::enters(const WalkEntry& dir) const
{
    for (WalkFilter* f : m_filters)
        if (!f->enterDirectory(dir))
            return false;
    return true;
}

bool FileWalker::accepts(const WalkEntry& file) const
{
    for (WalkFilter* f : m_filters)
        if (!f->acceptFile(file))
            return false;
    return true;
}

bool FileWalker::secondEnters(const WalkEntry& dir)
{
    if (!m_secondMasks || !m_dotDirectories.enterDirectory(dir) || !m_secondMasks->enterDirectory(dir))
        return false;
    for (const auto& f : m_extraFilters)
        if (f->appliesToEverySelection() && !f->enterDirectory(dir))
            return false;
    return true;
}

bool FileWalker::secondAccepts(const WalkEntry& file)
{
    if (!m_secondMasks || !m_dotDirectories.acceptFile(file) || !m_secondMasks->acceptFile(file))
        return false;
    for (const auto& f : m_extraFilters)
        if (f->appliesToEverySelection() && !f->acceptFile(file))
            return false;
    return true;
}

bool FileWalker::walkDirectory(Pending current)
{
    if (current.first)
        ++m_stats.directories;
    if (!(m_readAhead ? m_readAhead->take(current.path, &m_entries) : m_fs.listDirectory(current.path, &m_entries)))
        return true; // unreadable or missing: nothing from it
    m_subdirs.clear();
    const std::string_view relativeDir = std::string_view(current.path).substr(m_start.size());
    for (WalkFilter* f : m_filters)
        f->listedDirectory(current.path, relativeDir, m_entries);
    FileStatus status;
    for (const DirEntry& e : m_entries) {
        if (m_pump)
            m_pump();
        if (stopped())
            return false;
        // Only directories and regular files: links are not followed, and FIFOs,
        // sockets and devices are never opened (a FIFO would block the run).
        const bool isDir = e.type == EntryType::Directory;
        if (!(isDir ? m_subdirectories : e.type == EntryType::File))
            continue;
        m_full = current.path;
        m_full += e.name;
        if (isDir)
            m_full += '/';
        WalkEntry entry{e.name, std::string_view(m_full).substr(m_start.size()), nullptr};
        if (current.first && m_needStatus && m_fs.status(m_full, &status, false))
            entry.status = &status;
        if (isDir) {
            const bool first = current.first && enters(entry);
            const bool second = current.second && secondEnters(entry);
            if (first || second)
                m_subdirs.push_back(Pending{m_full, first, second});
            continue;
        }
        if (current.first && accepts(entry)) {
            m_out->add(current.path, e.name);
            ++m_stats.files;
        }
        if (current.second && secondAccepts(entry))
            m_secondOut->add(current.path, e.name);
    }
    // The last subdirectory is named ahead first: the walk comes to it last.
    for (auto it = m_subdirs.rbegin(); it != m_subdirs.rend(); ++it) {
        if (m_readAhead)
            m_readAhead->ahead(it->path);
        m_pending.push_back(std::move(*it));
    }
    return true;
}

} // namespace tw
