#pragma once
// "Undo Last Replace": the last replace run of the undo history that has not been taken
// back, each of its files with what an undo would do to it, and OK to restore them. The
// dialog only shows the loaded model; the caller takes the run back (on the worker) after
// OK. OK is offered only when at least one file would be restored.
#include "app/UndoReplaceModel.h"

#include <QDialog>

class QDialogButtonBox;
class QTreeWidget;

namespace tw {

class UndoReplaceDialog final : public QDialog {
    Q_OBJECT
public:
    // `model` has been loaded and outlives the dialog.
    explicit UndoReplaceDialog(const UndoReplaceModel& model, QWidget* parent = nullptr);

    QTreeWidget& fileList() const { return *m_files; }
    QDialogButtonBox& buttons() const { return *m_buttons; }

private:
    QTreeWidget* m_files = nullptr;       // children of the dialog
    QDialogButtonBox* m_buttons = nullptr;
};

} // namespace tw
