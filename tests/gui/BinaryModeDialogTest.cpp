#include "GuiControls.h"
#include "TestUtil.h"
#include "app/OptionsBlock.h"
#include "app/ProgramScripts.h"
#include "gui/BinaryModeDialog.h"
#include "script/ScriptFile.h"

#include <gtest/gtest.h>

#include <functional>

#include <QAbstractButton>
#include <QClipboard>
#include <QKeySequence>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTextCursor>

namespace tw {
namespace {

using test::control;

void clickControl(QWidget* dialog, const char* name) { control<QAbstractButton>(dialog, name)->click(); }

QString cell(QWidget* dialog, int row, int column)
{
    QAbstractItemModel* m = control<QTableView>(dialog, "Code Table")->model();
    return m->data(m->index(row, column)).toString();
}

// A dialog whose messages and questions are recorded and answered by the test.
struct Opened {
    explicit Opened(std::string block, BlockSide side = BlockSide::Replace, BinaryScriptAccess scripts = {},
                    std::string lastScript = {})
        : dialog(std::move(block), side, false, std::move(lastScript), std::move(scripts))
    {
        dialog.setMessageSink([this](const QString& m) { messages << m; });
        dialog.setQuestion([this](const QString& q) {
            questions << q;
            return yes;
        });
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    QPlainTextEdit* editor(const char* name = "Replace Block:") { return control<QPlainTextEdit>(&dialog, name); }

    BinaryModeDialog dialog;
    QStringList messages;
    QStringList questions;
    bool yes = true;
};

// Restores the code page a test changed.
struct CodePageScope {
    explicit CodePageScope(CodePageKind kind) : m_old(activeCharClasses().kind) { setActiveCodePage(kind); }
    ~CodePageScope() { setActiveCodePage(m_old); }
    CodePageKind m_old;
};

TEST(BinaryModeDialog, CodeTableAddsCodesInEitherCodePage)
{
    {
        Opened o("x");
        BinaryModeDialog& d = o.dialog;
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Binary Mode"));
        QTableView* table = control<QTableView>(&d, "Code Table");
        EXPECT_EQ(table->model()->rowCount(), 256);
        EXPECT_EQ(table->columnWidth(0), table->viewport()->width() / 3);
        EXPECT_EQ(table->columnWidth(1), table->viewport()->width() * 6 / 10);
        EXPECT_EQ(cell(&d, 0x80, 0), QStringLiteral("\\0x80"));
        EXPECT_EQ(cell(&d, 0x80, 1), QStringLiteral("\\0x80 - #128"));
        EXPECT_FALSE(control<QWidget>(&d, "Search block use")->isVisible()); // a replace block
        table->selectRow(65);
        clickControl(&d, "Add Code");
        const QModelIndex lf = table->model()->index(10, 1);
        table->scrollTo(lf);
        const QPoint at = table->visualRect(lf).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(o.editor()->toPlainText(), QStringLiteral("xA\\n"));
        clickControl(&d, "OK");
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(d.block(), "xA\\n");
    }
    // In Windows-1252 the bytes from 0x80 are characters of the code page, not Latin-1.
    CodePageScope western(CodePageKind::Windows1252);
    Opened o("x");
    EXPECT_EQ(cell(&o.dialog, 0x80, 1), QString::fromUtf8("\u20ac - #128"));
    EXPECT_EQ(cell(&o.dialog, 0x9A, 1), QString::fromUtf8("\u0161 - #154"));
    EXPECT_EQ(cell(&o.dialog, 0xC9, 0), QString::fromUtf8("\u00c9"));
    control<QTableView>(&o.dialog, "Code Table")->selectRow(0xC9);
    clickControl(&o.dialog, "Add Code");
    o.editor()->insertPlainText(QString::fromUtf8("\u20ac"));
    clickControl(&o.dialog, "OK");
    EXPECT_EQ(o.dialog.block(), "x\xC9\x80");
}

TEST(BinaryModeDialog, SpecialOperationsKeepTheTypedBlock)
{
    Opened o("", BlockSide::Search);
    BinaryModeDialog& d = o.dialog;
    QPlainTextEdit* editor = o.editor("Search Block:");
    QTest::keyClicks(editor, QStringLiteral("abc"));
    const char* const typing[] = {"Code Table", "Add Code", "Paste Text", "Apply Script..."};
    for (const char* operation : {"Add at bottom of file", "Add at top of file"}) {
        clickControl(&d, operation);
        EXPECT_TRUE(editor->isReadOnly()) << operation;
        for (const char* name : typing)
            EXPECT_FALSE(control<QWidget>(&d, name)->isEnabled()) << operation << ' ' << name;
    }
    EXPECT_TRUE(editor->toPlainText().endsWith(QStringLiteral("added at the top of the file.")));
    clickControl(&d, "Use Search String");
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("abc"));
    EXPECT_FALSE(editor->isReadOnly());
    for (const char* name : typing)
        EXPECT_TRUE(control<QWidget>(&d, name)->isEnabled()) << name;

    // A block that is a fixed text opens with its operation chosen and goes back unchanged,
    // CR LF included, though the editor shows one line break.
    Opened fixed(kAppendBlock, BlockSide::Search);
    EXPECT_TRUE(control<QRadioButton>(&fixed.dialog, "Add at bottom of file")->isChecked());
    EXPECT_TRUE(fixed.editor("Search Block:")->isReadOnly());
    clickControl(&fixed.dialog, "OK");
    EXPECT_EQ(fixed.dialog.block(), kAppendBlock);
}

TEST(BinaryModeDialog, OkRefusesOrAsksBeforeClosing)
{
    struct Case {
        std::string block;
        bool yes;
        const char* message;       // empty: closes
        const char* question;      // asked before closing
        std::string handedBack;
    };
    const std::string tooLong(kBinaryBlockMaxChars + 1, 'a');
    const Case cases[] = {
        {"", true, kEmptyBlockMessage, nullptr, ""},
        {tooLong, true, "Please enter no more than 32767 characters.", nullptr, ""},
        {"\\0x41\\q", true, nullptr, kDoubleBackslashQuestion, "\\\\0x41\\\\q"},
        {"\\0x41\\q", false, nullptr, kDoubleBackslashQuestion, "\\0x41\\q"},
        {"\\n\\t\\\\", true, nullptr, nullptr, "\\n\\t\\\\"},
    };
    for (const Case& c : cases) {
        Opened o(c.block);
        o.yes = c.yes;
        clickControl(&o.dialog, "OK");
        const std::string what = c.block.substr(0, 12);
        if (c.message) {
            EXPECT_EQ(o.messages, QStringList{QString::fromLatin1(c.message)}) << what;
            EXPECT_TRUE(o.dialog.isVisible()) << what;
            EXPECT_EQ(o.dialog.block(), c.block) << what;
            continue;
        }
        EXPECT_TRUE(o.messages.isEmpty()) << what;
        EXPECT_EQ(o.questions, c.question ? QStringList{QString::fromLatin1(c.question)} : QStringList()) << what;
        EXPECT_EQ(o.dialog.result(), QDialog::Accepted) << what;
        EXPECT_EQ(o.dialog.block(), c.handedBack) << what;
    }
}

bool insideTable(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(p))
            return true;
    return false;
}

TEST(BinaryModeDialog, KeysAndNames)
{
    Opened o("ab");
    o.dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&o.dialog));
    QPlainTextEdit* editor = o.editor();
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("ab\n"));
    EXPECT_TRUE(o.dialog.isVisible());
    // Every control has a name and is reached with Tab.
    for (QWidget* w : o.dialog.findChildren<QWidget*>()) {
        if ((!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QAbstractScrollArea*>(w)) || insideTable(w))
            continue;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus) << w->accessibleName().toStdString();
    }
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_FALSE(editor->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(o.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(o.dialog.block(), "ab\n");
}

// Alt plus a letter reaches each choice of a search block and the block itself; a clash
// of two letters would leave one of them unreached.
TEST(BinaryModeDialog, AcceleratorsOfASearchBlock)
{
    Opened o("abc", BlockSide::Search);
    o.dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&o.dialog));
    QPlainTextEdit* editor = o.editor("Search Block:");
    const auto reached = [&](Qt::Key key, const std::function<bool()>& done) {
        QTest::keyClick(&o.dialog, key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor(done, 10000)) << QKeySequence(key).toString().toStdString();
    };
    reached(Qt::Key_B, [&] { return control<QRadioButton>(&o.dialog, "Add at bottom of file")->isChecked(); });
    reached(Qt::Key_T, [&] { return control<QRadioButton>(&o.dialog, "Add at top of file")->isChecked(); });
    reached(Qt::Key_U, [&] { return editor->toPlainText() == QStringLiteral("abc"); });
    reached(Qt::Key_K, [&] { return editor->hasFocus(); });
}

// Editor positions are UTF-16 units and the block's are bytes: the selection over the euro
// sign is three bytes after the two of the a-umlaut.
TEST(BinaryModeDialog, PasteReplacesTheSelectionOfNonAsciiText)
{
    Opened o("\xC3\xA4\xE2\x82\xAC" "x");
    QPlainTextEdit* editor = o.editor();
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(1);
    cursor.setPosition(2, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    QGuiApplication::clipboard()->setText(QString::fromUtf8("\u03a9\u03a9"));
    clickControl(&o.dialog, "Paste Text");
    EXPECT_EQ(editor->toPlainText(), QString::fromUtf8("\u00e4\u03a9\u03a9x"));
    EXPECT_EQ(editor->textCursor().position(), 3);
    clickControl(&o.dialog, "OK");
    EXPECT_EQ(o.dialog.block(), "\xC3\xA4\xCE\xA9\xCE\xA9x");
}

TEST(BinaryModeDialog, ApplyScriptRunsTheChosenScriptOnTheBlock)
{
    test::TempDir dir;
    Script script;
    SearchPair pair;
    pair.searchText = "a";
    pair.replaceText = "b";
    script.pairs = {pair};
    const std::string path = dir.file("ab.tws");
    ASSERT_EQ(saveScript(script, path, scriptOptionsCodec("dd/MM/yyyy")), "");

    BinaryScriptAccess access{programScriptLoader(MainInputs(), ProgramOptions()), {}, 100};
    Opened o("banana", BlockSide::Replace, access);
    QStringList starts;
    QString answer = QString::fromStdString(path);
    o.dialog.setScriptChooser([&](const QString& folder, const QString& name) {
        starts << folder + QLatin1Char('|') + name;
        return answer;
    });
    clickControl(&o.dialog, "Apply Script...");
    EXPECT_EQ(o.editor()->toPlainText(), QStringLiteral("bbnbnb"));
    EXPECT_EQ(o.dialog.lastScriptFile(), path);
    // A cancelled choice starts at the last script and changes nothing.
    answer.clear();
    QTest::keyClicks(o.editor(), QStringLiteral("a"));
    clickControl(&o.dialog, "Apply Script...");
    const QString folder = QString::fromStdString(path.substr(0, path.rfind('/')));
    EXPECT_EQ(starts, (QStringList{QStringLiteral("|script.tws"), folder + QStringLiteral("|ab.tws")}));
    EXPECT_EQ(o.editor()->toPlainText(), QStringLiteral("bbnbnba"));
    EXPECT_EQ(o.dialog.lastScriptFile(), path);
    // A script that cannot be read says so and leaves the block.
    answer = QString::fromStdString(dir.file("gone.tws"));
    clickControl(&o.dialog, "Apply Script...");
    EXPECT_EQ(o.messages.size(), 1);
    EXPECT_TRUE(o.messages.value(0).contains(QStringLiteral("gone.tws")));
    clickControl(&o.dialog, "OK");
    EXPECT_EQ(o.dialog.block(), "bbnbnba");
}

} // namespace
} // namespace tw
