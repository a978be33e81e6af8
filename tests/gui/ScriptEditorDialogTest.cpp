// The Script Editor driven through its controls, found by their accessible names.
#include "GuiControls.h"
#include "TestUtil.h"
#include "app/OptionsBlock.h"
#include "engine/Expression.h"
#include "gui/ScriptCommentsDialog.h"
#include "gui/ScriptEditorDialog.h"
#include "script/ScriptFile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <ostream>


namespace tw {
namespace {

using test::control;
using test::typeInto;
using test::pressButton;

// Pages repeat the names of their list buttons, so those are looked up within a page.
QWidget* pairsPage(QWidget* d) { return control<QWidget>(d, "Search/Replace"); }
QWidget* pathsPage(QWidget* d) { return control<QWidget>(d, "Path/Mask"); }


// The list's rows as "first column|second column".
QStringList rows(QWidget* top, const char* name)
{
    QTableView* table = control<QTableView>(top, name);
    QStringList out;
    for (int r = 0; r < table->model()->rowCount(); ++r)
        out << table->model()->index(r, 0).data().toString() + "|" + table->model()->index(r, 1).data().toString();
    return out;
}

int selectedRow(QWidget* top, const char* name)
{
    const QModelIndexList selected = control<QTableView>(top, name)->selectionModel()->selectedRows();
    return selected.size() == 1 ? selected.first().row() : -1;
}

bool enabled(QWidget* top, const char* name) { return control<QWidget>(top, name)->isEnabled(); }

SearchPair pair(const std::string& search, const std::string& replace)
{
    SearchPair p;
    p.searchText = search;
    p.replaceText = replace;
    return p;
}

ScriptOptionsCodec codec() { return scriptOptionsCodec("dd/MM/yyyy"); }

// Real script files, read and written as the program does.
ScriptEditorServices fileServices()
{
    ScriptEditorServices s;
    s.load = [](Script& script, const std::string& path) {
        ScriptReadContext context;
        context.codec = codec();
        return loadScript(script, path, context);
    };
    s.save = [](Script& script, const std::string& path) { return saveScript(script, path, codec()); };
    return s;
}

// A dialog whose messages and questions are recorded; the question is answered `answer`.
struct Editor {
    explicit Editor(Script& script, ScriptEditorSeed seed = {}, ScriptEditorServices services = fileServices())
        : dialog(script, std::move(seed), std::move(services))
    {
        dialog.setMessageSink([this](const QString& m) { messages << m; });
        dialog.setQuestion([this](const QString& q) {
            questions << q;
            return answer;
        });
        dialog.setFileChooser([this](const QString& start, bool saving) {
            starts << start + (saving ? " (save)" : " (open)");
            return chosen;
        });
        dialog.setCtrlHeld([this] { return ctrl; });
        dialog.show();
    }
    ScriptEditorDialog dialog;
    QStringList messages, questions, starts;
    QString chosen;
    bool answer = false;
    bool ctrl = false;
};

TEST(ScriptEditorDialog, EditsPairsThroughTheSearchReplacePage)
{
    Script script;
    script.pairs = {pair("a", "A"), pair("b", "B"), pair("c", "C")};
    ScriptEditorSeed seed;
    seed.pair = pair("seed", "S");
    seed.pair.caseSensitive = false;
    seed.pair.regularExpression = true;
    ScriptEditorServices services = fileServices();
    bool blockRegex = true;
    services.editBlock = [&](const std::string& block, BlockSide side, bool regex, QWidget*) {
        EXPECT_EQ(side, BlockSide::Search);
        blockRegex = regex;
        return std::optional<std::string>(block + "\\0x41");
    };
    Editor e(script, seed, services);
    QWidget* page = pairsPage(&e.dialog);
    EXPECT_EQ(e.dialog.windowTitle(), QStringLiteral("Script Editor"));
    EXPECT_EQ(control<QLineEdit>(page, "Search String:")->text(), QStringLiteral("a"));
    EXPECT_FALSE(enabled(page, "Move Up"));

    // Apply takes the typed text into the row and moves on to the next row.
    typeInto(page, "Search String:", QStringLiteral("x"));
    pressButton(page, "Apply");
    EXPECT_EQ(rows(page, "Pairs"), (QStringList{"x|A", "b|B", "c|C"}));
    EXPECT_EQ(selectedRow(page, "Pairs"), 1);
    EXPECT_EQ(control<QLineEdit>(page, "Search String:")->text(), QStringLiteral("b"));
    pressButton(page, "Move Down");
    EXPECT_EQ(rows(page, "Pairs"), (QStringList{"x|A", "c|C", "b|B"}));
    EXPECT_EQ(selectedRow(page, "Pairs"), 2);
    EXPECT_FALSE(enabled(page, "Move Down"));
    EXPECT_TRUE(enabled(page, "Move Up"));

    // The list's selection drives the model's, and the buttons follow it.
    control<QTableView>(page, "Pairs")->selectRow(0);
    EXPECT_EQ(e.dialog.model().selectedPair(), 0);
    EXPECT_EQ(control<QLineEdit>(page, "Replace String:")->text(), QStringLiteral("A"));
    EXPECT_FALSE(enabled(page, "Move Up"));
    control<QTableView>(page, "Pairs")->selectionModel()->clear();
    EXPECT_EQ(e.dialog.model().selectedPair(), ScriptEditorModel::kNone);
    for (const char* b : {"Apply", "Remove", "Move Up", "Move Down", "Comment"})
        EXPECT_FALSE(enabled(page, b)) << b;
    EXPECT_TRUE(control<QLineEdit>(page, "Search String:")->text().isEmpty());

    // The binary block goes to the edited pair and the field shows the placeholder.
    control<QCheckBox>(page, "Regular Expression")->click();
    EXPECT_FALSE(enabled(page, "Match Whole Word"));
    EXPECT_FALSE(enabled(page, "Ignore Whitespace"));
    pressButton(page, "Search String ...");
    EXPECT_TRUE(blockRegex);
    EXPECT_EQ(control<QLineEdit>(page, "Search String:")->text(), QString::fromLatin1(kBinaryPlaceholder));
    EXPECT_EQ(e.dialog.model().pairFields().binarySearchBlock, "\\0x41");

    // Insert with Ctrl takes the main window's pair, first since nothing is selected.
    e.ctrl = true;
    pressButton(page, "Insert");
    EXPECT_EQ(rows(page, "Pairs"), (QStringList{"seed|S", "x|A", "c|C", "b|B"}));
    EXPECT_EQ(selectedRow(page, "Pairs"), 0);
    EXPECT_FALSE(control<QCheckBox>(page, "Case Sensitive")->isChecked());
    pressButton(page, "Remove All");
    EXPECT_TRUE(rows(page, "Pairs").isEmpty());
    EXPECT_TRUE(script.pairs.empty());
    EXPECT_EQ(control<QLineEdit>(page, "Search String:")->text(), QStringLiteral("seed"));
    EXPECT_TRUE(e.dialog.model().pairsModified());
}

// A comment alone marks the script modified: Use Script asks "Save changes?", and No
// closes the editor with the changes kept in memory.
TEST(ScriptEditorDialog, CommentMakesUseScriptAskToSave)
{
    Script script;
    script.pairs = {pair("a", "A")};
    Editor e(script);
    bool driven = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<ScriptCommentsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Script Comments"));
        typeInto(d, "Search Comment:", QStringLiteral("why"));
        typeInto(d, "Replace Comment:", QStringLiteral("how"));
        pressButton(d, "OK");
        driven = true;
    });
    pressButton(pairsPage(&e.dialog), "Comment");
    ASSERT_TRUE(driven);
    EXPECT_EQ(script.pairs[0].searchComment, "why");
    EXPECT_EQ(script.pairs[0].replaceComment, "how");

    pressButton(&e.dialog, "Use Script");
    EXPECT_EQ(e.questions, QStringList{QString::fromLatin1(kSaveChangesQuestion)});
    EXPECT_EQ(e.dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(e.dialog.isVisible());
    EXPECT_EQ(script.pairs[0].searchComment, "why");
}

TEST(ScriptEditorDialog, SaveAsAndLoadBack)
{
    test::TempDir dir;
    const QString file = QString::fromStdString(dir.file("pairs.tws"));
    Script script;
    script.pairs = {pair("a", "A"), pair("b", "B")};
    script.pairs[1].regularExpression = true;
    script.pairs[1].searchComment = "second";
    script.paths = {{"/src/", "*.c"}};
    {
        Editor e(script);
        e.chosen = file;
        pressButton(&e.dialog, "Save As...");
        EXPECT_EQ(e.starts, QStringList{"script.tws (save)"});
        EXPECT_TRUE(e.messages.isEmpty()) << e.messages.join('\n').toStdString();
        EXPECT_EQ(e.dialog.windowTitle(), "Script Editor - " + file);
        EXPECT_FALSE(e.dialog.model().modified());
    }

    Script loaded;
    Editor e(loaded);
    e.chosen = file;
    pressButton(&e.dialog, "Load...");
    EXPECT_EQ(e.dialog.windowTitle(), "Script Editor - " + file);
    EXPECT_EQ(rows(pairsPage(&e.dialog), "Pairs"), (QStringList{"a|A", "b|B"}));
    EXPECT_EQ(rows(pathsPage(&e.dialog), "Paths"), QStringList{"/src/|*.c"});
    ASSERT_EQ(loaded.pairs.size(), 2u);
    EXPECT_TRUE(loaded.pairs[1].regularExpression);
    EXPECT_EQ(loaded.pairs[1].searchComment, "second");

    // Escape is Cancel: the removal is unsaved, No reads the file again.
    pressButton(pairsPage(&e.dialog), "Remove");
    EXPECT_EQ(loaded.pairs.size(), 1u);
    QTest::keyClick(&e.dialog, Qt::Key_Escape);
    EXPECT_EQ(e.questions.size(), 1);
    EXPECT_EQ(e.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(loaded.pairs.size(), 2u);

    // A file that cannot be read: its message; the editor keeps its script.
    Editor again(loaded);
    again.chosen = QString::fromStdString(dir.file("missing.tws"));
    pressButton(&again.dialog, "Load...");
    ASSERT_EQ(again.messages.size(), 1);
    EXPECT_TRUE(again.messages[0].startsWith(QStringLiteral("Cannot read script file")))
        << again.messages[0].toStdString();
    EXPECT_EQ(rows(pairsPage(&again.dialog), "Pairs").size(), 2);
    EXPECT_EQ(again.dialog.windowTitle(), "Script Editor - " + file);

    // An empty script that names a file is read when the editor opens; what that says is
    // shown once the editor is up.
    Script named;
    named.filePath = dir.file("gone.tws");
    Editor opened(named);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.messages.isEmpty(); }, 10000));
    EXPECT_TRUE(opened.messages.value(0).startsWith(QStringLiteral("Cannot read script file")));
}

TEST(ScriptEditorDialog, AdvancedPageChecksTheExpressionAndKeepsTheBoxesConsistent)
{
    Script script;
    script.pairs = {pair("a", "A"), pair("b", "B")};
    ScriptEditorSeed seed;
    seed.programOptions.searchSubdirs = true;
    Editor e(script, seed);
    QTabWidget* tabs = control<QTabWidget>(&e.dialog, "Pages");
    tabs->setCurrentIndex(2);
    QWidget* page = control<QWidget>(&e.dialog, "Advanced");
    const char* expression = "Process file when expression is non-zero:";
    EXPECT_EQ(control<QLineEdit>(page, expression)->text(), QStringLiteral("E1 OR E2"));
    QCheckBox* useProgram = control<QCheckBox>(page, "Use Program Options");
    QCheckBox* subdirs = control<QCheckBox>(page, "Search Subdirectories");
    EXPECT_TRUE(useProgram->isChecked());
    EXPECT_EQ(subdirs->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(subdirs->isEnabled());

    // A bad expression keeps the page, with the evaluator's message.
    for (const char* text : {"E1 AND (", "E3"}) {
        e.messages.clear();
        typeInto(page, expression, QString::fromLatin1(text));
        tabs->setCurrentIndex(0);
        EXPECT_EQ(tabs->currentIndex(), 2) << text;
        const Expression parsed(text);
        const std::string expected = parsed.ok() ? parsed.variableBeyond(2) : parsed.error();
        EXPECT_EQ(e.messages, QStringList{QString::fromStdString(expected)}) << text;
    }

    // Use Program Options off: the program's subdirectory setting, changeable; on again:
    // indeterminate and fixed.
    typeInto(page, expression, QStringLiteral("e1 or e2"));
    useProgram->click();
    EXPECT_EQ(subdirs->checkState(), Qt::Checked);
    EXPECT_TRUE(subdirs->isEnabled());
    useProgram->click();
    EXPECT_EQ(subdirs->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(subdirs->isEnabled());
    useProgram->click();
    subdirs->click();
    EXPECT_EQ(subdirs->checkState(), Qt::Unchecked);
    EXPECT_FALSE(useProgram->isChecked());

    tabs->setCurrentIndex(1);
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(script.expression, "e1 or e2");
    EXPECT_EQ(script.subdirectories, ScriptSubdirs::No);
    ASSERT_TRUE(script.options.has_value());
    EXPECT_FALSE(script.options->searchSubdirs);
    EXPECT_TRUE(e.dialog.model().advancedModified());

    // Enter in the description is a new line; elsewhere it is Use Script.
    tabs->setCurrentIndex(2);
    auto* description = control<QPlainTextEdit>(page, "Script Description:");
    description->setFocus();
    QTest::keyClicks(description, QStringLiteral("one"));
    QTest::keyClick(description, Qt::Key_Return);
    EXPECT_TRUE(e.dialog.isVisible());
    QTest::keyClick(control<QLineEdit>(page, expression), Qt::Key_Return);
    EXPECT_EQ(e.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(script.description, "one\n");
}

// The letter after "&" in a control's text, or 0.
QChar mnemonic(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1Char('&'));
    return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
}

// On each page, every control has an accessible name, Alt+letter names one control only,
// and Tab reaches every control of the page and the dialog's buttons.
TEST(ScriptEditorDialog, EachPageHasDistinctMnemonicsAndTabReachesEveryControl)
{
    Script script;
    script.pairs = {pair("a", "A"), pair("b", "B"), pair("c", "C")};
    script.paths = {{"/a/", "*"}, {"/b/", "*"}, {"/c/", "*"}};
    ScriptEditorServices services = fileServices();
    services.editBlock = [](const std::string&, BlockSide, bool, QWidget*) { return std::optional<std::string>(); };
    services.editOptions = [](const ProgramOptions&, QWidget*) { return std::optional<ProgramOptions>(); };
    Editor e(script, {}, services);
    e.dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&e.dialog));
    control<QTableView>(pairsPage(&e.dialog), "Pairs")->selectRow(1);
    control<QTableView>(pathsPage(&e.dialog), "Paths")->selectRow(1);
    QTabWidget* tabs = control<QTabWidget>(&e.dialog, "Pages");
    for (int index = 0; index < tabs->count(); ++index) {
        tabs->setCurrentIndex(index);
        QWidget* page = tabs->widget(index);
        QList<QWidget*> controls;
        QMap<QChar, QString> letters;
        for (QWidget* w : e.dialog.findChildren<QWidget*>()) {
            const bool onPage = page->isAncestorOf(w) || !tabs->isAncestorOf(w);
            if (!onPage)
                continue;
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                text = b->text();
            else if (auto* l = qobject_cast<QLabel*>(w))
                text = l->text();
            if (const QChar letter = mnemonic(text); !letter.isNull()) {
                EXPECT_FALSE(letters.contains(letter)) << tabs->tabText(index).toStdString() << ": "
                                                       << text.toStdString() << " and "
                                                       << letters.value(letter).toStdString();
                letters[letter] = text;
            }
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible()) {
                EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
                if (w->isEnabled())
                    controls << w;
            }
        }
        QSet<QWidget*> reached;
        page->nextInFocusChain()->setFocus(Qt::TabFocusReason);
        for (int k = 0; k < 3 * controls.size(); ++k) {
            reached.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (QWidget* w : controls)
            EXPECT_TRUE(reached.contains(w)) << tabs->tabText(index).toStdString() << ": Tab never reaches "
                                             << w->accessibleName().toStdString();
    }
}

// A long script: the list is a view over the script, so an edit is one row's work.
TEST(ScriptEditorDialog, OpensTenThousandPairsAndAppliesOne)
{
    Script script;
    for (int k = 0; k < 10000; ++k)
        script.pairs.push_back(pair("s" + std::to_string(k), "r" + std::to_string(k)));
    Editor e(script);
    QWidget* page = pairsPage(&e.dialog);
    QTableView* table = control<QTableView>(page, "Pairs");
    EXPECT_EQ(table->model()->rowCount(), 10000);
    table->selectRow(9998);
    EXPECT_EQ(control<QLineEdit>(page, "Search String:")->text(), QStringLiteral("s9998"));
    typeInto(page, "Search String:", QStringLiteral("changed"));
    pressButton(page, "Apply");
    EXPECT_EQ(table->model()->index(9998, 0).data().toString(), QStringLiteral("changed"));
    EXPECT_EQ(selectedRow(page, "Pairs"), 9999);
    pressButton(page, "Move Up");
    EXPECT_EQ(table->model()->index(9998, 0).data().toString(), QStringLiteral("s9999"));
    EXPECT_EQ(table->model()->index(9999, 0).data().toString(), QStringLiteral("changed"));
    EXPECT_EQ(selectedRow(page, "Pairs"), 9998);
    EXPECT_EQ(script.pairs[9999].searchText, "changed");
}

// A megabyte of search text: the field holds it whole, so Apply of the unchanged row keeps
// it whole and marks nothing; the list shows the start of it.
TEST(ScriptEditorDialog, AMegabyteSearchTextIsKeptWhole)
{
    Script script;
    const std::string big = std::string(1 << 20, 'x') + "\xc3\xa9"; // ends in a two-byte character
    script.pairs = {pair(big, "r"), pair("b", "B")};
    Editor e(script);
    QWidget* page = pairsPage(&e.dialog);
    EXPECT_EQ(control<QLineEdit>(page, "Search String:")->text().size(), qsizetype(big.size()) - 1);
    pressButton(page, "Apply");
    EXPECT_EQ(script.pairs[0].searchText, big);
    EXPECT_FALSE(e.dialog.model().modified());
    const QString cell = control<QTableView>(page, "Pairs")->model()->index(0, 0).data().toString();
    EXPECT_EQ(cell, QString(1024, QLatin1Char('x')) + QChar(0x2026));
}

} // namespace
} // namespace tw
