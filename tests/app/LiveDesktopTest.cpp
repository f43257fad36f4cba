// The live desktop under openbox: a Desktop-type window below ordinary ones that pauses its wall while a
// window covers it, on battery (when pauseOnBattery is on) and in the power saver profile, through the
// power services' changes (python-dbusmock's UPower and power-profiles-daemon templates).
#include "LiveDesktop.h"
#include "DesktopSession.h"
#include "LivePolicy.h"
#include "LivePower.h"
#include "Platform.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "WallWindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class LiveDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings::d().useFile(dir.filePath("settings.plist"));
        Settings::setMode(Mode::desktop);
        Settings::setLiveDesktop(true);
        Settings::setProducts({""});
        const QString clip = dir.filePath("clip.mp4");
        ASSERT_EQ(runProgram("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x64:r=18:d=4",
                                        "-pix_fmt", "yuv420p", clip})
                      .status,
                  0);
        CacheEntry entry;
        entry.id = "171";
        entry.label = "AIA 171";
        entry.video = "171.mp4";
        entry.updated = "2026-12-07T20:00:00Z";
        LiveDesktop::shared().setWallEnvironment([entry, clip] {
            WallView::Environment environment;
            environment.entries = [entry] { return std::vector<CacheEntry>{entry}; };
            environment.clipPath = [clip](const CacheEntry&) { return clip; };
            return environment;
        });
    }
    void TearDown() override {
        LiveDesktop::shared().stop();
        Settings::d().useFile(dir.filePath("after.plist"));
    }

    static WallView& wall() { return *LiveDesktop::shared().pairs().at(0).wall; }
    static bool playing() { return !wall().state().policyPaused && wall().state().playing; }
    static bool paused() { return wall().state().policyPaused && !wall().state().playing; }

    static bool setSystemProperty(const QString& service, const QString& path, const QString& interface,
                                  const QString& name, const QVariant& value) {
        QDBusMessage set =
            QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Set");
        set << interface << name << QVariant::fromValue(QDBusVariant(value));
        return QDBusConnection::systemBus().call(set).type() == QDBusMessage::ReplyMessage;
    }
    static bool onBattery(bool value) {
        return setSystemProperty("org.freedesktop.UPower", "/org/freedesktop/UPower",
                                 "org.freedesktop.UPower", "OnBattery", value);
    }
    static bool profile(const QString& value) {
        return setSystemProperty("net.hadess.PowerProfiles", "/net/hadess/PowerProfiles",
                                 "net.hadess.PowerProfiles", "ActiveProfile", value);
    }
    static bool named(const QString& name) {
        return waitUntil(
            [&] { return QDBusConnection::systemBus().interface()->isServiceRegistered(name).value(); },
            30000);
    }

    QTemporaryDir dir;
};

QStringList stacking() {
    const QString text = QString::fromUtf8(runProgram("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}).out);
    return text.section('#', 1)
        .split(',', Qt::SkipEmptyParts)
        .replaceInStrings(" ", "")
        .replaceInStrings("\n", "");
}

QString hex(WId id) {
    return "0x" + QString::number(id, 16);
}

} // namespace

TEST(LivePolicy, RunsAndPlays) {
    EXPECT_TRUE(LivePolicy::runs(true, true, Mode::desktop));
    for (Mode mode : {Mode::wall, Mode::saver, Mode::kiosk})
        EXPECT_FALSE(LivePolicy::runs(true, true, mode));
    EXPECT_FALSE(LivePolicy::runs(false, true, Mode::desktop));
    EXPECT_FALSE(LivePolicy::runs(true, false, Mode::desktop));
    EXPECT_TRUE(LivePolicy::shouldPlay(false, false, true, false)); // battery, but allowed
    EXPECT_FALSE(LivePolicy::shouldPlay(false, false, true, true));
    EXPECT_FALSE(LivePolicy::shouldPlay(false, true, false, false));
    EXPECT_FALSE(LivePolicy::shouldPlay(true, false, false, false));
    EXPECT_TRUE(LivePolicy::shouldPlay(false, false, false, true));
}

TEST_F(LiveDesktopTest, BelowOrdinaryWindowsAndPausedWhileCovered) {
    LiveDesktop& live = LiveDesktop::shared();
    CapturedLog captured;
    Settings::setMode(Mode::wall);
    live.sync();
    EXPECT_FALSE(live.running());
    live.stop(); // already stopped: says nothing

    Settings::setMode(Mode::desktop);
    live.sync();
    ASSERT_EQ(live.pairs().size(), 1u);
    QWidget* window = live.pairs()[0].window;
    const QString screen = QGuiApplication::primaryScreen()->name();
    EXPECT_TRUE(runProgram("xprop", {"-id", hex(window->winId()), "_NET_WM_WINDOW_TYPE"})
                    .out.contains("_NET_WM_WINDOW_TYPE_DESKTOP"));
    ASSERT_TRUE(waitUntil(playing));

    QWidget other;
    other.setWindowTitle("ordinary");
    other.setGeometry(100, 100, 320, 200);
    other.show();
    ASSERT_TRUE(waitUntil([&] { return stacking().contains(hex(other.winId())); }));
    window->raise(); // asking to come up changes nothing for a desktop window
    QCoreApplication::processEvents();
    ASSERT_TRUE(waitUntil([&] { return stacking().contains(hex(window->winId())); }));
    EXPECT_LT(stacking().indexOf(hex(window->winId())), stacking().indexOf(hex(other.winId())));
    EXPECT_TRUE(playing()); // a partly covered screen plays on
    if (!qEnvironmentVariableIsEmpty("SOLVANE_SHOT"))
        runProgram("import", {"-window", "root", qEnvironmentVariable("SOLVANE_SHOT")});

    other.setGeometry(QGuiApplication::primaryScreen()->geometry());
    other.showFullScreen();
    EXPECT_TRUE(waitUntil(paused));
    other.hide();
    EXPECT_TRUE(waitUntil(playing));
    live.stop();
    live.stop();
    EXPECT_EQ(
        QString::fromUtf8(captured.finish()).split('\n', Qt::SkipEmptyParts).filter("live desktop"),
        (QStringList{"solvane: live desktop: 1 screen(s)", "solvane: live desktop: " + screen + " paused",
                     "solvane: live desktop: " + screen + " playing", "solvane: live desktop: stopped"}));
}

TEST_F(LiveDesktopTest, PausesOnBatteryWhenAskedAndInThePowerSaverProfile) {
    BackgroundProgram upower("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "upower"});
    BackgroundProgram profiles("/usr/bin/python3",
                               {"-m", "dbusmock", "--system", "--template", "power_profiles_daemon"});
    ASSERT_TRUE(named("org.freedesktop.UPower"));
    ASSERT_TRUE(named("net.hadess.PowerProfiles"));
    int changes = 0;
    QObject::connect(&LivePower::source(), &PowerSource::changed, [&] { ++changes; });

    LiveDesktop& live = LiveDesktop::shared();
    Settings::setPauseOnBattery(true);
    live.sync();
    ASSERT_TRUE(waitUntil(playing));
    // The signal brings the pause at once; the 30-second timer is only the fallback.
    ASSERT_TRUE(onBattery(true));
    EXPECT_TRUE(waitUntil(paused, LiveDesktop::powerTickMs / 2));
    ASSERT_TRUE(onBattery(false));
    EXPECT_TRUE(waitUntil(playing, LiveDesktop::powerTickMs / 2));

    Settings::setPauseOnBattery(false);
    changes = 0;
    ASSERT_TRUE(onBattery(true));
    ASSERT_TRUE(waitUntil([&] { return changes > 0; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(playing());
    EXPECT_TRUE(LivePower::onBattery());

    ASSERT_TRUE(profile("power-saver"));
    EXPECT_TRUE(waitUntil(paused, LiveDesktop::powerTickMs / 2));
    ASSERT_TRUE(profile("balanced"));
    EXPECT_TRUE(waitUntil(playing, LiveDesktop::powerTickMs / 2));
    live.stop();
    LivePower::useSource(nullptr); // the next reader starts without our connection
}

TEST_F(LiveDesktopTest, StaysBelowTheDesktopsOwnWindowOfIcons) {
    // A desktop shell's window of icons: a desktop-type window mapped before ours, as at login.
    QWidget icons(nullptr, Qt::Window | Qt::FramelessWindowHint);
    icons.setWindowTitle("desktop icons");
    icons.setGeometry(0, 0, 400, 300); // a corner only, so our screen is not fully covered
    icons.winId();
    Platform::markDesktopWindow(icons.windowHandle());
    icons.show();
    ASSERT_TRUE(waitUntil([&] { return stacking().contains(hex(icons.winId())); }));

    LiveDesktop& live = LiveDesktop::shared();
    live.sync();
    ASSERT_EQ(live.pairs().size(), 1u);
    QWidget* window = live.pairs()[0].window;
    const QString ours = hex(window->winId()), theirs = hex(icons.winId());
    EXPECT_TRUE(waitUntil([&] {
        const QStringList stack = stacking();
        return stack.contains(ours) && stack.indexOf(ours) < stack.indexOf(theirs);
    })) << stacking().join(' ').toStdString();
    // The stacking, bottom to top, with each window's name and type, for whoever reads the log.
    for (const QString& id : stacking())
        fprintf(stderr, "stacking: %s %s", qPrintable(id),
                runProgram("xprop", {"-id", id, "WM_NAME", "_NET_WM_WINDOW_TYPE"})
                    .out.replace('\n', ' ')
                    .append('\n')
                    .constData());
    EXPECT_TRUE(waitUntil(playing));
    live.stop();
}

TEST(WallWindowFocus, AWallOnSomeScreensLeavesTheFocusWhereItWas) {
    // Under a real window manager: the user's window keeps the keyboard when a wall shows beside it.
    QLineEdit work;
    work.setGeometry(100, 100, 300, 40);
    work.show();
    work.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &work; }));
    {
        WallWindow wall(QGuiApplication::primaryScreen());
        wall.present(WallWindow::Presentation::onTop);
        ASSERT_TRUE(waitUntil([&] { return stacking().contains(hex(wall.winId())); }));
        waitUntil([] { return false; }, 500);
        EXPECT_EQ(QApplication::activeWindow(), &work);
    }
    WallWindow wall(QGuiApplication::primaryScreen());
    wall.present(WallWindow::Presentation::fullScreen); // every screen: the wall takes the keyboard
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &wall; }));
}
