#include "GuiControls.h"
#include "TestUtil.h"
#include "gui/MainWindow.h"
#include "gui/MaskRulesDialog.h"

#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <ostream>



namespace tw {
namespace {

using test::control;
using test::typeInto;
using test::pressButton;

QStringList rows(QWidget* dialog)
{
    QStringList out;
    QListWidget* list = control<QListWidget>(dialog, "Masks");
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}


TEST(MaskRulesDialog, EditsEntriesThroughItsControls)
{
    MaskRulesDialog d(QStringLiteral("*.c;~test*.c"));
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Include/Exclude Files and Directories"));
    EXPECT_EQ(rows(&d), (QStringList{"*.c", "~test*.c"}));
    // The first entry is selected and shown; it is the first, so Up is not available.
    EXPECT_EQ(control<QLineEdit>(&d, "Files Matching:")->text(), QStringLiteral("*.c"));
    EXPECT_TRUE(control<QRadioButton>(&d, "Include")->isChecked());
    EXPECT_FALSE(control<QPushButton>(&d, "Up")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(&d, "Down")->isEnabled());
    EXPECT_FALSE(control<QLineEdit>(&d, "Matching:")->isEnabled()); // "All" directories

    // An exclusion of every "obj" tree, added at the end, then moved up.
    control<QRadioButton>(&d, "Exclude")->click();
    typeInto(&d, "Files Matching:", QStringLiteral("*.*"));
    control<QRadioButton>(&d, "Use match")->click();
    typeInto(&d, "Matching:", QStringLiteral("obj"));
    control<QCheckBox>(&d, "Any # of levels under start directory")->setChecked(true);
    control<QCheckBox>(&d, "Also process its subdirectories")->setChecked(true);
    pressButton(&d, "Add");
    EXPECT_EQ(rows(&d), (QStringList{"*.c", "~test*.c", "~\\*\\obj\\*\\*.*"}));
    EXPECT_FALSE(control<QPushButton>(&d, "Down")->isEnabled());
    pressButton(&d, "Up");
    EXPECT_EQ(rows(&d), (QStringList{"*.c", "~\\*\\obj\\*\\*.*", "~test*.c"}));
    EXPECT_EQ(control<QListWidget>(&d, "Masks")->currentRow(), 1);

    // Selecting the first entry shows its fields; Delete takes it and selects the next.
    control<QListWidget>(&d, "Masks")->setCurrentRow(0);
    EXPECT_TRUE(control<QRadioButton>(&d, "All")->isChecked());
    pressButton(&d, "Delete");
    EXPECT_EQ(rows(&d), (QStringList{"~\\*\\obj\\*\\*.*", "~test*.c"}));
    // The selected entry parses back into the fields it was made of.
    EXPECT_TRUE(control<QRadioButton>(&d, "Exclude")->isChecked());
    EXPECT_EQ(control<QLineEdit>(&d, "Matching:")->text(), QStringLiteral("\\obj\\"));
    EXPECT_TRUE(control<QCheckBox>(&d, "Also process its subdirectories")->isChecked());
    // Apply with empty fields deletes the entry.
    typeInto(&d, "Files Matching:", QString());
    control<QRadioButton>(&d, "All")->click();
    pressButton(&d, "Apply");
    EXPECT_EQ(rows(&d), (QStringList{"~test*.c"}));
    pressButton(&d, "Delete");
    EXPECT_TRUE(rows(&d).isEmpty());
    for (const char* b : {"Apply", "Delete", "Up", "Down"})
        EXPECT_FALSE(control<QPushButton>(&d, b)->isEnabled()) << b;
    EXPECT_EQ(d.maskText(), QString());
}

// Alt plus the letter; a button's click comes at the end of its animation, so the test
// waits for what the click does.
void accelerator(QWidget* dialog, Qt::Key key, const std::function<bool()>& done)
{
    QTest::keyClick(dialog, key, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor(done, 10000)) << "Alt+" << QKeySequence(key).toString().toStdString();
}

TEST(MaskRulesDialog, AcceleratorsReachTheFields)
{
    MaskRulesDialog d(QStringLiteral("*.c"));
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    accelerator(&d, Qt::Key_E, [&] { return control<QRadioButton>(&d, "Exclude")->isChecked(); });
    accelerator(&d, Qt::Key_U, [&] { return control<QRadioButton>(&d, "Use match")->isChecked(); });
    accelerator(&d, Qt::Key_T, [&] { return control<QLineEdit>(&d, "Matching:")->hasFocus(); });
    QTest::keyClicks(control<QLineEdit>(&d, "Matching:"), QStringLiteral("lib"));
    accelerator(&d, Qt::Key_S, [&] { return control<QCheckBox>(&d, "Also process its subdirectories")->isChecked(); });
    accelerator(&d, Qt::Key_Y, [&] { return d.maskText() == QStringLiteral("~\\lib\\*\\*.c"); }); // Apply
    EXPECT_EQ(d.maskText(), QStringLiteral("~\\lib\\*\\*.c"));
}

// OK takes an edit of the fields that Apply was not pressed for, as Apply would; with no
// edit the entries stay as they are.
TEST(MaskRulesDialog, OkAppliesAPendingEdit)
{
    for (const bool edited : {true, false}) {
        MaskRulesDialog d(QStringLiteral("*.c;~test*.c"));
        d.show();
        if (edited) {
            control<QRadioButton>(&d, "Exclude")->click();
            typeInto(&d, "Files Matching:", QStringLiteral("*.h"));
        }
        pressButton(&d, "OK");
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(d.maskText(), edited ? QStringLiteral("~*.h;~test*.c") : QStringLiteral("*.c;~test*.c"));
    }
}

TEST(MaskRulesDialog, OpensFromTheMaskBoxAndWritesTheTextBack)
{
    test::TempDir config;
    MainWindow window(QString::fromStdString(config.file("tw.conf")));
    window.show();
    QComboBox* mask = control<QComboBox>(&window, "File Mask");
    mask->setEditText(QStringLiteral("*.c"));
    bool driven = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<MaskRulesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(rows(d), (QStringList{"*.c"}));
        typeInto(d, "Files Matching:", QStringLiteral("*.h"));
        pressButton(d, "Add");
        pressButton(d, "Up");
        pressButton(d, "OK");
        driven = true;
    });
    QTest::mouseClick(control<QPushButton>(&window, "File Mask ..."), Qt::LeftButton);
    EXPECT_TRUE(driven);
    EXPECT_EQ(mask->currentText(), QStringLiteral("*.h;*.c"));
}

} // namespace
} // namespace tw
