// tarnwick: the desktop program. Opens the main window; the program ends when it closes.
// A command line ("/S", "/P", flag letters, ...) is applied to the window, and the command
// it asks for runs once the window is up; with "/q" the window closes after that run.
#include "app/CommandLine.h"
#include "app/LanguageTable.h"
#include "app/OptionsBlock.h"
#include "engine/CharClasses.h"
#include "gui/MainWindow.h"
#include "gui/UiText.h"
#include "gui/RecoveryDialog.h"
#include "platform/Environment.h"
#include "results/ResultEntry.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // Without a desktop session Qt knows no icon theme; the common one, where installed,
    // gives the toolbar its pictures (the style's own pictures are the fall-back).
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        for (const QString& dir : QIcon::themeSearchPaths())
            if (QFileInfo::exists(dir + QStringLiteral("/Adwaita/index.theme"))) {
                QIcon::setThemeName(QStringLiteral("Adwaita"));
                break;
            }
    }
    // Dates in the Filter page and the options block read and write the locale's names.
    {
        const QLocale locale = QLocale::system();
        tw::DateNames names;
        for (int m = 1; m <= 12; ++m) {
            names.months[m - 1] = locale.monthName(m, QLocale::LongFormat).toStdString();
            names.monthsShort[m - 1] = locale.monthName(m, QLocale::ShortFormat).toStdString();
        }
        for (int d = 0; d < 7; ++d) { // Sunday first; Qt counts Monday as 1 and Sunday as 7
            names.days[d] = locale.dayName(d == 0 ? 7 : d, QLocale::LongFormat).toStdString();
            names.daysShort[d] = locale.dayName(d == 0 ? 7 : d, QLocale::ShortFormat).toStdString();
        }
        tw::setDateNames(names);
    }
    // Qt has taken its own options out of argv; what is left is ours.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    std::optional<tw::CommandLineRequest> commandLine;
    if (!args.empty()) {
        if (const auto stray = tw::findStrayArgument(args)) {
            const std::string text = "Unexpected argument \"" + tw::displayName(*stray)
                                     + "\": quote masks so that the shell does not expand them, as in "
                                       "/P \"sub/*.txt\".";
            std::fprintf(stderr, "%s\n", text.c_str());
            QMessageBox::warning(nullptr, QStringLiteral("Tarnwick"), QString::fromStdString(text));
            return 2;
        }
        commandLine = tw::parseCommandLine(tw::joinArguments(args));
    }
    // A command line's Search starts while the window is being built.
    const auto owned = commandLine ? std::make_unique<tw::MainWindow>(*commandLine) : std::make_unique<tw::MainWindow>();
    tw::MainWindow& window = *owned;
    window.show();
    // Files whose rewrite a crash interrupted: offer to restore them before anything else.
    tw::RecoveryDialog::offerPending(&window, tw::dataDirectory());
    QTimer::singleShot(0, &window, [&window] { window.issueCommandLineCommand(); });
    return app.exec();
}
