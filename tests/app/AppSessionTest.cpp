// The running program in a desktop session of its own: Xvfb with xdotool for real input, D-Bus mocks for
// the screen saver (display-sleep inhibit) and logind (the lock), a second start handing links over, and
// xdg-open reaching it through the desktop entry. Run under dbus-run-session (see CMakeLists.txt).

#include "RunningProgram.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestDesktop.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {
constexpr int slowMs = 60000; // generous: the machine may be loaded and the build sanitized

class AppSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(session.ready()) << "no virtual X server";
        // Nothing answers at this host, so a refresh pass ends at once and the bundled clip plays.
        Settings::d().useFile(home.filePath("config/example.tessly.solvane.plist"));
        Settings::setImageryHost("127.0.0.1:9");
        Settings::setConfigured(true);
    }
    void TearDown() override { Settings::d().useFile(home.filePath("elsewhere.plist")); }

    QStringList environment() const {
        QStringList entries = session.environment();
        // loginctl refuses to run where systemd is not PID 1 (containers, this CI); there a stand-in asks
        // the mocked logind what `loginctl lock-session` asks it.
        if (!QDir("/run/systemd/system").exists()) {
            const QString bin = home.filePath("bin");
            QDir().mkpath(bin);
            writeFile(
                bin + "/loginctl",
                "#!/bin/sh\n[ \"$1\" = lock-session ] || exit 1\n"
                "exec dbus-send --system --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1 "
                "org.freedesktop.login1.Manager.LockSession string:\n");
            QFile::setPermissions(bin + "/loginctl", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            entries << "PATH=" + bin + ":" + qEnvironmentVariable("PATH");
        }
        entries << "HOME=" + home.path() << "XDG_CONFIG_HOME=" + home.filePath("config")
                << "XDG_CACHE_HOME=" + home.filePath("cache") << "XDG_DATA_HOME=" + home.filePath("data")
                << "XDG_RUNTIME_DIR=" + home.filePath("run") << "SOLVANE_ORIGIN_HOST=127.0.0.1:9";
        return entries;
    }
    std::unique_ptr<RunningProgram> start(const QStringList& arguments = {}) {
        QDir().mkpath(home.filePath("run"));
        return std::make_unique<RunningProgram>(SOLVANE_BINARY, arguments, environment());
    }
    // A wiggle of the pointer (two moves, so it really moves), and when it was made.
    RunningProgram::Clock::time_point wiggle() {
        session.xdotool({"mousemove", QString::number(300 + (++moves % 7) * 20), "300"});
        return RunningProgram::Clock::now();
    }

    QTemporaryDir home;
    TestDesktop session;
    int moves = 0;
};

} // namespace

TEST_F(AppSession, TheSaverComesAfterIdleGoesOnInputLocksAndComesBack) {
    Settings::setMode(Mode::saver);
    Settings::setIdleMinutes(0.05); // 3 s
    Settings::setLockOnDismiss(true);
    // GNOME's screen saver answers Inhibit but not the idle time, so the X server's idle time is used.
    ASSERT_TRUE(session.mock("screensaver", "org.freedesktop.ScreenSaver"));
    ASSERT_TRUE(session.mock("logind", "org.freedesktop.login1", "{}", true));
    // Input until the program is up, so the idle time starts from the move below.
    wiggle();
    auto app = start();
    const auto upBy = RunningProgram::Clock::now() + std::chrono::milliseconds(slowMs);
    while (!app->waitFor("refresh: now and every 3600 s", 250) && RunningProgram::Clock::now() < upBy)
        wiggle();
    ASSERT_TRUE(app->waitFor("idle time: from the X server", 0)) << app->output().constData();
    EXPECT_EQ(app->count("showing"), 0) << app->output().constData();

    const auto lastInput = wiggle();
    const auto shown = app->waitFor("showing 1 of 1 display(s), mode saver", slowMs, lastInput);
    ASSERT_TRUE(shown) << app->output().constData();
    EXPECT_GE(secondsBetween(lastInput, *shown), 2.9) << "the saver waits for the idle time";

    // A move a second after it appears ends it; the tick runs every 0.25 s.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto moved = wiggle();
    const auto dismissed = app->waitFor("dismissed, mode saver", slowMs, moved);
    ASSERT_TRUE(dismissed) << app->output().constData();
    const double latency = secondsBetween(moved, *dismissed);
    std::printf("saver dismissed %.3f s after the move\n", latency);
    EXPECT_LT(latency, 1.5) << "asked: within 0.5 s; the slack is for a loaded machine";
    ASSERT_TRUE(pollUntil([&] { return session.mockLog("logind").contains("LockSession"); }, slowMs));

    // The next idle period brings it back.
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode saver", slowMs, *dismissed))
        << app->output().constData();
    EXPECT_EQ(session.mockLog("logind").count("LockSession"), 1);
    EXPECT_FALSE(session.mockLog("screensaver").contains("Inhibit")) << "the saver lets the displays sleep";
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0) << app->output().constData();
}

TEST_F(AppSession, ASaverStartedWhileTheMouseMovesWaitsForStillnessThenTheNextMoveEndsIt) {
    Settings::setMode(Mode::saver);
    Settings::setIdleMinutes(10);
    Settings::setLockOnDismiss(false);
    auto app = start({"--start"});
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode saver", slowMs)) << app->output().constData();
    // Keep moving for three seconds: no dismissal while it has not settled.
    const auto movingUntil = RunningProgram::Clock::now() + std::chrono::seconds(3);
    while (RunningProgram::Clock::now() < movingUntil) {
        wiggle();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(app->count("dismissed"), 0) << app->output().constData();
    // Still for 2 s (settled after 1.5 s), then one move ends it.
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(app->count("dismissed"), 0) << app->output().constData();
    const auto moved = wiggle();
    const auto dismissed = app->waitFor("dismissed, mode saver", slowMs, moved);
    ASSERT_TRUE(dismissed) << app->output().constData();
    std::printf("settled saver dismissed %.3f s after the move\n", secondsBetween(moved, *dismissed));
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0);
}

TEST_F(AppSession, AWallKeepsTheDisplaysAwakeAndHandsTheCookieBackOnCloseAndOnSigterm) {
    Settings::setMode(Mode::wall);
    ASSERT_TRUE(session.mock("screensaver", "org.freedesktop.ScreenSaver"));

    // Closed by the window manager: the wall is dismissed and the inhibit handed back.
    auto app = start();
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode wall", slowMs)) << app->output().constData();
    ASSERT_TRUE(pollUntil([&] { return session.mockLog("screensaver").contains("Inhibit"); }, slowMs));
    EXPECT_TRUE(session.mockLog("screensaver").contains("Inhibit \"Solvane\" \"Solvane is displaying\""))
        << session.mockLog("screensaver").constData();
    std::vector<unsigned long> walls;
    ASSERT_TRUE(pollUntil([&] { return !(walls = session.windows("solvane")).empty(); }, slowMs));
    session.askToClose(walls.front());
    ASSERT_TRUE(app->waitFor("dismissed, mode wall", slowMs)) << app->output().constData();
    EXPECT_TRUE(pollUntil([&] { return session.mockLog("screensaver").contains("UnInhibit 1"); }, slowMs))
        << session.mockLog("screensaver").constData();
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0);

    // Ended by SIGTERM while showing: hidden on the way out, the second cookie handed back, status 0.
    app = start();
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode wall", slowMs)) << app->output().constData();
    ASSERT_TRUE(pollUntil([&] { return session.mockLog("screensaver").count("Inhibit \"") == 2; }, slowMs));
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0) << app->output().constData();
    EXPECT_TRUE(app->output().contains("quitting on SIGTERM")) << app->output().constData();
    EXPECT_TRUE(session.mockLog("screensaver").contains("UnInhibit 2"))
        << session.mockLog("screensaver").constData();
}

TEST_F(AppSession, AKioskHoldsTheKeyboardIgnoresCloseAndOnlyTheChordLeaves) {
    Settings::setMode(Mode::kiosk);
    ASSERT_TRUE(session.mock("screensaver", "org.freedesktop.ScreenSaver"));
    auto app = start();
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode kiosk", slowMs)) << app->output().constData();
    ASSERT_TRUE(app->waitFor("kiosk: holding the keyboard", slowMs)) << app->output().constData();

    // Another window takes the focus; the kiosk keeps the keys all the same.
    session.focusElsewhere();

    for (const char* keys : {"a", "space", "Escape", "ctrl+q", "alt+Tab", "ctrl+w", "alt+F4"})
        session.xdotool({"key", keys});
    std::vector<unsigned long> walls;
    ASSERT_TRUE(pollUntil([&] { return !(walls = session.windows("solvane")).empty(); }, slowMs));
    session.askToClose(walls.front());
    // A link while the kiosk shows is ignored.
    const ProcessResult second =
        runProgram(SOLVANE_BINARY, {"solvane://settings"}, {}, environment(), slowMs);
    EXPECT_EQ(second.status, 0) << second.err.constData();
    ASSERT_TRUE(app->waitFor("link ignored: a kiosk is showing", slowMs)) << app->output().constData();
    EXPECT_EQ(app->count("dismissed"), 0) << app->output().constData();
    EXPECT_FALSE(session.windows("solvane").empty()) << "still showing";
    EXPECT_FALSE(session.mockLog("screensaver").contains("UnInhibit"));

    const auto chord = RunningProgram::Clock::now();
    session.xdotool({"key", "ctrl+alt+super+q"});
    ASSERT_TRUE(app->waitFor("dismissed, mode kiosk", slowMs, chord)) << app->output().constData();
    EXPECT_TRUE(pollUntil([&] { return session.titles("solvane").contains("Solvane Settings"); }, slowMs))
        << "Preferences open after the kiosk";
    EXPECT_TRUE(pollUntil([&] { return session.mockLog("screensaver").contains("UnInhibit 1"); }, slowMs));
    EXPECT_TRUE(app->running()) << "the program stays, with Preferences open";
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0);
}

TEST_F(AppSession, ASecondStartHandsItsLinksToTheFirstAndXdgOpenReachesIt) {
    Settings::setMode(Mode::desktop);
    auto app = start();
    ASSERT_TRUE(app->waitFor("desktop mode: resident, no windows", slowMs)) << app->output().constData();
    // A plain second start, while no window is open, is a reopen: Preferences, as nothing shows.
    ASSERT_FALSE(session.titles("solvane").contains("Solvane Settings"));
    const ProcessResult reopen = runProgram(SOLVANE_BINARY, {}, {}, environment(), slowMs);
    EXPECT_EQ(reopen.status, 0);
    EXPECT_TRUE(reopen.err.contains("handed over to the running Solvane")) << reopen.err.constData();
    EXPECT_TRUE(pollUntil([&] { return session.titles("solvane").contains("Solvane Settings"); }, slowMs));

    for (const char* link : {"solvane://settings", "solvane://look/Bad"}) {
        const ProcessResult second = runProgram(SOLVANE_BINARY, {link}, {}, environment(), slowMs);
        EXPECT_EQ(second.status, 0) << second.err.constData();
        EXPECT_TRUE(second.err.contains("handed over to the running Solvane")) << second.err.constData();
    }
    EXPECT_TRUE(app->waitFor("link: solvane://settings, opening Settings", slowMs))
        << app->output().constData();
    EXPECT_TRUE(app->waitFor("link refused: solvane://look/Bad", slowMs)) << app->output().constData();

    // The shipped desktop entry declares the scheme; a sandbox copy names this build's program.
    const QByteArray entry = readFile(SOLVANE_SOURCE_DIR "/resources/solvane.desktop");
    ASSERT_TRUE(entry.contains("\nMimeType=x-scheme-handler/solvane;\n"));
    ASSERT_TRUE(entry.contains("\nExec=solvane %U\n"));
    EXPECT_EQ(runProgram("desktop-file-validate", {SOLVANE_SOURCE_DIR "/resources/solvane.desktop"}).status,
              0);
    EXPECT_EQ(
        runProgram("desktop-file-validate", {SOLVANE_SOURCE_DIR "/resources/solvane-kiosk.desktop"}).status,
        0);
    QDir().mkpath(home.filePath("data/applications"));
    writeFile(home.filePath("data/applications/solvane.desktop"),
              QByteArray(entry).replace("Exec=solvane %U", "Exec=" SOLVANE_BINARY " %U"));
    writeFile(home.filePath("config/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/solvane=solvane.desktop\n");
    const ProcessResult opened =
        runProgram("xdg-open", {"solvane://mini"}, {}, environment() << "DE=", slowMs);
    EXPECT_EQ(opened.status, 0) << opened.err.constData();
    EXPECT_TRUE(app->waitFor("link: solvane://mini is not in this version", slowMs))
        << app->output().constData();
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0);
}

// A first start in the default (desktop) mode asks first: the welcome window shows, and the desktop
// picture stays the person's own until they choose a mode.
TEST_F(AppSession, AFirstStartLeavesTheDesktopAloneUntilAModeIsChosen) {
    Settings::setConfigured(false);
    Settings::setOffline(true); // the picture would be applied at once at launch
    auto app = start();
    ASSERT_TRUE(app->waitFor("welcome: shown", slowMs)) << app->output().constData();
    ASSERT_TRUE(app->waitFor("desktop: no mode chosen yet, the desktop picture is left alone", slowMs))
        << app->output().constData();
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0) << app->output().constData();
    EXPECT_FALSE(QDir(home.filePath("data/Solvane/desktop")).exists());
    EXPECT_FALSE(QFile::exists(home.filePath("config/autostart/solvane.desktop")));
    EXPECT_FALSE(Settings::configured());
}
