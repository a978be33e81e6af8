#pragma once
// The colour buttons of the Options sheet: a button that shows its colour and, when
// pressed, opens a popup of twenty colour squares (five rows of four) and "Other...", which
// opens the full colour chooser.
#include <QColor>
#include <QFrame>
#include <QPointer>
#include <QPushButton>

#include <cstdint>

class QToolButton;

namespace tw {

// Colours as the options keep them: 0x00BBGGRR.
QColor colorFromOption(uint32_t bgr);
uint32_t optionFromColor(const QColor& color);

class ColorPopup final : public QFrame {
    Q_OBJECT
public:
    explicit ColorPopup(const QColor& current, QWidget* parent);

signals:
    // A square was chosen, or a colour in the full chooser.
    void colorChosen(const QColor& color);
    // "Other..." was pressed; the popup has closed.
    void otherRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<QToolButton*> m_squares; // row by row, four to a row
};

class ColorButton final : public QPushButton {
    Q_OBJECT
public:
    ColorButton(const QString& text, QWidget* parent = nullptr);

    void setColor(const QColor& color);
    QColor color() const { return m_color; }
    // The open popup while it is shown, else nullptr.
    ColorPopup* popup() const { return m_popup && m_popup->isVisible() ? m_popup : nullptr; }

signals:
    void colorChanged(const QColor& color);

private:
    void openPopup();
    void openFullChooser();

    QColor m_color;
    // Deletes itself on close; QPointer forgets it then, also while this button is being
    // destroyed (a slot on its destroyed signal would run on a half-destroyed button).
    QPointer<ColorPopup> m_popup;
};

} // namespace tw
