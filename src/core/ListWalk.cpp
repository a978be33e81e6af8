#include "core/ListWalk.h"

#include "select/IgnoreFileFilter.h"

#include <memory>

namespace tw {

ListWalk::ListWalk(FileSystem& fs, const SearchRequest& request, FileList& list, std::vector<StartPath>* starts,
                   std::vector<ArchiveTask>* archives, const std::atomic<bool>* stop, std::function<void()> pump)
    : m_request(request), m_list(list), m_starts(starts),
      m_archives(archives && searchesArchives(request) ? archives : nullptr), m_walker(fs)
{
    m_walker.setPump(std::move(pump));
    m_walker.setStopFlag(stop);
    const DateSizeBounds bounds = filterBounds(request.options);
    if (bounds.any())
        m_walker.addFilter(std::make_unique<DateSizeFilter>(bounds));
    addIgnoreFilter(m_walker, fs, request.options);
}

bool ListWalk::walkOn(size_t files)
{
    const size_t target = m_list.size() + std::min(files, SIZE_MAX - m_list.size());
    while (m_pair < m_request.pathMasks.size()) {
        const PathMaskPair& pm = m_request.pathMasks[m_pair];
        if (!m_begun) {
            // The archives are found in the same walk, with the archive masks and without
            // the date and size filters (members are filtered by their own dates and sizes).
            m_found.clear();
            m_walker.setSecondSelection(m_request.zipMask, m_archives ? &m_found : nullptr);
            m_walker.setEntry(m_pair);
            m_walker.begin(pm.path, pm.mask, m_request.searchSubdirectories, m_list, m_starts);
            m_begun = true;
        }
        bool more = true;
        while (more && m_list.size() < target)
            more = m_walker.step(1);
        if (more)
            return true;
        if (m_archives)
            addArchiveTasks(m_request, pm, m_found, m_archives);
        m_begun = false;
        ++m_pair;
    }
    return false;
}

bool ListWalk::searchesArchives(const SearchRequest& request)
{
    return request.searchZips && !request.replaceMode && !request.zipMask.empty();
}

void ListWalk::addArchiveTasks(const SearchRequest& request, const PathMaskPair& pm, const FileList& found,
                               std::vector<ArchiveTask>* archives)
{
    const std::string& memberMask = request.zipFileMask.empty() ? pm.mask : request.zipFileMask;
    for (FileList::Cursor paths(found, found.first()); !paths.atEnd();)
        archives->push_back(ArchiveTask{std::string(paths.next()), memberMask});
}

DateSizeBounds ListWalk::filterBounds(const ProgramOptions& o)
{
    return DateSizeBounds{o.minDate, o.maxDate, o.minSize, o.maxSize};
}

void ListWalk::addIgnoreFilter(FileWalker& walker, FileSystem& fs, const ProgramOptions& options)
{
    if (options.useIgnoreFiles)
        walker.addFilter(std::make_unique<IgnoreFileFilter>(fs, globalExcludesFile(fs)));
}

} // namespace tw
