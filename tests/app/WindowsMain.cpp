// The windows' tests run on two headless screens side by side, so the per-screen grid has two rows.
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
