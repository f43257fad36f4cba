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
    // Set before the session starts, so its buses and services see them too.
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("SWAYSOCK");
    SandboxSession sandbox(home.path());
    if (!sandbox.ready()) return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");

    TestSession state{home.path()};
    TestSession::current = &state;
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
