// The controller's tick in each mode, the display-sleep inhibit, the lock, links and re-opening, and the
// launch order of the real program.

#include "AppFixture.h"
#include "RunningProgram.h"
#include "WallWindow.h"

#include <QCoreApplication>
#include <QDir>

namespace {
struct Step {
    double idle;  // seconds idle at this tick
    bool showing; // expected after the tick
    bool armed;   // expected after the tick
};

void runSteps(App& app, double& idle, const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
        idle = steps[i].idle;
        app.tick();
        QCoreApplication::processEvents();
        EXPECT_EQ(app.showing(), steps[i].showing) << "tick " << i << " at " << steps[i].idle << " s idle";
        EXPECT_EQ(app.armed(), steps[i].armed) << "tick " << i << " at " << steps[i].idle << " s idle";
    }
}
} // namespace

TEST_F(AppGui, TheSaverStartsAfterIdleSettlesAndTheNextInputDismissesIt) {
    Settings::setMode(Mode::saver);
    Settings::setIdleMinutes(0.05); // 3 s
    Settings::setLockOnDismiss(true);
    auto owned = makeApp();
    App& app = *owned;
    CapturedLog captured;
    // Idle start: armed at the first tick after showing; input then dismisses and locks.
    runSteps(app, idle,
             {{1.0, false, false},
              {2.9, false, false},
              {3.0, true, false},
              {3.25, true, true},
              {0.1, false, false}});
    EXPECT_EQ(lock->locks, 1);
    EXPECT_TRUE(sleep->requests.empty()) << "the saver takes no inhibit";
    EXPECT_EQ(preferences, 0);
    // Idle again: it comes back.
    runSteps(app, idle, {{2.0, false, false}, {3.1, true, false}, {3.3, true, true}});
    app.hide();

    // Started at once (--start) while the mouse keeps moving: it waits for 1.5 quiet seconds.
    Settings::setLockOnDismiss(false);
    app.show(true);
    runSteps(app, idle,
             {{0.2, true, false},
              {1.0, true, false},
              {0.1, true, false},
              {1.4, true, false},
              {1.5, true, true},
              {0.3, false, false}});
    EXPECT_EQ(lock->locks, 1) << "no lock without lockOnDismiss";
    const QByteArray log = captured.finish();
    EXPECT_TRUE(log.contains("showing 2 of 2 display(s), mode saver")) << log.constData();
    EXPECT_TRUE(log.contains("dismissed, mode saver")) << log.constData();
}

TEST_F(AppGui, ArmingWaitsForTheIdleTimeThenShowsTheMode) {
    Settings::setIdleMinutes(0.05);
    auto owned = makeApp();
    App& app = *owned;
    CapturedLog captured;
    idle = 5;
    app.tick();
    EXPECT_FALSE(app.showing()) << "wall mode does not wait for idle time unless armed";
    app.arm();
    app.disarm();
    app.tick();
    EXPECT_FALSE(app.showing());
    app.arm();
    EXPECT_TRUE(app.armedWaiting());
    idle = 1;
    app.tick();
    EXPECT_FALSE(app.showing());
    idle = 3;
    app.tick();
    EXPECT_TRUE(app.showing());
    EXPECT_FALSE(app.armedWaiting());
    app.hide();
    Settings::setMode(Mode::desktop);
    app.arm();
    EXPECT_FALSE(app.armedWaiting());
    const QByteArray log = captured.finish();
    EXPECT_TRUE(log.contains("armed: waiting for 0 min idle, then wall\nsolvane: disarmed\n"))
        << log.constData();
    EXPECT_TRUE(log.contains("armed: desktop keeps the picture current")) << log.constData();
}

TEST_F(AppGui, WallAndKioskKeepTheDisplaysAwakeUntilHidden) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    ASSERT_EQ(sleep->requests, std::vector<QString>{"Solvane / Solvane is displaying"});
    EXPECT_TRUE(sleep->held());
    app.hide();
    EXPECT_EQ(sleep->releases, 1);

    Settings::setMode(Mode::kiosk);
    app.show();
    EXPECT_TRUE(sleep->held());
    // Only the chord leaves; then Preferences open and the displays may sleep again.
    idle = 0;
    app.tick();
    EXPECT_TRUE(app.showing());
    EXPECT_TRUE(app.handleKey(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier, "q"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(app.showing());
    EXPECT_EQ(sleep->releases, 2);
    EXPECT_EQ(preferences, 1);
    EXPECT_EQ(lock->locks, 0);
}

TEST_F(AppGui, LinksOpenSettingsOrAreRefusedWithTheirLines) {
    auto owned = makeApp();
    App& app = *owned;
    CapturedLog captured;
    app.openLinks({QUrl("solvane://settings"), QUrl("solvane://look/Bad"), QUrl("solvane://mini"),
                   QUrl("solvane://product/171"), QUrl("https://example.com/")});
    EXPECT_EQ(preferences, 2);
    app.show();
    app.openLinks({QUrl("solvane://settings")}); // a wall does not block links, but stays on top
    EXPECT_EQ(preferences, 2);
    app.reopen();
    EXPECT_EQ(preferences, 2) << "re-opening while the imagery shows does nothing";
    app.hide();
    Settings::setMode(Mode::kiosk);
    app.show();
    app.openLinks({QUrl("solvane://settings"), QUrl("solvane://nowhere")});
    app.hide();
    app.reopen();
    EXPECT_EQ(preferences, 3);
    const QByteArray log = captured.finish();
    for (const char* line :
         {"link: solvane://settings, opening Settings", "link refused: solvane://look/Bad",
          "link: solvane://mini is not in this version", "link: solvane://product/171, opening Settings",
          "link refused: https://example.com/",
          "link ignored: a kiosk is showing\nsolvane: link refused: solvane://nowhere"})
        EXPECT_TRUE(log.contains(line)) << line << "\n" << log.constData();
}

TEST(LaunchSequence, CarryOverSeedRefreshThenTheFirstDecisionAndOfflineStartsNoRefresh) {
    for (const bool offline : {false, true}) {
        QTemporaryDir home;
        Settings::d().useFile(home.filePath("config/example.tessly.solvane.plist"));
        Settings::setOffline(offline);
        // Nothing answers here, so a pass ends quickly.
        Settings::setImageryHost("127.0.0.1:9");
        Settings::d().useFile(home.filePath("elsewhere.plist"));
        const ProcessResult run = runSolvane(
            {"--seconds", "1"}, {},
            {"XDG_CACHE_HOME=" + home.filePath("cache"), "XDG_CONFIG_HOME=" + home.filePath("config"),
             "XDG_DATA_HOME=" + home.filePath("data"), "XDG_RUNTIME_DIR=" + home.filePath("cache"),
             "SOLVANE_ORIGIN_HOST=127.0.0.1:9", "QT_QPA_PLATFORM=offscreen",
             "DBUS_SESSION_BUS_ADDRESS=", "DISPLAY="});
        EXPECT_EQ(run.status, 0) << run.err.constData();
        const QByteArray& log = run.err;
        const qsizetype carried =
            log.indexOf("carry-over from Corvane: 0 settings, 0 cache files copied, 0 skipped");
        const qsizetype seeded = log.indexOf("cache was empty, seeded with the bundled clip");
        const qsizetype refresh = log.indexOf("refresh: now and every 3600 s");
        const qsizetype first = log.indexOf("welcome: shown"); // a first start greets
        EXPECT_GE(carried, 0) << log.constData();
        EXPECT_GT(seeded, carried) << log.constData();
        EXPECT_GT(first, seeded) << log.constData();
        if (offline) {
            EXPECT_EQ(refresh, -1) << log.constData();
            EXPECT_FALSE(log.contains("not refreshing")) << log.constData();
            // A first start leaves the desktop picture alone until a mode is chosen.
            EXPECT_TRUE(log.contains("desktop: no mode chosen yet, the desktop picture is left alone"))
                << log.constData();
            EXPECT_FALSE(log.contains("desktop: no stills cached yet")) << log.constData();
        } else {
            EXPECT_GT(refresh, seeded) << log.constData();
            EXPECT_GT(first, refresh) << log.constData();
        }
    }
}

TEST(LaunchSequence, CarriedClipsAreNotHiddenBehindTheSeed) {
    // An upgrading user, offline: the earlier product's cache holds a clip and its manifest.
    QTemporaryDir home;
    const QString old = home.filePath("cache/Corvane");
    QDir().mkpath(old);
    writeFile(old + "/171.mp4", readFile(SOLVANE_SOURCE_DIR "/resources/seed.mp4"));
    writeFile(
        old + "/manifest.json",
        R"([{"id": "171", "label": "AIA 171 Å", "video": "171.mp4", "updated": "2026-12-07T20:00:00Z"}])");
    Settings::d().useFile(home.filePath("config/example.tessly.solvane.plist"));
    Settings::setOffline(true);
    Settings::d().useFile(home.filePath("elsewhere.plist"));
    const ProcessResult run =
        runSolvane({"--seconds", "1"}, {},
                   {"XDG_CACHE_HOME=" + home.filePath("cache"), "XDG_CONFIG_HOME=" + home.filePath("config"),
                    "XDG_DATA_HOME=" + home.filePath("data"), "XDG_RUNTIME_DIR=" + home.filePath("cache"),
                    "QT_QPA_PLATFORM=offscreen", "DBUS_SESSION_BUS_ADDRESS=", "DISPLAY="});
    EXPECT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(run.err.contains("carry-over from Corvane: 0 settings, 2 cache files copied, 0 skipped"))
        << run.err.constData();
    EXPECT_FALSE(run.err.contains("seeded with the bundled clip")) << run.err.constData();
    EXPECT_TRUE(readFile(home.filePath("cache/Solvane/manifest.json")).contains("\"171\""));
}

TEST(RunningProgram, TakesALaterStartsSwitchesAndGoingOnline) {
    // One program, offline and configured for the wall; a later start asks for the walls for one second.
    QTemporaryDir home;
    const QString config = home.filePath("config/example.tessly.solvane.plist");
    Settings::d().useFile(config);
    Settings::setOffline(true);
    Settings::setConfigured(true);
    Settings::setMode(Mode::saver);
    Settings::setImageryHost("127.0.0.1:9"); // nothing answers: a pass ends at once
    Settings::d().useFile(home.filePath("elsewhere.plist"));
    const QStringList environment{"XDG_CACHE_HOME=" + home.filePath("cache"),
                                  "XDG_CONFIG_HOME=" + home.filePath("config"),
                                  "XDG_DATA_HOME=" + home.filePath("data"),
                                  "XDG_RUNTIME_DIR=" + home.filePath("cache"),
                                  "SOLVANE_ORIGIN_HOST=127.0.0.1:9",
                                  "QT_QPA_PLATFORM=offscreen",
                                  "DBUS_SESSION_BUS_ADDRESS=",
                                  "DISPLAY="};
    RunningProgram first(SOLVANE_BINARY, {"--seconds", "60"}, environment);
    ASSERT_TRUE(first.waitFor("seeded with the bundled clip", 60000)) << first.output().constData();
    EXPECT_EQ(first.count("refresh: now and every 3600 s"), 0);

    // Going online by the settings file (as Preferences or a hand edit would): the hourly refresh starts.
    Settings::d().useFile(config);
    Settings::setOffline(false);
    Settings::d().useFile(home.filePath("elsewhere.plist"));
    EXPECT_TRUE(first.waitFor("refresh: now and every 3600 s", 20000)) << first.output().constData();

    const ProcessResult later = runSolvane({"--start", "--seconds", "1"}, {}, environment);
    EXPECT_EQ(later.status, 0) << later.err.constData();
    EXPECT_TRUE(later.err.contains("handed over to the running Solvane")) << later.err.constData();
    EXPECT_TRUE(first.waitFor("showing 1 of 1 display(s), mode saver", 20000)) << first.output().constData();
    // The second start's --seconds 1 ends the first program long before its own 60 seconds.
    EXPECT_EQ(first.wait(20000).value_or(-1), 0) << first.output().constData();
}
