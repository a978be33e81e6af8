#include "GuiControls.h"
#include "gui/TouchDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTest>

namespace tw {
namespace {

using test::control;
using test::typeInto;

// 4 Jul 2021 15:05:09 as a local file time.
constexpr FileTime kLocal = (1625411109LL + kFileTimeEpochToUnixSeconds) * kFileTimeTicksPerSecond;

// Every control has a name and its own mnemonic; the boxes start at the given time and
// the attribute boxes from the files.
TEST(TouchDialog, ShowsTheFieldsWithNamesAndMnemonics)
{
    TouchDialog d(TouchPictures(), kLocal, {kAttrReadOnly, 0u});
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(control<QLineEdit>(&d, "Date:")->text(), QStringLiteral("04/07/2021"));
    EXPECT_EQ(control<QLineEdit>(&d, "Time:")->text(), QStringLiteral("15:05:09"));
    EXPECT_EQ(control<QLineEdit>(&d, "or Add to File Time:")->text(), QStringLiteral("0"));
    EXPECT_TRUE(control<QRadioButton>(&d, "Set Files' Date/Time Only")->isChecked());
    EXPECT_EQ(control<QCheckBox>(&d, "Read Only")->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(control<QCheckBox>(&d, "Hidden")->checkState(), Qt::Unchecked);

    QSet<QChar> mnemonics;
    int marked = 0;
    auto take = [&](const QString& text) {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        if (at < 0 || at + 1 >= text.size())
            return;
        ++marked;
        const QChar key = text.at(at + 1).toLower();
        EXPECT_FALSE(mnemonics.contains(key)) << text.toStdString();
        mnemonics.insert(key);
    };
    for (QAbstractButton* b : d.findChildren<QAbstractButton*>()) {
        EXPECT_FALSE(b->accessibleName().isEmpty()) << b->text().toStdString();
        take(b->text());
    }
    for (QLabel* l : d.findChildren<QLabel*>())
        take(l->text());
    for (QLineEdit* e : d.findChildren<QLineEdit*>())
        EXPECT_FALSE(e->accessibleName().isEmpty());
    EXPECT_EQ(marked, 13); // three modes, Update, two "also", four attributes, three labels
}

// OK refuses a bad date, time or seconds box with the parser's message and stays open;
// clicking an attribute box in the date-only mode switches to attributes only; a good
// OK gives the request.
TEST(TouchDialog, ChecksTheBoxesOnOk)
{
    TouchDialog d(TouchPictures(), kLocal, {});
    std::vector<std::string> messages;
    d.setMessageSink([&](const QString& text) { messages.push_back(text.toStdString()); });
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    typeInto(&d, "Date:", QStringLiteral("31/02/2001"));
    d.accept();
    typeInto(&d, "Date:", QStringLiteral("01/02/2001"));
    typeInto(&d, "or Add to File Time:", QStringLiteral("12abc"));
    d.accept();
    EXPECT_EQ(messages, (std::vector<std::string>{"Invalid day", "Please enter an integer."}));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_TRUE(control<QLineEdit>(&d, "or Add to File Time:")->hasFocus());

    QTest::mouseClick(control<QCheckBox>(&d, "Read Only"), Qt::LeftButton);
    EXPECT_TRUE(control<QRadioButton>(&d, "Set Files' Attributes Only")->isChecked());
    control<QCheckBox>(&d, "Read Only")->setCheckState(Qt::Checked);
    control<QCheckBox>(&d, "Also Set Access Date")->setChecked(true);
    typeInto(&d, "or Add to File Time:", QStringLiteral("-60"));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(messages.size(), 2u);
    const TouchRequest& r = d.request();
    EXPECT_EQ(r.mode, TouchMode::AttributesOnly);
    EXPECT_EQ(r.attributes.readOnly, AttributeState::Set);
    EXPECT_EQ(r.attributes.archive, AttributeState::Keep);
    EXPECT_TRUE(r.alsoAccess);
    EXPECT_EQ(r.addSeconds, -60);
}

} // namespace
} // namespace tw
