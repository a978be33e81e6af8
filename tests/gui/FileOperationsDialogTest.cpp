// The File Operations dialog over its model, opened directly, and its request run as a
// job of the run controller.
#include "GuiControls.h"
#include "TestUtil.h"
#include "gui/FileOperationJob.h"
#include "gui/FileOperationsDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

using test::control;

TEST(FileOperationsDialog, OkNeedsADestinationAndGivesTheFilesStillSelected)
{
    FileOperationModel model({{"/d/a.txt", {}}, {"m.txt", "/d/z.zip"}, {"/d/b.txt", {}}}, {"/d/"},
                             FileOperationKind::Move);
    FileOperationsDialog d(std::move(model));
    QStringList messages;
    d.setMessageSink([&](const QString& text) { messages << text; });
    QString chooserStart;
    d.setDirectoryChooser([&](const QString& start) {
        chooserStart = start;
        return QStringLiteral("/chosen");
    });
    auto* files = control<QListWidget>(&d, "Selected files will be processed");
    ASSERT_EQ(files->count(), 3);
    EXPECT_EQ(files->item(1)->text(), QStringLiteral("/d/z.zip | m.txt"));
    EXPECT_EQ(files->selectedItems().size(), 3);
    EXPECT_TRUE(control<QRadioButton>(&d, "Move to:")->isChecked());
    EXPECT_EQ(control<QRadioButton>(&d, "Copy to:")->text(), QStringLiteral("&Copy to:"));
    EXPECT_TRUE(control<QCheckBox>(&d, "Preserve directory structure")->isChecked());

    d.show();
    d.accept();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Path not found")});
    EXPECT_TRUE(d.isVisible()); // stays open

    auto* destination = control<QLineEdit>(&d, "Destination");
    destination->setText(QStringLiteral("/out"));
    QTest::mouseClick(control<QPushButton>(&d, "Select Path"), Qt::LeftButton);
    EXPECT_EQ(chooserStart, QStringLiteral("/out/"));
    EXPECT_EQ(destination->text(), QStringLiteral("/chosen"));

    files->item(0)->setSelected(false);
    control<QCheckBox>(&d, "Preserve directory structure")->setChecked(false);
    control<QRadioButton>(&d, "Delete")->setChecked(true);
    EXPECT_FALSE(destination->isEnabled());
    control<QRadioButton>(&d, "Copy to:")->setChecked(true);
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const FileOperationRequest r = d.request("/x/");
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[0].archivePath, "/d/z.zip");
    EXPECT_EQ(r.files[1].path, "/d/b.txt");
    EXPECT_EQ(r.operation, FileOperationKind::Copy);
    EXPECT_EQ(r.destination, "/chosen");
    EXPECT_FALSE(r.preserve);
}

TEST(FileOperationsDialog, TheJobRunsOnTheControllerAndAddsItsSummaryBelowTheResults)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "a");
    std::filesystem::create_directories(dir.file("d"));
    GuiRunHost host;
    ResultsModel model;
    RunController controller(host, model);
    QSignalSpy finished(&controller, &RunController::runFinished);
    FileOperationRequest request;
    request.operation = FileOperationKind::Delete;
    request.files = {{dir.file("a.txt"), {}}, {dir.file("d"), {}}};
    ASSERT_TRUE(controller.start(fileOperationJob(request, host, controller)));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(controller.lastOutcome(), RunOutcome::Completed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.txt")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("d")));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0)).toString(), QStringLiteral("Cannot delete a directory d"));
    EXPECT_EQ(model.data(model.index(1)).toString(), QStringLiteral("1 file deleted, 1 failed"));
}

} // namespace
} // namespace tw
