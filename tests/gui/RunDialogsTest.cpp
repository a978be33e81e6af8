// The run's dialogs shown for real and answered through their buttons: the per-hit
// "Replace Confirmation", the per-file question, "No Files Were Found", and the start-up
// recovery dialog.
#include "TestUtil.h"
#include "core/RecoveryList.h"
#include "gui/GuiRunHost.h"
#include "gui/MainWindow.h"
#include "gui/QuestionDialog.h"
#include "gui/RecoveryDialog.h"
#include "gui/ReplaceConfirmDialog.h"
#include "gui/ResultsModel.h"
#include "results/HeldBackTail.h"
#include "results/ResultsList.h"

#include <QPointer>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <thread>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// The visible dialog of type D among `parent`'s children (or the top-level widgets), once
// it shows; null after 20 s.
template <typename D> D* waitForDialog(QWidget* parent)
{
    D* found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            const QList<D*> candidates = parent ? parent->findChildren<D*>() : [] {
                QList<D*> all;
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* d = qobject_cast<D*>(w))
                        all.push_back(d);
                return all;
            }();
            for (D* d : candidates)
                if (d->isVisible()) {
                    found = d;
                    return true;
                }
            return false;
        },
        20000);
    return found;
}

void clickButton(QMessageBox* box, const QString& label)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == label) {
            QTest::mouseClick(b, Qt::LeftButton);
            return;
        }
    ADD_FAILURE() << "no button " << label.toStdString();
}

class RunDialogsTest : public ::testing::Test {
protected:
    RunDialogsTest() : m_window(QString::fromStdString(m_config.file("tw.conf"))) { m_window.show(); }

    void type(const char* box, const std::string& text)
    {
        for (QComboBox* c : m_window.findChildren<QComboBox*>())
            if (c->accessibleName() == QLatin1String(box)) {
                c->lineEdit()->clear();
                QTest::keyClicks(c->lineEdit(), QString::fromStdString(text));
                return;
            }
        ADD_FAILURE() << "no box " << box;
    }
    // Starts a replace of "cat" by "cow" in *.txt and answers the missing-backup question.
    void startReplace()
    {
        type("Search String", "cat");
        type("Replace", "cow");
        type("File Mask", "*.txt");
        type("Path", m_dir.path());
        for (QPushButton* b : m_window.findChildren<QPushButton*>())
            if (b->accessibleName() == QLatin1String("Replace"))
                QTest::mouseClick(b, Qt::LeftButton);
        QuestionDialog* backup = waitForDialog<QuestionDialog>(&m_window);
        ASSERT_NE(backup, nullptr);
        clickButton(backup, QStringLiteral("&Yes"));
    }
    QString lastResultLine()
    {
        ResultsModel& model = m_window.model();
        return model.rowCount() == 0 ? QString() : model.data(model.index(model.rowCount() - 1)).toString();
    }

    TempDir m_config;
    TempDir m_dir;
    MainWindow m_window;
};

TEST_F(RunDialogsTest, ReplaceThisSkipThisReplaceThisThenYesReplacesFirstAndThird)
{
    writeFile(m_dir.file("a.txt"), "cat\ncat\ncat\n");
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    startReplace();
    const Answer answers[] = {Answer::ReplaceThis, Answer::SkipThis, Answer::ReplaceThis};
    const QPoint moved(37, 41);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ReplaceConfirmDialog* dialog = waitForDialog<ReplaceConfirmDialog>(&m_window);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Replace Confirmation");
        // The held-back lines (the file line and the hits so far), then the question line,
        // selected; the markers are never shown.
        const ResultsModel& lines = dialog->lines();
        ASSERT_EQ(lines.rowCount(), i + 3);
        EXPECT_EQ(lines.kindAt(0), LineKind::File);
        EXPECT_EQ(lines.data(lines.index(i + 1)).toString(), QStringLiteral("Line   %1 - cat").arg(i + 1));
        const QModelIndex question = lines.index(i + 2);
        EXPECT_EQ(lines.data(question).toString(), "Replace - cow");
        EXPECT_EQ(lines.data(question, ResultsModel::HitBeginRole).toInt(), 10);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->list()->selectionModel()->isSelected(question); }, 5000));
        // The change: the found text struck through, the replacement beside it.
        EXPECT_TRUE(dialog->changeText().contains("<s><span style=\"color:#ff0000\">cat</span></s>"))
            << dialog->changeText().toStdString();
        EXPECT_TRUE(dialog->changeText().contains(">cow<"));
        QPushButton* replaceThis = dialog->button(Answer::ReplaceThis);
        EXPECT_TRUE(replaceThis->isDefault());
        EXPECT_EQ(dialog->focusWidget(), replaceThis);
        // Where the first one was left, the next ones open.
        if (i == 0)
            dialog->move(moved);
        else
            EXPECT_EQ(dialog->pos(), moved);
        QTest::mouseClick(dialog->button(answers[i]), Qt::LeftButton);
    }
    QuestionDialog* perFile = waitForDialog<QuestionDialog>(&m_window);
    ASSERT_NE(perFile, nullptr);
    EXPECT_EQ(perFile->text().toStdString(), "Replace 2 occurences in file " + m_dir.file("a.txt") + "?");
    clickButton(perFile, QStringLiteral("&Yes"));
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_EQ(readFile(m_dir.file("a.txt")), "cow\ncat\ncow\n");
}

// "&Cancel Remaining", Escape and the close box all cancel: the file stays as it was.
TEST_F(RunDialogsTest, CancellingTheHitDialogLeavesTheFileAndInterruptsTheRun)
{
    enum class Way { CancelRemaining, Escape, Close };
    for (const Way way : {Way::CancelRemaining, Way::Escape, Way::Close}) {
        SCOPED_TRACE(static_cast<int>(way));
        writeFile(m_dir.file("a.txt"), "cat cat\n");
        QSignalSpy ended(&m_window, &MainWindow::runEnded);
        startReplace();
        // The first hit is replaced, so only the cancel keeps the file unchanged.
        ReplaceConfirmDialog* first = waitForDialog<ReplaceConfirmDialog>(&m_window);
        ASSERT_NE(first, nullptr);
        // The next dialog may be made at the address of the deleted first one.
        const QPointer<ReplaceConfirmDialog> firstAlive(first);
        QTest::mouseClick(first->button(Answer::ReplaceThis), Qt::LeftButton);
        ReplaceConfirmDialog* second = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            second = waitForDialog<ReplaceConfirmDialog>(&m_window);
            return second && (firstAlive.isNull() || second != firstAlive.data());
        }, 20000));
        switch (way) {
        case Way::CancelRemaining: QTest::mouseClick(second->button(Answer::CancelRemaining), Qt::LeftButton); break;
        case Way::Escape: QTest::keyClick(second, Qt::Key_Escape); break;
        case Way::Close: second->close(); break;
        }
        ASSERT_TRUE(ended.wait(20000));
        EXPECT_EQ(readFile(m_dir.file("a.txt")), "cat cat\n");
        EXPECT_EQ(lastResultLine(), "Execution interrupted by the user!");
    }
}

TEST_F(RunDialogsTest, NoFilesWereFoundShowsItsFiveTexts)
{
    type("Search String", "cat");
    type("File Mask", "*.none");
    type("Path", m_dir.path());
    QSignalSpy ended(&m_window, &MainWindow::runEnded);
    m_window.runCommand(false);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QMessageBox* b : m_window.findChildren<QMessageBox*>())
            if (b->isVisible() && b->windowTitle() == "No Files Were Found")
                box = b;
        return box != nullptr;
    }, 20000));
    EXPECT_EQ(box->text(),
              "No files were found using the specified parameters.  This could be due to one of the following reasons:"
              "\n\n- The path you entered may be invalid.  Please use the Browse (...) button next to the Path field to "
              "ensure the path is correct."
              "\n\n- The file mask(s) you entered may be invalid.  You could try entering *.* to verify that.  Please "
              "note that the separator for multiple masks is ; and spaces are considered valid mask characters."
              "\n\n- The filters you used (in Options) excluded all files in the search path(s)."
              "\n\n- If you want to Search Subdirectories, check the box provided in the Main Window.");
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->standardButton(box->buttons().front()), QMessageBox::Ok);
    QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(20000));
}

// A file with 20,000 held-back lines: the dialog gets the file line, a notice and the last
// lines, never the whole store.
TEST(ReplaceConfirmDialog, ManyHeldBackLinesAreHandedOverBounded)
{
    ResultsList store;
    ASSERT_TRUE(store.beginHoldBack());
    store.setPendingFile("/d/a.txt");
    store.emitPendingFileLine();
    const long hits = 20000;
    for (long n = 1; n <= hits; ++n) {
        ResultEntry e;
        e.kind = LineKind::Hit;
        e.path = "/d/a.txt";
        e.lineNumber = n;
        e.text = "Line " + std::to_string(n) + " - \x01\x02" "cat\x01\x03";
        store.addLine(e);
    }
    GuiRunHost host;
    host.beginRun();
    Answer answer = Answer::Cancel;
    std::thread worker([&] { answer = host.ask(Question::ReplaceHit, "Replace - \x01\x02" "cow\x01\x03", store.heldBack()); });
    ReplaceConfirmDialog* dialog = waitForDialog<ReplaceConfirmDialog>(nullptr);
    ASSERT_NE(dialog, nullptr);
    const ResultsModel& lines = dialog->lines();
    ASSERT_EQ(lines.rowCount(), static_cast<int>(ReplaceConfirmDialog::kMaxLines) + 1);
    EXPECT_EQ(lines.kindAt(0), LineKind::File);
    const size_t omitted = static_cast<size_t>(hits) + 1 - (ReplaceConfirmDialog::kMaxLines - 1);
    EXPECT_EQ(lines.data(lines.index(1)).toString().toStdString(), omittedLinesNotice(omitted));
    EXPECT_EQ(lines.data(lines.index(lines.rowCount() - 2)).toString(), "Line 20000 - cat");
    EXPECT_EQ(lines.data(lines.index(lines.rowCount() - 1)).toString(), "Replace - cow");
    QTest::mouseClick(dialog->button(Answer::ReplaceRestInFile), Qt::LeftButton);
    worker.join();
    EXPECT_EQ(answer, Answer::ReplaceRestInFile);
    store.discardHeldBack();
}

// Progress from the run's thread: the label and title show the latest texts, whether they
// came as file parts (made into texts on the GUI thread) or as texts, whichever came last.
TEST(GuiRunHost, ShowsTheLatestProgressAndTitle)
{
    GuiRunHost host;
    host.beginRun();
    QSignalSpy progress(&host, &GuiRunHost::progressChanged);
    QSignalSpy title(&host, &GuiRunHost::titleChanged);
    const auto latest = [](QSignalSpy& spy) { return spy.isEmpty() ? QString() : spy.last().at(0).toString(); };
    struct Step {
        std::function<void()> report;
        const char* progress;
        const char* title;
    };
    const std::vector<Step> steps = {
        {[&] { host.fileProgress(7, 12, "/d/a.txt"); }, "7 files to process (12% done)", "TW32 - /d/a.txt"},
        // Many files in a row: the last one shows.
        {[&] { for (long k = 0; k < 1000; ++k) host.fileProgress(1000 - k, k / 10, "/d/f" + std::to_string(k)); },
         "1 files to process (99% done)", "TW32 - /d/f999"},
        // A text after the parts replaces the progress only; the title stays the file's.
        {[&] { host.fileProgress(3, 50, "/d/b.txt"); host.progress("Extracting"); }, "Extracting", "TW32 - /d/b.txt"},
        {[&] { host.title("TW32 - /d/z.zip"); host.fileProgress(2, 60, "/d/c.txt"); }, "2 files to process (60% done)",
         "TW32 - /d/c.txt"},
        // While the walk goes on, the files found so far; a long file, its bytes.
        {[&] { host.fileProgress(40, kStillListing, "/d/e.txt"); }, "40 files found so far", "TW32 - /d/e.txt"},
        {[&] { host.byteProgress("/d/big.bin", int64_t(3) << 30); }, "3072 MB of this file searched",
         "TW32 - /d/big.bin"},
    };
    for (const Step& step : steps) {
        std::thread worker(step.report);
        worker.join();
        // The reports are in; the one post still on its way, if any, shows the latest.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return latest(progress).toStdString() == step.progress && latest(title).toStdString() == step.title; },
            10000));
        EXPECT_EQ(latest(progress).toStdString(), step.progress);
        EXPECT_EQ(latest(title).toStdString(), step.title);
    }
}

// A real recovery list in a private data directory: Restore puts the file back from its
// copy, Discard keeps it and deletes the copy, Decide Later changes nothing; a missing copy
// is named as not restored.
TEST(RecoveryDialog, EachChoiceDoesWhatTheCommandLineDoes)
{
    enum class Choice { Restore, Discard, Later, RestoreMissingCopy };
    for (const Choice choice : {Choice::Restore, Choice::Discard, Choice::Later, Choice::RestoreMissingCopy}) {
        SCOPED_TRACE(static_cast<int>(choice));
        TempDir data, files;
        const std::string original = files.file("a.txt"), copy = data.file("safety/TWsafe.a");
        writeFile(original, "half");
        std::filesystem::create_directory(data.file("safety"));
        RecoveryEntry entry;
        if (choice != Choice::RestoreMissingCopy) {
            writeFile(copy, "whole");
            FileStatus st;
            ASSERT_TRUE(realFileSystem().status(copy, &st));
            entry.copyDevice = st.device;
            entry.copyInode = st.inode;
        }
        entry.original = original;
        entry.safetyCopy = copy;
        entry.copyLength = 5;
        RecoveryList list(realFileSystem(), realFileOps(), data.path());
        ASSERT_TRUE(list.add(entry));

        QWidget parent;
        RecoveryDialog* dialog = RecoveryDialog::offerPending(&parent, data.path());
        ASSERT_NE(dialog, nullptr);
        auto* names = dialog->findChild<QTreeWidget*>();
        ASSERT_EQ(names->topLevelItemCount(), 1);
        EXPECT_EQ(names->topLevelItem(0)->text(0).toStdString(), original);
        EXPECT_TRUE(names->topLevelItem(0)->text(1).startsWith(QString::fromStdString(copy)));
        QSignalSpy handled(dialog, &RecoveryDialog::handled);
        QPushButton* button = choice == Choice::Discard ? dialog->discardButton()
                              : choice == Choice::Later ? dialog->laterButton()
                                                        : dialog->restoreButton();
        std::vector<std::string> outcome;
        QObject::connect(dialog, &RecoveryDialog::handled, [&] { outcome = dialog->outcome(); });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
        const size_t left = RecoveryList(realFileSystem(), realFileOps(), data.path()).entries().size();
        switch (choice) {
        case Choice::Restore:
            EXPECT_EQ(readFile(original), "whole");
            EXPECT_EQ(left, 0u);
            ASSERT_EQ(handled.size(), 1);
            EXPECT_TRUE(handled[0][0].toBool());
            break;
        case Choice::Discard:
            EXPECT_EQ(readFile(original), "half");
            EXPECT_FALSE(std::filesystem::exists(copy));
            EXPECT_EQ(left, 0u);
            break;
        case Choice::Later:
            EXPECT_EQ(readFile(original), "half");
            EXPECT_EQ(left, 1u);
            EXPECT_EQ(handled.size(), 0);
            break;
        case Choice::RestoreMissingCopy:
            EXPECT_EQ(readFile(original), "half");
            EXPECT_EQ(left, 1u);
            ASSERT_EQ(handled.size(), 1);
            EXPECT_FALSE(handled[0][0].toBool());
            ASSERT_EQ(outcome.size(), 1u);
            EXPECT_NE(outcome[0].find("Not restored"), std::string::npos);
            EXPECT_NE(outcome[0].find(original), std::string::npos);
            break;
        }
        // The outcome is shown over the parent, every line of it.
        if (choice != Choice::Later) {
            QMessageBox* box = parent.findChild<QMessageBox*>();
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text().toStdString(), outcome.front());
            box->close();
        }
    }
}

} // namespace
} // namespace tw
