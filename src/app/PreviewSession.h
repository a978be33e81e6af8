#pragma once
// "Preview Replace" in the desktop program: one preview and the replace that may apply it.
// The preview runs the accepted replace request as with no questions into a patch file of
// its own (a temporary file, removed with the session) and notes every file it would
// change with its size and modification time. The replace then runs the same request,
// with no questions, on exactly those files, and leaves alone any that changed since.
// Both runs execute on the worker thread; the rest is read on the GUI thread after a run
// has ended.
#include "core/PreviewedFile.h"
#include "core/RunDriver.h"
#include "core/SearchRequest.h"

#include <memory>
#include <string>
#include <vector>

namespace tw {

class PreviewSession {
public:
    // A session for the replace run `request`; null (and `error`) when no patch file can
    // be made.
    static std::shared_ptr<PreviewSession> create(FileSystem& fs, SearchRequest request, std::string* error);
    ~PreviewSession();
    PreviewSession(const PreviewSession&) = delete;
    PreviewSession& operator=(const PreviewSession&) = delete;

    // The preview: the patch and files() are written afresh.
    RunOutcome runPreview(RunDriver& driver);
    // The replace of the previewed files; refused() names those that changed since.
    RunOutcome runReplace(RunDriver& driver);

    const std::string& patchPath() const { return m_patchPath; }
    // The files the preview would change, in run order.
    const std::vector<PreviewedFile>& files() const { return m_files; }
    long replacements() const { return m_replacements; }
    // The whole patch reached its file.
    bool patchWritten() const { return m_patchWritten; }
    // The files the replace left alone because they changed after the preview, in the
    // order of files().
    const std::vector<std::string>& refused() const { return m_refused; }
    const SearchRequest& request() const { return m_request; }

private:
    PreviewSession(FileSystem& fs, SearchRequest request, std::unique_ptr<File> patch);

    FileSystem& m_fs;
    const SearchRequest m_request;    // the replace as accepted, before the preview changes it
    std::unique_ptr<File> m_patch;    // open for the session's life; never null
    std::string m_patchPath;          // m_patch's name, removed by the destructor
    std::vector<PreviewedFile> m_files;
    long m_replacements = 0;
    bool m_patchWritten = false;
    std::vector<std::string> m_refused;
};

} // namespace tw
