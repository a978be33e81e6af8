#include "script/ScriptReaders.h"

#include <optional>

namespace tw {

namespace {

SearchPair plainPair(std::string_view searchText, const ScriptReadContext& context)
{
    SearchPair pair;
    pair.searchText.assign(searchText);
    pair.caseSensitive = context.caseSensitive;
    pair.wholeWord = context.wholeWord;
    pair.regularExpression = context.regularExpression;
    pair.ignoreWhitespace = context.ignoreWhitespace;
    return pair;
}

} // namespace

std::vector<SearchPair> readPlainLines(std::string_view bytes, const ScriptReadContext& context, bool* cutOff)
{
    *cutOff = false;
    std::vector<SearchPair> pairs;
    std::optional<SearchPair> pending; // a search text waiting for its replace line
    for (size_t pos = 0; pos < bytes.size();) {
        const size_t lineFeed = bytes.find('\n', pos);
        const size_t next = lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1;
        std::string_view line = bytes.substr(pos, next - pos);
        if (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos = next;
        if (pending) {
            pending->replaceText.assign(line);
            pairs.push_back(std::move(*pending));
            pending.reset();
        } else if (!line.empty()) {
            if (pairs.size() >= kMaxScriptEntries) {
                *cutOff = true;
                break;
            }
            pending = plainPair(line, context);
        }
    }
    if (pending)
        pairs.push_back(std::move(*pending)); // a last search text gets an empty replace text
    return pairs;
}

} // namespace tw
