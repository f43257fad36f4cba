#pragma once
// A desktop session of our own for tests that talk to real desktop services: programs running beside
// the test (a private X server, private session and system buses, mock services, a window manager),
// each stopped when its owner goes. Nothing uses fixed display numbers, ports or paths.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <sys/types.h>

// A program that runs until this object goes (SIGTERM, then SIGKILL), or until the test ends.
// Its standard output and error go to `logFile` (or /dev/null).
class BackgroundProgram {
public:
    BackgroundProgram(const QString& program, const QStringList& arguments,
                      const QStringList& extraEnvironment = {}, const QString& logFile = {});
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool running();
    void stop();

private:
    pid_t pid_ = -1;
};

// Xvfb on a display number it picks itself (-displayfd), kept after its last client leaves (-noreset).
class PrivateDisplay {
public:
    explicit PrivateDisplay(const QString& screen = QStringLiteral("1280x720x24"));
    ~PrivateDisplay();
    // ":N", or empty when the server did not start.
    QString display() const { return display_; }

private:
    pid_t pid_ = -1;
    QString display_;
};

// A dbus-daemon with the session configuration on a socket in `folder`; serves as a session bus or,
// through DBUS_SYSTEM_BUS_ADDRESS, as the system bus.
class PrivateBus {
public:
    explicit PrivateBus(const QString& folder);
    // "unix:path=...", or empty when the daemon did not come up.
    QString address() const { return address_; }

private:
    std::unique_ptr<BackgroundProgram> daemon_;
    QString address_;
};

// Points Qt's headless platform at two 1280 x 720 screens side by side, LEFT and RIGHT, described in a
// file written into `folder`. Call before the application object is made.
void useTwoHeadlessScreens(const QString& folder);

// A home of its own in `home` (config, data, cache and a private runtime folder, named by HOME and the
// XDG variables), with a private X server and session and system buses named by DISPLAY and the D-Bus
// variables. Tests that talk to real desktop services run their whole program inside one.
class SandboxSession {
public:
    explicit SandboxSession(const QString& home);
    // Whether the server and both buses came up; when not, one line on stderr has said which.
    bool ready() const { return ready_; }

private:
    PrivateDisplay display_;
    std::unique_ptr<PrivateBus> session_, system_;
    bool ready_ = false;
};

// Runs the event loop (when there is one) until `done` holds or `timeoutMs` pass; whether it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);
