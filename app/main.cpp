// The entry point: one command-line action and exit, or the desktop application.

#include "App.h"
#include "AppParts.h"
#include "Cache.h"
#include "CommandLine.h"
#include "Platform.h"
#include "Settings.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (const auto status = commandLine.runAction()) return *status;

    // Only the desktop application registers at login (the kiosk preset, Preferences).
    Settings::useLoginItem(Platform::loginItem());
    // A first start has an empty cache: the bundled clip plays until the first refresh.
    Cache::seedIfEmpty();
    QApplication application(argc, argv);
    application.setApplicationName("Solvane");
    // Closing the last wall does not end the program; it lives in the tray.
    application.setQuitOnLastWindowClosed(false);
    App app;
    wireAppParts(app, app.parts());
    // Everything shown is taken down on the way out, however the quit comes.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &app, &App::hide);
    if (commandLine.forceStart || Settings::mode() != Mode::desktop)
        QTimer::singleShot(0, &app, [&app, force = commandLine.forceStart] { app.show(force); });
    if (commandLine.autoQuit && std::isfinite(*commandLine.autoQuit)) {
        const double milliseconds = std::clamp(*commandLine.autoQuit * 1000.0, 0.0, 2147483647.0);
        QTimer::singleShot(static_cast<int>(milliseconds), &application, &QCoreApplication::quit);
    }
    return application.exec();
}
