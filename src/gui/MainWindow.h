#pragma once
// The desktop program's main window: the four input boxes, the search flags, the Search
// and Replace commands (each the Stop button of its own run), the results list, the menu,
// the toolbar and the status bar. A run is built from the inputs, the options and the
// saved settings as the command line builds it, and executes on the worker thread of a
// RunController. Every command has one QAction, shared by the menu and the toolbar, whose
// enabled state follows the rules of CommandRules.h.
#include "app/CommandLine.h"
#include "app/BinaryModeModel.h"
#include "core/PreviewedFile.h"
#include "app/CommandRules.h"
#include "core/FileOperations.h"
#include "app/ScriptInputs.h"
#include "app/SettingsStore.h"
#include "core/ProgramOptions.h"
#include "gui/GuiRunHost.h"
#include "gui/ResultsModel.h"
#include "gui/ResultsOpener.h"
#include "gui/RunController.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QAction;
class QListView;
class QMenu;
class QPushButton;
class QToolBar;

namespace tw {

class PreviewSession;
class PreviewWindow;
class ResultsDelegate;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // The settings come from the user's store, or from the INI file `configFile` (tests).
    explicit MainWindow(const QString& configFile = QString(), QWidget* parent = nullptr);
    // The window of a command line (applyCommandLine below). A Search it asks for starts
    // here, before the window's controls are built, so that the run does not wait for
    // them; any other command waits for issueCommandLineCommand().
    explicit MainWindow(const CommandLineRequest& commandLine, const QString& configFile = QString(),
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // Puts a command line's texts and flags into the boxes and options; with "/q" the
    // window closes after the run that issueCommandLineCommand() starts.
    void applyCommandLine(const CommandLineRequest& request);
    // Issues the one command the applied command line asks for, if any.
    void issueCommandLineCommand();
    // The exit status of a "/q" command line as tarnwick-cli gives it: that of the last run
    // (runExitStatus), 2 while none has finished (its inputs were refused, say).
    int commandLineStatus() const { return m_commandLineStatus; }

    // Search (replaceMode false) or Replace; while that command's run is active, stops it.
    void runCommand(bool replaceMode);
    // Copies the selected results lines, or all of them, with the run heading.
    void copyResults();
    // Writes the results as an HTML page to `path`; false (and a message) on failure.
    bool writeResultsPage(const std::string& path);
    // Requests a stop of the active run; nothing when idle.
    void stopRun();
    bool running() const { return m_controller->running(); }

    // Opens "Preview Replace" on the patch file `patchPath` (a replace run's changes, made
    // without writing), listing `files` with their counts; a preview still open closes
    // first. The window is not modal and deletes itself when closed; its place is stored
    // as "Preview Position". Null (and a message) when the patch cannot be read.
    PreviewWindow* openPreviewWindow(const std::string& patchPath, std::vector<PreviewedFile> files);
    // The preview open now, if any.
    PreviewWindow* previewWindow() const;
    // "Preview Replace" (while a preview runs, its Stop): the replace the boxes describe
    // runs on the worker as a preview, and the preview window opens on its patch when it
    // has found something to change. The window's Replace applies it (applyPreview).
    void previewReplace();
    // "Undo Last Replace...": the files of the last replace run of the undo history with
    // their state; OK restores them on the worker.
    void undoLastReplace();

    // The command's action (menu and toolbar), or nullptr for an unknown identifier.
    QAction* action(int id) const;
    // Opens "Customize Toolbar"; on OK the toolbar shows the chosen buttons and the
    // arrangement is saved at once.
    void customizeToolbar();
    // Shows `items` (identifiers and separators) on the toolbar and saves the arrangement.
    void setToolbarItems(const std::vector<int>& items);
    const std::vector<int>& toolbarItems() const { return m_toolbarItems; }
    QToolBar* toolbar() const { return m_toolbar; }
    // Takes one dropped file or directory as the mask and path (what a drop does).
    void dropPath(const QString& path);
    // Several dropped items: "EXPLORER.TWS" in the data directory gets a path entry for
    // each that exists and becomes the last script file, which is read and shown.
    void dropItems(const QStringList& paths);
    // The script the boxes name, as last read.
    const Script& script() const { return m_script; }
    const std::string& lastScriptFile() const { return m_saved.lastScriptFile; }

    GuiRunHost& host() { return *m_host; }
    // Opens the results list's current line (viewers, View Context).
    ResultsOpener& opener() { return *m_opener; }
    ResultsModel& model() { return *m_model; }
    const RunController& controller() const { return *m_controller; }

signals:
    // The window became idle again after a run.
    void runEnded(tw::RunOutcome outcome);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    MainWindow(const QString& configFile, const CommandLineRequest* commandLine, QWidget* parent);
    // Starts a command-line Search whose inputs pass the checks, with no control built
    // yet; false leaves it to issueCommandLineCommand() (which shows any problem).
    bool startSearchAtOnce();
    // The command line's inputs, options and command, into the window's state only.
    void takeCommandLine(const CommandLineRequest& request);
    void buildControls();
    // The four flag check boxes, each mirroring its menu command, in a row.
    QHBoxLayout* buildFlags(QWidget* central);
    // The label above the results list and the list itself, with its delegate and keys.
    void buildResultsList(QWidget* central);
    // One action per command, with its text, hint, tool tip, picture and key.
    void buildActions();
    void buildMenus();
    void buildToolbar();
    void showResultsMenu(const QPoint& pos);
    // Enables the commands for the current state (idle or running, results or none).
    void updateCommands();
    void viewResultsAsHtml();
    // The Options sheet over a copy of the options; on OK the copy is taken over.
    void showOptions();
    // The Options sheet on `options`, opening on the page last used (which it remembers):
    // the edited copy on OK.
    std::optional<ProgramOptions> runOptionsSheet(const ProgramOptions& options, QWidget* parent);
    // The "..." beside the search or the replace box: the Binary Mode dialog on the block
    // kept for the box (with Ctrl, or while the box shows a text of its own, on that
    // text); on OK the block is kept and the box shows the placeholder.
    void editBinaryBlock(BlockSide side);
    // The Binary Mode dialog on `block`: the new block on OK. The script file its Apply
    // Script chose is remembered either way.
    std::optional<std::string> runBinaryModeDialog(const std::string& block, BlockSide side, bool regularExpression,
                                                   QWidget* parent);
    // Touch (Ctrl+T; while Touch runs, its Stop): the files a run would select are
    // collected on the worker, then the Touch dialog opens on them and its OK touches them
    // in a second run. Touch Selected Files takes the files of the selected results lines.
    void touchFiles();
    void touchSelectedFiles();
    void openTouchDialog(std::shared_ptr<FileList> files);
    // File Operations on the files of the selected results lines (all file lines when none
    // is selected), with `kind` chosen; the operation runs on the worker.
    void fileOperations(FileOperationKind kind);
    // The Script command: with Ctrl, the boxes are first written as TWDUMP.TWS; then the
    // Script Editor on the window's script, whose "Use Script" shows it in the boxes.
    void editScript();
    // The recent-item lists from the store, and the first-use texts of empty boxes.
    void loadRecentItems();
    // The boxes and flags show m_recent and m_saved's inputs.
    void showInputs();
    // The inputs and flags as the boxes show them, into m_saved and m_options.
    void takeInputs();
    // Adds the accepted inputs to the four recent-item lists (m_recent), and the boxes
    // show the new lists when they are built.
    void rememberInputs();
    // The checks before a run (acceptInputs), with what loading the script said shown;
    // inputs that are refused are told, and their box gets the focus.
    AcceptedInputs acceptForRun(bool replaceMode);
    // Starts the run of the accepted inputs in m_saved and m_options, taking from m_script
    // what `use` says; false when the controller refuses it.
    bool startRun(bool replaceMode, const ScriptUse& use);
    // The last script file in the boxes (showScriptInInputs), and the flags it greys.
    void showScript();
    void focusBox(InputBox box);
    // A script whose file has changed since it was read is read again by the next check:
    // scripts are edited outside the program.
    void forgetChangedScript();
    // Remembers the file `script` was just read from, as it is now.
    void noteScriptRead(const Script& script);
    // Reads scripts with the window's flags and options, noting each file read.
    ScriptLoader scriptLoader();
    // After a preview run: its window, or why there is none.
    void showPreview(const std::shared_ptr<PreviewSession>& session, RunOutcome outcome);
    // The preview window's Replace: the previewed run on exactly the previewed files.
    void applyPreview();
    void showMessage(const QString& text);
    void setRunning(ActiveRun run);
    void onRunFinished(RunOutcome outcome);
    void setResultsLabel(const QString& text);
    void restoreWindowRect();
    void saveSettings();

    std::unique_ptr<SettingsStore> m_store; // never null
    ProgramOptions m_options;               // the options in force for the next run
    MainWindowSettings m_saved;             // the window's saved values; inputs updated per run
    Script m_script;                        // the script last read (the boxes may name it)
    // The file m_script was read from, as it was then: its path, time and size.
    QString m_scriptReadFrom;
    QDateTime m_scriptReadTime;
    qint64 m_scriptReadSize = -1;
    QByteArray m_savedToolbar;              // the toolbar layout as saveSettings last wrote it

    QComboBox* m_searchBox = nullptr;
    QComboBox* m_replaceBox = nullptr;
    QPushButton* m_searchBlockButton = nullptr;  // the "..." beside the search box
    QPushButton* m_replaceBlockButton = nullptr; // the "..." beside the replace box
    QComboBox* m_maskBox = nullptr;
    QPushButton* m_maskRulesButton = nullptr; // the "..." beside the mask box
    QComboBox* m_pathBox = nullptr;
    QPushButton* m_pathButton = nullptr;      // the "..." beside the path box
    // Recent-item lists of the four boxes, item 1 first; mirrored by the boxes' lists.
    std::vector<std::string> m_recent[4];
    QCheckBox* m_caseSensitive = nullptr;
    QCheckBox* m_wholeWord = nullptr;
    QCheckBox* m_regularExpression = nullptr;
    QCheckBox* m_subdirectories = nullptr;
    QPushButton* m_searchButton = nullptr;
    QPushButton* m_replaceButton = nullptr;
    QLabel* m_resultsLabel = nullptr; // "Search Res&ults:", or the run's progress
    QListView* m_resultsList = nullptr;
    ResultsDelegate* m_delegate = nullptr;
    QToolBar* m_toolbar = nullptr;
    QPointer<PreviewWindow> m_preview; // the open "Preview Replace", if any
    // The preview m_preview shows (its patch file lives as long as it); null with no window.
    std::shared_ptr<PreviewSession> m_previewSession;

    std::map<int, QAction*> m_actions;   // every command of the menus, by identifier
    // The results list's context menu: its own texts, each mirroring a command.
    std::vector<std::pair<QAction*, int>> m_contextActions;
    QMenu* m_resultsMenu = nullptr;
    std::vector<int> m_toolbarItems;     // what the toolbar shows, separators as 0

    ResultsModel* m_model = nullptr;              // owned by the window (QObject child)
    std::unique_ptr<ResultsOpener> m_opener;      // made with the results list
    std::unique_ptr<GuiRunHost> m_host;           // outlives m_controller
    std::unique_ptr<RunController> m_controller;  // destroyed first: stops and joins the worker
    ActiveRun m_active = ActiveRun::None;         // the command of the active run
    // The next step of the command whose run is active (Touch opens its dialog once the
    // files are collected); called once, when that run ends.
    std::function<void(RunOutcome)> m_whenRunEnds;
    bool m_closeRequested = false; // the window was closed during a run: close once it ends
    bool m_closeAfterRun = false;  // "/q": the command line's run is quiet, then the window closes
    int m_commandLineStatus = 2;   // see commandLineStatus()
    CommandLineCommand m_commandLineCommand = CommandLineCommand::None; // issued once shown
};

} // namespace tw
