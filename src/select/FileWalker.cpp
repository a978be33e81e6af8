#include "select/FileWalker.h"

#include "platform/PathText.h"

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
    m_masks = std::make_unique<MaskFilter>(maskText);
    m_filters = {&m_dotDirectories, m_masks.get()};
    for (const auto& f : m_extraFilters)
        m_filters.push_back(f.get());
    m_needStatus = false;
    for (const WalkFilter* f : m_filters)
        m_needStatus = m_needStatus || f->needsStatus();
    for (const std::string& start : splitPathText(pathText)) {
        if (starts)
            starts->push_back(StartPath{out.size(), start});
        if (stopped())
            break;
        for (WalkFilter* f : m_filters)
            f->beginWalk(start, maskText);
        walk(start, subdirectories, out);
    }
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

void FileWalker::walk(const std::string& start, bool subdirectories, FileList& out)
{
    // Depth first with an explicit stack; each directory's subdirectories are walked in
    // name order after its files, and only one directory is open at a time. Each pending
    // directory says which selections may take files in it: a directory entered only for
    // the second selection adds nothing to the first, and the other way round.
    struct Pending {
        std::string path;
        bool first = true;
        bool second = false;
    };
    std::vector<Pending> pending{Pending{start, true, m_secondOut != nullptr}};
    std::vector<DirEntry> entries;
    std::string full;
    FileStatus status;
    std::vector<Pending> subdirs;
    while (!pending.empty() && !stopped()) {
        Pending current = std::move(pending.back());
        pending.pop_back();
        if (current.first)
            ++m_stats.directories;
        if (!m_fs.listDirectory(current.path, &entries))
            continue; // unreadable or missing: nothing from it
        subdirs.clear();
        const std::string_view relativeDir = std::string_view(current.path).substr(start.size());
        for (WalkFilter* f : m_filters)
            f->listedDirectory(current.path, relativeDir, entries);
        for (const DirEntry& e : entries) {
            if (m_pump)
                m_pump();
            if (stopped())
                return;
            // Only directories and regular files: links are not followed, and FIFOs,
            // sockets and devices are never opened (a FIFO would block the run).
            const bool isDir = e.type == EntryType::Directory;
            if (!(isDir ? subdirectories : e.type == EntryType::File))
                continue;
            full = current.path;
            full += e.name;
            if (isDir)
                full += '/';
            WalkEntry entry{e.name, std::string_view(full).substr(start.size()), nullptr};
            if (current.first && m_needStatus && m_fs.status(full, &status, false))
                entry.status = &status;
            if (isDir) {
                const bool first = current.first && enters(entry);
                const bool second = current.second && secondEnters(entry);
                if (first || second)
                    subdirs.push_back(Pending{full, first, second});
                continue;
            }
            if (current.first && accepts(entry)) {
                out.add(full);
                ++m_stats.files;
            }
            if (current.second && secondAccepts(entry))
                m_secondOut->add(full);
        }
        for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it)
            pending.push_back(std::move(*it));
    }
}

} // namespace tw
