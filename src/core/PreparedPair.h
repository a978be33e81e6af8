#pragma once
// A search/replace pair made ready for a run: binary blocks and special operations
// recognised, environment tokens expanded, "Ignore Whitespace" applied and the pattern
// compiled. Pure: the environment is read through the given lookup.
#include "core/SearchRequest.h"
#include "engine/ReplaceTokens.h"
#include "engine/SrchPattern.h"

#include <memory>
#include <string>

namespace tw {

inline constexpr const char* kAppendBlock =
    "This search string will not be used\r\nThe replace block will be appended to the file.";
inline constexpr const char* kPrependBlock =
    "This search string will not be used\r\nThe replace block will be added at the top of the file.";
inline constexpr const char* kReformatPrefix = "%%TWFORMAT%%=";

// Operations of a replace pair that do not search: the replace bytes are appended or
// prepended, or the file is reformatted into paragraphs.
enum class SpecialOp { None, Append, Prepend, Reformat };

struct PreparedPair {

    std::string searchBytes;  // literal: bytes to scan for; pattern: the pattern text compiled
    std::string replaceBytes; // literal: bytes written; pattern: the replace text compiled
    bool regex = false;       // search with `pattern`
    bool caseSensitive = true;
    bool wholeWord = false;   // applies to literal searches only
    bool binary = false;      // the search came from a binary block
    SpecialOp special = SpecialOp::None; // no search at all; the replace bytes are appended, prepended, or the file reformatted
    int reformatColumns = 0;  // for Reformat
    std::unique_ptr<SrchPattern> pattern; // set when regex and the compile succeeded
    std::string error;        // "Error parsing: %s" when the compile failed; the pair is then not searched
    // A pattern made by "Ignore Whitespace": bytes every hit begins with (those before the
    // search text's first whitespace or backslash, matched with the pair's case rule);
    // empty when there are none or the pair is not such a pattern.
    std::string leadingBytes;

    bool usable() const { return error.empty(); }
};

// Prepares one pair in the fixed order: binary search block (and the special blocks),
// binary replace block, environment tokens, whitespace conversion, compile.
PreparedPair preparePair(const SearchPair& pair, int maxRepeat, const EnvironmentLookup& lookup);

} // namespace tw
