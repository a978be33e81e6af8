#include "gui/NumberBox.h"

#include "app/NumberEntry.h"

#include <QLineEdit>

#include <algorithm>

namespace tw {

NumberBox::NumberBox(int low, int high, bool spinButtons, QWidget* parent)
    : QAbstractSpinBox(parent), m_low(low), m_high(std::max(low, high)), m_spinButtons(spinButtons)
{
    setButtonSymbols(spinButtons ? UpDownArrows : NoButtons);
    lineEdit()->setMaxLength(16);
}

QSize NumberBox::sizeHint() const
{
    QSize size = QAbstractSpinBox::sizeHint();
    const QString widest(QString::number(m_high).size() + 2, QLatin1Char('0'));
    size.setWidth(size.width() + fontMetrics().horizontalAdvance(widest));
    return size;
}

void NumberBox::setText(const QString& text)
{
    lineEdit()->setText(text);
}

std::optional<int> NumberBox::value(std::string* error) const
{
    return parseIntegerEntry(text().toStdString(), m_low, m_high, error);
}

QValidator::State NumberBox::validate(QString&, int&) const
{
    // Anything may be typed; the sheet checks the entry when it is left.
    return QValidator::Acceptable;
}

void NumberBox::stepBy(int steps)
{
    if (!m_spinButtons)
        return;
    bool ok = false;
    const long long current = text().trimmed().toLongLong(&ok);
    const long long next = ok ? current + steps : (steps > 0 ? m_low : m_high);
    setValue(int(std::clamp<long long>(next, m_low, m_high)));
    selectAll();
}

QAbstractSpinBox::StepEnabled NumberBox::stepEnabled() const
{
    if (!m_spinButtons || isReadOnly())
        return StepNone;
    bool ok = false;
    const long long current = text().trimmed().toLongLong(&ok);
    if (!ok)
        return StepUpEnabled | StepDownEnabled;
    StepEnabled e = StepNone;
    if (current < m_high)
        e |= StepUpEnabled;
    if (current > m_low)
        e |= StepDownEnabled;
    return e;
}

} // namespace tw
