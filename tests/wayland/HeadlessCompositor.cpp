#include "HeadlessCompositor.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

namespace {
constexpr int startMs = 30000;

QString firstEntry(const QString& folder, const QString& pattern) {
    const QStringList found =
        QDir(folder).entryList({pattern}, QDir::AllEntries | QDir::System | QDir::Hidden);
    for (const QString& name : found)
        if (!name.endsWith(".lock")) return QDir(folder).filePath(name);
    return {};
}

void openUp(const QString& path) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}
} // namespace

QString shotPath(const QString& fallbackFolder, const QString& name) {
    const QString kept = qEnvironmentVariable("SOLVANE_SHOT_DIR");
    const QString folder = kept.isEmpty() ? fallbackFolder : kept;
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

HeadlessSway::HeadlessSway(const QString& config, int outputs, bool xwayland) {
    if (geteuid() != 0) {
        failure_ = "makes a user of its own for sway, which needs root";
        return;
    }
    if (QStandardPaths::findExecutable("sway").isEmpty()) {
        failure_ = "scripts/bootstrap installs sway";
        return;
    }
    openUp(dir_.path());
    home_ = dir_.filePath("home");
    run_ = dir_.filePath("run");
    QDir().mkpath(home_);
    QDir().mkpath(run_);
    user_ = "slvsway" + QString::number(getpid()) + QString::number(qintptr(this) % 1000);
    const ProcessResult added = runProgram("useradd", {"--system", "--no-create-home", "--home-dir", home_,
                                                       "--shell", "/bin/sh", "--user-group", user_});
    if (added.status != 0) {
        failure_ = "useradd: " + QString::fromUtf8(added.err);
        return;
    }
    made_ = true;
    const passwd* entry = getpwnam(user_.toLocal8Bit().constData());
    if (!entry) {
        failure_ = "no such user after useradd";
        return;
    }
    uid_ = entry->pw_uid;
    gid_ = entry->pw_gid;
    const QString displayFile = dir_.filePath("home/display");
    QString text = "output HEADLESS-1 mode 1280x720 position 0 0 bg #203040 solid_color\n"
                   "output HEADLESS-2 mode 1280x720 position 1280 0 bg #203040 solid_color\n"
                   "default_border none\n"
                   "bindsym Mod4+3 workspace 3\n";
    text += xwayland ? "xwayland enable\nexec sh -c 'echo $DISPLAY > " + displayFile + "'\n"
                     : QStringLiteral("xwayland disable\n");
    writeFile(dir_.filePath("home/config"), (text + config + "\n").toUtf8());
    runProgram("chown", {"-R", user_ + ":" + user_, home_, run_});
    QFile::setPermissions(run_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    sway_ = std::make_unique<RunningProgram>(
        "setpriv",
        QStringList{"--reuid=" + QString::number(uid_), "--regid=" + QString::number(gid_), "--clear-groups",
                    "sway", "-c", dir_.filePath("home/config")},
        QStringList{"HOME=" + home_, "USER=" + user_, "LOGNAME=" + user_, "XDG_RUNTIME_DIR=" + run_,
                    "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
                    "WAYLAND_DISPLAY=", "DISPLAY=", "DBUS_SESSION_BUS_ADDRESS=", "SWAYSOCK="});
    const bool up = pollUntil(
        [&] {
            socket_ = firstEntry(run_, "wayland-*");
            ipc_ = firstEntry(run_, "sway-ipc.*.sock");
            return (!socket_.isEmpty() && !ipc_.isEmpty()) || !sway_->running();
        },
        startMs);
    if (!up || socket_.isEmpty() || ipc_.isEmpty()) {
        failure_ = "sway did not start: " + QString::fromUtf8(sway_->output());
        return;
    }
    for (int n = 1; n < outputs; ++n)
        swaymsg({"create_output"});
    if (!pollUntil([&] { return this->outputs().size() == outputs; }, startMs)) {
        failure_ = "sway did not make " + QString::number(outputs) + " outputs";
        return;
    }
    if (xwayland && !pollUntil(
                        [&] {
                            xDisplay_ = QString::fromUtf8(readFile(displayFile)).trimmed();
                            return !xDisplay_.isEmpty();
                        },
                        startMs))
        failure_ = "sway started no XWayland";
}

HeadlessSway::~HeadlessSway() {
    if (sway_) {
        swaymsg({"exit"});
        if (!sway_->wait(10000)) sway_->signal(SIGKILL);
        sway_->wait(10000);
    }
    // The user goes with the last of its processes (XWayland may take a moment after sway).
    if (made_ && !pollUntil([&] { return runProgram("userdel", {user_}).status == 0; }, 20000))
        runProgram("userdel", {"--force", user_});
}

QStringList HeadlessSway::asUser(const QStringList& command) const {
    return QStringList{"setpriv", "--reuid=" + QString::number(uid_), "--regid=" + QString::number(gid_),
                       "--clear-groups"} +
           command;
}

void HeadlessSway::giveToUser(const QString& folder) const {
    runProgram("chown", {"-R", user_ + ":" + user_, folder});
}

QStringList HeadlessSway::clientEnvironment() const {
    QStringList entries{"WAYLAND_DISPLAY=" + socket_, "SWAYSOCK=" + ipc_};
    entries << (xDisplay_.isEmpty() ? QStringLiteral("DISPLAY=") : "DISPLAY=" + xDisplay_);
    return entries;
}

QStringList HeadlessSway::environment() const {
    return clientEnvironment() +
           QStringList{"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=sway", "QT_QPA_PLATFORM=wayland"};
}

ProcessResult HeadlessSway::swaymsg(const QStringList& arguments) const {
    return runProgram("swaymsg", QStringList{"-s", ipc_} + arguments, {}, clientEnvironment(), 30000);
}

QJsonArray HeadlessSway::outputs() const {
    return QJsonDocument::fromJson(swaymsg({"-t", "get_outputs"}).out).array();
}

QJsonObject HeadlessSway::tree() const {
    return QJsonDocument::fromJson(swaymsg({"-t", "get_tree"}).out).object();
}

QString HeadlessSway::focusedWorkspace() const {
    for (const QJsonValue& workspace : QJsonDocument::fromJson(swaymsg({"-t", "get_workspaces"}).out).array())
        if (workspace["focused"].toBool()) return workspace["name"].toString();
    return {};
}

bool HeadlessSway::type(const QStringList& arguments) const {
    return runProgram("wtype", arguments, {}, clientEnvironment(), 30000).status == 0;
}

QImage HeadlessSway::screenshot(const QString& output, const QString& file) const {
    if (runProgram("grim", {"-o", output, file}, {}, clientEnvironment(), 60000).status != 0) return {};
    return QImage(file);
}

namespace {
void collect(const QJsonObject& node, const QString& output, const QString& name,
             std::vector<HeadlessSway::View>& found) {
    const QString type = node["type"].toString();
    const QString here = type == "output" ? node["name"].toString() : output;
    const QString appId = node["app_id"].toString();
    const QString xClass = node["window_properties"].toObject()["class"].toString();
    // Views (windows) are the nodes that carry a shell.
    if (node.contains("shell") &&
        (appId.contains(name, Qt::CaseInsensitive) || xClass.contains(name, Qt::CaseInsensitive)))
        found.push_back({here, node});
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node[children].toArray())
            collect(child.toObject(), here, name, found);
}
} // namespace

std::vector<HeadlessSway::View> HeadlessSway::views(const QString& name) const {
    std::vector<View> found;
    collect(tree(), {}, name, found);
    return found;
}

HeadlessWeston::HeadlessWeston() {
    if (QStandardPaths::findExecutable("weston").isEmpty()) {
        failure_ = "scripts/bootstrap installs weston";
        return;
    }
    const QString run = dir_.filePath("run");
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // --debug lets weston-screenshooter take pictures.
    weston_ = std::make_unique<RunningProgram>(
        "weston",
        QStringList{"--backend=headless-backend.so", "--use-pixman", "--socket=wl-test", "--width=1280",
                    "--height=720", "--idle-time=0", "--debug"},
        QStringList{"XDG_RUNTIME_DIR=" + run, "WAYLAND_DISPLAY=", "DISPLAY="});
    socket_ = QDir(run).filePath("wl-test");
    if (!pollUntil([&] { return QFile::exists(socket_) || !weston_->running(); }, startMs) ||
        !QFile::exists(socket_))
        failure_ = "weston did not start: " + QString::fromUtf8(weston_->output());
}

HeadlessWeston::~HeadlessWeston() {
    if (weston_) {
        weston_->signal(SIGTERM);
        weston_->wait(10000);
    }
}

QStringList HeadlessWeston::environment() const {
    return {"WAYLAND_DISPLAY=" + socket_, "DISPLAY=", "XDG_SESSION_TYPE=wayland",
            "XDG_CURRENT_DESKTOP=", "QT_QPA_PLATFORM=wayland"};
}

QImage HeadlessWeston::screenshot(const QString& file) const {
    const QString folder = dir_.filePath("shots");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    if (runProgram("weston-screenshooter", {}, folder, {"WAYLAND_DISPLAY=" + socket_}, 60000).status != 0)
        return {};
    const QStringList made = QDir(folder).entryList({"*.png"});
    if (made.isEmpty()) return {};
    QFile::remove(file);
    QFile::copy(QDir(folder).filePath(made.first()), file);
    return QImage(file);
}

HeadlessMutter::HeadlessMutter() {
    if (QStandardPaths::findExecutable("mutter").isEmpty()) {
        failure_ = "scripts/bootstrap installs mutter";
        return;
    }
    const QString run = dir_.filePath("run");
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    mutter_ = std::make_unique<RunningProgram>(
        "mutter",
        QStringList{"--headless", "--wayland", "--virtual-monitor", "1280x720", "--wayland-display",
                    "wl-test"},
        QStringList{"XDG_RUNTIME_DIR=" + run, "WAYLAND_DISPLAY=", "DISPLAY=", "XAUTHORITY="});
    socket_ = QDir(run).filePath("wl-test");
    // "Using public X11 display :N, (using :M for managed services)"
    const bool up = pollUntil(
        [&] {
            const QByteArray out = mutter_->output();
            const qsizetype at = out.indexOf("Using public X11 display ");
            if (at >= 0) {
                const QByteArray rest = out.mid(at + 25);
                display_ = QString::fromUtf8(rest.left(rest.indexOf(',')));
                authority_ = firstEntry(run, ".mutter-Xwaylandauth.*");
            }
            return (QFile::exists(socket_) && !display_.isEmpty() && !authority_.isEmpty()) ||
                   !mutter_->running();
        },
        startMs);
    if (!up || display_.isEmpty() || authority_.isEmpty())
        failure_ = "mutter did not start with XWayland: " + QString::fromUtf8(mutter_->output());
    // XWayland answers a moment after mutter names it.
    else if (!pollUntil(
                 [&] {
                     return x11("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).status == 0;
                 },
                 startMs))
        failure_ = "mutter's XWayland does not answer at " + display_;
}

HeadlessMutter::~HeadlessMutter() {
    if (mutter_) {
        mutter_->signal(SIGTERM);
        if (!mutter_->wait(10000)) mutter_->signal(SIGKILL);
        mutter_->wait(10000);
    }
}

QStringList HeadlessMutter::x11Environment() const {
    return {"DISPLAY=" + display_, "XAUTHORITY=" + authority_};
}

QStringList HeadlessMutter::environment() const {
    return x11Environment() + QStringList{"WAYLAND_DISPLAY=" + socket_, "XDG_SESSION_TYPE=wayland",
                                          "XDG_CURRENT_DESKTOP=GNOME", "QT_QPA_PLATFORM=wayland",
                                          "SWAYSOCK="};
}

ProcessResult HeadlessMutter::x11(const QString& program, const QStringList& arguments) const {
    return runProgram(program, arguments, {}, x11Environment(), 30000);
}

HeadlessKwin::HeadlessKwin() {
    const QString installed = QStandardPaths::findExecutable("kwin_wayland");
    if (installed.isEmpty()) {
        failure_ = "kwin_wayland is not installed (package kwin-wayland)";
        return;
    }
    const QString copy = dir_.filePath("kwin_wayland");
    const QString run = dir_.filePath("run");
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!QFile::copy(installed, copy)) {
        failure_ = "could not copy " + installed;
        return;
    }
    kwin_ = std::make_unique<RunningProgram>(
        copy,
        QStringList{"--virtual", "--width", "1280", "--height", "720", "--socket", "wl-test",
                    "--no-lockscreen"},
        QStringList{"XDG_RUNTIME_DIR=" + run, "HOME=" + dir_.path(),
                    "XDG_CONFIG_HOME=" + dir_.filePath("config"), "WAYLAND_DISPLAY=", "DISPLAY=",
                    "QT_QPA_PLATFORM=offscreen", "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1"});
    socket_ = QDir(run).filePath("wl-test");
    if (!pollUntil([&] { return QFile::exists(socket_) || !kwin_->running(); }, startMs) ||
        !QFile::exists(socket_))
        failure_ = "kwin_wayland did not start: " + QString::fromUtf8(kwin_->output());
}

HeadlessKwin::~HeadlessKwin() {
    if (kwin_) {
        kwin_->signal(SIGTERM);
        if (!kwin_->wait(10000)) kwin_->signal(SIGKILL);
        kwin_->wait(10000);
    }
}

QStringList HeadlessKwin::environment() const {
    return {"WAYLAND_DISPLAY=" + socket_, "DISPLAY=", "XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=KDE",
            "QT_QPA_PLATFORM=wayland",    "SWAYSOCK="};
}

bool HeadlessKwin::offersScreenshots() const {
    QDBusInterface introspect("org.kde.KWin", "/org/kde/KWin", "org.freedesktop.DBus.Introspectable");
    const QDBusReply<QString> xml = introspect.call("Introspect");
    return xml.isValid() && xml.value().contains("\"ScreenShot2\"");
}

QImage HeadlessKwin::screenshot(const QString& file) const {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return {};
    QDBusInterface shots("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2");
    const QDBusReply<QVariantMap> reply =
        shots.call("CaptureWorkspace", QVariantMap{{"native-resolution", true}},
                   QVariant::fromValue(QDBusUnixFileDescriptor(pipe[1])));
    ::close(pipe[1]);
    // Raw pixels follow on the pipe (32 bits each, as QImage's RGB32), until KWin closes its end.
    QByteArray pixels;
    char buffer[65536];
    pollfd ready{pipe[0], POLLIN, 0};
    while (reply.isValid() && ::poll(&ready, 1, 10000) > 0) {
        const ssize_t got = ::read(pipe[0], buffer, sizeof buffer);
        if (got <= 0) break;
        pixels.append(buffer, got);
    }
    ::close(pipe[0]);
    if (!reply.isValid()) return {};
    const int width = reply.value().value("width").toInt(), height = reply.value().value("height").toInt(),
              stride = reply.value().value("stride").toInt();
    if (width <= 0 || pixels.size() < qsizetype(stride) * height) return {};
    const QImage image = QImage(reinterpret_cast<const uchar*>(pixels.constData()), width, height, stride,
                                QImage::Format_RGB32)
                             .copy();
    image.save(file);
    return image;
}
