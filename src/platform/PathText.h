#pragma once
// Directory paths as the program keeps them: ending with "/", so a name is appended directly.
#include <string>

namespace tw {

// `path` with a "/" appended unless it is empty or already ends with one.
inline std::string withTrailingSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

} // namespace tw
