#pragma once
// The file-selection expression of a script: integer arithmetic, comparisons and logic over
// the variables E1, E2, ... (what pair k of the script did in the file at hand) and decimal
// numbers. After a script's pairs have run over a file, a value of 0 means the file is
// treated as one without hits.
//
// An Expression is parsed and validated once; it reports ok() and the message of its first
// fault instead of throwing. Its variables are then bound to the counters they stand for,
// and evaluate() reads them, as often as there are files, without allocating.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class Expression {
public:
    // Parses and validates `text`. An empty text gives an expression that is not ok() and
    // has no message: the caller treats an empty expression as "every file with a hit".
    explicit Expression(std::string_view text);

    bool ok() const { return m_error.empty() && m_root >= 0; }
    // The message of the fault that made the expression unusable ("Missing right
    // parenthesis", "Invalid variable FOO", ...); empty when ok() or when the text was empty.
    const std::string& error() const { return m_error; }
    // The highest variable number used, -1 when the expression uses none.
    long highestVariable() const { return m_highestVariable; }
    // "Cannot use variable E%ld" when the expression names a variable beyond the script's
    // `pairs`; empty otherwise.
    std::string variableBeyond(long pairs) const;

    // Makes every variable numbered `k` read `*counter` when evaluated. The counter must
    // outlive the evaluations. An unbound variable reads 0.
    void bind(long k, const long* counter);
    // The value, in 32-bit signed arithmetic that wraps; a division by 0 divides by 1.
    // Only valid when ok().
    int32_t evaluate() const { return value(m_root); }

private:
    struct Node {
        int op = -1;       // index into the operator table; -1 for an operand
        int left = -1;     // nodes by index into m_nodes; -1 for none
        int right = -1;
        std::string text;  // an operand's text
        bool isVariable = false;      // an operand that begins with "E"
        long variable = 0;            // a variable's number
        int32_t number = 0;           // a number operand's value (and an unbound variable's, 0)
        const long* bound = nullptr;  // the counter a variable reads
    };

    // The node for `text`, `depth` levels below the whole expression; -1 when there is none.
    int parse(std::string_view text, int depth);
    int operand(std::string_view text);
    void validate(int node);
    int32_t value(int node) const;
    void fail(std::string message);

    std::vector<Node> m_nodes; // the tree, by index (a node's children are made after it)
    int m_root = -1;
    std::string m_error;
    long m_highestVariable = -1;
};

// The expression a script of `pairs` pairs is given when none is entered: "E1 OR E2 ...",
// every file in which one pair hit; empty for no pairs.
std::string defaultExpression(long pairs);

} // namespace tw
