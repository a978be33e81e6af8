#pragma once
// "Preview Replace": the patch a replace run would make, shown before anything is written.
// The changed files with their counts on the left, the selected file's hunks on the right
// (read from the patch file as they scroll into view, removed lines red, added lines green,
// the replaced bytes marked within them), and "Replace", "Save Patch..." and "Close".
// Replace only asks for the run (replaceRequested); whoever runs it reports the files it
// refused through showRefusedFiles. The window is not modal.
#include "app/PatchIndex.h"
#include "core/PreviewedFile.h"

#include <QDialog>
#include <QRect>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QListView;
class QPushButton;
class QLabel;
class QTableView;

namespace tw {

class PatchFilesModel;
class PatchLinesModel;

class PreviewWindow final : public QDialog {
    Q_OBJECT
public:
    // Opens and indexes the patch `patchPath`; `files` are the files it covers, whose
    // counts the list shows (matched by their names in the patch). `saved`: the stored
    // "Preview Position" (as ContextWindow takes it), empty to centre the window.
    PreviewWindow(const std::string& patchPath, std::vector<PreviewedFile> files, QRect saved,
                  QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // The patch could be read; otherwise the window is not to be shown, and loadError()
    // says why.
    bool loaded() const { return m_loaded; }
    QString loadError() const { return QString::fromStdString(m_index.error()); }
    const std::string& patchPath() const { return m_index.path(); }
    const std::vector<PreviewedFile>& files() const { return m_files; }
    // The rectangle to store when the window closed neither minimised nor maximised; empty
    // otherwise (and while it is open).
    QRect rectangleToSave() const { return m_closedRect; }

    PatchFilesModel& filesModel() const { return *m_filesModel; }
    PatchLinesModel& linesModel() const { return *m_linesModel; }
    // Whether "Replace" can be pressed (not once the preview has been applied).
    void setReplaceEnabled(bool enabled);
    bool replaceEnabled() const;
    // Shows the hunks of the list's row `row`.
    void selectFile(int row);

    // Writes the patch's bytes to `target` as a complete new file renamed over the old one;
    // a link, a directory or the patch itself is refused. False (and a message) on failure.
    bool savePatch(const QString& target);

    // The seams of Save Patch: the file chosen (empty: cancelled), the question before an
    // existing file is replaced, and the messages (message boxes unless replaced).
    void setSaveChooser(std::function<QString()> chooser) { m_chooseTarget = std::move(chooser); }
    void setOverwriteQuestion(std::function<bool(const QString&)> ask) { m_askOverwrite = std::move(ask); }
    void setMessageSink(std::function<void(const QString&)> sink) { m_message = std::move(sink); }

    void done(int result) override;

public slots:
    // Tells the user which files the replace left alone because they changed after the
    // preview was made.
    void showRefusedFiles(const QStringList& files);

signals:
    // "Replace" was pressed: replace in the previewed files.
    void replaceRequested();

private:
    void saveAs();
    // The list of changed files, with its columns laid out, named after `label`.
    QTableView* makeFileList(QLabel* label);

    PatchIndex m_index;
    std::vector<PreviewedFile> m_files;
    bool m_loaded = false;
    QRect m_closedRect;
    std::function<QString()> m_chooseTarget;
    std::function<bool(const QString&)> m_askOverwrite;
    std::function<void(const QString&)> m_message;

    PatchFilesModel* m_filesModel = nullptr; // children of the window
    PatchLinesModel* m_linesModel = nullptr;
    QTableView* m_fileList = nullptr;
    QListView* m_lines = nullptr;
    QPushButton* m_replace = nullptr;
};

} // namespace tw
