#include "script/ScriptFile.h"
#include "script/ScriptReaders.h"
#include "script/TextScriptReader.h"

#include "engine/Expression.h"

namespace tw {

namespace {

// Everything the file gives a script emptied: what reading starts from.
void clearForReading(Script& script, const std::string& path)
{
    script.reset();
    script.description.clear();
    script.expression.clear();
    script.options.reset();
    script.subdirectories = ScriptSubdirs::FromWindow;
    script.filePath = path;
}

uint32_t leadingMark(std::string_view bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// An expression that does not parse, or that names a variable beyond the pairs, is
// cleared and its message shown.
void validateExpression(Script& script, std::vector<std::string>& messages)
{
    if (script.expression.empty())
        return;
    const Expression expression(script.expression);
    const std::string message =
        expression.ok() ? expression.variableBeyond(long(script.pairs.size())) : expression.error();
    if (expression.ok() && message.empty())
        return;
    if (!message.empty())
        messages.push_back(message);
    script.expression.clear();
}

} // namespace

ScriptLoadResult readScriptBytes(Script& script, std::string_view bytes, const std::string& path,
                                 const ScriptReadContext& context)
{
    ScriptLoadResult result;
    result.read = true;
    clearForReading(script, path);
    if (bytes.size() < 4)
        return result; // too short for any format: an empty script
    bool cutOff = false;
    if (leadingMark(bytes) == kBinaryScriptMark) {
        cutOff = readBinaryScript(bytes, script);
    } else if (TextScriptReader reader(bytes, script, context); reader.read()) {
        cutOff = reader.cutOff();
        validateExpression(script, result.messages);
    } else {
        // Neither a pair nor a path: not a script in the text form, so nothing of what the
        // text reader found (description, expression, options) is kept.
        clearForReading(script, path);
        script.pairs = readPlainLines(bytes, context, &cutOff);
    }
    if (cutOff)
        result.messages.push_back("Only the first " + std::to_string(kMaxScriptEntries) +
                                  " pairs and paths of the script file were read\n" + path);
    return result;
}

} // namespace tw
