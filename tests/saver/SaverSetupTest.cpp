// The saver in-process on temporary folders: which settings and cache it takes, that it never writes the
// app's, and what its view does per screen.

#include "SaverSetup.h"
#include "Cache.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SolvaneSaverView.h"
#include "TestSupport.h"
#include "WallView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace {

struct Sandbox {
    QTemporaryDir root;
    SaverSetup::Folders folders() const { return {root.filePath("config"), root.filePath("cache")}; }
    QString appCache() const { return root.filePath("cache/Solvane"); }
    QString appSettings() const { return root.filePath("config/example.tessly.solvane.plist"); }

    void primeAppCache() const {
        Cache::setReadOnly(false);
        Cache::setDir(appCache());
        Cache::seedIfEmpty();
    }
    void writeAppSettings(const QStringList& products) const {
        QByteArray plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
                           "version=\"1.0\"><dict><key>products</key><array>";
        for (const QString& product : products)
            plist += "<string>" + product.toUtf8() + "</string>";
        QDir().mkpath(root.filePath("config"));
        writeFile(appSettings(), plist + "</array></dict></plist>\n");
    }
};

bool waitFor(const std::function<bool()>& condition, int milliseconds = 60000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

} // namespace

TEST(SaverSetup, PlaysTheAppsCacheReadOnlyAndNeverWritesIt) {
    Sandbox sandbox;
    sandbox.primeAppCache();
    sandbox.writeAppSettings({"193", "off"});
    const QByteArray cacheBefore = folderFingerprint(sandbox.appCache());
    const QByteArray settingsBefore = folderFingerprint(sandbox.root.filePath("config"));

    CapturedLog setupLog;
    SaverSetup::setup(sandbox.folders());
    EXPECT_EQ(QString::fromUtf8(setupLog.finish()),
              "solvane: saver: cache " + sandbox.appCache() + " (the app's, read-only)\n");
    EXPECT_EQ(Cache::dir(), sandbox.appCache());
    EXPECT_TRUE(Cache::readOnly());
    EXPECT_EQ(Settings::d().file(), SaverSetup::ownSettingsFile(sandbox.folders()));
    EXPECT_EQ(Settings::productList(0), QStringList{"193"});

    CapturedLog viewLog;
    SolvaneSaverView playing(false);
    playing.resize(640, 360);
    playing.startAnimation({0, 1.0, QString("LEFT")});
    ASSERT_NE(playing.wall(), nullptr);
    EXPECT_TRUE(waitFor([&] { return playing.wall()->state().clipID == QString("193"); }));
    SolvaneSaverView off(false);
    off.startAnimation({1, 1.0, QString("RIGHT")});
    EXPECT_EQ(off.wall(), nullptr);
    // The headroom line on the 1st and 3rd calls, not the 2nd and 4th.
    for (int i = 0; i < 4; ++i)
        playing.animateOneFrame();
    Cache::refresh();
    playing.stopAnimation();
    EXPECT_EQ(playing.wall(), nullptr);
    const QString lines = QString::fromUtf8(viewLog.finish());
    EXPECT_TRUE(lines.contains("solvane: saver: screen 1 is Off, staying black\n")) << qPrintable(lines);
    EXPECT_EQ(lines.count("solvane: saver: LEFT headroom 1.0\n"), 2) << qPrintable(lines);
    EXPECT_TRUE(lines.contains("solvane: offline or read-only, not refreshing the cache\n"))
        << qPrintable(lines);

    EXPECT_EQ(folderFingerprint(sandbox.appCache()), cacheBefore);
    EXPECT_EQ(folderFingerprint(sandbox.root.filePath("config")), settingsBefore)
        << "no setting written, not even our own";
}

TEST(SaverSetup, WithoutTheAppsCacheKeepsASeededCacheOfItsOwn) {
    Sandbox sandbox;
    sandbox.writeAppSettings({"171"});
    CapturedLog log;
    SaverSetup::setup(sandbox.folders());
    const QString lines = QString::fromUtf8(log.finish());
    EXPECT_TRUE(
        lines.endsWith("solvane: cache was empty, seeded with the bundled clip (2013-06-24T17:31:30Z)\n"
                       "solvane: saver: cache " +
                       sandbox.root.filePath("cache/SolvaneSaver") + "\n"))
        << qPrintable(lines);
    EXPECT_FALSE(Cache::readOnly());
    ASSERT_EQ(Cache::entries().size(), 1u);
    EXPECT_EQ(Cache::entries().front().id, "193");
    EXPECT_FALSE(QFileInfo::exists(sandbox.appCache())) << "the app's cache is the app's to make";
    EXPECT_EQ(Settings::productList(0), QStringList{"171"}) << "the app's settings still apply";

    // A view on a screen that plays starts a refresh of this cache of its own.
    Settings::setOffline(true);
    CapturedLog viewLog;
    SolvaneSaverView view(false);
    view.startAnimation({});
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(30000));
    EXPECT_TRUE(viewLog.finish().contains("solvane: offline or read-only, not refreshing the cache\n"));
    EXPECT_TRUE(QFileInfo::exists(SaverSetup::ownSettingsFile(sandbox.folders())));
    EXPECT_FALSE(readFile(sandbox.appSettings()).contains("offline"))
        << "the setting went to the saver's own file";
}
