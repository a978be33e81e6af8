#pragma once
// Which pairs of a search run can hit a file, learnt in one pass over its bytes: the
// literal pairs (and the patterns "Ignore Whitespace" made, by the bytes every hit of them
// begins with) whose bytes do not occur in the file cannot hit it, so their scans are left
// out and they keep 0 hits there. Every other pair (a pattern, a search text that names the
// file, an empty one) is always scanned.
//
// The pass sees the file's bytes as they are stored. It is sound for what a scan sees as
// long as that is a stretch of those bytes (plain bytes, or the text after a UTF-8
// byte-order mark); a file the scan decodes from UTF-16 is not screened.
#include "core/PreparedPair.h"
#include "engine/MultiLiteralFilter.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tw {

class PairScreen {
public:
    explicit PairScreen(const std::vector<PreparedPair>& pairs);

    // Some pair is screened.
    bool screensAny() const { return m_filter.size() > 0; }
    // A new file: nothing seen.
    void begin() { m_filter.begin(); }
    // The file's next bytes.
    void feed(const uint8_t* data, size_t len) { m_filter.feed(data, len); }
    // Every screened pair's bytes were seen: the rest of the file changes nothing.
    bool allSeen() const { return m_filter.allSeen(); }
    // Pair `pi` may hit the file fed since begin(): it is not screened, or its bytes occur.
    bool mayHit(size_t pi) const { return !m_needle[pi] || m_filter.seen(*m_needle[pi]); }

private:
    static MultiLiteralFilter makeFilter(const std::vector<PreparedPair>& pairs,
                                         std::vector<std::optional<size_t>>& needleOf);

    std::vector<std::optional<size_t>> m_needle; // per pair: its string in m_filter, if screened
    MultiLiteralFilter m_filter;
};

} // namespace tw
