#pragma once
// Process environment and locale facts the program reads from the operating system.
#include <optional>
#include <string>

namespace tw {

// Whether the locale's character set (LC_CTYPE from the environment) is UTF-8.
bool localeUsesUtf8();

std::optional<std::string> getEnvironmentVariable(const std::string& name);

// The per-user data directory ($XDG_DATA_HOME/tarnwick/, default ~/.local/share/tarnwick/),
// created on first use; ends with "/". Empty when it cannot be created; then *error (when
// given) holds errno, or 0 when neither variable names a place.
std::string dataDirectory(int* error = nullptr);
// Where the data directory is or would be, ending with "/", whether or not it exists;
// empty when neither XDG_DATA_HOME nor HOME names a place.
std::string dataDirectoryLocation();

// The directory for temporary files ($TMPDIR, default /tmp), ending with "/".
std::string temporaryDirectory();

// The current working directory, ending with "/".
std::string currentDirectory();

// "~/..." with the home directory ($HOME) in front; any other text unchanged.
std::string expandHome(const std::string& path);

} // namespace tw
