// The idle-time and display-sleep adapters against real services: the X server's screen-saver extension
// under Xvfb with xdotool input, and D-Bus mocks answering known values. Run under dbus-run-session.

#include "DBusIdleTime.h"
#include "Platform.h"
#include "SleepInhibit.h"
#include "TestDesktop.h"
#include "X11IdleTime.h"

#include <gtest/gtest.h>

namespace {
constexpr int slowMs = 60000;

// Points this process (and the adapters' own connections) at the session's display.
struct OnDisplay {
    explicit OnDisplay(const TestDesktop& session) { qputenv("DISPLAY", session.display().toLocal8Bit()); }
    ~OnDisplay() { qunsetenv("DISPLAY"); }
};
} // namespace

TEST(IdleSources, TheXServerCountsXdotoolInput) {
    TestDesktop session;
    ASSERT_TRUE(session.ready());
    OnDisplay on(session);
    auto x11 = X11IdleTime::open();
    ASSERT_TRUE(x11);
    session.xdotool({"mousemove", "100", "100"});
    const auto afterMove = x11->secondsIdle();
    ASSERT_TRUE(afterMove);
    EXPECT_LT(*afterMove, 1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_GE(*x11->secondsIdle(), 1.0);
    session.xdotool({"key", "shift"});
    EXPECT_LT(*x11->secondsIdle(), 1.0);
}

TEST(IdleSources, DBusServicesAnswerInMillisecondsAndNotSupportedCountsAsAbsent) {
    TestDesktop session;
    ASSERT_TRUE(session.ready());
    OnDisplay on(session);
    // GNOME's screen saver: no idle time; the choice falls through to the X server.
    ASSERT_TRUE(session.mock("screensaver", "org.freedesktop.ScreenSaver"));
    EXPECT_FALSE(DBusIdleTime::screenSaver().ask());
    EXPECT_EQ(Platform::idleTime()->name(), "the X server (MIT-SCREEN-SAVER)");
    session.stopMock("screensaver");
    ASSERT_TRUE(pollUntil([&] { return !session.nameOwned("org.freedesktop.ScreenSaver"); }, slowMs));

    // KDE's answers.
    ASSERT_TRUE(session.mock("screensaver", "org.freedesktop.ScreenSaver", R"({"idle_ms": 2500})"));
    EXPECT_EQ(DBusIdleTime::screenSaver().ask(), 2.5);
    EXPECT_EQ(Platform::idleTime()->name(), "org.freedesktop.ScreenSaver");
    // GNOME's idle monitor comes first.
    ASSERT_TRUE(session.mock("mutter_idle", "org.gnome.Mutter.IdleMonitor", R"({"idle_ms": 4000})"));
    const auto chosen = Platform::idleTime();
    EXPECT_EQ(chosen->name(), "org.gnome.Mutter.IdleMonitor");
    EXPECT_EQ(chosen->secondsIdle(), 4.0);
}

TEST(SleepInhibitSources, TheScreenSaverServiceFirstElseTheXServer) {
    TestDesktop session;
    ASSERT_TRUE(session.ready());
    OnDisplay on(session);
    {
        const auto inhibit = Platform::sleepInhibit();
        EXPECT_TRUE(inhibit->inhibit("Solvane", "Solvane is displaying"));
        EXPECT_EQ(inhibit->name(), "the X server (XScreenSaverSuspend)");
        inhibit->release();
        EXPECT_FALSE(inhibit->held());
    }
    ASSERT_TRUE(session.mock("screensaver", "org.freedesktop.ScreenSaver"));
    const auto inhibit = Platform::sleepInhibit();
    EXPECT_TRUE(inhibit->inhibit("Solvane", "Solvane is displaying"));
    EXPECT_EQ(inhibit->name(), "org.freedesktop.ScreenSaver");
    inhibit->release();
    const QByteArray calls = session.mockLog("screensaver");
    EXPECT_TRUE(calls.contains("Inhibit \"Solvane\" \"Solvane is displaying\"")) << calls.constData();
    EXPECT_TRUE(calls.contains("UnInhibit 1")) << calls.constData();
}
