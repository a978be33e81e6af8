#pragma once
// The literal scan as a Matcher: hits must end inside the buffer, and a whole-word hit
// needs the byte after it, so candidates near the end of a buffer that does not end the
// file are left to the next block.
#include "engine/LiteralMatcher.h"
#include "engine/Matcher.h"

namespace tw {

class LiteralScan final : public Matcher {
public:
    LiteralScan(std::string searchBytes, bool caseSensitive, bool wholeWord)
        : m_matcher(std::move(searchBytes), caseSensitive, wholeWord)
    {
    }

    MatchResult findNext(const ScanBuffer& buf, size_t from) override
    {
        MatchResult r;
        const size_t L = m_matcher.length();
        if (L == 0)
            return r; // nothing to look for finds nothing
        // Candidates before `limit` lie wholly in the buffer, with the byte after them for
        // a whole-word test.
        const size_t limit =
            buf.endsFile ? buf.len : buf.len - std::min(buf.len, m_matcher.wholeWord() ? L : L - 1);
        const size_t h = from < limit ? m_matcher.findNext(buf.data, buf.len, from, limit) : LiteralMatcher::npos;
        if (h != LiteralMatcher::npos) {
            r.kind = MatchResult::Hit;
            r.start = h;
            r.end = h + L;
        } else if (!buf.endsFile) {
            r.kind = MatchResult::NeedMore;
            r.resume = std::max(from, limit);
        }
        return r;
    }
    size_t contextBefore() const override { return m_matcher.wholeWord() ? 1 : 0; }
    size_t reach() const override { return m_matcher.length() + 1; }

    const LiteralMatcher& matcher() const { return m_matcher; }

private:
    LiteralMatcher m_matcher;
};

} // namespace tw
