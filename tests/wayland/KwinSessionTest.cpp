// The program under KWin (Plasma's compositor) on its virtual backend: the protocols it is chosen by
// (idle time, display sleep, the live desktop in a layer), and the live desktop below an ordinary
// window in KWin's own screenshot.

#include "HeadlessCompositor.h"
#include "RunningProgram.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {
constexpr int slowMs = 60000;
} // namespace

TEST(KwinSession, IdleFromExtIdleNotifyAWallHoldingOffSleepAndTheLiveDesktopInALayer) {
    HeadlessKwin kwin;
    if (!kwin.failure().isEmpty()) GTEST_SKIP() << kwin.failure().toStdString();
    QTemporaryDir home;
    Settings::d().useFile(home.filePath("config/example.tessly.solvane.plist"));
    Settings::setImageryHost("127.0.0.1:9");
    Settings::setConfigured(true);
    QDir().mkpath(home.filePath("run"));
    QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList environment =
        kwin.environment() + QStringList{"HOME=" + home.path(),
                                         "XDG_CONFIG_HOME=" + home.filePath("config"),
                                         "XDG_CACHE_HOME=" + home.filePath("cache"),
                                         "XDG_DATA_HOME=" + home.filePath("data"),
                                         "XDG_RUNTIME_DIR=" + home.filePath("run"),
                                         "SOLVANE_ORIGIN_HOST=127.0.0.1:9"};

    Settings::setMode(Mode::wall);
    {
        RunningProgram app(SOLVANE_BINARY, {"--start"}, environment);
        ASSERT_TRUE(app.waitFor("showing 1 of 1 display(s), mode wall", slowMs)) << app.output().constData();
        EXPECT_TRUE(app.waitFor("idle time: from ext-idle-notify-v1", 0)) << app.output().constData();
        EXPECT_TRUE(
            app.waitFor("display sleep: held off through the first of zwp_idle_inhibit_manager_v1", 0))
            << app.output().constData();
        app.signal(SIGTERM);
        EXPECT_EQ(app.wait(slowMs), 0) << app.output().constData();
    }

    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    RunningProgram app(SOLVANE_BINARY, {}, environment);
    ASSERT_TRUE(app.waitFor("live desktop: 1 screen(s)", slowMs)) << app.output().constData();
    EXPECT_EQ(app.count("live desktop: off"), 0) << app.output().constData();
    // weston-terminal, an ordinary window KWin places in the middle: its title bar shows over the Sun,
    // which plays around it.
    RunningProgram terminal("weston-terminal", {}, kwin.environment());
    if (!kwin.offersScreenshots()) {
        app.signal(SIGTERM);
        EXPECT_EQ(app.wait(slowMs), 0) << app.output().constData();
        GTEST_SKIP() << "this KWin offers no screenshot interface (it composes without OpenGL here): the "
                        "live desktop's picture below a window is not checked";
    }
    QImage shot;
    int lit = 0, all = 0;
    EXPECT_TRUE(pollUntil(
        [&] {
            shot = kwin.screenshot(shotPath(home.path(), "kwin-live-below-window.png"));
            if (shot.isNull()) return false;
            lit = all = 0;
            for (int y = 0; y < shot.height(); y += 8)
                for (int x = 0; x < shot.width(); x += 8, ++all) {
                    const QColor c(shot.pixel(x, y));
                    if (c.red() > 150 && c.red() > c.blue() + 60) ++lit;
                }
            const QColor title(shot.pixel(shot.width() / 2 - 200, 159));
            return lit > all / 50 && title.value() > 180 && title.saturation() < 40;
        },
        slowMs))
        << "lit " << lit << " of " << all;
    app.signal(SIGTERM);
    EXPECT_EQ(app.wait(slowMs), 0) << app.output().constData();
}
