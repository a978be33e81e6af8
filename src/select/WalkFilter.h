#pragma once
// The walk's filters: each one sees every directory the walk could enter and every file it
// could select, with its path relative to the start directory, and may turn it away. The
// dot-directory rule and the include/exclude mask list are the first two; the date and size
// filter and the ignore-file filter plug in the same way.
#include "platform/FileSystem.h"
#include "select/MaskList.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct WalkEntry {
    std::string_view name;         // the entry's own name: for a file, the end of relativePath
    std::string_view relativePath; // below the start directory: "sub/x.c"; a directory ends with "/"
    // Size, times and type; only filled when some filter needsStatus(), else null.
    const FileStatus* status = nullptr;
};

class WalkFilter {
public:
    virtual ~WalkFilter() = default;
    // The walk of one start directory (full path, ends with "/") begins; `maskText` is the
    // mask text it selects by.
    virtual void beginWalk(const std::string& /*startDirectory*/, std::string_view /*maskText*/) {}
    // The walk has listed a directory it entered (`directory`: full path ending with "/";
    // `relativeDir`: below the start directory, "" for the start itself) and decides its
    // entries next, before it lists any other directory. Directories come depth first.
    virtual void listedDirectory(const std::string& /*directory*/, std::string_view /*relativeDir*/,
                                 const std::vector<DirEntry>& /*entries*/)
    {
    }
    // False keeps the walk out of the directory (and everything below it).
    virtual bool enterDirectory(const WalkEntry& /*dir*/) { return true; }
    // False leaves the file out of the list.
    virtual bool acceptFile(const WalkEntry& /*file*/) { return true; }
    // True when the filter also decides the walk's second selection (see
    // FileWalker::setSecondSelection), not only the list it builds.
    virtual bool appliesToEverySelection() const { return false; }
    // True when the filter reads WalkEntry::status; the walk then takes each entry's status.
    virtual bool needsStatus() const { return false; }
};

// Directories whose name starts with "." are never entered.
class DotDirectoryFilter final : public WalkFilter {
public:
    bool enterDirectory(const WalkEntry& dir) override { return dir.name.empty() || dir.name[0] != '.'; }
};

// The files the include/exclude mask list selects (see MaskList). Directories below which
// the list can include nothing are not entered.
class MaskFilter final : public WalkFilter {
public:
    explicit MaskFilter(std::string_view maskText) { m_masks.compile(maskText); }
    bool enterDirectory(const WalkEntry& dir) override { return m_masks.mayIncludeBelow(dir.relativePath); }
    bool acceptFile(const WalkEntry& file) override { return m_masks.matches(file.relativePath, file.name.size()); }

private:
    MaskList m_masks;
};

} // namespace tw
