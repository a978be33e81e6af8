// Measures how well the desktop program's window keeps serving its event loop while a
// run fills the results list: a timer posted to the GUI thread every 10 ms records how
// late each tick is served. Starts the real main window with a command line (as
// `tarnwick ... /q` does), and prints the run's wall time, the lines shown and the
// lateness percentiles. Usage: tw-gui-latency /S"..." /P "tree/*.*" /d [/x]
#include "app/CommandLine.h"
#include "engine/CharClasses.h"
#include "gui/MainWindow.h"
#include "platform/Environment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tw::setActiveCodePage(tw::localeUsesUtf8() ? tw::CodePageKind::Utf8 : tw::CodePageKind::Windows1252);
    std::vector<std::string> args(argv + 1, argv + argc);
    QTemporaryDir config;
    tw::MainWindow window(config.filePath(QStringLiteral("tw.conf")));
    window.applyCommandLine(tw::parseCommandLine(tw::joinArguments(args)));
    window.show();

    constexpr int kTickMs = 10;
    std::vector<double> lateMs;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateMs.push_back(std::max(0.0, double(now - lastTick) / 1e6 - kTickMs));
        lastTick = now;
    });
    double wall = 0;
    QObject::connect(&window, &tw::MainWindow::runEnded, [&] {
        wall = double(clock.nsecsElapsed()) / 1e9;
        ticker.stop();
        QTimer::singleShot(0, &app, &QApplication::quit);
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        ticker.start(kTickMs);
        window.runCommand(false);
    });
    app.exec();
    std::sort(lateMs.begin(), lateMs.end());
    const auto pct = [&](double p) {
        return lateMs.empty() ? 0.0 : lateMs[std::min(lateMs.size() - 1, size_t(p * double(lateMs.size())))];
    };
    std::printf("wall %.3f s, %d lines, %zu ticks, timer lateness p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", wall,
                window.model().rowCount(), lateMs.size(), pct(0.5), pct(0.99), lateMs.empty() ? 0.0 : lateMs.back());
    return 0;
}
