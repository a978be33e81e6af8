#include "engine/Expression.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

struct ValueCase {
    const char* text;
    long e1, e2, e3;
    int32_t expected;
};

// Each case binds E1..E3 to its counters and evaluates.
const ValueCase kValues[] = {
    {"E1 AND NOT E2", 3, 0, 0, 1},
    {"E1 AND NOT E2", 3, 1, 0, 0},
    {"E1 - E2 - E3", 10, 3, 2, 5},     // (E1 - E2) - E3
    {"E1 / E2 * 2", 7, 2, 0, 6},       // (E1 / E2) * 2
    {"E1 / 0", 9, 0, 0, 9},            // a division by 0 divides by 1
    {"7 / 2", 0, 0, 0, 3},
    {"-7 / 2", 0, 0, 0, -3},           // truncated toward zero
    {"-E1 < -2", 3, 0, 0, 1},          // unary minus on both sides
    {"-E1 < -2", 2, 0, 0, 0},
    {"e1 or e2", 0, 4, 0, 1},          // words in any case
    {"e1 OR E2", 0, 0, 0, 0},
    {"E1 >= 2", 2, 0, 0, 1},           // ">=" splits, not ">" with an operand "= 2"
    {"E1 <= 2", 3, 0, 0, 0},
    {"E1 > 2 = 1", 5, 0, 0, 1},        // E1 > (2 = 1): each comparison has its own level
    {"E1 != E2", 1, 2, 0, 1},
    {"E1 = E2 + 1", 3, 2, 0, 1},
    {"(E1 + E2) * E3", 1, 2, 3, 9},
    {"(E1 OR E2) AND E3", 0, 1, 1, 1},
    {"(E1) junk", 4, 0, 0, 4},         // text after the ")" that splits is ignored
    {"0", 5, 0, 0, 0},
    {"007", 0, 0, 0, 7},
    {"E4", 1, 1, 1, 0},                // an unbound variable reads 0
    {"2147483647 + 1", 0, 0, 0, INT32_MIN}, // 32-bit arithmetic wraps
    {"(-2147483647 - 1) / (-1)", 0, 0, 0, INT32_MIN}, // no overflow trap
    {"E1 * E2", 65536, 65536, 0, 0},
    {"E1ORE2", 0, 3, 0, 1},            // operators are found inside words too
};

TEST(Expression, EvaluatesByTheOperatorTable)
{
    for (const ValueCase& c : kValues) {
        SCOPED_TRACE(c.text);
        Expression e(c.text);
        ASSERT_TRUE(e.ok()) << e.error();
        long counters[3] = {c.e1, c.e2, c.e3};
        for (long k = 1; k <= 3; ++k)
            e.bind(k, &counters[k - 1]);
        EXPECT_EQ(e.evaluate(), c.expected);
    }
}

TEST(Expression, BoundCountersAreReadAtEachEvaluation)
{
    Expression e("E2 > E1");
    ASSERT_TRUE(e.ok());
    EXPECT_EQ(e.highestVariable(), 2);
    long hits[2] = {0, 0};
    e.bind(1, &hits[0]);
    e.bind(2, &hits[1]);
    for (long a = 0; a < 4; ++a)
        for (long b = 0; b < 4; ++b) {
            hits[0] = a;
            hits[1] = b;
            EXPECT_EQ(e.evaluate(), b > a ? 1 : 0);
        }
}

struct ErrorCase {
    const char* text;
    const char* message;
};

const ErrorCase kErrors[] = {
    {"(E1 OR E2", "Missing right parenthesis"},
    {"E1 AND", "Missing right argument for operator AND"},
    {"E1 AND ()", "Missing right argument for operator ("},
    {"AND E1", "Missing argument for operator AND"},
    {"* 2", "Missing argument for operator *"},
    {"E1 NOT E2", "Unexpected operator NOT or left parameter not needed"},
    {"(E1)(E2)", "Unexpected operator ( or left parameter not needed"},
    {"E1 OR FOO", "Invalid variable FOO"},
    {"FOO OR BAR", "Invalid variable BAR"}, // a later invalid operand's message replaces the earlier
    {" E1", "Invalid variable  E1"},         // not split by an operator: not trimmed
    {"x = 1", "Invalid variable x"},
    {"E1 - 1 / -1", "Missing right argument for operator /"}, // the rightmost "-" splits first
};

TEST(Expression, FaultsGiveTheirMessages)
{
    for (const ErrorCase& c : kErrors) {
        SCOPED_TRACE(c.text);
        const Expression e(c.text);
        EXPECT_FALSE(e.ok());
        EXPECT_EQ(e.error(), c.message);
    }
    const Expression valid("E1 OR E2");
    EXPECT_TRUE(valid.ok());
    EXPECT_EQ(valid.error(), "");
    EXPECT_EQ(valid.variableBeyond(2), "");
    const Expression beyond("E1 OR E3");
    EXPECT_EQ(beyond.highestVariable(), 3);
    EXPECT_EQ(beyond.variableBeyond(2), "Cannot use variable E3");
    EXPECT_EQ(Expression("1 + 2").highestVariable(), -1);
    const Expression empty("");
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.error(), "");
}

TEST(Expression, HostileNestingIsRefusedNotACrash)
{
    const std::string deep = std::string(10000, '(') + "E1" + std::string(10000, ')');
    const Expression e(deep);
    EXPECT_FALSE(e.ok());
    EXPECT_EQ(e.error(), "Expression nested too deeply");
    // A long chain that is still within the bound parses and evaluates.
    const Expression chain(defaultExpression(500));
    ASSERT_TRUE(chain.ok()) << chain.error();
    EXPECT_EQ(chain.highestVariable(), 500);
}

TEST(Expression, DefaultExpressionNamesEveryPair)
{
    EXPECT_EQ(defaultExpression(0), "");
    EXPECT_EQ(defaultExpression(1), "E1");
    EXPECT_EQ(defaultExpression(3), "E1 OR E2 OR E3");
}

} // namespace
} // namespace tw
