#include "core/ExpressionFilter.h"

#include "platform/Assert.h"

namespace tw {

ExpressionFilter::ExpressionFilter(const std::string& text, size_t pairs, bool replace)
    : m_expression(text), m_counts(pairs, 0), m_replace(replace)
{
    if (!m_expression.ok()) {
        m_error = m_expression.error(); // empty for a text of blanks only: no expression
        return;
    }
    m_error = m_expression.variableBeyond(static_cast<long>(pairs));
    if (!m_error.empty())
        return;
    for (size_t k = 0; k < pairs; ++k)
        m_expression.bind(static_cast<long>(k + 1), &m_counts[k]);
}

bool ExpressionFilter::keeps(const FileReport& report)
{
    TW_ASSERT(m_error.empty());
    if (!m_expression.ok())
        return true;
    TW_ASSERT(report.state.pairCounts.size() == m_counts.size());
    for (size_t k = 0; k < m_counts.size(); ++k) {
        const PairCounts& c = report.state.pairCounts[k];
        m_counts[k] = m_replace ? c.replacements : c.hits;
    }
    return m_expression.evaluate() != 0;
}

} // namespace tw
