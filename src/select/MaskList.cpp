#include "select/MaskList.h"

#include "engine/CharClasses.h"

#include <algorithm>

namespace tw {
namespace {

// A short file part without "." or "*" is an extension ("c" is "*.c", "htm" is "*.htm";
// "html" stays a name); one that begins with "." gets "*" in front.
void normaliseFilePart(std::string& file)
{
    if (file.size() < 4 && file.find('.') == std::string::npos && file.find('*') == std::string::npos)
        file.insert(0, "*.");
    else if (file[0] == '.')
        file.insert(0, "*");
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

} // namespace

MaskParts splitMask(std::string_view maskIn)
{
    std::string m(maskIn);
    std::replace(m.begin(), m.end(), '\\', '/');
    MaskParts parts;
    if (m.find('/') == std::string::npos) {
        parts.filePart = m.empty() ? std::string("*.*") : m;
        return parts;
    }
    // A directory part always begins at the start directory: "lib/*.h" is "/lib/*.h".
    if (m[0] == '/')
        m.erase(0, 1);
    parts.hasDirectory = true;
    const size_t last = m.rfind('/');
    std::string dir;
    if (last == std::string::npos) {
        parts.filePart = m;
    } else {
        parts.filePart = m.substr(last + 1);
        dir = m.substr(0, last + 1);
    }
    if (startsWith(dir, "*/")) {
        parts.anyLevels = true;
        dir.erase(0, 2);
    }
    if (endsWith(dir, "/*/")) {
        parts.subdirectories = true;
        dir.resize(dir.size() - 2);
    }
    if (dir.empty() || dir.front() != '/')
        dir.insert(0, "/");
    if (dir.back() != '/')
        dir.push_back('/');
    parts.directory = std::move(dir);
    if (parts.filePart.empty())
        parts.filePart = "*.*";
    return parts;
}

void MaskList::compile(std::string_view maskText)
{
    m_masks.clear();
    m_anyDirectory = false;
    const auto& fold = activeCharClasses().upper;
    size_t pos = 0;
    while (pos <= maskText.size()) {
        size_t end = maskText.find(';', pos);
        if (end == std::string_view::npos)
            end = maskText.size();
        std::string_view text = maskText.substr(pos, end - pos);
        pos = end + 1;
        Mask mask;
        if (!text.empty() && text[0] == '~') {
            mask.exclude = true;
            text.remove_prefix(1);
        }
        if (text.empty())
            continue; // "" and "~" are no masks
        MaskParts parts = splitMask(text);
        normaliseFilePart(parts.filePart);
        mask.pattern.compile(parts.filePart);
        mask.hasDot = parts.filePart.find('.') != std::string::npos;
        mask.takesEveryName = parts.filePart == "*" || parts.filePart == "*.*";
        mask.hasDirectory = parts.hasDirectory;
        if (parts.hasDirectory) {
            m_anyDirectory = true;
            mask.anyLevels = parts.anyLevels;
            mask.subdirectories = parts.subdirectories;
            mask.directory.compile((parts.anyLevels ? "*" : "") + parts.directory + (parts.subdirectories ? "*" : ""));
            const size_t wild = parts.directory.find_first_of("?*");
            for (const char c : std::string_view(parts.directory).substr(0, wild))
                mask.fixedPrefix.push_back(static_cast<char>(fold[static_cast<uint8_t>(c)]));
        }
        m_masks.push_back(std::move(mask));
    }
}

bool MaskList::matchesMask(const Mask& mask, std::string_view name, std::string_view dottedName,
                           std::string_view directory) const
{
    const bool nameHit = mask.pattern.matches(dottedName) ||
                         (!mask.hasDot && dottedName.size() != name.size() && mask.pattern.matches(name));
    return nameHit && (!mask.hasDirectory || mask.directory.matches(directory));
}

bool MaskList::matches(std::string_view relativePath) const
{
    const size_t slash = relativePath.rfind('/');
    return matches(relativePath, slash == std::string_view::npos ? relativePath.size() : relativePath.size() - slash - 1);
}

bool MaskList::matches(std::string_view relativePath, size_t nameSize) const
{
    const size_t slash = nameSize == relativePath.size() ? std::string_view::npos : relativePath.size() - nameSize - 1;
    const std::string_view name = relativePath.substr(relativePath.size() - nameSize);
    // A name without an extension gets a "." so that "*.*" takes every file and "*." only
    // names without an extension; a mask without any "." (a plain name such as "html")
    // still matches the name as it is. The compiled masks fold the name themselves.
    std::string dottedName;
    const bool noDot = name.find('.') == std::string_view::npos;
    if (noDot) {
        dottedName.reserve(name.size() + 1);
        dottedName.append(name).push_back('.');
    }
    const std::string_view dotted = noDot ? std::string_view(dottedName) : name;
    // The file's directory relative to the start directory, beginning and ending with "/".
    std::string directory;
    if (m_anyDirectory) {
        directory.reserve(slash == std::string_view::npos ? 1 : slash + 2);
        directory.push_back('/');
        if (slash != std::string_view::npos)
            directory.append(relativePath.substr(0, slash + 1));
    }
    // Visiting the list in order, an include mask can only change an excluded file and an
    // exclude mask only an included one, so the last matching mask decides.
    bool included = false;
    for (const Mask& mask : m_masks) {
        if (mask.exclude != included)
            continue;
        // "*" and "*.*" take every name: only a directory part is left to decide.
        if (mask.takesEveryName ? !mask.hasDirectory || mask.directory.matches(directory)
                                : matchesMask(mask, name, dotted, directory))
            included = !mask.exclude;
    }
    return included;
}

bool MaskList::mayReach(const Mask& mask, std::string_view directory) const
{
    if (!mask.hasDirectory || mask.anyLevels)
        return true;
    // Every directory the mask matches begins with its fixed prefix, and every directory
    // at or below this one begins with `directory`: one must be a prefix of the other.
    const auto& fold = activeCharClasses().upper;
    const size_t n = std::min(directory.size(), mask.fixedPrefix.size());
    for (size_t i = 0; i < n; ++i)
        if (fold[static_cast<uint8_t>(directory[i])] != static_cast<uint8_t>(mask.fixedPrefix[i]))
            return false;
    return true;
}

bool MaskList::covers(const Mask& mask, std::string_view directory) const
{
    // With the subdirectories mark the compiled directory pattern ends in "*", so when it
    // matches this directory it matches every directory below it too.
    return mask.takesEveryName && mask.hasDirectory && mask.subdirectories && mask.directory.matches(directory);
}

bool MaskList::mayIncludeBelow(std::string_view relativeDir) const
{
    if (!m_anyDirectory)
        return !m_masks.empty() && std::any_of(m_masks.begin(), m_masks.end(), [](const Mask& m) { return !m.exclude; });
    std::string directory = "/";
    directory.append(relativeDir);
    // From the end of the list: an include mask that may reach below this directory may
    // decide for some file there; an exclude mask that takes every file here and below
    // decides against all of them unless a later include mask reaches them.
    for (auto it = m_masks.rbegin(); it != m_masks.rend(); ++it) {
        if (!it->exclude && mayReach(*it, directory))
            return true;
        if (it->exclude && covers(*it, directory))
            return false;
    }
    return false;
}

} // namespace tw
