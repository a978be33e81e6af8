#pragma once
// A strict JSON reader for the tests of tarnwick-cli's JSON Lines output: one value per
// text, nothing after it but nothing; strings must be well-formed UTF-8 without raw control
// characters and with valid escapes (surrogates in pairs); numbers follow the grammar.
// Anything else is refused, so a fault in the output's escaping cannot pass unnoticed.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::test {

struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    std::string text; // a string's value, a number's text
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* get(const std::string& key) const
    {
        const auto it = members.find(key);
        return it == members.end() ? nullptr : &it->second;
    }
    // A whole number's value (the tests only meet those).
    int64_t integer() const { return std::stoll(text); }
};

class JsonReader {
public:
    // The value `text` holds, or nothing when it is not exactly one valid JSON value.
    static std::optional<Json> parse(std::string_view text)
    {
        JsonReader r(text);
        Json v;
        if (!r.value(v, 0))
            return std::nullopt;
        r.space();
        if (r.m_p != text.size())
            return std::nullopt;
        return v;
    }

private:
    explicit JsonReader(std::string_view t) : m_t(t) {}
    bool more() const { return m_p < m_t.size(); }
    char peek() const { return more() ? m_t[m_p] : '\0'; }
    void space()
    {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++m_p;
    }
    bool word(std::string_view w)
    {
        if (m_t.substr(m_p, w.size()) != w)
            return false;
        m_p += w.size();
        return true;
    }
    bool value(Json& v, int depth)
    {
        if (depth > 64)
            return false;
        space();
        const char c = peek();
        if (c == '{')
            return object(v, depth);
        if (c == '[')
            return array(v, depth);
        if (c == '"') {
            v.type = Json::Type::String;
            return string(v.text);
        }
        if (c == 't' || c == 'f') {
            v.type = Json::Type::Bool;
            v.boolean = c == 't';
            return word(c == 't' ? "true" : "false");
        }
        if (c == 'n')
            return word("null");
        v.type = Json::Type::Number;
        return number(v.text);
    }
    bool object(Json& v, int depth)
    {
        v.type = Json::Type::Object;
        ++m_p;
        space();
        if (peek() == '}')
            return ++m_p, true;
        for (;;) {
            space();
            std::string key;
            if (peek() != '"' || !string(key))
                return false;
            space();
            if (peek() != ':')
                return false;
            ++m_p;
            Json member;
            if (!value(member, depth + 1) || !v.members.emplace(key, std::move(member)).second)
                return false; // duplicate keys are refused too
            space();
            if (peek() == '}')
                return ++m_p, true;
            if (peek() != ',')
                return false;
            ++m_p;
        }
    }
    bool array(Json& v, int depth)
    {
        v.type = Json::Type::Array;
        ++m_p;
        space();
        if (peek() == ']')
            return ++m_p, true;
        for (;;) {
            Json item;
            if (!value(item, depth + 1))
                return false;
            v.items.push_back(std::move(item));
            space();
            if (peek() == ']')
                return ++m_p, true;
            if (peek() != ',')
                return false;
            ++m_p;
        }
    }
    bool number(std::string& out)
    {
        const size_t start = m_p;
        auto digits = [&] {
            const size_t from = m_p;
            while (more() && peek() >= '0' && peek() <= '9')
                ++m_p;
            return m_p > from;
        };
        if (peek() == '-')
            ++m_p;
        if (peek() == '0')
            ++m_p;
        else if (!digits())
            return false;
        if (peek() == '.' && (++m_p, !digits()))
            return false;
        if (peek() == 'e' || peek() == 'E') {
            ++m_p;
            if (peek() == '+' || peek() == '-')
                ++m_p;
            if (!digits())
                return false;
        }
        out.assign(m_t.substr(start, m_p - start));
        return true;
    }
    bool hex4(uint32_t& v)
    {
        v = 0;
        for (int i = 0; i < 4; ++i, ++m_p) {
            const char c = peek();
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0)
                return false;
            v = v * 16 + static_cast<uint32_t>(d);
        }
        return true;
    }
    static void appendUtf8(std::string& out, uint32_t cp)
    {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    // One UTF-8 character of the raw text: well-formed (decoded and encoded again, it must
    // come out the same: no overlong forms, surrogates or values beyond U+10FFFF).
    bool utf8Char(std::string& out)
    {
        const auto c = static_cast<unsigned char>(peek());
        const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (len == 0 || c > 0xF4 || m_p + len > m_t.size())
            return false;
        uint32_t cp = c & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(m_t[m_p + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        std::string again;
        appendUtf8(again, cp);
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF || again != m_t.substr(m_p, len))
            return false;
        out += again;
        m_p += len;
        return true;
    }
    bool string(std::string& out)
    {
        ++m_p;
        out.clear();
        for (;;) {
            if (!more())
                return false;
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"')
                return ++m_p, true;
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!utf8Char(out))
                    return false;
                continue;
            }
            ++m_p;
            if (c != '\\') {
                out.push_back(static_cast<char>(c));
                continue;
            }
            const char e = peek();
            ++m_p;
            switch (e) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                uint32_t cp = 0;
                if (!hex4(cp) || (cp >= 0xDC00 && cp <= 0xDFFF))
                    return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    uint32_t low = 0;
                    if (!word("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, cp);
                break;
            }
            default: return false;
            }
        }
    }

    std::string_view m_t;
    size_t m_p = 0;
};

// The bytes of a {"text": ...} or {"bytes": base64} object; nothing when it is neither or
// the base64 is malformed.
inline std::optional<std::string> jsonBytes(const Json* data)
{
    if (!data || data->type != Json::Type::Object || data->members.size() != 1)
        return std::nullopt;
    if (const Json* t = data->get("text"))
        return t->type == Json::Type::String ? std::optional<std::string>(t->text) : std::nullopt;
    const Json* b = data->get("bytes");
    if (!b || b->type != Json::Type::String || b->text.size() % 4 != 0)
        return std::nullopt;
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    const std::string& s = b->text;
    for (size_t i = 0; i < s.size(); i += 4) {
        uint32_t v = 0;
        int pad = 0;
        for (size_t k = 0; k < 4; ++k) {
            const size_t d = digits.find(s[i + k]);
            if (s[i + k] == '=' && i + 4 == s.size() && k >= 2 && (k == 3 || s[i + 3] == '='))
                ++pad;
            else if (d == std::string::npos || pad)
                return std::nullopt;
            v = v * 64 + (d == std::string::npos ? 0 : static_cast<uint32_t>(d));
        }
        out.push_back(static_cast<char>(v >> 16));
        if (pad < 2)
            out.push_back(static_cast<char>((v >> 8) & 0xFF));
        if (pad < 1)
            out.push_back(static_cast<char>(v & 0xFF));
    }
    return out;
}

} // namespace tw::test
