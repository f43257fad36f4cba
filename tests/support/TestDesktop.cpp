#include "TestDesktop.h"

#include "TestSupport.h"

#include <QDir>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {
const QString python = QStringLiteral("/usr/bin/python3");
} // namespace

TestDesktop::TestDesktop() {
    xvfb_ =
        std::make_unique<RunningProgram>("Xvfb", QStringList{"-displayfd", "1", "-screen", "0", "1280x720x24",
                                                             "-nolisten", "tcp", "-noreset"});
    // The server prints its display number once it accepts clients.
    pollUntil(
        [&] {
            const QByteArray out = xvfb_->output();
            for (const QByteArray& line : out.split('\n')) {
                bool ok = false;
                const int number = line.trimmed().toInt(&ok);
                if (ok && number >= 0) {
                    display_ = ":" + QString::number(number);
                    return true;
                }
            }
            return false;
        },
        30000);
}

TestDesktop::~TestDesktop() {
    if (x_) XCloseDisplay(static_cast<Display*>(x_));
    mocks_.clear();
    systemBus_.reset();
    xvfb_.reset();
}

QStringList TestDesktop::environment() const {
    QStringList entries{"DISPLAY=" + display_, "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb",
                        "XDG_CURRENT_DESKTOP=", "XDG_SESSION_TYPE=x11"};
    if (!systemAddress_.isEmpty()) entries << "DBUS_SYSTEM_BUS_ADDRESS=" + systemAddress_;
    return entries;
}

bool TestDesktop::nameOwned(const QString& name, bool system) const {
    const QString bus = system ? "--bus=" + systemAddress_ : QStringLiteral("--session");
    const ProcessResult reply =
        runProgram("dbus-send",
                   {bus, "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus.NameHasOwner", "string:" + name},
                   {}, {}, 10000);
    return reply.status == 0 && reply.out.contains("boolean true");
}

RunningProgram* TestDesktop::mock(const QString& templateName, const QString& busName,
                                  const QString& parameters, bool system) {
    if (system && !systemBus_) {
        systemBus_ = std::make_unique<RunningProgram>(
            "dbus-daemon", QStringList{"--session", "--nofork", "--print-address=1"});
        pollUntil(
            [&] {
                const QByteArray out = systemBus_->output();
                if (!out.contains('\n')) return false;
                systemAddress_ = QString::fromUtf8(out.left(out.indexOf('\n')).trimmed());
                return true;
            },
            30000);
    }
    const QString local =
        QStringLiteral(SOLVANE_SOURCE_DIR "/tests/support/dbusmock/") + templateName + ".py";
    const QString templateArgument = QFile::exists(local) ? local : templateName;
    QStringList arguments{"-m",         "dbusmock",
                          "--template", templateArgument,
                          "-l",         QDir(dir_.path()).filePath(templateName + ".log"),
                          "-p",         parameters};
    QStringList extra;
    if (system) extra << "DBUS_SYSTEM_BUS_ADDRESS=" + systemAddress_;
    auto program = std::make_unique<RunningProgram>(python, arguments, extra);
    RunningProgram* raw = program.get();
    mocks_.emplace_back(templateName, std::move(program));
    if (!pollUntil([&] { return nameOwned(busName, system) || !raw->running(); }, 30000) ||
        !nameOwned(busName, system))
        return nullptr;
    return raw;
}

QByteArray TestDesktop::mockLog(const QString& templateName) const {
    return readFile(QDir(dir_.path()).filePath(templateName + ".log"));
}

void TestDesktop::stopMock(const QString& templateName) {
    std::erase_if(mocks_, [&](const auto& entry) { return entry.first == templateName; });
}

bool TestDesktop::xdotool(const QStringList& arguments) const {
    return runProgram("xdotool", arguments, {}, {"DISPLAY=" + display_}, 30000).status == 0;
}

namespace {
// A window may go between listing and asking about it; Xlib's default handler would end the test.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}
} // namespace

std::vector<unsigned long> TestDesktop::windows(const QString& className) {
    std::vector<unsigned long> found;
    XSetErrorHandler(ignoreXErrors);
    if (!x_) x_ = XOpenDisplay(display_.toLocal8Bit().constData());
    auto* display = static_cast<Display*>(x_);
    if (!display) return found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return found;
    for (unsigned i = 0; i < count; ++i) {
        XClassHint hint{};
        XWindowAttributes attributes{};
        if (!XGetClassHint(display, children[i], &hint)) continue;
        if (QString::fromLocal8Bit(hint.res_class).compare(className, Qt::CaseInsensitive) == 0 &&
            XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
            found.push_back(children[i]);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    if (children) XFree(children);
    return found;
}

QStringList TestDesktop::titles(const QString& className) {
    QStringList names;
    for (unsigned long window : windows(className)) {
        char* name = nullptr;
        if (XFetchName(static_cast<Display*>(x_), window, &name) && name) {
            names << QString::fromLocal8Bit(name);
            XFree(name);
        }
    }
    return names;
}

void TestDesktop::askToClose(unsigned long window) {
    auto* display = static_cast<Display*>(x_);
    if (!display) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

void TestDesktop::focusElsewhere() {
    if (!x_) x_ = XOpenDisplay(display_.toLocal8Bit().constData());
    auto* display = static_cast<Display*>(x_);
    if (!display) return;
    const Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 200, 200, 0, 0, 0);
    XMapRaised(display, other);
    XSync(display, False);
    XSetInputFocus(display, other, RevertToParent, CurrentTime);
    XSync(display, False);
}
