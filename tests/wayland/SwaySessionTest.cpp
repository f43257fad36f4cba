// The program and the Wayland adapters under a real sway, headless, with two outputs: idle time from the
// compositor while someone types elsewhere, walls per output holding off idleness, the kiosk keeping
// sway's shortcuts away, what a compositor without those protocols gets (the globals hidden), and the
// desktop picture on a layer surface of ours where sway's socket is not known.

#include "HeadlessCompositor.h"
#include "RunningProgram.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SwayDesktopPicture.h"
#include "TestDesktop.h"
#include "WaylandIdleTime.h"
#include "WaylandRegistry.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <wayland-client.h>

namespace {
constexpr int slowMs = 60000; // generous: the machine may be loaded and the build sanitized
const QRgb background = qRgb(0x20, 0x30, 0x40);
const QString hidden =
    "SOLVANE_WAYLAND_IGNORE=ext_idle_notifier_v1,org_kde_kwin_idle,zwp_idle_inhibit_manager_v1,"
    "zwp_keyboard_shortcuts_inhibit_manager_v1,zwlr_layer_shell_v1";

// How much of a picture differs from sway's plain background: something of ours is drawn there.
double coveredShare(const QImage& image) {
    if (image.isNull()) return 0;
    int differing = 0, all = 0;
    for (int y = 0; y < image.height(); y += 8)
        for (int x = 0; x < image.width(); x += 8, ++all)
            if ((image.pixel(x, y) & 0xffffff) != (background & 0xffffff)) ++differing;
    return all ? double(differing) / all : 0;
}

class SwaySession : public ::testing::Test {
protected:
    // The idle protocol the program takes here: sway offers ext-idle-notify-v1 from 1.8 on (Debian 13),
    // only KDE's older one before (Debian 12).
    QString idleProtocol() const {
        wl_display* display = wl_display_connect(sway->socket().toLocal8Bit().constData());
        const bool current = WaylandRegistry(display).has("ext_idle_notifier_v1");
        if (display) wl_display_disconnect(display);
        return current ? QStringLiteral("ext-idle-notify-v1") : QStringLiteral("org_kde_kwin_idle");
    }

    void SetUp() override {
        sway = std::make_unique<HeadlessSway>();
        if (!sway->failure().isEmpty()) GTEST_SKIP() << sway->failure().toStdString();
        ASSERT_TRUE(home.isValid());
        Settings::d().useFile(home.filePath("config/example.tessly.solvane.plist"));
        Settings::setImageryHost("127.0.0.1:9");
        Settings::setConfigured(true);
    }
    void TearDown() override { Settings::d().useFile(home.filePath("elsewhere.plist")); }

    std::unique_ptr<RunningProgram> start(const QStringList& arguments, const QStringList& extra = {}) {
        QDir().mkpath(home.filePath("run"));
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return std::make_unique<RunningProgram>(
            SOLVANE_BINARY, arguments,
            sway->environment() +
                QStringList{"HOME=" + home.path(), "XDG_CONFIG_HOME=" + home.filePath("config"),
                            "XDG_CACHE_HOME=" + home.filePath("cache"),
                            "XDG_DATA_HOME=" + home.filePath("data"),
                            "XDG_RUNTIME_DIR=" + home.filePath("run"), "SOLVANE_ORIGIN_HOST=127.0.0.1:9"} +
                extra);
    }
    // The exit chord from the virtual keyboard (asked again if a new keyboard's keymap swallowed it).
    bool leaveKiosk(RunningProgram& app) const {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const auto chord = RunningProgram::Clock::now();
            sway->type({"-M", "ctrl", "-M", "alt", "-M", "logo", "-k", "q", "-m", "logo", "-m", "alt", "-m",
                        "ctrl"});
            if (app.waitFor("dismissed, mode kiosk", 5000, chord)) return true;
        }
        return false;
    }
    static void stop(RunningProgram& app) {
        app.signal(SIGTERM);
        EXPECT_EQ(app.wait(slowMs), 0) << app.output().constData();
    }

    QTemporaryDir home;
    std::unique_ptr<HeadlessSway> sway;
};

} // namespace

TEST_F(SwaySession, IdleTimeComesFromTheCompositorAndInputAnywhereResetsIt) {
    qputenv("WAYLAND_DISPLAY", sway->socket().toLocal8Bit());
    auto idle = WaylandIdleTime::open();
    ASSERT_TRUE(idle);
    EXPECT_EQ(idle->name(), idleProtocol());
    ASSERT_TRUE(pollUntil([&] { return idle->secondsIdle().value_or(0) >= 2.0; }, slowMs));
    // A key from another client (the virtual keyboard): the seat is busy again.
    ASSERT_TRUE(sway->type({"-k", "a"}));
    ASSERT_TRUE(pollUntil([&] { return idle->secondsIdle().value_or(99) < 1.01; }, 5000));
    // While our own walls keep the session awake the compositor says nothing: unknown, not zero.
    WaylandIdleTime::setOwnInhibit(true);
    EXPECT_FALSE(idle->secondsIdle().has_value());
    WaylandIdleTime::setOwnInhibit(false);

    qputenv("SOLVANE_WAYLAND_IGNORE", "ext_idle_notifier_v1,org_kde_kwin_idle");
    EXPECT_FALSE(WaylandIdleTime::open()) << "a compositor without the protocol has no Wayland idle source";
    qunsetenv("SOLVANE_WAYLAND_IGNORE");
    qunsetenv("WAYLAND_DISPLAY");
}

TEST_F(SwaySession, TheSaverWaitsWhileSomeoneTypesElsewhereAndComesWhenTheyStop) {
    Settings::setMode(Mode::saver);
    Settings::setIdleMinutes(0.05); // 3 s
    Settings::setLockOnDismiss(false);
    auto app = start({});
    ASSERT_TRUE(app->waitFor(("idle time: from " + idleProtocol()).toUtf8(), slowMs))
        << app->output().constData();
    ASSERT_TRUE(app->waitFor("refresh: now and every 3600 s", slowMs)) << app->output().constData();
    // Typing into nothing of ours for 8 s, a key every 0.7 s.
    const auto typingUntil = RunningProgram::Clock::now() + std::chrono::seconds(8);
    auto lastKey = RunningProgram::Clock::now();
    while (RunningProgram::Clock::now() < typingUntil) {
        sway->type({"-k", "x"});
        lastKey = RunningProgram::Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }
    EXPECT_EQ(app->count("showing"), 0) << "the saver came while someone typed\n"
                                        << app->output().constData();
    const auto shown = app->waitFor("showing 2 of 2 display(s), mode saver", slowMs, lastKey);
    ASSERT_TRUE(shown) << app->output().constData();
    EXPECT_GE(secondsBetween(lastKey, *shown), 2.5);
    const QImage left = sway->screenshot("HEADLESS-1", shotPath(home.path(), "sway-saver-left.png"));
    // It settles, then the next key ends it.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto key = RunningProgram::Clock::now();
    sway->type({"-k", "x"});
    ASSERT_TRUE(app->waitFor("dismissed, mode saver", slowMs, key)) << app->output().constData();
    stop(*app);
}

TEST_F(SwaySession, WallsFillBothOutputsAndKeepTheSessionAwakeUntilHidden) {
    Settings::setMode(Mode::wall);
    auto app = start({"--start"});
    ASSERT_TRUE(app->waitFor("showing 2 of 2 display(s), mode wall", slowMs)) << app->output().constData();
    EXPECT_TRUE(app->waitFor("display sleep: held off through the first of zwp_idle_inhibit_manager_v1", 0))
        << app->output().constData();
    // One wall on each output, each inhibiting idleness, drawn over the whole output.
    std::vector<HeadlessSway::View> walls;
    ASSERT_TRUE(pollUntil(
        [&] {
            walls = sway->views("solvane");
            return walls.size() == 2 && walls[0].node["inhibit_idle"].toBool() &&
                   walls[1].node["inhibit_idle"].toBool();
        },
        slowMs))
        << QJsonDocument(sway->tree()).toJson().constData();
    EXPECT_NE(walls[0].output, walls[1].output);
    for (const QString output : {"HEADLESS-1", "HEADLESS-2"}) {
        QImage shot;
        EXPECT_TRUE(pollUntil(
            [&] {
                shot = sway->screenshot(output, shotPath(home.path(), "sway-wall-" + output + ".png"));
                return coveredShare(shot) > 0.99;
            },
            slowMs))
            << output.toStdString() << " shows " << coveredShare(shot) << " of ours";
    }
    stop(*app);
    EXPECT_TRUE(sway->views("solvane").empty());
}

TEST_F(SwaySession, TheKioskKeepsSwaysShortcutsAwayAndItsChordStillLeaves) {
    Settings::setMode(Mode::kiosk);
    auto app = start({}); // the kiosk mode shows at launch
    ASSERT_TRUE(app->waitFor("showing 2 of 2 display(s), mode kiosk", slowMs)) << app->output().constData();
    ASSERT_TRUE(app->waitFor("kiosk: holding the keyboard", slowMs)) << app->output().constData();
    EXPECT_TRUE(app->waitFor("kiosk keys: held through zwp_keyboard_shortcuts_inhibit_manager_v1", 0));
    const QString before = sway->focusedWorkspace();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(sway->type({"-M", "logo", "-k", "3", "-m", "logo"}));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(sway->focusedWorkspace(), before) << "sway's Super+3 ran during the kiosk";
    const QImage shot = sway->screenshot("HEADLESS-1", shotPath(home.path(), "sway-kiosk.png"));
    EXPECT_GT(coveredShare(shot), 0.99);

    ASSERT_TRUE(leaveKiosk(*app)) << app->output().constData();
    // Left: the shortcut is sway's again.
    ASSERT_TRUE(pollUntil(
        [&] {
            sway->type({"-M", "logo", "-k", "3", "-m", "logo"});
            return sway->focusedWorkspace() == "3";
        },
        slowMs));
    stop(*app);
}

TEST_F(SwaySession, WithoutTheProtocolsThePortalKeepsTheDisplaysOnAndTheKioskSaysItCannotHoldKeys) {
    TestDesktop bus; // the portal's stand-in, on the session bus this test runs under
    ASSERT_TRUE(bus.mock("portal_inhibit", "org.freedesktop.portal.Desktop"));
    Settings::setMode(Mode::kiosk);
    auto app = start({}, {hidden});
    ASSERT_TRUE(app->waitFor("showing 2 of 2 display(s), mode kiosk", slowMs)) << app->output().constData();
    EXPECT_TRUE(app->waitFor("idle time: no source answers", 0)) << app->output().constData();
    EXPECT_TRUE(
        app->waitFor("display sleep: held off through the first of org.freedesktop.portal.Inhibit", 0))
        << app->output().constData();
    ASSERT_TRUE(app->waitFor("kiosk: this compositor cannot hold the keyboard", slowMs))
        << app->output().constData();
    ASSERT_TRUE(pollUntil([&] { return bus.mockLog("portal_inhibit").contains("Inhibit"); }, slowMs));
    for (const auto& wall : sway->views("solvane"))
        EXPECT_FALSE(wall.node["inhibit_idle"].toBool());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(app->count("kiosk: this compositor cannot hold the keyboard"), 1) << "said once";

    ASSERT_TRUE(leaveKiosk(*app)) << app->output().constData();
    EXPECT_TRUE(pollUntil([&] { return bus.mockLog("portal_inhibit").contains("Close"); }, slowMs))
        << bus.mockLog("portal_inhibit").constData();
    // Leaving opens Preferences, whose kiosk note says why the keys were not held.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    sway->screenshot("HEADLESS-1", shotPath(home.path(), "sway-preferences-without-protocols.png"));
    stop(*app);
}

TEST_F(SwaySession, UnderXWaylandWallsGoToTheirOwnOutputs) {
    // Qt's X11 platform, as where qt6-wayland is missing; XWayland lets only sway's user in.
    sway.reset();
    sway = std::make_unique<HeadlessSway>(QString(), 2, true);
    ASSERT_TRUE(sway->failure().isEmpty()) << sway->failure().toStdString();
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther);
    Settings::setMode(Mode::wall);
    const auto run = [&](const QStringList& arguments) {
        QDir().mkpath(home.filePath("run"));
        sway->giveToUser(home.path());
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList command = sway->asUser(QStringList{SOLVANE_BINARY} + arguments);
        return std::make_unique<RunningProgram>(command.front(), command.mid(1),
                                                sway->environment() +
                                                    QStringList{"QT_QPA_PLATFORM=xcb", "HOME=" + home.path(),
                                                                "XDG_CONFIG_HOME=" + home.filePath("config"),
                                                                "XDG_CACHE_HOME=" + home.filePath("cache"),
                                                                "XDG_DATA_HOME=" + home.filePath("data"),
                                                                "XDG_RUNTIME_DIR=" + home.filePath("run"),
                                                                "SOLVANE_ORIGIN_HOST=127.0.0.1:9"});
    };
    auto app = run({"--start"});
    ASSERT_TRUE(app->waitFor("showing 2 of 2 display(s), mode wall", slowMs)) << app->output().constData();
    std::vector<HeadlessSway::View> walls;
    EXPECT_TRUE(pollUntil(
        [&] {
            walls = sway->views("solvane");
            return walls.size() == 2 && walls[0].output != walls[1].output;
        },
        slowMs))
        << "the walls share an output\n"
        << QJsonDocument(sway->tree()).toJson().constData();
    for (const QString output : {"HEADLESS-1", "HEADLESS-2"}) {
        QImage shot;
        EXPECT_TRUE(pollUntil(
            [&] {
                shot = sway->screenshot(output, shotPath(home.path(), "xwayland-wall-" + output + ".png"));
                return coveredShare(shot) > 0.99;
            },
            slowMs))
            << output.toStdString() << " shows " << coveredShare(shot) << " of ours";
    }
    stop(*app);
}

TEST_F(SwaySession, TheDesktopPictureGoesToSwaysOutputsByGeometryAndAnUnknownOneIsRefused) {
    // Qt under XWayland names the screens XWAYLAND0, 1, ...; sway would take a command for such an output,
    // answer success and change nothing.
    QImage picture(180, 180, QImage::Format_RGB32); // square: fitted on a wide output, black at the sides
    picture.fill(qRgb(250, 200, 0));
    const QString file = home.filePath("sun.png");
    ASSERT_TRUE(picture.save(file));
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    SwayDesktopPicture desktop(sway->ipcSocket());
    const std::vector<DesktopScreen> screens{{"XWAYLAND0", {0, 0, 1280, 720}},
                                             {"XWAYLAND1", {1280, 0, 1280, 720}},
                                             {"XWAYLAND2", {2560, 0, 1280, 720}}};
    const auto answers = desktop.set(screens, {{1, QUrl::fromLocalFile(file), PictureFit::fitOnBlack},
                                               {2, QUrl::fromLocalFile(file), PictureFit::fitOnBlack}});
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_FALSE(answers[0].has_value()) << answers[0]->toStdString();
    EXPECT_TRUE(answers[1].has_value()) << "an output sway does not have was reported as done";
    QImage shot;
    EXPECT_TRUE(pollUntil(
        [&] {
            shot = sway->screenshot("HEADLESS-2", shotPath(home.path(), "sway-desktop-picture.png"));
            return !shot.isNull() && shot.pixel(640, 360) == qRgb(250, 200, 0) &&
                   shot.pixel(5, 5) == qRgb(0, 0, 0);
        },
        slowMs))
        << "HEADLESS-2 does not show the picture fitted on black";
    const QImage first = sway->screenshot("HEADLESS-1", shotPath(home.path(), "sway-desktop-untouched.png"));
    EXPECT_EQ(first.pixel(640, 360), background) << "the other output changed";
}

TEST_F(SwaySession, WithoutItsSocketTheDesktopPictureIsALayerOfOursOnEachOutputWhileTheProgramRuns) {
    // sway without SWAYSOCK stands for every compositor with layers and no picture service we know.
    const QRgb sun = qRgb(250, 200, 0);
    QImage still(180, 180, QImage::Format_RGB32); // square: fitted on each wide output, black at the sides
    still.fill(sun);
    const QDir cache(home.filePath("cache/Solvane"));
    ASSERT_TRUE(cache.mkpath(".") && still.save(cache.filePath("171.png")));
    writeFile(cache.filePath("171.mp4"), "clip");
    writeFile(cache.filePath("manifest.json"),
              R"([{"id": "171", "label": "171", "video": "171.mp4", "updated": "2026-12-07T19:00:00Z",
                   "still": "171.png", "stillUpdated": "2026-12-07T20:00:00Z"}])");
    Settings::setMode(Mode::desktop);
    Settings::setProducts({"", ""});
    Settings::setOffline(true); // the picture goes at launch, from the cache
    auto app = start({}, {"SWAYSOCK="});
    ASSERT_TRUE(app->waitFor("desktop picture: layer shell (the compositor offers zwlr_layer_shell_v1 and no "
                             "desktop service we know answers)",
                             slowMs))
        << app->output().constData();
    ASSERT_TRUE(app->waitFor("desktop: HEADLESS-2 -> 171", slowMs)) << app->output().constData();
    const auto shows = [&](const QString& output, const QString& name) {
        return pollUntil(
            [&] {
                const QImage shot = sway->screenshot(output, shotPath(home.path(), name));
                return !shot.isNull() && shot.pixel(640, 360) == sun && shot.pixel(5, 5) == qRgb(0, 0, 0);
            },
            slowMs);
    };
    EXPECT_TRUE(shows("HEADLESS-1", "layer-desktop-HEADLESS-1.png"));
    EXPECT_TRUE(shows("HEADLESS-2", "layer-desktop-HEADLESS-2.png"));
    EXPECT_TRUE(sway->views("").empty()) << "a layer surface is no window of sway's";

    // A new output gets its picture too, once the screens have settled.
    const auto added = RunningProgram::Clock::now();
    ASSERT_EQ(sway->swaymsg({"create_output"}).status, 0);
    EXPECT_TRUE(app->waitFor("desktop: HEADLESS-3 -> 171", slowMs, added)) << app->output().constData();
    EXPECT_TRUE(shows("HEADLESS-3", "layer-desktop-HEADLESS-3-new.png"));

    // The surfaces go with the program, and sway's own background shows again.
    stop(*app);
    const QImage after = sway->screenshot("HEADLESS-1", shotPath(home.path(), "layer-desktop-gone.png"));
    EXPECT_EQ(after.pixel(640, 360), background);
}
