#pragma once
// The three special operations of a replace pair that do not use the search text:
// prepend and append the replace text, and reformat a file into paragraphs of at most N
// columns. The per-file scan calls them: prepend and reformat on the first block of a
// file, append at its end when the rest of the file is not skipped.
//
// Each asks its question through the confirmation state first. When it ran
// (result Performed) the caller counts one hit and one replacement for the file and pair,
// adds `sizeChange` to the file's size change and, after prepend or reformat, skips the
// rest of the pair (setSkipRestOfFile(true), old value put back after the pair). After a
// reformat the output is complete and the commit makes no size check.
// WriteFailed: the error was reported; the caller sets the stop flag (the file is not
// committed). ReadFailed (reformat): reported; the file is abandoned.
#include "core/ConfirmationState.h"
#include "core/ParagraphFormatter.h"
#include "core/RunHost.h"
#include "platform/FileSystem.h"
#include "results/ResultStream.h"

#include <cstdint>
#include <string>

namespace tw {

enum class SpecialResult { Declined, Performed, WriteFailed, ReadFailed };

struct SpecialOutcome {
    SpecialResult result = SpecialResult::Declined;
    int64_t sizeChange = 0; // to add to the file's size change (minus the text length)
};

// Context shared by the operations.
struct SpecialContext {
    ConfirmationState& confirmation;
    RunHost& host;
    ResultStream& sink;
    bool quiet = false;
    std::string filePath; // full path of the file being processed
};

// Writes the replace text at the current position of `output` (its start).
SpecialOutcome prependReplaceText(SpecialContext& ctx, File& output, const std::string& replaceText);
// Writes the replace text at the current position of `output` (its end).
SpecialOutcome appendReplaceText(SpecialContext& ctx, File& output, const std::string& replaceText);
// Reads `input` from its start and writes the reformatted text to `output`. `input` is the
// pair's input: the original for the first pair, the previous pair's output after that,
// so the replacements of earlier pairs are kept.
SpecialOutcome reformatFile(SpecialContext& ctx, File& input, File& output, int columns);

} // namespace tw
