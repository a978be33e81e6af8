// tarnwick: the desktop program. Opens the main window; the program ends when it closes.
// A command line ("/S", "/P", flag letters, ...) is applied to the window, and the command
// it asks for runs once the window is up; with "/q" the window closes after that run, no
// message box opens before it (the texts go to standard error) and the program exits with
// the status tarnwick-cli gives.
#include "app/CommandLine.h"
#include "app/LanguageTable.h"
#include "app/DateText.h"
#include "app/SettingsStore.h"
#include "core/RecoveryList.h"
#include "engine/CharClasses.h"
#include "gui/AppIcon.h"
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

namespace {

// Tells the user something before the window exists. A "/q" command line runs unattended
// and its window closes by itself, so nobody may be there to answer a box: the text goes
// to standard error, as tarnwick-cli writes it.
void tellUser(const QString& text, bool unattended)
{
    if (unattended)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    else
        QMessageBox::warning(nullptr, QStringLiteral("Tarnwick"), text);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The desktop file names the program to the session (taskbar, icon, "Open With").
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnwick.Tarnwick"));
    QApplication::setWindowIcon(tw::applicationIcon());
    // UTF-8 locales use the UTF-8 classes; any other uses the built-in Windows-1252 table.
    tw::setActiveCodePage(tw::localeUsesUtf8() ? tw::CodePageKind::Utf8 : tw::CodePageKind::Windows1252);
    // Qt has taken its own options out of argv; what is left is ours. It is read first, as
    // "/q" decides how everything before the run is reported.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    std::optional<tw::CommandLineRequest> commandLine;
    if (!args.empty()) {
        commandLine = tw::parseCommandLine(tw::joinArguments(args));
        // A folder a file manager opens with the program ("/P %f") becomes the path, and
        // the window keeps its masks.
        tw::takeDirectoryAsPath(*commandLine);
    }
    const bool unattended = commandLine && commandLine->closeAfterRun;
    // The language file replaces texts before any window is built; one made for another
    // version is not used, and the user is told.
    if (const std::string dir = tw::dataDirectory(); !dir.empty()) {
        const std::string file = dir + tw::kLanguageFileName;
        const auto language = tw::activeLanguage().loadFile(file, tw::programVersion());
        if (language.status == tw::LanguageTable::Status::VersionMismatch)
            tellUser(tw::uiText(tw::kLanguageVersionMismatch), unattended);
        else if (language.status == tw::LanguageTable::Status::NotAFile)
            tellUser(QString::fromStdString("The language file " + tw::displayName(file)
                                            + " is not a regular file and is not used."),
                     unattended);
    }
    // The window's store does not open a settings file that is no regular file.
    if (const auto problem = tw::settingsFileProblem(tw::userSettingsFile()))
        tellUser(QString::fromStdString(*problem), unattended);
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
    if (const auto stray = args.empty() ? std::nullopt : tw::findStrayArgument(args)) {
        const std::string text = "Unexpected argument \"" + tw::displayName(*stray)
                                 + "\": quote masks so that the shell does not expand them, as in "
                                   "/P \"sub/*.txt\".";
        if (!unattended)
            std::fprintf(stderr, "%s\n", text.c_str());
        tellUser(QString::fromStdString(text), unattended);
        return 2;
    }
    // A command line's Search starts while the window is being built.
    const auto owned = commandLine ? std::make_unique<tw::MainWindow>(*commandLine) : std::make_unique<tw::MainWindow>();
    tw::MainWindow& window = *owned;
    window.show();
    // Files whose rewrite a crash interrupted: offer to restore them before anything else.
    // An unattended window closes by itself, taking the dialog with it before anyone could
    // answer: the files are named on standard error instead, and they are not replaced.
    if (!unattended) {
        tw::RecoveryDialog::offerPending(&window, tw::dataDirectory());
    } else if (const std::string dir = tw::dataDirectory(); !dir.empty()) {
        tw::reportPendingRecoveries(dir,
                                    "Start tarnwick without /q to restore these files or keep them as they are "
                                    "(or run tarnwick-cli --recover or --discard-recovery). Until then they are "
                                    "not replaced again.",
                                    [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    }
    QTimer::singleShot(0, &window, [&window] { window.issueCommandLineCommand(); });
    const int status = app.exec();
    // An unattended command line ends with the status tarnwick-cli gives for the same run.
    return unattended ? window.commandLineStatus() : status;
}
