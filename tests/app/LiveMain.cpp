// The live desktop under a real window manager: its own Xvfb with openbox, and private session and
// system buses for the power services' stand-ins.
#include "DesktopSession.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir home;
    for (const char* folder : {"config", "data", "cache", "runtime", "session", "system"})
        QDir(home.path()).mkpath(folder);
    QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.filePath("runtime").toUtf8());

    PrivateDisplay display;
    if (display.display().isEmpty()) {
        fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    qputenv("DISPLAY", display.display().toUtf8());
    PrivateBus session(home.filePath("session"));
    PrivateBus system(home.filePath("system"));
    if (session.address().isEmpty() || system.address().isEmpty()) {
        fprintf(stderr, "could not start dbus-daemon\n");
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.address().toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.address().toUtf8());

    BackgroundProgram openbox("openbox", {}, {}, home.filePath("openbox.log"));
    // The window manager is up once it names itself on the root window.
    if (!waitUntil(
            [] {
                return runProgram("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).out.contains("window id");
            },
            60000)) {
        fprintf(stderr, "openbox did not start\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
