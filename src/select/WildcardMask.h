#pragma once
// One file mask compiled for matching whole file names: "?" stands for one byte, "*" for
// any run of bytes (also empty), every other byte for itself without regard to case. A
// backslash escapes "?" and "*" and starts the usual escape sequences, as in the pattern
// dialect. "?" and "*" take every byte, control bytes and line breaks included, since a
// file name may hold any byte but "/" and NUL.
//
// Matching never backtracks further than the last "*": it costs O(name x mask) at worst
// and is linear in the name for the usual masks.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tw {

class WildcardMask {
public:
    WildcardMask() = default;
    explicit WildcardMask(std::string_view mask) { compile(mask); }

    void compile(std::string_view mask);
    // True when the whole of `name` matches the mask.
    [[nodiscard]] bool matches(std::string_view name) const;

private:
    static constexpr int16_t kAnyOne = -1; // "?"
    static constexpr int16_t kAnyRun = -2; // "*"

    // The mask as tokens: a byte 0..255 (already folded to upper case), kAnyOne or kAnyRun.
    // Invariant: no two kAnyRun tokens are adjacent (runs of "*" are collapsed).
    std::vector<int16_t> m_tokens;
    size_t m_minLength = 0;            // number of tokens other than kAnyRun: the shortest name that can match
    std::array<uint8_t, 256> m_fold{}; // the code page's upper-case fold, taken at compile time
    // The commonest masks, decided without the general match: "*" (any name), "*.*" (any
    // name with a ".") and "*" followed by bytes only, such as "*.zip" (a name ending in
    // them). General for every other mask.
    enum class Shape : uint8_t { General, Any, AnyWithDot, Suffix };
    Shape m_shape = Shape::General;
};

} // namespace tw
