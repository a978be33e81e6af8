// tarnwick: the desktop program. Opens the main window; the program ends when it closes.
#include "app/LanguageTable.h"
#include "engine/CharClasses.h"
#include "gui/MainWindow.h"
#include "gui/UiText.h"
#include "platform/Environment.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // UTF-8 locales use the UTF-8 classes; any other uses the built-in Windows-1252 table.
    tw::setActiveCodePage(tw::localeUsesUtf8() ? tw::CodePageKind::Utf8 : tw::CodePageKind::Windows1252);
    // The language file replaces texts before any window is built; one made for another
    // version is not used, and the user is told.
    if (const std::string dir = tw::dataDirectory(); !dir.empty()) {
        const auto language = tw::activeLanguage().loadFile(dir + tw::kLanguageFileName, tw::programVersion());
        if (language.status == tw::LanguageTable::Status::VersionMismatch)
            QMessageBox::warning(nullptr, QStringLiteral("Tarnwick"), tw::uiText(tw::kLanguageVersionMismatch));
    }
    tw::MainWindow window;
    window.show();
    return app.exec();
}
