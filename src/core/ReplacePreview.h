#pragma once
// A replace run that writes nothing: each file the run would replace is committed here in
// place of ReplaceWriter::CommitFile, as a section of a unified diff (PatchWriter) from the
// original to the run's temporary output. No user file, backup, undo line, recovery entry
// or output file is made or changed.
//
//   ReplacePreview preview(fs, patchFile);
//   request.preview = &preview;   // a replace request, run as with no questions
//   driver.ExecuteRun(request);
//   preview.flush(); preview.replacements(), preview.filesChanged()
#include "core/ChangeSpans.h"
#include "core/PatchWriter.h"
#include "core/PreviewedFile.h"
#include "core/ReplaceWriter.h"
#include "core/SearchRequest.h"
#include "platform/FileSystem.h"

#include <functional>
#include <string>

namespace tw {

class ReplacePreview {
public:
    ReplacePreview(FileSystem& fs, File& patch) : m_fs(fs), m_patch(fs, patch) {}

    // Called for each previewed file, in run order (optional).
    void setFileHandler(std::function<void(const PreviewedFile&)> handler) { m_handler = std::move(handler); }

    // The commit of a previewed file: its section of the patch. `binary`: the run treats
    // the file as binary, or it is UTF-16; the section then only says that it differs.
    // False (nothing counted) when the original cannot be read as it was scanned, or the
    // patch cannot be written; `error` then holds the results line's text.
    bool commit(const CommitInput& in, bool binary, ChangeSpans* changes, std::string& error);
    // Writes what the patch still buffers; false when the patch could not be written.
    [[nodiscard]] bool flush() { return m_patch.flush(); }

    long replacements() const { return m_replacements; }
    long filesChanged() const { return m_files; }

private:
    FileSystem& m_fs;
    PatchWriter m_patch;
    std::function<void(const PreviewedFile&)> m_handler;
    long m_replacements = 0;
    long m_files = 0;
};

// Makes the replace run `request` a preview into `preview`: it runs as with no questions and
// writes no output file and no backup.
void previewInstead(SearchRequest& request, ReplacePreview& preview);

// The closing line of a preview: "Preview: N occurrences in M file(s) would be replaced".
std::string previewSummaryText(long replacements, long files);

} // namespace tw
