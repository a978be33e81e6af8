#include "select/MaskRuleModel.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

MaskRuleFields fields(bool exclude, const char* files, bool useMatch = false, const char* dir = "",
                      bool anyLevels = false, bool subdirs = false)
{
    return MaskRuleFields{exclude, files, useMatch, dir, anyLevels, subdirs};
}

TEST(MaskRuleModel, ComposesAndParsesEntries)
{
    // Entries that parse into the fields and compose back to themselves.
    const struct {
        const char* entry;
        MaskRuleFields fields;
    } roundTrips[] = {
        {"~\\*\\obj\\*\\*.*", fields(true, "*.*", true, "\\obj\\", true, true)},
        {"*.c", fields(false, "*.c")},
        {"~*.bak", fields(true, "*.bak")},
        {"\\lib\\*.c", fields(false, "*.c", true, "\\lib\\")},
        {"\\*\\lib\\*.c", fields(false, "*.c", true, "\\lib\\", true, false)},
        {"\\lib\\*\\*.c", fields(false, "*.c", true, "\\lib\\", false, true)},
        {"/*/src/a/*/*.h", fields(false, "*.h", true, "/src/a/", true, true)},
        {"\\*.c", fields(false, "*.c", true, "\\")},
        // Too short to carry marks: "\*\" stays the directory text.
        {"\\*\\*.c", fields(false, "*.c", true, "\\*\\")},
        {"\\lib\\", fields(false, "", true, "\\lib\\")},
    };
    for (const auto& c : roundTrips) {
        EXPECT_EQ(parseMaskRule(c.entry), c.fields) << c.entry;
        EXPECT_EQ(composeMaskRule(c.fields), c.entry) << c.entry;
    }
    // Composing from fields as typed.
    const struct {
        MaskRuleFields fields;
        const char* entry;
    } composed[] = {
        {fields(true, "*.*", true, "obj", true, true), "~\\*\\obj\\*\\*.*"},
        {fields(false, "*.h", true, "lib"), "\\lib\\*.h"},
        {fields(false, "*.h", true, "src/lib", false, true), "/src/lib/*/*.h"},
        // The start directory carries no marks.
        {fields(false, "*.c", true, "\\", true, true), "\\*.c"},
        // "Use match" with no directory text, or "All": the files text alone.
        {fields(false, "*.c", true, "", true, true), "*.c"},
        {fields(true, "*.o", false, "obj", true, true), "~*.o"},
        // Nothing to match is no entry, excluded or not.
        {fields(false, ""), ""},
        {fields(true, ""), ""},
    };
    for (const auto& c : composed)
        EXPECT_EQ(composeMaskRule(c.fields), c.entry) << c.entry;
}

TEST(MaskRuleModel, SplitsAndJoinsTheMaskText)
{
    EXPECT_EQ(splitMaskText("*.c;~test*.c;;\\lib\\*.h;"), (std::vector<std::string>{"*.c", "~test*.c", "\\lib\\*.h"}));
    EXPECT_TRUE(splitMaskText(";;;").empty());
    EXPECT_EQ(joinMaskEntries({"*.c", " ", "~*.o", ""}), "*.c;~*.o");
    EXPECT_EQ(joinMaskEntries({" "}), "");
}

TEST(MaskRuleModel, EditsTheListAndKeepsTheSelectionValid)
{
    MaskRuleModel m("*.c;~test*.c");
    EXPECT_EQ(m.selected(), 0);
    EXPECT_EQ(m.fields(), fields(false, "*.c"));
    EXPECT_FALSE(m.canMoveUp());
    EXPECT_TRUE(m.canMoveDown());

    m.fields() = fields(true, "*.*", true, "obj", true, true);
    m.add();
    EXPECT_EQ(m.selected(), 2);
    EXPECT_EQ(m.text(), "*.c;~test*.c;~\\*\\obj\\*\\*.*");
    EXPECT_FALSE(m.canMoveDown());

    // Up applies the fields first, then swaps.
    m.fields().filesMatching = "*.o";
    m.moveUp();
    EXPECT_EQ(m.selected(), 1);
    EXPECT_EQ(m.text(), "*.c;~\\*\\obj\\*\\*.o;~test*.c");

    m.select(0);
    m.fields().filesMatching = "*.h";
    m.insert();
    EXPECT_EQ(m.selected(), 0);
    EXPECT_EQ(m.text(), "*.h;*.c;~\\*\\obj\\*\\*.o;~test*.c");

    m.moveDown();
    EXPECT_EQ(m.text(), "*.c;*.h;~\\*\\obj\\*\\*.o;~test*.c");
    EXPECT_EQ(m.selected(), 1);

    // Applying empty fields deletes the entry; Delete selects the entry now at that place.
    m.fields() = fields(false, "");
    m.apply();
    EXPECT_EQ(m.text(), "*.c;~\\*\\obj\\*\\*.o;~test*.c");
    EXPECT_EQ(m.selected(), 1);
    EXPECT_EQ(m.fields(), fields(true, "*.o", true, "\\obj\\", true, true));

    // Deleting the last entry selects the new last one; deleting all selects none.
    m.select(2);
    m.remove();
    EXPECT_EQ(m.selected(), 1);
    m.remove();
    m.remove();
    EXPECT_EQ(m.selected(), MaskRuleModel::kNone);
    EXPECT_FALSE(m.canApply());
    EXPECT_FALSE(m.canDelete());
    EXPECT_FALSE(m.canMoveUp());
    EXPECT_FALSE(m.canMoveDown());
    EXPECT_EQ(m.text(), "");

    // Add with empty fields leaves no placeholder behind.
    m.fields() = fields(false, "");
    m.add();
    EXPECT_TRUE(m.entries().empty());
    // Insert with nothing selected puts the entry in front.
    MaskRuleModel n("*.c");
    n.select(MaskRuleModel::kNone);
    n.fields() = fields(false, "*.h");
    n.insert();
    EXPECT_EQ(n.text(), "*.h;*.c");
}

} // namespace
} // namespace tw
