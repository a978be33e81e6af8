#pragma once
// The one table of the persisted options: each option's key, the group it is stored in,
// its type, its bounds and the field of ProgramOptions it stands for. The settings store
// loads and saves every entry of it; the options block of script files reads and writes
// the entries marked `inBlock`, in the table's order. Plain C++, like the options block.
//
// Defaults: the value an option has when nothing is stored is the value the record held
// before (a fresh ProgramOptions holds the program's defaults), except where `loadDefault`
// says otherwise; a text loaded empty takes `whenEmpty()` when the entry has one.
#include "core/ProgramOptions.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tw {

// The viewer an empty "Default Viewer" stands for.
inline constexpr const char* kDefaultViewerProgram = "xdg-open";
inline constexpr const char* kDefaultContextFont = "-13,400,0,0,0,49,Courier,0,0";

// Parses "height,weight,italic,underline,strikeOut,pitchAndFamily,face,charSet,quality".
// Missing fields are zero; a height outside -500..0 becomes -13; the face name is cut
// to 31 characters. An empty text gives kDefaultContextFont.
FontDescription parseContextFont(const std::string& text);
std::string formatContextFont(const FontDescription& font);

// The integer a text starts with, read the way atoi reads it: blanks, a sign, digits; 0
// without digits. Digits that would take the value past the 64-bit range are passed over
// without changing it. `pos` (when given) is where to
// start and receives the position after the digits.
int64_t leadingInteger(std::string_view text, size_t* pos = nullptr);
// `value` cut to the range of an int.
int saturatedInt(int64_t value);

// The groups of the settings file the options live in.
enum class OptionGroup { Flags, Options };

// How an option is kept. In the settings file and in the options block, unless said:
enum class OptionType {
    Bool,      // the integer 1 or 0; any other integer reads as true
    Int,       // an integer; one stored outside [low, high] reads as the default, the
               // options block takes any integer
    Color,     // the unsigned decimal 0x00BBGGRR as text; empty keeps the default
    Text,      // a text
    Bytes64,   // stored as an 8-byte block, least significant byte first, and raised to
               // `low` when loaded; a decimal integer in the options block
    DayStart,  // a file time stored as Bytes64; in the options block the day in the
    DayEnd,    // short-date picture (empty for 0), read as 00:00:00 or as 23:59:59
    MiB,       // a 64-bit byte count stored as whole MiB, an int in [low, high]: outside it
               // the stored value reads as the default and a value saved is cut to it
    WideInt,   // a 64-bit count stored as an int in [low, high], as MiB
    Font,      // the context-font text (formatContextFont); absent: kDefaultContextFont
};

// Where the value of an absent (or refused) stored value comes from.
enum class OptionDefault {
    Record,            // the value the record holds
    ProcessRegexLimit, // the regular-expression size limit the process runs with
};

using OptionField = std::variant<bool ProgramOptions::*, int ProgramOptions::*, uint32_t ProgramOptions::*,
                                 std::string ProgramOptions::*, int64_t ProgramOptions::*,
                                 FontDescription ProgramOptions::*>;

struct OptionEntry {
    const char* key;    // the name in the settings file and in the options block
    OptionGroup group;
    OptionType type;
    OptionField field;  // its alternative fits `type` (checked where the table is built)
    bool inBlock;       // a line of a script's options block
    int64_t low = 0;    // bounds of Int, MiB and WideInt; Bytes64, DayStart and DayEnd use `low`
    int64_t high = 0;
    OptionDefault loadDefault = OptionDefault::Record;
    std::string (*whenEmpty)() = nullptr; // Text: the value a text loaded empty takes

    template <class T>
    T& in(ProgramOptions& options) const
    {
        return options.*std::get<T ProgramOptions::*>(field);
    }
    template <class T>
    const T& in(const ProgramOptions& options) const
    {
        return options.*std::get<T ProgramOptions::*>(field);
    }
};

// Every persisted option, the options block's lines first in their fixed order.
std::span<const OptionEntry> optionSchema();

// The number of lines of an options block.
inline constexpr size_t kOptionsBlockLines = 25;

} // namespace tw
