#pragma once
// Script files: the text format (written and read), the older binary format and plain
// search/replace lines (read only), and the split of a path entry into directory and
// masks.
//
// Text format: "[Script for Tarnwick]", the description, "[Expression]" and its text,
// "[Options]" and the option lines, then "[Search /flags]comment" + text and
// "[Replace /b]comment" + text per pair, "[Path]" + "directory;masks" per path entry, and
// "[End of Tarnwick Script]"; every line ends in CR LF.
#include "script/Script.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// How a script's options block is read and written: the option lines of the program's
// option schema, which lives above this layer. Without it a script file's options block
// is skipped on reading and a script's options are not written.
struct ScriptOptionsCodec {
    // Reads the option lines at the start of `text` into `options` (which holds the
    // program's current options); true when at least one line was taken.
    std::function<bool(std::string_view text, ProgramOptions& options)> read;
    // The option lines of `options`, each ending in CR LF.
    std::function<std::string(const ProgramOptions& options)> write;
};

// What the reader takes from the program: the flags that pairs of a plain-lines file get
// (the main window's current settings), the program's current options (the base of a
// script's options block) and the options codec.
struct ScriptReadContext {
    bool caseSensitive = true;
    bool wholeWord = false;
    bool regularExpression = false;
    bool ignoreWhitespace = false;
    ProgramOptions currentOptions;
    ScriptOptionsCodec codec;
};

struct ScriptLoadResult {
    bool read = false;                 // false: "Cannot read script file\n<path>" (in messages)
    std::vector<std::string> messages; // to show, in order (an invalid expression's message)
};

// The largest script file read; a larger one is refused like an unreadable file.
inline constexpr size_t kMaxScriptFileSize = size_t(256) << 20;
// The most pairs and path entries (together) read from one file. Each costs a few hundred
// bytes in memory however short it is in the file, so a file of tiny entries is cut off
// here (with a message) instead of taking many times its size in memory.
inline constexpr size_t kMaxScriptEntries = 1000000;

// Replaces the script's content with the file's (text, binary or plain-lines format). An
// empty path resets the description and the options and leaves the rest. A file that
// cannot be read (also one that is not a regular file, such as a FIFO, which is never
// waited on, or one larger than kMaxScriptFileSize) resets the script and clears its path.
ScriptLoadResult loadScript(Script& script, const std::string& path, const ScriptReadContext& context);

// The reader on bytes already read (`path` becomes the script's path). Bytes of a binary
// file are read up to where they run out; a file of more than kMaxScriptEntries pairs and
// paths is read up to that many, with a message. An expression that does not validate
// against the pairs read is cleared, with its message.
ScriptLoadResult readScriptBytes(Script& script, std::string_view bytes, const std::string& path,
                                 const ScriptReadContext& context);

// The text form of the script (what saveScript writes).
std::string formatScript(const Script& script, const ScriptOptionsCodec& codec);

// Writes the text form to `path`: into a new file beside it that replaces the old one only
// when complete (keeping the old file's permissions). Returns the message to show, or an
// empty text on success ("Cannot save empty script file." for a script with neither pairs
// nor path entries; "Cannot write script file\n<path>\n<reason>" when the file cannot be
// written, the old file then being as it was); on success the script's path becomes `path`.
// A symbolic link at `path` is refused: it is neither written through nor replaced.
std::string saveScript(Script& script, const std::string& path, const ScriptOptionsCodec& codec);

// Splits a path-and-mask text ("/src/*.c;*.h") into the directory part, which ends in
// "/", and the mask part. The split comes before the first ";", "*" or "?" (else the last
// "." or "/"), unless everything up to the last "/" before the first ";" names an existing
// directory: then only what follows it is mask, so a directory named "**" or "rel.2" is
// a directory. A text without a directory part is all mask and the path is
// `currentDir`. A relative directory part is resolved against `currentDir` and made
// canonical when it exists; when it does not exist the path comes back empty.
// `currentDir` empty means the process's current directory.
void SplitPathAndMask(const std::string& text, std::string* path, std::string* mask,
                      const std::string& currentDir = {});

} // namespace tw
