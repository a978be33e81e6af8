#include "TestUtil.h"
#include "gui/ColorContrast.h"
#include "gui/MainWindow.h"
#include "gui/PatchFilesModel.h"
#include "gui/PatchLinesModel.h"
#include "gui/PreviewWindow.h"

#include <gtest/gtest.h>

#include <QBrush>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <random>

namespace tw {
namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A patch as git writes it: two files of a scratch repository edited.
std::string gitPatch(const test::TempDir& dir)
{
    const std::string repo = dir.file("repo");
    test::writeFile(repo + "/a.txt", "one\ntwo needle two\nthree\n");
    test::writeFile(repo + "/sub/b c.txt", "x\ny\n");
    EXPECT_EQ(std::system(("cd '" + repo + "' && git init -q . && git add -A").c_str()), 0);
    test::writeFile(repo + "/a.txt", "one\ntwo thread two\nthree\n");
    test::writeFile(repo + "/sub/b c.txt", "x\ny\nz");
    const std::string patch = dir.file("preview.diff");
    EXPECT_EQ(std::system(("cd '" + repo + "' && git diff --no-color > '" + patch + "'").c_str()), 0);
    return patch;
}

QPushButton* button(QWidget* w, const char* name)
{
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->accessibleName() == QLatin1String(name))
            return b;
    ADD_FAILURE() << "no button " << name;
    return nullptr;
}

// The first row of the shown section of `kind`.
int rowOf(const PatchLinesModel& lines, PatchLineKind kind)
{
    for (int r = 0; r < lines.rowCount(); ++r)
        if (lines.index(r).data(PatchLinesModel::KindRole).toInt() == static_cast<int>(kind))
            return r;
    return -1;
}

QString markedText(const QModelIndex& i)
{
    const int begin = i.data(PatchLinesModel::MarkBeginRole).toInt();
    return i.data().toString().mid(begin, i.data(PatchLinesModel::MarkEndRole).toInt() - begin);
}

uint32_t rgb(const QColor& c)
{
    return static_cast<uint32_t>(c.rgb()) & 0xFFFFFF;
}

// The files with their counts, the selected file's hunks with the kinds, the replaced
// bytes marked, and backgrounds that keep the text readable on light and dark bases.
TEST(PreviewWindow, ListsFilesWithCountsAndShowsColouredHunks)
{
    test::TempDir dir;
    const std::string patch = gitPatch(dir);
    PreviewWindow window(patch, {{dir.file("repo/a.txt"), "a.txt", 1, 24, 0}, {dir.file("repo/sub/b c.txt"), "sub/b c.txt", 3, 4, 0}},
                         QRect());
    ASSERT_TRUE(window.loaded()) << window.loadError().toStdString();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview Replace"));
    const PatchFilesModel& files = window.filesModel();
    ASSERT_EQ(files.rowCount(), 2);
    EXPECT_EQ(files.index(0, PatchFilesModel::FileColumn).data().toString(), QStringLiteral("a.txt"));
    EXPECT_EQ(files.index(0, PatchFilesModel::ReplacementsColumn).data().toString(), QStringLiteral("1"));
    EXPECT_EQ(files.index(1, PatchFilesModel::FileColumn).data().toString(), QStringLiteral("sub/b c.txt"));
    EXPECT_EQ(files.index(1, PatchFilesModel::ReplacementsColumn).data().toString(), QStringLiteral("3"));
    EXPECT_EQ(files.index(1, PatchFilesModel::ChangesColumn).data().toString(), QStringLiteral("+1 \u22120"));

    PatchLinesModel& lines = window.linesModel();
    EXPECT_EQ(lines.section(), 0); // the first file is shown at once
    const int removed = rowOf(lines, PatchLineKind::Removed), added = rowOf(lines, PatchLineKind::Added);
    ASSERT_GE(removed, 0);
    ASSERT_EQ(added, removed + 1);
    EXPECT_EQ(lines.index(removed).data().toString(), QStringLiteral("-two needle two"));
    EXPECT_EQ(markedText(lines.index(removed)), QStringLiteral("needle"));
    EXPECT_EQ(markedText(lines.index(added)), QStringLiteral("thread"));
    EXPECT_EQ(lines.index(removed - 1).data(PatchLinesModel::KindRole).toInt(), static_cast<int>(PatchLineKind::Context));

    for (const QColor base : {QColor(Qt::white), QColor(30, 30, 30)}) {
        lines.setBaseColor(base);
        const QColor text = base.lightness() > 128 ? QColor(Qt::black) : QColor(Qt::white);
        const QColor red = lines.index(removed).data(Qt::BackgroundRole).value<QBrush>().color();
        const QColor green = lines.index(added).data(Qt::BackgroundRole).value<QBrush>().color();
        EXPECT_GT(red.red(), red.green());
        EXPECT_GT(green.green(), green.red());
        for (const QColor c : {red, green, lines.index(removed).data(PatchLinesModel::MarkColorRole).value<QColor>(),
                               lines.index(added).data(PatchLinesModel::MarkColorRole).value<QColor>()})
            EXPECT_GE(contrastRatio(rgb(c), rgb(text)), 4.5) << c.name().toStdString();
    }

    // The second file: its added lines and git's note on the missing last newline.
    window.selectFile(1);
    EXPECT_EQ(lines.section(), 1);
    EXPECT_GE(rowOf(lines, PatchLineKind::NoNewline), 0);
    EXPECT_EQ(lines.index(rowOf(lines, PatchLineKind::Added)).data().toString(), QStringLiteral("+z"));

    QSignalSpy replace(&window, &PreviewWindow::replaceRequested);
    button(&window, "Replace")->click();
    EXPECT_EQ(replace.count(), 1);
    QString message;
    window.setMessageSink([&](const QString& m) { message = m; });
    window.showRefusedFiles({QStringLiteral("/x/a.txt"), QStringLiteral("/x/b.txt")});
    EXPECT_EQ(message, QStringLiteral("Not replaced, changed since the preview:\n/x/a.txt\n/x/b.txt"));
}

// Save Patch writes the patch's bytes exactly, replaces an existing file only on Yes, and
// never writes over the patch itself or through a link.
TEST(PreviewWindow, SavePatchWritesIdenticalBytesAndAsksFirst)
{
    test::TempDir dir;
    const std::string patch = gitPatch(dir);
    const std::string bytes = readAll(patch);
    PreviewWindow window(patch, {}, QRect());
    ASSERT_TRUE(window.loaded());
    QString target;
    std::vector<QString> asked, messages;
    bool answer = false;
    window.setSaveChooser([&] { return target; });
    window.setOverwriteQuestion([&](const QString& t) { asked.push_back(t); return answer; });
    window.setMessageSink([&](const QString& m) { messages.push_back(m); });
    QPushButton* save = button(&window, "Save Patch...");

    target = QString::fromStdString(dir.file("saved.diff"));
    save->click();
    EXPECT_EQ(readAll(dir.file("saved.diff")), bytes);
    EXPECT_TRUE(asked.empty());

    test::writeFile(dir.file("saved.diff"), "mine");
    save->click(); // answered No
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(readAll(dir.file("saved.diff")), "mine");
    answer = true;
    save->click();
    EXPECT_EQ(readAll(dir.file("saved.diff")), bytes);

    target = QString::fromStdString(patch); // the patch itself
    save->click();
    EXPECT_EQ(readAll(patch), bytes);
    ASSERT_EQ(messages.size(), 1u);

    test::writeFile(dir.file("other"), "other");
    ASSERT_EQ(::symlink(dir.file("other").c_str(), dir.file("link.diff").c_str()), 0);
    target = QString::fromStdString(dir.file("link.diff"));
    save->click();
    EXPECT_EQ(readAll(dir.file("other")), "other");
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(asked.size(), 4u);
}

// Garbage, cut hunks and a section of 100,000 changed lines: the window opens, every
// section can be shown and every row painted from the model, a broken section says so,
// and a removed line far from its added partner is still marked.
TEST(PreviewWindow, OpensHostileAndLargePatches)
{
    test::TempDir dir;
    std::mt19937 rng(99);
    const std::string cut = "diff --git a/f b/f\n--- a/f\n+++ b/f\n@@ -1,3 +1,3 @@\n a\n-b\n";
    std::string noise(20000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng() % 256);
    for (const std::string& text : {cut, noise, cut + noise, std::string()}) {
        test::writeFile(dir.file("p"), text);
        PreviewWindow window(dir.file("p"), {}, QRect());
        ASSERT_TRUE(window.loaded());
        for (int f = 0; f < window.filesModel().rowCount(); ++f) {
            window.selectFile(f);
            const PatchLinesModel& lines = window.linesModel();
            for (int r = 0; r < lines.rowCount(); ++r)
                for (int role : {int(Qt::DisplayRole), int(Qt::BackgroundRole), int(PatchLinesModel::MarkBeginRole)})
                    (void)lines.index(r).data(role);
        }
        if (text == cut) {
            EXPECT_TRUE(window.filesModel().index(0, 0).data(PatchFilesModel::MalformedRole).toBool());
        }
    }

    std::string big = "diff --git a/big b/big\n--- a/big\n+++ b/big\n@@ -1,50000 +1,50000 @@\n";
    for (int i = 0; i < 50000; ++i)
        big += "-old line " + std::to_string(i) + "\n";
    for (int i = 0; i < 50000; ++i)
        big += "+new line " + std::to_string(i) + "\n";
    test::writeFile(dir.file("big"), big);
    PreviewWindow window(dir.file("big"), {}, QRect());
    ASSERT_TRUE(window.loaded());
    const PatchLinesModel& lines = window.linesModel();
    ASSERT_EQ(lines.rowCount(), 100004);
    EXPECT_EQ(markedText(lines.index(100003)), QStringLiteral("new"));
    EXPECT_EQ(markedText(lines.index(4 + 49999)), QStringLiteral("old"));
    EXPECT_EQ(lines.index(4 + 12345).data().toString(), QStringLiteral("-old line 12345"));
}

// The main window opens the preview without waiting for it, and keeps its place.
TEST(PreviewWindow, MainWindowOpensItNonModalAndStoresItsPlace)
{
    test::TempDir dir;
    const std::string patch = gitPatch(dir);
    MainWindow main(QString::fromStdString(dir.file("tw.conf")));
    ASSERT_NE(main.action(kCmdPreviewReplace), nullptr);
    EXPECT_EQ(main.action(kCmdPreviewReplace)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+H")));
    EXPECT_EQ(main.openPreviewWindow(dir.file("missing.diff"), {}), nullptr);
    PreviewWindow* window = main.openPreviewWindow(patch, {{dir.file("repo/a.txt"), "a.txt", 1, 24, 0}});
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(main.previewWindow(), window);
    window->move(40, 50);
    window->resize(700, 500);
    const QRect placed(window->pos(), window->size());
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return main.previewWindow() == nullptr; })); // deleted once closed
    PreviewWindow* again = main.openPreviewWindow(patch, {});
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(QRect(again->pos(), again->size()), placed);
}

} // namespace
} // namespace tw
