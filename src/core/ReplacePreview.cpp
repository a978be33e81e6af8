#include "core/ReplacePreview.h"

#include "core/RunTexts.h"

namespace tw {

bool ReplacePreview::commit(const CommitInput& in, bool binary, ChangeSpans* changes, std::string& error)
{
    const std::string rel = backupRelativeName(in.path, in.startPath);
    if (binary) {
        if (!m_patch.writeBinary(rel)) {
            error = "Error writing the patch for file";
            return false;
        }
    } else {
        // The original is read again as it was scanned: the same file, not written since.
        std::unique_ptr<File> original = m_fs.openRead(in.path);
        FileStatus now, output;
        const int64_t outputSize = in.output->status(&output) ? output.size : -1;
        if (!original || !original->status(&now) || !sameFile(now, in.status) || now.size != in.status.size ||
            now.lastWrite != in.status.lastWrite || !changes || outputSize < 0) {
            error = "Error reading (changed since it was searched?) file";
            return false;
        }
        if (!m_patch.writeText(rel, *original, in.status.size, *in.output, outputSize, *changes)) {
            error = "Error writing the patch for file";
            return false;
        }
    }
    m_replacements += in.replacements;
    ++m_files;
    if (m_handler)
        m_handler({in.path, rel, in.replacements, in.status.size, in.status.lastWrite});
    return true;
}

std::string previewSummaryText(long replacements, long files)
{
    return formatText("Preview: %ld occurrences in %ld file(s) would be replaced", replacements, files);
}

void previewInstead(SearchRequest& request, ReplacePreview& preview)
{
    request.options.promptMode = 2;
    request.options.outputFile.clear();
    request.options.backupPath.clear();
    request.options.writeToBackupDir = false;
    request.preview = &preview;
}

} // namespace tw
