#include "app/PictureText.h"

#include <cctype>

namespace tw {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i]))
            != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool readNumber(std::string_view text, size_t* pos, size_t maxDigits, int64_t* out)
{
    size_t i = *pos;
    int64_t v = 0;
    while (i < text.size() && i - *pos < maxDigits && text[i] >= '0' && text[i] <= '9')
        v = v * 10 + (text[i++] - '0');
    if (i == *pos)
        return false;
    *pos = i;
    *out = v;
    return true;
}

size_t runLength(std::string_view picture, size_t p)
{
    size_t n = 1;
    while (p + n < picture.size() && picture[p + n] == picture[p])
        ++n;
    return n;
}

} // namespace tw
