#pragma once
// Writes one archive member out as a file of its own, so that a program outside can show
// it. The copy's name is the program's ("TWV<n>", plus the member's extension when that is
// a short plain one), never the member's: a hostile member name ("../../x", "a/b", "-n")
// only chooses which member is copied. The copy is created anew (a name that exists, a
// link included, is never written through), read-only once complete, and removed again
// when the member cannot be read whole.
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>

namespace tw {

struct MemberExtraction {
    std::string path;  // the copy; empty on failure
    std::string error; // the message to show; empty on success
};

// The name of the copy number `n` of the member `memberName`: "TWV<n>" and, when the
// member's last name part ends in an extension of 1 to 10 ASCII letters and digits, a dot
// and that extension.
std::string extractedName(unsigned n, const std::string& memberName);

// "<dataDir>view/", created when missing; empty (and *error set) when it cannot be made
// or is not a directory of its own (a link is refused).
std::string extractionDirectory(FileSystem& fs, FileOps& ops, const std::string& dataDir, std::string* error);

// Copies the first regular member named exactly `memberName` (as the results show it) of
// the archive `archivePath` into a new file of `directory` (ending with "/"). A member
// expanding beyond `limit` bytes (0: no bound) is refused; the holes of a sparse member
// stay holes. Memory stays bounded whatever the member's size.
MemberExtraction extractMember(FileSystem& fs, const std::string& archivePath, const std::string& memberName,
                               const std::string& directory, int64_t limit);

// Removes the copies ("TWV..." regular files) left in `directory` by earlier runs of the
// program; a viewer may still be reading one of this run's, so call it once at start.
void removeExtractedMembers(FileSystem& fs, const std::string& directory);

} // namespace tw
