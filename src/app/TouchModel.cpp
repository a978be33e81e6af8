#include "app/TouchModel.h"

#include "app/DateText.h"
#include "app/FilterEntry.h"
#include "app/NumberEntry.h"

#include <QLocale>
#include <QString>

#include <climits>
#include <ctime>

namespace tw {

namespace {

int64_t unixSecondsOf(FileTime t) { return t / kFileTimeTicksPerSecond - kFileTimeEpochToUnixSeconds; }
FileTime fileTimeOfUnix(int64_t sec) { return (sec + kFileTimeEpochToUnixSeconds) * kFileTimeTicksPerSecond; }

void appendNumber(std::string& out, int value, size_t width)
{
    std::string digits = std::to_string(value);
    if (digits.size() < width)
        out.append(width - digits.size(), '0');
    out += digits;
}

AttributeState presetOf(bool anyHas, bool allHave)
{
    if (!anyHas)
        return AttributeState::Clear;
    return allHave ? AttributeState::Set : AttributeState::Keep;
}

} // namespace

TouchPictures systemTouchPictures()
{
    const QLocale locale = QLocale::system();
    TouchPictures pictures;
    pictures.date = locale.dateFormat(QLocale::ShortFormat).toStdString();
    // The long time picture without its time-zone field, and Qt's AM/PM field written as
    // the designator field the time parser reads.
    QString time = locale.timeFormat(QLocale::LongFormat).remove(QLatin1Char('t')).trimmed();
    time.replace(QStringLiteral("AP"), QStringLiteral("tt")).replace(QStringLiteral("ap"), QStringLiteral("tt"));
    time.replace(QStringLiteral("Ap"), QStringLiteral("tt")).replace(QStringLiteral("aP"), QStringLiteral("tt"));
    pictures.time = time.toStdString();
    pictures.am = locale.amText().toStdString();
    pictures.pm = locale.pmText().toStdString();
    return pictures;
}

FileTime localNowFileTime()
{
    const time_t now = ::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    return fileTimeOfUnix(::timegm(&tm));
}

FileTime localToUtcFileTime(FileTime local)
{
    const time_t asUtc = static_cast<time_t>(unixSecondsOf(local));
    std::tm tm {};
    gmtime_r(&asUtc, &tm);
    tm.tm_isdst = -1; // the C library decides whether summer time applies on that day
    return fileTimeOfUnix(::mktime(&tm)) + local % kFileTimeTicksPerSecond;
}

std::string formatTimeOfDay(int hour, int minute, int second, std::string_view picture, std::string_view am,
                            std::string_view pm)
{
    std::string out;
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        if (c == '\'') { // quoted text is written as it stands
            const size_t close = picture.find('\'', i + 1);
            const size_t end = close == std::string_view::npos ? picture.size() : close;
            out.append(picture.substr(i + 1, end - i - 1));
            i = end == picture.size() ? end : end + 1;
            continue;
        }
        const size_t width = run >= 2 ? 2 : 1;
        if (c == 'H')
            appendNumber(out, hour, width);
        else if (c == 'h')
            appendNumber(out, hour % 12 == 0 ? 12 : hour % 12, width);
        else if (c == 'm')
            appendNumber(out, minute, width);
        else if (c == 's')
            appendNumber(out, second, width);
        else if (c == 't')
            out.append(hour < 12 ? am : pm);
        else
            out.append(run, c);
        i += run;
    }
    return out;
}

std::optional<FileTime> parseTouchDateTime(std::string_view text, const TouchPictures& pictures, std::string* error)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    // The date takes as many words as its picture has; the time is the rest.
    size_t words = 1;
    for (char c : pictures.date)
        words += c == ' ';
    size_t split = 0;
    for (size_t w = 0; w < words && split != std::string_view::npos; ++w)
        split = text.find(' ', w == 0 ? 0 : split + 1);
    const std::string_view dateText = text.substr(0, split);
    const std::string_view timeText = split == std::string_view::npos ? std::string_view() : text.substr(split + 1);
    const std::optional<FileTime> day = parseShortDate(dateText, pictures.date, false, error);
    if (!day)
        return std::nullopt;
    const std::optional<TimeOfDay> time = parseTime(timeText, pictures.time, pictures.am, pictures.pm, error);
    if (!time)
        return std::nullopt;
    const int64_t seconds = time->hour * 3600 + time->minute * 60 + time->second;
    return localToUtcFileTime(*day + seconds * kFileTimeTicksPerSecond);
}

TouchModel::TouchModel(TouchPictures pictures, FileTime localNow) : m_pictures(std::move(pictures))
{
    setNow(localNow);
}

void TouchModel::setNow(FileTime localNow)
{
    m_fields.dateText = formatShortDate(localNow, m_pictures.date);
    const int64_t secondOfDay = (localNow / kFileTimeTicksPerSecond) % 86400;
    m_fields.timeText = formatTimeOfDay(int(secondOfDay / 3600), int(secondOfDay / 60 % 60), int(secondOfDay % 60),
                                        m_pictures.time, m_pictures.am, m_pictures.pm);
}

void TouchModel::attributeClicked()
{
    if (m_fields.mode == TouchMode::DateTimeOnly)
        m_fields.mode = TouchMode::AttributesOnly;
}

void TouchModel::presetAttributes(const std::vector<std::optional<uint32_t>>& fileAttributes)
{
    uint32_t any = 0; // bits some file has, or might have
    uint32_t all = ~0u; // bits every known file has
    bool known = false;
    for (const std::optional<uint32_t>& a : fileAttributes) {
        any |= a ? *a : ~0u;
        if (a) {
            all &= *a;
            known = true;
        }
    }
    if (!known) {
        m_fields.attributes = TouchAttributes();
        return;
    }
    TouchAttributes& out = m_fields.attributes;
    out.readOnly = presetOf((any & kAttrReadOnly) != 0, (all & kAttrReadOnly) != 0);
    out.archive = presetOf((any & kAttrArchive) != 0, (all & kAttrArchive) != 0);
    out.hidden = presetOf((any & kAttrHidden) != 0, (all & kAttrHidden) != 0);
    out.system = presetOf((any & kAttrSystem) != 0, (all & kAttrSystem) != 0);
}

std::optional<TouchProblem> TouchModel::accept(TouchRequest* out) const
{
    std::string message;
    const std::optional<FileTime> day = parseShortDate(m_fields.dateText, m_pictures.date, false, &message);
    if (!day)
        return TouchProblem{TouchField::Date, message};
    const std::optional<TimeOfDay> time =
        parseTime(m_fields.timeText, m_pictures.time, m_pictures.am, m_pictures.pm, &message);
    if (!time)
        return TouchProblem{TouchField::Time, message};
    const std::optional<int> seconds = parseIntegerEntry(m_fields.addSecondsText, INT_MIN, INT_MAX, &message);
    if (!seconds)
        return TouchProblem{TouchField::AddSeconds, message};

    TouchRequest request;
    request.mode = m_fields.mode;
    const int64_t secondOfDay = time->hour * 3600 + time->minute * 60 + time->second;
    request.newTime = localToUtcFileTime(*day + secondOfDay * kFileTimeTicksPerSecond);
    request.alsoCreation = m_fields.alsoCreation;
    request.alsoAccess = m_fields.alsoAccess;
    request.addSeconds = *seconds;
    request.attributes = m_fields.attributes;
    *out = request;
    return std::nullopt;
}

} // namespace tw
