// solvane-saver: the XScreenSaver hack. It draws into the window XScreenSaver names (XSCREENSAVER_WINDOW),
// a window given by -window-id (a small one is a settings preview), or the root window (-root), and ends
// with status 0 on SIGTERM, which XScreenSaver sends when showing ends.

#include "Log.h"
#include "SaverHost.h"
#include "SaverRules.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QThreadPool>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

// SIGTERM (and SIGINT, SIGHUP) become an event on the main loop, where stopping is safe.
void catchSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    catchSignals();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const SaverRules::Request request = SaverRules::parse(arguments, qgetenv("XSCREENSAVER_WINDOW"));
    if (request.error) {
        log(QStringLiteral("saver: ") + *request.error, LogArea::saver);
        return 2;
    }

    int xScreen = 0;
    if (request.target != SaverRules::Target::ownWindow) {
        // Another window's pixels are an X11 matter whatever the session's toolkit setting says.
        qputenv("QT_QPA_PLATFORM", "xcb");
        // XScreenSaver runs one hack per X screen with DISPLAY naming it; Qt would then list that screen
        // first. Connecting to the display as a whole keeps the app's order of screens, which the per-screen
        // choices are numbered by.
        const QByteArray display = qgetenv("DISPLAY");
        if (const auto whole = SaverRules::displayWithoutScreen(display)) {
            xScreen = display.mid(whole->size() + 1).toInt();
            qputenv("DISPLAY", *whole);
        }
    }

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Solvane Saver"));
    SaverHost host(request, xScreen);
    QSocketNotifier stopRequests(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopRequests, &QSocketNotifier::activated, &application, [&host] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
        host.stop();
        QCoreApplication::exit(0);
    });
    if (!host.start()) return 1;
    const int status = application.exec();
    host.stop();
    if (QThreadPool::globalInstance()->activeThreadCount() > 0) {
        // A refresh of the saver's own cache is still downloading; its files are written atomically, so
        // leaving now loses nothing but the unfinished download.
        log(QStringLiteral("saver: leaving an unfinished refresh"), LogArea::saver);
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
