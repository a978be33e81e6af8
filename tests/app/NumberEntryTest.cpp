// Whole numbers as typed into the number boxes of the Options sheet.
#include "app/NumberEntry.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(NumberEntry, LimitsAndNonNumbers)
{
    const std::string range = "Please enter an integer between 5 and 50.";
    const std::string notInteger = "Please enter an integer.";
    const struct {
        const char* text;
        int value;           // when accepted
        const std::string* error; // nullptr: accepted
    } cases[] = {
        {"5", 5, nullptr},      {"50", 50, nullptr},       {" 17 ", 17, nullptr},   {"+6", 6, nullptr},
        {"4", 0, &range},       {"51", 0, &range},         {"-7", 0, &range},       {"99999999999999999999", 0, &range},
        {"", 0, &notInteger},   {"  ", 0, &notInteger},    {"-", 0, &notInteger},   {"1.5", 0, &notInteger},
        {"12abc", 0, &notInteger}, {"1 2", 0, &notInteger},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto v = parseIntegerEntry(c.text, 5, 50, &error);
        if (c.error) {
            EXPECT_FALSE(v) << c.text;
            EXPECT_EQ(error, *c.error) << c.text;
        } else {
            ASSERT_TRUE(v) << c.text;
            EXPECT_EQ(*v, c.value) << c.text;
        }
    }
}

} // namespace
} // namespace tw
