#pragma once
// The readers of the older formats, behind readScriptBytes (ScriptReader.cpp).
#include "script/ScriptFile.h"

#include <string_view>
#include <vector>

namespace tw {

// The value of the first 4 bytes (little-endian) that marks the binary format.
inline constexpr uint32_t kBinaryScriptMark = 2600;

// Adds the pairs and path entries of a binary-format file (`bytes` starts with the mark)
// to `script`. The counts and lengths in the file are not trusted: reading ends where the
// next item does not fit in the bytes left, and what was read whole before that point is
// kept (complete pairs, complete path/mask couples). Nothing is reserved from a count.
// Returns true when reading stopped at kMaxScriptEntries.
bool readBinaryScript(std::string_view bytes, Script& script);

// The pairs of a plain-lines file: a non-empty line is a search text and the next line its
// replace text (lines end in LF or CR LF); the pairs get the context's flags. *cutOff
// tells whether reading stopped at kMaxScriptEntries.
std::vector<SearchPair> readPlainLines(std::string_view bytes, const ScriptReadContext& context, bool* cutOff);

} // namespace tw
