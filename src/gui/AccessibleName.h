#pragma once
// The names screen readers (and the tests) find controls by.
#include <QString>

namespace tw {

// A control's accessible name: its text without accelerator marks, on one line, trimmed.
inline QString accessibleText(QString text)
{
    return text.remove(QLatin1Char('&')).replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
}

// Gives `w` the accessible name of `text` and returns it.
template <typename W>
W* named(W* w, const QString& text)
{
    w->setAccessibleName(accessibleText(text));
    return w;
}

} // namespace tw
