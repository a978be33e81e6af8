#pragma once
// The ordered include/exclude mask list of the File Mask field. Entries are separated by
// ";"; a leading "~" makes an entry exclude instead of include. An entry may carry a
// directory part: everything up to its last separator ("\" or "/", both accepted), taken
// relative to the start directory. A directory part beginning "\*\" may stand at any depth
// ("any levels"); one ending "\*\" also covers every directory below ("subdirectories").
// A mask with a separator that does not begin with one gets one put in front, so
// "lib\*.h" reads as "\lib\*.h". The file part is normalised so that "c" means "*.c" and
// ".txt" means "*.txt"; an empty file part means "*.*". Matching is case-insensitive.
//
// Deciding about a file: the last entry in the list that matches the file decides, and a
// file that no entry matches is not included. So a later entry overrides an earlier one,
// and a list of exclusions only selects nothing.
#include "select/WildcardMask.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// One mask (without its "~") cut into its parts. Directory texts use "/" as the separator.
struct MaskParts {
    std::string filePart;       // never empty: an empty file part is "*.*"
    bool hasDirectory = false;  // false: any directory
    std::string directory;      // begins and ends with "/" ("/" alone: the start directory)
    bool anyLevels = false;     // the directory may stand at any depth below the start
    bool subdirectories = false; // the directory and everything below it
};

// Splits a mask into its file part and directory part by the mask grammar above.
[[nodiscard]] MaskParts splitMask(std::string_view mask);

class MaskList {
public:
    void compile(std::string_view maskText);
    // `relativePath` is the file's path below the start directory with "/" separators
    // ("x.c", "lib/util/x.c"); a bare name is a file of the start directory itself.
    [[nodiscard]] bool matches(std::string_view relativePath) const;
    // The same for a path whose last `nameSize` bytes are the file's name (what follows its
    // last "/"), which spares looking for that "/".
    [[nodiscard]] bool matches(std::string_view relativePath, size_t nameSize) const;
    // False only when no file in the directory or anywhere below it can be included, so
    // that the walk need not enter it. `relativeDir` is the directory below the start
    // directory, ending with "/" ("lib/", "lib/util/").
    [[nodiscard]] bool mayIncludeBelow(std::string_view relativeDir) const;
    bool empty() const { return m_masks.empty(); }

private:
    struct Mask {
        WildcardMask pattern;  // the file part
        bool hasDot = false;   // the file part holds a "."; without one it also matches a bare name
        bool exclude = false;
        bool takesEveryName = false; // the file part is "*" or "*.*"
        bool hasDirectory = false;
        bool anyLevels = false;
        bool subdirectories = false;
        // The directory pattern with "*" added where the marks leave it open (in front for
        // any levels, at the end for subdirectories), matched against the whole relative
        // directory "/lib/util/".
        WildcardMask directory;
        // Without any levels: the directory pattern up to its first "?" or "*", folded to
        // upper case. Every directory the mask can match begins with it.
        std::string fixedPrefix;
    };
    bool matchesMask(const Mask& mask, std::string_view name, std::string_view dottedName,
                     std::string_view directory) const;
    // True when the mask may match a file in `directory` (folded or not) or below it.
    bool mayReach(const Mask& mask, std::string_view directory) const;
    // True when the mask matches every file in `directory` and below it.
    bool covers(const Mask& mask, std::string_view directory) const;

    std::vector<Mask> m_masks;
    bool m_anyDirectory = false; // some mask has a directory part
};

} // namespace tw
