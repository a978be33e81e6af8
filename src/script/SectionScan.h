#pragma once
// How the text form of a script is cut into sections: where a section header starts, what
// its header line holds, and where the content block after it ends.
#include <cstddef>
#include <optional>
#include <string_view>

namespace tw {

enum class SectionKind {
    Search,     // "[Search" followed by a blank or "]"
    Replace,    // "[Replace"
    Path,       // "[Path]"
    OtherPath,  // "[Path" followed by anything but "]": ends a block, is not a path entry
    Options,    // "[Options]"
    Expression, // "[Expression]"
    End,        // "[End of Tarnwick Script]"
};

// The kind of section whose header starts at `pos` (compared without regard to case);
// nothing when no section starts there. Whether the "[" is escaped is not looked at.
std::optional<SectionKind> sectionAt(std::string_view text, size_t pos);

// The first section header at or after `from`: a "[" that is at `from` or not preceded by
// a backslash and starts a section. npos when there is none.
size_t nextSection(std::string_view text, size_t from);

struct SectionHeader {
    std::string_view flags;   // the characters between the first "/" and the "]"; empty without "/"
    std::string_view comment; // the rest of the header line after the "]", without its line break
    size_t contentStart = 0;  // the start of the line after the header line; npos when there is none
};

// The header line that starts at `pos`. Only the header line is looked at: a "]" on a
// later line does not close it.
SectionHeader readHeader(std::string_view text, size_t pos);

struct ContentBlock {
    std::string_view content;
    // The header of the section after the block; npos when no section follows, and then the
    // block has no end and the section it belongs to is not taken.
    size_t next = 0;
};

// The block from `start` to the next section header, without the line break (LF or CR LF)
// in front of that header.
ContentBlock contentBlock(std::string_view text, size_t start);

} // namespace tw
