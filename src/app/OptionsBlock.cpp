#include "app/OptionsBlock.h"

#include "app/PictureText.h"

#include <algorithm>

namespace tw {

namespace {

// The value of one option line.
std::string lineValue(const OptionEntry& e, const ProgramOptions& o, std::string_view datePicture)
{
    switch (e.type) {
    case OptionType::Bool: return e.in<bool>(o) ? "1" : "0";
    case OptionType::Int: return std::to_string(e.in<int>(o));
    case OptionType::Color: return std::to_string(e.in<uint32_t>(o));
    case OptionType::Text: return e.in<std::string>(o);
    case OptionType::Bytes64: return std::to_string(e.in<int64_t>(o));
    case OptionType::DayStart:
    case OptionType::DayEnd: {
        const FileTime t = e.in<int64_t>(o);
        return t != 0 ? formatShortDate(t, datePicture) : std::string();
    }
    case OptionType::MiB:
    case OptionType::WideInt:
    case OptionType::Font: break; // no line in the block (the schema says so)
    }
    return {};
}

void takeLineValue(const OptionEntry& e, std::string_view value, ProgramOptions& o, std::string_view datePicture)
{
    switch (e.type) {
    case OptionType::Bool: e.in<bool>(o) = leadingInteger(value) != 0; break;
    case OptionType::Int: {
        // A number outside the option's bounds is refused as the settings store refuses
        // it: the field keeps the value it has (the program's, under a script's block).
        const int64_t v = leadingInteger(value);
        if (v >= e.low && v <= e.high)
            e.in<int>(o) = static_cast<int>(v);
        break;
    }
    case OptionType::Color: e.in<uint32_t>(o) = uint32_t(leadingInteger(value)); break;
    case OptionType::Text: e.in<std::string>(o) = std::string(value); break;
    case OptionType::Bytes64: e.in<int64_t>(o) = std::max<int64_t>(leadingInteger(value), e.low); break;
    case OptionType::DayStart:
    case OptionType::DayEnd:
        if (value.empty() || value == "0") {
            e.in<int64_t>(o) = 0;
        } else if (auto t = parseShortDate(value, datePicture, e.type == OptionType::DayEnd)) {
            e.in<int64_t>(o) = *t;
        } // a date that does not parse leaves the field as it was
        break;
    case OptionType::MiB:
    case OptionType::WideInt:
    case OptionType::Font: break;
    }
}

} // namespace

std::string formatOptionsBlock(const ProgramOptions& o, std::string_view datePicture)
{
    std::string out;
    for (const OptionEntry& e : optionSchema()) {
        if (!e.inBlock)
            continue;
        out += e.key;
        out += '=';
        out += lineValue(e, o, datePicture);
        out += "\r\n";
    }
    return out;
}

bool readOptionsBlock(std::string_view text, ProgramOptions& o, std::string_view datePicture,
                      size_t* endPosition)
{
    size_t pos = 0;
    bool any = false;
    for (const OptionEntry& e : optionSchema()) {
        const std::string_view name = e.key;
        if (!e.inBlock || !startsWithNoCase(text.substr(pos), name))
            continue; // missing line: the field keeps its value, the position stays
        any = true;
        const size_t valueStart = std::min(text.size(), pos + name.size() + 1); // past "="
        size_t lineEnd = text.find_first_of("\r\n", valueStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = text.size();
        const std::string_view value = text.substr(valueStart, lineEnd - valueStart);
        pos = lineEnd;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
        takeLineValue(e, value, o, datePicture);
    }
    if (endPosition)
        *endPosition = pos;
    return any;
}

ScriptOptionsCodec scriptOptionsCodec(std::string datePicture)
{
    ScriptOptionsCodec codec;
    codec.read = [datePicture](std::string_view text, ProgramOptions& options) {
        return readOptionsBlock(text, options, datePicture);
    };
    codec.write = [datePicture](const ProgramOptions& options) { return formatOptionsBlock(options, datePicture); };
    return codec;
}

} // namespace tw
