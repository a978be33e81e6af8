#include "app/ViewerCommands.h"

#include "app/LanguageTable.h"
#include "core/MemberExtract.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace tw {

namespace {

constexpr std::string_view kPathToken = "%PATH%";
constexpr std::string_view kLineToken = "%LINE%";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// `text` holds `token` at `at`, compared without regard to case.
bool tokenAt(const std::string& text, size_t at, std::string_view token)
{
    if (text.size() - at < token.size())
        return false;
    for (size_t i = 0; i < token.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) != token[i])
            return false;
    return true;
}

bool holdsToken(const std::string& word, std::string_view token)
{
    for (size_t i = 0; i < word.size(); ++i)
        if (tokenAt(word, i, token))
            return true;
    return false;
}

// One word of the setting with its placeholders replaced in one pass, so that a path or
// number put in is never searched for placeholders again.
std::string replaceTokens(const std::string& word, const std::string& path, const std::string& line)
{
    std::string out;
    for (size_t i = 0; i < word.size();) {
        if (tokenAt(word, i, kPathToken)) {
            out += path;
            i += kPathToken.size();
        } else if (tokenAt(word, i, kLineToken)) {
            out += line;
            i += kLineToken.size();
        } else {
            out += word[i++];
        }
    }
    return out;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The setting's words; empty with *error set when there are none or a quote is open.
std::vector<std::string> viewerWords(const std::string& viewer, std::string* error)
{
    std::vector<std::string> words;
    std::string why;
    if (!splitCommandWords(viewer, &words, &why)) {
        *error = "The Default Viewer setting cannot be used: " + why + "\n " + viewer;
        return {};
    }
    if (words.empty())
        *error = "No Default Viewer is set.";
    return words;
}

std::vector<std::string> noProgram(const std::string& viewer, std::string* error)
{
    *error = "The Default Viewer setting names no program before %PATH% or %LINE%:\n " + viewer;
    return {};
}

// The name ends in an extension of a program, a launcher, or none at all.
bool hasProgramName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return true;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::array<std::string_view, 5> kPrograms = {"EXE", "COM", "BAT", "PIF", "DESKTOP"};
    for (const std::string_view p : kPrograms)
        if (ext == p)
            return true;
    return false;
}

bool anyExecuteBit(const FileStatus& st)
{
    return (st.mode & 0111) != 0;
}

// Programs that open a file with whatever the desktop associates with its type.
bool opensByType(const std::string& program)
{
    const size_t slash = program.rfind('/');
    const std::string_view name = std::string_view(program).substr(slash == std::string::npos ? 0 : slash + 1);
    static const std::array<std::string_view, 7> kOpeners = {"xdg-open", "gio",       "kde-open",  "kde-open5",
                                                             "gnome-open", "exo-open", "mimeopen"};
    return std::find(kOpeners.begin(), kOpeners.end(), name) != kOpeners.end();
}

// The open file is a regular file without execute bits and does not begin with "#!".
bool readsAsData(File& file)
{
    FileStatus st;
    if (!file.status(&st) || !st.isRegular || anyExecuteBit(st))
        return false;
    char head[2] = {};
    size_t got = 0;
    while (got < sizeof head) {
        const int64_t n = file.read(head + got, sizeof head - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return !(got == 2 && head[0] == '#' && head[1] == '!');
}

} // namespace

bool splitCommandWords(const std::string& text, std::vector<std::string>* words, std::string* error)
{
    words->clear();
    std::string word;
    bool inWord = false; // a word has begun (it may still be empty: "")
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isBlank(c)) {
            if (inWord)
                words->push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '\\') {
            if (i + 1 == text.size()) { // a last backslash stays itself, as in sh
                word += c;
                inWord = true;
            } else if (text[++i] != '\n') {
                word += text[i];
                inWord = true;
            }
        } else if (c == '\'') {
            const size_t close = text.find('\'', i + 1);
            if (close == std::string::npos) {
                *error = "a single quote is not closed";
                return false;
            }
            word.append(text, i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= text.size()) {
                    *error = "a double quote is not closed";
                    return false;
                }
                const char d = text[i];
                if (d == '"')
                    break;
                if (d == '\\' && i + 1 < text.size() && std::string_view("$`\"\\\n").find(text[i + 1]) != std::string_view::npos) {
                    if (text[++i] != '\n')
                        word += text[i];
                } else {
                    word += d;
                }
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words->push_back(word);
    return true;
}

std::string pathArgument(const std::string& path)
{
    return !path.empty() && path[0] == '-' ? "./" + path : path;
}

std::vector<std::string> defaultViewerCommand(const std::string& viewer, const ViewerTarget& target,
                                              std::string* error)
{
    const std::vector<std::string> words = viewerWords(viewer, error);
    if (words.empty())
        return {};
    if (holdsToken(words[0], kPathToken) || holdsToken(words[0], kLineToken))
        return noProgram(viewer, error);
    const std::string path = pathArgument(target.path);
    const std::string line = target.line > 0 && !target.binary ? std::to_string(target.line) : std::string();
    std::vector<std::string> argv;
    bool pathPlaced = false;
    for (const std::string& word : words) {
        pathPlaced = pathPlaced || holdsToken(word, kPathToken);
        std::string replaced = replaceTokens(word, path, line);
        if (replaced.empty() && !word.empty())
            continue; // it held nothing but a line number there is none of
        argv.push_back(std::move(replaced));
    }
    if (argv.empty() || argv[0].empty())
        return noProgram(viewer, error);
    if (!pathPlaced)
        argv.push_back(path);
    return argv;
}

std::vector<std::string> fallbackViewerCommand(const std::string& viewer, const std::string& path, std::string* error)
{
    std::vector<std::string> words = viewerWords(viewer, error);
    if (words.empty())
        return {};
    size_t keep = 0;
    while (keep < words.size() && !holdsToken(words[keep], kPathToken) && !holdsToken(words[keep], kLineToken))
        ++keep;
    words.resize(keep);
    if (words.empty() || words[0].empty())
        return noProgram(viewer, error);
    words.push_back(pathArgument(path));
    return words;
}

std::vector<std::string> binaryViewerCommand(const std::string& program, const ViewerTarget& target)
{
    return {program, pathArgument(target.path), "-S" + std::to_string(target.offset),
            "-E" + std::to_string(target.offset + target.length)};
}

bool opensAsProgram(FileSystem& fs, const std::string& path)
{
    if (path.empty() || hasProgramName(path))
        return true;
    FileStatus own;
    if (!fs.status(path, &own, false))
        return true;
    std::string file = path;
    if (own.isSymlink) {
        std::error_code ec;
        file = std::filesystem::canonical(path, ec).string();
        if (ec || hasProgramName(file))
            return true;
    }
    // Opened without following a link and without waiting on a FIFO; the checks are made
    // on the open file.
    std::unique_ptr<File> opened = fs.openRead(file);
    return !opened || !readsAsData(*opened);
}

std::string viewerFile(const std::string& path, const std::string& archivePath, const ProgramOptions& options,
                       FileSystem& fs, FileOps& ops, const std::string& dataDir, std::string* file)
{
    file->clear();
    if (archivePath.empty()) {
        *file = path;
        return {};
    }
    std::string error;
    const std::string directory = extractionDirectory(fs, ops, dataDir, &error);
    if (directory.empty())
        return error;
    const MemberExtraction copy = extractMember(fs, archivePath, path, directory, options.maxMemberBytes);
    *file = copy.path;
    return copy.error;
}

std::string shellingErrorText(const std::string& program)
{
    return "Error -1 shelling\n " + program;
}

std::string openAssociated(const ViewerTarget& target, const ProgramOptions& options, FileSystem& fs,
                           ViewerSystem& system)
{
    if (target.path.empty())
        return {};
    const std::string program = opensAsProgram(fs, target.path) ? std::string() : system.associatedProgram(target.path);
    if (!program.empty())
        return system.openWithDefaultAction(target.path) ? std::string() : shellingErrorText(program);
    std::vector<std::string> words;
    std::string error;
    if (splitCommandWords(options.defaultViewer, &words, &error) && words.empty())
        return kNoAssociationText;
    const std::vector<std::string> argv = fallbackViewerCommand(options.defaultViewer, target.path, &error);
    if (argv.empty())
        return error;
    // A viewer that itself opens files by their type (the default, xdg-open) would hand a
    // program straight back to its association: such a file is not opened at all.
    if (opensByType(argv[0]) && opensAsProgram(fs, target.path))
        return kNoAssociationText;
    return system.start(argv, directoryOf(target.path), nullptr) ? std::string()
                                                                  : shellingErrorText(options.defaultViewer);
}

std::string openDefaultViewer(const ViewerTarget& target, const ProgramOptions& options, ViewerSystem& system)
{
    if (target.path.empty())
        return {};
    std::string error;
    const std::vector<std::string> argv = defaultViewerCommand(options.defaultViewer, target, &error);
    if (argv.empty())
        return error;
    return system.start(argv, directoryOf(target.path), nullptr) ? std::string()
                                                                  : shellingErrorText(options.defaultViewer);
}

std::string openWithProgram(const ViewerTarget& target, const std::string& program, ViewerSystem& system)
{
    if (target.path.empty() || program.empty())
        return {};
    return system.start({program, pathArgument(target.path)}, directoryOf(target.path), nullptr)
               ? std::string()
               : shellingErrorText(program);
}

std::string openBinaryViewer(const ViewerTarget& target, ViewerSystem& system)
{
    if (target.path.empty())
        return {};
    const std::string program = system.findProgram(kBinaryViewerName);
    if (program.empty() || !system.start(binaryViewerCommand(program, target), directoryOf(target.path), nullptr))
        return activeLanguage().text(kTextViewerNotFound); // a language file may replace it
    return {};
}

} // namespace tw
