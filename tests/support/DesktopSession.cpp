#include "DesktopSession.h"

#include "TestSupport.h"
#include "TiedChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

QStringList environmentWith(const QStringList& extra) {
    QStringList out;
    for (char** line = environ; *line; ++line) {
        const QString text = QString::fromLocal8Bit(*line);
        const QString name = text.section(QLatin1Char('='), 0, 0);
        bool replaced = false;
        for (const QString& e : extra)
            replaced |= e.section(QLatin1Char('='), 0, 0) == name;
        if (!replaced) out << text;
    }
    return out + extra;
}

pid_t spawn(const QString& program, const QStringList& arguments, const QStringList& extraEnvironment,
            const QString& logFile, int keepFd = -1, int asFd = -1) {
    CStrings argv(QStringList{program} + arguments);
    CStrings envp(environmentWith(extraEnvironment));
    const int log = logFile.isEmpty() ? -1
                                      : ::open(logFile.toLocal8Bit().constData(),
                                               O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t child = spawnTied(argv.data(), envp.data(), {log, -1, keepFd, asFd});
    if (log >= 0) ::close(log);
    return child;
}

void terminate(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        ::usleep(20000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

} // namespace

BackgroundProgram::BackgroundProgram(const QString& program, const QStringList& arguments,
                                     const QStringList& extraEnvironment, const QString& logFile)
    : pid_(spawn(program, arguments, extraEnvironment, logFile)) {}

BackgroundProgram::~BackgroundProgram() {
    stop();
}

bool BackgroundProgram::running() {
    return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

void BackgroundProgram::stop() {
    terminate(pid_);
}

PrivateDisplay::PrivateDisplay(const QString& screen) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ =
        spawn(QStringLiteral("Xvfb"),
              {"-displayfd", "3", "-screen", "0", screen, "-noreset", "-nolisten", "tcp"}, {}, {}, fds[1], 3);
    ::close(fds[1]);
    // Xvfb writes its display number once it accepts clients; a loaded machine may take a while.
    QByteArray number;
    pollfd wait{fds[0], POLLIN, 0};
    while (::poll(&wait, 1, 60000) > 0) {
        char c = 0;
        if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(fds[0]);
    if (!number.isEmpty()) display_ = QLatin1Char(':') + QString::fromLatin1(number);
}

PrivateDisplay::~PrivateDisplay() {
    terminate(pid_);
}

PrivateBus::PrivateBus(const QString& folder) {
    const QString socket = folder + QStringLiteral("/bus");
    daemon_ = std::make_unique<BackgroundProgram>(
        QStringLiteral("dbus-daemon"),
        QStringList{"--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket});
    if (waitUntil([&] { return QFile::exists(socket); }, 30000))
        address_ = QStringLiteral("unix:path=") + socket;
}

void useTwoHeadlessScreens(const QString& folder) {
    const QString config = QDir(folder).filePath("screens.json");
    QFile file(config);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(R"({"screens": [
          {"name": "LEFT", "x": 0, "y": 0, "width": 1280, "height": 720, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
          {"name": "RIGHT", "x": 1280, "y": 0, "width": 1280, "height": 720, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}
        ]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
}

SandboxSession::SandboxSession(const QString& home) {
    const QDir root(home);
    for (const char* folder : {"config", "data", "cache", "runtime", "session", "system"})
        root.mkpath(folder);
    QFile::setPermissions(root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", root.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", root.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", root.filePath("cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.filePath("runtime").toUtf8());

    if (display_.display().isEmpty()) {
        fprintf(stderr, "could not start Xvfb\n");
        return;
    }
    qputenv("DISPLAY", display_.display().toUtf8());
    session_ = std::make_unique<PrivateBus>(root.filePath("session"));
    system_ = std::make_unique<PrivateBus>(root.filePath("system"));
    if (session_->address().isEmpty() || system_->address().isEmpty()) {
        fprintf(stderr, "could not start dbus-daemon\n");
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", session_->address().toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system_->address().toUtf8());
    ready_ = true;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}
