#pragma once
// One page of the Options sheet: it shows some fields of a ProgramOptions record and
// reads them back, refusing entries it cannot take.
#include "core/ProgramOptions.h"

#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class OptionsPage : public QWidget {
    Q_OBJECT
public:
    // An entry the page cannot take: the control to return to and the message to show.
    struct Problem {
        QWidget* field;
        QString message;
    };

    using QWidget::QWidget;

    // Places the page's fields into its controls.
    virtual void load(const ProgramOptions& options) = 0;
    // Reads the controls into the page's fields of `options`; on a problem `options`
    // may be partly written and the caller discards it.
    virtual std::optional<Problem> store(ProgramOptions& options) const = 0;

protected:
    // Controls named after their label (without the "&"), as every control is.
    QCheckBox* addCheck(const QString& text);
    // A label with a buddy: the label's accelerator moves to the control.
    QLabel* labelFor(const QString& text, QWidget* buddy);
    QLineEdit* addLineEdit(const QString& accessibleName);
    // The "..." button that stands beside a text box.
    QPushButton* addBrowseButton(const QString& accessibleName);

    static QString withoutAccelerator(QString text);
    static QString toQt(const std::string& text);
    static std::string fromQt(const QString& text);
};

} // namespace tw
