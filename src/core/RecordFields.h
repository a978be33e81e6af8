#pragma once
// The fields of the program's own line records (the recovery list, the undo history's
// records): tab-separated, each text field with control bytes, DEL and "%" written as
// "%XX", numbers in plain decimal. Read back as hostile input: every field is checked.
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

// `text` with bytes below 0x20, 0x7F and "%" written as "%XX".
std::string encodeRecordField(const std::string& text);
// The text `encodeRecordField` made; false for a "%" not followed by two hex digits.
bool decodeRecordField(const std::string& text, std::string* out);
// The fields of a line between its tabs (one field for a line without a tab).
std::vector<std::string> splitTabs(const std::string& line);
// Decimal digits only (at most 20), the value at most `max`.
bool parseDecimal(const std::string& text, uint64_t max, uint64_t* out);
// The whole of the record file `path` in `out`; false when it cannot be read or holds more
// than `limit` bytes.
bool readRecordFile(FileSystem& fs, const std::string& path, std::string* out, size_t limit = SIZE_MAX);

} // namespace tw
