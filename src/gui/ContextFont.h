#pragma once
// The context font between its stored description (height in pixels, negative for the
// character height; weight 0-1000; pitch and family byte) and a QFont.
#include "core/ProgramOptions.h"

#include <QFont>

namespace tw {

QFont toQFont(const FontDescription& description);
// `previous` supplies what a QFont does not carry (character set, quality) and the pitch
// and family byte when the face is unchanged.
FontDescription fromQFont(const QFont& font, const FontDescription& previous);

} // namespace tw
