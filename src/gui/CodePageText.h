#pragma once
// Text of the active code page (CharClasses) to and from the widgets' Unicode strings: in
// UTF-8 the bytes are UTF-8; in Windows-1252 each byte is one character, 0x80 to 0x9F
// included, which Latin-1 would turn into control characters.
#include <QString>

#include <string>
#include <string_view>

namespace tw {

QString textFromCodePage(std::string_view bytes);
// Characters the single-byte code page lacks become '?'.
std::string codePageFromText(const QString& text);

} // namespace tw
