#include "gui/ContextFont.h"

#include "engine/Utf8Text.h"

#include <QFontInfo>

#include <algorithm>

namespace tw {

namespace {

constexpr int kFixedPitch = 1;       // low two bits of the pitch and family byte
constexpr int kVariablePitch = 2;
constexpr int kModernFamily = 0x30;  // fixed-width faces
constexpr int kSwissFamily = 0x20;   // sans-serif faces

} // namespace

QFont toQFont(const FontDescription& d)
{
    QFont font(QString::fromStdString(d.faceName));
    if (d.height != 0)
        font.setPixelSize(std::abs(d.height));
    if (d.weight > 0)
        font.setWeight(QFont::Weight(std::clamp(d.weight, 1, 1000)));
    font.setItalic(d.italic != 0);
    font.setUnderline(d.underline != 0);
    font.setStrikeOut(d.strikeOut != 0);
    if ((d.pitchAndFamily & 3) == kFixedPitch || (d.pitchAndFamily & 0xF0) == kModernFamily) {
        font.setFixedPitch(true);
        font.setStyleHint(QFont::Monospace);
    }
    return font;
}

FontDescription fromQFont(const QFont& font, const FontDescription& previous)
{
    FontDescription d = previous;
    const QFontInfo info(font);
    d.height = -std::clamp(info.pixelSize(), 1, 500);
    d.weight = font.weight();
    d.italic = font.italic() ? 1 : 0;
    d.underline = font.underline() ? 1 : 0;
    d.strikeOut = font.strikeOut() ? 1 : 0;
    // At most 31 bytes, not splitting a character.
    const std::string face = cutUtf8(font.family().toStdString(), 31);
    if (face != previous.faceName)
        d.pitchAndFamily = info.fixedPitch() ? kFixedPitch | kModernFamily : kVariablePitch | kSwissFamily;
    d.faceName = face;
    return d;
}

} // namespace tw
