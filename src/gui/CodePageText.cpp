#include "gui/CodePageText.h"

#include "engine/CharClasses.h"

#include <QList>

#include <algorithm>
#include <array>
#include <iterator>

namespace tw {
namespace {

// The characters of Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined
// keep the C1 control of their own value, so that every byte comes back as it went in.
constexpr std::array<char16_t, 32> k1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool utf8() { return activeCharClasses().kind == CodePageKind::Utf8; }

char byteOf1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    const auto* hit = std::find(k1252High.begin(), k1252High.end(), c);
    return hit != k1252High.end() ? static_cast<char>(0x80 + std::distance(k1252High.begin(), hit)) : '?';
}

} // namespace

QString textFromCodePage(std::string_view bytes)
{
    if (utf8())
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char b : bytes) {
        const auto v = static_cast<unsigned char>(b);
        out += (v >= 0x80 && v < 0xA0) ? QChar(k1252High[v - 0x80]) : QChar(v);
    }
    return out;
}

std::string codePageFromText(const QString& text)
{
    if (utf8())
        return text.toStdString();
    std::string out;
    for (const char32_t c : text.toUcs4())
        out += byteOf1252(c);
    return out;
}

} // namespace tw
