#include "select/MaskList.h"

namespace tw {

bool normaliseMask(std::string& mask, bool* exclude)
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
        if (normaliseMask(m, &exclude)) {
            Mask mask;
            mask.pattern.compile(m);
            mask.hasDot = m.find('.') != std::string::npos;
            mask.exclude = exclude;
            m_masks.push_back(std::move(mask));
            m_hasInclude |= !exclude;
        }
        pos = end + 1;
    }
}

bool MaskList::matches(std::string_view name) const
{
    // A name without an extension gets a "." so that "*.*" takes every file and "*." only
    // names without an extension; a mask without any "." (a plain name such as "html")
    // still matches the name as it is. The compiled masks fold the name themselves.
    const bool noDot = name.find('.') == std::string_view::npos;
    std::string dottedName;
    if (noDot) {
        dottedName.reserve(name.size() + 1);
        dottedName.append(name).push_back('.');
    }
    const std::string_view dotted = noDot ? std::string_view(dottedName) : name;
    bool included = !m_hasInclude;
    for (const Mask& mask : m_masks) {
        const bool hit = mask.pattern.matches(dotted) || (noDot && !mask.hasDot && mask.pattern.matches(name));
        if (!hit)
            continue;
        if (mask.exclude)
            return false;
        included = true;
    }
    return included;
}

} // namespace tw
