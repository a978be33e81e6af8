#include "engine/SpanFilter.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

constexpr size_t kUnknown = static_cast<size_t>(-2);

// The bytes that equal `s` in the comparison (s itself and, without case sensitivity,
// every byte that folds to it).
std::vector<uint8_t> bytesMatching(uint8_t s, bool caseSensitive, const std::array<uint8_t, 256>& fold)
{
    std::vector<uint8_t> out{s};
    if (!caseSensitive)
        for (int b = 0; b < 256; ++b)
            if (b != s && fold[b] == s)
                out.push_back(static_cast<uint8_t>(b));
    return out;
}

} // namespace

SpanFilter::SpanFilter(const std::vector<SrchElement>& chain, bool caseSensitive,
                       const std::array<uint8_t, 256>& fold)
{
    constexpr size_t kMaxRequired = 3;
    size_t positions = 0;
    for (const SrchElement& el : chain) {
        positions += el.isSet ? 1 : 0;
        for (const std::string& lit : el.literals)
            positions += lit.size();
    }
    if (positions > kMaxPositions)
        return;
    m_usable = true;
    positions = 0;
    bool haveRequired = false;
    m_tailFrom = 0;
    for (const SrchElement& el : chain) {
        Element e;
        e.optional = el.minCount == 0 || el.isAnchor() || el.writtenOp == '!';
        e.repeats = el.maxCount > 1 || el.isAnchor();
        e.isSet = el.isSet;
        e.firstPos = positions;
        std::vector<uint8_t> required; // one byte of every way to take the element once
        if (el.isSet) {
            m_accept.resize(m_accept.size() + 256);
            for (int b = 0; b < 256; ++b) {
                m_accept[positions * 256 + static_cast<size_t>(b)] = el.accept[b];
                if (el.accept[b] && required.size() <= kMaxRequired)
                    required.push_back(static_cast<uint8_t>(b));
            }
            ++positions;
        } else {
            for (const std::string& lit : el.literals) {
                for (const char ch : lit) {
                    m_accept.resize(m_accept.size() + 256);
                    for (const uint8_t b : bytesMatching(static_cast<uint8_t>(ch), caseSensitive, fold))
                        m_accept[positions * 256 + b] = 1;
                    ++positions;
                }
                e.altEnds.push_back(positions);
                for (const uint8_t b : bytesMatching(static_cast<uint8_t>(lit.back()), caseSensitive, fold))
                    if (std::find(required.begin(), required.end(), b) == required.end())
                        required.push_back(b);
            }
        }
        e.endPos = positions;
        if (!e.optional) {
            m_tailFrom = m_elements.size();
            // The smallest byte set of a required element, the later one among equals.
            if (!required.empty() && required.size() <= kMaxRequired &&
                (!haveRequired || required.size() <= m_required.size())) {
                m_required = required;
                haveRequired = true;
            }
        }
        m_elements.push_back(std::move(e));
    }
    m_lineBound = true;
    for (size_t k = 0; k < positions; ++k)
        m_lineBound = m_lineBound && !m_accept[k * 256 + '\n'];
    m_value.assign(positions, 0);
    m_endValue.assign(m_elements.size(), 0);
    m_in.assign(m_elements.size(), 0);
}

void SpanFilter::reset(const uint8_t* block, size_t len)
{
    m_block = block;
    m_len = len;
    m_at = 0;
    m_lastFrom = 0;
    m_foundEnd = npos;
    m_stepping = false;
    m_requiredNext.assign(m_required.size(), kUnknown);
    clearThreads();
}

void SpanFilter::clearThreads()
{
    std::fill(m_value.begin(), m_value.end(), 0);
    std::fill(m_endValue.begin(), m_endValue.end(), 0);
}

// Takes byte c at position p into every partial span.
void SpanFilter::step(uint8_t c, size_t p)
{
    const size_t n = m_elements.size();
    size_t carry = p + 1; // a span starting at p
    for (size_t i = 0; i < n; ++i) {
        const Element& e = m_elements[i];
        const size_t in = e.repeats ? std::max(carry, m_endValue[i]) : carry;
        m_in[i] = in;
        carry = std::max(m_endValue[i], e.optional ? in : size_t(0));
    }
    for (size_t i = 0; i < n; ++i) {
        const Element& e = m_elements[i];
        const size_t in = m_in[i];
        if (e.isSet) {
            m_endValue[i] = m_accept[e.firstPos * 256 + c] ? in : 0;
            continue;
        }
        size_t ended = 0;
        size_t altStart = e.firstPos;
        for (const size_t altEnd : e.altEnds) {
            for (size_t k = altEnd - 1; k > altStart; --k)
                m_value[k] = m_accept[k * 256 + c] ? m_value[k - 1] : 0;
            m_value[altStart] = m_accept[altStart * 256 + c] ? in : 0;
            ended = std::max(ended, m_value[altEnd - 1]);
            altStart = altEnd;
        }
        m_endValue[i] = ended;
    }
}

// Without line feeds in any span, a span lies within one line and holds a required byte:
// the lines before the line of the next required byte are passed over (called at a line
// start or before any byte, where no partial span is open). Returns the end of the line
// that holds the required byte (its line feed, or the block end), or npos when no required
// byte is left.
size_t SpanFilter::skipToRequired()
{
    size_t next = npos;
    for (size_t r = 0; r < m_required.size(); ++r) {
        size_t& at = m_requiredNext[r];
        if (at == kUnknown || (at != npos && at < m_at)) {
            const void* hit = std::memchr(m_block + m_at, m_required[r], m_len - m_at);
            at = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - m_block) : npos;
        }
        next = std::min(next, at);
    }
    if (next == npos) {
        clearThreads();
        m_at = m_len;
        return npos;
    }
    const uint8_t* lf = nullptr;
    for (const uint8_t* q = m_block + next; q > m_block + m_at;)
        if (*--q == '\n') {
            lf = q;
            break;
        }
    if (lf) {
        clearThreads();
        m_at = static_cast<size_t>(lf - m_block) + 1;
    }
    const void* end = std::memchr(m_block + next, '\n', m_len - next);
    return end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - m_block) : m_len;
}

size_t SpanFilter::firstEnd(size_t from)
{
    if (!m_usable || from < m_lastFrom)
        return 0;
    m_lastFrom = from;
    if (m_foundEnd != npos && m_foundStart >= from)
        return m_foundEnd;
    m_foundEnd = npos;
    if (m_at < from) { // spans that start before `from` matter to no query from now on
        clearThreads();
        m_at = from;
        m_stepping = false;
    }
    const size_t n = m_elements.size();
    const bool skip = m_lineBound && !m_required.empty();
    while (m_at < m_len) {
        if (skip && (!m_stepping || m_at > m_stepUntil)) {
            m_stepUntil = skipToRequired();
            m_stepping = m_stepUntil != npos;
            if (!m_stepping)
                break;
        }
        const size_t p = m_at++;
        step(m_block[p], p);
        size_t start = 0;
        for (size_t i = m_tailFrom; i < n; ++i)
            start = std::max(start, m_endValue[i]);
        if (start > from) { // start + 1 > from: the span starts at or after `from`
            m_foundEnd = m_at;
            m_foundStart = start - 1;
            return m_foundEnd;
        }
    }
    return npos;
}

} // namespace tw
