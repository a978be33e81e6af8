#pragma once
// A compiled search pattern of the program's line-oriented dialect, together with its
// compiled replace text; or, in mask mode, a compiled file mask.
//
// Construction never throws on bad input: compile() always returns a pattern, and ok()
// tells whether it can be used. error() then holds the text at which parsing stopped.
//
// The compiled form is read-only after compile(); searching with it is PatternScan's work.
// Matching is windowed and never backtracks: elements are matched most selective first,
// each between its already matched neighbours, and the attempt fails as soon as one
// element fails.
#include "engine/LiteralMatcher.h"
#include "engine/ReplElement.h"
#include "engine/SrchElement.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct PatternOptions {
    bool caseSensitive = true;
    bool maskMode = false;   // only '?' and '*' are special; always case-insensitive
    int maxRepeat = 32767;   // the repeat limit ("Max Reg Expr"); at least 1 is used
};

class SrchPattern {
public:
    static constexpr int kMaxWidthEstimate = 10240;

    static std::unique_ptr<SrchPattern> compile(std::string_view search, const std::string* replace,
                                                 const PatternOptions& options);

    bool ok() const { return m_ok; }
    // Empty when ok(); otherwise the rest of the pattern from the unbalanced bracket on,
    // escape-expanded.
    const std::string& error() const { return m_error; }

    // Upper bound on the length of one hit, capped at kMaxWidthEstimate. The caller makes
    // consecutive blocks overlap by at least this much.
    int widthEstimate() const { return m_widthEstimate; }

    int numberedCount() const { return static_cast<int>(m_numbered.size()); }
    // The compiled replace text holds a running counter: the replacements it builds depend
    // on the hits before them.
    bool replaceCounts() const
    {
        for (const ReplElement& piece : m_replace)
            if (piece.counterMode != 0)
                return true;
        return false;
    }

    // Mask mode: true when the whole name matches ('?' one character, '*' any run).
    // Always case-insensitive.
    bool matchName(std::string_view name) const;

    // Textual dump of the element chain for tests: one line per element, then the
    // evaluation order.
    std::string dumpChain() const;

    const std::vector<SrchElement>& elements() const { return m_chain; }

private:
    friend class PatternScan; // reads the compiled form
    SrchPattern() = default;

    // Compilation.
    bool compileChain(std::string_view text);
    void compileMask(std::string_view text);
    void addLiteral(std::string bytes);
    void addAnySet(char op, char writtenOp, int minCount, int maxCount);
    void addLineBreak(char writtenOp);
    bool addBracketed(std::string_view text, char op, char writtenOp, int minCount, int maxCount,
                      bool anyOperand, size_t* used);
    void finish();
    void setAccept(SrchElement& el) const;
    void buildEvaluationOrder();
    void computeWidth();

    // Compiled form.
    std::vector<SrchElement> m_chain;          // elements in pattern order
    std::vector<int> m_order;                  // evaluation order: chain indices, most selective first
    std::vector<int> m_numbered;               // chain index of element number n at [n - 1]
    std::vector<std::vector<LiteralMatcher>> m_finders; // per element: one per literal alternative
    // One-pass scan for the start of any alternative of a group: for each alternative, two
    // positions and the bytes allowed there, taken from its literal scan's prefilter.
    struct AltProbe {
        size_t pos1 = 0, pos2 = 0;
        uint8_t bytes[4] = {};
    };
    static constexpr size_t kMaxProbedAlternatives = 4;
    std::vector<std::vector<AltProbe>> m_altProbes; // per element; empty unless a group of
                                                    // 2..kMaxProbedAlternatives alternatives
                                                    // that all have a prefilter
    std::vector<ReplElement> m_replace;        // compiled replace text
    std::vector<bool> m_takesLineFeed;         // per element: some match of it holds a line feed
    std::array<uint8_t, 256> m_fold{};         // FoldUpper table, taken at compile time
    bool m_caseSensitive = true;
    bool m_maskMode = false;
    int m_maxRepeat = 32767;
    int m_widthEstimate = 0;
    size_t m_maxAlternatives = 1;              // most alternatives of any element
    size_t m_window = 0;                       // window width: twice the estimate (see computeWidth)
    // Widths (each at most m_window) that the elements before the first evaluated one, and
    // that element with those after it, can take; they place the window around where the
    // first evaluated element was found.
    size_t m_roomBefore = 0;
    size_t m_roomFrom = 0;
    bool m_ok = true;
    std::string m_error;

};

} // namespace tw
