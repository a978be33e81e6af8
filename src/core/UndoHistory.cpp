#include "core/UndoHistory.h"

#include "core/RecordFields.h"
#include "core/RunTexts.h"
#include "core/SafeRewrite.h"
#include "engine/Sha256.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <map>

namespace tw {

namespace {

constexpr const char* kRecordSuffix = ".rec";
constexpr size_t kRunNumberDigits = 6;

// "r000012.rec" -> 12; 0 for any other name. Numbers past six digits take more.
uint64_t runNumberOf(const std::string& name)
{
    const size_t suffix = name.size() >= 4 ? name.size() - 4 : 0;
    if (suffix < 1 + kRunNumberDigits || suffix > 19 || name[0] != 'r' || name.compare(suffix, 4, kRecordSuffix) != 0)
        return 0;
    uint64_t n = 0;
    for (size_t i = 1; i < suffix; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + uint64_t(name[i] - '0');
    }
    return n;
}

std::string runBaseName(uint64_t number)
{
    std::string digits = std::to_string(number);
    return "r" + std::string(kRunNumberDigits - std::min(digits.size(), kRunNumberDigits), '0') + digits;
}

// "r000012.b7" -> "r000012": the part before the first dot, which names the run.
std::string baseNameOf(const std::string& name)
{
    return name.substr(0, name.find('.'));
}

// The SHA-256 (hex) of the whole of `file` from its start; empty on a read error.
std::string hashOf(File& file)
{
    if (!file.seek(0))
        return {};
    Sha256 sha;
    std::vector<char> buf(kCopyBufferSize);
    for (;;) {
        const int64_t n = file.read(buf.data(), buf.size());
        if (n < 0)
            return {};
        if (n == 0)
            return Sha256::hex(sha.finish());
        sha.update(buf.data(), size_t(n));
    }
}

FileTime now()
{
    return toFileTime(::time(nullptr), 0);
}

// A record beyond this is no record of ours: a run of a million files stays far below.
constexpr size_t kMaxRecordBytes = size_t(1) << 30;
// A record the survey reads to learn its copies (about 250 bytes per file); a larger one
// is not read whole, and its copies are asked of the file system instead.
constexpr size_t kMaxSurveyedRecord = size_t(64) << 20;

} // namespace

std::string undoStateText(UndoFileState state)
{
    switch (state) {
    case UndoFileState::WouldRestore: return "Will be restored";
    case UndoFileState::Changed: return "Changed since the replace";
    case UndoFileState::Missing: return "Missing";
    case UndoFileState::NoCopy: return "No complete copy";
    }
    return {};
}

std::string undoSummaryText(const UndoTakeBack& result)
{
    return "Restored " + std::to_string(result.restored) + " of " + std::to_string(result.files) + " file(s)";
}

std::string undoRunLine(const UndoRunRecord& run)
{
    int64_t sec = 0, nsec = 0;
    fromFileTime(run.started, &sec, &nsec);
    const time_t t = static_cast<time_t>(sec);
    struct tm local {};
    char when[32] = "?";
    if (localtime_r(&t, &local))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(when) + "  \"" + displayName(run.search) + "\" -> \"" + displayName(run.replace) + "\"  "
           + std::to_string(run.files.size()) + " file(s)" + (run.takenBack ? "  taken back" : "");
}

UndoHistory::UndoHistory(FileSystem& fs, FileOps& ops, std::string dataDir)
    : m_fs(fs), m_ops(ops), m_dataDir(std::move(dataDir)), m_dir(m_dataDir + kUndoDirName + "/")
{
}

std::vector<std::pair<uint64_t, std::string>> UndoHistory::recordNames(uint64_t* highest)
{
    std::vector<std::pair<uint64_t, std::string>> names;
    std::vector<DirEntry> entries;
    if (!m_fs.listDirectory(m_dir, &entries))
        return names;
    for (const DirEntry& e : entries) {
        if (e.type != EntryType::File)
            continue;
        const uint64_t n = runNumberOf(e.name);
        if (n != 0)
            names.emplace_back(n, e.name);
        if (highest)
            *highest = std::max(*highest, n != 0 ? n : runNumberOf(baseNameOf(e.name) + kRecordSuffix));
    }
    return names;
}

std::vector<UndoRunRecord> UndoHistory::runs(std::vector<std::string>* problems)
{
    std::vector<UndoRunRecord> out;
    for (const auto& [number, name] : recordNames()) {
        UndoRunRecord run;
        run.name = name.substr(0, name.size() - 4);
        run.sequence = number;
        std::string text;
        std::vector<std::string> damaged;
        if (!readRecordFile(m_fs, m_dir + name, &text, kMaxRecordBytes) || !parseUndoRecord(text, &run, &damaged)) {
            if (problems)
                problems->push_back("Damaged undo record skipped: " + displayName(m_dir + name));
            continue;
        }
        if (problems && !damaged.empty())
            problems->push_back("Damaged lines skipped in undo record " + displayName(m_dir + name) + ": "
                                + std::to_string(damaged.size()));
        out.push_back(std::move(run));
    }
    std::sort(out.begin(), out.end(), [](const UndoRunRecord& a, const UndoRunRecord& b) {
        return a.sequence > b.sequence;
    });
    return out;
}

std::optional<UndoRunRecord> UndoHistory::lastOpenRun(std::vector<std::string>* problems)
{
    for (UndoRunRecord& run : runs(problems))
        if (!run.takenBack)
            return std::move(run);
    return std::nullopt;
}

std::unique_ptr<File> UndoHistory::openCopy(const UndoFileRecord& record)
{
    auto copy = m_fs.openRead(m_dir + record.copyName);
    FileStatus st;
    if (!copy || !copy->status(&st) || st.device != record.copyDevice || st.inode != record.copyInode
        || st.size < record.copyOffset || st.size - record.copyOffset < record.copyLength
        || (record.copyLastWrite != 0 && st.lastWrite != record.copyLastWrite))
        return nullptr;
    return copy;
}

UndoFileCheck UndoHistory::checkFile(const UndoFileRecord& record)
{
    UndoFileCheck out;
    out.record = record;
    if (!record.complete || !openCopy(record)) {
        out.state = UndoFileState::NoCopy;
        return out;
    }
    auto file = m_fs.openRead(record.path);
    if (!file || !file->status(&out.status)) {
        out.state = UndoFileState::Missing;
        return out;
    }
    const bool same = out.status.device == record.device && out.status.inode == record.inode
                      && out.status.size == record.size && hashOf(*file) == record.sha256;
    out.state = same ? UndoFileState::WouldRestore : UndoFileState::Changed;
    return out;
}

std::vector<UndoFileCheck> UndoHistory::check(const UndoRunRecord& run)
{
    std::vector<UndoFileCheck> out;
    for (const UndoFileRecord& record : run.files)
        out.push_back(checkFile(record));
    return out;
}

bool UndoHistory::restoreFile(const UndoFileCheck& checked)
{
    auto copy = openCopy(checked.record);
    if (!copy)
        return false;
    // The rewrite checks under the file's lock that it is still the file whose content
    // was just hashed (same identity, size and times).
    std::vector<RewriteItem> one(1);
    RewriteItem& item = one[0];
    item.originalPath = checked.record.path;
    item.source = copy.get();
    item.sourceOffset = checked.record.copyOffset;
    item.sourceLength = checked.record.copyLength;
    item.checkExpected = true;
    item.expected = checked.status;
    item.clearReadOnly = true;
    rewriteBatchInPlace(m_fs, m_ops, m_dataDir, one);
    return item.outcome.result == RewriteResult::Done && item.statusRestored;
}

UndoTakeBack UndoHistory::takeBack(const UndoRunRecord& run, std::vector<std::string>* lines)
{
    UndoTakeBack result;
    auto lock = m_ops.lockFile(m_dir + kUndoLockName, 10000);
    for (const UndoFileRecord& record : run.files) {
        ++result.files;
        const std::string name = displayName(record.path);
        const UndoFileCheck checked = checkFile(record);
        if (checked.state == UndoFileState::WouldRestore && restoreFile(checked)) {
            ++result.restored;
            lines->push_back("Restored " + name);
        } else if (checked.state == UndoFileState::WouldRestore) {
            lines->push_back("Not restored, the rewrite failed: " + name);
        } else if (checked.state == UndoFileState::Changed) {
            lines->push_back("Not restored, changed since the replace: " + name);
        } else if (checked.state == UndoFileState::Missing) {
            lines->push_back("Not restored, missing: " + name);
        } else {
            lines->push_back("Not restored, no complete copy: " + name);
        }
    }
    // Appended to the record: its other lines stay as they are.
    auto record = m_fs.openWrite(m_dir + run.name + kRecordSuffix, false, false);
    const std::string line = undoTakenBackLine(now());
    FileStatus st;
    if (!record || !record->status(&st) || !record->seek(st.size) || !record->write(line.data(), line.size())
        || !record->sync())
        lines->push_back("Error writing undo record " + displayName(m_dir + run.name + kRecordSuffix));
    return result;
}

UndoSurvey UndoHistory::survey()
{
    UndoSurvey out;
    std::vector<DirEntry> entries;
    if (!m_fs.listDirectory(m_dir, &entries))
        return out;
    // Every name of a run's files starts with its base name and a dot: "r000012.rec",
    // "r000012.s1", "r000012.b7". The names come from the listing only; a record says
    // which of them are its copies.
    std::map<std::string, SurveyedNames> byBase;
    for (const DirEntry& e : entries) {
        const std::string base = baseNameOf(e.name);
        const uint64_t number = runNumberOf(base + kRecordSuffix);
        if (e.type != EntryType::File || base.size() == e.name.size() || number == 0)
            continue;
        out.highestNumber = std::max(out.highestNumber, number);
        SurveyedNames& names = byBase[base];
        if (e.name.compare(base.size(), std::string::npos, kRecordSuffix) == 0)
            names.hasRecord = true;
        else
            names.copies.push_back(e.name);
    }
    FileStatus st;
    for (auto& [base, names] : byBase) {
        UndoSurvey::Run run;
        run.name = base;
        // A copy listed without its record is an orphan only if the record is still absent
        // now: a run being written makes its record before its first copy, so a record
        // missing from the listing but made meanwhile is seen here.
        if (!names.hasRecord && m_fs.status(m_dir + base + kRecordSuffix, &st, false))
            continue;
        const bool hasRecord = names.hasRecord;
        surveyRun(std::move(names), &run, true);
        if (!hasRecord) {
            out.orphans.insert(out.orphans.end(), run.copies.begin(), run.copies.end());
            continue;
        }
        run.number = runNumberOf(base + kRecordSuffix);
        out.usedBytes += run.bytes;
        out.runs.push_back(std::move(run));
    }
    std::sort(out.runs.begin(), out.runs.end(),
              [](const UndoSurvey::Run& a, const UndoSurvey::Run& b) { return a.number < b.number; });
    // The oldest run is the one most likely to go to make room.
    if (!out.runs.empty())
        resolveCopies(&out.runs.front());
    return out;
}

void UndoHistory::resolveCopies(UndoSurvey::Run* run)
{
    if (run->resolved)
        return;
    SurveyedNames names;
    names.hasRecord = true;
    names.copies = std::move(run->copyNames);
    run->copyNames.clear();
    run->bytes = 0;
    run->resolved = true;
    surveyRun(std::move(names), run, false);
}

void UndoHistory::surveyRun(SurveyedNames names, UndoSurvey::Run* run, bool summaryWillDo)
{
    // The record names each copy with its identity and extent, which spares a status call
    // per copy (a run with a backup directory has one copy per file). Names the record
    // does not know, or a record that cannot be read, are asked of the file system.
    std::map<std::string, KnownCopy> known;
    std::string text;
    if (names.hasRecord && readRecordFile(m_fs, m_dir + run->name + kRecordSuffix, &text, kMaxSurveyedRecord)) {
        UndoRunRecord record;
        std::vector<std::string> damaged;
        run->bytes += static_cast<int64_t>(text.size());
        int64_t count = 0, bytes = 0;
        // A summary counts only when the listing holds exactly as many copies: a copy
        // removed or a file added under the run's name sends the run the long way.
        if (summaryWillDo && findUndoCopiesLine(text, &count, &bytes) && uint64_t(count) == names.copies.size()) {
            run->bytes = addBytes(run->bytes, bytes);
            run->copyNames = std::move(names.copies);
            run->resolved = false;
            return;
        }
        if (parseUndoRecord(text, &record, &damaged)) {
            for (const UndoFileRecord& f : record.files) {
                KnownCopy& copy = known[f.copyName];
                copy.device = f.copyDevice;
                copy.inode = f.copyInode;
                copy.end = std::max(copy.end, extentEnd(f.copyOffset, f.copyLength));
            }
        }
    }
    FileStatus st;
    for (const std::string& name : names.copies) {
        const auto it = known.find(name);
        if (it != known.end()) {
            run->copies.push_back(KnownFile{m_dir + name, it->second.device, it->second.inode});
            run->bytes = addBytes(run->bytes, it->second.end);
        } else if (m_fs.status(m_dir + name, &st, false) && st.isRegular) {
            run->copies.push_back(KnownFile{m_dir + name, st.device, st.inode});
            run->bytes = addBytes(run->bytes, st.size);
        }
    }
    if (names.hasRecord && text.empty() && m_fs.status(m_dir + run->name + kRecordSuffix, &st, false))
        run->bytes += st.size;
}

bool UndoHistory::dropRecord(const UndoSurvey::Run& run)
{
    const std::string record = m_dir + run.name + kRecordSuffix;
    FileStatus st;
    // Another run may have dropped it first: gone is what is wanted.
    return m_fs.removeFile(record) || !m_fs.status(record, &st, false);
}

std::unique_ptr<File> UndoHistory::createRecord(std::string* name, uint64_t floor)
{
    if (!m_ops.makeDirectory(m_dir))
        return nullptr;
    uint64_t highest = floor;
    (void)recordNames(&highest);
    uint64_t next = highest + 1;
    // Another run may take the same number at the same moment: the name is made exclusively.
    for (int attempt = 0; attempt < 100; ++attempt, ++next) {
        *name = runBaseName(next);
        int error = 0;
        auto file = m_fs.createNew(m_dir + *name + kRecordSuffix, 0600, &error);
        if (file)
            return file;
        if (error != EEXIST)
            return nullptr;
    }
    return nullptr;
}

} // namespace tw
