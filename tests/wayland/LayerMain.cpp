// The layer-shell surfaces in this process, under a headless sway the test starts (two outputs): Qt runs
// on its Wayland platform against it, so the program's own mini player and live desktop are drawn there
// and sway's screenshots show where they went.
#include "HeadlessCompositor.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

HeadlessSway* layerSway = nullptr;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Windows that ask for nothing float, so a test window keeps its own size in the middle.
    HeadlessSway sway("for_window [title=\"solvane-test-window\"] floating enable");
    if (!sway.failure().isEmpty()) {
        std::printf("[  SKIPPED ] no sway: %s\n", qPrintable(sway.failure()));
        return 0;
    }
    layerSway = &sway;
    for (const QString& entry : sway.environment()) {
        const qsizetype equals = entry.indexOf('=');
        qputenv(entry.left(equals).toLocal8Bit(), entry.mid(equals + 1).toLocal8Bit());
    }
    QTemporaryDir folder;
    qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", folder.filePath("data").toLocal8Bit());
    int status = 0;
    {
        QApplication application(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
