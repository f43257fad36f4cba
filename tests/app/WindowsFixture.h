#pragma once
// What the Preferences, welcome and mini-player tests share: settings and cache in a temporary folder,
// a login item that records, a fake controller that counts what the windows ask of it, and walls on a
// manual clock.

#include "Cache.h"
#include "FakeController.h"
#include "Preferences.h"
#include "RecordingLoginItem.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "ViewClock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <map>
#include <memory>

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings::d().useFile(dir.filePath("settings.plist"));
        Cache::setDir(dir.filePath("cache"));
        login = std::make_shared<RecordingLoginItem>();
        Settings::useLoginItem(login);
        app->saverNote = QStringLiteral("Installed; choose Solvane in XScreenSaver's settings.");

        Preferences::Environment env;
        env.refreshNow = [this](bool everything, const Cache::Progress& progress) {
            (everything ? fullChecks : checks)++;
            if (progress) {
                progress(1, 12);
                progress(12, 12);
            }
            return refused;
        };
        env.refresh = [] {};
        env.confirm = [this](const QString& title, const QString& text) {
            alertTitle = title;
            alertText = text;
            return confirmAnswer;
        };
        env.quit = [this] { ++quits; };
        env.carriesSaver = [] { return true; };
        env.stop = [] {}; // a real stop request would hold for the rest of the process
        env.checkMirror = [this](const QString& typed) {
            mirrorChecksOffThread = mirrorChecksOffThread && QThread::currentThread() != qApp->thread();
            const QString host = Settings::hostName(typed.trimmed());
            const bool good = host.startsWith(QLatin1String("good."));
            return MirrorCheck::Outcome{good, host,
                                        host + (good ? " answers with 12 products." : " is not a mirror.")};
        };
        env.downloading = [] { return false; };
        env.lockScreenChanged = [this] { ++app->calls["lock screen"]; };
        preferences = std::make_unique<Preferences>(*app, env);
    }

    void TearDown() override {
        preferences.reset();
        app.reset();
        Settings::useLoginItem(nullptr);
        Settings::d().useFile(dir.filePath("after.plist"));
    }

    static WallView::Environment wallEnvironment() {
        WallView::Environment wall;
        wall.clock = std::make_shared<ManualClock>();
        wall.entries = [] { return std::vector<CacheEntry>{}; };
        return wall;
    }

    // Runs the event loop until `done` holds or ten seconds pass.
    template <typename Condition> bool waitFor(Condition done) {
        QDeadlineTimer deadline(10000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    QTemporaryDir dir;
    std::shared_ptr<RecordingLoginItem> login;
    // The controller the windows are given.
    std::unique_ptr<FakeController> app = std::make_unique<FakeController>();
    std::unique_ptr<Preferences> preferences;
    // What the windows asked of it, by name.
    std::map<std::string, int>& calls = app->calls;
    int checks = 0, fullChecks = 0, quits = 0;
    std::optional<QDateTime> refused;
    bool confirmAnswer = true;
    bool mirrorChecksOffThread = true;
    QString alertTitle, alertText;
};
