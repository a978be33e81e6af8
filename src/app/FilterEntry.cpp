#include "app/FilterEntry.h"

#include "app/DateText.h"
#include "app/PictureText.h"

#include <algorithm>

namespace tw {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::optional<int64_t> parseSize(std::string_view text, std::string* error)
{
    auto fail = [error]() -> std::optional<int64_t> {
        if (error)
            *error = kInvalidFileSize;
        return std::nullopt;
    };
    if (text.empty())
        return 0;
    size_t i = 0;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+')
        negative = text[i++] == '-';
    const size_t digits = i;
    int64_t value = 0;
    while (i < text.size() && isDigit(text[i])) {
        value = value * 10 + (text[i++] - '0');
        if (value > (int64_t(1) << 40))
            return fail();
    }
    if (i == digits)
        return fail();
    if (negative)
        value = -value;
    int64_t factor = 1;
    if (i < text.size()) {
        const char suffix = text[i];
        if (suffix == 'K' || suffix == 'k')
            factor = 1024;
        else if (suffix == 'M' || suffix == 'm')
            factor = 1048576;
        else
            return fail();
    }
    const int64_t product = value * factor;
    // The product is kept in 32 bits: larger values are refused rather than wrapped.
    if (product > INT32_MAX || product < INT32_MIN)
        return fail();
    return product;
}

bool sizeBoundsAgree(int64_t smallest, int64_t largest)
{
    return smallest == 0 || largest == 0 || smallest <= largest;
}

std::optional<TimeOfDay> parseTime(std::string_view text, std::string_view picture, std::string_view am,
                                   std::string_view pm, std::string* error)
{
    auto fail = [error](const char* message) -> std::optional<TimeOfDay> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    int64_t hour = 0, minute = 0, second = 0;
    // Each field the picture names must be read; reading stops at the first mismatch.
    bool wantHour = false, wantMinute = false, wantSecond = false;
    bool gotHour = false, gotMinute = false, gotSecond = false;
    bool pmSeen = false, stopped = false;
    size_t t = 0;
    for (size_t p = 0; p < picture.size();) {
        const char c = picture[p];
        if (c == '\'') {
            const size_t close = picture.find('\'', p + 1);
            p = close == std::string_view::npos ? picture.size() : close + 1;
            continue;
        }
        const size_t run = runLength(picture, p);
        p += run;
        if (c == 'H' || c == 'h') {
            wantHour = true;
            // A one-letter picture reads one digit, or two when they make 10, 11 or 12.
            size_t maxDigits = 2;
            if (run == 1)
                maxDigits = (t + 1 < text.size() && text[t] == '1' &&
                             (text[t + 1] == '0' || text[t + 1] == '1' || text[t + 1] == '2'))
                                ? 2
                                : 1;
            gotHour = !stopped && readNumber(text, &t, maxDigits, &hour);
        } else if (c == 'm') {
            wantMinute = true;
            gotMinute = !stopped && readNumber(text, &t, 2, &minute);
        } else if (c == 's') {
            wantSecond = true;
            gotSecond = !stopped && readNumber(text, &t, 2, &second);
        } else if (c == 't') {
            const std::string_view rest = text.substr(std::min(t, text.size()));
            if (!stopped && !pm.empty() && startsWithNoCase(rest, pm)) {
                pmSeen = true;
                t += pm.size();
            } else if (!stopped && !am.empty() && startsWithNoCase(rest, am)) {
                t += am.size();
            }
        } else {
            for (size_t k = 0; k < run && !stopped; ++k, ++t)
                stopped = t >= text.size() || text[t] != c;
        }
    }
    if (pmSeen && hour < 12)
        hour += 12;
    if (!wantHour || !gotHour || hour > 23)
        return fail("Invalid hour");
    if ((wantMinute && !gotMinute) || minute > 59)
        return fail("Invalid minute");
    if ((wantSecond && !gotSecond) || second > 59)
        return fail("Invalid second");
    return TimeOfDay{static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second)};
}

} // namespace tw

namespace tw {

FilterTexts formatFilterTexts(const ProgramOptions& o, std::string_view datePicture)
{
    const auto date = [&](FileTime t) { return t == 0 ? std::string() : formatShortDate(t, datePicture); };
    const auto size = [](int64_t s) { return s == 0 ? std::string() : std::to_string(s); };
    return {date(o.minDate), date(o.maxDate), size(o.minSize), size(o.maxSize)};
}

std::optional<FilterProblem> readFilterTexts(const FilterTexts& texts, std::string_view datePicture,
                                             ProgramOptions& options)
{
    const FilterTexts shown = formatFilterTexts(options, datePicture);
    ProgramOptions read = options;
    std::string error;
    const auto date = [&](const std::string& text, const std::string& shownText, bool endOfDay,
                          FileTime* field) {
        if (text == shownText)
            return true;
        if (text.empty()) {
            *field = 0;
            return true;
        }
        const auto t = parseShortDate(text, datePicture, endOfDay, &error);
        if (t)
            *field = *t;
        return t.has_value();
    };
    const auto size = [&](const std::string& text, const std::string& shownText, int64_t* field) {
        if (text == shownText)
            return true;
        // A size below zero bounds nothing: it is refused rather than dropped unsaid.
        auto s = parseSize(text, &error);
        if (s && *s < 0) {
            error = kInvalidFileSize;
            s.reset();
        }
        if (s)
            *field = *s;
        return s.has_value();
    };
    if (!date(texts.beforeDate, shown.beforeDate, false, &read.minDate))
        return FilterProblem{FilterField::BeforeDate, error};
    if (!date(texts.afterDate, shown.afterDate, true, &read.maxDate))
        return FilterProblem{FilterField::AfterDate, error};
    if (!size(texts.lessThan, shown.lessThan, &read.minSize))
        return FilterProblem{FilterField::LessThan, error};
    if (!size(texts.greaterThan, shown.greaterThan, &read.maxSize))
        return FilterProblem{FilterField::GreaterThan, error};
    if (!sizeBoundsAgree(read.minSize, read.maxSize))
        return FilterProblem{FilterField::LessThan, kInvalidFileSize};
    options.minDate = read.minDate;
    options.maxDate = read.maxDate;
    options.minSize = read.minSize;
    options.maxSize = read.maxSize;
    return std::nullopt;
}

} // namespace tw
