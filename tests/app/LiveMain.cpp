// The live desktop under a real window manager: its own Xvfb with openbox, and private session and
// system buses for the power services' stand-ins.
#include "DesktopSession.h"
#include "TestSupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir home;
    SandboxSession sandbox(home.path());
    if (!sandbox.ready()) return 1;

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
