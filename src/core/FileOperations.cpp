#include "core/FileOperations.h"

#include "core/MemberExtract.h"
#include "core/SafeRewrite.h"

#include <optional>

namespace tw {

namespace {

std::string withSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string lastPart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// No empty, "." or ".." part: the name stays below the destination.
bool plainRelative(const std::string& relative)
{
    size_t pos = 0;
    for (;;) {
        const size_t slash = relative.find('/', pos);
        const std::string part = relative.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (slash == std::string::npos)
            return true;
        pos = slash + 1;
    }
}

const char* verbOf(FileOperationKind kind)
{
    switch (kind) {
    case FileOperationKind::Copy:
        return "copied";
    case FileOperationKind::Move:
        return "moved";
    case FileOperationKind::Delete:
        break;
    }
    return "deleted";
}

// What happened to one file.
enum class Outcome { Done, Failed, Skipped };

class Runner {
public:
    Runner(FileSystem& fs, FileOps& ops, const FileOperationRequest& request, const FileOperationHooks& hooks)
        : m_fs(fs), m_ops(ops), m_request(request), m_hooks(hooks), m_destination(withSlash(request.destination))
    {
    }

    FileOperationSummary run()
    {
        const size_t total = m_request.files.size();
        for (size_t i = 0; i < total; ++i) {
            if (m_hooks.stopRequested && m_hooks.stopRequested()) {
                m_summary.stopped = true;
                break;
            }
            const FileOperationItem& item = m_request.files[i];
            if (m_hooks.progress)
                m_hooks.progress(i, total, item.path);
            switch (processOne(item)) {
            case Outcome::Done:
                ++m_summary.done;
                break;
            case Outcome::Failed:
                ++m_summary.failed;
                break;
            case Outcome::Skipped:
                ++m_summary.skipped;
                break;
            }
        }
        return m_summary;
    }

private:
    Outcome processOne(const FileOperationItem& item)
    {
        if (m_request.operation == FileOperationKind::Delete)
            return item.archivePath.empty() ? removeOne(item.path) : refuse(kMemberDelete, item.path);
        const std::string target = fileOperationTarget(m_request, item);
        if (target.empty())
            return Outcome::Failed;
        if (!item.archivePath.empty())
            return copyMember(item, target);
        FileStatus source;
        if (!m_fs.status(item.path, &source, false))
            return Outcome::Failed;
        const Outcome free = clearTarget(item.path, &source, target);
        if (free != Outcome::Done)
            return free;
        if (m_request.operation == FileOperationKind::Move)
            return moveOne(item.path, source, target);
        return source.isRegular && copyOne(item.path, source, target, source.mode) ? Outcome::Done : Outcome::Failed;
    }

    Outcome refuse(const char* message, const std::string& path)
    {
        m_summary.errorLines.push_back(std::string(message) + " " + lastPart(path));
        return Outcome::Failed;
    }

    // The target may be written: it does not exist, or it is a file that is neither the
    // source (through a link, "..", a hard link) nor one still to be processed, and the
    // answer allows replacing it.
    Outcome clearTarget(const std::string& path, const FileStatus* source, const std::string& target)
    {
        FileStatus existing;
        if (!m_fs.status(target, &existing, false))
            return Outcome::Done;
        if (existing.isDirectory)
            return refuse(kTargetIsDirectory, target);
        // The source itself, or for a link in the list the file it leads to: a link
        // renamed over that file would leave the link alone, pointing at itself.
        FileStatus followed, sourceFollowed;
        if (source && m_fs.status(target, &followed)
            && (sameFile(followed, *source)
                || (m_fs.status(path, &sourceFollowed) && sameFile(followed, sourceFollowed))))
            return refuse(kOntoItself, path);
        if (isOneOfTheFiles(m_fs, target, m_request.files.size(), [&](size_t i) {
                const FileOperationItem& f = m_request.files[i];
                return f.archivePath.empty() ? f.path : f.archivePath;
            }))
            return refuse(kTargetIsListed, target);
        return mayOverwrite(target) ? Outcome::Done : Outcome::Skipped;
    }

    bool mayOverwrite(const std::string& target)
    {
        if (m_all)
            return *m_all;
        const OverwriteAnswer answer = m_hooks.askOverwrite ? m_hooks.askOverwrite(target) : OverwriteAnswer::No;
        if (answer == OverwriteAnswer::YesToAll || answer == OverwriteAnswer::NoToAll)
            m_all = answer == OverwriteAnswer::YesToAll;
        return answer == OverwriteAnswer::Yes || answer == OverwriteAnswer::YesToAll;
    }

    Outcome removeOne(const std::string& path)
    {
        FileStatus st;
        if (!m_fs.status(path, &st, false))
            return Outcome::Failed;
        if (st.isDirectory)
            return refuse(kIsDirectory, path);
        // Unlinks the name itself: a link goes, whatever it leads to stays.
        return m_fs.removeFile(path) ? Outcome::Done : Outcome::Failed;
    }

    // Copies through a temporary name beside the target; the target's directories are
    // made one level at a time and none below the destination may be a link.
    bool copyOne(const std::string& path, const FileStatus& expected, const std::string& target, uint32_t mode)
    {
        auto in = m_fs.openRead(path);
        FileStatus now;
        PreciseTimes times;
        if (!in || !in->status(&now) || !sameFile(now, expected) || !now.isRegular || !in->readTimes(&times))
            return false;
        const std::string relative = target.substr(m_destination.size());
        const auto placed = m_ops.placeFile(m_destination, relative, mode, &times, &now, [&](File& out) {
            return copyContent(*in, out) == now.size && out.sync();
        });
        if (placed != FileOps::PlaceResult::Done)
            return false;
        (void)m_ops.syncDirectory(target.substr(0, target.find_last_of('/') + 1));
        return true;
    }

    // Makes the directories of `target` below the destination, refusing links among them.
    bool makeTargetDirectories(const std::string& target)
    {
        const size_t end = target.find_last_of('/');
        for (size_t i = 1; i <= end; ++i) {
            if (target[i] != '/' && i != end)
                continue;
            const std::string level = target.substr(0, i);
            if (!m_ops.makeDirectory(level))
                return false;
            FileStatus st;
            if (i > m_destination.size() && (!m_fs.status(level, &st, false) || !st.isDirectory))
                return false;
        }
        return true;
    }

    Outcome moveOne(const std::string& path, const FileStatus& source, const std::string& target)
    {
        if (!makeTargetDirectories(target))
            return Outcome::Failed;
        FileStatus dir;
        const std::string targetDir = target.substr(0, target.find_last_of('/') + 1);
        // One file system: the name moves, a link as the link. The renamed name is then
        // made durable in both directories.
        if (m_fs.status(targetDir, &dir) && dir.device == source.device && m_ops.rename(path, target)) {
            (void)m_ops.syncDirectory(targetDir);
            (void)m_ops.syncDirectory(path.substr(0, path.find_last_of('/') + 1));
            return Outcome::Done;
        }
        // Another file system: a copy whose size is checked, then the source goes, and
        // only when it is still the file that was copied.
        if (!source.isRegular || !copyOne(path, source, target, source.mode))
            return Outcome::Failed;
        FileStatus copied, now;
        if (!m_fs.status(target, &copied, false) || copied.size != source.size || !m_fs.status(path, &now, false)
            || !unchangedSince(source, now))
            return Outcome::Failed;
        return m_fs.removeFile(path) ? Outcome::Done : Outcome::Failed;
    }

    // A member is extracted to a file of the program's, copied from there, and that file
    // removed again; a move leaves the archive as it is.
    Outcome copyMember(const FileOperationItem& item, const std::string& target)
    {
        const Outcome free = clearTarget(item.path, nullptr, target);
        if (free != Outcome::Done)
            return free;
        const MemberExtraction got = extractMember(m_fs, item.archivePath, item.path, m_request.extractDir, 0);
        if (got.path.empty())
            return Outcome::Failed;
        FileStatus st;
        bool ok = m_fs.status(got.path, &st, false) && st.isRegular;
        // The extracted copy is read-only; the user's copy may be written.
        ok = ok && copyOne(got.path, st, target, st.mode | kOwnerWrite);
        m_fs.removeFile(got.path);
        return ok ? Outcome::Done : Outcome::Failed;
    }

    FileSystem& m_fs;
    FileOps& m_ops;
    const FileOperationRequest& m_request;
    const FileOperationHooks& m_hooks;
    const std::string m_destination; // ends with "/"
    std::optional<bool> m_all;       // set by a "to All" answer
    FileOperationSummary m_summary;
};

} // namespace

std::string FileOperationSummary::text(FileOperationKind kind) const
{
    std::string t = std::to_string(done) + (done == 1 ? " file " : " files ") + verbOf(kind) + ", "
                  + std::to_string(failed) + " failed";
    if (skipped)
        t += ", " + std::to_string(skipped) + " skipped";
    return t;
}

std::string fileOperationTarget(const FileOperationRequest& request, const FileOperationItem& item)
{
    // No destination is no place at all, never the root.
    if (request.destination.empty())
        return {};
    const std::string destination = withSlash(request.destination);
    std::string relative = lastPart(item.path);
    if (request.preserve && item.archivePath.empty())
        for (const std::string& start : request.startPaths) {
            const std::string dir = withSlash(start);
            if (item.path.size() > dir.size() && item.path.compare(0, dir.size(), dir) == 0) {
                relative = item.path.substr(dir.size());
                break;
            }
        }
    return plainRelative(relative) ? destination + relative : std::string();
}

FileOperationHooks hostFileOperationHooks(RunHost& host, std::function<bool()> stop)
{
    FileOperationHooks hooks;
    hooks.askOverwrite = [&host](const std::string& target) {
        switch (host.ask(Question::ReadOnly, overwriteQuestion(target))) {
        case Answer::Yes:
            return OverwriteAnswer::Yes;
        case Answer::YesToAll:
            return OverwriteAnswer::YesToAll;
        case Answer::Cancel:
            return OverwriteAnswer::NoToAll;
        default:
            return OverwriteAnswer::No;
        }
    };
    hooks.progress = [&host](size_t index, size_t total, const std::string& path) {
        host.fileProgress(static_cast<long>(total - index), static_cast<long>(index * 100 / total), path);
        host.pump();
    };
    hooks.stopRequested = std::move(stop);
    return hooks;
}

std::string overwriteQuestion(const std::string& target)
{
    return displayName(target) + "\nexists already. Replace it?";
}

void addFileOperationLines(ResultStream& sink, const FileOperationSummary& summary, FileOperationKind kind)
{
    for (const std::string& line : summary.errorLines)
        sink.addLine(ResultEntry::error(displayName(line)));
    sink.addLine(ResultEntry::summary(summary.text(kind)));
}

FileOperationSummary runFileOperation(FileSystem& fs, FileOps& ops, const FileOperationRequest& request,
                                      const FileOperationHooks& hooks)
{
    return Runner(fs, ops, request, hooks).run();
}

} // namespace tw
