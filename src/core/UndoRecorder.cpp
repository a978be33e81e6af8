#include "core/UndoRecorder.h"

#include "core/SafeRewrite.h"
#include "platform/Assert.h"

#include <algorithm>

namespace tw {

UndoRecorder::UndoRecorder(FileSystem& fs, FileOps& ops, std::string dataDir, int64_t limitBytes,
                           std::string search, std::string replace, FileTime started)
    : m_fs(fs), m_ops(ops), m_history(fs, ops, std::move(dataDir)), m_remover(fs), m_limit(limitBytes),
      m_search(std::move(search)), m_replace(std::move(replace)), m_started(started)
{
    // Listing a large history takes a while (a status call per copy): it runs while the
    // run's first files are searched, and the first file to keep waits for it.
    if (m_limit > 0)
        m_pendingSurvey = std::async(std::launch::async, [this] { return m_history.survey(); });
}

UndoRecorder::~UndoRecorder()
{
    if (m_links.valid())
        m_links.wait();
    if (m_pendingSurvey.valid())
        m_pendingSurvey.wait();
}

void UndoRecorder::awaitSurvey()
{
    if (!m_pendingSurvey.valid())
        return;
    // The history's runs as they were before this run added its own.
    UndoSurvey survey = m_pendingSurvey.get();
    m_used = survey.usedBytes;
    m_oldRuns = std::move(survey.runs);
    m_highestSeen = survey.highestNumber;
    m_remover.remove(std::move(survey.orphans));
}

bool UndoRecorder::reserve(int64_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_limit <= 0 || size < 0 || m_failureTold || size > m_limit - m_runBytes)
        return false;
    awaitSurvey();
    while (m_used + size > m_limit) {
        if (m_nextDrop >= m_oldRuns.size())
            return false; // what is left is not ours to delete
        UndoSurvey::Run& run = m_oldRuns[m_nextDrop++];
        if (run.name == m_runName)
            continue;
        // Counted as the survey counted it; the copies' identities come from the record,
        // which must still be there to tell them.
        const int64_t counted = run.bytes;
        m_history.resolveCopies(&run);
        if (!m_history.dropRecord(run))
            continue;
        // The record is gone, so the copies belong to no run: they are freed once this
        // run has written its files.
        m_remover.remove(std::move(run.copies));
        m_used = std::max<int64_t>(0, m_used - counted);
    }
    m_used += size;
    m_runBytes += size;
    TW_ASSERT(m_runBytes <= m_limit);
    return true;
}

void UndoRecorder::finish()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // The summary spares the next runs reading this record's file lines. It needs no sync:
    // a record without one (cut short by a crash) is read whole.
    if (m_record && !m_recordFailed && m_copiesMade > 0 && !m_summaryWritten)
        m_summaryWritten = append(undoCopiesLine(m_copiesMade, m_copyBytes));
    m_remover.finish();
}

void UndoRecorder::countCopy(int64_t bytes)
{
    ++m_copiesMade;
    m_copyBytes = addBytes(m_copyBytes, bytes);
}

bool UndoRecorder::ensureRecord()
{
    if (m_record || m_recordFailed)
        return !m_recordFailed;
    awaitSurvey(); // its highest run number is never taken again
    m_record = m_history.createRecord(&m_runName, m_highestSeen);
    FileStatus st;
    if (m_record && m_record->status(&st))
        m_undoDevice = st.device;
    if (!m_record || !append(undoHeaderLines(m_started, m_search, m_replace))) {
        m_recordFailed = true;
        m_record.reset();
    }
    return !m_recordFailed;
}

bool UndoRecorder::append(const std::string& text)
{
    if (!m_record || !m_record->seek(m_recordSize) || !m_record->write(text.data(), text.size()))
        return false;
    m_recordSize += int64_t(text.size());
    return true;
}

bool UndoRecorder::keepBackup(const RewriteItem& item, UndoFileRecord* record)
{
    record->copyName = m_runName + ".b" + std::to_string(++m_nextCopy);
    const std::string name = m_history.directory() + record->copyName;
    const RecoveryEntry& backup = item.outcome.entry;
    int error = 0;
    // Linked by name, nothing opened; the new name must then lead to the very backup the
    // recovery list names (a regular file), or it goes again.
    const bool linked = m_ops.linkEntry(item.existingCopy, name, &error);
    if (!linked) {
        // Another file system: a copy of its own, made whole and durable before it counts.
        auto from = error == EXDEV ? m_fs.openRead(item.existingCopy) : nullptr;
        auto to = from ? m_fs.createNew(name, 0600) : nullptr;
        if (!to || copyContent(*from, *to) < 0 || !to->sync()) {
            m_fs.removeFile(name);
            return false;
        }
    }
    FileStatus st;
    if (!m_fs.status(name, &st, false))
        return false;
    const bool sameAsBackup = backup.copyInode == 0
                              || (st.device == backup.copyDevice && st.inode == backup.copyInode);
    if (!st.isRegular || (linked && !sameAsBackup)) {
        m_fs.removeFile(name);
        return false;
    }
    record->copyOffset = 0;
    record->copyLength = st.size;
    record->copyDevice = st.device;
    record->copyInode = st.inode;
    record->copyLastWrite = st.lastWrite;
    countCopy(st.size);
    return true;
}

bool UndoRecorder::linkLater(const RewriteItem& item, UndoFileRecord* record, std::vector<LinkJob>* jobs)
{
    // Only a backup whose identity and last-write time were taken, on the history's file
    // system (a link across file systems fails; keepBackup copies then).
    const RecoveryEntry& backup = item.outcome.entry;
    if (backup.copyInode == 0 || backup.copyLength < 0 || item.backupLastWrite == 0 || m_undoDevice == 0
        || backup.copyDevice != m_undoDevice)
        return false;
    record->copyName = m_runName + ".b" + std::to_string(++m_nextCopy);
    record->copyOffset = 0;
    record->copyLength = backup.copyLength;
    record->copyDevice = backup.copyDevice;
    record->copyInode = backup.copyInode;
    record->copyLastWrite = item.backupLastWrite;
    jobs->push_back(LinkJob{item.existingCopy, m_history.directory() + record->copyName, *record});
    return true;
}

std::vector<bool> UndoRecorder::makeLinks(const std::vector<LinkJob>& jobs)
{
    std::vector<bool> made(jobs.size(), false);
    FileStatus st;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const LinkJob& job = jobs[i];
        if (!m_ops.linkEntry(job.from, job.to))
            continue;
        // Linked by name: the new name must lead to the backup as it was taken, a regular
        // file of the same identity, length and last-write time, or it goes again.
        made[i] = m_fs.status(job.to, &st, false) && st.isRegular && st.device == job.expected.copyDevice
                  && st.inode == job.expected.copyInode && st.size == job.expected.copyLength
                  && st.lastWrite == job.expected.copyLastWrite;
        if (!made[i])
            m_fs.removeFile(job.to);
    }
    return made;
}

void UndoRecorder::beforeRewrite(const std::vector<RewriteItem*>& ready, const std::string& keptFile,
                                 const FileStatus& keptStatus)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_batch.clear();
    m_keptName.clear();
    m_keptEnd = 0;
    // A run that keeps nothing leaves no record.
    if (std::none_of(ready.begin(), ready.end(), [](const RewriteItem* item) { return item->keepCopy; }))
        return;
    const bool recordOk = ensureRecord();
    m_keptName = keptFile.empty() || !recordOk ? std::string() : m_runName + ".s" + std::to_string(++m_nextCopy);
    std::string lines;
    std::vector<LinkJob> jobs;
    for (const RewriteItem* item : ready) {
        if (!item->keepCopy)
            continue;
        UndoFileRecord r;
        r.index = ++m_nextFile;
        r.path = item->originalPath;
        r.device = item->expected.device;
        r.inode = item->expected.inode;
        r.size = item->sourceLength;
        r.sha256 = item->contentHash;
        const RecoveryEntry& copy = item->outcome.entry;
        bool kept = recordOk;
        int linkJob = -1;
        if (kept && copy.copyIsBackup && linkLater(*item, &r, &jobs)) {
            linkJob = int(jobs.size()) - 1;
        } else if (kept && copy.copyIsBackup) {
            kept = keepBackup(*item, &r);
        } else if (kept) {
            r.copyName = m_keptName;
            r.copyOffset = copy.copyOffset;
            r.copyLength = copy.copyLength;
            m_keptEnd = std::max(m_keptEnd, extentEnd(copy.copyOffset, copy.copyLength));
            r.copyDevice = keptStatus.device;
            r.copyInode = keptStatus.inode;
        }
        if (!kept) {
            m_notKept.push_back(item->originalPath);
            continue;
        }
        lines += undoFileLine(r);
        m_batch.push_back(BatchItem{item, r.index, linkJob});
    }
    // Written before any original: a crash from here on leaves lines without DONE, which
    // are never restored.
    if (!lines.empty() && !append(lines)) {
        for (const BatchItem& b : m_batch)
            m_notKept.push_back(b.item->originalPath);
        m_batch.clear();
        return;
    }
    // The links are made while the originals are rewritten; afterRewrite waits for them.
    if (!jobs.empty())
        m_links = std::async(std::launch::async, [this, jobs = std::move(jobs)] { return makeLinks(jobs); });
}

bool UndoRecorder::afterRewrite(const std::vector<RewriteItem*>& ready, const std::string& keptFile)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    (void)ready;
    const bool moved = !keptFile.empty() && !m_keptName.empty()
                       && m_ops.rename(keptFile, m_history.directory() + m_keptName);
    // The rename reaches the disk before the lines that make the copies count.
    const bool movedDurably = moved && m_ops.syncDirectory(m_history.directory());
    const std::vector<bool> linked = m_links.valid() ? m_links.get() : std::vector<bool>();
    if (moved)
        countCopy(m_keptEnd);
    for (const BatchItem& b : m_batch)
        if (b.linkJob >= 0 && linked.at(size_t(b.linkJob)))
            countCopy(b.item->outcome.entry.copyLength);
    std::string lines;
    std::vector<std::string> done;
    for (const auto& [item, index, linkJob] : m_batch) {
        if (item->outcome.result != RewriteResult::Done)
            continue; // unchanged: nothing to take back
        const bool copyThere = linkJob >= 0 ? linked.at(size_t(linkJob))
                                            : item->outcome.entry.copyIsBackup || movedDurably;
        FileStatus st;
        if (!copyThere || !m_fs.status(item->originalPath, &st, false) || !sameFile(st, item->expected)) {
            m_notKept.push_back(item->originalPath);
            continue;
        }
        lines += undoDoneLine(index, st.size, st.lastWrite);
        done.push_back(item->originalPath);
    }
    m_batch.clear();
    if (!lines.empty() && (!append(lines) || !m_record->sync()))
        m_notKept.insert(m_notKept.end(), done.begin(), done.end());
    return moved;
}

} // namespace tw
