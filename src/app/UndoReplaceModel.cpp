#include "app/UndoReplaceModel.h"

#include "results/ResultEntry.h"

namespace tw {

UndoReplaceModel::UndoReplaceModel(FileSystem& fs, FileOps& ops, std::string dataDir)
    : m_history(fs, ops, std::move(dataDir))
{
}

bool UndoReplaceModel::load()
{
    m_problems.clear();
    m_run = m_history.lastOpenRun(&m_problems);
    m_files = m_run ? m_history.check(*m_run) : std::vector<UndoFileCheck>{};
    m_heading = m_run ? undoRunLine(*m_run) : std::string();
    return m_run.has_value();
}

std::string UndoReplaceModel::rowName(size_t row) const
{
    return row < m_files.size() ? displayName(m_files[row].record.path) : std::string();
}

UndoFileState UndoReplaceModel::rowState(size_t row) const
{
    return row < m_files.size() ? m_files[row].state : UndoFileState::NoCopy;
}

bool UndoReplaceModel::anyToRestore() const
{
    for (const UndoFileCheck& f : m_files)
        if (f.state == UndoFileState::WouldRestore)
            return true;
    return false;
}

UndoTakeBack UndoReplaceModel::takeBack(std::vector<std::string>* lines)
{
    if (!m_run)
        return {};
    const UndoTakeBack result = m_history.takeBack(*m_run, lines);
    m_run.reset();
    m_files.clear();
    return result;
}

} // namespace tw
