#pragma once
// The fields of the Touch dialog and their checks: the date and time boxes (read against
// the locale's pictures), the seconds box, the mode, the two "also" boxes and the four
// attribute boxes, preset from the files' own attributes. The dialog only moves fields in
// and out; on OK, accept() makes the request TouchFiles applies.
#include "core/TouchFiles.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The pictures the date and time boxes are read and written with, and the AM and PM
// designators of the time picture's "t"/"tt".
struct TouchPictures {
    std::string date = "dd/MM/yyyy";
    std::string time = "HH:mm:ss";
    std::string am = "AM";
    std::string pm = "PM";
};
// The system locale's short-date picture and its time picture with seconds.
TouchPictures systemTouchPictures();

// Local file times (the clock as the user reads it, in the same 100 ns ticks) and UTC.
FileTime localNowFileTime();
FileTime localToUtcFileTime(FileTime local);

// A time of day written with a time picture (the pictures parseTime reads).
std::string formatTimeOfDay(int hour, int minute, int second, std::string_view picture, std::string_view am,
                            std::string_view pm);

// "DATE TIME" in the pictures (the date as many words as its picture has), as a UTC file
// time; on failure `error` receives the date or time parser's message.
std::optional<FileTime> parseTouchDateTime(std::string_view text, const TouchPictures& pictures,
                                           std::string* error = nullptr);

struct TouchFields {
    TouchMode mode = TouchMode::DateTimeOnly;
    std::string dateText;
    std::string timeText;
    bool alsoCreation = false;
    bool alsoAccess = false;
    std::string addSecondsText = "0";
    TouchAttributes attributes;
};

enum class TouchField { Date, Time, AddSeconds };
struct TouchProblem {
    TouchField field;
    std::string message;
};

class TouchModel {
public:
    // The date and time boxes start at `localNow`.
    TouchModel(TouchPictures pictures, FileTime localNow);

    TouchFields& fields() { return m_fields; }
    const TouchFields& fields() const { return m_fields; }
    const TouchPictures& pictures() const { return m_pictures; }

    // "Update": the date and time boxes show `localNow`.
    void setNow(FileTime localNow);
    // An attribute box was clicked: with the date-only mode the mode becomes attributes only.
    void attributeClicked();
    // Each box cleared when no file has the attribute, checked when every file has it, kept
    // otherwise. A file whose attributes are unknown (nothing) is left out of "every file"
    // and counts as having each attribute for "no file"; with none known all four are kept.
    void presetAttributes(const std::vector<std::optional<uint32_t>>& fileAttributes);

    // Checks the boxes (the date, the time and the seconds box, whatever the mode) and
    // makes the request; on the first problem nothing is made and the problem is returned.
    std::optional<TouchProblem> accept(TouchRequest* out) const;

private:
    TouchPictures m_pictures;
    TouchFields m_fields;
};

} // namespace tw
