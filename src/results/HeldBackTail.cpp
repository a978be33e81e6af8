#include "results/HeldBackTail.h"

#include <algorithm>

namespace tw {

std::string omittedLinesNotice(size_t omitted)
{
    return "(" + std::to_string(omitted) + (omitted == 1 ? " earlier line" : " earlier lines") +
           " of this file not shown)";
}

HeldBackTail heldBackTail(const HeldBackLines& heldBack, size_t maxLines)
{
    maxLines = std::max<size_t>(maxLines, 3);
    HeldBackTail out;
    const size_t count = heldBack.count();
    auto keep = [&](const ResultEntry& e) {
        // The store may have grown or shrunk since count(): never keep more than promised.
        if (out.lines.size() >= maxLines)
            return false;
        out.lines.push_back(e);
        return true;
    };
    if (count <= maxLines) {
        out.lines.reserve(count);
        heldBack.forEach(keep);
        return out;
    }
    out.lines.reserve(maxLines);
    heldBack.forEachFrom(0, [&](const ResultEntry& e) {
        out.lines.push_back(e);
        return false;
    });
    // The first line, the notice, then the last maxLines - 2 lines.
    const size_t first = count - (maxLines - 2);
    out.omitted = first - out.lines.size();
    ResultEntry notice;
    notice.text = omittedLinesNotice(out.omitted);
    out.lines.push_back(std::move(notice));
    heldBack.forEachFrom(first, keep);
    return out;
}

} // namespace tw
