#pragma once
// Which members of an archive a run takes: plain files (never directories or links) whose
// path passes the member masks, with directory parts relative to the archive's root, and
// whose own time stamp and size pass the date and size filters. The member's name is only
// matched here, never used as a path on disk.
#include "platform/ArchiveReader.h"
#include "select/DateSizeFilter.h"
#include "select/WalkFilter.h"

#include <string>
#include <string_view>

namespace tw {

class MemberSelection {
public:
    MemberSelection(std::string_view maskText, const DateSizeBounds& bounds);

    // The member is searched (or listed) by the run.
    [[nodiscard]] bool selects(const ArchiveMember& member);

    // The member's path as the masks see it: "\" read as "/", no leading "/" or "./", and
    // "." and empty parts dropped, so "/a\\b/./c.txt" is matched as "a/b/c.txt".
    static std::string maskPath(std::string_view name);

private:
    MaskFilter m_masks;
    DateSizeFilter m_dates;
    bool m_filtered; // any date or size bound is set
};

} // namespace tw
