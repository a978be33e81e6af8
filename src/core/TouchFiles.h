#pragma once
// Touch: sets the modification time (and optionally the access time) of a list of files,
// moves their times by a number of seconds, and sets, clears or keeps their attributes.
// On Linux only read-only (the owner's write bit) can change; hidden, system and archive
// are read but setting them does nothing, and a creation time cannot be set (it is left
// alone without an error). A symbolic link in the list is never followed: it is left
// alone with a line saying so.
#include "core/SearchRequest.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <atomic>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

enum class TouchMode { DateTimeOnly = 0, AttributesOnly = 1, DateTimeAndAttributes = 2 };
enum class AttributeState { Clear = 0, Set = 1, Keep = 2 };

// The attribute bits as Touch reads them.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrArchive = 0x20;

struct TouchAttributes {
    AttributeState readOnly = AttributeState::Keep;
    AttributeState archive = AttributeState::Keep;
    AttributeState hidden = AttributeState::Keep;
    AttributeState system = AttributeState::Keep;
    bool allKept() const
    {
        return readOnly == AttributeState::Keep && archive == AttributeState::Keep && hidden == AttributeState::Keep
            && system == AttributeState::Keep;
    }
    // `attributes` with each bit cleared, set or kept as the four states say.
    uint32_t applyTo(uint32_t attributes) const;
};

struct TouchRequest {
    TouchMode mode = TouchMode::DateTimeOnly;
    FileTime newTime = 0;      // the date and time to set (UTC); used unless addSeconds moves the times
    bool alsoCreation = false; // cannot be set on Linux: asked for, it is left alone
    bool alsoAccess = false;
    int64_t addSeconds = 0;    // not 0: each time is moved by this much instead of set
    TouchAttributes attributes;

    bool setsTimes() const { return mode != TouchMode::AttributesOnly; }
    bool setsAttributes() const { return mode != TouchMode::DateTimeOnly && !attributes.allKept(); }
};

enum class TouchOutcome { Touched, Missing, Link, Failed };

struct TouchLine {
    TouchOutcome outcome = TouchOutcome::Touched;
    std::string path;
    std::string text; // the line as shown
};

class TouchSink {
public:
    virtual ~TouchSink() = default;
    virtual void line(const TouchLine& line) = 0;
};

struct TouchCounts {
    long touched = 0;
    long skipped = 0; // missing files and links
    long failed = 0;
};

// "Touched N file(s)", with the skipped and failed files when there are any.
std::string touchSummaryText(const TouchCounts& counts);

// The attribute bits of `path` itself (a link is not followed), or nothing when its
// status cannot be read.
std::optional<uint32_t> touchAttributesOf(FileSystem& fs, const std::string& path);

class FileList;

// The files a run of `request` would select (its paths and masks, include and exclude
// rules, date and size filters, a script's paths), without archives, into `list`. False
// when `stop` was set before the walk was over. `pump`, when set, runs before every entry.
bool collectTouchFiles(FileSystem& fs, const SearchRequest& request, FileList& list,
                       const std::atomic<bool>* stop, std::function<void()> pump = {});

class TouchFiles {
public:
    TouchFiles(FileSystem& fs, FileOps& ops, const TouchRequest& request) : m_fs(fs), m_ops(ops), m_request(request)
    {
    }

    // Touches one file and tells `sink` how it went.
    TouchOutcome apply(const std::string& path, TouchSink& sink);
    // Touches every path in order until `stop` (when given) is set.
    TouchCounts applyAll(const std::vector<std::string>& paths, TouchSink& sink,
                         const std::atomic<bool>* stop = nullptr);
    TouchCounts applyAll(const FileList& paths, TouchSink& sink, const std::atomic<bool>* stop = nullptr);

private:
    TouchCounts applyEach(size_t count, const std::function<std::string(size_t)>& pathAt, TouchSink& sink,
                          const std::atomic<bool>* stop);
    bool setTimes(const std::string& path, const FileStatus& st);
    TouchOutcome report(TouchSink& sink, TouchOutcome outcome, const std::string& path, std::string text);

    FileSystem& m_fs;
    FileOps& m_ops;
    TouchRequest m_request;
};

} // namespace tw
