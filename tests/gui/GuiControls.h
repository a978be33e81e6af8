#pragma once
// Finding a window's controls the way a screen reader names them.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QStringList& list, std::ostream* os) { *os << '"' << list.join(';').toStdString() << '"'; }
QT_END_NAMESPACE

namespace tw::test {

// The child of `top` of type W whose accessible name is `accessibleName`; a test failure
// and null when there is none.
template <typename W>
W* control(QWidget* top, const char* accessibleName)
{
    for (W* w : top->findChildren<W*>())
        if (w->accessibleName() == QLatin1String(accessibleName))
            return w;
    ADD_FAILURE() << "no control named " << accessibleName;
    return nullptr;
}

// Clicks the push button of `top` named `accessibleName` with the mouse.
inline void pressButton(QWidget* top, const char* accessibleName)
{
    QTest::mouseClick(control<QPushButton>(top, accessibleName), Qt::LeftButton);
}

// Replaces the text of the line edit of `top` named `accessibleName` by typing `text`.
inline void typeInto(QWidget* top, const char* accessibleName, const QString& text)
{
    QLineEdit* edit = control<QLineEdit>(top, accessibleName);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace tw::test
