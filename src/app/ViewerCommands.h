#pragma once
// Opening a file of the results in another program: with the program associated with its
// type, with the default viewer (the "Default Viewer" option, whose "%PATH%" and "%LINE%"
// stand for the file and the hit's line), with a program the user picked, and a binary
// hit with the hex viewer BYTEGLASS.
//
// Nothing goes through a shell. A command is a list of arguments: the viewer setting is
// split into words the way a POSIX shell splits them (quotes and backslashes), but nothing
// in it is expanded or run, and the placeholders are replaced inside the words afterwards,
// so whatever bytes a path holds it reaches the program as one argument.
#include "core/ProgramOptions.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

// The file to open and, for a hit, where the hit is.
struct ViewerTarget {
    std::string path;
    long line = 0;       // 1-based line of a text hit; 0: none (a file line)
    bool binary = false; // a binary hit: `offset` and `length` hold it
    int64_t offset = 0;
    int64_t length = 0;
};

// What the commands need from the desktop; the tests put a fake in its place.
class ViewerSystem {
public:
    virtual ~ViewerSystem() = default;
    // Starts argv[0] with the other arguments, detached, in `workingDir`. On failure
    // *error (when given) says why.
    virtual bool start(const std::vector<std::string>& argv, const std::string& workingDir, std::string* error) = 0;
    // The program the desktop associates with the file's type; "" when there is none.
    virtual std::string associatedProgram(const std::string& path) = 0;
    // Opens the file with the desktop's default action for its type.
    virtual bool openWithDefaultAction(const std::string& path) = 0;
    // The full path of the program `name` on PATH; "" when it is not there.
    virtual std::string findProgram(const std::string& name) = 0;
};

// Splits `text` into words as a POSIX shell does: blanks (space, tab, newline) separate
// words; '...' keeps everything literally; "..." keeps everything but a backslash before
// $ ` " \ or a newline; outside quotes a backslash keeps the next character (and with a
// newline joins the lines). A quoted empty text is an empty word. Nothing else is special:
// $, `, ~, *, ;, | and the rest are plain characters. False (and *error set) for a quote
// that is not closed.
bool splitCommandWords(const std::string& text, std::vector<std::string>* words, std::string* error);

// A path as an argument of its own: a relative one beginning with "-" gets "./" in front
// so that no program takes it for an option. Absolute paths are unchanged.
std::string pathArgument(const std::string& path);

// The default viewer's command for `target`: the words of `viewer` with every "%LINE%"
// (in any case) replaced by the hit's line number, or removed when there is none (a word
// left empty by that alone is dropped), and every "%PATH%" by the path; without any
// "%PATH%" the path is added as the last argument. Empty (and *error set) when the setting
// is empty, has an open quote, or has no program before "%PATH%".
std::vector<std::string> defaultViewerCommand(const std::string& viewer, const ViewerTarget& target,
                                              std::string* error);
// The command used when a file has no association: the viewer's words before the first
// that holds "%PATH%" or "%LINE%", then the path.
std::vector<std::string> fallbackViewerCommand(const std::string& viewer, const std::string& path, std::string* error);
// BYTEGLASS's command for a binary hit: {program, path, "-S<offset>", "-E<offset+length>"}.
std::vector<std::string> binaryViewerCommand(const std::string& program, const ViewerTarget& target);

// The file would run as a program if the desktop opened it by its type, so it is never
// opened that way: no extension, the extensions EXE, COM, BAT, PIF (any case) or
// ".desktop", an execute permission bit, "#!" as its first two bytes, or anything that
// is not a regular file or cannot be read to tell. A link is judged by its own name and
// by the file it leads to.
bool opensAsProgram(FileSystem& fs, const std::string& path);

// The file a viewer is given for a line of the results: `path` itself, or for a line of an
// archive member (`archivePath` not empty; `path` is then the member's name) a new copy of
// the member in "<dataDir>view/" (core's extractMember, bounded by maxMemberBytes). Returns
// the message to show, "" when *file is set.
std::string viewerFile(const std::string& path, const std::string& archivePath, const ProgramOptions& options,
                       FileSystem& fs, FileOps& ops, const std::string& dataDir, std::string* file);

// The entry points. Each returns the message to show, "" when the program started (or
// when there was nothing to open).
std::string openAssociated(const ViewerTarget& target, const ProgramOptions& options, FileSystem& fs,
                           ViewerSystem& system);
std::string openDefaultViewer(const ViewerTarget& target, const ProgramOptions& options, ViewerSystem& system);
std::string openWithProgram(const ViewerTarget& target, const std::string& program, ViewerSystem& system);
std::string openBinaryViewer(const ViewerTarget& target, ViewerSystem& system);

// The messages.
inline constexpr const char* kNoAssociationText = "Could not find association";
inline constexpr const char* kBinaryViewerName = "BYTEGLASS";
// "Error %d shelling\n %s": the code is -1 (a start that failed has no other number on
// Linux) and the text the program that was to start.
std::string shellingErrorText(const std::string& program);

} // namespace tw
