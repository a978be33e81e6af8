#include "select/IgnoreFileFilter.h"

#include "platform/Environment.h"
#include "platform/PathText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace tw {

namespace {

constexpr size_t kMaxGitFileBytes = 4096; // a "gitdir:" or "commondir" file
constexpr size_t kMaxConfigBytes = 1024 * 1024; // git's user configuration: only this much is read

// At most `limit` bytes of the regular file at `path` (links at the last component are
// refused by openRead); false when it cannot be opened or read.
bool readCapped(FileSystem& fs, const std::string& path, size_t limit, std::string* out)
{
    std::unique_ptr<File> file = fs.openRead(path);
    if (!file)
        return false;
    out->assign(std::min<size_t>(limit, 64 * 1024), '\0');
    size_t used = 0;
    while (used < limit) {
        if (used == out->size())
            out->resize(std::min(limit, out->size() * 2));
        const int64_t got = file->read(out->data() + used, out->size() - used);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += static_cast<size_t>(got);
    }
    out->resize(used);
    return true;
}

// The resolved form of `path` (links followed, "." and ".." gone), or `path` itself when it
// cannot be resolved.
std::string resolved(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::canonical(path, ec);
    return ec ? path : p.string();
}

// The first line of a small file, or "".
std::string firstLine(FileSystem& fs, const std::string& path)
{
    std::string text;
    if (!readCapped(fs, path, kMaxGitFileBytes, &text))
        return {};
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

// `path` taken relative to the directory `dir` (ending with "/") unless it is absolute.
std::string relativeTo(const std::string& dir, const std::string& path)
{
    return !path.empty() && path[0] == '/' ? path : dir + path;
}

} // namespace

std::optional<std::string> excludesFileFromConfig(std::string_view text)
{
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::optional<std::string> found;
    bool inCore = false;
    while (!text.empty()) {
        std::string_view line = takeLine(text);
        size_t i = 0;
        while (i < line.size() && blank(line[i]))
            ++i;
        if (i < line.size() && line[i] == '[') {
            const size_t close = line.find(']', i);
            if (close == std::string_view::npos) {
                inCore = false;
                continue;
            }
            std::string_view name = line.substr(i + 1, close - i - 1);
            while (!name.empty() && blank(name.back()))
                name.remove_suffix(1);
            inCore = lower(std::string(name)) == "core"; // "[core "x"]" and "[core.x]" are others
            i = close + 1;
            while (i < line.size() && blank(line[i]))
                ++i;
        }
        if (!inCore || i >= line.size() || line[i] == '#' || line[i] == ';')
            continue;
        size_t k = i;
        while (k < line.size() && (std::isalnum(static_cast<unsigned char>(line[k])) || line[k] == '-'))
            ++k;
        if (lower(std::string(line.substr(i, k - i))) != "excludesfile")
            continue;
        while (k < line.size() && blank(line[k]))
            ++k;
        if (k >= line.size() || line[k] != '=')
            continue; // no value: not a file name
        ++k;
        while (k < line.size() && blank(line[k]))
            ++k;
        std::string value;
        size_t keep = 0; // value up to its last byte that was quoted or not blank
        bool quoted = false, ok = true;
        for (; k < line.size(); ++k) {
            const char c = line[k];
            if (c == '"') {
                quoted = !quoted;
                keep = value.size();
            } else if (c == '\\') {
                if (++k >= line.size()) {
                    ok = false; // continued on the next line
                    break;
                }
                const char e = line[k];
                const char* map = e == 'n' ? "\n" : e == 't' ? "\t" : e == 'b' ? "\b" : e == '"' ? "\"" : e == '\\' ? "\\" : nullptr;
                if (!map) {
                    ok = false;
                    break;
                }
                value += *map;
                keep = value.size();
            } else if (!quoted && (c == '#' || c == ';')) {
                break;
            } else {
                value += c;
                if (quoted || !blank(c))
                    keep = value.size();
            }
        }
        if (ok && !quoted)
            found = value.substr(0, keep);
    }
    return found;
}

std::string globalExcludesFile(FileSystem& fs)
{
    const auto xdg = getEnvironmentVariable("XDG_CONFIG_HOME");
    const auto home = getEnvironmentVariable("HOME");
    const std::string homeDir = home && !home->empty() ? withTrailingSlash(*home) : std::string();
    const std::string configDir = xdg && !xdg->empty() ? withTrailingSlash(*xdg)
                                  : !homeDir.empty()   ? homeDir + ".config/"
                                                       : std::string();
    std::optional<std::string> chosen;
    for (const std::string& config : {configDir.empty() ? std::string() : configDir + "git/config",
                                      homeDir.empty() ? std::string() : homeDir + ".gitconfig"}) {
        std::string text;
        if (!config.empty() && readCapped(fs, resolved(config), kMaxConfigBytes, &text))
            if (auto value = excludesFileFromConfig(text); value && !value->empty())
                chosen = value;
    }
    if (chosen) {
        if (chosen->rfind("~/", 0) == 0)
            return homeDir.empty() ? std::string() : homeDir + chosen->substr(2);
        return *chosen;
    }
    return configDir.empty() ? std::string() : configDir + "git/ignore";
}

IgnoreFileFilter::IgnoreFileFilter(FileSystem& fs, std::string globalExcludesFile, Notice notice)
    : m_fs(fs), m_notice(std::move(notice))
{
    if (!globalExcludesFile.empty())
        readList(globalExcludesFile, m_global, true);
}

void IgnoreFileFilter::readList(const std::string& path, IgnoreList& list, bool followLinks)
{
    std::string text;
    if (!readCapped(m_fs, followLinks ? resolved(path) : path, kMaxFileBytes + 1, &text))
        return;
    if (text.size() > kMaxFileBytes) {
        // Cut at the cap: the lines that end within it count; the cut one is no pattern
        // (its first bytes could read as "*" or "!*").
        text.resize(kMaxFileBytes);
        const size_t lastBreak = text.rfind('\n');
        text.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    }
    list.addText(text);
}

void IgnoreFileFilter::beginWalk(const std::string& startDirectory, std::string_view maskText)
{
    m_root.clear();
    m_startFromRoot.clear();
    m_above.clear();
    m_exclude = IgnoreList();
    m_frames.clear();
    m_heldBytes = 0;
    // A mask without wildcards, separators or further masks names one file of the start
    // directory: the user asked for it, so no ignore rule takes it away.
    m_namedFile = maskText.find_first_of("*?;~/\\") == std::string_view::npos ? std::string(maskText) : std::string();

    // The repository: the nearest directory at or above the start holding ".git".
    const std::string start = withTrailingSlash(resolved(startDirectory));
    if (start.empty() || start[0] != '/')
        return;
    std::string dir = start;
    FileStatus st;
    while (true) {
        if (m_fs.status(dir + ".git", &st, true)) {
            m_root = dir;
            break;
        }
        if (dir == "/")
            return;
        dir.pop_back();
        dir.erase(dir.rfind('/') + 1);
    }
    m_startFromRoot = start.substr(m_root.size());

    // Its git directory: ".git" itself, or the one a "gitdir: PATH" file names; a linked
    // work tree keeps "info/exclude" in the common directory its "commondir" names.
    std::string gitDir;
    if (st.isDirectory) {
        gitDir = m_root + ".git/";
    } else {
        const std::string line = firstLine(m_fs, m_root + ".git");
        if (line.rfind("gitdir: ", 0) == 0 && line.size() > 8)
            gitDir = withTrailingSlash(relativeTo(m_root, line.substr(8)));
    }
    if (!gitDir.empty()) {
        const std::string common = firstLine(m_fs, gitDir + "commondir");
        const std::string commonDir = common.empty() ? gitDir : withTrailingSlash(relativeTo(gitDir, common));
        readList(commonDir + "info/exclude", m_exclude, true);
    }

    // The ".gitignore" files between the root and the start (the start's own comes with
    // its listing).
    for (size_t slash = 0; slash < m_startFromRoot.size(); slash = m_startFromRoot.find('/', slash) + 1) {
        const std::string base = m_startFromRoot.substr(0, slash);
        IgnoreList list(base);
        readList(m_root + base + ".gitignore", list, false);
        if (!list.empty())
            m_above.push_back(std::move(list));
    }
}

void IgnoreFileFilter::listedDirectory(const std::string& directory, std::string_view relativeDir,
                                       const std::vector<DirEntry>& entries)
{
    // The walk goes depth first: the frames that are not on the path to this directory are
    // done with.
    while (!m_frames.empty() && relativeDir.substr(0, m_frames.back().relativeDir.size()) != m_frames.back().relativeDir) {
        m_heldBytes -= m_frames.back().bytes;
        m_frames.pop_back();
    }
    const auto it = std::lower_bound(entries.begin(), entries.end(), ".gitignore",
                                     [](const DirEntry& e, const char* name) { return e.name < name; });
    if (it == entries.end() || it->name != ".gitignore" || it->type != EntryType::File)
        return;
    Frame frame{std::string(relativeDir), IgnoreList(m_startFromRoot + std::string(relativeDir)), 0};
    readList(directory + ".gitignore", frame.list, false);
    if (frame.list.empty())
        return;
    frame.bytes = frame.list.memoryBytes();
    if (m_heldBytes + frame.bytes > kMaxHeldBytes) {
        // The list then differs from git's: never silently.
        if (!m_noticeGiven) {
            m_noticeGiven = true;
            std::string text = "Ignore files not applied (their rules would pass " +
                               std::to_string(kMaxHeldBytes / (1024 * 1024)) +
                               " MB together with those above them), the first: " + directory + ".gitignore";
            for (char& c : text) // no control byte of a name reaches the terminal
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                    c = '?';
            if (m_notice)
                m_notice(text);
            else
                std::fprintf(stderr, "%s\n", text.c_str());
        }
        return;
    }
    m_heldBytes += frame.bytes;
    m_frames.push_back(std::move(frame));
}

bool IgnoreFileFilter::ignored(std::string_view relativePath, std::string_view name, bool isDirectory)
{
    m_path = m_startFromRoot;
    m_path += relativePath;
    if (isDirectory && !m_path.empty() && m_path.back() == '/')
        m_path.pop_back();
    // The deepest file with a matching pattern decides, then the repository's exclude
    // list, then the global one.
    IgnoreVerdict v = IgnoreVerdict::None;
    for (auto f = m_frames.rbegin(); v == IgnoreVerdict::None && f != m_frames.rend(); ++f)
        v = f->list.decide(m_path, name, isDirectory);
    for (auto a = m_above.rbegin(); v == IgnoreVerdict::None && a != m_above.rend(); ++a)
        v = a->decide(m_path, name, isDirectory);
    if (v == IgnoreVerdict::None)
        v = m_exclude.decide(m_path, name, isDirectory);
    if (v == IgnoreVerdict::None)
        v = m_global.decide(m_path, name, isDirectory);
    return v == IgnoreVerdict::Ignored;
}

bool IgnoreFileFilter::enterDirectory(const WalkEntry& dir)
{
    return !ignored(dir.relativePath, dir.name, true);
}

bool IgnoreFileFilter::acceptFile(const WalkEntry& file)
{
    if (!m_namedFile.empty() && file.relativePath == m_namedFile)
        return true;
    if (file.name == ".git")
        return false; // a linked work tree's "gitdir:" file: git's own, never part of the tree
    return !ignored(file.relativePath, file.name, false);
}

} // namespace tw
