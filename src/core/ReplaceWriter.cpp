#include "core/ReplaceWriter.h"

#include "core/RunTexts.h"
#include "core/SafeRewrite.h"
#include "engine/Sha256.h"

#include <cstdio>

namespace tw {

void reportFileError(ResultStream& sink, RunHost& host, bool quiet, const std::string& message,
                     const std::string& path)
{
    const std::string text = fileErrorText(message + " ", displayName(baseName(path)));
    sink.addResultLines(ResultEntry::error(text, path));
    host.message(text, quiet);
}

std::string backupRelativeName(const std::string& path, const std::string& startPath)
{
    if (!startPath.empty() && path.size() > startPath.size() && path.compare(0, startPath.size(), startPath) == 0)
        return path.substr(startPath.size());
    size_t from = 0;
    while (from < path.size() && path[from] == '/')
        ++from;
    return path.substr(from);
}

std::string backupName(const std::string& path, const std::string& startPath, const std::string& backupDir)
{
    return backupDir + backupRelativeName(path, startPath);
}

ReplaceWriter::ReplaceWriter(FileSystem& fs, FileOps& ops, RunHost& host, ResultStream& sink,
                             ConfirmationState& confirmation)
    : m_fs(fs), m_ops(ops), m_host(host), m_sink(sink), m_confirmation(confirmation), m_undo(fs, ops)
{
}

ReplaceWriter::~ReplaceWriter()
{
    flushRewrites();
    releaseTempFiles();
}

void ReplaceWriter::startRun(const ProgramOptions& options, bool quiet, std::string dataDir)
{
    // A script still open here belongs to a run that ended without endRun; its failure
    // is reported with that run's settings.
    if (!m_undo.close())
        undoFailed();
    m_options = options;
    m_quiet = quiet;
    m_dataDir = std::move(dataDir);
    m_undoTried = false;
    m_undoFailed = false;
    m_backupsMade.clear();
    m_filesReplaced = 0;
    m_replacements = 0;
    m_errorLines = 0;
    m_recoveries.clear();
    m_history.reset();
    m_placeCursor = m_ops.newPlacementCursor();
    if (!m_dataDir.empty())
        for (RecoveryEntry& e : RecoveryList(m_fs, m_ops, m_dataDir).entries()) {
            PendingEntry p;
            p.entry = std::move(e);
            if (!m_fs.status(p.entry.original, &p.original))
                p.original = FileStatus{};
            if (!m_fs.status(p.entry.safetyCopy, &p.copy))
                p.copy = FileStatus{};
            m_recoveries.push_back(std::move(p));
        }
}

void ReplaceWriter::keepUndoHistory(const std::string& search, const std::string& replace, FileTime started)
{
    m_history.reset();
    if (m_options.undoSpaceBytes > 0 && !m_dataDir.empty() && !m_options.writeToBackupDir)
        m_history = std::make_unique<UndoRecorder>(m_fs, m_ops, m_dataDir, m_options.undoSpaceBytes, search, replace,
                                                   started);
}

void ReplaceWriter::reportNotKept(const std::string& path, bool immediate)
{
    const ResultEntry line = ResultEntry::notice(kNotKeptForUndo + displayName(path));
    if (immediate)
        m_sink.addResultLines(line);
    else
        m_sink.addLine(line);
}

bool ReplaceWriter::pendingRecoveryFor(const std::string& path, const FileStatus& status) const
{
    for (const PendingEntry& p : m_recoveries)
        if (p.entry.original == path || (p.original.isRegular && sameFile(p.original, status)))
            return true;
    return false;
}

bool ReplaceWriter::isRecoveryCopy(const std::string& name) const
{
    if (m_recoveries.empty())
        return false; // no status call for a name nothing can match
    FileStatus st;
    const bool exists = m_fs.status(name, &st);
    for (const PendingEntry& p : m_recoveries)
        if (p.entry.safetyCopy == name || (exists && p.copy.isRegular && sameFile(p.copy, st)))
            return true;
    return false;
}

bool ReplaceWriter::createTempFiles(size_t pairCount)
{
    releaseTempFiles();
    const size_t count = pairCount > 1 ? 2 : 1;
    for (size_t i = 0; i < count; ++i) {
        m_temp[i] = m_fs.createScratch("TW");
        if (!m_temp[i]) {
            releaseTempFiles();
            m_sink.addResultLines(ResultEntry::error(kErrorOpeningTemp));
            return false;
        }
    }
    return true;
}

File* ReplaceWriter::tempFile(int index) const
{
    return index >= 0 && index < 2 ? m_temp[index].get() : nullptr;
}

void ReplaceWriter::releaseTempFiles()
{
    flushRewrites();
    m_staging.reset(); // unnamed: gone with its handle
    // Unnamed files: they go with their handles, also when the program is killed.
    for (auto& temp : m_temp)
        temp.reset();
}

void ReplaceWriter::endRun()
{
    flushRewrites();
    if (m_history)
        m_history->finish();
    m_placeCursor.reset(); // the backup directory is not held open beyond the run
    if (!m_undo.close())
        undoFailed();
}

CommitResult ReplaceWriter::fail(const std::string& message, const std::string& path)
{
    ++m_errorLines;
    reportFileError(m_sink, m_host, m_quiet, message, path);
    return CommitResult::Failed;
}

void ReplaceWriter::report(const std::string& text, const std::string& path, bool immediate)
{
    ++m_errorLines;
    if (immediate)
        m_sink.addResultLines(ResultEntry::error(text, path));
    else
        m_sink.addLine(ResultEntry::error(text, path));
    m_host.message(text, m_quiet);
}

const char* ReplaceWriter::placeBackup(const CommitInput& in, File& content, uint32_t mode, const PreciseTimes* times)
{
    const std::string name = backupName(in.path, in.startPath, in.backupDir);
    // A second file of this run with the same backup name would overwrite the first one's
    // backup, and the undo script would then restore the wrong content. A copy that the
    // recovery list still needs is the only copy of some file's earlier content.
    if (m_backupsMade.count(name) || isRecoveryCopy(name))
        return kErrorBackupDir;
    // Written under a temporary name and renamed into place when complete, so a full disk
    // or a crash never leaves a torn backup, and never through a link in the directories.
    // Backups are placed in walk order: the cursor keeps the last file's directory open.
    switch (m_ops.placeFileNear(in.backupDir, backupRelativeName(in.path, in.startPath), mode, times, &in.status,
                                [&](File& out) { return copyContent(content, out) >= 0; }, m_placeCursor.get())) {
    case FileOps::PlaceResult::Done:
        m_backupsMade.insert(name);
        return nullptr;
    case FileOps::PlaceResult::DirectoryFailed:
        return kErrorBackupDir;
    case FileOps::PlaceResult::WriteFailed:
        break;
    }
    return kErrorWriting;
}

void ReplaceWriter::addUndoLine(const std::string& source, const std::string& target)
{
    if (!m_undo.addCopy(source, target))
        undoFailed();
}

void ReplaceWriter::undoFailed()
{
    if (m_undoFailed)
        return;
    m_undoFailed = true;
    ++m_errorLines;
    reportFileError(m_sink, m_host, m_quiet, kErrorWriting, m_dataDir + kUndoScriptName);
}

CommitResult ReplaceWriter::CommitFile(const CommitInput& in)
{
    if (in.replacements <= 0 || !in.output)
        return CommitResult::Declined;
    if (!m_confirmation.confirmFile(m_host, in.replacements, in.path))
        return CommitResult::Declined;

    // An original whose earlier rewrite was interrupted is left alone until the user
    // recovered or discarded it: its safety copy may be the only whole version.
    if (pendingRecoveryFor(in.path, in.status))
        return fail(kErrorPendingRecovery, in.path);
    // The name must still lead to the file that was scanned, unchanged; the backup is
    // copied from this handle and the times are taken from it at full precision.
    const uint32_t mode = in.status.mode;
    FileStatus now;
    PreciseTimes times;
    auto original = m_fs.openReadWithStatus(in.path, &now, &times);
    if (!original || !unchangedSince(in.status, now))
        return fail(kErrorWriting, in.path);

    std::string backup;
    if (!in.backupDir.empty()) {
        backup = backupName(in.path, in.startPath, in.backupDir);
        if (!m_undoTried) {
            m_undoTried = true;
            if (!m_undo.open(m_dataDir))
                undoFailed();
        }

        if (m_options.writeToBackupDir) {
            if (const char* error = placeBackup(in, *in.output, mode, m_options.keepFileTime ? &times : nullptr))
                return fail(error, in.path);
            ++m_filesReplaced;
            m_replacements += in.replacements;
            addUndoLine(in.path, backup);
            return CommitResult::Replaced;
        }

        if (const char* error = placeBackup(in, *original, mode, &times))
            return fail(error, in.path);
    }

    // Read-only and hidden originals need a go-ahead. Only read-only can be cleared on
    // Linux (hidden is part of the name); that happens right before the rewrite.
    if ((isReadOnlyMode(mode) || isHiddenName(in.path)) && !m_confirmation.confirmReadOnly(m_host))
        return CommitResult::Declined;

    FileStatus output;
    if (!in.output->status(&output))
        return fail(kErrorWriting, in.path);
    if (sizeMismatch(in, output.size))
        return CommitResult::Failed;
    return stageRewrite(in, output.size, backup, times);
}

bool ReplaceWriter::sizeMismatch(const CommitInput& in, int64_t outputSize)
{
    const int64_t expected = in.status.size - in.sizeChange;
    if (in.reformatted || expected == outputSize)
        return false;
    char head[200];
    std::snprintf(head, sizeof head,
                  "Mismatch between expected and actual size after replace:\n%lld bytes expected, "
                  "%lld bytes actual in file\n",
                  static_cast<long long>(expected), static_cast<long long>(outputSize));
    const std::string text = head + displayName(in.path);
    ++m_errorLines;
    if (m_quiet)
        m_sink.addResultLines(ResultEntry::error(text, in.path));
    m_host.message(text, m_quiet);
    return true;
}

CommitResult ReplaceWriter::stageRewrite(const CommitInput& in, int64_t outputSize, const std::string& backup,
                                         const PreciseTimes& times)
{
    // The rewrite waits in the batch; the replaced text is kept in the staging file,
    // unless a worker staged it already.
    if (!m_staging && !in.stagedOutput)
        m_staging = m_fs.createScratch("TW");
    PendingRewrite pending;
    pending.keepForUndo = m_history && m_history->reserve(in.status.size);
    if (m_history && !pending.keepForUndo)
        reportNotKept(in.path, m_batchLimit <= 1);
    // The writer's hash of the output stands for the staged bytes when it covers as many
    // bytes as the output holds; otherwise they are hashed as they are staged.
    const bool hashed = pending.keepForUndo && !in.outputHash.empty() && in.outputHashLength == outputSize;
    std::string* const hash = pending.keepForUndo && !hashed ? &pending.contentHash : nullptr;
    const int64_t staged = in.stagedOutput ? (hash ? passContent(*in.stagedOutput, nullptr, hash) : outputSize)
                                           : stageContent(*in.output, hash);
    // A length that changed since the status was taken means the hash is not the staged
    // bytes': the file is not rewritten rather than recorded with a wrong hash.
    if (staged < 0 || (hashed && staged != in.outputHashLength))
        return fail(kErrorWriting, in.path);
    if (hashed)
        pending.contentHash = in.outputHash;
    pending.path = in.path;
    pending.backup = backup;
    pending.times = times;
    pending.status = in.status;
    pending.replacements = in.replacements;
    pending.staged = in.stagedOutput; // or its bytes follow in m_staging:
    if (!pending.staged) {
        pending.stageOffset = m_stagingBytes;
        m_stagingBytes += staged;
    }
    pending.stageLength = staged;
    m_pendingBytes += staged;
    m_pending.push_back(std::move(pending));
    if (m_pending.size() < m_batchLimit && m_pendingBytes < kBatchBytes)
        return CommitResult::Replaced;
    if (m_batchLimit <= 1)
        return flushRewrites();
    dispatchBatch(true);
    return CommitResult::Replaced;
}

int64_t ReplaceWriter::passContent(File& from, File* to, std::string* hash)
{
    if (!from.seek(0))
        return -1;
    // The hash is taken from the very bytes that go on, in the same pass.
    Sha256 sha;
    std::vector<char> buffer(kCopyBufferSize);
    int64_t total = 0;
    for (;;) {
        const int64_t n = from.read(buffer.data(), buffer.size());
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        if (to && !to->write(buffer.data(), size_t(n)))
            return -1;
        if (hash)
            sha.update(buffer.data(), size_t(n));
        total += n;
    }
    if (hash)
        *hash = Sha256::hex(sha.finish());
    return total;
}

int64_t ReplaceWriter::stageContent(File& output, std::string* hash)
{
    if (!m_staging || !m_staging->seek(m_stagingBytes))
        return -1;
    return passContent(output, m_staging.get(), hash);
}

// A batch of staged rewrites: its own staging file, and, once rewritten, their outcomes.
struct ReplaceWriter::Batch {
    std::vector<PendingRewrite> pending;
    std::unique_ptr<File> staging;
    std::vector<RewriteItem> items; // one for each of `pending`, in the same order
    File* undoScript = nullptr;     // to be made durable before any original is written
    bool undoDurable = true;
};

std::vector<RewriteItem> ReplaceWriter::batchItems(Batch& batch, bool keepFileTime)
{
    std::vector<RewriteItem> items;
    items.reserve(batch.pending.size());
    for (const PendingRewrite& p : batch.pending) {
        RewriteItem item;
        item.originalPath = p.path;
        item.source = p.staged ? p.staged.get() : batch.staging.get();
        item.sourceOffset = p.stageOffset;
        item.sourceLength = p.stageLength;
        item.existingCopy = p.backup;
        item.checkExpected = true;
        item.expected = p.status;
        item.clearReadOnly = true;
        item.keepLastWrite = keepFileTime ? &p.times : nullptr;
        item.keepCopy = p.keepForUndo;
        item.contentHash = p.contentHash;
        items.push_back(std::move(item));
    }
    return items;
}

CommitResult ReplaceWriter::flushRewrites()
{
    const CommitResult before = dispatchBatch(false);
    const CommitResult last = awaitBatch();
    return before == CommitResult::Failed ? before : last;
}

CommitResult ReplaceWriter::dispatchBatch(bool background)
{
    const CommitResult before = awaitBatch();
    if (m_pending.empty())
        return before;
    auto batch = std::make_unique<Batch>();
    batch->pending = std::move(m_pending);
    batch->staging = std::move(m_staging);
    m_pending.clear();
    m_pendingBytes = 0;
    m_stagingBytes = 0;
    batch->items = batchItems(*batch, m_options.keepFileTime);
    // The undo lines of the batch reach the disk before any original is touched, so after
    // a crash in the middle of the batch the script restores every file it changed. A
    // line for a file that ends up unchanged copies its backup, an identical copy, back.
    // They go to the script in one write.
    std::vector<std::pair<std::string, std::string>> undoLines;
    for (const PendingRewrite& p : batch->pending)
        if (!p.backup.empty())
            undoLines.emplace_back(p.backup, p.path);
    // The barrier of the backups makes them durable too when they share a file system.
    if (!undoLines.empty() && !m_undo.addCopies(undoLines))
        undoFailed();
    batch->undoScript = !undoLines.empty() && !m_undoFailed ? m_undo.file() : nullptr;
    // Until the batch is awaited, the other thread alone uses it, the undo script's file
    // and the recorder's side of the rewrite; this thread stages the next batch meanwhile.
    auto rewrite = [this, b = batch.get()] {
        rewriteBatchInPlace(m_fs, m_ops, m_dataDir, b->items, m_history.get(), b->undoScript, &b->undoDurable);
    };
    m_batch = std::move(batch);
    if (background && m_fs.allowsConcurrentUse())
        m_batchDone = std::async(std::launch::async, rewrite);
    else
        rewrite();
    return before;
}

CommitResult ReplaceWriter::awaitBatch()
{
    if (!m_batch)
        return CommitResult::Replaced;
    if (m_batchDone.valid())
        m_batchDone.get();
    std::unique_ptr<Batch> batch = std::move(m_batch);
    // Reports of a batch name their file; the file line of whatever file is pending in
    // the results list does not belong in front of them.
    const bool immediate = m_batchLimit <= 1;
    if (!batch->undoDurable)
        undoFailed();
    if (m_history)
        for (const std::string& path : m_history->takeNotKept())
            reportNotKept(path, immediate);
    const CommitResult last = reportRewrites(*batch, immediate);
    // Its staging file serves again when none has been made since.
    if (!m_staging && batch->staging && batch->staging->truncate(0))
        m_staging = std::move(batch->staging);
    return last;
}

CommitResult ReplaceWriter::reportRewrites(const Batch& batch, bool immediate)
{
    const std::vector<RewriteItem>& items = batch.items;
    CommitResult last = CommitResult::Replaced;
    for (size_t i = 0; i < items.size(); ++i) {
        const PendingRewrite& p = batch.pending[i];
        const RewriteOutcome& rewrite = items[i].outcome;
        if (rewrite.result != RewriteResult::Done) {
            report(std::string(kErrorWriting) + " " + displayName(baseName(p.path)), p.path, immediate);
            if (rewrite.result == RewriteResult::FailedUnrestored) {
                RecoveryEntry entry = rewrite.entry;
                entry.copyExists = true;
                const std::string text = formatRecoveryReport(entry);
                m_sink.addLine(ResultEntry::recovery(text, p.path));
                m_host.message(text, false);
            }
            last = CommitResult::Failed;
            continue;
        }
        ++m_filesReplaced;
        m_replacements += p.replacements;
        if (!items[i].statusRestored) {
            report(std::string(kErrorWriting) + " " + displayName(baseName(p.path)), p.path, immediate);
            last = CommitResult::Failed;
        }
    }
    return last;
}

} // namespace tw
