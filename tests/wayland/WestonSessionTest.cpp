// The program under Weston, headless: the core (a wall, Preferences) on a compositor that has none of
// the idle or shortcut protocols, and what it says about them.

#include "HeadlessCompositor.h"
#include "RunningProgram.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {
constexpr int slowMs = 60000;

class WestonSession : public ::testing::Test {
protected:
    void SetUp() override {
        weston = std::make_unique<HeadlessWeston>();
        if (!weston->failure().isEmpty()) GTEST_SKIP() << weston->failure().toStdString();
        Settings::d().useFile(home.filePath("config/example.tessly.solvane.plist"));
        Settings::setImageryHost("127.0.0.1:9");
        Settings::setConfigured(true);
    }
    void TearDown() override { Settings::d().useFile(home.filePath("elsewhere.plist")); }

    std::unique_ptr<RunningProgram> start(const QStringList& arguments) {
        QDir().mkpath(home.filePath("run"));
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return std::make_unique<RunningProgram>(
            SOLVANE_BINARY, arguments,
            weston->environment() +
                QStringList{"HOME=" + home.path(), "XDG_CONFIG_HOME=" + home.filePath("config"),
                            "XDG_CACHE_HOME=" + home.filePath("cache"),
                            "XDG_DATA_HOME=" + home.filePath("data"),
                            "XDG_RUNTIME_DIR=" + home.filePath("run"), "SOLVANE_ORIGIN_HOST=127.0.0.1:9"});
    }

    QTemporaryDir home;
    std::unique_ptr<HeadlessWeston> weston;
};

// The share of a picture that is neither black nor Weston's own desktop colour.
double litShare(const QImage& image) {
    if (image.isNull()) return 0;
    int lit = 0, all = 0;
    for (int y = 0; y < image.height(); y += 8)
        for (int x = 0; x < image.width(); x += 8, ++all)
            if (qGray(image.pixel(x, y)) > 40) ++lit;
    return all ? double(lit) / all : 0;
}
} // namespace

TEST_F(WestonSession, AWallShowsAndPreferencesOpenOnACompositorWithoutTheIdleProtocols) {
    Settings::setMode(Mode::wall);
    auto app = start({"--start"});
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode wall", slowMs)) << app->output().constData();
    EXPECT_TRUE(app->waitFor("idle time: no source answers", 0)) << app->output().constData();
    // Weston 10 has the idle inhibitor, not the idle protocols.
    EXPECT_TRUE(app->waitFor("display sleep: held off through the first of zwp_idle_inhibit_manager_v1", 0));
    QImage wall;
    EXPECT_TRUE(pollUntil(
        [&] {
            wall = weston->screenshot(shotPath(home.path(), "weston-wall.png"));
            return litShare(wall) > 0.1;
        },
        slowMs))
        << "the Sun did not show; lit share " << litShare(wall);
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0) << app->output().constData();

    // Configured, in wall mode, without --start: Preferences opens.
    auto second = start({});
    ASSERT_TRUE(second->waitFor("refresh: now and every 3600 s", slowMs)) << second->output().constData();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const QImage preferences = weston->screenshot(shotPath(home.path(), "weston-preferences.png"));
    EXPECT_FALSE(preferences.isNull());
    second->signal(SIGTERM);
    EXPECT_EQ(second->wait(slowMs), 0) << second->output().constData();
}
