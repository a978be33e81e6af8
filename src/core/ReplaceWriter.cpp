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
    flushRewrites();
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
    flushRewrites();
    if (m_staging) {
        const std::string path = m_staging->path();
        m_staging.reset();
        m_fs.removeFile(path);
    }
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
    flushRewrites();
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
    // Durability comes from the barrier of the rewrite batch that relies on this copy.
    const bool ok = m_ops.setMode(to, mode | kOwnerWrite) && CopyContent(from, *out) >= 0;
    out.reset();
    return ok && m_ops.setMode(to, mode);
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
    // Linux (hidden is part of the name); that happens right before the rewrite.
    if ((IsReadOnlyMode(mode) || IsHiddenName(in.path)) && !m_confirmation.confirmReadOnly(m_host))
        return CommitResult::Declined;

    FileStatus output;
    if (!m_fs.status(in.output->path(), &output))
        return fail(kErrorWriting, in.path);
    const int64_t expected = in.status.size - in.sizeChange;
    if (!in.reformatted && expected != output.size) {
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

    // The rewrite waits in the batch; the replaced text is kept in the staging file.
    if (!m_staging)
        m_staging = m_fs.createTemp("TW");
    const int64_t staged = m_staging && m_staging->seek(m_pendingBytes) ? CopyContent(*in.output, *m_staging) : -1;
    if (staged < 0)
        return fail(kErrorWriting, in.path);
    PendingRewrite pending;
    pending.path = in.path;
    pending.backup = backup;
    pending.mode = mode;
    pending.times = times;
    pending.status = now;
    pending.replacements = in.replacements;
    pending.stageOffset = m_pendingBytes;
    pending.stageLength = staged;
    m_pendingBytes += staged;
    m_pending.push_back(std::move(pending));
    if (m_pending.size() >= m_batchLimit || m_pendingBytes >= kBatchBytes)
        return flushRewrites();
    return CommitResult::Replaced;
}

CommitResult ReplaceWriter::flushRewrites()
{
    if (m_pending.empty())
        return CommitResult::Replaced;
    // Reports of a batch name their file; the file line of whatever file is pending in
    // the results list does not belong in front of them.
    const bool immediate = m_batchLimit <= 1;
    auto report = [&](const std::string& text) {
        if (immediate)
            m_sink.addResultLines(ResultEntry{text, 0});
        else
            m_sink.addLine(ResultEntry{text, 0});
        m_host.message(text, m_quiet);
    };
    CommitResult last = CommitResult::Replaced;

    std::vector<RewriteItem> items;
    std::vector<PendingRewrite*> staged;
    for (PendingRewrite& p : m_pending) {
        // The original must still be the file that was scanned.
        FileStatus now;
        bool ok = m_fs.status(p.path, &now) && now.size == p.status.size && now.lastWrite == p.status.lastWrite;
        if (ok && IsReadOnlyMode(p.mode)) {
            ok = m_ops.setMode(p.path, p.mode | kOwnerWrite);
            p.cleared = ok;
            FileStatus after;
            ok = ok && m_fs.status(p.path, &after) && !IsReadOnlyMode(after.mode);
            if (!ok && p.cleared)
                m_ops.setMode(p.path, p.mode);
        }
        if (!ok) {
            report(std::string(kErrorWriting) + " " + BaseName(p.path));
            last = CommitResult::Failed;
            continue;
        }
        RewriteItem item;
        item.originalPath = p.path;
        item.source = m_staging.get();
        item.sourceOffset = p.stageOffset;
        item.sourceLength = p.stageLength;
        item.existingCopy = p.backup;
        items.push_back(std::move(item));
        staged.push_back(&p);
    }
    RewriteBatchInPlace(m_fs, m_ops, m_dataDir, items);

    for (size_t i = 0; i < items.size(); ++i) {
        PendingRewrite& p = *staged[i];
        const RewriteOutcome& rewrite = items[i].outcome;
        bool statusOk = !p.cleared || m_ops.setMode(p.path, p.mode);
        if (rewrite.result != RewriteResult::Done) {
            report(std::string(kErrorWriting) + " " + BaseName(p.path));
            if (rewrite.result == RewriteResult::FailedUnrestored) {
                RecoveryEntry entry = rewrite.entry;
                entry.copyExists = true;
                const std::string text = FormatRecoveryReport(entry);
                m_sink.addLine(ResultEntry{text, 0});
                m_host.message(text, false);
            }
            last = CommitResult::Failed;
            continue;
        }
        ++m_filesReplaced;
        m_replacements += p.replacements;
        if (m_options.keepFileTime) {
            PreciseTimes current;
            statusOk = m_ops.readTimes(p.path, &current) && statusOk;
            current.lastWriteSec = p.times.lastWriteSec;
            current.lastWriteNsec = p.times.lastWriteNsec;
            statusOk = m_ops.setTimes(p.path, current) && statusOk;
        }
        if (!p.backup.empty())
            addUndoLine(p.backup, p.path);
        if (!statusOk) {
            report(std::string(kErrorWriting) + " " + BaseName(p.path));
            last = CommitResult::Failed;
        }
    }
    m_pending.clear();
    m_pendingBytes = 0;
    m_staging->truncate(0);
    return last;
}

} // namespace tw
