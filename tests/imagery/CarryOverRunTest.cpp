#include "CacheFixture.h"
#include "CarryOver.h"

class CarryOverRun : public CacheFixture {
protected:
    QString oldCache;
    QString newCache;

    void SetUp() override {
        CacheFixture::SetUp();
        qputenv("XDG_CONFIG_HOME", (temp.path() + QStringLiteral("/config")).toUtf8());
        QDir().mkpath(temp.path() + QStringLiteral("/config"));
        oldCache = temp.path() + QStringLiteral("/Caches/Corvane");
        newCache = temp.path() + QStringLiteral("/Caches/Solvane");
        QDir().mkpath(newCache);
    }
};

TEST_F(CarryOverRun, AFirstLaunchWithNoEarlierProductOnlySetsTheFlag) {
    CapturedLog captured;
    const auto report = CarryOver::run(&Settings::d(), QLatin1String(CarryOver::oldDomain), newCache);
    EXPECT_TRUE(captured.finish().contains(
        "solvane: carry-over from Corvane: 0 settings, 0 cache files copied, 0 skipped"));
    EXPECT_EQ(report, (CarryOver::Report{true, {}, 0, 0}));
    EXPECT_TRUE(Settings::d().boolean(Settings::Key::migratedFromCorvane));

    CapturedLog quiet;
    EXPECT_EQ(CarryOver::run(&Settings::d(), QLatin1String(CarryOver::oldDomain), newCache),
              CarryOver::Report{});
    EXPECT_TRUE(quiet.finish().isEmpty());
}

TEST_F(CarryOverRun, CopiesMissingSettingsAndFilesWithoutOverwriting) {
    {
        SettingsStore old(SettingsStore::fileFor(QLatin1String(CarryOver::oldDomain)));
        old.set(QStringLiteral("mode"), QStringLiteral("kiosk"));
        old.set(QStringLiteral("shuffle"), true);
        old.set(QStringLiteral("cacheHome"), QStringLiteral("/elsewhere")); // a developer flag: stays behind
        old.set(QStringLiteral("captionUTC"), true); // newer than Corvane: stays behind
    }
    Settings::setShuffle(false); // already chosen here: kept
    QDir().mkpath(oldCache + QStringLiteral("/sub"));
    writeFile(oldCache + QStringLiteral("/171.mp4"), "old clip");
    writeFile(oldCache + QStringLiteral("/304.mp4"), "old 304");
    writeFile(oldCache + QStringLiteral("/.hidden"), "x");
    writeFile(oldCache + QStringLiteral("/171.mp4.tmp"), "x");
    writeFile(oldCache + QStringLiteral("/sub/inner.mp4"), "x");
    writeFile(newCache + QStringLiteral("/171.mp4"), "new clip");

    CapturedLog captured;
    const auto report = CarryOver::run(&Settings::d(), QLatin1String(CarryOver::oldDomain), newCache);
    EXPECT_TRUE(captured.finish().contains(
        "solvane: carry-over from Corvane: 1 settings, 1 cache files copied, 1 skipped"));
    EXPECT_EQ(report.keysCopied, QStringList{QStringLiteral("mode")});
    EXPECT_EQ(Settings::mode(), Mode::kiosk);
    EXPECT_FALSE(Settings::shuffle());
    EXPECT_FALSE(Settings::d().has(QStringLiteral("cacheHome")));
    EXPECT_EQ(readFile(newCache + QStringLiteral("/171.mp4")), QByteArray("new clip"));
    EXPECT_EQ(readFile(newCache + QStringLiteral("/304.mp4")), QByteArray("old 304"));
    for (const char* name : {".hidden", "171.mp4.tmp", "sub"})
        EXPECT_FALSE(QFileInfo::exists(newCache + QLatin1Char('/') + QLatin1String(name))) << name;
    EXPECT_TRUE(QFileInfo::exists(oldCache + QStringLiteral("/304.mp4"))); // the old folder is left alone
}

TEST_F(CarryOverRun, TheOldFolderItselfAndAnUnreadableDomainAreHandled) {
    writeFile(newCache + QStringLiteral("/171.mp4"), "clip");
    writeFile(SettingsStore::fileFor(QLatin1String(CarryOver::oldDomain)), "this is not a property list");
    CapturedLog captured;
    const auto report =
        CarryOver::run(&Settings::d(), QLatin1String(CarryOver::oldDomain), newCache, newCache);
    const QByteArray logged = captured.finish();
    EXPECT_TRUE(
        logged.contains("solvane: carry-over: cannot open the old defaults domain example.tessly.corvane"));
    EXPECT_TRUE(report.ran);
    EXPECT_EQ(report.filesCopied + report.filesSkipped, 0);
    EXPECT_TRUE(Settings::d().has(Settings::Key::migratedFromCorvane));
}
