#include "select/WildcardMask.h"

#include "engine/CharClasses.h"
#include "engine/Escapes.h"

#include <algorithm>
#include <string>

namespace tw {

void WildcardMask::compile(std::string_view mask)
{
    m_fold = activeCharClasses().upper;
    m_tokens.clear();
    m_minLength = 0;
    auto addBytes = [this](std::string_view text) {
        for (const char ch : ExpandEscapes(text)) {
            m_tokens.push_back(m_fold[static_cast<uint8_t>(ch)]);
            ++m_minLength;
        }
    };
    while (!mask.empty()) {
        const long i = FindOneOfUnescaped(mask, "?*");
        if (i < 0) {
            addBytes(mask);
            break;
        }
        addBytes(mask.substr(0, static_cast<size_t>(i)));
        if (mask[static_cast<size_t>(i)] == '?') {
            m_tokens.push_back(kAnyOne);
            ++m_minLength;
        } else if (m_tokens.empty() || m_tokens.back() != kAnyRun) {
            m_tokens.push_back(kAnyRun);
        }
        mask.remove_prefix(static_cast<size_t>(i) + 1);
    }
    m_shape = Shape::General;
    if (m_tokens.size() == 1 && m_tokens[0] == kAnyRun)
        m_shape = Shape::Any;
    else if (m_tokens.size() == 3 && m_tokens[0] == kAnyRun && m_tokens[1] == '.' && m_tokens[2] == kAnyRun)
        m_shape = Shape::AnyWithDot;
    else if (m_tokens.size() >= 2 && m_tokens[0] == kAnyRun &&
             std::all_of(m_tokens.begin() + 1, m_tokens.end(), [](int16_t t) { return t >= 0; }))
        m_shape = Shape::Suffix;
}

bool WildcardMask::matches(std::string_view name) const
{
    const size_t len = name.size(), n = m_tokens.size();
    if (len < m_minLength)
        return false;
    if (m_shape == Shape::Any)
        return true;
    if (m_shape == Shape::AnyWithDot)
        return name.find('.') != std::string_view::npos;
    if (m_shape == Shape::Suffix) {
        // "*" and then bytes only: the name ends with those bytes (its length was checked).
        const char* tail = name.data() + len - (n - 1);
        for (size_t i = 1; i < n; ++i) {
            const auto c = static_cast<uint8_t>(tail[i - 1]);
            if (c != m_tokens[i] && m_fold[c] != m_tokens[i])
                return false;
        }
        return true;
    }
    auto tokenTakes = [&](int16_t t, size_t p) {
        if (t == kAnyOne)
            return true;
        const auto c = static_cast<uint8_t>(name[p]);
        return c == t || m_fold[c] == t;
    };
    // Greedy left to right. On a mismatch only the last "*" seen gives up one more byte:
    // the part before it matched at the leftmost place possible, and no later choice for
    // an earlier "*" can make a match that this one cannot.
    size_t k = 0, p = 0;
    size_t starK = SIZE_MAX, starP = 0; // the last "*" met and where its run ends now
    while (p < len) {
        if (k < n && m_tokens[k] == kAnyRun) {
            starK = k++;
            starP = p;
        } else if (k < n && tokenTakes(m_tokens[k], p)) {
            ++k;
            ++p;
        } else if (starK != SIZE_MAX) {
            k = starK + 1;
            p = ++starP;
        } else {
            return false;
        }
    }
    while (k < n && m_tokens[k] == kAnyRun)
        ++k;
    return k == n;
}

} // namespace tw
