// The application's entry point, which the program (Launcher.cpp) loads from lib/solvane when no light
// action applies: one command-line action and exit, or the desktop application.

#include "App.h"
#include "AppParts.h"
#include "CommandLine.h"
#include "DirectClips.h"
#include "Log.h"
#include "Platform.h"
#include "Settings.h"
#include "SingleInstance.h"
#include "Termination.h"
#include "Wiring.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

// The portable build carries Qt's plugins in lib/qt6/plugins, and its Qt would look where Debian keeps
// them. qt.conf beside the program says where they are, but Qt reads it only once an application object
// exists, and --refresh reads JPEGs (through the image-format plugins) without one.
void useCarriedQtPlugins() {
    const QString bin = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    const QString plugins = QDir::cleanPath(bin + QStringLiteral("/../lib/qt6/plugins"));
    if (QFileInfo(plugins).isDir()) QCoreApplication::setLibraryPaths({plugins});
}

} // namespace

extern "C" __attribute__((visibility("default"))) int solvaneApplicationMain(int argc, char** argv) {
    useCarriedQtPlugins();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);
    // Passes here (--refresh, --prime and the app's own) make clips from NASA SDO's images.
    DirectClips::install();
    if (const auto status = commandLine.runAction()) return *status;

    // Only the desktop application registers at login (the kiosk preset, Preferences).
    Settings::useLoginItem(Platform::loginItem());
    QApplication application(argc, argv);
    application.setApplicationName("Solvane");
    // Closing the last wall does not end the program; it lives in the tray.
    application.setQuitOnLastWindowClosed(false);
    // One program per user: a later start hands its links (or a plain reopen) to the running one.
    App::Launch launch;
    launch.forceStart = commandLine.forceStart;
    launch.kioskSession = commandLine.kioskSession;
    launch.autoQuit = commandLine.autoQuit;
    launch.links = commandLine.links;
    SingleInstance instance;
    if (instance.start(launch.links, SingleInstance::socketPath(), App::handOverOptions(launch)) ==
        SingleInstance::Start::handedOver) {
        log("handed over to the running Solvane", LogArea::app);
        return 0;
    }
    Termination termination;

    App::Environment environment;
    environment.idle = Platform::idleTime();
    environment.sleep = Platform::sleepInhibit();
    environment.lock = Platform::screenLock();
    environment.motion = Platform::motionPreference();
    environment.network = Platform::networkCost();
    App app(environment);
    wireAppParts(app, app.parts());
    // Everything shown is taken down on the way out, however the quit comes.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &app, &App::hide);
    instance.setHandler([&app](const QList<QUrl>& links, const QStringList& options) {
        app.takeOver(App::fromHandOver(links, options));
    });

    // The sequence runs once the event loop has started, as a finished launch.
    QTimer::singleShot(0, &app, [&app, launch] { app.launch(launch); });
    const int status = application.exec();
    // A refresh pass may be mid-download on its thread; waiting for it would hold the quit for
    // minutes, and its files are written atomically, so leave without it.
    if (app.refreshing()) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
