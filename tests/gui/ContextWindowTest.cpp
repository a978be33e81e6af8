#include "TestUtil.h"
#include "engine/CharClasses.h"
#include "gui/ContextWindow.h"
#include "platform/Environment.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include <vector>

namespace tw {
namespace {

std::string numbered(int count, const char* prefix = "line ")
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += prefix + std::to_string(i) + "\n";
    return text;
}

QPushButton* pushButton(QWidget* w, const char* text)
{
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == QLatin1String(text))
            return b;
    ADD_FAILURE() << "no button " << text;
    return nullptr;
}

QToolButton* arrowButton(QWidget* w, const char* name)
{
    for (QToolButton* b : w->findChildren<QToolButton*>())
        if (b->accessibleName() == QLatin1String(name))
            return b;
    ADD_FAILURE() << "no arrow " << name;
    return nullptr;
}

struct Shown {
    QString label, text, selected;
};

Shown shown(ContextWindow& w)
{
    const auto* edit = w.findChild<QPlainTextEdit*>();
    return {w.findChild<QLabel*>()->text(), edit->toPlainText(), edit->textCursor().selectedText()};
}

TEST(ContextWindow, PagesMovesBetweenHitsAndSaves)
{
    test::TempDir dir;
    const std::string a = dir.file("a.txt"), b = dir.file("b.txt");
    test::writeFile(a, "x\r\n" + numbered(40));
    test::writeFile(b, numbered(5, "other "));
    FileStatus st;
    ASSERT_TRUE(realFileSystem().status(a, &st));
    // Two hits in a.txt and one in b.txt; the window starts on the second.
    const std::vector<ContextHit> hits = {{a, "", 3, 0, 4}, {a, "", 21, 5, 2}, {b, "", 4, 0, 5}};
    int current = 1;
    std::vector<int> asked;
    ContextNeighbour neighbour = [&](int step, bool probe) -> std::optional<ContextHit> {
        const int to = current + step;
        if (to < 0 || to >= static_cast<int>(hits.size()))
            return std::nullopt;
        if (!probe) {
            current = to;
            asked.push_back(step);
        }
        return hits[static_cast<size_t>(to)];
    };
    ContextSettings settings;
    settings.save = {dataDirectory(), "", st.lastWrite};
    ContextWindow w(hits[1], settings, neighbour, QRect());
    std::vector<QString> messages;
    w.setMessageSink([&](const QString& m) { messages.push_back(m); });
    ASSERT_TRUE(w.loaded());
    EXPECT_GE(w.width(), 550);
    Shown s = shown(w);
    EXPECT_EQ(s.label.toStdString(), a + " (&lines 16-26)");
    EXPECT_TRUE(s.text.startsWith("line 15\nline 16\n"));
    EXPECT_EQ(s.selected.toStdString(), "20");

    // Keys act as the buttons; Page Up from line 16 reaches line 1.
    auto* edit = w.findChild<QPlainTextEdit*>();
    QTest::keyClick(edit, Qt::Key_PageDown);
    EXPECT_EQ(shown(w).label.toStdString(), a + " (&lines 27-37)");
    pushButton(&w, "Page &Up")->click();
    QTest::keyClick(edit, Qt::Key_PageUp);
    EXPECT_EQ(shown(w).label.toStdString(), a + " (&lines 5-15)");
    QTest::keyClick(edit, Qt::Key_PageUp);
    EXPECT_EQ(shown(w).label.toStdString(), a + " (&lines 1-11)");
    EXPECT_FALSE(pushButton(&w, "Page &Up")->isEnabled());

    // The arrows: Ctrl+Page Down moves to the hit in b.txt, where no next hit exists.
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ControlModifier);
    s = shown(w);
    EXPECT_EQ(s.label.toStdString(), b + " (&lines 1-5)");
    EXPECT_EQ(s.selected.toStdString(), "other");
    EXPECT_FALSE(arrowButton(&w, "Next Hit")->isEnabled());
    EXPECT_FALSE(pushButton(&w, "Page &Down")->isEnabled());
    arrowButton(&w, "Previous Hit")->click();
    arrowButton(&w, "Previous Hit")->click();
    EXPECT_EQ(asked, (std::vector<int>{1, -1, -1}));
    s = shown(w);
    EXPECT_EQ(s.selected.toStdString(), "line");
    EXPECT_FALSE(arrowButton(&w, "Previous Hit")->isEnabled());

    // An edit saved: that line changes, the CR LF of the first line and the LFs stay.
    QTextCursor c = edit->document()->find("line 2");
    c.insertText("LINE TWO");
    edit->setTextCursor(c);
    pushButton(&w, "&Save")->click();
    EXPECT_TRUE(messages.empty()) << messages.front().toStdString();
    std::string expected = "x\r\n" + numbered(40);
    expected.replace(expected.find("line 2"), 6, "LINE TWO");
    EXPECT_EQ(test::readFile(a), expected);

    // The file changed behind the window's back: Save refuses.
    test::writeFile(a, "changed\n");
    pushButton(&w, "&Save")->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].toStdString(), kContextModifiedText);
    EXPECT_EQ(test::readFile(a), "changed\n");

    pushButton(&w, "&Cancel")->click();
    EXPECT_EQ(w.rectangleToSave(), QRect(w.pos(), w.size()));
}

TEST(ContextWindow, SaveKeepsTheBytesOfLinesTheWidgetCannotShowAsTheyAre)
{
    // Invalid UTF-8, a paragraph separator and a NUL show as stand-ins; lines not edited
    // keep their bytes, in both code pages.
    const CodePageKind before = activeCharClasses().kind;
    for (const CodePageKind kind : {CodePageKind::Utf8, CodePageKind::Windows1252}) {
        setActiveCodePage(kind);
        test::TempDir dir;
        const std::string path = dir.file("odd.txt");
        const std::string text = std::string("ok\n\xC3 bad \xE2\x80\xA9 sep") + '\0' + "z\nedit me\r\nend";
        test::writeFile(path, text);
        FileStatus st;
        ASSERT_TRUE(realFileSystem().status(path, &st));
        ContextSettings settings;
        settings.save = {dataDirectory(), "", st.lastWrite};
        ContextWindow w({path, "", 3, 0, 4}, settings, {}, QRect());
        ASSERT_TRUE(w.loaded());
        auto* edit = w.findChild<QPlainTextEdit*>();
        EXPECT_EQ(edit->document()->blockCount(), 4);
        EXPECT_EQ(edit->textCursor().selectedText(), "edit");
        edit->textCursor().insertText("EDIT");
        std::vector<QString> messages;
        w.setMessageSink([&](const QString& m) { messages.push_back(m); });
        pushButton(&w, "&Save")->click();
        EXPECT_TRUE(messages.empty());
        std::string expected = text;
        expected.replace(expected.find("edit"), 4, "EDIT");
        EXPECT_EQ(test::readFile(path), expected);
    }
    setActiveCodePage(before);
}

} // namespace
} // namespace tw
