// The desktop adapters and the power reader against real services in a session of our own: a private
// X server, private session and system buses, GSettings in a sandbox home.
#include "DesktopSession.h"
#include "SessionFixture.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TestSession* TestSession::current = nullptr;

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
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("SWAYSOCK");

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
    qputenv("QT_QPA_PLATFORM", "xcb");

    TestSession state{home.path()};
    TestSession::current = &state;
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
