#include "core/PairScreen.h"

#include "engine/ReplaceTokens.h"

namespace tw {

PairScreen::PairScreen(const std::vector<PreparedPair>& pairs) : m_filter(makeFilter(pairs, m_needle)) {}

MultiLiteralFilter PairScreen::makeFilter(const std::vector<PreparedPair>& pairs,
                                          std::vector<std::optional<size_t>>& needleOf)
{
    std::vector<MultiLiteralFilter::Needle> needles;
    needleOf.assign(pairs.size(), std::nullopt);
    for (size_t pi = 0; pi < pairs.size(); ++pi) {
        const PreparedPair& pp = pairs[pi];
        if (pp.special != SpecialOp::None || !pp.usable())
            continue;
        // A literal whose text names the file is another search in every file.
        const std::string& bytes = pp.regex ? pp.leadingBytes : pp.searchBytes;
        if (bytes.empty() || (!pp.regex && hasFileTokens(bytes)))
            continue;
        needleOf[pi] = needles.size();
        needles.push_back({bytes, pp.caseSensitive});
    }
    return MultiLiteralFilter(std::move(needles));
}

} // namespace tw
