#pragma once
// One element of a compiled search pattern: a literal run (with the further alternatives
// of a group), or a set of single bytes, with its repetition operator and count range.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

struct SrchElement {
    // Literal element: literals[0] is the content, further entries the alternatives of a
    // group in the order written. Never empty strings. Folded with FoldUpper when the search
    // is not case sensitive. Empty for a set element.
    std::vector<std::string> literals;
    // Set element: members[b] for each member byte (folded when not case sensitive), and
    // accept[b] for each block byte that matches (exact member or, without case
    // sensitivity, a byte whose fold is a member). Unused for a literal element.
    std::array<bool, 256> members{};
    std::array<bool, 256> accept{};
    bool isSet = false;
    bool isGroup = false;  // written in parentheses (its content is literal text only)
    char op = 0;           // 0, '?', '*' or '+': the repetition kind used when matching
    char writtenOp = 0;    // as written: 0, '?', '*', '+', '!', '^' or '$'
    int minCount = 1;      // 0 <= minCount <= maxCount
    int maxCount = 1;
    bool isNumeric = false; // a set whose members are all among "0123456789-"
    int number = 0;         // 1-based number for replace references; 0 when not numbered

    bool isAnchor() const { return writtenOp == '^' || writtenOp == '$'; }
};

} // namespace tw
