#include "gui/HelpPage.h"
#include "gui/TitleFit.h"

#include "gui/UiText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

namespace tw {

QString helpPagePath()
{
    const QStringList candidates = {
        QStringLiteral(TW_HELP_INSTALLED),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/tarnwick/tarnwick.html")),
        QStringLiteral(TW_HELP_SOURCE),
    };
    for (const QString& path : candidates)
        if (QFileInfo(path).isFile())
            return QFileInfo(path).canonicalFilePath();
    return {};
}

void openHelp(QWidget* parent)
{
    const QString path = helpPagePath();
    QString problem;
    if (path.isEmpty())
        problem = uiText(kTextHelpMissing);
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        problem = uiText(kTextHelpNotOpened).arg(path);
    if (problem.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tarnwick"), problem, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    fitTitle(*box);
    box->open();
}

} // namespace tw
