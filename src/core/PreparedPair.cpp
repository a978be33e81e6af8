#include "core/PreparedPair.h"

#include "engine/Escapes.h"
#include "engine/WhitespaceRuns.h"

#include <cstdlib>
#include <cstring>

namespace tw {

PreparedPair preparePair(const SearchPair& pair, int maxRepeat, const EnvironmentLookup& lookup)
{
    PreparedPair out;
    out.caseSensitive = pair.caseSensitive;
    out.wholeWord = pair.wholeWord;
    out.regex = pair.regularExpression;
    std::string search = pair.searchText;
    std::string replace = pair.replaceText;

    // 1. Binary search block, with the special blocks recognised first.
    if (search == kBinaryPlaceholder) {
        const std::string& block = pair.binarySearchBlock;
        const size_t prefixLen = std::strlen(kReformatPrefix);
        if (block == kAppendBlock) {
            out.special = SpecialOp::Append;
            out.regex = false;
        } else if (block == kPrependBlock) {
            out.special = SpecialOp::Prepend;
            out.regex = false;
        } else if (block.compare(0, prefixLen, kReformatPrefix) == 0 && block.size() > prefixLen &&
                   block[prefixLen] >= '0' && block[prefixLen] <= '9') {
            out.special = SpecialOp::Reformat;
            out.regex = false;
            out.reformatColumns = std::atoi(block.c_str() + prefixLen);
        } else {
            out.binary = true;
        }
        search = out.regex ? block : ExpandEscapes(block);
    }
    if (out.special == SpecialOp::None) {
        // Flags a script pair may carry without a special block.
        if (pair.appendToFile)
            out.special = SpecialOp::Append;
        else if (pair.prependToFile)
            out.special = SpecialOp::Prepend;
        else if (pair.reformatColumns > 0) {
            out.special = SpecialOp::Reformat;
            out.reformatColumns = pair.reformatColumns;
        }
        if (out.special != SpecialOp::None)
            out.regex = false;
    }

    // 2. Binary replace block.
    if (replace == kBinaryPlaceholder)
        replace = out.regex ? pair.binaryReplaceBlock : ExpandEscapes(pair.binaryReplaceBlock);

    // 3. Environment tokens; inside a pattern the values are made literal.
    ExpandEnvironmentTokens(search, lookup, out.regex ? kSearchSpecials : std::string_view());
    ExpandEnvironmentTokens(replace, lookup, out.regex ? kReplaceSpecials : std::string_view());

    if (out.special == SpecialOp::None) {
        // 4. "Ignore Whitespace" may turn a literal search into a pattern.
        if (pair.ignoreWhitespace && !out.regex) {
            // Every byte before the first whitespace stays a literal of the pattern (its
            // pattern specials escaped); a backslash ends them, since it may escape a
            // whitespace byte.
            const std::string mask = ExpandEscapes(pair.ignoreWhitespaceMask);
            const std::string before = search.substr(0, search.find_first_of(mask + "\\"));
            if (ConvertWhitespaceRuns(search, replace, pair.ignoreWhitespaceMask) > 0) {
                out.regex = true;
                out.leadingBytes = before;
            }
        }
        // 5. Compile the pattern with its replace text.
        if (out.regex) {
            PatternOptions options;
            options.caseSensitive = out.caseSensitive;
            options.maxRepeat = maxRepeat;
            out.pattern = SrchPattern::compile(search, &replace, options);
            if (!out.pattern->ok()) {
                out.error = "Error parsing: " + out.pattern->error();
                out.pattern.reset();
            }
        }
    }
    out.searchBytes = std::move(search);
    out.replaceBytes = std::move(replace);
    return out;
}

} // namespace tw
