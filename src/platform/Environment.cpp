#include "platform/Environment.h"

#include "platform/PathText.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

bool localeUsesUtf8()
{
    std::setlocale(LC_CTYPE, "");
    const char* cs = nl_langinfo(CODESET);
    return cs && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0);
}

std::optional<std::string> getEnvironmentVariable(const std::string& name)
{
    const char* v = std::getenv(name.c_str());
    if (!v)
        return std::nullopt;
    return std::string(v);
}

namespace {

bool makeDirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

} // namespace

std::string dataDirectoryLocation()
{
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/')
        return withTrailingSlash(x) + "tarnwick/";
    if (const char* h = std::getenv("HOME"); h && *h)
        return withTrailingSlash(h) + ".local/share/tarnwick/";
    return {};
}

std::string dataDirectory(int* error)
{
    std::string dir = dataDirectoryLocation();
    int made = 0;
    if (!dir.empty() && !makeDirs(dir.substr(0, dir.size() - 1)))
        made = errno;
    if (error)
        *error = made;
    return dir.empty() || made != 0 ? std::string() : dir;
}

std::string temporaryDirectory()
{
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty())
        dir = "/tmp";
    return withTrailingSlash(std::move(dir));
}

std::string currentDirectory()
{
    std::string buf(4096, '\0');
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE)
            return "/";
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::strlen(buf.c_str()));
    return buf.empty() ? std::string("/") : withTrailingSlash(std::move(buf));
}

std::string expandHome(const std::string& path)
{
    if (path.compare(0, 2, "~/") != 0)
        return path;
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return path;
    std::string h = home;
    while (h.size() > 1 && h.back() == '/')
        h.pop_back();
    if (h == "/")
        h.clear();
    return h + path.substr(1);
}

} // namespace tw
