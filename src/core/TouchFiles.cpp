#include "core/TouchFiles.h"

#include "core/ListWalk.h"
#include "core/RunTexts.h"
#include "select/FileList.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace tw {

namespace {

uint32_t withState(uint32_t attributes, uint32_t bit, AttributeState state)
{
    if (state == AttributeState::Clear)
        return attributes & ~bit;
    if (state == AttributeState::Set)
        return attributes | bit;
    return attributes;
}

uint32_t attributesOf(const std::string& path, const FileStatus& st)
{
    uint32_t attributes = 0;
    if (isReadOnlyMode(st.mode))
        attributes |= kAttrReadOnly;
    if (isHiddenName(path))
        attributes |= kAttrHidden;
    return attributes;
}

} // namespace

uint32_t TouchAttributes::applyTo(uint32_t attributes) const
{
    attributes = withState(attributes, kAttrReadOnly, readOnly);
    attributes = withState(attributes, kAttrArchive, archive);
    attributes = withState(attributes, kAttrHidden, hidden);
    return withState(attributes, kAttrSystem, system);
}

std::string touchSummaryText(const TouchCounts& counts)
{
    std::string text = formatText("Touched %ld file(s)", counts.touched);
    if (counts.skipped != 0 || counts.failed != 0)
        text += formatText(", %ld skipped, %ld failed", counts.skipped, counts.failed);
    return text;
}

std::optional<uint32_t> touchAttributesOf(FileSystem& fs, const std::string& path)
{
    FileStatus st;
    if (!fs.status(path, &st, /*followLinks=*/false))
        return std::nullopt;
    return attributesOf(path, st);
}

TouchOutcome TouchFiles::report(TouchSink& sink, TouchOutcome outcome, const std::string& path, std::string text)
{
    sink.line({outcome, path, std::move(text)});
    return outcome;
}

// Setting explicit times needs ownership of the file, not write permission, so a
// read-only file keeps its mode while its times change.
bool TouchFiles::setTimes(const std::string& path, const FileStatus& st)
{
    FileTime write = m_request.newTime;
    FileTime access = m_request.newTime;
    if (m_request.addSeconds != 0) {
        const int64_t shift = m_request.addSeconds * kFileTimeTicksPerSecond;
        write = st.lastWrite + shift;
        access = st.lastAccess + shift;
    }
    PreciseTimes times;
    fromFileTime(write, &times.lastWriteSec, &times.lastWriteNsec);
    fromFileTime(access, &times.lastAccessSec, &times.lastAccessNsec);
    return m_ops.setOwnTimes(path, times, m_request.alsoAccess);
}

TouchOutcome TouchFiles::apply(const std::string& path, TouchSink& sink)
{
    FileStatus st;
    if (!m_fs.status(path, &st, /*followLinks=*/false)) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return report(sink, TouchOutcome::Missing, path, fileErrorText("File not found: ", path));
        return report(sink, TouchOutcome::Failed, path,
                      fileErrorText("Error reading file status ", path, std::strerror(error)));
    }
    if (st.isSymlink)
        return report(sink, TouchOutcome::Link, path, fileErrorText("Symbolic link left alone: ", path));

    // A directory never gets new times, only attribute changes.
    if (m_request.setsTimes() && !st.isDirectory && !setTimes(path, st))
        return report(sink, TouchOutcome::Failed, path,
                      fileErrorText("Error setting the time of ", path, std::strerror(errno)));
    if (m_request.setsAttributes()) {
        const uint32_t before = attributesOf(path, st);
        const uint32_t after = m_request.attributes.applyTo(before);
        if ((before ^ after) & kAttrReadOnly) {
            const uint32_t mode = (after & kAttrReadOnly) ? (st.mode & ~kOwnerWrite) : (st.mode | kOwnerWrite);
            if (!m_ops.setOwnMode(path, mode))
                return report(sink, TouchOutcome::Failed, path,
                              fileErrorText("Error setting the attributes of ", path, std::strerror(errno)));
        }
    }
    return report(sink, TouchOutcome::Touched, path, path);
}

bool collectTouchFiles(FileSystem& fs, const SearchRequest& request, FileList& list, const std::atomic<bool>* stop,
                       std::function<void()> pump)
{
    ListWalk walk(fs, request, list, nullptr, nullptr, stop, std::move(pump));
    walk.walkOn(SIZE_MAX);
    return !(stop && stop->load()) && walk.finished();
}

TouchCounts TouchFiles::applyAll(const std::vector<std::string>& paths, TouchSink& sink,
                                 const std::atomic<bool>* stop)
{
    return applyEach(paths.size(), [&paths](size_t i) { return paths[i]; }, sink, stop);
}

TouchCounts TouchFiles::applyAll(const FileList& paths, TouchSink& sink, const std::atomic<bool>* stop)
{
    return applyEach(paths.size(), FileList::IndexReader(paths), sink, stop);
}

TouchCounts TouchFiles::applyEach(size_t count, const std::function<std::string(size_t)>& pathAt, TouchSink& sink,
                                  const std::atomic<bool>* stop)
{
    TouchCounts counts;
    for (size_t i = 0; i < count; ++i) {
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        switch (apply(pathAt(i), sink)) {
        case TouchOutcome::Touched:
            ++counts.touched;
            break;
        case TouchOutcome::Missing:
        case TouchOutcome::Link:
            ++counts.skipped;
            break;
        case TouchOutcome::Failed:
            ++counts.failed;
            break;
        }
    }
    return counts;
}

} // namespace tw
