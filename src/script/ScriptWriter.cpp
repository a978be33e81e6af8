#include "script/ScriptFile.h"

#include "core/SearchRequest.h"

namespace tw {

namespace {

constexpr const char* kLineEnd = "\r\n";

// A comment is one line: what follows a line feed in it would be read as content.
std::string_view oneLine(std::string_view comment)
{
    return comment.substr(0, comment.find('\n'));
}

bool isPlaceholder(const std::string& text)
{
    return text == kBinaryPlaceholder;
}

std::string searchFlags(const SearchPair& pair)
{
    std::string letters;
    if (isPlaceholder(pair.searchText))
        letters += 'b';
    if (!pair.caseSensitive)
        letters += 'i';
    if (pair.regularExpression)
        letters += 'x';
    if (pair.wholeWord)
        letters += 'w';
    if (pair.ignoreWhitespace)
        letters += 'h';
    return letters.empty() ? letters : " /" + letters;
}

void appendPair(std::string& out, const SearchPair& pair)
{
    out += "[Search" + searchFlags(pair) + "]";
    out += oneLine(pair.searchComment);
    out += kLineEnd;
    out += isPlaceholder(pair.searchText) ? pair.binarySearchBlock : pair.searchText;
    out += kLineEnd;
    out += isPlaceholder(pair.replaceText) ? "[Replace /b]" : "[Replace]";
    out += oneLine(pair.replaceComment);
    out += kLineEnd;
    out += isPlaceholder(pair.replaceText) ? pair.binaryReplaceBlock : pair.replaceText;
    out += kLineEnd;
}

// The ";" goes between path and mask exactly when the split of the two written together
// would not give back the mask.
void appendPath(std::string& out, const PathMaskPair& entry)
{
    std::string path, mask;
    SplitPathAndMask(entry.path + entry.mask, &path, &mask);
    out += "[Path]";
    out += kLineEnd;
    out += entry.path;
    if (mask != entry.mask)
        out += ';';
    out += entry.mask;
    out += kLineEnd;
}

void appendOptions(std::string& out, const Script& script, const ScriptOptionsCodec& codec)
{
    if (!script.options || !codec.write)
        return;
    ProgramOptions options = *script.options;
    if (script.subdirectories != ScriptSubdirs::FromWindow)
        options.searchSubdirs = script.subdirectories == ScriptSubdirs::Yes;
    out += "[Options]";
    out += kLineEnd;
    out += codec.write(options);
}

} // namespace

std::string formatScript(const Script& script, const ScriptOptionsCodec& codec)
{
    std::string out = "[Script for Tarnwick]";
    out += kLineEnd;
    if (!script.description.empty())
        out += script.description + kLineEnd;
    if (!script.expression.empty())
        out += std::string("[Expression]") + kLineEnd + script.expression + kLineEnd;
    appendOptions(out, script, codec);
    for (const SearchPair& pair : script.pairs)
        appendPair(out, pair);
    for (const PathMaskPair& entry : script.paths)
        appendPath(out, entry);
    out += "[End of Tarnwick Script]";
    out += kLineEnd;
    return out;
}

} // namespace tw
