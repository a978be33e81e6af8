#pragma once
// A number box of the Options sheet: free text, so that an entry outside the limits can
// be typed and then refused with a message (a QSpinBox would silently correct it), with
// optional spin buttons that step within the limits.
#include <QAbstractSpinBox>

#include <optional>
#include <string>

namespace tw {

class NumberBox final : public QAbstractSpinBox {
    Q_OBJECT
public:
    NumberBox(int low, int high, bool spinButtons, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setValue(int value) { setText(QString::number(value)); }
    // The entry read against the limits; on failure `error` receives the message.
    std::optional<int> value(std::string* error = nullptr) const;
    int low() const { return m_low; }
    int high() const { return m_high; }

    // Room for the largest value and the buttons.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_low, m_high; // m_low <= m_high
    bool m_spinButtons;
};

} // namespace tw
