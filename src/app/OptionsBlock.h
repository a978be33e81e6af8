#pragma once
// The options block kept in script files: the option lines of the option schema
// (OptionSchema.h) that are marked for it, in the schema's order. Plain C++ so that
// readers of script files need nothing beyond the standard library.
#include "app/DateText.h"
#include "app/OptionSchema.h"
#include "core/ProgramOptions.h"
#include "script/ScriptFile.h"

#include <string>
#include <string_view>

namespace tw {

// The 25 option lines, each "name=value" and CR LF, in their fixed order. Dates are
// written with `datePicture` when set and as an empty value otherwise.
std::string formatOptionsBlock(const ProgramOptions& options, std::string_view datePicture);

// Reads an options block starting at the beginning of `text`. Names are matched only at
// the current position, in the fixed order: a line that does not start with the expected
// name leaves that field as it was and is tried against the next name. Returns whether
// at least one line was taken; `endPosition` receives the position after the last line
// taken.
bool readOptionsBlock(std::string_view text, ProgramOptions& options,
                      std::string_view datePicture, size_t* endPosition = nullptr);

// The codec through which script files read and write their options block: the two
// functions above, with dates in `datePicture`.
ScriptOptionsCodec scriptOptionsCodec(std::string datePicture);

} // namespace tw
