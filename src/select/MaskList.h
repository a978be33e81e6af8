#pragma once
// File masks: ";"-separated, "?" and "*", "~" for exclusion, normalised so that "c" means
// "*.c" and ".txt" means "*.txt". Each mask is compiled once into a wildcard matcher;
// matching is case-insensitive on the file name.
#include "select/WildcardMask.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Normalises one mask; returns false for a mask that is empty after removing "~".
[[nodiscard]] bool normaliseMask(std::string& mask, bool* exclude);

class MaskList {
public:
    void compile(std::string_view maskText);
    // `name` is the file name without directory.
    [[nodiscard]] bool matches(std::string_view name) const;
    bool empty() const { return m_masks.empty(); }

private:
    struct Mask {
        WildcardMask pattern; // the normalised mask
        bool hasDot = false;  // the mask holds a "."; without one it also matches a bare name
        bool exclude = false;
    };
    std::vector<Mask> m_masks;
    bool m_hasInclude = false;
};

} // namespace tw
