#pragma once
// A script's file-selection expression as a run applies it: parsed and checked once when the
// run is prepared, its variables E1, E2, ... bound to counters of its own, which take each
// file's per-pair counts (hits in a search run, replacements in a replace run) before the
// expression is evaluated. Evaluating allocates nothing.
#include "core/FileReport.h"
#include "engine/Expression.h"

#include <string>
#include <vector>

namespace tw {

class ExpressionFilter {
public:
    // `pairs` is the number of the run's pairs: variables beyond it are an error.
    ExpressionFilter(const std::string& text, size_t pairs, bool replace);
    ExpressionFilter(const ExpressionFilter&) = delete;
    ExpressionFilter& operator=(const ExpressionFilter&) = delete;

    // The message that makes the expression unusable; empty when it can be applied.
    const std::string& error() const { return m_error; }
    // True when the file is kept: the expression is not 0 for its counts.
    bool keeps(const FileReport& report);

private:
    Expression m_expression;
    std::string m_error;
    // One counter per pair; E k reads m_counts[k - 1]. Its size never changes after the
    // constructor, so the bound addresses stay valid.
    std::vector<long> m_counts;
    bool m_replace;
};

} // namespace tw
