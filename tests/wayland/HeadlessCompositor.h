#pragma once
// Real Wayland compositors for tests, headless: sway (run as a throw-away user, as it refuses root, with
// a second output from `swaymsg create_output`) and Weston. Clients of the test reach them by the
// absolute socket path in WAYLAND_DISPLAY.

#include "RunningProgram.h"
#include "TestSupport.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <sys/types.h>

class HeadlessSway {
public:
    // `config` is added to a configuration that gives both outputs 1280 x 720 side by side on a plain
    // #203040 background; `outputs` is 1 or 2. `xwayland` starts XWayland beside it.
    explicit HeadlessSway(const QString& config = {}, int outputs = 2, bool xwayland = false);
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // Why it did not come up; empty when it runs.
    QString failure() const { return failure_; }
    // WAYLAND_DISPLAY (absolute), SWAYSOCK, the Wayland session's variables, Qt's Wayland platform, no X
    // (unless XWayland runs: then its DISPLAY).
    QStringList environment() const;
    QString socket() const { return socket_; }
    QString ipcSocket() const { return ipc_; }
    QString display() const { return xDisplay_; }

    // swaymsg with these arguments; its JSON answer.
    QJsonArray outputs() const;
    QJsonObject tree() const;
    QString focusedWorkspace() const;
    ProcessResult swaymsg(const QStringList& arguments) const;
    // Keys through the virtual keyboard (wtype's arguments).
    bool type(const QStringList& arguments) const;
    // A picture of one output (grim), also kept in `file`.
    QImage screenshot(const QString& output, const QString& file) const;
    // The views (windows) in the tree whose app_id or X11 class holds `name` (every view for an empty
    // name), with the name of the output each is on.
    struct View {
        QString output;
        QJsonObject node;
    };
    std::vector<View> views(const QString& name) const;

    // `command` run as sway's user (XWayland lets only that user in); gives `folder` to that user first.
    QStringList asUser(const QStringList& command) const;
    void giveToUser(const QString& folder) const;

private:
    QStringList clientEnvironment() const;

    QTemporaryDir dir_;
    QString user_, home_, run_, socket_, ipc_, xDisplay_, failure_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool made_ = false;
    std::unique_ptr<RunningProgram> sway_;
};

class HeadlessWeston {
public:
    HeadlessWeston();
    ~HeadlessWeston();
    QString failure() const { return failure_; }
    QStringList environment() const;
    // A picture of the whole desktop (weston-screenshooter), also kept in `file`.
    QImage screenshot(const QString& file) const;

private:
    QTemporaryDir dir_;
    QString socket_, failure_;
    std::unique_ptr<RunningProgram> weston_;
};

// Mutter (GNOME's compositor) headless with one 1280 x 720 virtual monitor and its XWayland, on the
// session bus the test runs under (it takes the org.gnome.Mutter names there, its idle monitor among
// them).
class HeadlessMutter {
public:
    HeadlessMutter();
    ~HeadlessMutter();
    QString failure() const { return failure_; }
    // Its Wayland socket, its XWayland display with the key to it, GNOME's desktop name, Qt's Wayland
    // platform.
    QStringList environment() const;
    // An X11 program on its XWayland (xprop, xwininfo, an ordinary window).
    ProcessResult x11(const QString& program, const QStringList& arguments) const;
    QStringList x11Environment() const;

private:
    QTemporaryDir dir_;
    QString socket_, display_, authority_, failure_;
    std::unique_ptr<RunningProgram> mutter_;
};

// KWin (Plasma's compositor) on its virtual backend, one 1280 x 720 output, no XWayland, on the session
// bus the test runs under. Debian installs
// kwin_wayland with a file capability, which a container without that capability refuses to run, so a
// plain copy of it runs instead.
class HeadlessKwin {
public:
    HeadlessKwin();
    ~HeadlessKwin();
    QString failure() const { return failure_; }
    QStringList environment() const;
    // A picture of the whole workspace through KWin's ScreenShot2 interface on the session bus (its
    // permission check is turned off for this KWin), also kept in `file`.
    QImage screenshot(const QString& file) const;
    // Whether this KWin offers that interface: KWin 6 composing without OpenGL (its virtual backend
    // here on Debian 13) has none.
    bool offersScreenshots() const;

private:
    QTemporaryDir dir_;
    QString socket_, failure_;
    std::unique_ptr<RunningProgram> kwin_;
};

// Where tests keep their screenshots for a person to look at: SOLVANE_SHOT_DIR when set, else the
// test's own temporary folder (gone after the test).
QString shotPath(const QString& fallbackFolder, const QString& name);
