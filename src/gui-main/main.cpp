// tarnwick: the desktop program. Opens the main window; the program ends when it closes.
#include "engine/CharClasses.h"
#include "gui/MainWindow.h"
#include "gui/RecoveryDialog.h"
#include "platform/Environment.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // UTF-8 locales use the UTF-8 classes; any other uses the built-in Windows-1252 table.
    tw::setActiveCodePage(tw::localeUsesUtf8() ? tw::CodePageKind::Utf8 : tw::CodePageKind::Windows1252);
    tw::MainWindow window;
    window.show();
    // Files whose rewrite a crash interrupted: offer to restore them before anything else.
    tw::RecoveryDialog::offerPending(&window, tw::dataDirectory());
    return app.exec();
}
