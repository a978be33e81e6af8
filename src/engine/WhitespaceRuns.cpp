#include "engine/WhitespaceRuns.h"

#include "engine/Escapes.h"

namespace tw {

int ConvertWhitespaceRuns(std::string& searchText, std::string& replaceText, std::string_view maskText)
{
    const std::string maskSet = ExpandEscapes(maskText);
    if (maskSet.empty() || FindOneOfUnescaped(searchText, maskSet) < 0)
        return 0;

    std::string escaped = searchText;
    EscapeSpecials(escaped, kSearchSpecials);

    std::string out;
    out.reserve(escaped.size() + maskText.size() + 4);
    int runs = 0;
    bool escapedHere = false; // the character at i follows an odd run of backslashes
    size_t i = 0;
    while (i < escaped.size()) {
        const char c = escaped[i];
        if (!escapedHere && maskSet.find(c) != std::string::npos) {
            // A maximal run of unescaped mask characters.
            while (i < escaped.size() && maskSet.find(escaped[i]) != std::string::npos &&
                   !IsEscaped(escaped, i))
                ++i;
            out += "+[";
            out.append(maskText);
            out += ']';
            ++runs;
            escapedHere = i < escaped.size() && IsEscaped(escaped, i);
            continue;
        }
        out.push_back(c);
        escapedHere = (c == '\\') && !escapedHere;
        ++i;
    }
    searchText.swap(out);
    EscapeSpecials(replaceText, kReplaceSpecials);
    return runs;
}

} // namespace tw
