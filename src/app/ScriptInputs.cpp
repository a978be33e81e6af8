#include "app/ScriptInputs.h"

#include "app/CommandLine.h"
#include "app/LanguageTable.h"
#include "app/OptionSchema.h"
#include "core/SearchRequest.h"
#include "platform/Assert.h"
#include "platform/Environment.h"

#include <filesystem>
#include <system_error>
#include <variant>

namespace tw {

std::optional<std::string> scriptReference(std::string_view boxText)
{
    const std::string_view prefix = kScriptPrefix;
    if (boxText.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    return std::string(boxText.substr(prefix.size()));
}

std::string scriptFileName(const std::string& name)
{
    if (name.empty())
        return name;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(expandHome(name), ec), ec);
    return ec ? name : canonical.string();
}

bool sameScriptFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    return a == b || scriptFileName(a) == scriptFileName(b);
}

namespace {

struct ScriptBox {
    InputBox box;
    const std::string* text;
};

AcceptedInputs refused(AcceptedInputs result, std::string message, InputBox focus)
{
    TW_ASSERT(!message.empty() && focus != InputBox::None);
    result.message = std::move(message);
    result.focus = focus;
    return result;
}

// Step 2: the boxes that name a script must name the same one. Fills `result.use`.
bool collectReferences(const MainInputs& in, bool replaceMode, AcceptedInputs& result)
{
    const ScriptBox boxes[] = {{InputBox::Search, &in.searchText},
                               {InputBox::Replace, replaceMode ? &in.replaceText : nullptr},
                               {InputBox::Path, &in.path},
                               {InputBox::Mask, &in.mask}};
    for (const ScriptBox& b : boxes) {
        const std::optional<std::string> named = b.text ? scriptReference(*b.text) : std::nullopt;
        if (!named)
            continue;
        if (result.use.file.empty()) {
            result.use.file = *named;
        } else if (!sameScriptFile(result.use.file, *named)) {
            result.message = "Cannot use different scripts";
            result.focus = b.box;
            return false;
        }
        result.use.pairs = result.use.pairs || b.box == InputBox::Search;
        result.use.paths = result.use.paths || b.box == InputBox::Path;
        result.use.masks = result.use.masks || b.box == InputBox::Mask;
    }
    return true;
}

// Loads the script unless it is loaded already or this check tried to load it (a file that
// cannot be read is reported once).
void loadUnlessLoaded(Script& script, const std::string& file, const ScriptLoader& load, AcceptedInputs& result,
                      bool& tried)
{
    if (tried || (!script.filePath.empty() && sameScriptFile(script.filePath, file)))
        return;
    tried = true;
    ScriptLoadResult loaded = load(script, scriptFileName(file)); // "~/" expanded
    for (std::string& m : loaded.messages)
        result.loadMessages.push_back(std::move(m));
    // A script that was read has the name it was read under; one that was not is empty.
    TW_ASSERT(loaded.read ? sameScriptFile(script.filePath, file) : script.empty());
}

// Step 4 after the pairing rule: the backup directory against every path the run walks.
std::optional<std::string> backupProblem(const MainInputs& in, const Script& script, const ScriptUse& use,
                                         const ProgramOptions& program)
{
    const ProgramOptions options = optionsInForce(program, &script, use);
    if (use.paths) {
        for (const PathMaskPair& entry : script.paths)
            if (auto problem = checkBackupDirectory(entry.path, options))
                return problem;
    } else if (auto problem = checkBackupDirectory(in.path, options)) {
        return problem;
    }
    if (options.writeToBackupDir && options.backupPath.empty())
        return std::string("You must specify a backup directory when using the Write to Backup Dir Option.");
    return std::nullopt;
}

} // namespace

AcceptedInputs acceptInputs(const MainInputs& in, bool replaceMode, const ProgramOptions& options, Script& script,
                            std::string& lastScriptFile, const ScriptLoader& load)
{
    AcceptedInputs result;
    if (in.mask.empty())
        return refused(std::move(result), "Please enter a valid mask!", InputBox::Mask);
    if (in.path.empty())
        return refused(std::move(result), "Please enter a valid path!", InputBox::Path);
    if (!collectReferences(in, replaceMode, result))
        return result;
    ScriptUse& use = result.use;
    bool tried = false;
    if (use.inUse())
        loadUnlessLoaded(script, use.file, load, result, tried);
    if (replaceMode) {
        const bool replaceNamesScript = scriptReference(in.replaceText).has_value();
        if (use.pairs != replaceNamesScript)
            return refused(std::move(result), activeLanguage().text(kTextScriptBothOrNeither),
                           use.pairs ? InputBox::Replace : InputBox::Search);
        if (auto problem = backupProblem(in, script, use, options))
            return refused(std::move(result), std::move(*problem), InputBox::Path);
    }
    if (use.masks && !use.paths)
        return refused(std::move(result), "Cannot use just mask strings from script", InputBox::Mask);
    if (!use.file.empty() && !sameScriptFile(use.file, lastScriptFile)) {
        lastScriptFile = scriptFileName(use.file);
        loadUnlessLoaded(script, use.file, load, result, tried);
        result.scriptChanged = true;
    }
    if (use.pairs && script.pairs.empty())
        return refused(std::move(result), "No Search Strings were entered in Script!", InputBox::Search);
    if (use.paths && script.paths.empty())
        return refused(std::move(result), "No Paths were entered in Script!", InputBox::Path);
    return result;
}

bool subdirectoriesInForce(const ProgramOptions& program, const Script* script, const ScriptUse& use)
{
    if (!script || !use.inUse())
        return program.searchSubdirs;
    switch (script->subdirectories) {
    case ScriptSubdirs::No:
        return false;
    case ScriptSubdirs::Yes:
        return true;
    case ScriptSubdirs::FromWindow:
        break;
    }
    return program.searchSubdirs;
}

ProgramOptions withScriptOptions(const ProgramOptions& program, const ProgramOptions& script)
{
    ProgramOptions options = program;
    for (const OptionEntry& entry : optionSchema())
        if (entry.inBlock)
            std::visit([&](auto field) { options.*field = script.*field; }, entry.field);
    return options;
}

ProgramOptions optionsInForce(const ProgramOptions& program, const Script* script, const ScriptUse& use)
{
    ProgramOptions options =
        script && use.inUse() && script->options ? withScriptOptions(program, *script->options) : program;
    options.searchSubdirs = subdirectoriesInForce(program, script, use);
    return options;
}

bool showScriptInInputs(MainInputs& in, const Script& script, const std::string& lastScriptFile)
{
    std::string* const boxes[] = {&in.searchText, &in.replaceText, &in.mask, &in.path};
    if (lastScriptFile.empty()) {
        for (std::string* text : boxes)
            if (scriptReference(*text))
                text->clear();
        return false;
    }
    const std::string reference = kScriptPrefix + lastScriptFile;
    if (!script.pairs.empty())
        in.searchText = in.replaceText = reference;
    if (!script.paths.empty())
        in.mask = in.path = reference;
    return scriptReference(in.searchText).has_value();
}

} // namespace tw
