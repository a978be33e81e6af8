#include "select/FileWalker.h"

#include "platform/PathText.h"

namespace tw {

std::vector<std::string> SplitPathText(const std::string& pathText)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= pathText.size()) {
        size_t end = pathText.find(';', pos);
        if (end == std::string::npos)
            end = pathText.size();
        std::string piece = pathText.substr(pos, end - pos);
        if (!piece.empty())
            out.push_back(WithTrailingSlash(std::move(piece)));
        pos = end + 1;
    }
    return out;
}

void FileWalker::build(const std::string& pathText, const std::string& maskText, bool subdirectories,
                       FileList& out, std::vector<StartPath>* starts)
{
    m_masks.compile(maskText);
    for (const std::string& start : SplitPathText(pathText)) {
        if (starts)
            starts->push_back(StartPath{out.size(), start});
        if (stopped())
            break;
        walk(start, subdirectories, out);
    }
}

void FileWalker::walk(std::string dir, bool subdirectories, FileList& out)
{
    // Depth first with an explicit stack; each directory's subdirectories are walked in
    // name order after its files, and only one directory is open at a time.
    std::vector<std::string> pending{std::move(dir)};
    std::vector<DirEntry> entries;
    while (!pending.empty() && !stopped()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        ++m_stats.directories;
        if (!m_fs.listDirectory(current, &entries))
            continue; // unreadable or missing: nothing from it
        std::vector<std::string> subdirs;
        for (const DirEntry& e : entries) {
            if (m_pump)
                m_pump();
            if (stopped())
                return;
            if (e.type == EntryType::Directory) {
                if (subdirectories && e.name[0] != '.')
                    subdirs.push_back(current + e.name + '/');
            } else if (e.type == EntryType::File) {
                if (m_masks.matches(e.name)) {
                    std::string full = current;
                    full += e.name;
                    out.add(full);
                    ++m_stats.files;
                }
            }
        }
        for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it)
            pending.push_back(std::move(*it));
    }
}

} // namespace tw
