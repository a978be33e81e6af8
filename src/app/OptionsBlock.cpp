#include "app/OptionsBlock.h"

#include "app/PictureText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <ctime>

namespace tw {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kTicksPerDay = kFileTimeTicksPerSecond * kSecondsPerDay;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = kFileTimeEpochToUnixSeconds / kSecondsPerDay;
static_assert(kFileTimeEpochToUnixSeconds % kSecondsPerDay == 0);

// The names the date pictures read and write; set once at start-up.
DateNames g_dateNames;

// Leading integer of a text the way atoi reads it: blanks, a sign, digits; 0 without digits.
int64_t leadingInteger(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (v > (INT64_MAX - 9) / 10)
            break; // saturate rather than overflow
        v = v * 10 + (s[i] - '0');
    }
    return negative ? -v : v;
}

int toInt(int64_t v)
{
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

// Cuts a UTF-8 text to at most `maxBytes` without splitting a character.
std::string cutUtf8(std::string s, size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s;
    size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    s.resize(n);
    return s;
}

// Proleptic Gregorian calendar <-> days since 1970-01-01.
int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t* year, int* month, int* day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *day = int(doy - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2);
}

bool isLeapYear(int64_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int currentUtcYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    gmtime_r(&now, &tm);
    return tm.tm_year + 1900;
}

// Matches one of the names (full names first, then short ones) at `*pos`; 1-based index.
template <size_t N>
int readName(std::string_view text, size_t* pos, const std::array<std::string, N>& full,
             const std::array<std::string, N>& shortNames)
{
    for (const auto* list : {&full, &shortNames}) {
        for (size_t k = 0; k < N; ++k) {
            const std::string_view name = (*list)[k];
            if (!name.empty() && startsWithNoCase(text.substr(*pos), name)) {
                *pos += name.size();
                return int(k) + 1;
            }
        }
    }
    return 0;
}

std::string twoDigits(int64_t v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

enum class Kind { Int, Bool, Color, String, Size, MinDate, MaxDate };

struct Field {
    const char* name;
    Kind kind;
    int ProgramOptions::*intField = nullptr;
    bool ProgramOptions::*boolField = nullptr;
    uint32_t ProgramOptions::*colorField = nullptr;
    std::string ProgramOptions::*stringField = nullptr;
    int64_t ProgramOptions::*wideField = nullptr; // sizes and dates
};

// The fixed order of the option lines.
const Field kFields[] = {
    {.name = "Search_subdir", .kind = Kind::Bool, .boolField = &ProgramOptions::searchSubdirs},
    {.name = "Prompt_flag", .kind = Kind::Int, .intField = &ProgramOptions::promptMode},
    {.name = "Output_File", .kind = Kind::String, .stringField = &ProgramOptions::outputFile},
    {.name = "String Color", .kind = Kind::Color, .colorField = &ProgramOptions::stringColor},
    {.name = "Show_Files", .kind = Kind::Bool, .boolField = &ProgramOptions::showFirstHitLine},
    {.name = "Max Items Saved", .kind = Kind::Int, .intField = &ProgramOptions::maxItemsSaved},
    {.name = "File Color", .kind = Kind::Color, .colorField = &ProgramOptions::fileColor},
    {.name = "Backup Path", .kind = Kind::String, .stringField = &ProgramOptions::backupPath},
    {.name = "Num Detail Entries", .kind = Kind::Int, .intField = &ProgramOptions::contextLines},
    {.name = "Default Viewer", .kind = Kind::String,
     .stringField = &ProgramOptions::defaultViewer},
    {.name = "Before Hit", .kind = Kind::String, .stringField = &ProgramOptions::beforeHit},
    {.name = "After Hit", .kind = Kind::String, .stringField = &ProgramOptions::afterHit},
    {.name = "Max Reg Expr", .kind = Kind::Int, .intField = &ProgramOptions::maxRegexSize},
    {.name = "Write to Backup Dir", .kind = Kind::Bool,
     .boolField = &ProgramOptions::writeToBackupDir},
    {.name = "Unzip Dir", .kind = Kind::String, .stringField = &ProgramOptions::unzipDir},
    {.name = "Show Files Without Hits", .kind = Kind::Bool,
     .boolField = &ProgramOptions::showFilesWithoutHits},
    {.name = "Display Replace String", .kind = Kind::Bool,
     .boolField = &ProgramOptions::displayReplaceString},
    {.name = "Display File Stats", .kind = Kind::Bool,
     .boolField = &ProgramOptions::displayFileStats},
    {.name = "Min Size Filter", .kind = Kind::Size, .wideField = &ProgramOptions::minSize},
    {.name = "Max Size Filter", .kind = Kind::Size, .wideField = &ProgramOptions::maxSize},
    {.name = "Min Date Filter", .kind = Kind::MinDate, .wideField = &ProgramOptions::minDate},
    {.name = "Max Date Filter", .kind = Kind::MaxDate, .wideField = &ProgramOptions::maxDate},
    {.name = "Keep file time stamp", .kind = Kind::Bool,
     .boolField = &ProgramOptions::keepFileTime},
    {.name = "One hit", .kind = Kind::Bool, .boolField = &ProgramOptions::stopAfterFirstHit},
    {.name = "Cache File List", .kind = Kind::Bool, .boolField = &ProgramOptions::cacheFileList},
};
static_assert(std::size(kFields) == 25);

} // namespace

FontDescription parseContextFont(const std::string& textIn)
{
    const std::string text = textIn.empty() ? std::string(kDefaultContextFont) : textIn;
    FontDescription f;
    f.height = f.weight = f.italic = f.underline = f.strikeOut = 0;
    f.pitchAndFamily = f.charSet = f.quality = 0;
    f.faceName.clear();

    const std::string_view s = text;
    size_t comma = s.find(',');
    f.height = toInt(leadingInteger(s.substr(0, comma)));
    if (f.height < -500 || f.height > 0)
        f.height = -13;
    size_t pos = comma == std::string_view::npos ? s.size() : comma + 1;

    for (int* field : {&f.weight, &f.italic, &f.underline, &f.strikeOut, &f.pitchAndFamily}) {
        comma = s.find(',', pos);
        if (comma == std::string_view::npos)
            continue; // no comma left: the field keeps zero
        *field = toInt(leadingInteger(s.substr(pos, comma - pos)));
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
        f.charSet = toInt(leadingInteger(s.substr(pos, comma - pos)));
        pos = comma + 1;
    }
    f.quality = toInt(leadingInteger(s.substr(pos)));
    return f;
}

std::string formatContextFont(const FontDescription& f)
{
    return std::to_string(f.height) + ',' + std::to_string(f.weight) + ','
        + std::to_string(f.italic) + ',' + std::to_string(f.underline) + ','
        + std::to_string(f.strikeOut) + ',' + std::to_string(f.pitchAndFamily) + ','
        + f.faceName + ',' + std::to_string(f.charSet) + ',' + std::to_string(f.quality);
}

std::optional<FileTime> parseShortDate(std::string_view text, std::string_view picture,
                                       bool endOfDay, std::string* error)
{
    auto fail = [error](const char* message) -> std::optional<FileTime> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    int64_t day = -1, month = -1, year = -1;
    size_t t = 0;
    bool ok = true;
    for (size_t p = 0; p < picture.size() && ok;) {
        const char c = picture[p];
        if (c == '\'') {
            // Quoted picture text needs no counterpart in the text; when the text does
            // repeat it (as a formatted date does), it is skipped.
            const size_t close = picture.find('\'', p + 1);
            const size_t end = close == std::string_view::npos ? picture.size() : close;
            const std::string_view quoted = picture.substr(p + 1, end - p - 1);
            if (!quoted.empty() && startsWithNoCase(text.substr(t), quoted))
                t += quoted.size();
            p = close == std::string_view::npos ? picture.size() : close + 1;
            continue;
        }
        const size_t run = runLength(picture, p);
        p += run;
        if (c == 'd') {
            if (run >= 3)
                ok = readName(text, &t, g_dateNames.days, g_dateNames.daysShort) != 0;
            else
                ok = readNumber(text, &t, 2, &day);
        } else if (c == 'M') {
            if (run >= 3)
                ok = (month = readName(text, &t, g_dateNames.months, g_dateNames.monthsShort)) != 0;
            else
                ok = readNumber(text, &t, 2, &month);
        } else if (c == 'y') {
            ok = readNumber(text, &t, 5, &year);
        } else {
            for (size_t k = 0; k < run && ok; ++k, ++t)
                ok = t < text.size() && text[t] == c;
        }
    }
    if (!ok || day < 0 || month < 0 || year < 0)
        return fail("Invalid date");
    if (month < 1 || month > 12)
        return fail("Invalid month");
    const bool shortMonth = month == 4 || month == 6 || month == 9 || month == 11;
    if (day < 1 || day > 31 || (day == 31 && (shortMonth || month == 2)))
        return fail("Invalid day");
    if (year < 200)
        year += currentUtcYear() / 100 * 100;
    if (year < 1601 || year > 30848)
        return fail("Invalid year");
    if (month == 2 && (day > 29 || (day == 29 && !isLeapYear(year))))
        return fail("Invalid day");
    const int64_t days = daysFromCivil(year, int(month), int(day)) + kDaysFrom1601To1970;
    FileTime time = days * kTicksPerDay;
    if (endOfDay)
        time += (24LL * 3600 - 1) * 10000000LL;
    return time;
}

std::string formatShortDate(FileTime time, std::string_view picture)
{
    int64_t days = time / kTicksPerDay;
    if (time % kTicksPerDay < 0)
        --days;
    days -= kDaysFrom1601To1970;
    int64_t year = 0;
    int month = 0, day = 0;
    civilFromDays(days, &year, &month, &day);
    const int weekday = int(((days + 4) % 7 + 7) % 7); // 1970-01-01 was a Thursday

    std::string out;
    for (size_t p = 0; p < picture.size();) {
        const char c = picture[p];
        if (c == '\'') {
            const size_t close = picture.find('\'', p + 1);
            const size_t end = close == std::string_view::npos ? picture.size() : close;
            out.append(picture.substr(p + 1, end - p - 1));
            p = close == std::string_view::npos ? picture.size() : close + 1;
            continue;
        }
        const size_t run = runLength(picture, p);
        p += run;
        if (c == 'd') {
            out += run == 1 ? std::to_string(day)
                : run == 2  ? twoDigits(day)
                : run == 3  ? g_dateNames.daysShort[weekday]
                            : g_dateNames.days[weekday];
        } else if (c == 'M') {
            out += run == 1 ? std::to_string(month)
                : run == 2  ? twoDigits(month)
                : run == 3  ? g_dateNames.monthsShort[month - 1]
                            : g_dateNames.months[month - 1];
        } else if (c == 'y') {
            if (run == 1)
                out += std::to_string(year % 100);
            else if (run == 2)
                out += twoDigits(year % 100);
            else
                out += std::string(year < 1000 ? 4 - std::to_string(year).size() : 0, '0')
                    + std::to_string(year);
        } else {
            out.append(run, c);
        }
    }
    return out;
}

std::string formatOptionsBlock(const ProgramOptions& o, std::string_view datePicture)
{
    std::string out;
    for (const Field& f : kFields) {
        out += f.name;
        out += '=';
        switch (f.kind) {
        case Kind::Int: out += std::to_string(o.*f.intField); break;
        case Kind::Bool: out += (o.*f.boolField) ? '1' : '0'; break;
        case Kind::Color: out += std::to_string(o.*f.colorField); break;
        case Kind::String: out += o.*f.stringField; break;
        case Kind::Size: out += std::to_string(o.*f.wideField); break;
        case Kind::MinDate:
        case Kind::MaxDate:
            if (o.*f.wideField != 0)
                out += formatShortDate(o.*f.wideField, datePicture);
            break;
        }
        out += "\r\n";
    }
    return out;
}

bool readOptionsBlock(std::string_view text, ProgramOptions& o, std::string_view datePicture,
                      size_t* endPosition)
{
    size_t pos = 0;
    bool any = false;
    for (const Field& f : kFields) {
        const std::string_view name = f.name;
        if (!startsWithNoCase(text.substr(pos), name))
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

        switch (f.kind) {
        case Kind::Int: o.*f.intField = toInt(leadingInteger(value)); break;
        case Kind::Bool: o.*f.boolField = leadingInteger(value) != 0; break;
        case Kind::Color: o.*f.colorField = uint32_t(leadingInteger(value)); break;
        case Kind::String: o.*f.stringField = std::string(value); break;
        case Kind::Size: o.*f.wideField = leadingInteger(value); break;
        case Kind::MinDate:
        case Kind::MaxDate:
            if (value.empty() || value == "0") {
                o.*f.wideField = 0;
            } else if (auto t = parseShortDate(value, datePicture, f.kind == Kind::MaxDate)) {
                o.*f.wideField = *t;
            } // a date that does not parse leaves the field as it was
            break;
        }
    }
    if (endPosition)
        *endPosition = pos;
    return any;
}

void setDateNames(const DateNames& names)
{
    g_dateNames = names;
}

const DateNames& dateNames()
{
    return g_dateNames;
}

} // namespace tw
