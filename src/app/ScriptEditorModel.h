#pragma once
// The editing state behind the Script Editor: the Search/Replace page (the pairs and the
// edited pair), the Path/Mask page (the path entries and the edited path and mask) and the
// Advanced page (description, expression, private options, subdirectory state), the
// availability of every button, the edits, the three modified flags, and the steps by
// which the editor ends (Use Script, Cancel) with their "Save changes?" question.
//
// The model edits the main window's script in place, so that script holds the edits when
// the editor is left. A dialog moves its controls' values into the fields before each
// command and shows the fields and lists afterwards. Files are read and written through
// the injected loader and saver.
#include "app/ScriptInputs.h"
#include "core/ProgramOptions.h"
#include "core/SearchRequest.h"
#include "script/Script.h"

#include <functional>
#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kSaveChangesQuestion = "Save changes?";
inline constexpr const char* kEmptyScriptMessage = "Cannot save empty script file.";

// Writes the script to the path; returns the message to show, empty on success (saveScript
// with the program's options codec).
using ScriptSaver = std::function<std::string(Script& script, const std::string& path)>;

// The main window's values at the time the editor opens: Ctrl seeds the fields from them.
struct ScriptEditorSeed {
    SearchPair pair;  // the search and replace texts, the binary blocks and the flags
    std::string path; // the path box
    std::string mask; // the mask box
    ProgramOptions programOptions; // the program's own options
};

enum class ScriptEditorPage { Pairs = 0, Paths = 1, Advanced = 2 };

// The fields of the Advanced page.
struct AdvancedFields {
    std::string description;
    std::string expression;
    bool useProgramOptions = true;
    ScriptSubdirs subdirectories = ScriptSubdirs::FromWindow; // FromWindow: indeterminate
};

// Where a closing command (Use Script, Cancel) stands.
enum class EditorClose {
    Stay,        // the dialog stays open (a message may say why)
    AskToSave,   // ask "Save changes?" and pass the answer to answerSaveChanges
    Close        // the dialog ends (with OK for Use Script, Cancel for Cancel)
};

class ScriptEditorModel {
public:
    static constexpr int kNone = -1;

    // Opens the editor on `script`: a script with neither pairs nor paths but with a file
    // path is loaded from it first (the messages are in openingMessages()). The first row
    // of each list is selected.
    ScriptEditorModel(Script& script, ScriptEditorSeed seed, ScriptLoader loader, ScriptSaver saver);

    const Script& script() const { return m_script; }
    const std::vector<std::string>& openingMessages() const { return m_openingMessages; }
    ScriptEditorPage page() const { return m_page; }

    bool pairsModified() const { return m_pairsModified; }
    bool pathsModified() const { return m_pathsModified; }
    bool advancedModified() const { return m_advancedModified; }
    bool modified() const { return m_pairsModified || m_pathsModified || m_advancedModified; }

    // Switches pages. Leaving the Advanced page reads its fields first; when that fails
    // the messages go to `messages` and the page stays (false). Showing the Advanced page
    // fills its fields from the script.
    bool switchPage(ScriptEditorPage page, std::vector<std::string>* messages);

    // --- Search/Replace page --------------------------------------------------------
    // The edited pair: the dialog writes its fields here before every command.
    SearchPair& pairFields() { return m_pairFields; }
    const SearchPair& pairFields() const { return m_pairFields; }
    int selectedPair() const { return m_selectedPair; }
    // Shows the pair at `row`; kNone or a row past the last pair clears the texts and the
    // binary blocks of the fields and keeps the flags.
    void selectPair(int row);
    void applyPair();
    void insertPair(bool ctrl);
    void removePair();
    void removeAllPairs(bool ctrl);
    void movePairUp();
    void movePairDown();
    // Stores the two comments of the selected pair (the Script Comments dialog's OK).
    void setPairComments(const std::string& searchComment, const std::string& replaceComment);
    // Stores a block from the Binary Mode dialog in the edited pair; the text field then
    // shows the placeholder.
    void setBinarySearchBlock(const std::string& block);
    void setBinaryReplaceBlock(const std::string& block);

    bool canApplyPair() const { return m_selectedPair != kNone; }
    bool canRemovePair() const { return m_selectedPair != kNone; }
    bool canMovePairUp() const { return m_selectedPair > 0; }
    bool canMovePairDown() const { return m_selectedPair != kNone && m_selectedPair + 1 < pairCount(); }
    bool canCommentPair() const { return m_selectedPair != kNone; }
    // Match Whole Word and Ignore Whitespace are off limits to a regular expression.
    bool canSetWholeWord() const { return !m_pairFields.regularExpression; }
    bool canSetIgnoreWhitespace() const { return !m_pairFields.regularExpression; }

    // --- Path/Mask page -------------------------------------------------------------
    std::string& pathField() { return m_pathField; }
    std::string& maskField() { return m_maskField; }
    const std::string& pathField() const { return m_pathField; }
    const std::string& maskField() const { return m_maskField; }
    int selectedPath() const { return m_selectedPath; }
    // Shows the entry at `row`; kNone or a row past the last entry clears both fields.
    void selectPath(int row);
    void applyPath();
    void insertPath(bool ctrl);
    void removePath();
    void removeAllPaths(bool ctrl);
    void movePathUp();
    void movePathDown();

    bool canApplyPath() const { return m_selectedPath != kNone; }
    bool canRemovePath() const { return m_selectedPath != kNone; }
    bool canMovePathUp() const { return m_selectedPath > 0; }
    bool canMovePathDown() const { return m_selectedPath != kNone && m_selectedPath + 1 < pathCount(); }

    // --- Advanced page --------------------------------------------------------------
    // The description and the expression are written by the dialog; the check boxes go
    // through the setters, which keep the two boxes consistent.
    AdvancedFields& advancedFields() { return m_advanced; }
    const AdvancedFields& advancedFields() const { return m_advanced; }
    void setUseProgramOptions(bool on);
    void setSubdirectories(ScriptSubdirs state);
    bool canSetSubdirectories() const { return !m_advanced.useProgramOptions; }
    // The options the Options sheet opens on: the script's, or the program's when it has
    // none.
    ProgramOptions optionsForSheet() const;
    // The sheet's OK: the script gets options (if it had none) holding `options`, and
    // "Use Program Options" is turned off.
    void acceptSheetOptions(const ProgramOptions& options);

    // --- Files and ending -----------------------------------------------------------
    // The path the file choosers start from: the script's, or "script.tws".
    std::string fileChoiceStart() const;
    // The first half of Save As: the active page's fields are read and the script must not
    // be empty. False with the messages to show: the command stops before the file choice.
    bool prepareSaveAs(std::vector<std::string>* messages);
    // The second half, after the file choice: writes the script to `path` and clears the
    // modified flags. False with the saver's message.
    bool saveAs(const std::string& path, std::vector<std::string>* messages);
    // Load: replaces the script with the file's, clears the modified flags and shows the
    // new content on every page. A file that cannot be read changes nothing but the
    // messages.
    void load(const std::string& path, std::vector<std::string>* messages);

    // Use Script and Cancel: the active page's fields are read (on a failure the dialog
    // stays, with the messages); Use Script also refuses an empty script. With unsaved
    // changes the answer is AskToSave.
    EditorClose useScript(std::vector<std::string>* messages);
    EditorClose cancel(std::vector<std::string>* messages);
    // The answer to "Save changes?". Yes: the dialog has run Save As (whatever its
    // outcome); the editor closes only if nothing is left unsaved. No: Use Script keeps
    // the changes in memory; Cancel reads the script again from its file.
    EditorClose answerSaveChanges(bool yes, std::vector<std::string>* messages);

private:
    int pairCount() const { return static_cast<int>(m_script.pairs.size()); }
    int pathCount() const { return static_cast<int>(m_script.paths.size()); }
    void showAdvanced();
    bool leaveAdvanced(std::vector<std::string>* messages);
    bool readActivePage(std::vector<std::string>* messages);
    void showAll();
    // Reads the path field as Apply and Insert take it; false when it is empty.
    bool takePathField();
    void seedPathFields();

    Script& m_script;
    ScriptEditorSeed m_seed;
    ScriptLoader m_loader;
    ScriptSaver m_saver;
    std::vector<std::string> m_openingMessages;

    ScriptEditorPage m_page = ScriptEditorPage::Pairs;
    bool m_pairsModified = false, m_pathsModified = false, m_advancedModified = false;
    bool m_closingByCancel = false; // which command asked "Save changes?"

    SearchPair m_pairFields;
    int m_selectedPair = kNone; // kNone or a valid index into m_script.pairs
    std::string m_pathField, m_maskField;
    int m_selectedPath = kNone; // kNone or a valid index into m_script.paths
    AdvancedFields m_advanced;  // as shown; read into the script when the page is left
};

} // namespace tw
