#pragma once
// The desktop program's main window: the four input boxes, the search flags, the Search
// and Replace commands (each the Stop button of its own run), the results list and the
// progress line. A run is built from the inputs, the options and the saved settings as the
// command line builds it, and executes on the worker thread of a RunController.
#include "app/SettingsStore.h"
#include "core/ProgramOptions.h"
#include "gui/GuiRunHost.h"
#include "gui/ResultsModel.h"
#include "gui/RunController.h"

#include <QMainWindow>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QAction;
class QListView;
class QPushButton;

namespace tw {

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // The settings come from the user's store, or from the INI file `configFile` (tests).
    explicit MainWindow(const QString& configFile = QString(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // Search (replaceMode false) or Replace; while that command's run is active, stops it.
    void runCommand(bool replaceMode);
    // Copies the selected results lines, or all of them, with the run heading.
    void copyResults();
    // Writes the results as an HTML page to `path`; false (and a message) on failure.
    bool writeResultsPage(const std::string& path);
    // Requests a stop of the active run; nothing when idle.
    void stopRun();
    bool running() const { return m_controller->running(); }

    GuiRunHost& host() { return *m_host; }
    ResultsModel& model() { return *m_model; }
    const RunController& controller() const { return *m_controller; }

signals:
    // The window became idle again after a run.
    void runEnded(tw::RunOutcome outcome);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // The menu bar with every command; those whose windows are not built yet stay disabled.
    void buildMenus();
    // Enables the commands for the current state (idle or running, results or none).
    void updateCommands();
    void viewResultsAsHtml();
    void loadInputs();
    // The inputs and flags as the boxes show them, into m_saved and m_options.
    void takeInputs();
    void showMessage(const QString& text);
    void setRunning(bool running, bool replaceMode);
    void onRunFinished(RunOutcome outcome);
    void saveSettings();

    std::unique_ptr<SettingsStore> m_store; // never null
    ProgramOptions m_options;               // the options in force for the next run
    MainWindowSettings m_saved;             // the window's saved values; inputs updated per run

    QComboBox* m_searchBox = nullptr;
    QComboBox* m_replaceBox = nullptr;
    QComboBox* m_maskBox = nullptr;
    QComboBox* m_pathBox = nullptr;
    QCheckBox* m_caseSensitive = nullptr;
    QCheckBox* m_wholeWord = nullptr;
    QCheckBox* m_regularExpression = nullptr;
    QCheckBox* m_subdirectories = nullptr;
    QPushButton* m_searchButton = nullptr;
    QPushButton* m_replaceButton = nullptr;
    QListView* m_resultsList = nullptr;
    // Menu commands whose enabled state follows the window's state.
    QAction* m_searchAction = nullptr;
    QAction* m_replaceAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_htmlAction = nullptr;
    QAction* m_printAction = nullptr;
    QList<QAction*> m_helpActions; // Contents, Search, About: enabled while idle
    QList<QAction*> m_flagActions; // toggles; greyed while a run is active
    QLabel* m_status = nullptr;

    ResultsModel* m_model = nullptr;              // owned by the window (QObject child)
    std::unique_ptr<GuiRunHost> m_host;           // outlives m_controller
    std::unique_ptr<RunController> m_controller;  // destroyed first: stops and joins the worker
    bool m_replaceRun = false;   // the active run (if any) is a replace run
    bool m_closeAfterRun = false; // the window was closed during a run: close once it ends
};

} // namespace tw
