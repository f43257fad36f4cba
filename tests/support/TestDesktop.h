#pragma once
// A desktop session for end-to-end tests: a virtual X server of its own (Xvfb, display number chosen by
// the server), D-Bus mocks (python3-dbusmock templates) on the session bus the test runs under
// (dbus-run-session) or on a private "system" bus, and xdotool for real input.

#include "RunningProgram.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

class TestDesktop {
public:
    // Starts the X server (1280 x 720); ready() says whether it came up.
    TestDesktop();
    ~TestDesktop();

    bool ready() const { return !display_.isEmpty(); }
    QString display() const { return display_; }
    QString folder() const { return dir_.path(); }

    // Starts a mock from a template file in tests/support/dbusmock (or dbusmock's own, e.g. "logind")
    // and waits until its bus name is taken; the calls it gets go to log(name). `system` puts it on
    // the private system bus. Nothing when it did not come up.
    RunningProgram* mock(const QString& templateName, const QString& busName,
                         const QString& parameters = "{}", bool system = false);
    // What a mock was asked, one call a line.
    QByteArray mockLog(const QString& templateName) const;
    // Stops a mock (its bus name goes away).
    void stopMock(const QString& templateName);

    // Environment entries for programs in this session: DISPLAY, the private system bus, no
    // Wayland, the xcb platform.
    QStringList environment() const;
    // Runs xdotool against this display; true when it succeeded.
    bool xdotool(const QStringList& arguments) const;

    // Whether `name` is taken on the session bus, or on the system bus with `system`.
    bool nameOwned(const QString& name, bool system = false) const;

    // The viewable top-level windows whose WM_CLASS class is `className` (case ignored).
    std::vector<unsigned long> windows(const QString& className);
    // The titles (WM_NAME) of those windows.
    QStringList titles(const QString& className);
    // Sends what a window manager sends when the user closes a window (WM_DELETE_WINDOW).
    void askToClose(unsigned long window);
    // Maps a window of the test's own and gives it the input focus.
    void focusElsewhere();

private:
    QTemporaryDir dir_;
    std::unique_ptr<RunningProgram> xvfb_;
    std::unique_ptr<RunningProgram> systemBus_;
    QString display_;
    QString systemAddress_;
    void* x_ = nullptr; // Display* of the test's own connection, opened on first use
    std::vector<std::pair<QString, std::unique_ptr<RunningProgram>>> mocks_;
};
