#pragma once
// The "Replace" page: the backup directory, writing into it, the confirmation mode,
// keeping the file time and the space of the undo history.
#include "gui/OptionsPage.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace tw {

class NumberBox;

class ReplacePage final : public OptionsPage {
    Q_OBJECT
public:
    explicit ReplacePage(QWidget* parent = nullptr);
    void load(const ProgramOptions& options) override;
    std::optional<Problem> store(ProgramOptions& options) const override;

private:
    QLineEdit* m_backupPath = nullptr;
    QCheckBox* m_writeToBackupDir = nullptr;
    QButtonGroup* m_prompts = nullptr; // ids are the prompt modes 0, 1, 2
    QCheckBox* m_keepFileTime = nullptr;
    NumberBox* m_undoSpace = nullptr; // "Undo Space", in MB
};

} // namespace tw
