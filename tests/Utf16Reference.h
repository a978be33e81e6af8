#pragma once
// Plain one-pass UTF-16 and UTF-8 conversions that the transcoding tests compare against.
#include "engine/Utf16Codec.h"

#include <string>
#include <vector>

namespace tw::test {

inline void put(std::string& s, uint16_t u, Utf16Order order)
{
    if (order == Utf16Order::Little) {
        s.push_back(static_cast<char>(u & 0xFF));
        s.push_back(static_cast<char>(u >> 8));
    } else {
        s.push_back(static_cast<char>(u >> 8));
        s.push_back(static_cast<char>(u & 0xFF));
    }
}

inline std::string utf8Of(char32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// Unit by unit over the whole text at once.
inline std::string referenceDecode(const std::string& bytes, Utf16Order order, std::vector<Utf16Irregular>* irregular)
{
    auto at = [&](size_t i) {
        const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<uint16_t>(order == Utf16Order::Little ? a | (b << 8) : (a << 8) | b);
    };
    std::string out;
    size_t i = 0;
    for (; i + 2 <= bytes.size(); i += 2) {
        const uint16_t u = at(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 4 <= bytes.size() && at(i + 2) >= 0xDC00 && at(i + 2) <= 0xDFFF) {
            out += utf8Of(0x10000 + ((u - 0xD800) << 10) + (at(i + 2) - 0xDC00));
            i += 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            irregular->push_back({static_cast<int64_t>(out.size()), u, false});
            out += utf8Of(0xFFFD);
        } else {
            out += utf8Of(u);
        }
    }
    if (i < bytes.size()) {
        irregular->push_back({static_cast<int64_t>(out.size()), static_cast<uint8_t>(bytes[i]), true});
        out += utf8Of(0xFFFD);
    }
    return out;
}

} // namespace tw::test
