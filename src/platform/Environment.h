#pragma once
// Process environment and locale facts the program reads from the operating system.
#include "engine/CharClasses.h"

#include <optional>
#include <string>

namespace tw {

// UTF-8 when the locale's character set is UTF-8, otherwise the built-in Windows-1252 table.
CodePageKind DetectCodePage();

std::optional<std::string> GetEnvironmentVariable(const std::string& name);

// The per-user data directory ($XDG_DATA_HOME/tarnwick/, default ~/.local/share/tarnwick/),
// created on first use; ends with "/". Empty when it cannot be created.
std::string DataDirectory();

// The current working directory, ending with "/".
std::string CurrentDirectory();

} // namespace tw
