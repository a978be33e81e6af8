#include "select/MaskList.h"

#include "engine/CharClasses.h"

namespace tw {

bool NormaliseMask(std::string& mask, bool* exclude)
{
    *exclude = false;
    if (!mask.empty() && mask[0] == '~') {
        *exclude = true;
        mask.erase(0, 1);
    }
    if (mask.empty())
        return false;
    if (mask.size() < 4 && mask.find('.') == std::string::npos && mask.find('*') == std::string::npos)
        mask.insert(0, "*.");
    else if (mask[0] == '.')
        mask.insert(0, "*");
    return true;
}

MaskList::MaskList() = default;
MaskList::~MaskList() = default;
MaskList::MaskList(MaskList&&) noexcept = default;
MaskList& MaskList::operator=(MaskList&&) noexcept = default;

void MaskList::compile(std::string_view maskText)
{
    m_masks.clear();
    m_hasInclude = false;
    size_t pos = 0;
    while (pos <= maskText.size()) {
        size_t end = maskText.find(';', pos);
        if (end == std::string_view::npos)
            end = maskText.size();
        std::string m(maskText.substr(pos, end - pos));
        bool exclude = false;
        if (NormaliseMask(m, &exclude)) {
            for (char& c : m)
                c = static_cast<char>(FoldUpper(static_cast<uint8_t>(c)));
            m_masks.push_back(Mask{std::move(m), exclude});
            m_hasInclude |= !exclude;
        }
        pos = end + 1;
    }
}

bool MatchWildcard(std::string_view mask, std::string_view name)
{
    // Iterative matcher with one backtrack point for the last "*".
    size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

bool MaskList::matches(std::string_view name) const
{
    std::string upper(name);
    for (char& c : upper)
        c = static_cast<char>(FoldUpper(static_cast<uint8_t>(c)));
    // A name without an extension gets a "." so that "*.*" takes every file and "*." only
    // names without an extension; a mask without any "." (a plain name such as "html")
    // still matches the name as it is.
    const bool noDot = upper.find('.') == std::string::npos;
    const std::string dotted = noDot ? upper + '.' : upper;
    bool included = !m_hasInclude;
    for (const Mask& mask : m_masks) {
        const bool hit = MatchWildcard(mask.pattern, dotted) ||
                         (noDot && mask.pattern.find('.') == std::string::npos && MatchWildcard(mask.pattern, upper));
        if (!hit)
            continue;
        if (mask.exclude)
            return false;
        included = true;
    }
    return included;
}

} // namespace tw
