#pragma once
// The Touch dialog: the mode, the date and time to set (or the seconds to add), the
// creation and access boxes and the four attribute boxes. The fields and their checks
// live in TouchModel; the dialog moves them between its controls and the model.
#include "app/TouchModel.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace tw {

class TouchDialog final : public QDialog {
    Q_OBJECT
public:
    // `fileAttributes`: the attributes of the files to touch (nothing for a file whose
    // attributes could not be read), which preset the attribute boxes. The date and time
    // boxes show `localNow` (a local file time).
    TouchDialog(TouchPictures pictures, FileTime localNow,
                const std::vector<std::optional<uint32_t>>& fileAttributes, QWidget* parent = nullptr);

    // What OK made; the default request until OK was accepted.
    const TouchRequest& request() const { return m_request; }

    // Where a refused entry is told (a message box unless set).
    using MessageSink = std::function<void(const QString&)>;
    void setMessageSink(MessageSink sink) { m_sink = std::move(sink); }

    // OK: the boxes are checked; a refused one is told, gets the focus and the dialog stays.
    void accept() override;

private:
    void storeFields();
    void showFields();

    TouchModel m_model;
    TouchRequest m_request;
    MessageSink m_sink;
    QRadioButton* m_modes[3] = {};
    QLineEdit* m_date = nullptr;
    QLineEdit* m_time = nullptr;
    QCheckBox* m_creation = nullptr;
    QCheckBox* m_access = nullptr;
    QLineEdit* m_seconds = nullptr;
    QCheckBox* m_readOnly = nullptr;
    QCheckBox* m_archive = nullptr;
    QCheckBox* m_hidden = nullptr;
    QCheckBox* m_system = nullptr;
};

} // namespace tw
