#pragma once
// Tokens filled in while a run is going: the current file's directory and name, and
// environment variables. Token names are matched without regard to case.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Looks up one environment variable; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

// Replaces every "%%TWPATH%%" by the directory part of fullPath (up to and including its
// last "/", empty when there is none) and then every "%%TWFILE%%" by the rest of the path.
// Text without "%%" is left untouched at once.
// The text holds "%%TWPATH%%" or "%%TWFILE%%" in any case.
bool hasFileTokens(std::string_view text);
void ExpandFileTokens(std::string& text, std::string_view fullPath);

// Replaces every "%%ENVVAR=" name "%%" by the variable's value (empty when not set). With
// non-empty escapeChars each inserted value first passes EscapeSpecials with them. An
// unterminated token loses only its nine characters. Inserted values are not scanned again.
void ExpandEnvironmentTokens(std::string& text, const EnvironmentLookup& lookup, std::string_view escapeChars);

} // namespace tw
