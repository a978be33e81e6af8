#include "script/ScriptFile.h"

#include "platform/Environment.h"
#include "platform/PathText.h"

#include <filesystem>
#include <system_error>

namespace tw {

namespace {

// True when `dir` ("~/" expanded, a relative one taken in `currentDir`) is a directory.
bool isExistingDirectory(const std::string& dir, const std::string& currentDir)
{
    const std::string full = expandHome(dir);
    std::error_code ec;
    return std::filesystem::is_directory(full[0] == '/' ? full : currentDir + full, ec);
}

// The "/" that ends the directory part of `text`, or npos when it has none.
size_t directoryEnd(const std::string& text, const std::string& currentDir)
{
    size_t split = text.find(';');
    if (split == std::string::npos)
        split = text.find('*');
    if (split == std::string::npos)
        split = text.find('?');
    if (split == std::string::npos)
        split = text.rfind('.');
    if (split == std::string::npos)
        split = text.rfind('/');
    const size_t slash = split == std::string::npos ? std::string::npos : text.rfind('/', split);
    // A directory part that exists is a directory, whatever characters its names hold:
    // only what follows the last "/" of the first piece is then mask.
    const size_t lastSlash = text.rfind('/', text.find(';'));
    if (lastSlash != std::string::npos && lastSlash != slash &&
        isExistingDirectory(text.substr(0, lastSlash + 1), currentDir))
        return lastSlash;
    return slash;
}

// A relative directory resolved against `currentDir`: its canonical name when it exists
// there, else empty.
std::string resolveRelative(const std::string& dir, const std::string& currentDir)
{
    namespace fs = std::filesystem;
    const fs::path joined = currentDir + dir;
    std::error_code ec;
    if (!fs::is_directory(joined, ec))
        return {};
    const fs::path canon = fs::canonical(joined, ec);
    return ec ? std::string() : canon.string();
}

} // namespace

void SplitPathAndMask(const std::string& textIn, std::string* path, std::string* mask,
                      const std::string& currentDirIn)
{
    const std::string text = textIn; // `path` or `mask` may alias the input
    const std::string currentDir =
        withTrailingSlash(currentDirIn.empty() ? currentDirectory() : currentDirIn);

    const size_t slash = directoryEnd(text, currentDir);
    std::string p, m;
    if (slash == std::string::npos) {
        m = text;
        p = currentDir;
    } else {
        m = text.substr(slash + 1);
        p = expandHome(text.substr(0, slash + 1));
        if (p[0] != '/')
            p = resolveRelative(p, currentDir);
    }
    p = withTrailingSlash(std::move(p));
    if (!m.empty() && m[0] == ';')
        m.erase(0, 1);
    *path = std::move(p);
    *mask = std::move(m);
}

} // namespace tw
