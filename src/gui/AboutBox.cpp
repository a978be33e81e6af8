#include "gui/AboutBox.h"
#include "gui/AppIcon.h"
#include "gui/TitleFit.h"

#include "gui/UiText.h"
#include "platform/Environment.h"
#include "platform/SystemResources.h"

#include <QMessageBox>

namespace tw {

QString kbFreeText(std::optional<uint64_t> kb)
{
    if (!kb)
        return uiText(kTextUnavailable);
    QString text = uiText(kTextKbFree);
    text.replace(QLatin1String("%lu"), QString::number(*kb));
    return text;
}

QString aboutText()
{
    const QString version = QString::fromLatin1(programVersion().data(), static_cast<qsizetype>(programVersion().size()));
    return uiText(kTextAboutProgram).arg(version) + QLatin1Char('\n') + uiText(kTextAboutDescription) +
           QStringLiteral("\n\n") + uiText(kTextAboutMemory) + QLatin1Char(' ') + kbFreeText(availableMemoryKb()) +
           QLatin1Char('\n') + uiText(kTextAboutDisk) + QLatin1Char(' ') + kbFreeText(freeDiskSpaceKb(dataDirectory()));
}

void showAbout(QWidget* parent)
{
    auto* box = new QMessageBox(QMessageBox::Information, uiText(kTextAboutTitle), aboutText(), QMessageBox::Ok, parent);
    box->setIconPixmap(applicationIcon().pixmap(64, 64));
    box->setAccessibleName(uiText(kTextAboutTitle));
    fitTitle(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace tw
