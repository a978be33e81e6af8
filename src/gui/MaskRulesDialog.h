#pragma once
// "Include/Exclude Files and Directories": edits the File Mask text entry by entry. The
// entries and the edits live in MaskRuleModel; the dialog shows them and moves the fields
// between its controls and the model.
#include "select/MaskRuleModel.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tw {

class MaskRulesDialog final : public QDialog {
    Q_OBJECT
public:
    explicit MaskRulesDialog(const QString& maskText, QWidget* parent = nullptr);

    // The entries joined into a mask text, as OK writes it back.
    QString maskText() const;
    // OK: an edit of the fields not yet applied to the selected entry is applied first.
    void accept() override;

private:
    // Reads the controls into the model's fields, runs one edit, shows the outcome.
    template <typename Edit>
    void edit(Edit&& change);
    void storeFields();
    void showFields();
    void showEntries();
    void updateEnabling();

    MaskRuleModel m_model;
    QListWidget* m_entries = nullptr; // one row per model entry, the model's selection current
    QRadioButton* m_include = nullptr;
    QRadioButton* m_exclude = nullptr;
    QLineEdit* m_files = nullptr;
    QRadioButton* m_all = nullptr;
    QRadioButton* m_useMatch = nullptr;
    QLineEdit* m_directory = nullptr;
    QCheckBox* m_anyLevels = nullptr;
    QCheckBox* m_subdirectories = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
};

} // namespace tw
