#pragma once
// "Binary Mode": edits a search or replace block in the escape dialect, with the code
// table, Paste Text, Apply Script and, for a search block, the special operations. The
// logic lives in BinaryModeModel; the dialog moves values between its controls and the
// model and shows the messages and the question the model names.
#include "app/BinaryModeModel.h"
#include "app/ScriptInputs.h"
#include "engine/ReplaceTokens.h"

#include <QDialog>

#include <functional>
#include <string>

class QObject;
class QEvent;
class QLayout;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QWidget;

namespace tw {

class CodeTableModel;

// What Apply Script needs from the window that opens the dialog. An empty loader reads with
// the default inputs and options; an empty lookup reads the process environment.
struct BinaryScriptAccess {
    ScriptLoader load;
    EnvironmentLookup environment;
    int maxRepeat = 0; // the options' repeat limit of patterns
};

class BinaryModeDialog final : public QDialog {
    Q_OBJECT
public:
    BinaryModeDialog(std::string block, BlockSide side, bool regularExpression, std::string lastScriptFile,
                     BinaryScriptAccess scripts, QWidget* parent = nullptr);

    // The block OK handed back (the starting block until then).
    const std::string& block() const { return m_block; }
    // The script file Apply Script last chose (or the one the dialog started with).
    const std::string& lastScriptFile() const { return m_model.lastScriptFile(); }

    // The ways out to the user, each a message box or a file chooser unless replaced.
    void setMessageSink(std::function<void(const QString&)> sink) { m_message = std::move(sink); }
    // Asks a Yes/No question; true is Yes.
    void setQuestion(std::function<bool(const QString&)> ask) { m_question = std::move(ask); }
    // Chooses an existing script file starting in `folder` with `name`; empty: cancelled.
    void setScriptChooser(std::function<QString(const QString& folder, const QString& name)> choose)
    {
        m_chooseScript = std::move(choose);
    }

    // OK: refuses an empty or too long block, asks about lone backslashes, then closes.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildOperations();
    QLayout* buildCodeTable();
    void addCode(int row);
    void pasteText();
    void applyScript();
    void chooseOperation(BlockOperation operation);
    void showBlock(size_t caretByte);
    void updateEnabling();
    void fitColumns();

    BinaryModeModel m_model;
    BinaryScriptAccess m_scripts;
    std::string m_block; // what block() reports: the starting block, then OK's
    std::function<void(const QString&)> m_message;
    std::function<bool(const QString&)> m_question;
    std::function<QString(const QString&, const QString&)> m_chooseScript;

    QPlainTextEdit* m_editor = nullptr; // shows m_model.block(); user edits go to the model
    CodeTableModel* m_codes = nullptr;
    QTableView* m_table = nullptr;
    QPushButton* m_addCode = nullptr;
    QPushButton* m_paste = nullptr;
    QPushButton* m_applyScript = nullptr;
    QRadioButton* m_useSearch = nullptr; // the three operation choices: a search block only
    QRadioButton* m_atTop = nullptr;
    QRadioButton* m_atBottom = nullptr;
};

} // namespace tw
