#include "app/FileOperationModel.h"

#include "app/CommandLine.h"
#include "platform/Assert.h"
#include "platform/Environment.h"

#include <algorithm>
#include <set>
#include <utility>

namespace tw {

FileOperationModel::FileOperationModel(std::vector<FileOperationItem> files, std::vector<std::string> startPaths,
                                       FileOperationKind operation)
    : m_files(std::move(files)), m_selected(m_files.size(), true), m_startPaths(std::move(startPaths)),
      m_operation(operation)
{
}

std::vector<FileOperationItem> FileOperationModel::filesOfRows(const std::vector<ResultEntry>& rows,
                                                               const std::vector<size_t>& selected)
{
    std::vector<FileOperationItem> files;
    std::set<std::pair<std::string, std::string>> seen;
    // A line of a file's block (its hits, replace texts, count, operation done) stands for
    // the file; an error or recovery line may name a file that was never listed, or a copy.
    auto standsForFile = [](LineKind kind, bool fileLinesOnly) {
        if (kind == LineKind::File || kind == LineKind::ListedFile)
            return true;
        return !fileLinesOnly && (kind == LineKind::Hit || kind == LineKind::ReplaceText
                                  || kind == LineKind::Count || kind == LineKind::Done);
    };
    auto take = [&](const ResultEntry& row, bool fileLinesOnly) {
        if (!row.path.empty() && standsForFile(row.kind, fileLinesOnly)
            && seen.emplace(row.path, row.archivePath).second)
            files.push_back({row.path, row.archivePath});
    };
    if (selected.empty())
        for (const ResultEntry& row : rows)
            take(row, true);
    std::vector<size_t> inOrder = selected;
    std::sort(inOrder.begin(), inOrder.end());
    for (size_t index : inOrder)
        if (index < rows.size())
            take(rows[index], false);
    return files;
}

std::vector<std::string> FileOperationModel::startPathsOf(const std::string& pathText)
{
    std::vector<std::string> pieces;
    size_t pos = 0;
    for (;;) {
        const size_t semicolon = pathText.find(';', pos);
        pieces.push_back(pathText.substr(pos, semicolon == std::string::npos ? std::string::npos : semicolon - pos));
        if (semicolon == std::string::npos)
            break;
        pos = semicolon + 1;
    }
    return startPathsOf(pieces);
}

std::vector<std::string> FileOperationModel::startPathsOf(const std::vector<std::string>& paths)
{
    std::vector<std::string> starts;
    for (const std::string& path : paths)
        if (!path.empty())
            starts.push_back(canonicalDirectory(expandHome(path)));
    return starts;
}

std::string FileOperationModel::fileText(size_t index) const
{
    const FileOperationItem& f = m_files.at(index);
    return displayName(f.archivePath.empty() ? f.path : f.archivePath + " | " + f.path);
}

std::string FileOperationModel::chooserStart() const
{
    if (m_destination.empty() || m_destination.back() == '/')
        return m_destination;
    return m_destination + "/";
}

FileOperationModel::OkCheck FileOperationModel::check() const
{
    if (m_operation != FileOperationKind::Delete && m_destination.empty())
        return OkCheck::PathNotFound;
    return OkCheck::Accept;
}

FileOperationRequest FileOperationModel::request(const std::string& extractDir) const
{
    TW_ASSERT(m_selected.size() == m_files.size());
    FileOperationRequest r;
    for (size_t i = 0; i < m_files.size(); ++i)
        if (m_selected[i])
            r.files.push_back(m_files[i]);
    r.startPaths = m_startPaths;
    r.operation = m_operation;
    r.destination = m_operation == FileOperationKind::Delete ? std::string() : expandHome(m_destination);
    r.preserve = m_preserve;
    r.extractDir = extractDir;
    return r;
}

} // namespace tw
