#pragma once
// The logic behind the File Operations dialog, without widgets: the files of the results
// list (each once, all selected at first), the run's start paths, the operation, the
// destination and whether the directory structure is kept; OK's check and the request it
// runs. The dialog only moves values between its controls and this model.
#include "core/FileOperations.h"
#include "results/ResultEntry.h"

#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kPathNotFoundMessage = "Path not found";

class FileOperationModel {
public:
    enum class OkCheck { Accept, PathNotFound };

    FileOperationModel(std::vector<FileOperationItem> files, std::vector<std::string> startPaths,
                       FileOperationKind operation);

    // The files the lines `selected` (indices into `rows`) are about, each once in list
    // order; a hit line stands for its file. No line selected: the files of all lines.
    static std::vector<FileOperationItem> filesOfRows(const std::vector<ResultEntry>& rows,
                                                      const std::vector<size_t>& selected);
    // The start paths of a path text: split at ";", empty pieces dropped, "~/" expanded,
    // each a canonical directory. A script's paths go through the same.
    static std::vector<std::string> startPathsOf(const std::string& pathText);
    static std::vector<std::string> startPathsOf(const std::vector<std::string>& paths);

    size_t fileCount() const { return m_files.size(); }
    // A file as the list shows it: the path, or "archive | member".
    std::string fileText(size_t index) const;
    bool isSelected(size_t index) const { return m_selected.at(index); }
    void setSelected(size_t index, bool on) { m_selected.at(index) = on; }
    const std::vector<std::string>& startPaths() const { return m_startPaths; }

    FileOperationKind operation() const { return m_operation; }
    void setOperation(FileOperationKind operation) { m_operation = operation; }
    const std::string& destination() const { return m_destination; }
    void setDestination(std::string destination) { m_destination = std::move(destination); }
    bool preserve() const { return m_preserve; }
    void setPreserve(bool on) { m_preserve = on; }
    // Where the directory chooser starts: the destination with a trailing "/".
    std::string chooserStart() const;

    // Copy and Move need a destination; Delete needs nothing more.
    OkCheck check() const;
    // The operation on the files still selected; members are extracted into `extractDir`.
    FileOperationRequest request(const std::string& extractDir) const;

private:
    std::vector<FileOperationItem> m_files;
    std::vector<bool> m_selected; // one per file
    std::vector<std::string> m_startPaths;
    FileOperationKind m_operation;
    std::string m_destination;
    bool m_preserve = true;
};

} // namespace tw
