#pragma once
// Pieces of JSON text for the JSON Lines form of the results: strings escaped so that any
// byte sequence gives valid JSON, and byte strings that are not UTF-8 given as base64.
#include <string>
#include <string_view>

namespace tw {

// Whether `bytes` is well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no cut sequence.
bool isValidUtf8(std::string_view bytes);
// Appends `text` (well-formed UTF-8) as a quoted JSON string: quote, backslash and the
// control characters below 0x20 escaped.
void appendJsonString(std::string& out, std::string_view text);
// Appends the standard base64 form of `bytes` (with '=' padding).
void appendBase64(std::string& out, std::string_view bytes);
// Appends {"text":"..."} for well-formed UTF-8, else {"bytes":"<base64>"}.
void appendJsonData(std::string& out, std::string_view bytes);

} // namespace tw
