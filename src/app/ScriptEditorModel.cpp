#include "app/ScriptEditorModel.h"

#include "engine/Expression.h"
#include "platform/Assert.h"

#include <tuple>
#include <utility>

namespace tw {

namespace {

// What the Search/Replace page shows of a pair: what Apply compares and copies.
template <class Pair>
auto shownFields(Pair& p)
{
    return std::tie(p.searchText, p.replaceText, p.binarySearchBlock, p.binaryReplaceBlock, p.caseSensitive,
                    p.wholeWord, p.regularExpression, p.ignoreWhitespace);
}

bool sameShownPair(const SearchPair& a, const SearchPair& b)
{
    return shownFields(a) == shownFields(b);
}

void copyShownPair(const SearchPair& from, SearchPair& to)
{
    shownFields(to) = shownFields(from);
}

void clearPairTexts(SearchPair& pair)
{
    pair.searchText.clear();
    pair.replaceText.clear();
    pair.binarySearchBlock.clear();
    pair.binaryReplaceBlock.clear();
}

template <typename T>
void swapRows(std::vector<T>& rows, int& selected, int step)
{
    TW_ASSERT(selected + step >= 0 && selected + step < static_cast<int>(rows.size()));
    std::swap(rows[size_t(selected)], rows[size_t(selected + step)]);
    selected += step;
}

} // namespace

ScriptEditorModel::ScriptEditorModel(Script& script, ScriptEditorSeed seed, ScriptLoader loader, ScriptSaver saver)
    : m_script(script), m_seed(std::move(seed)), m_loader(std::move(loader)), m_saver(std::move(saver))
{
    if (m_script.empty() && !m_script.filePath.empty()) {
        const std::string path = m_script.filePath;
        m_openingMessages = m_loader(m_script, path).messages;
    }
    showAll();
}

void ScriptEditorModel::showAll()
{
    selectPair(0);
    selectPath(0);
    showAdvanced();
}

bool ScriptEditorModel::switchPage(ScriptEditorPage page, std::vector<std::string>* messages)
{
    if (page == m_page)
        return true;
    if (m_page == ScriptEditorPage::Advanced && !leaveAdvanced(messages))
        return false;
    m_page = page;
    if (page == ScriptEditorPage::Advanced)
        showAdvanced();
    return true;
}

// --- Search/Replace page -------------------------------------------------------------

void ScriptEditorModel::selectPair(int row)
{
    if (row < 0 || row >= pairCount()) {
        m_selectedPair = kNone;
        clearPairTexts(m_pairFields);
        return;
    }
    m_selectedPair = row;
    m_pairFields = m_script.pairs[size_t(row)];
}

void ScriptEditorModel::applyPair()
{
    if (m_selectedPair == kNone)
        return;
    TW_ASSERT(m_selectedPair < pairCount());
    SearchPair& pair = m_script.pairs[size_t(m_selectedPair)];
    if (!sameShownPair(pair, m_pairFields)) {
        // The row keeps what the page does not show (comments, counters, whitespace mask).
        copyShownPair(m_pairFields, pair);
        m_pairsModified = true;
    }
    selectPair(m_selectedPair + 1);
}

void ScriptEditorModel::insertPair(bool ctrl)
{
    if (ctrl)
        m_pairFields = m_seed.pair;
    const int at = m_selectedPair == kNone ? 0 : m_selectedPair;
    TW_ASSERT(at <= pairCount());
    SearchPair pair = m_pairFields;
    // A new pair starts without the counters of a run the fields may have come from.
    pair.hitsInFile = pair.replacementsInFile = pair.totalHits = pair.totalReplacements = pair.filesWithHits = 0;
    m_script.pairs.insert(m_script.pairs.begin() + at, std::move(pair));
    m_selectedPair = at;
    m_pairsModified = true;
}

void ScriptEditorModel::removePair()
{
    if (m_selectedPair == kNone)
        return;
    m_script.pairs.erase(m_script.pairs.begin() + m_selectedPair);
    m_pairsModified = true;
    selectPair(m_selectedPair < pairCount() ? m_selectedPair : pairCount() - 1);
}

void ScriptEditorModel::removeAllPairs(bool ctrl)
{
    if (!m_script.pairs.empty())
        m_pairsModified = true;
    m_script.pairs.clear();
    clearPairTexts(m_pairFields);
    if (ctrl)
        m_pairFields = m_seed.pair;
    // Row 0 of the empty list: nothing to show, and the seeded fields stay.
    m_selectedPair = kNone;
}

void ScriptEditorModel::movePairUp()
{
    if (!canMovePairUp())
        return;
    swapRows(m_script.pairs, m_selectedPair, -1);
    m_pairsModified = true;
}

void ScriptEditorModel::movePairDown()
{
    if (!canMovePairDown())
        return;
    swapRows(m_script.pairs, m_selectedPair, +1);
    m_pairsModified = true;
}

void ScriptEditorModel::setPairComments(const std::string& searchComment, const std::string& replaceComment)
{
    if (m_selectedPair == kNone)
        return;
    SearchPair& pair = m_script.pairs[size_t(m_selectedPair)];
    pair.searchComment = m_pairFields.searchComment = searchComment;
    pair.replaceComment = m_pairFields.replaceComment = replaceComment;
    m_pairsModified = true;
}

void ScriptEditorModel::setBinarySearchBlock(const std::string& block)
{
    m_pairFields.binarySearchBlock = block;
    m_pairFields.searchText = kBinaryPlaceholder;
}

void ScriptEditorModel::setBinaryReplaceBlock(const std::string& block)
{
    m_pairFields.binaryReplaceBlock = block;
    m_pairFields.replaceText = kBinaryPlaceholder;
}

// --- Path/Mask page ------------------------------------------------------------------

void ScriptEditorModel::selectPath(int row)
{
    if (row < 0 || row >= pathCount()) {
        m_selectedPath = kNone;
        m_pathField.clear();
        m_maskField.clear();
        return;
    }
    m_selectedPath = row;
    m_pathField = m_script.paths[size_t(row)].path;
    m_maskField = m_script.paths[size_t(row)].mask;
}

bool ScriptEditorModel::takePathField()
{
    if (m_pathField.empty())
        return false;
    if (m_pathField.back() != '/')
        m_pathField += '/';
    return true;
}

void ScriptEditorModel::applyPath()
{
    if (m_selectedPath == kNone || !takePathField())
        return;
    TW_ASSERT(m_selectedPath < pathCount());
    PathMaskPair& entry = m_script.paths[size_t(m_selectedPath)];
    if (entry.path != m_pathField || entry.mask != m_maskField) {
        entry = {m_pathField, m_maskField};
        m_pathsModified = true;
    }
    selectPath(m_selectedPath + 1);
}

void ScriptEditorModel::seedPathFields()
{
    if (!m_seed.mask.empty())
        m_maskField = m_seed.mask;
    if (!m_seed.path.empty())
        m_pathField = m_seed.path;
}

void ScriptEditorModel::insertPath(bool ctrl)
{
    if (ctrl)
        seedPathFields();
    if (!takePathField())
        return;
    if (m_maskField.empty())
        m_maskField = "*.*";
    const int at = m_selectedPath == kNone ? 0 : m_selectedPath;
    TW_ASSERT(at <= pathCount());
    m_script.paths.insert(m_script.paths.begin() + at, PathMaskPair{m_pathField, m_maskField});
    m_selectedPath = at;
    m_pathsModified = true;
}

void ScriptEditorModel::removePath()
{
    if (m_selectedPath == kNone)
        return;
    m_script.paths.erase(m_script.paths.begin() + m_selectedPath);
    m_pathsModified = true;
    selectPath(m_selectedPath < pathCount() ? m_selectedPath : pathCount() - 1);
}

void ScriptEditorModel::removeAllPaths(bool ctrl)
{
    if (!m_script.paths.empty())
        m_pathsModified = true;
    m_script.paths.clear();
    m_pathField.clear();
    m_maskField.clear();
    if (ctrl)
        seedPathFields();
    m_selectedPath = kNone;
}

void ScriptEditorModel::movePathUp()
{
    if (!canMovePathUp())
        return;
    swapRows(m_script.paths, m_selectedPath, -1);
    m_pathsModified = true;
}

void ScriptEditorModel::movePathDown()
{
    if (!canMovePathDown())
        return;
    swapRows(m_script.paths, m_selectedPath, +1);
    m_pathsModified = true;
}

// --- Advanced page -------------------------------------------------------------------

void ScriptEditorModel::showAdvanced()
{
    m_advanced.description = m_script.description;
    m_advanced.expression = m_script.expression.empty() ? defaultExpression(pairCount()) : m_script.expression;
    m_advanced.useProgramOptions = !m_script.options.has_value();
    m_advanced.subdirectories = m_script.subdirectories;
}

void ScriptEditorModel::setUseProgramOptions(bool on)
{
    m_advanced.useProgramOptions = on;
    if (on)
        m_advanced.subdirectories = ScriptSubdirs::FromWindow;
    else
        m_advanced.subdirectories = m_seed.programOptions.searchSubdirs ? ScriptSubdirs::Yes : ScriptSubdirs::No;
}

void ScriptEditorModel::setSubdirectories(ScriptSubdirs state)
{
    m_advanced.subdirectories = state;
    if (state != ScriptSubdirs::FromWindow)
        m_advanced.useProgramOptions = false;
}

ProgramOptions ScriptEditorModel::optionsForSheet() const
{
    return m_script.options ? *m_script.options : m_seed.programOptions;
}

void ScriptEditorModel::acceptSheetOptions(const ProgramOptions& options)
{
    // Options changed on a script that had some already: nothing else on the page need
    // change, so the flag is set here, or Use Script would leave the change unsaved.
    if (m_script.options && !(*m_script.options == options))
        m_advancedModified = true;
    m_script.options = options;
    m_advanced.useProgramOptions = false;
}

bool ScriptEditorModel::leaveAdvanced(std::vector<std::string>* messages)
{
    std::string expression = m_advanced.expression;
    if (expression == defaultExpression(pairCount()))
        expression.clear();
    if (!expression.empty()) {
        const Expression parsed(expression);
        std::string message = parsed.ok() ? parsed.variableBeyond(pairCount()) : parsed.error();
        if (!message.empty()) {
            messages->push_back(std::move(message));
            return false;
        }
    }
    const bool hadOptions = m_script.options.has_value();
    if (expression != m_script.expression || m_advanced.description != m_script.description
        || m_advanced.useProgramOptions == hadOptions || m_advanced.subdirectories != m_script.subdirectories)
        m_advancedModified = true;
    m_script.expression = std::move(expression);
    m_script.description = m_advanced.description;
    m_script.subdirectories = m_advanced.subdirectories;
    if (m_advanced.useProgramOptions) {
        m_script.options.reset();
    } else {
        // Options of its own that the sheet never filled are the program's.
        if (!m_script.options)
            m_script.options = m_seed.programOptions;
        if (m_advanced.subdirectories != ScriptSubdirs::FromWindow)
            m_script.options->searchSubdirs = m_advanced.subdirectories == ScriptSubdirs::Yes;
    }
    return true;
}

// --- Files and ending ----------------------------------------------------------------

bool ScriptEditorModel::readActivePage(std::vector<std::string>* messages)
{
    return m_page != ScriptEditorPage::Advanced || leaveAdvanced(messages);
}

std::string ScriptEditorModel::fileChoiceStart() const
{
    return m_script.filePath.empty() ? std::string(kScriptDefaultName) : m_script.filePath;
}

bool ScriptEditorModel::prepareSaveAs(std::vector<std::string>* messages)
{
    if (!readActivePage(messages))
        return false;
    if (m_script.empty()) {
        messages->push_back(kEmptyScriptMessage);
        return false;
    }
    return true;
}

bool ScriptEditorModel::saveAs(const std::string& path, std::vector<std::string>* messages)
{
    std::string message = m_saver(m_script, path);
    if (!message.empty()) {
        messages->push_back(std::move(message));
        return false;
    }
    m_pairsModified = m_pathsModified = m_advancedModified = false;
    return true;
}

void ScriptEditorModel::load(const std::string& path, std::vector<std::string>* messages)
{
    // The file is read into a script of its own: one that cannot be read leaves the
    // editor's script, unsaved edits and all, as it was.
    Script loaded;
    ScriptLoadResult result = m_loader(loaded, path);
    messages->insert(messages->end(), result.messages.begin(), result.messages.end());
    if (!result.read)
        return;
    m_script = std::move(loaded);
    m_pairsModified = m_pathsModified = m_advancedModified = false;
    showAll();
}

EditorClose ScriptEditorModel::useScript(std::vector<std::string>* messages)
{
    if (!readActivePage(messages))
        return EditorClose::Stay;
    if (m_script.empty()) {
        messages->push_back(kEmptyScriptMessage);
        return EditorClose::Stay;
    }
    m_closingByCancel = false;
    return modified() ? EditorClose::AskToSave : EditorClose::Close;
}

EditorClose ScriptEditorModel::cancel(std::vector<std::string>* messages)
{
    if (!readActivePage(messages))
        return EditorClose::Stay;
    m_closingByCancel = true;
    return modified() ? EditorClose::AskToSave : EditorClose::Close;
}

EditorClose ScriptEditorModel::answerSaveChanges(bool yes, std::vector<std::string>* messages)
{
    if (yes)
        return modified() ? EditorClose::Stay : EditorClose::Close;
    if (m_closingByCancel)
        load(m_script.filePath, messages);
    return EditorClose::Close;
}

} // namespace tw
