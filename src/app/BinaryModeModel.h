#pragma once
// The logic behind the Binary Mode dialog, without widgets: the edited block (escape-dialect
// text, Escapes.h), Add Code from the code table, Paste Text, the three special operations
// of a search block with their fixed texts, the checks of OK (empty block, the 32,767-
// character limit, the question whether lone backslashes are to be doubled), Apply Script
// and what OK hands back to the field that opened the dialog. The dialog only moves values
// between its controls and this model and shows the messages and questions it names.
//
// The model works on a copy of the block; nothing leaves it before OK.
#include "core/PreparedPair.h"
#include "core/SearchRequest.h"
#include "engine/CodeTable.h"
#include "engine/ReplaceTokens.h"
#include "app/ScriptInputs.h"
#include "script/Script.h"

#include <string>
#include <string_view>

namespace tw {

inline constexpr size_t kBinaryBlockMaxChars = 32767;
inline constexpr const char* kSearchBlockLabel = "Search Bloc&k:";
inline constexpr const char* kLastBinaryScriptKey = "Last BM Script File"; // section "Options"
inline constexpr const char* kEmptyBlockMessage = "Please enter a string.";
inline constexpr const char* kBlockTooLongMessage = "Please enter no more than %1 characters.";
// The message of a block over the limit, with the limit filled in.
std::string blockTooLongMessage();
inline constexpr const char* kDoubleBackslashQuestion =
    "To process the \\ character, it must be doubled(\\\\).\n Would you like to double all \\s?";

// The block a special operation stands for (a search block only).
enum class BlockOperation { UseSearchString = 0, AddAtTop = 1, AddAtBottom = 2 };

// Which field of a pair the dialog edits.
enum class BlockSide { Search, Replace };

// What Apply Script did: the loader's result (its messages are shown by the dialog) and
// the number of hits replaced in the block.
struct BlockScriptResult {
    ScriptLoadResult load;
    long hits = 0;
};

// Where the file choice of Apply Script starts: a folder (empty: the current one) and a name.
struct ScriptChoiceStart {
    std::string folder;
    std::string name;
};

class BinaryModeModel {
public:
    enum class OkCheck { Accept, EmptyBlock, TooLong, AskDoubling };

    // `side` Search shows the special operations and recognises their fixed texts;
    // `regularExpression` is the edited pair's flag (it decides how Yes doubles).
    BinaryModeModel(std::string block, BlockSide side, bool regularExpression,
                    const CharClasses& classes = activeCharClasses());

    // The block the dialog starts with when opened from a field: the pair's binary block,
    // or the field's text when Ctrl is held (main window only), or when the block is empty
    // and the field does not show the placeholder.
    static std::string startingBlock(const std::string& binaryBlock, const std::string& fieldText,
                                     bool fromMainWindow, bool ctrlHeld);

    const std::string& block() const { return m_block; }
    // The user's edits of the block field (only taken while the block is editable).
    void setBlock(std::string block);
    BlockSide side() const { return m_side; }
    // The label above the block: "Search Bloc&k:", or empty (the dialog keeps its own).
    std::string label() const { return m_side == BlockSide::Search ? kSearchBlockLabel : ""; }
    BlockOperation operation() const { return m_operation; }
    // The block is editable and the code table, Add Code, Paste Text and Apply Script are
    // enabled only while no special operation is chosen.
    bool editable() const { return m_operation == BlockOperation::UseSearchString; }
    const CodeTable& codeTable() const { return m_table; }

    // Appends the code of the row for `value` to the end of the block.
    void addCode(uint8_t value);
    // Pastes `text` over the selection [selStart, selEnd) of the block, as an edit field
    // limited to kBinaryBlockMaxChars takes it: the text is cut (at a character boundary)
    // to the room left. Returns the caret position after the pasted text.
    size_t pasteText(std::string_view text, size_t selStart, size_t selEnd);
    // A choice of the special-operation group (a search block only).
    void chooseOperation(BlockOperation operation);

    // OK, step by step: the first refusal or question, or Accept.
    OkCheck checkOk() const;
    // The answer Yes to the doubling question: every backslash doubled, or, for a regular
    // expression, each of "\%<>" escaped. OK then closes with the block as it is, even
    // when the doubling took it over the limit.
    void doubleBackslashes();
    // The block handed back by OK goes into the pair and the field shows the placeholder.
    void applyTo(SearchPair& pair) const;

    // Apply Script: every pair of the script loaded from `path` replaces its hits in the
    // block, each pair on the result of the ones before; the block changes only when there
    // was a hit. Pairs that cannot be prepared, and those that do not search, are skipped.
    // `maxRepeat` is the repeat limit of the pairs' patterns.
    BlockScriptResult applyScript(const std::string& path, const ScriptLoader& load, const EnvironmentLookup& env,
                                  int maxRepeat);
    // The script file last chosen ("Last BM Script File").
    const std::string& lastScriptFile() const { return m_lastScriptFile; }
    void setLastScriptFile(std::string path) { m_lastScriptFile = std::move(path); }
    // The start of the file choice for a stored last script file.
    static ScriptChoiceStart scriptChoiceStart(const std::string& lastScriptFile);

    // Length of a block in characters of the code page (code points in UTF-8).
    size_t charCount(std::string_view text) const;
    // The number of backslashes that do not begin one of the escapes \\ \0 \a \b \t \n \v
    // \f \r \" \' \? (a trailing backslash counts).
    static size_t loneBackslashes(std::string_view block);

private:
    std::string m_block;
    BlockSide m_side;
    bool m_regularExpression;
    const CharClasses& m_classes;
    CodeTable m_table;
    // Always UseSearchString for a replace block; otherwise m_block is the operation's
    // fixed text whenever the operation is not UseSearchString.
    BlockOperation m_operation = BlockOperation::UseSearchString;
    std::string m_savedBlock; // the typed block while a fixed text is shown
    std::string m_lastScriptFile;
};

// Replaces every hit of the prepared pair in `text` (scanned from the start, resuming after
// each hit); returns the number of hits. A pattern pair's replacement is built from its
// replace chain; file tokens are not expanded.
long replaceAllHits(std::string& text, const PreparedPair& pair);

} // namespace tw
