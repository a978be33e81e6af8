#include "core/UndoRecord.h"

#include "core/RecordFields.h"
#include "engine/Sha256.h"

#include <cstdio>
#include <unordered_map>

namespace tw {

namespace {

// Decimal digits only, at most `max`.
template <class T>
bool number(const std::string& text, uint64_t max, T* out)
{
    uint64_t value = 0;
    if (!parseDecimal(text, max, &value))
        return false;
    *out = static_cast<T>(value);
    return true;
}

// Each line ends with a tab and a check of its own text: the first 16 hex digits of its
// SHA-256. A line cut short or damaged in any byte is then never taken for a valid one.
std::string lineCheck(const std::string& body)
{
    Sha256 sha;
    sha.update(body.data(), body.size());
    return Sha256::hex(sha.finish()).substr(0, 16);
}

std::string sealed(const std::string& body)
{
    return body + '\t' + lineCheck(body) + '\n';
}

// The text of a sealed line before its check (`line` without its newline); false, with
// `body` empty or the unchecked text, when the check is missing or does not match.
bool unseal(const std::string& line, std::string* body)
{
    const size_t lastTab = line.rfind('\t');
    if (lastTab == std::string::npos) {
        body->clear();
        return false;
    }
    *body = line.substr(0, lastTab);
    return line.compare(lastTab + 1, std::string::npos, lineCheck(*body)) == 0;
}

constexpr uint64_t kMaxSigned = static_cast<uint64_t>(INT64_MAX);

bool plainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool lowerHexDigest(const std::string& text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool parseFileLine(const std::vector<std::string>& f, UndoFileRecord* r)
{
    if (f.size() != 13)
        return false;
    bool ok = number(f[1], 1u << 30, &r->index) && decodeRecordField(f[2], &r->path) && decodeRecordField(f[3], &r->copyName);
    ok = ok && number(f[4], kMaxSigned, &r->copyOffset) && number(f[5], kMaxSigned, &r->copyLength);
    ok = ok && number(f[6], UINT64_MAX, &r->copyDevice) && number(f[7], UINT64_MAX, &r->copyInode);
    ok = ok && number(f[8], kMaxSigned, &r->copyLastWrite);
    ok = ok && number(f[9], UINT64_MAX, &r->device) && number(f[10], UINT64_MAX, &r->inode);
    ok = ok && number(f[11], kMaxSigned, &r->size) && lowerHexDigest(f[12]);
    r->sha256 = f[12];
    return ok && !r->path.empty() && r->path[0] == '/' && plainName(r->copyName)
           && r->copyLength <= static_cast<int64_t>(kMaxSigned) - r->copyOffset && r->copyInode != 0;
}

} // namespace

std::string undoHeaderLines(FileTime started, const std::string& search, const std::string& replace)
{
    return sealed("TWUNDO\t1") + sealed("RUN\t" + std::to_string(started) + '\t' + encodeRecordField(search) + '\t' + encodeRecordField(replace));
}

std::string undoFileLine(const UndoFileRecord& r)
{
    return sealed("FILE\t" + std::to_string(r.index) + '\t' + encodeRecordField(r.path) + '\t' + encodeRecordField(r.copyName) + '\t'
                  + std::to_string(r.copyOffset) + '\t' + std::to_string(r.copyLength) + '\t'
                  + std::to_string(r.copyDevice) + '\t' + std::to_string(r.copyInode) + '\t'
                  + std::to_string(r.copyLastWrite) + '\t' + std::to_string(r.device) + '\t'
                  + std::to_string(r.inode) + '\t' + std::to_string(r.size) + '\t' + r.sha256);
}

std::string undoDoneLine(int index, int64_t sizeAfter, FileTime lastWriteAfter)
{
    return sealed("DONE\t" + std::to_string(index) + '\t' + std::to_string(sizeAfter) + '\t'
                  + std::to_string(lastWriteAfter));
}

std::string undoTakenBackLine(FileTime when)
{
    return sealed("UNDONE\t" + std::to_string(when));
}

std::string undoCopiesLine(int64_t count, int64_t bytes)
{
    return sealed("COPIES\t" + std::to_string(count) + '\t' + std::to_string(bytes));
}

namespace {

// A COPIES line's fields after its tag (body without the check).
bool copiesFields(const std::vector<std::string>& f, int64_t* count, int64_t* bytes)
{
    return f.size() == 3 && f[0] == "COPIES" && number(f[1], kMaxSigned, count) && number(f[2], kMaxSigned, bytes);
}

} // namespace

bool findUndoCopiesLine(const std::string& text, int64_t* count, int64_t* bytes)
{
    // Only the end of the record is looked at: the line follows every file line of its run.
    const size_t at = text.rfind("\nCOPIES\t");
    if (at == std::string::npos)
        return false;
    const size_t end = text.find('\n', at + 1);
    if (end == std::string::npos)
        return false; // cut short
    std::string body;
    return unseal(text.substr(at + 1, end - at - 1), &body) && copiesFields(splitTabs(body), count, bytes);
}

bool parseUndoRecord(const std::string& text, UndoRunRecord* run, std::vector<std::string>* damaged)
{
    bool header = false, runLine = false;
    // Where each file index sits in run->files: a record of many files is read in time
    // linear in its lines.
    std::unordered_map<int, size_t> byIndex;
    size_t pos = 0;
    for (int lineNo = 1; pos < text.size(); ++lineNo) {
        size_t end = text.find('\n', pos);
        const bool cut = end == std::string::npos; // the last line of a record cut short
        if (cut)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        std::string body;
        bool ok = unseal(line, &body) && !cut;
        const std::vector<std::string> f = splitTabs(body);
        if (ok && lineNo == 1)
            ok = header = f.size() == 2 && f[0] == "TWUNDO" && f[1] == "1";
        else if (ok && f[0] == "RUN" && !runLine)
            ok = runLine = f.size() == 4 && number(f[1], kMaxSigned, &run->started) && decodeRecordField(f[2], &run->search)
                           && decodeRecordField(f[3], &run->replace);
        else if (ok && f[0] == "FILE") {
            UndoFileRecord r;
            ok = parseFileLine(f, &r) && byIndex.emplace(r.index, run->files.size()).second;
            if (ok)
                run->files.push_back(std::move(r));
        } else if (ok && f[0] == "DONE") {
            int index = 0;
            UndoFileRecord done;
            ok = f.size() == 4 && number(f[1], 1u << 30, &index) && number(f[2], kMaxSigned, &done.sizeAfter)
                 && number(f[3], kMaxSigned, &done.lastWriteAfter);
            const auto found = ok ? byIndex.find(index) : byIndex.end();
            UndoFileRecord* target = found != byIndex.end() ? &run->files[found->second] : nullptr;
            ok = ok && target && !target->complete && done.sizeAfter == target->size;
            if (ok) {
                target->complete = true;
                target->sizeAfter = done.sizeAfter;
                target->lastWriteAfter = done.lastWriteAfter;
            }
        } else if (ok && f[0] == "COPIES") {
            int64_t count = 0, bytes = 0;
            ok = copiesFields(f, &count, &bytes);
        } else if (ok && f[0] == "UNDONE") {
            FileTime when = 0;
            ok = f.size() == 2 && number(f[1], kMaxSigned, &when);
            run->takenBack = run->takenBack || ok;
        } else {
            ok = false;
        }
        if (!ok && damaged)
            damaged->push_back("line " + std::to_string(lineNo));
        if (lineNo == 1 && !header)
            return false;
    }
    return header && runLine;
}

} // namespace tw
