#pragma once
// The controller's fixture: a settings file of its own, two cached entries sharing one tiny clip, a
// manual clock for the walls, an idle time the test sets, a Preferences part that counts openings, and
// display-sleep and lock ports that record what they were asked.

#include "App.h"
#include "ScreenLock.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SleepInhibit.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class AppGui : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings::d().useFile(dir.filePath("settings.plist"));
        Settings::setMode(Mode::wall);
        Settings::setProducts({"", ""});
        entry.id = "171";
        entry.label = "AIA 171 Å";
        entry.video = "171.mp4";
        entry.updated = "2026-12-07T20:00:00Z";
        other = entry;
        other.id = "193";
        other.label = "AIA 193 Å";
    }
    void TearDown() override { Settings::d().useFile(dir.filePath("after.plist")); }

    // A controller whose Preferences part counts its openings.
    std::unique_ptr<App> makeApp() {
        auto app = std::make_unique<App>(environment());
        app->parts().showPreferences = [this] { ++preferences; };
        return app;
    }

    App::Environment environment() {
        App::Environment env;
        env.secondsIdle = [this] { return idle; };
        env.sleep = sleep;
        env.lock = lock;
        env.wallEnvironment = [this] {
            WallView::Environment wall;
            wall.clock = std::make_shared<ManualClock>();
            std::vector<CacheEntry> cached{entry, other};
            wall.entries = [cached] { return cached; };
            const QString path = clip();
            wall.clipPath = [path](const CacheEntry&) { return path; };
            return wall;
        };
        return env;
    }
    QString clip() {
        const QString path = dir.filePath("clip.mp4");
        if (QFile::exists(path)) return path;
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x64:r=18:d=2",
                                "-pix_fmt", "yuv420p", path});
        ffmpeg.waitForFinished(60000);
        return path;
    }

    QTemporaryDir dir;
    CacheEntry entry, other;
    double idle = 100;
    int preferences = 0;
    std::shared_ptr<RecordingSleepInhibit> sleep = std::make_shared<RecordingSleepInhibit>();
    std::shared_ptr<RecordingScreenLock> lock = std::make_shared<RecordingScreenLock>();
};
