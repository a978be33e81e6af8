#include "core/ReplaceWriter.h"

#include "core/SafeRewrite.h"

#include <cstdio>

namespace tw {

void ReportFileError(ResultSink& sink, RunHost& host, bool quiet, const std::string& message,
                     const std::string& path)
{
    const std::string text = message + " " + BaseName(path);
    sink.addResultLines(ResultEntry{text, 0});
    host.message(text, quiet);
}

std::string BackupName(const std::string& path, const std::string& startPath, const std::string& backupDir)
{
    if (!startPath.empty() && path.size() > startPath.size() && path.compare(0, startPath.size(), startPath) == 0)
        return backupDir + path.substr(startPath.size());
    size_t from = 0;
    while (from < path.size() && path[from] == '/')
        ++from;
    return backupDir + path.substr(from);
}

ReplaceWriter::ReplaceWriter(FileSystem& fs, FileOps& ops, RunHost& host, ResultSink& sink,
                             ConfirmationState& confirmation)
    : m_fs(fs), m_ops(ops), m_host(host), m_sink(sink), m_confirmation(confirmation), m_undo(fs, ops)
{
}

ReplaceWriter::~ReplaceWriter()
{
    ReleaseTempFiles();
}

void ReplaceWriter::startRun(const ProgramOptions& options, bool quiet, std::string dataDir)
{
    m_options = options;
    m_quiet = quiet;
    m_dataDir = std::move(dataDir);
    m_undo.close();
    m_undoTried = false;
    m_undoFailed = false;
    m_backupsMade.clear();
    m_filesReplaced = 0;
    m_replacements = 0;
}

bool ReplaceWriter::CreateTempFiles(size_t pairCount)
{
    ReleaseTempFiles();
    const size_t count = pairCount > 1 ? 2 : 1;
    for (size_t i = 0; i < count; ++i) {
        m_temp[i] = m_fs.createTemp("TW");
        if (!m_temp[i]) {
            ReleaseTempFiles();
            m_sink.addResultLines(ResultEntry{kErrorOpeningTemp, 0});
            return false;
        }
    }
    return true;
}

File* ReplaceWriter::tempFile(int index) const
{
    return index >= 0 && index < 2 ? m_temp[index].get() : nullptr;
}

void ReplaceWriter::ReleaseTempFiles()
{
    for (auto& temp : m_temp) {
        if (!temp)
            continue;
        const std::string path = temp->path();
        temp.reset();
        m_fs.removeFile(path);
    }
}

void ReplaceWriter::endRun()
{
    m_undo.close();
}

CommitResult ReplaceWriter::fail(const std::string& message, const std::string& path)
{
    ReportFileError(m_sink, m_host, m_quiet, message, path);
    return CommitResult::Failed;
}

bool ReplaceWriter::makeDirectories(const std::string& dir)
{
    for (size_t i = 1; i < dir.size(); ++i) {
        if (dir[i] != '/' && i + 1 != dir.size())
            continue;
        const std::string level = dir.substr(0, dir[i] == '/' ? i : i + 1);
        FileStatus st;
        if (m_fs.status(level, &st)) {
            if (!st.isDirectory)
                return false;
            continue;
        }
        if (!m_ops.makeDirectory(level))
            return false;
    }
    return true;
}

bool ReplaceWriter::writeCopy(File& from, const std::string& to, uint32_t mode)
{
    auto out = m_fs.openWrite(to, true, true);
    if (!out)
        return false;
    // Narrow the permissions before any content goes in, so a private file never lies
    // readable in the backup directory.
    const bool ok = m_ops.setMode(to, mode | kOwnerWrite) && CopyContent(from, *out) >= 0 && out->sync();
    out.reset();
    return ok && m_ops.setMode(to, mode) && m_ops.syncDirectory(DirectoryOf(to));
}

void ReplaceWriter::addUndoLine(const std::string& source, const std::string& target)
{
    if (m_undo.addCopy(source, target) || m_undoFailed)
        return;
    m_undoFailed = true;
    ReportFileError(m_sink, m_host, m_quiet, kErrorWriting, m_dataDir + kUndoScriptName);
}

CommitResult ReplaceWriter::CommitFile(const CommitInput& in)
{
    if (in.replacements <= 0 || !in.output)
        return CommitResult::Declined;
    if (!m_confirmation.confirmFile(m_host, in.replacements, in.path))
        return CommitResult::Declined;

    // The original must still be the file that was scanned; otherwise another program
    // changed it meanwhile and writing the replaced copy would undo that change.
    FileStatus now;
    PreciseTimes times;
    if (!m_fs.status(in.path, &now) || now.size != in.status.size || now.lastWrite != in.status.lastWrite
        || !m_ops.readTimes(in.path, &times))
        return fail(kErrorWriting, in.path);
    const uint32_t mode = now.mode;

    std::string backup;
    if (!in.backupDir.empty()) {
        backup = BackupName(in.path, in.startPath, in.backupDir);
        // A second file of this run with the same backup name would overwrite the first
        // one's backup, and the undo script would then restore the wrong content.
        if (m_backupsMade.count(backup) || !makeDirectories(DirectoryOf(backup)))
            return fail(kErrorBackupDir, in.path);
        FileStatus existing;
        if (m_fs.status(backup, &existing, false)) {
            if (existing.isDirectory || existing.isSymlink || m_ops.sameFile(backup, in.path))
                return fail(kErrorBackupDir, in.path);
            if (IsReadOnlyMode(existing.mode) && !m_ops.setMode(backup, existing.mode | kOwnerWrite))
                return fail(kErrorWriting, in.path);
        }
        if (!m_undoTried) {
            m_undoTried = true;
            if (!m_undo.open(m_dataDir)) {
                m_undoFailed = true;
                ReportFileError(m_sink, m_host, m_quiet, kErrorWriting, m_dataDir + kUndoScriptName);
            }
        }

        if (m_options.writeToBackupDir) {
            if (!writeCopy(*in.output, backup, mode))
                return fail(kErrorWriting, in.path);
            m_backupsMade.insert(backup);
            ++m_filesReplaced;
            m_replacements += in.replacements;
            addUndoLine(in.path, backup);
            if (m_options.keepFileTime && !m_ops.setTimes(backup, times))
                return fail(kErrorWriting, in.path);
            return CommitResult::Replaced;
        }

        auto original = m_fs.openRead(in.path);
        if (!original || !writeCopy(*original, backup, mode) || !m_ops.setTimes(backup, times))
            return fail(kErrorWriting, in.path);
        m_backupsMade.insert(backup);
    }

    // Read-only and hidden originals need a go-ahead. Only read-only can be cleared on
    // Linux (hidden is part of the name), so only read-only must be gone afterwards.
    bool cleared = false;
    if (IsReadOnlyMode(mode) || IsHiddenName(in.path)) {
        if (!m_confirmation.confirmReadOnly(m_host))
            return CommitResult::Declined;
        if (IsReadOnlyMode(mode)) {
            if (!m_ops.setMode(in.path, mode | kOwnerWrite))
                return fail(kErrorWriting, in.path);
            cleared = true;
            FileStatus after;
            if (!m_fs.status(in.path, &after) || IsReadOnlyMode(after.mode)) {
                m_ops.setMode(in.path, mode);
                return fail(kErrorWriting, in.path);
            }
        }
    }
    auto putBackMode = [&] {
        if (cleared)
            m_ops.setMode(in.path, mode);
    };

    FileStatus output;
    if (!m_fs.status(in.output->path(), &output)) {
        putBackMode();
        return fail(kErrorWriting, in.path);
    }
    const int64_t expected = in.status.size - in.sizeChange;
    if (!in.reformatted && expected != output.size) {
        putBackMode();
        char head[200];
        std::snprintf(head, sizeof head,
                      "Mismatch between expected and actual size after replace:\n%lld bytes expected, "
                      "%lld bytes actual in file\n",
                      static_cast<long long>(expected), static_cast<long long>(output.size));
        const std::string text = head + in.path;
        if (m_quiet)
            m_sink.addResultLines(ResultEntry{text, 0});
        m_host.message(text, m_quiet);
        return CommitResult::Failed;
    }

    const RewriteOutcome rewrite = RewriteInPlace(m_fs, m_ops, m_dataDir, in.path, *in.output, backup);
    if (rewrite.result != RewriteResult::Done) {
        putBackMode();
        ReportFileError(m_sink, m_host, m_quiet, kErrorWriting, in.path);
        if (rewrite.result == RewriteResult::FailedUnrestored) {
            RecoveryEntry entry = rewrite.entry;
            entry.copyExists = true;
            const std::string text = FormatRecoveryReport(entry);
            m_sink.addResultLines(ResultEntry{text, 0});
            m_host.message(text, false);
        }
        return CommitResult::Failed;
    }
    ++m_filesReplaced;
    m_replacements += in.replacements;

    bool statusOk = true;
    if (cleared)
        statusOk = m_ops.setMode(in.path, mode);
    if (m_options.keepFileTime) {
        PreciseTimes current;
        statusOk = m_ops.readTimes(in.path, &current) && statusOk;
        current.lastWriteSec = times.lastWriteSec;
        current.lastWriteNsec = times.lastWriteNsec;
        statusOk = m_ops.setTimes(in.path, current) && statusOk;
    }
    if (!backup.empty())
        addUndoLine(backup, in.path);
    if (!statusOk)
        fail(kErrorWriting, in.path);
    return CommitResult::Replaced;
}

} // namespace tw
