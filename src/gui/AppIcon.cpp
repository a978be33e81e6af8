#include "gui/AppIcon.h"

namespace tw {

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/org.tarnwick.Tarnwick.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("org.tarnwick.Tarnwick"), icon);
}

} // namespace tw
