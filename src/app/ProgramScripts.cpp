#include "app/ProgramScripts.h"

#include "app/OptionsBlock.h"
#include "app/RunRequest.h"
#include "core/SearchRequest.h"
#include "platform/PathText.h"

#include <QLocale>

#include <filesystem>
#include <system_error>

namespace tw {

std::string localDatePicture()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat).toStdString();
}

ScriptReadContext scriptReadContext(const MainInputs& inputs, const ProgramOptions& options)
{
    ScriptReadContext context;
    context.caseSensitive = inputs.caseSensitive;
    context.wholeWord = inputs.wholeWord;
    context.regularExpression = inputs.regularExpression;
    context.ignoreWhitespace = inputs.ignoreWhitespace;
    context.currentOptions = options;
    context.codec = scriptOptionsCodec(localDatePicture());
    return context;
}

ScriptLoader programScriptLoader(const MainInputs& inputs, const ProgramOptions& options)
{
    return [context = scriptReadContext(inputs, options)](Script& script, const std::string& path) {
        return loadScript(script, path, context);
    };
}

bool takeCommandLineScript(const CommandLineRequest& commandLine, MainWindowSettings& window,
                           const ProgramOptions& options, Script& script, std::vector<std::string>* messages)
{
    const std::string& name = commandLine.scriptFile;
    if (name.empty()) {
        messages->push_back("/C needs the name of a script file.");
        return false;
    }
    window.lastScriptFile = scriptFileName(name);
    ScriptLoadResult loaded = loadScript(script, window.lastScriptFile, scriptReadContext(window.inputs, options));
    for (std::string& m : loaded.messages)
        messages->push_back(std::move(m));
    if (script.options)
        applyCommandLineOptions(commandLine, *script.options);
    showScriptInInputs(window.inputs, script, window.lastScriptFile);
    if (loaded.read && script.empty())
        messages->push_back("The script file " + window.lastScriptFile + " holds neither search strings nor paths.");
    return loaded.read && !script.empty();
}

Script dumpScript(const MainWindowSettings& window)
{
    const MainInputs& in = window.inputs;
    SearchPair pair = windowPair(in, window);
    Script script;
    script.pairs.push_back(std::move(pair));
    script.paths.push_back(PathMaskPair{in.path, in.mask});
    return script;
}

std::string writeDumpScript(const MainWindowSettings& window, const std::string& dataDir)
{
    Script script = dumpScript(window);
    return saveScript(script, dataDir + kDumpScriptName, scriptOptionsCodec(localDatePicture()));
}

Script explorerScript(const std::vector<std::string>& items)
{
    namespace fs = std::filesystem;
    Script script;
    for (const std::string& item : items) {
        std::error_code ec;
        const fs::file_status status = fs::status(item, ec);
        if (ec || !fs::exists(status))
            continue;
        if (fs::is_directory(status)) {
            script.paths.push_back(PathMaskPair{withTrailingSlash(item), "*.*"});
            continue;
        }
        const size_t slash = item.rfind('/');
        if (slash == std::string::npos || slash + 1 == item.size())
            continue; // a dropped item always comes with its directory
        script.paths.push_back(PathMaskPair{item.substr(0, slash + 1), item.substr(slash + 1)});
    }
    return script;
}

std::string writeExplorerScript(const std::vector<std::string>& items, const std::string& dataDir,
                                std::string* path)
{
    Script script = explorerScript(items);
    *path = dataDir + kExplorerScriptName;
    return saveScript(script, *path, scriptOptionsCodec(localDatePicture()));
}

} // namespace tw
