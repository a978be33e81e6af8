#include "app/OptionSchema.h"

#include "engine/Utf8Text.h"

#include "platform/Environment.h"

#include <climits>

namespace tw {

namespace {

using PO = ProgramOptions;

constexpr OptionEntry kSchema[] = {
    // The options block's lines, in their fixed order.
    {"Search_subdir", OptionGroup::Flags, OptionType::Bool, &PO::searchSubdirs, true},
    {"Prompt_flag", OptionGroup::Flags, OptionType::Int, &PO::promptMode, true, 0, 2},
    {"Output_File", OptionGroup::Options, OptionType::Text, &PO::outputFile, true},
    {"String Color", OptionGroup::Options, OptionType::Color, &PO::stringColor, true},
    {"Show_Files", OptionGroup::Options, OptionType::Bool, &PO::showFirstHitLine, true},
    {"Max Items Saved", OptionGroup::Options, OptionType::Int, &PO::maxItemsSaved, true, 5, 50},
    {"File Color", OptionGroup::Options, OptionType::Color, &PO::fileColor, true},
    {"Backup Path", OptionGroup::Options, OptionType::Text, &PO::backupPath, true},
    {"Num Detail Entries", OptionGroup::Options, OptionType::Int, &PO::contextLines, true, 5, 50},
    {"Default Viewer", OptionGroup::Options, OptionType::Text, &PO::defaultViewer, true, 0, 0,
     OptionDefault::Record, [] { return std::string(kDefaultViewerProgram); }},
    {"Before Hit", OptionGroup::Options, OptionType::Text, &PO::beforeHit, true},
    {"After Hit", OptionGroup::Options, OptionType::Text, &PO::afterHit, true},
    {"Max Reg Expr", OptionGroup::Options, OptionType::Int, &PO::maxRegexSize, true, 50, 32767,
     OptionDefault::ProcessRegexLimit},
    {"Write to Backup Dir", OptionGroup::Options, OptionType::Bool, &PO::writeToBackupDir, true},
    {"Unzip Dir", OptionGroup::Options, OptionType::Text, &PO::unzipDir, true, 0, 0, OptionDefault::Record,
     temporaryDirectory},
    {"Show Files Without Hits", OptionGroup::Options, OptionType::Bool, &PO::showFilesWithoutHits, true},
    {"Display Replace String", OptionGroup::Options, OptionType::Bool, &PO::displayReplaceString, true},
    {"Display File Stats", OptionGroup::Options, OptionType::Bool, &PO::displayFileStats, true},
    // Negative bounds mean nothing; 0 is "no bound".
    {"Min Size Filter", OptionGroup::Options, OptionType::Bytes64, &PO::minSize, true, 0},
    {"Max Size Filter", OptionGroup::Options, OptionType::Bytes64, &PO::maxSize, true, 0},
    {"Min Date Filter", OptionGroup::Options, OptionType::DayStart, &PO::minDate, true, 0},
    {"Max Date Filter", OptionGroup::Options, OptionType::DayEnd, &PO::maxDate, true, 0},
    {"Keep file time stamp", OptionGroup::Options, OptionType::Bool, &PO::keepFileTime, true},
    {"One hit", OptionGroup::Options, OptionType::Bool, &PO::stopAfterFirstHit, true},
    {"Cache File List", OptionGroup::Options, OptionType::Bool, &PO::cacheFileList, true},
    // Kept in the settings file only.
    {"Threads", OptionGroup::Options, OptionType::Int, &PO::threads, false, 0, 256},
    {"Use Ignore Files", OptionGroup::Options, OptionType::Bool, &PO::useIgnoreFiles, false},
    {"Detect UTF-16", OptionGroup::Options, OptionType::Bool, &PO::detectUtf16, false},
    // The archive member bounds, in MiB and as a multiple of the archive's size; 0 is "no
    // bound".
    {"Max Member MB", OptionGroup::Options, OptionType::MiB, &PO::maxMemberBytes, false, 0, INT_MAX},
    {"Max Member Ratio", OptionGroup::Options, OptionType::WideInt, &PO::maxMemberRatio, false, 0, INT_MAX},
    {"Context Font", OptionGroup::Options, OptionType::Font, &PO::contextFont, false},
    // The undo history's bound in MiB; 0 keeps no history.
    {"Undo Space", OptionGroup::Options, OptionType::MiB, &PO::undoSpaceBytes, false, 0, INT_MAX},
};

// The alternative of the field that an option of `type` is kept in.
constexpr size_t fieldIndexFor(OptionType type)
{
    switch (type) {
    case OptionType::Bool: return 0;
    case OptionType::Int: return 1;
    case OptionType::Color: return 2;
    case OptionType::Text: return 3;
    case OptionType::Bytes64:
    case OptionType::DayStart:
    case OptionType::DayEnd:
    case OptionType::MiB:
    case OptionType::WideInt: return 4;
    case OptionType::Font: return 5;
    }
    return std::variant_npos;
}

constexpr bool schemaIsConsistent()
{
    size_t blockLines = 0;
    bool blockFirst = true;
    for (const OptionEntry& e : kSchema) {
        const bool ranged = e.type == OptionType::Int || e.type == OptionType::MiB || e.type == OptionType::WideInt;
        if (e.field.index() != fieldIndexFor(e.type) || (ranged && e.low > e.high))
            return false;
        if (e.inBlock && (!blockFirst || e.type == OptionType::MiB || e.type == OptionType::WideInt
                          || e.type == OptionType::Font))
            return false; // the options block has no text form for these
        blockFirst = blockFirst && e.inBlock;
        blockLines += e.inBlock ? 1 : 0;
    }
    return blockLines == kOptionsBlockLines;
}
static_assert(schemaIsConsistent());

} // namespace

std::span<const OptionEntry> optionSchema()
{
    return kSchema;
}

int64_t leadingInteger(std::string_view s, size_t* pos)
{
    size_t i = pos ? *pos : 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    int64_t v = 0;
    // Digits that would take the value past the 64-bit range are passed over unread.
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (v <= (INT64_MAX - 9) / 10)
            v = v * 10 + (s[i] - '0');
    }
    if (pos)
        *pos = i;
    return negative ? -v : v;
}

int saturatedInt(int64_t v)
{
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

FontDescription parseContextFont(const std::string& textIn)
{
    const std::string text = textIn.empty() ? std::string(kDefaultContextFont) : textIn;
    FontDescription f;
    f.height = f.weight = f.italic = f.underline = f.strikeOut = 0;
    f.pitchAndFamily = f.charSet = f.quality = 0;
    f.faceName.clear();

    const std::string_view s = text;
    size_t comma = s.find(',');
    f.height = saturatedInt(leadingInteger(s.substr(0, comma)));
    if (f.height < -500 || f.height > 0)
        f.height = -13;
    size_t pos = comma == std::string_view::npos ? s.size() : comma + 1;

    for (int* field : {&f.weight, &f.italic, &f.underline, &f.strikeOut, &f.pitchAndFamily}) {
        comma = s.find(',', pos);
        if (comma == std::string_view::npos)
            continue; // no comma left: the field keeps zero
        *field = saturatedInt(leadingInteger(s.substr(pos, comma - pos)));
        pos = comma + 1;
    }

    comma = s.find(',', pos);
    if (comma == std::string_view::npos) {
        f.faceName = cutUtf8(std::string(s.substr(pos)), 31);
        return f;
    }
    f.faceName = cutUtf8(std::string(s.substr(pos, comma - pos)), 31);
    pos = comma + 1;
    comma = s.find(',', pos);
    if (comma != std::string_view::npos) {
        f.charSet = saturatedInt(leadingInteger(s.substr(pos, comma - pos)));
        pos = comma + 1;
    }
    f.quality = saturatedInt(leadingInteger(s.substr(pos)));
    return f;
}

std::string formatContextFont(const FontDescription& f)
{
    return std::to_string(f.height) + ',' + std::to_string(f.weight) + ','
        + std::to_string(f.italic) + ',' + std::to_string(f.underline) + ','
        + std::to_string(f.strikeOut) + ',' + std::to_string(f.pitchAndFamily) + ','
        + f.faceName + ',' + std::to_string(f.charSet) + ',' + std::to_string(f.quality);
}

} // namespace tw
