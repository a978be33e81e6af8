#pragma once
// A file a replace preview would change, as the preview scanned it: where it is, its name in
// the patch, how many replacements it would get, and its size and modification time then,
// so that the replace that applies the preview can tell whether it changed since.
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>

namespace tw {

struct PreviewedFile {
    std::string path;      // full path
    std::string rel;       // relative to the start directory of its path/mask pair, as in the patch (unquoted)
    long replacements = 0;
    int64_t size = 0;      // the original's size and modification time when it was scanned
    FileTime lastWrite = 0;
};

} // namespace tw
