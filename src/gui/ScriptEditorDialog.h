#pragma once
// "Script Editor": the pages Search/Replace, Path/Mask and Advanced over a script. The
// edits, the enabling rules and the closing steps live in ScriptEditorModel; the dialog
// moves its controls' values into the model's fields before each command and shows the
// fields and lists afterwards.
#include "app/BinaryModeModel.h"
#include "app/ScriptEditorModel.h"
#include "app/ScriptInputs.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace tw {

class ScriptListModel;

// What the editor needs from its opener.
struct ScriptEditorServices {
    ScriptLoader load;
    ScriptSaver save;
    // The Binary Mode dialog on a block: the new block on OK, nullopt on Cancel.
    std::function<std::optional<std::string>(const std::string& block, BlockSide side, bool regularExpression,
                                             QWidget* parent)>
        editBlock;
    // The Options sheet on `options`: the edited options on OK, nullopt on Cancel.
    std::function<std::optional<ProgramOptions>(const ProgramOptions& options, QWidget* parent)> editOptions;
};

class ScriptEditorDialog final : public QDialog {
    Q_OBJECT
public:
    ScriptEditorDialog(Script& script, ScriptEditorSeed seed, ScriptEditorServices services,
                       QWidget* parent = nullptr);
    ~ScriptEditorDialog() override;

    ScriptEditorModel& model() { return m_model; }

    // Seams for tests, each defaulting to the real thing.
    void setMessageSink(std::function<void(const QString&)> sink);
    // "Save changes?" answered Yes (true) or No.
    void setQuestion(std::function<bool(const QString&)> question);
    // The save/open file choice: (start path, saving) -> the chosen path, "" when cancelled.
    void setFileChooser(std::function<QString(const QString& start, bool saving)> chooser);
    void setCtrlHeld(std::function<bool()> ctrlHeld);

    // Use Script: the model's closing steps with the "Save changes?" question.
    void accept() override;
    // Cancel and Escape, likewise.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class ListChange { Row, Swap, All };

    QWidget* buildPairsPage();
    QWidget* buildPathsPage();
    QWidget* buildAdvancedPage();
    QTableView* makeTable(ScriptListModel* rows, const QString& name);
    void connectPairs();
    void connectPaths();

    // Reads the page's controls into the model, runs one edit, shows the outcome.
    template <typename Edit>
    void editPairs(ListChange change, Edit&& edit);
    template <typename Edit>
    void editPaths(ListChange change, Edit&& edit);
    void storePairFields();
    void showPairFields();
    void storePathFields();
    void showPathFields();
    void storeAdvancedFields();
    void showAdvancedFields();
    void showAdvancedBoxes();
    void storeAllFields();
    void refreshList(ScriptListModel* rows, QTableView* table, ListChange change, int before, int after);
    void showEverything();
    void updatePairEnabling();
    void updatePathEnabling();
    void showRow(QTableView* table, int row);
    static int selectedRow(const QTableView* table);

    void pageChanged(int index);
    void editBinaryBlock(BlockSide side);
    void editComments();
    void editOptions();
    void saveAs();
    void load();
    void finish(EditorClose state, bool accepting, std::vector<std::string>& messages);
    void showMessages(const std::vector<std::string>& messages);
    void updateTitle();

    ScriptEditorModel m_model;
    ScriptEditorServices m_services;
    std::function<void(const QString&)> m_sink;
    std::function<bool(const QString&)> m_question;
    std::function<QString(const QString&, bool)> m_chooseFile;
    std::function<bool()> m_ctrlHeld;
    bool m_syncing = false;        // the dialog itself is moving a selection or the tab
    bool m_openingShown = false;   // the opening load's messages went out

    QTabWidget* m_tabs = nullptr;
    // Search/Replace page
    ScriptListModel* m_pairRows = nullptr;
    QTableView* m_pairs = nullptr;
    QLineEdit* m_search = nullptr;
    QLineEdit* m_replace = nullptr;
    QPushButton* m_searchBlock = nullptr;
    QPushButton* m_replaceBlock = nullptr;
    QCheckBox* m_case = nullptr;
    QCheckBox* m_wholeWord = nullptr;
    QCheckBox* m_regex = nullptr;
    QCheckBox* m_ignoreWhitespace = nullptr;
    QPushButton* m_pairApply = nullptr;
    QPushButton* m_pairInsert = nullptr;
    QPushButton* m_pairRemove = nullptr;
    QPushButton* m_pairRemoveAll = nullptr;
    QPushButton* m_pairUp = nullptr;
    QPushButton* m_pairDown = nullptr;
    QPushButton* m_comment = nullptr;
    // Path/Mask page
    ScriptListModel* m_pathRows = nullptr;
    QTableView* m_paths = nullptr;
    QLineEdit* m_mask = nullptr;
    QLineEdit* m_path = nullptr;
    QPushButton* m_maskRules = nullptr;
    QPushButton* m_choosePath = nullptr;
    QPushButton* m_pathApply = nullptr;
    QPushButton* m_pathInsert = nullptr;
    QPushButton* m_pathRemove = nullptr;
    QPushButton* m_pathRemoveAll = nullptr;
    QPushButton* m_pathUp = nullptr;
    QPushButton* m_pathDown = nullptr;
    // Advanced page
    QPlainTextEdit* m_description = nullptr;
    QLineEdit* m_expression = nullptr;
    QPushButton* m_options = nullptr;
    QCheckBox* m_useProgramOptions = nullptr;
    QCheckBox* m_subdirectories = nullptr;
};

} // namespace tw
