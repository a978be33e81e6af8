#include "select/MaskRuleModel.h"

#include <utility>

namespace tw {
namespace {

// An entry Add or Insert puts in the list before the fields are applied to it.
constexpr std::string_view kPlaceholder = " ";

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// "\*\" at the front, or "\*\" at the back, with either separator.
bool beginsAnyLevels(std::string_view s) { return s.size() >= 3 && isSeparator(s[0]) && s[1] == '*' && isSeparator(s[2]); }
bool endsSubdirectories(std::string_view s)
{
    const size_t n = s.size();
    return n >= 3 && isSeparator(s[n - 3]) && s[n - 2] == '*' && isSeparator(s[n - 1]);
}

} // namespace

std::string composeMaskRule(const MaskRuleFields& f)
{
    std::string entry;
    if (f.useMatch && !f.directory.empty()) {
        const bool slashes = f.directory.find('/') != std::string::npos && f.directory.find('\\') == std::string::npos;
        const char sep = slashes ? '/' : '\\';
        // The start directory itself has no levels above it nor a pattern to extend.
        const bool startOnly = f.directory.size() == 1 && isSeparator(f.directory[0]);
        if (f.anyLevels && !startOnly)
            entry += sep, entry += '*';
        if (!isSeparator(f.directory.front()))
            entry += sep;
        entry += f.directory;
        if (!isSeparator(f.directory.back()))
            entry += sep;
        if (f.subdirectories && !startOnly)
            entry += '*', entry += sep;
        entry += f.filesMatching;
    } else {
        entry = f.filesMatching;
    }
    // A "~" with nothing after it would be no mask at all.
    if (entry.empty())
        return entry;
    // A new string with the mark in front: inserting into `entry` itself moves its bytes
    // within one buffer, which GCC cannot prove safe and warns about.
    return f.exclude ? "~" + entry : entry;
}

MaskRuleFields parseMaskRule(std::string_view entry)
{
    MaskRuleFields f;
    if (!entry.empty() && entry[0] == '~') {
        f.exclude = true;
        entry.remove_prefix(1);
    }
    const size_t last = entry.find_last_of("\\/");
    if (last == std::string_view::npos) {
        f.filesMatching = std::string(entry);
        return f;
    }
    f.useMatch = true;
    f.filesMatching = std::string(entry.substr(last + 1));
    std::string_view dir = entry.substr(0, last + 1);
    if (dir.size() > 3 && beginsAnyLevels(dir)) {
        f.anyLevels = true;
        dir.remove_prefix(2);
    }
    if (dir.size() > 3 && endsSubdirectories(dir)) {
        f.subdirectories = true;
        dir.remove_suffix(2);
    }
    f.directory = std::string(dir);
    return f;
}

std::vector<std::string> splitMaskText(std::string_view text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(';', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > pos)
            out.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

std::string joinMaskEntries(const std::vector<std::string>& entries)
{
    std::string text;
    for (const std::string& e : entries) {
        if (e.empty() || e == kPlaceholder)
            continue;
        if (!text.empty())
            text += ';';
        text += e;
    }
    return text;
}

MaskRuleModel::MaskRuleModel(std::string_view maskText) : m_entries(splitMaskText(maskText))
{
    select(m_entries.empty() ? kNone : 0);
}

void MaskRuleModel::select(int index)
{
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        m_selected = kNone;
        return;
    }
    m_selected = index;
    m_fields = parseMaskRule(m_entries[static_cast<size_t>(index)]);
}

void MaskRuleModel::putPlaceholder(size_t at)
{
    m_entries.insert(m_entries.begin() + static_cast<long>(at), std::string(kPlaceholder));
    m_selected = static_cast<int>(at);
    apply();
}

void MaskRuleModel::add() { putPlaceholder(m_entries.size()); }

void MaskRuleModel::insert() { putPlaceholder(m_selected == kNone ? 0 : static_cast<size_t>(m_selected)); }

void MaskRuleModel::apply()
{
    if (m_selected == kNone)
        return;
    std::string entry = composeMaskRule(m_fields);
    if (entry.empty()) {
        remove();
        return;
    }
    m_entries[static_cast<size_t>(m_selected)] = std::move(entry);
}

void MaskRuleModel::remove()
{
    if (m_selected == kNone)
        return;
    m_entries.erase(m_entries.begin() + m_selected);
    select(m_selected < static_cast<int>(m_entries.size()) ? m_selected : static_cast<int>(m_entries.size()) - 1);
}

void MaskRuleModel::moveUp()
{
    apply();
    if (!canMoveUp())
        return;
    std::swap(m_entries[static_cast<size_t>(m_selected)], m_entries[static_cast<size_t>(m_selected) - 1]);
    --m_selected;
}

void MaskRuleModel::moveDown()
{
    apply();
    if (!canMoveDown())
        return;
    std::swap(m_entries[static_cast<size_t>(m_selected)], m_entries[static_cast<size_t>(m_selected) + 1]);
    ++m_selected;
}

} // namespace tw
