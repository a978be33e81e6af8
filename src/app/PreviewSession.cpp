#include "app/PreviewSession.h"

#include "core/ExpectedFiles.h"
#include "core/ReplacePreview.h"

#include <algorithm>
#include <cstring>

namespace tw {

std::shared_ptr<PreviewSession> PreviewSession::create(FileSystem& fs, SearchRequest request, std::string* error)
{
    int code = 0;
    std::unique_ptr<File> patch = fs.createTemp("tarnwick-preview-", &code);
    if (!patch) {
        if (error)
            *error = std::string("Cannot make the preview's patch file: ") + std::strerror(code);
        return nullptr;
    }
    return std::shared_ptr<PreviewSession>(new PreviewSession(fs, std::move(request), std::move(patch)));
}

PreviewSession::PreviewSession(FileSystem& fs, SearchRequest request, std::unique_ptr<File> patch)
    : m_fs(fs), m_request(std::move(request)), m_patch(std::move(patch)), m_patchPath(m_patch->path())
{
}

PreviewSession::~PreviewSession()
{
    m_patch.reset();
    m_fs.removeFile(m_patchPath);
}

RunOutcome PreviewSession::runPreview(RunDriver& driver)
{
    m_files.clear();
    m_replacements = 0;
    m_patchWritten = m_patch->seek(0) && m_patch->truncate(0);
    ReplacePreview preview(m_fs, *m_patch);
    preview.setFileHandler([this](const PreviewedFile& f) { m_files.push_back(f); });
    SearchRequest request = m_request;
    previewInstead(request, preview);
    const RunOutcome outcome = driver.ExecuteRun(request);
    m_patchWritten = preview.flush() && m_patchWritten;
    m_replacements = preview.replacements();
    return outcome;
}

RunOutcome PreviewSession::runReplace(RunDriver& driver)
{
    ExpectedFiles expected;
    for (const PreviewedFile& f : m_files)
        expected.add(f.path, f.size, f.lastWrite);
    SearchRequest request = m_request;
    // The user has seen every change: none is asked about again.
    request.options.promptMode = 2;
    request.onlyFiles = &expected;
    const RunOutcome outcome = driver.ExecuteRun(request);

    // Several search threads may have noted them in any order: the preview's order.
    std::vector<std::string> noted = expected.refused();
    std::sort(noted.begin(), noted.end());
    m_refused.clear();
    for (const PreviewedFile& f : m_files)
        if (std::binary_search(noted.begin(), noted.end(), f.path))
            m_refused.push_back(f.path);
    return outcome;
}

} // namespace tw
