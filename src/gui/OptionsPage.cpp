#include "gui/OptionsPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tw {

QString OptionsPage::withoutAccelerator(QString text)
{
    return text.remove(QLatin1Char('&'));
}

QString OptionsPage::toQt(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string OptionsPage::fromQt(const QString& text)
{
    return text.toStdString();
}

QCheckBox* OptionsPage::addCheck(const QString& text)
{
    auto* box = new QCheckBox(text, this);
    box->setAccessibleName(withoutAccelerator(text));
    return box;
}

QLabel* OptionsPage::labelFor(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, this);
    label->setBuddy(buddy);
    if (buddy->accessibleName().isEmpty())
        buddy->setAccessibleName(withoutAccelerator(text));
    return label;
}

QLineEdit* OptionsPage::addLineEdit(const QString& accessibleName)
{
    auto* edit = new QLineEdit(this);
    edit->setAccessibleName(accessibleName);
    return edit;
}

QPushButton* OptionsPage::addBrowseButton(const QString& accessibleName)
{
    auto* button = new QPushButton(QStringLiteral("..."), this);
    button->setAccessibleName(accessibleName);
    // As narrow as its three dots, like the chooser buttons beside text boxes elsewhere.
    button->setMaximumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    return button;
}

} // namespace tw
