#pragma once
// A file a replace preview covers: where it is, its name in the patch, how many
// replacements the preview made in it, and its size and last-write time when it was read,
// so that the replace that follows can tell whether it changed since.
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>

namespace tw {

struct PreviewedFile {
    std::string path;          // the full path of the file
    std::string rel;           // its name in the patch (after "a/" and "b/"), unquoted
    uint64_t replacements = 0; // replacements the preview counted in it
    int64_t size = 0;          // its size when the preview read it
    FileTime lastWrite = 0;    // its last-write time then
};

} // namespace tw
