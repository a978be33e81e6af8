#include "engine/ReplaceTokens.h"

#include "engine/Escapes.h"

namespace tw {

namespace {

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; }

// Position of `token` (upper case ASCII) in text at or after `from`, compared without
// regard to ASCII case; npos when absent.
size_t findToken(std::string_view text, std::string_view token, size_t from)
{
    if (token.size() > text.size())
        return std::string_view::npos;
    for (size_t i = from; i + token.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < token.size() && asciiUpper(text[i + k]) == token[k])
            ++k;
        if (k == token.size())
            return i;
    }
    return std::string_view::npos;
}

// One pass: every occurrence of token is replaced by `value`; inserted values are not
// scanned again within the pass.
void replaceTokenPass(std::string& text, std::string_view token, std::string_view value)
{
    size_t h = findToken(text, token, 0);
    if (h == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size() + value.size());
    size_t from = 0;
    while (h != std::string::npos) {
        out.append(text, from, h - from);
        out.append(value);
        from = h + token.size();
        h = findToken(text, token, from);
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

} // namespace

bool hasFileTokens(std::string_view text)
{
    return findToken(text, "%%TWPATH%%", 0) != std::string_view::npos
        || findToken(text, "%%TWFILE%%", 0) != std::string_view::npos;
}

void ExpandFileTokens(std::string& text, std::string_view fullPath)
{
    if (text.find("%%") == std::string::npos)
        return;
    const size_t slash = fullPath.rfind('/');
    const std::string_view dir = slash == std::string_view::npos ? std::string_view() : fullPath.substr(0, slash + 1);
    const std::string_view name = slash == std::string_view::npos ? fullPath : fullPath.substr(slash + 1);
    replaceTokenPass(text, "%%TWPATH%%", dir);
    replaceTokenPass(text, "%%TWFILE%%", name);
}

void ExpandEnvironmentTokens(std::string& text, const EnvironmentLookup& lookup, std::string_view escapeChars)
{
    if (text.find("%%") == std::string::npos)
        return;
    static constexpr std::string_view kToken = "%%ENVVAR=";
    std::string out;
    size_t from = 0;
    for (size_t l = findToken(text, kToken, 0); l != std::string::npos; l = findToken(text, kToken, from)) {
        out.append(text, from, l - from);
        from = l + kToken.size();
        const size_t close = text.find("%%", from);
        if (close == std::string::npos)
            continue; // unterminated: only the token's own characters are dropped
        const std::string name = text.substr(from, close - from);
        std::string value;
        if (lookup)
            value = lookup(name).value_or(std::string());
        if (!escapeChars.empty())
            EscapeSpecials(value, escapeChars);
        out += value;
        from = close + 2;
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

} // namespace tw
