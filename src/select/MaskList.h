#pragma once
// File masks: ";"-separated, "?" and "*", "~" for exclusion, normalised so that "c" means
// "*.c" and ".txt" means "*.txt". Matching is case-insensitive on the file name.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class SrchPattern;

// Normalises one mask; returns false for a mask that is empty after removing "~".
bool NormaliseMask(std::string& mask, bool* exclude);

class MaskList {
public:
    MaskList();
    ~MaskList();
    MaskList(MaskList&&) noexcept;
    MaskList& operator=(MaskList&&) noexcept;

    void compile(std::string_view maskText);
    // `name` is the file name without directory.
    bool matches(std::string_view name) const;
    bool empty() const { return m_masks.empty(); }

private:
    struct Mask {
        std::string pattern; // normalised mask, folded to upper case
        bool exclude = false;
    };
    std::vector<Mask> m_masks;
    bool m_hasInclude = false;
};

// Whole-string match of a "?"/"*" mask against an upper-cased name.
bool MatchWildcard(std::string_view mask, std::string_view name);

} // namespace tw
