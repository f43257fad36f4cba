// The controller's tests need an application object on two headless screens, side by side.
#include "DesktopSession.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir folder;
    useTwoHeadlessScreens(folder.path());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
