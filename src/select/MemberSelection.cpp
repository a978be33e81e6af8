#include "select/MemberSelection.h"

namespace tw {

MemberSelection::MemberSelection(std::string_view maskText, const DateSizeBounds& bounds)
    : m_masks(maskText), m_dates(bounds), m_filtered(bounds.any())
{
}

std::string MemberSelection::maskPath(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t end = name.find_first_of("/\\", pos);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view part = name.substr(pos, end - pos);
        if (!part.empty() && part != ".") {
            if (!out.empty())
                out += '/';
            out.append(part);
        }
        pos = end + 1;
    }
    return out;
}

bool MemberSelection::selects(const ArchiveMember& member)
{
    // A name ending in a separator is a directory entry, whatever type the archive gives it.
    if (!member.isRegular || member.name.empty() || member.name.back() == '/' || member.name.back() == '\\')
        return false;
    const std::string path = maskPath(member.name);
    if (path.empty())
        return false;
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string::npos ? std::string_view(path)
                                                             : std::string_view(path).substr(slash + 1);
    FileStatus status;
    status.isRegular = true;
    status.size = member.size;
    status.lastWrite = member.lastWrite;
    const WalkEntry entry{name, path, m_filtered ? &status : nullptr};
    return m_masks.acceptFile(entry) && m_dates.acceptFile(entry);
}

} // namespace tw
