#include "engine/Expression.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace tw {

namespace {

// The operators in the order they are tried at each position, with the level that decides
// which one splits a text: the highest level splits first, so it binds loosest; of two
// with the same level the rightmost splits.
struct Operator {
    const char* text;
    int level;
    bool rightOnly; // "(" and "NOT" take no left operand
};
constexpr Operator kOperators[] = {
    {"(", 0, true},  {"*", 1, false},  {"/", 1, false},  {"+", 3, false},  {"-", 3, false},
    {"=", 5, false}, {"!=", 6, false}, {">", 7, false},  {">=", 8, false}, {"<", 9, false},
    {"<=", 10, false}, {"NOT", 11, true}, {"AND", 12, false}, {"OR", 13, false},
};
constexpr int kOpen = 0, kMultiply = 1, kDivide = 2, kPlus = 3, kMinus = 4, kEqual = 5, kNotEqual = 6,
              kGreater = 7, kGreaterEqual = 8, kLess = 9, kLessEqual = 10, kNot = 11, kAnd = 12, kOr = 13;

// A hostile script could nest without end; each level costs a stack frame when parsed and
// evaluated, so the depth is bounded well below what the stack holds.
constexpr int kMaxDepth = 2000;

bool startsWithOperator(std::string_view text, size_t at, const char* op)
{
    for (size_t i = 0; op[i] != '\0'; ++i) {
        if (at + i >= text.size() ||
            std::toupper(static_cast<unsigned char>(text[at + i])) != static_cast<unsigned char>(op[i]))
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// The index of the ")" that closes the "(" at `open`, or npos.
size_t matchingParenthesis(std::string_view text, size_t open)
{
    int depth = 1;
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '(')
            ++depth;
        else if (text[i] == ')' && --depth == 0)
            return i;
    }
    return std::string_view::npos;
}

std::string withOperator(const char* format, int op)
{
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, kOperators[op].text);
    return buffer;
}

// 32-bit arithmetic that wraps instead of overflowing.
int32_t wrap(int64_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

} // namespace

Expression::Expression(std::string_view text)
{
    if (text.empty())
        return;
    m_root = parse(text, 0);
    if (!m_error.empty())
        return;
    validate(m_root);
}

void Expression::fail(std::string message)
{
    // Parsing stops at the first fault; validation keeps the last invalid operand's message.
    m_error = std::move(message);
}

int Expression::parse(std::string_view text, int depth)
{
    if (!m_error.empty())
        return -1;
    if (depth > kMaxDepth) {
        fail("Expression nested too deeply");
        return -1;
    }
    int best = -1;
    size_t at = 0, close = std::string_view::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        for (int op = 0; op < static_cast<int>(std::size(kOperators)); ++op) {
            if (!startsWithOperator(text, i, kOperators[op].text))
                continue;
            if (best < 0 || kOperators[op].level >= kOperators[best].level) {
                best = op;
                at = i;
            }
            if (op == kOpen) {
                const size_t match = matchingParenthesis(text, i);
                if (match == std::string_view::npos) {
                    fail("Missing right parenthesis");
                    return -1;
                }
                if (best == kOpen && at == i)
                    close = match;
                i = match; // nothing inside the parentheses is a candidate
                break;
            }
        }
    }
    if (best < 0)
        return operand(text); // untrimmed: only texts split off by an operator are trimmed

    const int node = static_cast<int>(m_nodes.size());
    m_nodes.push_back(Node{});
    m_nodes[node].op = best;
    const size_t opEnd = at + std::char_traits<char>::length(kOperators[best].text);
    const std::string_view right =
        trimmed(best == kOpen ? text.substr(opEnd, close - opEnd) : text.substr(opEnd)); // after ")": ignored
    if (right.empty()) {
        fail(withOperator("Missing right argument for operator %s", best));
        return node;
    }
    const int r = parse(right, depth + 1);
    m_nodes[node].right = r;
    const std::string_view left = trimmed(text.substr(0, at));
    if (kOperators[best].rightOnly) {
        if (!left.empty() && m_error.empty())
            fail(withOperator("Unexpected operator %s or left parameter not needed", best));
        return node;
    }
    if (left.empty()) {
        if (best != kPlus && best != kMinus && m_error.empty())
            fail(withOperator("Missing argument for operator %s", best));
        return node;
    }
    const int l = parse(left, depth + 1);
    m_nodes[node].left = l;
    return node;
}

int Expression::operand(std::string_view text)
{
    // A variable begins with "E"; its number is the rest as the C library reads an integer.
    // Anything else is a number, read the same way (valid when non-zero or written with a
    // leading "0").
    Node n;
    n.text.assign(text);
    n.isVariable = !n.text.empty() && (n.text[0] == 'E' || n.text[0] == 'e');
    if (n.isVariable)
        n.variable = std::strtol(n.text.c_str() + 1, nullptr, 10);
    else
        n.number = wrap(std::strtol(n.text.c_str(), nullptr, 10));
    m_nodes.push_back(std::move(n));
    return static_cast<int>(m_nodes.size()) - 1;
}

void Expression::validate(int node)
{
    if (node < 0)
        return;
    const Node& n = m_nodes[static_cast<size_t>(node)];
    if (n.op < 0) {
        if (n.isVariable)
            m_highestVariable = std::max(m_highestVariable, n.variable);
        else if (n.number == 0 && (n.text.empty() || n.text[0] != '0'))
            fail("Invalid variable " + n.text);
        return;
    }
    validate(n.left);
    validate(n.right);
}

std::string Expression::variableBeyond(long pairs) const
{
    if (!ok() || m_highestVariable <= pairs)
        return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Cannot use variable E%ld", m_highestVariable);
    return buffer;
}

void Expression::bind(long k, const long* counter)
{
    for (Node& n : m_nodes)
        if (n.op < 0 && n.isVariable && n.variable == k)
            n.bound = counter;
}

int32_t Expression::value(int node) const
{
    if (node < 0)
        return 0;
    const Node& n = m_nodes[static_cast<size_t>(node)];
    if (n.op < 0)
        return n.bound ? wrap(*n.bound) : n.number;
    // An operator whose required operand is missing yields 0.
    auto needsBoth = [&] { return n.left >= 0 && n.right >= 0; };
    switch (n.op) {
    case kOpen:
        return value(n.right);
    case kNot:
        return n.right >= 0 && value(n.right) == 0 ? 1 : 0;
    case kPlus:
    case kMinus: {
        if (n.right < 0)
            return 0;
        const int64_t l = value(n.left), r = value(n.right);
        return wrap(n.op == kPlus ? l + r : l - r);
    }
    case kAnd:
        return needsBoth() && value(n.left) != 0 && value(n.right) != 0 ? 1 : 0;
    case kOr:
        return needsBoth() && (value(n.left) != 0 || value(n.right) != 0) ? 1 : 0;
    default:
        break;
    }
    if (!needsBoth())
        return 0;
    const int64_t l = value(n.left), r = value(n.right);
    switch (n.op) {
    case kMultiply: return wrap(l * r);
    case kDivide: return wrap(l / (r == 0 ? 1 : r)); // 64-bit: INT32_MIN / -1 wraps
    case kEqual: return l == r ? 1 : 0;
    case kNotEqual: return l != r ? 1 : 0;
    case kGreater: return l > r ? 1 : 0;
    case kGreaterEqual: return l >= r ? 1 : 0;
    case kLess: return l < r ? 1 : 0;
    case kLessEqual: return l <= r ? 1 : 0;
    default: return 0;
    }
}

std::string defaultExpression(long pairs)
{
    std::string text;
    for (long k = 1; k <= pairs; ++k) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, k == 1 ? "E%ld" : " OR E%ld", k);
        text += buffer;
    }
    return text;
}

} // namespace tw
