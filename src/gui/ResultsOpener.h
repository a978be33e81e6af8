#pragma once
// Opens what a line of the results list names: its file in another program (the program
// associated with its type, the default viewer, a program the user picks, the hex viewer
// for a binary hit) or the lines around its hit in "View Context". The line's place comes
// from the model's fields, never from its text; a member of an archive is copied out under
// a name of the program's own for a viewer, and read from the archive by View Context.
#include "app/ViewerCommands.h"
#include "core/ContextPager.h"
#include "core/ProgramOptions.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QListView;
class QWidget;

namespace tw {

class ResultsModel;
class SettingsStore;

class ResultsOpener {
public:
    using MessageSink = std::function<void(const QString&)>;
    // Picks the program for "Open with ...": its path, or empty when cancelled.
    using ProgramChooser = std::function<QString(QWidget* parent)>;

    // `options` is read when a command runs (the options in force then).
    ResultsOpener(QWidget* window, QListView* list, ResultsModel& model, const ProgramOptions& options,
                  SettingsStore& store, MessageSink message);
    ~ResultsOpener();

    // Double click and Enter: View Context for a text hit, the hex viewer for a binary
    // one, the associated program for a file line.
    void openCurrent();
    void openAssociated();
    void openDefaultViewer();
    void openWithProgram();
    void viewContext();

    // When the run that filled the list ended: View Context saves only into files not
    // changed since.
    void setRunEnded(FileTime ended) { m_runEnded = ended; }

    // Seams for tests: the desktop's programs and the program chooser.
    void setViewerSystem(std::unique_ptr<ViewerSystem> system);
    void setProgramChooser(ProgramChooser chooser) { m_chooseProgram = std::move(chooser); }

private:
    int currentRow() const;
    // The viewer's target for `row`: its file (an archive member copied out first) and
    // the hit's place; none for a line that names no file, or when the copy failed (the
    // message has then been shown).
    std::optional<ViewerTarget> viewerTarget(int row);
    std::optional<ContextHit> contextHit(int row) const;
    // The text hit `step` rows of hits away from the current line (-1 before, +1 after).
    std::optional<int> neighbourHit(int step) const;
    void show(const std::string& message);

    QWidget* m_window;
    QListView* m_list;
    ResultsModel& m_model;
    const ProgramOptions& m_options;
    SettingsStore& m_store;
    MessageSink m_message;
    std::unique_ptr<ViewerSystem> m_system;
    ProgramChooser m_chooseProgram;
    FileTime m_runEnded = 0;
};

} // namespace tw
