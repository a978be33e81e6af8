#include "app/DateText.h"

#include "app/PictureText.h"

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

} // namespace

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

void setDateNames(const DateNames& names)
{
    g_dateNames = names;
}

const DateNames& dateNames()
{
    return g_dateNames;
}

} // namespace tw
