#pragma once
// "Use Ignore Files": the walk skips every file and directory that git's ignore files
// would ignore (see IgnoreRules for the pattern rules). The files that apply to a walk of
// a start directory:
// - the ".gitignore" of the start directory and of every directory below it that the walk
//   enters; a deeper file overrides the files above it;
// - inside a git repository (the nearest directory at or above the start that holds
//   ".git", a directory or a "gitdir:" file), the ".gitignore" files of the directories
//   between the repository root and the start, then the repository's "info/exclude";
// - last, the user's global excludes file (see globalExcludesFile).
// Outside a repository the ".gitignore" files of the start directory and below and the
// global file still apply; nothing above the start is read then. The start directory
// itself is never skipped (a directory the user names is walked even when the rules
// above it ignore it), nor a file the mask text names exactly (a file given as the start
// path). Rules from above keep applying inside nested repositories.
//
// Ignore files are outside input: a ".gitignore" that is a link or not a regular file is
// not read (as git does in the work tree), only the lines that end within the first
// kMaxFileBytes of each file count (the line cut there and the patterns after it are left
// out), lines longer than IgnoreList::kMaxLineBytes are skipped, and the compiled patterns
// of the files held for the directories being walked take at most kMaxHeldBytes together
// (a deeper file that would pass that is not applied, and the first such file is named
// through the notice, since the walk then differs from git). Every match is bounded as
// IgnoreRules says, so no ignore file can make the walk hang or grow without bound.
#include "platform/FileSystem.h"
#include "select/IgnoreRules.h"
#include "select/WalkFilter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw {

class IgnoreFileFilter final : public WalkFilter {
public:
    static constexpr size_t kMaxFileBytes = 256 * 1024;
    static constexpr size_t kMaxHeldBytes = 32 * 1024 * 1024;

    // Told, once, of the first ".gitignore" that the bound on held rules keeps from applying.
    using Notice = std::function<void(const std::string& text)>;

    // `globalExcludesFile`: the user's global excludes file, empty for none. Without
    // `notice` the text goes to standard error.
    IgnoreFileFilter(FileSystem& fs, std::string globalExcludesFile, Notice notice = {});

    void beginWalk(const std::string& startDirectory, std::string_view maskText) override;
    void listedDirectory(const std::string& directory, std::string_view relativeDir,
                         const std::vector<DirEntry>& entries) override;
    bool enterDirectory(const WalkEntry& dir) override;
    bool acceptFile(const WalkEntry& file) override;
    // What git ignores is skipped for the archives a run searches, too.
    bool appliesToEverySelection() const override { return true; }

    // The repository root found for the current walk ("" outside a repository).
    const std::string& repositoryRoot() const { return m_root; }

private:
    struct Frame {
        std::string relativeDir; // below the start, ends with "/" ("" for the start)
        IgnoreList list;
        size_t bytes = 0;        // list.memoryBytes()
    };
    bool ignored(std::string_view relativePath, std::string_view name, bool isDirectory);
    // Adds the patterns of the file at `path` to `list`; `followLinks` for the files of the
    // user and the repository, never for a ".gitignore" of the tree.
    void readList(const std::string& path, IgnoreList& list, bool followLinks);

    FileSystem& m_fs;
    Notice m_notice;
    bool m_noticeGiven = false;
    IgnoreList m_global;  // base ""
    // Per walk: the repository root (ends with "/", or "" outside one), the start directory
    // relative to it (what the lists' bases and the paths given to them begin with), the
    // lists above the start (root first), the repository's exclude list, and the frames of
    // the directories on the path from the start to the directory being decided (start
    // first; only directories with a ".gitignore").
    std::string m_root;
    std::string m_startFromRoot;
    std::vector<IgnoreList> m_above;
    IgnoreList m_exclude;
    std::vector<Frame> m_frames;
    size_t m_heldBytes = 0; // sum of m_frames' bytes
    std::string m_namedFile; // the file the mask names exactly, never skipped; or ""
    std::string m_path;      // scratch: the path being decided, relative to the root
};

// The user's global excludes file as git finds it: core.excludesFile from git's user
// configuration ($XDG_CONFIG_HOME/git/config or ~/.config/git/config, then ~/.gitconfig,
// the later one winning; a leading "~/" is the home directory), else
// $XDG_CONFIG_HOME/git/ignore or ~/.config/git/ignore; "" when no such variable is set.
// Only that one key is read; include directives are not followed.
std::string globalExcludesFile(FileSystem& fs);

// The value of the last core.excludesFile in a git configuration text, or nothing. Only
// the plain forms are taken: "[core]" (any case, no subsection), then
// "excludesFile = value" with double quotes, the escapes \ \" \t \n \b and "#"/";"
// comments; a value continued on the next line is not taken.
std::optional<std::string> excludesFileFromConfig(std::string_view configText);

} // namespace tw
