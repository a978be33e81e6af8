#include "TestUtil.h"
#include "gui/MainWindow.h"
#include "gui/BinaryModeDialog.h"
#include "gui/ContextWindow.h"
#include "gui/FileOperationsDialog.h"
#include "gui/PatchFilesModel.h"
#include "gui/PreviewWindow.h"
#include "gui/TouchDialog.h"
#include "gui/UndoReplaceDialog.h"
#include "gui/ScriptEditorDialog.h"
#include "gui/QuestionDialog.h"
#include "gui/Commands.h"
#include "gui/UiText.h"
#include "app/CommandLine.h"
#include "app/ToolbarLayout.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <vector>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A main window over a private settings file, driven through its controls.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : m_window(QString::fromStdString(m_config.file("tw.conf"))) {}

    template <typename W>
    W* control(const char* accessibleName)
    {
        for (W* w : m_window.findChildren<W*>())
            if (w->accessibleName() == QLatin1String(accessibleName))
                return w;
        ADD_FAILURE() << "no control named " << accessibleName;
        return nullptr;
    }
    void type(const char* box, const std::string& text)
    {
        QLineEdit* edit = control<QComboBox>(box)->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, QString::fromStdString(text));
    }
    // Presses the button and waits until the window is idle again.
    bool runWith(const char* button)
    {
        QSignalSpy ended(&m_window, &MainWindow::runEnded);
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
        return ended.wait(20000);
    }

    TempDir m_config;
    TempDir m_dir;
    MainWindow m_window;
};

TEST_F(MainWindowTest, SearchShowsFileAndHitLines)
{
    writeFile(m_dir.file("a.txt"), "one\nthe needle here\nthree\n");
    writeFile(m_dir.file("b.dat"), "needle\n");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    // Enter in an input box issues Search.
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    QTest::keyClick(control<QComboBox>("Path")->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(ended.wait(20000));

    ResultsModel& model = m_window.model();
    ASSERT_GE(model.rowCount(), 3);
    EXPECT_EQ(model.kindAt(0), LineKind::File);
    EXPECT_EQ(model.pathAt(0), m_dir.file("a.txt"));
    const QModelIndex hit = model.index(1);
    EXPECT_EQ(model.kindAt(1), LineKind::Hit);
    EXPECT_EQ(model.data(hit, ResultsModel::LineNumberRole).toLongLong(), 2);
    const QString shown = model.data(hit).toString();
    const int begin = model.data(hit, ResultsModel::HitBeginRole).toInt();
    const int end = model.data(hit, ResultsModel::HitEndRole).toInt();
    EXPECT_EQ(shown.mid(begin, end - begin), "needle");
    // The mask kept b.dat out: no line is about it.
    for (int i = 0; i < model.rowCount(); ++i)
        EXPECT_NE(model.pathAt(i), m_dir.file("b.dat"));
    EXPECT_EQ(model.kindAt(model.rowCount() - 1), LineKind::Summary);
    EXPECT_EQ(control<QPushButton>("Search")->text(), "Search");

    // Ctrl+C in the list: the heading, then the selected line with the hit texts around
    // the found text.
    auto* list = m_window.findChild<QListView*>();
    ASSERT_NE(list, nullptr);
    list->selectionModel()->select(hit, QItemSelectionModel::ClearAndSelect);
    m_window.show();
    m_window.activateWindow();
    list->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    // Lines end with LF, as Linux editors and terminals expect.
    EXPECT_TRUE(copied.contains("Search String: needle\n")) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith("\nLine   2 - the <needle> here\n")) << copied.toStdString();
    EXPECT_FALSE(copied.contains('\r')) << copied.toStdString();
}

// The page of the list is escaped like the command line's, and the menus offer only the
// commands that are built: the others are listed, greyed.
TEST_F(MainWindowTest, HtmlPageAndMenuCommands)
{
    writeFile(m_dir.file("<b>x.txt"), "a & needle\n");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Search"));
    const std::string page = m_dir.file("page.htm");
    ASSERT_TRUE(m_window.writeResultsPage(page));
    const std::string html = readFile(page);
    EXPECT_NE(html.find("&#60;b&#62;x&#46;txt</FONT></B></A>"), std::string::npos) << html;
    EXPECT_EQ(html.find("<b>x"), std::string::npos);
    EXPECT_NE(html.find("a &#38; <B><FONT COLOR=\"#dc3403\">needle</FONT></B>"), std::string::npos) << html;

    std::map<QString, bool> enabled;
    for (QAction* menu : m_window.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator())
                enabled[a->text()] = a->isEnabled();
    EXPECT_TRUE(enabled["&Copy Search Results"]);
    EXPECT_TRUE(enabled["View Results as &HTML"]);
    EXPECT_TRUE(enabled["&Search\tCtrl+F"]);
    EXPECT_TRUE(enabled["&Touch...\tCtrl+T"]);
    EXPECT_TRUE(enabled["&File Operations..."]);
    EXPECT_TRUE(enabled["Open with &Default Viewer"]); // xdg-open unless another is set
    EXPECT_TRUE(enabled["Pre&view Replace\tCtrl+Shift+H"]);
    EXPECT_TRUE(enabled["&Undo Last Replace..."]);
    EXPECT_EQ(enabled.size(), 26u);
}

TEST_F(MainWindowTest, ReplaceAsksThroughTheHostAndRewritesTheFile)
{
    writeFile(m_dir.file("a.txt"), "cat dog cat\n");
    std::vector<Question> asked;
    m_window.host().setAnswerProvider([&](Question kind, const QString&, const QString&) {
        asked.push_back(kind);
        // The first hit is replaced, the second skipped; the backup and the per-file
        // questions are answered Yes.
        if (kind == Question::ReplaceHit)
            return std::count(asked.begin(), asked.end(), Question::ReplaceHit) == 1 ? Answer::ReplaceThis
                                                                                    : Answer::SkipThis;
        return Answer::Yes;
    });
    std::vector<QString> messages;
    m_window.host().setMessageSink([&](const QString& text) { messages.push_back(text); });
    type("Search String", "cat");
    type("Replace", "cow");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Replace"));
    EXPECT_EQ(m_window.controller().lastOutcome(), RunOutcome::Completed);
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cow dog cat\n");
    EXPECT_EQ(std::count(asked.begin(), asked.end(), Question::ReplaceHit), 2);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), Question::YesNoCancel), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, ClosingDuringAQuestionCancelsTheRunAndThenCloses)
{
    writeFile(m_dir.file("a.txt"), "cat\n");
    m_window.show();
    type("Search String", "cat");
    type("Replace", "cow");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    QTest::mouseClick(control<QPushButton>("Replace"), Qt::LeftButton);
    // The first question (the missing backup directory) is shown as a dialog.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window.findChild<QuestionDialog*>() != nullptr; }, 20000));
    // The pressed command has become its stop button.
    EXPECT_TRUE(control<QPushButton>("Stop")->isEnabled());
    m_window.close();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_NE(m_window.controller().lastOutcome(), RunOutcome::Completed);
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cat\n");
}

TEST_F(MainWindowTest, EscapeStopsTheRunAndKeepsTheWindow)
{
    writeFile(m_dir.file("a.txt"), "cat\n");
    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    // Escape is pressed while the run waits for its first answer; every answer given
    // would let the replace go ahead.
    bool pressed = false;
    m_window.host().setAnswerProvider([&](Question kind, const QString&, const QString&) {
        if (!pressed) {
            pressed = true;
            QTest::keyClick(&m_window, Qt::Key_Escape);
        }
        return kind == Question::ReplaceHit ? Answer::ReplaceThis : Answer::Yes;
    });
    type("Search String", "cat");
    type("Replace", "cow");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Replace"));
    EXPECT_NE(m_window.controller().lastOutcome(), RunOutcome::Completed);
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cat\n");
}

TEST_F(MainWindowTest, AStopRightAfterTheStartIsNotLost)
{
    // Enough files that the run cannot end before the stop arrives, even in a slow build.
    for (int i = 0; i < 3000; ++i)
        writeFile(m_dir.file("f" + std::to_string(i) + ".txt"), "needle\n");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    m_window.runCommand(false);
    m_window.stopRun();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_NE(m_window.controller().lastOutcome(), RunOutcome::Completed);
    EXPECT_EQ(control<QPushButton>("Search")->text(), "Search");
}

// The toolbar, the window rectangle and the recent lists come back in the next window;
// values a hand-edited file spoils are ignored.
TEST_F(MainWindowTest, ArrangementRectangleAndRecentItemsPersist)
{
    const QString config = QString::fromStdString(m_config.file("tw.conf"));
    writeFile(m_dir.file("a.txt"), "needle\n");
    m_window.setToolbarItems({kCmdOptions, kToolbarSeparator, kCmdSearch});
    m_window.move(40, 60);
    m_window.resize(700, 480);
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Search"));
    type("Search String", "other");
    m_window.close();
    {
        MainWindow again(config);
        EXPECT_EQ(again.toolbarItems(), (std::vector<int>{kCmdOptions, kToolbarSeparator, kCmdSearch}));
        EXPECT_EQ(again.size(), QSize(700, 480));
        auto* search = again.findChild<QComboBox*>();
        ASSERT_NE(search, nullptr);
        // The current text was never run, so it comes first, ahead of the run's.
        EXPECT_EQ(search->currentText().toStdString(), "other");
        EXPECT_EQ(search->itemText(1).toStdString(), "needle");
    }
    {
        QSettings s(config, QSettings::IniFormat);
        s.setValue("Settings/ToolBar", QByteArray("garbage"));
        s.setValue("Options/Window Position", "1,2,3");
    }
    MainWindow spoiled(config);
    EXPECT_FALSE(spoiled.toolbarItems().empty());
    EXPECT_GE(spoiled.width(), 550);
    EXPECT_GE(spoiled.height(), 400);

    // A file of random bytes opens with the defaults.
    std::string noise(4096, '\0');
    unsigned seed = 12345;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    const std::string noisy = m_config.file("noise.conf");
    writeFile(noisy, noise);
    MainWindow fromNoise(QString::fromStdString(noisy));
    EXPECT_EQ(fromNoise.toolbarItems().empty(), false);
    EXPECT_TRUE(fromNoise.action(kCmdSearch)->isEnabled());
}

// A first start (nothing saved) offers every file of the directory the program was
// started in, so that a first Search finds something.
TEST_F(MainWindowTest, AFirstStartOffersEveryFileOfTheCurrentDirectory)
{
    EXPECT_EQ(control<QComboBox>("File Mask")->currentText(), "*.*");
    const std::string cwd = std::filesystem::current_path().string();
    if (cwd != "/") {
        EXPECT_EQ(control<QComboBox>("Path")->currentText().toStdString(), cwd + "/");
    }
}

// A rectangle saved at another scale factor or on a larger screen is fitted into the
// screen: the title bar and the menu are never off it.
TEST_F(MainWindowTest, ASavedRectangleLargerThanTheScreenIsFittedIntoIt)
{
    const QString config = QString::fromStdString(m_config.file("large.conf"));
    QSettings(config, QSettings::IniFormat).setValue("Options/Window Position", "-58,-30,1462,1010");
    MainWindow window(config);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(screen.width(), 1520);
    EXPECT_TRUE(screen.contains(QRect(window.pos(), window.size())))
        << window.x() << "," << window.y() << " " << window.width() << "x" << window.height();
}

TEST_F(MainWindowTest, DropsNoReplaceAndTheCloseAfterRunFlag)
{
    // A dropped directory is the path with the mask "*.*"; a dropped file splits in two.
    m_window.dropPath(QString::fromStdString(m_dir.path()).chopped(m_dir.path().ends_with('/') ? 1 : 0));
    EXPECT_EQ(control<QComboBox>("File Mask")->currentText(), "*.*");
    std::string dir = m_dir.path();
    dir.erase(dir.find_last_not_of('/') + 1);
    EXPECT_EQ(control<QComboBox>("Path")->currentText().toStdString(), dir + "/");
    writeFile(m_dir.file("x.txt"), "needle\n");
    m_window.dropPath(QString::fromStdString(m_dir.file("x.txt")));
    EXPECT_EQ(control<QComboBox>("File Mask")->currentText(), "x.txt");

    // "/q" with a search: the run is quiet and the window closes after it.
    m_window.show();
    std::vector<QString> shown;
    m_window.host().setMessageSink([&](const QString& t) { shown.push_back(t); });
    m_window.applyCommandLine(parseCommandLine("/S\"needle\" /P" + m_dir.file("nothing*.txt") + " /q"));
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    m_window.issueCommandLineCommand();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_TRUE(shown.empty()); // "No Files Were Found" is not shown in quiet mode

    const QString config = QString::fromStdString(m_config.file("no-replace.conf"));
    QSettings(config, QSettings::IniFormat).setValue("Flags/No Replace", 1);
    MainWindow locked(config);
    EXPECT_FALSE(locked.action(kCmdReplace)->isEnabled());
    locked.runCommand(true);
    EXPECT_FALSE(locked.running());
}

// A script named on the command line is shown in the boxes and greys the flags it decides;
// Search runs it. Several dropped files become EXPLORER.TWS, shown in the mask and path boxes.
TEST_F(MainWindowTest, ScriptsFromTheCommandLineAndFromADropAreShownAndRun)
{
    writeFile(m_dir.file("a.txt"), "needle\n");
    writeFile(m_dir.file("b.txt"), "hay\n");
    const std::string script = m_dir.file("s.tws");
    writeFile(script, "[Script for Tarnwick]\r\n[Search]\r\nneedle\r\n[Replace]\r\npin\r\n[Path]\r\n" +
                          m_dir.path() + "*.txt\r\n[End of Tarnwick Script]\r\n");
    m_window.applyCommandLine(parseCommandLine("/C\"" + script + "\""));
    const QString shown = QString::fromLatin1(kScriptPrefix) + QString::fromStdString(script);
    for (const char* box : {"Search String", "Replace", "File Mask", "Path"})
        EXPECT_EQ(control<QComboBox>(box)->currentText(), shown) << box;
    EXPECT_EQ(m_window.lastScriptFile(), script);
    EXPECT_FALSE(m_window.action(kCmdCaseSensitive)->isEnabled());
    EXPECT_FALSE(m_window.action(kCmdIgnoreWhitespace)->isEnabled());
    EXPECT_FALSE(m_window.action(kCmdRegularExpression)->isEnabled());
    ASSERT_TRUE(runWith("Search"));
    EXPECT_EQ(m_window.controller().exitStatus(), 0);
    EXPECT_EQ(m_window.model().pathAt(0), m_dir.file("a.txt"));
    // The script's file changed since it was read: the next run reads it again.
    writeFile(script, "[Script for Tarnwick]\r\n[Search]\r\nhay\r\n[Replace]\r\n\r\n[Path]\r\n" + m_dir.path() +
                          "*.txt\r\n[Path]\r\n" + m_dir.path() + "sub/\r\n[End of Tarnwick Script]\r\n");
    ASSERT_TRUE(runWith("Search"));
    EXPECT_EQ(m_window.model().pathAt(0), m_dir.file("b.txt"));
    EXPECT_EQ(m_window.script().paths.size(), 2u);
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "needle\n");
    // A literal search text gives the flags back.
    type("Search String", "needle");
    EXPECT_TRUE(m_window.action(kCmdCaseSensitive)->isEnabled());

    m_window.dropItems({QString::fromStdString(m_dir.file("a.txt")), QString::fromStdString(m_dir.file("b.txt"))});
    const std::string explorer = std::string(std::getenv("XDG_DATA_HOME")) + "/tarnwick/EXPLORER.TWS";
    EXPECT_EQ(m_window.lastScriptFile(), explorer);
    EXPECT_EQ(readFile(explorer), "[Script for Tarnwick]\r\n[Path]\r\n" + m_dir.file("a.txt") + "\r\n[Path]\r\n" +
                                      m_dir.file("b.txt") + "\r\n[End of Tarnwick Script]\r\n");
    EXPECT_EQ(m_window.script().paths.size(), 2u);
    const QString dropped = QString::fromLatin1(kScriptPrefix) + QString::fromStdString(explorer);
    EXPECT_EQ(control<QComboBox>("File Mask")->currentText(), dropped);
    EXPECT_EQ(control<QComboBox>("Path")->currentText(), dropped);
    EXPECT_EQ(control<QComboBox>("Search String")->currentText(), "needle");
    ASSERT_TRUE(runWith("Search"));
    EXPECT_EQ(m_window.controller().exitStatus(), 0);
    // The last script file is kept with the settings.
    m_window.close();
    EXPECT_EQ(QSettings(QString::fromStdString(m_config.file("tw.conf")), QSettings::IniFormat)
                  .value("Options/Last Script File")
                  .toString()
                  .toStdString(),
              explorer);
}

// The "..." beside the search box opens the Binary Mode dialog on the typed text (the
// block is still empty); OK keeps the block and puts the placeholder in the box, and the
// run searches the block's bytes. Reopened, the dialog shows the kept block; with Ctrl, the
// box's text. The block is kept with the settings.
TEST_F(MainWindowTest, BinaryBlocksAreEditedBesideTheBoxesRunAndKept)
{
    writeFile(m_dir.file("a.bin"), std::string("x\0\x01y", 4));
    writeFile(m_dir.file("b.bin"), std::string("x\0y", 3));
    type("File Mask", "*.bin");
    type("Path", m_dir.path());
    type("Search String", "\\0x00\\0x01");
    QPushButton* more = control<QPushButton>("Search String ...");
    const auto answer = [&](const char* expectedBlock, bool ok, std::string* seen = nullptr) {
        QTimer::singleShot(0, &m_window, [=] {
            auto* d = qobject_cast<BinaryModeDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            const QString shown = d->findChild<QPlainTextEdit*>()->toPlainText();
            if (seen)
                *seen = shown.toStdString();
            EXPECT_EQ(shown.toStdString(), expectedBlock);
            ok ? d->accept() : d->reject();
        });
    };
    answer("\\0x00\\0x01", true);
    QTest::mouseClick(more, Qt::LeftButton);
    EXPECT_EQ(control<QComboBox>("Search String")->currentText(), kBinaryPlaceholder);
    ASSERT_TRUE(runWith("Search"));
    EXPECT_EQ(m_window.controller().exitStatus(), 0);
    EXPECT_EQ(m_window.model().pathAt(0), m_dir.file("a.bin"));
    for (int i = 0; i < m_window.model().rowCount(); ++i)
        EXPECT_NE(m_window.model().pathAt(i), m_dir.file("b.bin"));

    answer("\\0x00\\0x01", false); // the kept block, not the placeholder
    QTest::mouseClick(more, Qt::LeftButton);
    answer("Binary mode -->>", false); // Ctrl: the box's own text
    QTest::mouseClick(more, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(control<QComboBox>("Search String")->currentText(), kBinaryPlaceholder);

    m_window.close();
    EXPECT_EQ(QSettings(QString::fromStdString(m_config.file("tw.conf")), QSettings::IniFormat)
                  .value("Flags/Binary Search")
                  .toByteArray(),
              QByteArray("\\0x00\\0x01"));
}

// A button of one page of the script editor.
QPushButton* pageButton(QWidget* editor, const char* page, const char* name)
{
    for (QWidget* w : editor->findChildren<QWidget*>())
        if (w->accessibleName() == QLatin1String(page))
            for (QPushButton* b : w->findChildren<QPushButton*>())
                if (b->accessibleName() == QLatin1String(name))
                    return b;
    ADD_FAILURE() << "no button " << name << " on " << page;
    return nullptr;
}

// The Script command opens the script editor. A pair and a path taken from the boxes with
// Ctrl, Use Script, "Save changes?" Yes and a file choice save the script, and the boxes
// then name it and Search runs it. Ctrl+Script writes TWDUMP.TWS first; the editor opens on
// the script in use, whose edited pair, saved again, is what the next run searches.
TEST_F(MainWindowTest, TheScriptEditorBuildsSavesAndReopensTheScriptTheWindowRuns)
{
    writeFile(m_dir.file("a.txt"), "needle\n");
    writeFile(m_dir.file("b.txt"), "hay\n");
    const std::string saved = m_dir.file("made.tws");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    QAction* script = m_window.action(kCmdScript);
    ASSERT_TRUE(script->isEnabled());
    const auto inEditor = [&](std::function<void(ScriptEditorDialog&)> steps) {
        QTimer::singleShot(0, &m_window, [=] {
            auto* d = qobject_cast<ScriptEditorDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            d->setFileChooser([=](const QString&, bool saving) {
                EXPECT_TRUE(saving);
                return QString::fromStdString(saved);
            });
            d->setQuestion([](const QString& q) { return q == kSaveChangesQuestion; });
            steps(*d);
        });
    };
    inEditor([](ScriptEditorDialog& d) {
        d.setCtrlHeld([] { return true; });
        QTest::mouseClick(pageButton(&d, "Search/Replace", "Insert"), Qt::LeftButton);
        QTest::mouseClick(pageButton(&d, "Path/Mask", "Insert"), Qt::LeftButton);
        d.accept();
    });
    script->trigger();
    const QString named = QString::fromLatin1(kScriptPrefix) + QString::fromStdString(saved);
    EXPECT_EQ(control<QComboBox>("Search String")->currentText(), named);
    EXPECT_EQ(control<QComboBox>("Path")->currentText(), named);
    ASSERT_TRUE(runWith("Search"));
    EXPECT_EQ(m_window.controller().exitStatus(), 0);
    EXPECT_EQ(m_window.model().pathAt(0), m_dir.file("a.txt"));

    inEditor([](ScriptEditorDialog& d) {
        ASSERT_EQ(d.model().script().pairs.size(), 1u);
        EXPECT_EQ(d.model().script().pairs[0].searchText, "needle");
        QLineEdit* search = nullptr;
        for (QLineEdit* e : d.findChildren<QLineEdit*>())
            if (e->accessibleName() == QLatin1String("Search String:"))
                search = e;
        ASSERT_NE(search, nullptr);
        search->setText(QStringLiteral("hay"));
        QTest::mouseClick(pageButton(&d, "Search/Replace", "Apply"), Qt::LeftButton);
        d.accept();
    });
    QTest::mouseClick(m_window.toolbar()->widgetForAction(script), Qt::LeftButton, Qt::ControlModifier);
    const std::string dump = std::string(std::getenv("XDG_DATA_HOME")) + "/tarnwick/TWDUMP.TWS";
    EXPECT_NE(readFile(dump).find("]\r\n" + std::string(kScriptPrefix) + saved + "\r\n[Replace]"), std::string::npos)
        << readFile(dump);
    EXPECT_NE(readFile(saved).find("\r\nhay\r\n"), std::string::npos);
    ASSERT_TRUE(runWith("Search"));
    EXPECT_EQ(m_window.model().pathAt(0), m_dir.file("b.txt"));
}

// Records what the viewers would start instead of starting it.
struct RecordingViewers final : ViewerSystem {
    std::vector<std::vector<std::string>>* started;
    explicit RecordingViewers(std::vector<std::vector<std::string>>* out) : started(out) {}
    bool start(const std::vector<std::string>& argv, const std::string&, std::string*) override
    {
        started->push_back(argv);
        return true;
    }
    std::string associatedProgram(const std::string&) override { return {}; }
    bool openWithDefaultAction(const std::string&) override { return false; }
    std::string findProgram(const std::string& name) override { return "/opt/" + name; }
};

// The lines of the results open where the place they keep says: a binary hit in the hex
// viewer, a file line in the viewers, a text hit in View Context (by the command and by a
// double click), whose arrows move to the next hit of the list.
TEST_F(MainWindowTest, ResultLinesOpenInTheViewersAndInViewContext)
{
    std::string text;
    for (int k = 1; k <= 20; ++k)
        text += (k == 7 || k == 15 ? "the needle " : "line ") + std::to_string(k) + "\n";
    writeFile(m_dir.file("a.txt"), text);
    writeFile(m_dir.file("b.bin"), std::string("\0\0\0\0needle", 10));
    type("Search String", "needle");
    type("File Mask", "*.txt;*.bin");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Search"));
    ResultsModel& model = m_window.model();
    std::map<std::string, std::vector<int>> hits; // file -> its hit rows
    int fileRow = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.kindAt(row) == LineKind::Hit)
            hits[model.pathAt(row)].push_back(row);
        else if (model.kindAt(row) == LineKind::File && model.pathAt(row) == m_dir.file("a.txt"))
            fileRow = row;
    }
    ASSERT_EQ(hits[m_dir.file("a.txt")].size(), 2u);
    ASSERT_EQ(hits[m_dir.file("b.bin")].size(), 1u);
    ASSERT_GE(fileRow, 0);

    std::vector<std::vector<std::string>> started;
    m_window.opener().setViewerSystem(std::make_unique<RecordingViewers>(&started));
    m_window.opener().setProgramChooser([](QWidget*) { return QStringLiteral("/opt/pick"); });
    auto* list = m_window.findChild<QListView*>();
    const auto makeCurrent = [&](int row) { list->setCurrentIndex(model.index(row)); };
    makeCurrent(hits[m_dir.file("b.bin")][0]);
    m_window.show();
    m_window.activateWindow();
    list->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started.back(), (std::vector<std::string>{"/opt/BYTEGLASS", m_dir.file("b.bin"), "-S4", "-E10"}));
    makeCurrent(fileRow);
    for (const int id : {kCmdOpenAssociated, kCmdOpenWith}) {
        ASSERT_TRUE(m_window.action(id)->isEnabled()) << id;
        m_window.action(id)->trigger();
    }
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[1], (std::vector<std::string>{"xdg-open", m_dir.file("a.txt")})); // no association
    EXPECT_EQ(started[2], (std::vector<std::string>{"/opt/pick", m_dir.file("a.txt")}));

    const std::string a = m_dir.file("a.txt");
    int opened = 0; // View Context windows seen
    const auto inContext = [&](std::function<void(ContextWindow&)> steps) {
        QTimer::singleShot(0, &m_window, [=, &opened] {
            auto* w = qobject_cast<ContextWindow*>(QApplication::activeModalWidget());
            ASSERT_NE(w, nullptr);
            ++opened;
            steps(*w);
            w->reject();
        });
    };
    const auto label = [](ContextWindow& w) { return w.findChild<QLabel*>()->text().toStdString(); };
    const auto selected = [](ContextWindow& w) {
        return w.findChild<QPlainTextEdit*>()->textCursor().selectedText().toStdString();
    };
    makeCurrent(hits[a][0]);
    inContext([&](ContextWindow& w) {
        EXPECT_EQ(label(w), a + " (&lines 2-12)");
        EXPECT_EQ(selected(w), "needle");
        QTest::keyClick(w.findChild<QPlainTextEdit*>(), Qt::Key_PageDown, Qt::ControlModifier);
        EXPECT_EQ(label(w), a + " (&lines 10-20)");
        EXPECT_EQ(selected(w), "needle");
    });
    ASSERT_TRUE(m_window.action(kCmdViewContext)->isEnabled());
    m_window.action(kCmdViewContext)->trigger();
    EXPECT_EQ(list->currentIndex().row(), hits[a][1]); // the arrow moved the list too

    inContext([&](ContextWindow& w) { EXPECT_EQ(label(w), a + " (&lines 2-12)"); });
    const QRect first = list->visualRect(model.index(hits[a][0]));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(started.size(), 3u);
}

// Delete in the results list opens File Operations with Delete chosen on the selected
// line's file; OK removes that file alone, on the worker, and the list ends with the
// summary line.
TEST_F(MainWindowTest, DeleteInTheResultsListRemovesTheSelectedFileOnly)
{
    writeFile(m_dir.file("a.txt"), "needle\n");
    writeFile(m_dir.file("b.txt"), "needle\n");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Search"));
    ResultsModel& model = m_window.model();
    int hitOfA = -1;
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.kindAt(row) == LineKind::Hit && model.pathAt(row) == m_dir.file("a.txt"))
            hitOfA = row;
    ASSERT_GE(hitOfA, 0);
    auto* list = m_window.findChild<QListView*>();
    list->setCurrentIndex(model.index(hitOfA)); // selects it too
    m_window.show();
    m_window.activateWindow();
    list->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    bool seen = false;
    QTimer::singleShot(0, &m_window, [&] {
        auto* d = qobject_cast<FileOperationsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        seen = true;
        EXPECT_EQ(d->model().operation(), FileOperationKind::Delete);
        ASSERT_EQ(d->model().fileCount(), 1u);
        EXPECT_EQ(d->model().fileText(0), m_dir.file("a.txt"));
        d->accept();
    });
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_TRUE(seen);
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("a.txt")));
    EXPECT_EQ(readFile(m_dir.file("b.txt")), "needle\n");
    const QString last = model.data(model.index(model.rowCount() - 1)).toString();
    EXPECT_TRUE(last.contains(QStringLiteral("1 file"))) << last.toStdString();
}

QPushButton* buttonIn(QWidget& parent, const char* name)
{
    for (QPushButton* b : parent.findChildren<QPushButton*>())
        if (b->accessibleName() == QLatin1String(name))
            return b;
    ADD_FAILURE() << "no button " << name;
    return nullptr;
}

bool resultsHave(const ResultsModel& model, const QString& text)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.data(model.index(row)).toString() == text)
            return true;
    return false;
}

// Preview Replace runs the replace on the worker without writing and opens the preview on
// its patch; the preview's Replace then rewrites exactly the previewed files, refusing the
// one that changed since and leaving alone one that was not previewed. The patch file goes
// with the window.
TEST_F(MainWindowTest, PreviewReplaceWritesNothingThenReplacesThePreviewedFiles)
{
    writeFile(m_dir.file("a.txt"), "cat dog\n");
    writeFile(m_dir.file("b.txt"), "cat cat\n");
    writeFile(m_dir.file("c.txt"), "dog\n");
    // A preview asks nothing, not even for a backup directory; the replace that applies it
    // asks only that (no backup directory is set here).
    std::vector<Question> asked;
    m_window.host().setAnswerProvider([&](Question kind, const QString&, const QString&) {
        asked.push_back(kind);
        return kind == Question::YesNo ? Answer::Yes : Answer::Cancel;
    });
    type("Replace", "cow");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());

    // Nothing to change: no window.
    type("Search String", "zebra");
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    m_window.action(kCmdPreviewReplace)->trigger();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_EQ(m_window.previewWindow(), nullptr);
    EXPECT_EQ(m_window.statusBar()->currentMessage(), QStringLiteral("Nothing would be replaced."));

    type("Search String", "cat");
    m_window.action(kCmdPreviewReplace)->trigger();
    ASSERT_TRUE(ended.wait(20000));
    PreviewWindow* preview = m_window.previewWindow();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cat dog\n");
    EXPECT_EQ(readFile(m_dir.file("b.txt")), "cat cat\n");
    ASSERT_EQ(preview->files().size(), 2u);
    EXPECT_EQ(preview->files()[1].replacements, 2);
    EXPECT_EQ(preview->filesModel().rowCount(), 2);
    const std::string patch = preview->patchPath();
    EXPECT_NE(readFile(patch).find("-cat cat\n+cow cow\n"), std::string::npos);
    EXPECT_TRUE(resultsHave(m_window.model(), QStringLiteral("Preview: 3 occurrences in 2 file(s) would be replaced")));

    writeFile(m_dir.file("b.txt"), "cat cat cat\n");
    writeFile(m_dir.file("d.txt"), "cat\n");
    QStringList told;
    preview->setMessageSink([&](const QString& text) { told << text; });
    QTest::mouseClick(buttonIn(*preview, "Replace"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cow dog\n");
    EXPECT_EQ(readFile(m_dir.file("b.txt")), "cat cat cat\n");
    EXPECT_EQ(readFile(m_dir.file("d.txt")), "cat\n");
    EXPECT_EQ(asked, std::vector<Question>{Question::YesNo});
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QString::fromStdString(m_dir.file("b.txt")))) << told[0].toStdString();
    // The window stays to say so, and its patch cannot be applied twice.
    ASSERT_EQ(m_window.previewWindow(), preview);
    EXPECT_FALSE(preview->replaceEnabled());
    preview->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window.previewWindow() == nullptr; }));
    EXPECT_FALSE(std::filesystem::exists(patch));

    // With nothing refused the preview closes once it has been applied. (The walk's list
    // is cached from the first run, so d.txt stays out of this one too.)
    m_window.action(kCmdPreviewReplace)->trigger();
    ASSERT_TRUE(ended.wait(20000));
    preview = m_window.previewWindow();
    ASSERT_NE(preview, nullptr);
    ASSERT_EQ(preview->files().size(), 1u);
    QTest::mouseClick(buttonIn(*preview, "Replace"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window.previewWindow() == nullptr; }));
    EXPECT_EQ(readFile(m_dir.file("b.txt")), "cow cow cow\n");
}

// Undo Last Replace lists the files of the last replace run with their state, and OK
// restores those still as the run left them; a file changed since is left alone.
TEST_F(MainWindowTest, UndoLastReplaceListsTheRunsFilesAndRestoresThem)
{
    writeFile(m_dir.file("a.txt"), "cat dog\n");
    writeFile(m_dir.file("b.txt"), "cat\n");
    m_window.host().setAnswerProvider([](Question kind, const QString&, const QString&) {
        return kind == Question::ReplaceHit ? Answer::ReplaceAllRemaining : Answer::Yes;
    });
    type("Search String", "cat");
    type("Replace", "cow");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Replace"));
    ASSERT_EQ(readFile(m_dir.file("a.txt")), "cow dog\n");
    ASSERT_EQ(readFile(m_dir.file("b.txt")), "cow\n");
    writeFile(m_dir.file("b.txt"), "changed\n");

    QStringList rows;
    bool restoreOffered = false;
    const std::function<void()> answer = [&] {
        auto* d = qobject_cast<UndoReplaceDialog*>(QApplication::activeModalWidget());
        if (!d) {
            QTimer::singleShot(10, &m_window, answer);
            return;
        }
        for (int r = 0; r < d->fileList().topLevelItemCount(); ++r)
            rows << d->fileList().topLevelItem(r)->text(0) + QLatin1Char('|') + d->fileList().topLevelItem(r)->text(1);
        QPushButton* restore = buttonIn(*d, "Restore");
        restoreOffered = restore && restore->isEnabled();
        d->accept();
    };
    QTimer::singleShot(0, &m_window, answer);
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    m_window.action(kCmdUndoReplace)->trigger();
    ASSERT_TRUE(ended.wait(20000));
    rows.sort();
    EXPECT_EQ(rows, QStringList({QString::fromStdString(m_dir.file("a.txt")) + QStringLiteral("|Will be restored"),
                                 QString::fromStdString(m_dir.file("b.txt")) +
                                     QStringLiteral("|Changed since the replace")}));
    EXPECT_TRUE(restoreOffered);
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cat dog\n");
    EXPECT_EQ(readFile(m_dir.file("b.txt")), "changed\n");
    EXPECT_TRUE(resultsHave(m_window.model(), QStringLiteral("Restored 1 of 2 file(s)")));
}

// Ctrl+T collects the files the boxes select on the worker, then the Touch dialog opens on
// them; its OK sets their modification time to the time it shows. From the results list's
// menu it opens on the selected lines' files.
TEST_F(MainWindowTest, TouchCollectsTheSelectedFilesThenTouchesThem)
{
    writeFile(m_dir.file("old.txt"), "x\n");
    writeFile(m_dir.file("keep.dat"), "x\n");
    const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    for (const char* name : {"old.txt", "keep.dat"})
        std::filesystem::last_write_time(m_dir.file(name), past);
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    bool seen = false;
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    const std::function<void()> answer = [&] {
        auto* d = qobject_cast<TouchDialog*>(QApplication::activeModalWidget());
        if (!d) { // the files are still being collected
            QTimer::singleShot(10, &m_window, answer);
            return;
        }
        seen = true;
        d->accept();
    };
    QTimer::singleShot(0, &m_window, answer);
    m_window.action(kCmdTouch)->trigger();
    ASSERT_TRUE(ended.wait(20000)); // the collection
    ASSERT_TRUE(seen);
    if (ended.count() < 2) {
        ASSERT_TRUE(ended.wait(20000)); // the touch
    }
    const auto age = [&](const char* name) {
        return std::filesystem::file_time_type::clock::now() - std::filesystem::last_write_time(m_dir.file(name));
    };
    EXPECT_LT(age("old.txt"), std::chrono::hours(1));
    EXPECT_GT(age("keep.dat"), std::chrono::hours(24 * 300));

    // "Touch Selected Files" in the results list's menu: the selected line's file only.
    std::filesystem::last_write_time(m_dir.file("old.txt"), past);
    writeFile(m_dir.file("hit.dat"), "needle\n");
    std::filesystem::last_write_time(m_dir.file("hit.dat"), past);
    type("Search String", "needle");
    type("File Mask", "*.dat");
    ASSERT_TRUE(runWith("Search"));
    auto* list = m_window.findChild<QListView*>();
    list->setCurrentIndex(m_window.model().index(0)); // the file line of hit.dat
    ASSERT_EQ(m_window.model().pathAt(0), m_dir.file("hit.dat"));
    QAction* touchSelected = nullptr;
    for (QMenu* menu : m_window.findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("&Touch Selected Files"))
                touchSelected = a;
    ASSERT_NE(touchSelected, nullptr);
    seen = false;
    QTimer::singleShot(0, &m_window, answer);
    QSignalSpy touched(&m_window, &MainWindow::runEnded);
    touchSelected->trigger();
    ASSERT_TRUE(seen);
    ASSERT_TRUE(touched.wait(20000));
    EXPECT_LT(age("hit.dat"), std::chrono::hours(1));
    EXPECT_GT(age("old.txt"), std::chrono::hours(24 * 300));
}

// Typed text stays as typed: the recent lists offer their items in the drop-down and on
// Up and Down, but never complete a prefix or swap the case of what was typed.
TEST_F(MainWindowTest, TypedTextIsNeverCompletedFromTheRecentLists)
{
    const QString config = QString::fromStdString(m_config.file("recent.conf"));
    {
        QSettings s(config, QSettings::IniFormat);
        for (const char* group : {"Search_string", "Replace_string", "Mask", "Path"}) {
            s.setValue("Settings/" + QString::fromLatin1(group) + "1", "static");
            s.setValue("Settings/" + QString::fromLatin1(group) + "2", "Needle");
        }
    }
    writeFile(m_dir.file("a.txt"), "sta static\n");
    MainWindow window(config);
    std::map<QString, QComboBox*> boxes;
    for (QComboBox* box : window.findChildren<QComboBox*>())
        boxes[box->accessibleName()] = box;
    ASSERT_EQ(boxes.size(), 4u);
    for (const auto& [name, box] : boxes)
        ASSERT_GE(box->findText("static"), 0) << name.toStdString();
    // Typed as a user types: into the focused field of the active window.
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const auto& [name, box] : boxes) {
        SCOPED_TRACE(name.toStdString());
        box->lineEdit()->setFocus();
        for (const char* typed : {"sta", "needle"}) {
            box->lineEdit()->clear();
            QTest::keyClicks(box->lineEdit(), typed);
            EXPECT_EQ(box->currentText(), typed);
        }
    }
    for (const auto& [name, text] : {std::pair{"Search String", "sta"}, std::pair{"Replace", "NEEDLE"},
                                     std::pair{"File Mask", "*.txt"}, std::pair{"Path", ""}}) {
        QLineEdit* edit = boxes[name]->lineEdit();
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, text[0] ? QString::fromLatin1(text) : QString::fromStdString(m_dir.path()));
    }
    QSignalSpy ended(&window, &MainWindow::runEnded);
    QTest::keyClick(boxes["Replace"]->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(ended.wait(20000));
    const std::string heading = window.controller().runHeading();
    EXPECT_NE(heading.find("Search String: sta\r\n"), std::string::npos) << heading;
    EXPECT_EQ(boxes["Search String"]->currentText(), "sta");
    EXPECT_EQ(boxes["Replace"]->currentText(), "NEEDLE");
    // Down still walks the recent list.
    QTest::keyClick(boxes["Search String"]->lineEdit(), Qt::Key_Down);
    EXPECT_EQ(boxes["Search String"]->currentText(), "static");
}

// Each box and its field carry the label's name, not their text; every Alt letter of the
// window leads to one place only, so the Flags menu and the Replace box are both reached.
TEST_F(MainWindowTest, NamesAndAltLettersAreUnambiguous)
{
    for (QComboBox* box : m_window.findChildren<QComboBox*>()) {
        box->setEditText("some text");
        EXPECT_TRUE(QStringList({"Search String", "Replace", "File Mask", "Path"}).contains(box->accessibleName()))
            << box->accessibleName().toStdString();
        EXPECT_EQ(box->lineEdit()->accessibleName(), box->accessibleName());
    }
    std::map<QChar, QStringList> letters;
    const auto take = [&](const QString& text) {
        const qsizetype amp = text.indexOf('&');
        if (amp >= 0 && amp + 1 < text.size())
            letters[text.at(amp + 1).toLower()] << text;
    };
    for (QAction* menu : m_window.menuBar()->actions())
        take(menu->text());
    for (QLabel* label : m_window.findChildren<QLabel*>())
        if (label->buddy())
            take(label->text());
    for (QCheckBox* flag : m_window.findChildren<QCheckBox*>())
        take(flag->text());
    for (const auto& [letter, texts] : letters)
        EXPECT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();

    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QTest::keyClick(&m_window, Qt::Key_L, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    auto* flags = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(flags, nullptr);
    EXPECT_EQ(flags->title(), "F&lags");
    flags->close();
    QTest::keyClick(&m_window, Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(control<QComboBox>("Replace")->lineEdit()->hasFocus());
}

// The list's keys: Ctrl+End and Ctrl+Home select the last and the first line, Shift+F10
// opens the list's menu.
TEST_F(MainWindowTest, ResultsListKeys)
{
    for (int i = 0; i < 30; ++i)
        writeFile(m_dir.file("f" + std::to_string(i) + ".txt"), "needle\n");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Search"));
    auto* list = m_window.findChild<QListView*>();
    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    list->setFocus();
    const int last = m_window.model().rowCount() - 1;
    QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(list->currentIndex().row(), last);
    EXPECT_EQ(list->selectionModel()->selectedIndexes(), QModelIndexList{m_window.model().index(last)});
    QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(list->selectionModel()->selectedIndexes(), QModelIndexList{m_window.model().index(0)});
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().front()->text(), uiText(kCmdOpenAssociated));
    menu->close();
}

// The status bar names the command at work, every input and "..." is greyed while it runs,
// and the run's summary stays in the status bar when the list has scrolled past it.
TEST_F(MainWindowTest, StatusBarAndControlsFollowTheRun)
{
    writeFile(m_dir.file("a.txt"), "cat\n");
    QString during;
    std::vector<QString> enabledDuring;
    m_window.host().setAnswerProvider([&](Question kind, const QString&, const QString&) {
        during = m_window.statusBar()->currentMessage();
        for (QWidget* w : m_window.findChildren<QWidget*>())
            if (w->isEnabled() && (qobject_cast<QComboBox*>(w) || qobject_cast<QPushButton*>(w)) &&
                w->accessibleName() != "Stop")
                enabledDuring.push_back(w->accessibleName());
        return kind == Question::ReplaceHit ? Answer::ReplaceAllRemaining : Answer::Yes;
    });
    type("Search String", "cat");
    type("Replace", "cow");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Replace"));
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cow\n");
    EXPECT_EQ(during, "Replacing...");
    EXPECT_EQ(enabledDuring, std::vector<QString>{}); // Search and the "..." buttons too
    const QString status = m_window.statusBar()->currentMessage();
    EXPECT_TRUE(status.startsWith("Replaced 1 occurrences in 1 file(s)")) << status.toStdString();
    EXPECT_EQ(status, m_window.model().data(m_window.model().index(m_window.model().rowCount() - 1)).toString());
}

// Without a browser the page is written and a message says it could not be shown; the box
// is wide enough for its title beside the title bar's buttons.
TEST_F(MainWindowTest, ViewResultsAsHtmlWithoutABrowserSaysSo)
{
    writeFile(m_dir.file("a.txt"), "needle\n");
    type("Search String", "needle");
    type("File Mask", "*.txt");
    type("Path", m_dir.path());
    ASSERT_TRUE(runWith("Search"));
    m_window.show();
    qputenv("BROWSER", "/nonexistent/browser");
    m_window.action(kCmdViewHtml)->trigger();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = m_window.findChild<QMessageBox*>()) && box->isVisible(); }, 5000));
    EXPECT_TRUE(box->text().contains("TwOut.htm")) << box->text().toStdString();
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    EXPECT_GE(box->width(), QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + 120);
    box->close();
}

// A command line's Search starts while the window is built, before its controls exist.
// Afterwards the window must be as if the same command line had been applied to a built
// window and issued: the same lines, box texts, recent lists and state.
TEST(MainWindowCommandLine, SearchStartedAtOnceEndsLikeOneIssuedLater)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "the needle\nno\nneedle again\n");
    writeFile(dir.file("b.txt"), "nothing\n");
    // Recent items in both stores, one of them the search text in another case.
    const auto seeded = [&](const char* name) {
        const QString file = QString::fromStdString(dir.file(name));
        QSettings s(file, QSettings::IniFormat);
        s.setValue("Search_string/Item1", "NEEDLE");
        s.setValue("Search_string/Item2", "older");
        s.setValue("Mask/Item1", "*.c");
        return file;
    };
    const QString atOnceConfig = seeded("at-once.conf");
    const QString laterConfig = seeded("later.conf");
    const CommandLineRequest request =
        parseCommandLine("/S\"needle\" /P\"" + dir.file("*.txt") + "\" /d");

    MainWindow atOnce(request, atOnceConfig);
    // Running before any event is processed, and showing it.
    EXPECT_TRUE(atOnce.running());
    const auto buttons = [](MainWindow& w) {
        QStringList out;
        for (QPushButton* b : w.findChildren<QPushButton*>())
            out << b->text();
        return out;
    };
    EXPECT_TRUE(buttons(atOnce).contains("Stop"));
    for (QComboBox* box : atOnce.findChildren<QComboBox*>())
        EXPECT_FALSE(box->isEnabled()) << box->accessibleName().toStdString();
    QSignalSpy atOnceEnded(&atOnce, &MainWindow::runEnded);
    atOnce.issueCommandLineCommand(); // the command was taken: nothing more starts
    ASSERT_TRUE(atOnceEnded.wait(20000));
    EXPECT_EQ(atOnceEnded.count(), 1);

    MainWindow later(laterConfig);
    later.applyCommandLine(request);
    QSignalSpy laterEnded(&later, &MainWindow::runEnded);
    later.issueCommandLineCommand();
    ASSERT_TRUE(laterEnded.wait(20000));

    ASSERT_EQ(atOnce.model().rowCount(), later.model().rowCount());
    ASSERT_GT(later.model().rowCount(), 3);
    for (int i = 0; i < later.model().rowCount(); ++i) {
        EXPECT_EQ(atOnce.model().kindAt(i), later.model().kindAt(i)) << i;
        EXPECT_EQ(atOnce.model().data(atOnce.model().index(i)), later.model().data(later.model().index(i))) << i;
    }
    const auto boxes = [](MainWindow& w) {
        std::vector<QStringList> out;
        for (QComboBox* box : w.findChildren<QComboBox*>()) {
            QStringList items{box->accessibleName(), box->currentText(), box->isEnabled() ? "on" : "off"};
            for (int k = 0; k < box->count(); ++k)
                items << box->itemText(k);
            out.push_back(items);
        }
        return out;
    };
    EXPECT_EQ(boxes(atOnce), boxes(later));
    EXPECT_EQ(buttons(atOnce), buttons(later));
    EXPECT_EQ(atOnce.windowTitle(), later.windowTitle());
}

} // namespace
} // namespace tw
