#include "results/JsonText.h"

#include <cstdint>

namespace tw {

bool isValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = 0;
        // The allowed range of the second byte narrows for the first bytes that would begin
        // an overlong form, a surrogate or a code point above U+10FFFF.
        uint8_t lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

void appendJsonString(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
}

void appendBase64(std::string& out, std::string_view bytes)
{
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8) | p[i + 2];
        out.push_back(digits[v >> 18]);
        out.push_back(digits[(v >> 12) & 63]);
        out.push_back(digits[(v >> 6) & 63]);
        out.push_back(digits[v & 63]);
    }
    if (n - i == 1) {
        const uint32_t v = uint32_t{p[i]} << 16;
        out.push_back(digits[v >> 18]);
        out.push_back(digits[(v >> 12) & 63]);
        out.append("==");
    } else if (n - i == 2) {
        const uint32_t v = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8);
        out.push_back(digits[v >> 18]);
        out.push_back(digits[(v >> 12) & 63]);
        out.push_back(digits[(v >> 6) & 63]);
        out.push_back('=');
    }
}

void appendJsonData(std::string& out, std::string_view bytes)
{
    if (isValidUtf8(bytes)) {
        out.append("{\"text\":");
        appendJsonString(out, bytes);
    } else {
        out.append("{\"bytes\":\"");
        appendBase64(out, bytes);
        out.push_back('"');
    }
    out.push_back('}');
}

} // namespace tw
