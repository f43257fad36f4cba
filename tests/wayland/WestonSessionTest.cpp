// The program under Weston, headless: the core (a wall, Preferences) on a compositor that has none of
// the idle, idle-inhibit, shortcut or layer protocols, and what it says about them.

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

// The share of sampled pixels that are dark (the wall's black) and that are lit (the Sun); Weston's own
// desktop is a mid-grey pattern, neither.
std::pair<double, double> darkAndLit(const QImage& image) {
    if (image.isNull()) return {0, 0};
    int dark = 0, lit = 0, all = 0;
    for (int y = 0; y < image.height(); y += 8)
        for (int x = 0; x < image.width(); x += 8, ++all) {
            const QColor c(image.pixel(x, y));
            if (c.value() < 25) ++dark;
            if (c.red() > 150 && c.red() > c.blue() + 60) ++lit; // the Sun's orange
        }
    return all ? std::pair{double(dark) / all, double(lit) / all} : std::pair{0.0, 0.0};
}
} // namespace

TEST_F(WestonSession, AWallShowsAndPreferencesOpenOnACompositorWithoutTheProtocols) {
    Settings::setMode(Mode::wall);
    auto app = start({"--start"});
    ASSERT_TRUE(app->waitFor("showing 1 of 1 display(s), mode wall", slowMs)) << app->output().constData();
    EXPECT_TRUE(app->waitFor("idle time: no source answers", 0)) << app->output().constData();
    // Weston 10 has neither the idle protocols nor the idle inhibitor.
    EXPECT_TRUE(
        app->waitFor("display sleep: held off through the first of org.freedesktop.portal.Inhibit", 0))
        << app->output().constData();
    QImage wall;
    EXPECT_TRUE(pollUntil(
        [&] {
            wall = weston->screenshot(shotPath(home.path(), "weston-wall.png"));
            const auto [dark, lit] = darkAndLit(wall);
            return dark > 0.3 && lit > 0.05;
        },
        slowMs))
        << "the Sun did not show: dark " << darkAndLit(wall).first << ", lit " << darkAndLit(wall).second;
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(slowMs), 0) << app->output().constData();

    // In desktop mode nothing shows at launch; a second start hands over and Preferences opens.
    // Weston has no layers: the live desktop stays off and says why (Preferences too, below).
    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    auto second = start({});
    ASSERT_TRUE(second->waitFor("refresh: now and every 3600 s", slowMs)) << second->output().constData();
    EXPECT_TRUE(second->waitFor(
        "live desktop: off: This desktop cannot show a live picture behind the windows", slowMs))
        << second->output().constData();
    EXPECT_EQ(second->count("live desktop: 1 screen(s)"), 0);
    const QImage before = weston->screenshot(shotPath(home.path(), "weston-desktop.png"));
    const auto handed = start({});
    EXPECT_EQ(handed->wait(slowMs), 0);
    EXPECT_TRUE(handed->waitFor("handed over to the running Solvane", 0)) << handed->output().constData();
    QImage preferences;
    EXPECT_TRUE(pollUntil(
        [&] {
            preferences = weston->screenshot(shotPath(home.path(), "weston-preferences.png"));
            if (preferences.isNull() || before.isNull() || preferences.size() != before.size()) return false;
            int changed = 0, all = 0;
            for (int y = 40; y < before.height(); y += 8)
                for (int x = 0; x < before.width(); x += 8, ++all)
                    if (preferences.pixel(x, y) != before.pixel(x, y)) ++changed;
            return darkAndLit(preferences).second < 0.01 && changed > all / 5; // a window, not a wall
        },
        slowMs));
    second->signal(SIGTERM);
    EXPECT_EQ(second->wait(slowMs), 0) << second->output().constData();
}
