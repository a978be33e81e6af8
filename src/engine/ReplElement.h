#pragma once
// The compiled replace text of a pattern: literal pieces and references to numbered
// elements of the search chain, with case change or a running counter.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct ReplElement {
    std::string literal;       // literal piece: its text after escape expansion
    bool isReference = false;
    int elementIndex = -1;     // reference: index into the search chain, -1 when the number names none
    bool upper = false;        // written ">" after the reference
    bool lower = false;        // written "<" after the reference
    int counterMode = 0;       // 0 none, 1 increment, 2 decrement (numeric elements only)
    std::optional<int64_t> counterStart; // explicit start value, as in '%1>100>'
    int16_t counterStartWidth = 0;       // zero-fill width of a start value written with a leading 0
};

// The running state of one counter piece; kept per run, apart from the compiled chain, so
// that the chain stays read-only and can be shared.
struct CounterState {
    std::optional<int64_t> value; // last value produced; unset until the first hit
    int16_t width = 0;            // zero-fill width taken from the first hit; 0 or 1 means none
};

// What the replace compiler needs to know about the search chain.
struct ReplaceTarget {
    std::vector<int> numberedIndex;   // chain index of element number n at [n - 1]
    std::vector<bool> numericByIndex; // per chain index: the element is a numeric set
};

// Cuts the replace text into pieces (see ReplElement). The character after an unescaped
// '%' names element 1 ('1') to 65 ('q'); anything else there makes the rest literal.
std::vector<ReplElement> compileReplaceChain(std::string_view replace, const ReplaceTarget& target);

// Builds the replacement for one hit. elementText(i) gives the matched text of chain
// element i. `counters` holds one state per piece of `chain` (resized when shorter); the
// counter values advance once per call.
std::string buildReplacement(const std::vector<ReplElement>& chain, std::vector<CounterState>& counters,
                             const std::function<std::string(int)>& elementText);

} // namespace tw
