#pragma once
// "File Operations": copies, moves or deletes the files of the results list. The files,
// the choices and OK's check live in FileOperationModel; the dialog shows them and moves
// the fields between its controls and the model. OK closes only with a valid choice; the
// operation itself runs afterwards (fileOperationJob) on the request the dialog gives.
#include "app/FileOperationModel.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tw {

class FileOperationsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit FileOperationsDialog(FileOperationModel model, QWidget* parent = nullptr);

    // The operation on the files still selected (valid after OK).
    FileOperationRequest request(const std::string& extractDir) const { return m_model.request(extractDir); }
    const FileOperationModel& model() const { return m_model; }

    // What shows a message ("Path not found"); a warning box by default.
    void setMessageSink(std::function<void(const QString&)> sink) { m_message = std::move(sink); }
    // What chooses the destination directory, started at the given one; the platform's
    // folder chooser titled "Select Path" by default. An empty result keeps the box.
    void setDirectoryChooser(std::function<QString(const QString&)> choose) { m_choose = std::move(choose); }

    // OK: takes the controls into the model and closes when its check passes.
    void accept() override;

private:
    void storeFields();
    void updateEnabling();

    FileOperationModel m_model;
    QListWidget* m_files = nullptr; // one row per model file, selected as in the model
    QRadioButton* m_copy = nullptr;
    QRadioButton* m_move = nullptr;
    QRadioButton* m_delete = nullptr;
    QLineEdit* m_destination = nullptr;
    QPushButton* m_browse = nullptr;
    QCheckBox* m_preserve = nullptr;
    std::function<void(const QString&)> m_message;
    std::function<QString(const QString&)> m_choose;
};

} // namespace tw
