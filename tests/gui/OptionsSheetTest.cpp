// The Options sheet: entries it refuses, what it stores, and the page it reopens on.
#include "TestUtil.h"
#include "app/SettingsStore.h"
#include "gui/ColorButton.h"
#include "gui/MainWindow.h"
#include "gui/NumberBox.h"
#include "gui/OptionsSheet.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <vector>

namespace tw {
namespace {

constexpr const char* kPicture = "dd/MM/yyyy";

template <typename W>
W* control(QWidget& parent, const QString& accessibleName)
{
    for (W* w : parent.findChildren<W*>())
        if (w->accessibleName() == accessibleName)
            return w;
    ADD_FAILURE() << "no control named " << accessibleName.toStdString();
    return nullptr;
}

// A file time computed from the calendar, independent of the program's date code.
FileTime fileTime(int year, int month, int day, int secondsIntoDay)
{
    return (QDate(1601, 1, 1).daysTo(QDate(year, month, day)) * 86400 + secondsIntoDay) * kFileTimeTicksPerSecond;
}

// A sheet over `options` whose messages are collected instead of shown.
struct Sheet {
    Sheet(const ProgramOptions& options, int page) : sheet(options, page, kPicture)
    {
        sheet.setMessageSink([this](const QString& text) { messages.push_back(text.toStdString()); });
        sheet.show();
    }
    void type(const char* name, const QString& text)
    {
        QWidget* field = nullptr;
        for (NumberBox* box : sheet.findChildren<NumberBox*>())
            if (box->accessibleName() == QLatin1String(name)) {
                box->setText(QString());
                field = box;
            }
        if (!field) {
            QLineEdit* edit = control<QLineEdit>(sheet, QString::fromLatin1(name));
            if (!edit)
                return;
            edit->clear();
            field = edit;
        }
        QTest::keyClicks(field, text);
    }
    // True when OK closed the sheet.
    bool pressOk()
    {
        QTest::mouseClick(control<QPushButton>(sheet, QStringLiteral("OK")), Qt::LeftButton);
        return sheet.result() == QDialog::Accepted && !sheet.isVisible();
    }
    bool focusIsIn(const char* name)
    {
        QWidget* focus = sheet.focusWidget();
        for (QWidget* w : sheet.findChildren<QWidget*>())
            if (w->accessibleName() == QLatin1String(name))
                return focus && (focus == w || w->isAncestorOf(focus));
        return false;
    }

    OptionsSheet sheet;
    std::vector<std::string> messages;
};

TEST(OptionsSheet, NumberBoxesRefuseEntriesOutsideTheirLimits)
{
    const std::string items = "Please enter an integer between 5 and 50.";
    const std::string regex = "Please enter an integer between 50 and 32767.";
    const std::string notInteger = "Please enter an integer.";
    const struct {
        int page;
        const char* box;
        const char* text;
        const std::string* message; // nullptr: accepted
        int ProgramOptions::*field;
        int value;
    } cases[] = {
        {OptionsSheet::GeneralPageIndex, "# of Items to save:", "4", &items, nullptr, 0},
        {OptionsSheet::GeneralPageIndex, "# of Items to save:", "51", &items, nullptr, 0},
        {OptionsSheet::GeneralPageIndex, "# of Items to save:", "5", nullptr, &ProgramOptions::maxItemsSaved, 5},
        {OptionsSheet::GeneralPageIndex, "# of Items to save:", "50", nullptr, &ProgramOptions::maxItemsSaved, 50},
        {OptionsSheet::GeneralPageIndex, "Lines to view:", "x7", &notInteger, nullptr, 0},
        {OptionsSheet::SearchPageIndex, "Maximum Regular Expression Size:", "49", &regex, nullptr, 0},
        {OptionsSheet::SearchPageIndex, "Maximum Regular Expression Size:", "50", nullptr,
         &ProgramOptions::maxRegexSize, 50},
        {OptionsSheet::SearchPageIndex, "Maximum Regular Expression Size:", "32767", nullptr,
         &ProgramOptions::maxRegexSize, 32767},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.box) + " " + c.text);
        ProgramOptions start;
        start.maxItemsSaved = 20;
        start.maxRegexSize = 1000;
        Sheet s(start, c.page);
        s.type(c.box, QString::fromLatin1(c.text));
        if (c.message) {
            // Neither another page nor OK: the sheet stays on the page, at the box.
            s.sheet.tabs()->setCurrentIndex(OptionsSheet::OutputPageIndex);
            EXPECT_EQ(s.sheet.currentPage(), c.page);
            EXPECT_FALSE(s.pressOk());
            EXPECT_EQ(s.messages, std::vector<std::string>(2, *c.message));
            EXPECT_TRUE(s.focusIsIn(c.box));
            EXPECT_EQ(s.sheet.options().maxItemsSaved, 20);
            EXPECT_EQ(s.sheet.options().maxRegexSize, 1000);
        } else {
            EXPECT_TRUE(s.pressOk());
            EXPECT_TRUE(s.messages.empty());
            EXPECT_EQ(s.sheet.options().*c.field, c.value);
        }
    }
}

TEST(OptionsSheet, DetectUtf16CheckBoxShowsAndStoresTheSetting)
{
    for (bool on : {true, false}) {
        ProgramOptions options;
        options.detectUtf16 = on;
        Sheet s(options, OptionsSheet::SearchPageIndex);
        QCheckBox* box = control<QCheckBox>(s.sheet, QStringLiteral("Detect UTF-16 files"));
        ASSERT_TRUE(box);
        EXPECT_EQ(box->isChecked(), on);
        box->click();
        ASSERT_TRUE(s.pressOk());
        EXPECT_EQ(s.sheet.options().detectUtf16, !on);
    }
}

TEST(OptionsSheet, NumberBoxSpinButtonsStayWithinTheLimits)
{
    ProgramOptions start;
    start.contextLines = 49;
    Sheet s(start, OptionsSheet::GeneralPageIndex);
    NumberBox* lines = control<NumberBox>(s.sheet, QStringLiteral("Lines to view:"));
    ASSERT_TRUE(lines);
    lines->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(lines, Qt::Key_Up);
    EXPECT_EQ(lines->text(), QStringLiteral("50"));
    EXPECT_TRUE(s.pressOk());
    EXPECT_EQ(s.sheet.options().contextLines, 50);
}

TEST(OptionsSheet, NoPromptsUndoSpaceAndColoursAreStored)
{
    ProgramOptions start;
    start.promptMode = 0;
    start.undoSpaceBytes = int64_t(3000) << 20; // past 2 GiB: the page shows it in MB
    Sheet s(start, OptionsSheet::ReplacePageIndex);
    auto* undoSpace = control<NumberBox>(s.sheet, QStringLiteral("Undo Space (MB):"));
    ASSERT_TRUE(undoSpace);
    EXPECT_EQ(undoSpace->text(), QStringLiteral("3000"));
    undoSpace->setText(QStringLiteral("0"));
    auto* noPrompts = control<QRadioButton>(s.sheet, QStringLiteral("No Prompts"));
    // On the button's indicator: a click on its empty right part does not press it.
    QTest::mouseClick(noPrompts, Qt::LeftButton, {}, QPoint(6, noPrompts->height() / 2));
    ASSERT_TRUE(noPrompts->isChecked());

    s.sheet.tabs()->setCurrentIndex(OptionsSheet::GeneralPageIndex);
    auto* found = control<ColorButton>(s.sheet, QStringLiteral("Found Color"));
    ASSERT_TRUE(found);
    QTest::mouseClick(found, Qt::LeftButton);
    ASSERT_TRUE(found->popup());
    QTest::mouseClick(control<QToolButton>(*found->popup(), QStringLiteral("Blue")), Qt::LeftButton);
    EXPECT_FALSE(found->popup()); // the popup closes on a choice

    EXPECT_TRUE(s.pressOk());
    EXPECT_EQ(s.sheet.options().promptMode, 2);
    EXPECT_EQ(s.sheet.options().undoSpaceBytes, 0); // keeps no history
    EXPECT_EQ(s.sheet.options().stringColor, 0xFF0000u); // 0x00BBGGRR
    EXPECT_EQ(s.sheet.options().fileColor, start.fileColor);
}

TEST(OptionsSheet, FilterPageReadsDatesAndSizes)
{
    const struct {
        const char *before, *after, *less, *greater;
        const char* message; // nullptr: accepted
        const char* focus;
    } cases[] = {
        {"29/02/1900", "", "", "", "Invalid day", "Before date:"},
        {"", "31/04/2001", "", "", "Invalid day", "After date:"},
        {"", "", "200", "100", "Invalid file size!", "Less than:"},
        {"", "", "", "K", "Invalid file size!", "Greater than:"},
        {"", "", "-5", "", "Invalid file size!", "Less than:"},
        {"", "", "", "-1k", "Invalid file size!", "Greater than:"},
        {"01/03/2001", "31/03/2001", "1k", "", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.before) + "|" + c.after + "|" + c.less + "|" + c.greater);
        ProgramOptions start;
        start.maxSize = 5000; // shown as a number, replaced by the typed text
        Sheet s(start, OptionsSheet::FilterPageIndex);
        EXPECT_EQ(control<QLineEdit>(s.sheet, QStringLiteral("Greater than:"))->text(), QStringLiteral("5000"));
        s.type("Before date:", QString::fromLatin1(c.before));
        s.type("After date:", QString::fromLatin1(c.after));
        s.type("Less than:", QString::fromLatin1(c.less));
        s.type("Greater than:", QString::fromLatin1(c.greater));
        if (c.message) {
            s.sheet.tabs()->setCurrentIndex(OptionsSheet::GeneralPageIndex);
            EXPECT_EQ(s.sheet.currentPage(), OptionsSheet::FilterPageIndex);
            EXPECT_FALSE(s.pressOk());
            EXPECT_EQ(s.messages, std::vector<std::string>(2, c.message));
            EXPECT_TRUE(s.focusIsIn(c.focus));
            EXPECT_EQ(s.sheet.options().maxSize, 5000);
        } else {
            EXPECT_TRUE(s.pressOk());
            EXPECT_TRUE(s.messages.empty());
            EXPECT_EQ(s.sheet.options().minDate, fileTime(2001, 3, 1, 0));
            EXPECT_EQ(s.sheet.options().maxDate, fileTime(2001, 3, 31, 86399));
            EXPECT_EQ(s.sheet.options().minSize, 1024);
            EXPECT_EQ(s.sheet.options().maxSize, 0); // emptied: no bound
        }
    }
    // Stored dates come back in the picture.
    ProgramOptions stored;
    stored.minDate = fileTime(2001, 3, 1, 0);
    stored.maxDate = fileTime(2001, 3, 31, 86399);
    Sheet s(stored, OptionsSheet::FilterPageIndex);
    EXPECT_EQ(control<QLineEdit>(s.sheet, QStringLiteral("Before date:"))->text(), QStringLiteral("01/03/2001"));
    EXPECT_EQ(control<QLineEdit>(s.sheet, QStringLiteral("After date:"))->text(), QStringLiteral("31/03/2001"));
}

// The Options command of the main window, with the sheet driven while it is open.
class OptionsCommandTest : public ::testing::Test {
protected:
    OptionsCommandTest() : m_window(configFile()) {}

    QString configFile() const { return QString::fromStdString(m_config.file("tw.conf")); }

    // Opens the sheet from the menu and runs `drive` on it; the sheet is cancelled
    // afterwards if `drive` left it open, so no modal loop is left waiting.
    void withSheet(const std::function<void(OptionsSheet&)>& drive)
    {
        QAction* options = nullptr;
        for (QAction* menu : m_window.menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == QLatin1String("Op&tions..."))
                    options = a;
        ASSERT_TRUE(options);
        ASSERT_TRUE(options->isEnabled());
        bool driven = false;
        QTimer::singleShot(0, &m_window, [&] {
            auto* sheet = m_window.findChild<OptionsSheet*>();
            if (!sheet)
                return;
            driven = true;
            drive(*sheet);
            if (sheet->isVisible())
                sheet->reject();
        });
        options->trigger();
        EXPECT_TRUE(driven);
    }

    test::TempDir m_config;
    MainWindow m_window;
};

TEST_F(OptionsCommandTest, CancelOnTheOutputPageReopensThereAndChangesNothing)
{
    bool shownBefore = false;
    withSheet([&](OptionsSheet& sheet) {
        EXPECT_EQ(sheet.currentPage(), OptionsSheet::GeneralPageIndex); // nothing stored yet
        sheet.tabs()->setCurrentIndex(OptionsSheet::OutputPageIndex);
        auto* box = control<QCheckBox>(sheet, QStringLiteral("Display Files Without Hits"));
        shownBefore = box->isChecked();
        box->click();
        control<QLineEdit>(sheet, QStringLiteral("Before Hit:"))->setText(QStringLiteral("[["));
        sheet.reject();
    });
    EXPECT_EQ(SettingsStore(configFile()).loadLastTab(), int(OptionsSheet::OutputPageIndex));
    withSheet([&](OptionsSheet& sheet) {
        EXPECT_EQ(sheet.currentPage(), OptionsSheet::OutputPageIndex);
        EXPECT_EQ(control<QCheckBox>(sheet, QStringLiteral("Display Files Without Hits"))->isChecked(), shownBefore);
        EXPECT_EQ(control<QLineEdit>(sheet, QStringLiteral("Before Hit:"))->text(), QStringLiteral("<"));
        // OK takes the edits over, and the next opening shows them.
        control<QLineEdit>(sheet, QStringLiteral("Before Hit:"))->setText(QStringLiteral("[["));
        sheet.tabs()->setCurrentIndex(OptionsSheet::SearchPageIndex);
        sheet.accept();
    });
    EXPECT_EQ(SettingsStore(configFile()).loadLastTab(), int(OptionsSheet::SearchPageIndex));
    withSheet([&](OptionsSheet& sheet) {
        EXPECT_EQ(sheet.options().beforeHit, "[[");
    });
}

} // namespace
} // namespace tw
