// The application's window tests run on two headless screens side by side (so per-screen lists have two
// rows), with a data folder of their own for what the desktop picture writes.
#include "DesktopSession.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir folder;
    qputenv("XDG_DATA_HOME", folder.path().toUtf8());
    useTwoHeadlessScreens(folder.path());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
