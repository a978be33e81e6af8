#include "engine/ReplElement.h"

#include "engine/CharClasses.h"
#include "engine/Escapes.h"

#include <array>
#include <cinttypes>
#include <cstdio>

namespace tw {

namespace {

constexpr int kMaxReference = 65; // 'q'

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an optional start value for a counter after the marker at text[pos - 1]:
// blanks, an optional sign and digits, immediately followed by the same marker.
// Returns the characters consumed (0 when the marker does not close).
size_t readCounterStart(std::string_view text, size_t pos, char marker, ReplElement& piece)
{
    size_t i = pos;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    const size_t numStart = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    const size_t digitStart = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    if (i >= text.size() || text[i] != marker)
        return 0;
    if (i > digitStart) {
        int64_t v = 0;
        for (size_t k = digitStart; k < i; ++k)
            v = std::min<int64_t>(v * 10 + (text[k] - '0'), INT32_MAX);
        if (text[numStart] == '-')
            v = -v;
        piece.counterStart = v;
        if (text[numStart] == '0')
            piece.counterStartWidth = static_cast<int16_t>(std::min<size_t>(i - numStart, 255));
    }
    return i + 1 - pos;
}

// Value of a matched text read as a signed decimal (leading blanks allowed); sets *digits to
// the number of digits read.
int64_t parseSigned(std::string_view s, size_t* digits)
{
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        neg = s[i++] == '-';
    const size_t d0 = i;
    int64_t v = 0;
    while (i < s.size() && isDigit(s[i]))
        v = std::min<int64_t>(v * 10 + (s[i++] - '0'), INT32_MAX);
    *digits = i - d0;
    return neg ? -v : v;
}

std::array<uint8_t, 256> lowerTable()
{
    const auto& up = activeCharClasses().upper;
    std::array<uint8_t, 256> lower{};
    for (int c = 0; c < 256; ++c)
        lower[c] = static_cast<uint8_t>(c);
    for (int c = 0; c < 256; ++c)
        if (up[c] != c && lower[up[c]] == up[c])
            lower[up[c]] = static_cast<uint8_t>(c);
    return lower;
}

} // namespace

std::vector<ReplElement> compileReplaceChain(std::string_view text, const ReplaceTarget& target)
{
    std::vector<ReplElement> chain;
    while (!text.empty()) {
        const long i = FindOneOfUnescaped(text, "%");
        const int n = (i >= 0 && static_cast<size_t>(i) + 1 < text.size()) ? text[i + 1] - '0' : -1;
        if (n < 1 || n > kMaxReference) {
            ReplElement piece;
            piece.literal = ExpandEscapes(text);
            chain.push_back(std::move(piece));
            break;
        }
        if (i > 0) {
            ReplElement piece;
            piece.literal = ExpandEscapes(text.substr(0, static_cast<size_t>(i)));
            chain.push_back(std::move(piece));
            text.remove_prefix(static_cast<size_t>(i));
            continue;
        }
        ReplElement ref;
        ref.isReference = true;
        if (static_cast<size_t>(n) <= target.numberedIndex.size())
            ref.elementIndex = target.numberedIndex[static_cast<size_t>(n) - 1];
        const bool numeric = ref.elementIndex >= 0 && target.numericByIndex[static_cast<size_t>(ref.elementIndex)];
        size_t used = 2;
        if (used < text.size() && (text[used] == '<' || text[used] == '>')) {
            const char marker = text[used++];
            (marker == '>' ? ref.upper : ref.lower) = true;
            if (numeric) {
                ref.counterMode = marker == '>' ? 1 : 2;
                used += readCounterStart(text, used, marker, ref);
            }
        }
        chain.push_back(std::move(ref));
        text.remove_prefix(used);
    }
    return chain;
}

std::string buildReplacement(const std::vector<ReplElement>& chain, std::vector<CounterState>& counters,
                             const std::function<std::string(int)>& elementText)
{
    if (counters.size() < chain.size())
        counters.resize(chain.size());
    std::string out;
    for (size_t i = 0; i < chain.size(); ++i) {
        const ReplElement& piece = chain[i];
        CounterState& counter = counters[i];
        if (!piece.isReference) {
            out += piece.literal;
            continue;
        }
        if (piece.elementIndex < 0)
            continue;
        std::string text = elementText(piece.elementIndex);
        if (piece.counterMode != 0) {
            if (!counter.value) {
                if (piece.counterStart) {
                    counter.value = piece.counterStart;
                    counter.width = piece.counterStartWidth;
                } else if (text.empty()) {
                    counter.value = 1;
                } else {
                    size_t digits = 0;
                    counter.value = parseSigned(text, &digits);
                    if (text[0] == '0')
                        counter.width = static_cast<int16_t>(std::min<size_t>(digits, 255));
                }
            }
            *counter.value += piece.counterMode == 1 ? 1 : -1;
            char buf[300];
            if (counter.width >= 2)
                std::snprintf(buf, sizeof buf, "%0*" PRId64, static_cast<int>(counter.width), *counter.value);
            else
                std::snprintf(buf, sizeof buf, "%" PRId64, *counter.value);
            text = buf;
        } else if (piece.upper) {
            const auto& up = activeCharClasses().upper;
            for (char& c : text)
                c = static_cast<char>(up[static_cast<uint8_t>(c)]);
        } else if (piece.lower) {
            const auto lower = lowerTable();
            for (char& c : text)
                c = static_cast<char>(lower[static_cast<uint8_t>(c)]);
        }
        out += text;
    }
    return out;
}

} // namespace tw
