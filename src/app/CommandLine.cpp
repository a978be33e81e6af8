#include "app/CommandLine.h"

#include "core/SearchRequest.h"
#include "script/ScriptFile.h"
#include "platform/Environment.h"
#include "platform/PathText.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tw {

namespace {

// A run of flag letters is read only while its position after the "/" is below this.
constexpr size_t kFlagRunLimit = 18;

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool isValueSwitch(char c)
{
    return kCommandLineValueSwitches.find(upperAscii(c)) != std::string_view::npos;
}

bool isFlagLetter(char c)
{
    return kCommandLineFlagLetters.find(upperAscii(c)) != std::string_view::npos;
}

// Reads a switch value starting at `pos`; returns the position after it.
size_t readValue(std::string_view text, size_t pos, std::string* value)
{
    value->clear();
    if (pos < text.size() && text[pos] == '"') {
        size_t k = pos + 1;
        while (k < text.size()) {
            if (text[k] == '\\' && k + 1 < text.size() && text[k + 1] == '"') {
                value->push_back('"');
                k += 2;
            } else if (text[k] == '"') {
                return k + 1;
            } else {
                value->push_back(text[k++]);
            }
        }
        return k; // no closing quote: the value runs to the end
    }
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos)
        end = text.size();
    value->assign(text.substr(pos, end - pos));
    return end;
}

void setFlag(CommandLineRequest& r, char letter)
{
    switch (upperAscii(letter)) {
    case 'I': r.caseInsensitive = true; break;
    case 'D': r.subdirectories = true; break;
    case 'W': r.wholeWord = true; break;
    case 'X': r.regularExpression = true; break;
    case 'H': r.ignoreWhitespace = true; break;
    case 'T': r.touch = true; break;
    case 'R': r.replace = true; break;
    case 'Q': r.closeAfterRun = true; break;
    case 'N': r.noPrompts = true; break;
    default: break;
    }
}

void setValue(CommandLineRequest& r, char sw, std::string value)
{
    switch (upperAscii(sw)) {
    case 'S':
        r.searchText = std::move(value);
        r.searchTextGiven = true;
        r.search = true;
        break;
    case 'R':
        r.replaceText = std::move(value);
        r.replaceTextGiven = true;
        r.replace = true;
        break;
    case 'P':
        r.path = std::move(value);
        r.pathGiven = true;
        break;
    case 'O':
        r.outputFile = std::move(value);
        r.outputFileGiven = true;
        break;
    case 'C':
        r.scriptFile = std::move(value);
        r.scriptFileGiven = true;
        break;
    case 'B':
        r.backupPath = std::move(value);
        r.backupPathGiven = true;
        break;
    case 'T':
        r.touchDateTime = value.empty() ? std::string("Now") : std::move(value);
        r.touchDateTimeGiven = true;
        r.touch = true;
        break;
    default:
        break;
    }
}

// Quotes a switch value when the parser would otherwise cut it or misread a quote.
std::string quoteValue(const std::string& value)
{
    if (value.find_first_of(" \"") == std::string::npos)
        return value;
    std::string out = "\"";
    for (char c : value) {
        if (c == '"')
            out += "\\\"";
        else
            out += c;
    }
    out += '"';
    return out;
}

bool startsWith(const std::string& text, std::string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string canonicalDirectory(const std::string& path)
{
    // The existing part through realpath (".", ".." and links resolved), the rest
    // normalised as written.
    std::error_code ec;
    std::filesystem::path canon = std::filesystem::weakly_canonical(std::filesystem::path(path), ec);
    std::string out = ec ? path : canon.lexically_normal().string();
    return withTrailingSlash(out);
}

CommandLineRequest parseCommandLine(std::string_view text)
{
    CommandLineRequest r;
    size_t pos = 0;
    while ((pos = text.find('/', pos)) != std::string_view::npos) {
        const size_t sw = pos + 1;
        if (sw >= text.size())
            break;
        if (isValueSwitch(text[sw])) {
            size_t v = sw + 1;
            if (v < text.size() && text[v] == ' ')
                ++v; // one leading space belongs to the switch
            std::string value;
            pos = readValue(text, v, &value);
            setValue(r, text[sw], std::move(value));
            continue;
        }
        // A run of flag letters. Its first letter is never t or r: those are the touch
        // and replace value switches when they follow the "/" directly.
        size_t i = sw;
        while (i < text.size() && i - sw < kFlagRunLimit && isFlagLetter(text[i]))
            setFlag(r, text[i++]);
        pos = i > sw ? i : sw;
    }
    return r;
}

bool isBareSwitch(const std::string& a)
{
    if (a.size() < 2 || a[0] != '/')
        return false;
    bool allFlags = true;
    for (size_t i = 1; i < a.size(); ++i) {
        const char c = a[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
        allFlags = allFlags && isFlagLetter(c);
    }
    return (a.size() == 2 && isValueSwitch(a[1])) || allFlags;
}

namespace {

// "/P", "/O", "/B" or "/C" with an absolute path glued to it, as the shell passes
// /P"/src/*.c": that switch, also right after a bare value switch.
bool isSwitchWithGluedPath(const std::string& a)
{
    if (a.size() < 3 || a[0] != '/' || a[2] != '/')
        return false;
    const char c = upperAscii(a[1]);
    return c == 'P' || c == 'O' || c == 'B' || c == 'C';
}

// What an argument is on the command line.
enum class ArgRole {
    Switch,      // a switch with its attached value, or a run of flag letters
    BareValueSwitch, // a value switch alone; the next role is its Value
    Value,       // the value of the bare value switch before it (possibly empty)
    Stray,       // none of these
};

// Walks the arguments as switches and values and calls `visit(arg, role)` for each.
template <typename Visit>
void classifyArguments(const std::vector<std::string>& args, Visit visit)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() >= 2 && a[0] == '/' && isValueSwitch(a[1])) {
            if (a.size() > 2) {
                visit(a, ArgRole::Switch);
                continue;
            }
            visit(a, ArgRole::BareValueSwitch);
            // The next argument is its value unless it is a switch itself.
            if (i + 1 < args.size() && !isBareSwitch(args[i + 1]) && !isSwitchWithGluedPath(args[i + 1]))
                visit(args[++i], ArgRole::Value);
            else
                visit(std::string(), ArgRole::Value);
        } else if (isBareSwitch(a)) {
            visit(a, ArgRole::Switch);
        } else {
            visit(a, ArgRole::Stray);
        }
    }
}

// An argument that names an existing file or directory is what the shell made of an
// unquoted mask ("/abs/sub/rb.txt" would otherwise read as the switch "/T"), unless it
// follows a bare value switch as its value.
bool namesExistingPath(const std::string& a)
{
    std::error_code ec;
    return std::filesystem::symlink_status(a, ec).type() != std::filesystem::file_type::not_found && !ec;
}

template <typename Visit>
void classifyArgumentsStrictly(const std::vector<std::string>& args, Visit visit)
{
    classifyArguments(args, [&](const std::string& a, ArgRole role) {
        visit(a, role == ArgRole::Switch && !isBareSwitch(a) && namesExistingPath(a) ? ArgRole::Stray : role);
    });
}

} // namespace

std::optional<std::string> findStrayArgument(const std::vector<std::string>& args)
{
    std::optional<std::string> stray;
    classifyArgumentsStrictly(args, [&](const std::string& a, ArgRole role) {
        if (role == ArgRole::Stray && !stray)
            stray = a;
    });
    return stray;
}

std::optional<std::string> findLongOption(const std::vector<std::string>& args)
{
    std::optional<std::string> found;
    classifyArguments(args, [&](const std::string& a, ArgRole role) {
        if (role != ArgRole::Value && !found && a.starts_with("--"))
            found = a;
    });
    return found;
}

bool takeLongOption(std::vector<std::string>& args, std::string_view name)
{
    const auto before = args.size();
    std::erase_if(args, [&](const std::string& a) { return a == name; });
    return args.size() != before;
}

std::string joinArguments(const std::vector<std::string>& args)
{
    std::string out;
    classifyArguments(args, [&](const std::string& a, ArgRole role) {
        if (role == ArgRole::Value) {
            // A bare switch's value; an empty one is written as "" so that the parser
            // does not take the next switch for it.
            out += a.empty() ? std::string("\"\"") : quoteValue(a);
            return;
        }
        if (!out.empty())
            out += ' ';
        if (role == ArgRole::BareValueSwitch) {
            out += a;
            out += ' ';
        } else if (role == ArgRole::Switch && isValueSwitch(a[1]) && a.size() > 2 && !isBareSwitch(a)) {
            out.append(a, 0, 2);
            out += quoteValue(a.substr(2));
        } else {
            out += a;
        }
    });
    return out;
}

namespace {

// `path` ("~/" expanded, a relative one taken in `currentDir`) as a canonical directory
// ending in "/"; empty when it names no directory.
std::string directoryAsPath(const std::string& path, const std::string& currentDir)
{
    namespace fs = std::filesystem;
    if (path.empty())
        return {};
    std::string full = expandHome(path);
    if (full[0] != '/')
        full = withTrailingSlash(currentDir.empty() ? currentDirectory() : currentDir) + full;
    std::error_code ec;
    if (!fs::is_directory(full, ec))
        return {};
    const fs::path canon = fs::canonical(full, ec);
    return ec ? std::string() : withTrailingSlash(canon.string());
}

} // namespace

void takeDirectoryAsPath(CommandLineRequest& request, const std::string& currentDir)
{
    request.pathIsDirectory = request.pathGiven && !directoryAsPath(request.path, currentDir).empty();
}

std::string firstStartPath(const std::string& currentDir, const std::string& home)
{
    if (currentDir.find_first_not_of('/') == std::string::npos && !home.empty())
        return withTrailingSlash(home);
    return withTrailingSlash(currentDir.empty() ? std::string("/") : currentDir);
}

CommandLineCommand chosenCommand(const CommandLineRequest& r)
{
    if (r.touch)
        return CommandLineCommand::Touch;
    if (r.replace)
        return CommandLineCommand::Replace;
    if (r.search)
        return CommandLineCommand::Search;
    return CommandLineCommand::None;
}

void applyCommandLine(const CommandLineRequest& r, MainInputs& inputs, ProgramOptions& options,
                      const std::string& currentDir)
{
    inputs.caseSensitive = !r.caseInsensitive;
    inputs.wholeWord = r.wholeWord;
    inputs.regularExpression = r.regularExpression;
    inputs.ignoreWhitespace = r.ignoreWhitespace;
    options.searchSubdirs = r.subdirectories;

    if (r.searchTextGiven)
        inputs.searchText = r.searchText;
    if (r.replace && r.replaceTextGiven)
        inputs.replaceText = r.replaceText;
    if (r.pathGiven && r.pathIsDirectory) {
        inputs.path = directoryAsPath(r.path, currentDir);
        if (inputs.mask.empty())
            inputs.mask = "*.*";
    } else if (r.pathGiven) {
        std::string path, mask;
        SplitPathAndMask(r.path, &path, &mask, currentDir);
        // A path text of separators only names no start path: the run is refused rather
        // than taking every file of the current directory.
        if (r.path.find_first_not_of(';') == std::string::npos)
            inputs.path.clear();
        else if (!path.empty())
            inputs.path = path;
        inputs.mask = mask;
    }
    applyCommandLineOptions(r, options);
}

void applyCommandLineOptions(const CommandLineRequest& r, ProgramOptions& options)
{
    if (r.outputFileGiven)
        options.outputFile = expandHome(r.outputFile);
    if (r.backupPathGiven)
        options.backupPath = expandHome(r.backupPath);
    // "n" only matters for the Replace command the command line issues.
    if (r.noPrompts && chosenCommand(r) == CommandLineCommand::Replace)
        options.promptMode = 2;
}

std::optional<std::string> checkBackupDirectory(const std::string& pathText, const ProgramOptions& options)
{
    // An empty backup path means no backups, which cannot clash with the path.
    if (options.backupPath.empty() || pathText.empty())
        return std::nullopt;
    const std::string backup = canonicalDirectory(expandHome(options.backupPath));
    const std::string path = canonicalDirectory(expandHome(pathText));
    if (backup == path)
        return std::string(
            "Please select a backup directory different than the one you want to process "
            "files in.");
    // Inside a tree walked with its subdirectories, the backups would be searched and
    // replaced in turn.
    if (options.searchSubdirs && startsWith(backup, path))
        return std::string(
            "The backup directory lies inside the directory being processed with its "
            "subdirectories. Please select a backup directory outside it.");
    return std::nullopt;
}

std::optional<std::string> checkInputs(const MainInputs& inputs, bool replaceMode,
                                       const ProgramOptions& options)
{
    if (inputs.mask.empty())
        return std::string("Please enter a valid mask!");
    if (inputs.path.empty())
        return std::string("Please enter a valid path!");
    if (!replaceMode)
        return std::nullopt;
    if (!startsWith(inputs.path, kScriptPrefix))
        if (auto problem = checkBackupDirectory(inputs.path, options))
            return problem;
    if (options.writeToBackupDir && options.backupPath.empty())
        return std::string(
            "You must specify a backup directory when using the Write to Backup Dir Option.");
    return std::nullopt;
}

} // namespace tw
