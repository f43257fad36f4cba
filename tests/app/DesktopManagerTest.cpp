// The desktop picture manager over a recording desktop: what it copies, sets, logs, remembers, puts back
// and prunes, on two screens.
#include "DesktopManager.h"
#include "Cache.h"
#include "RecordingDesktopPicture.h"
#include "RecordingLockScreenPicture.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DesktopManager : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings::d().useFile(dir.filePath("settings.plist"));
        Cache::setDir(dir.filePath("cache"));
        Settings::setMode(Mode::desktop);
        Settings::setProducts({"", ""});
        picture = std::make_shared<RecordingDesktopPicture>();
        picture->pictures = {{0, "file:///home/me/left.jpg"}};
        Desktop::usePicture(picture);
        QDir folder(Desktop::dir());
        for (const QString& name : folder.entryList(QDir::Files))
            folder.remove(name);
    }
    void TearDown() override {
        Desktop::usePicture(nullptr);
        Settings::d().useFile(dir.filePath("after.plist"));
    }

    // A manifest of products with clips and stills on disk; `stamp` is each still's time.
    void cache(const QStringList& ids, const QString& stamp = "2026-12-07T20:00:00Z") {
        QJsonArray manifest;
        for (const QString& id : ids) {
            CacheEntry entry;
            entry.id = id;
            entry.label = id;
            entry.video = id + ".mp4";
            entry.updated = "2026-12-07T19:00:00Z";
            entry.still = id + ".png";
            entry.stillUpdated = stamp;
            writeFile(Cache::file(entry.video), "clip");
            QImage still(16, 9, QImage::Format_RGB32);
            still.fill(Qt::red);
            still.save(Cache::file(*entry.still));
            manifest.append(entry.toJson());
        }
        writeFile(Cache::file("manifest.json"), QJsonDocument(manifest).toJson());
    }
    QStringList placed() const {
        QStringList out;
        for (const PicturePlacement& p : picture->requests)
            out << QString::number(p.screen) + ":" + QFileInfo(p.picture.toLocalFile()).fileName() +
                       (p.fit == PictureFit::asRecorded ? " (back)" : "");
        return out;
    }
    static QStringList lines(const QByteArray& text) {
        return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    std::shared_ptr<RecordingDesktopPicture> picture;
};

} // namespace

TEST_F(DesktopManager, EachUpdateMovesEveryScreenAlongAndKeepsOnlyWhatShows) {
    cache({"A", "B", "C"});
    // An old copy of ours goes; a picture the user keeps in the same folder stays.
    writeFile(QDir(Desktop::dir()).filePath("A-2026-01-01T00-00-00Z.png"), "old");
    writeFile(QDir(Desktop::dir()).filePath("holiday.png"), "the user's");
    CapturedLog captured;
    Desktop::apply();
    Desktop::apply();
    const QStringList log = lines(captured.finish());

    EXPECT_EQ(log, (QStringList{"solvane: desktop: remembered the previous picture on 2 screen(s)",
                                "solvane: desktop: LEFT -> A (2026-12-07T19:00:00Z)",
                                "solvane: desktop: RIGHT -> B (2026-12-07T19:00:00Z)",
                                "solvane: desktop: LEFT -> B (2026-12-07T19:00:00Z)",
                                "solvane: desktop: RIGHT -> C (2026-12-07T19:00:00Z)"}));
    EXPECT_EQ(placed(), (QStringList{"0:A-2026-12-07T20-00-00Z.png", "1:B-2026-12-07T20-00-00Z.png",
                                     "0:B-2026-12-07T20-00-00Z.png", "1:C-2026-12-07T20-00-00Z.png"}));
    EXPECT_EQ(picture->lastScreens.at(1).name, "RIGHT");
    EXPECT_EQ(picture->lastScreens.at(1).geometry, QRect(1280, 0, 1280, 720));
    EXPECT_EQ(Settings::desktopCounter(), 2);
    // The record is the user's own pictures, not our copies from the first update.
    EXPECT_EQ(Settings::previousDesktop(), (QStringList{"file:///home/me/left.jpg", ""}));
    EXPECT_EQ(QDir(Desktop::dir()).entryList(QDir::Files),
              (QStringList{"B-2026-12-07T20-00-00Z.png", "C-2026-12-07T20-00-00Z.png", "holiday.png"}));
    EXPECT_EQ(readFile(QDir(Desktop::dir()).filePath("C-2026-12-07T20-00-00Z.png")),
              readFile(Cache::file("C.png")));
}

TEST_F(DesktopManager, InactiveEmptyOffAndFailingScreens) {
    CapturedLog captured;
    Settings::setMode(Mode::wall);
    cache({"A"});
    Desktop::apply(); // neither desktop mode nor the desktop setting: nothing at all
    EXPECT_TRUE(picture->requests.empty());
    EXPECT_EQ(picture->reads, 0);

    Settings::setDesktop(true);
    cache({});
    Desktop::apply();
    EXPECT_EQ(Settings::desktopCounter(), 0);

    cache({"A", "B"});
    Settings::setProducts({"off", "B"});
    picture->failing = {{1, "the desktop said no"}};
    Desktop::apply();
    EXPECT_EQ(placed(), (QStringList{"1:B-2026-12-07T20-00-00Z.png"}));
    EXPECT_EQ(Settings::desktopCounter(), 1);                         // counted even when a screen failed
    EXPECT_EQ(Desktop::lastApplied().failure, "the desktop said no"); // what the tray says
    EXPECT_EQ(lines(captured.finish()),
              (QStringList{"solvane: desktop: no stills cached yet",
                           "solvane: desktop: remembered the previous picture on 2 screen(s)",
                           "solvane: desktop: RIGHT failed: the desktop said no"}));
}

TEST_F(DesktopManager, RestorePutsBackByScreenIndexAndForgets) {
    Settings::setPreviousDesktop(
        QStringList{"file:///home/me/left.jpg#mode=fill", "", "file:///gone/third.jpg"});
    picture->failing = {{0, "no such file"}};
    CapturedLog captured;
    Desktop::restore();
    Desktop::restore(); // nothing recorded any more: nothing happens
    // A screen that had no picture before ours (a bare X root) is cleared to black, not left with the Sun.
    EXPECT_EQ(placed(), (QStringList{"0:left.jpg (back)", "1:blank.png"}));
    EXPECT_EQ(picture->requests.at(0).picture.fragment(), "mode=fill");
    EXPECT_EQ(QImage(picture->requests.at(1).picture.toLocalFile()).pixelColor(0, 0), QColor(Qt::black));
    EXPECT_FALSE(Settings::previousDesktop().has_value());
    EXPECT_EQ(lines(captured.finish()),
              (QStringList{"solvane: desktop: RIGHT had no picture before; clearing ours",
                           "solvane: desktop: could not put back the picture on LEFT: no such file",
                           "solvane: desktop: restored"}));

    // Remember records once, then leaves the record alone.
    picture->failing.clear();
    picture->pictures = {{0, "file:///home/me/left.jpg"}};
    Desktop::remember();
    picture->pictures = {{0, "file:///ours.png"}, {1, "file:///ours.png"}};
    Desktop::remember();
    EXPECT_EQ(Settings::previousDesktop(), (QStringList{"file:///home/me/left.jpg", ""}));
    EXPECT_EQ(picture->reads, 1);

    // A screen left alone (Off) keeps what it shows.
    picture->requests.clear();
    Settings::setProducts({"off", ""});
    Settings::setPreviousDesktop(QStringList{"", ""});
    Desktop::restore();
    EXPECT_EQ(placed(), (QStringList{"1:blank.png"}));
}

TEST_F(DesktopManager, TheLockScreenFollowsTheFirstScreenWhenAskedAndGoesBackAsItWas) {
    cache({"A", "B", "C"});
    auto lock = std::make_shared<RecordingLockScreenPicture>();
    Desktop::useLockScreen(lock);
    Desktop::apply(); // not asked for: left alone
    Settings::setSunOnLockScreen(true);
    Desktop::syncLockScreen(); // the box ticked: what the first screen shows now
    Desktop::apply();
    EXPECT_EQ(Settings::previousLockScreen(), QStringList{"picture=/home/me/lock.jpg"}) << "recorded once";
    Settings::setSunOnLockScreen(false);
    Desktop::syncLockScreen(); // unticked: back as it was
    EXPECT_EQ(lock->picture, "/home/me/lock.jpg");
    EXPECT_FALSE(Settings::previousLockScreen());
    Settings::setSunOnLockScreen(true);
    Desktop::apply();
    Desktop::restore(); // Turn Off: the lock screen goes back with the desktop, our surfaces go
    EXPECT_EQ(lock->picture, "/home/me/lock.jpg");
    EXPECT_EQ(picture->releases, 1);
    QStringList shown;
    for (const QString& file : lock->shown)
        shown << QFileInfo(file).fileName();
    EXPECT_EQ(shown, (QStringList{"A-2026-12-07T20-00-00Z.png", "B-2026-12-07T20-00-00Z.png",
                                  "C-2026-12-07T20-00-00Z.png"}));
    EXPECT_EQ(lock->putBacks.size(), 2u);
    Desktop::useLockScreen(nullptr);
}

TEST_F(DesktopManager, TheFolderIsMadeOrTheFailureSaidInWords) {
    EXPECT_EQ(Desktop::dir(), qEnvironmentVariable("XDG_DATA_HOME") + "/Solvane/desktop");
    EXPECT_TRUE(QFileInfo(Desktop::dir()).isDir());
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    writeFile(dir.filePath("file"), "not a folder");
    qputenv("XDG_DATA_HOME", dir.filePath("file").toUtf8());
    CapturedLog captured;
    EXPECT_EQ(Desktop::dir(), dir.filePath("file") + "/Solvane/desktop");
    qputenv("XDG_DATA_HOME", data);
    const QString log = QString::fromUtf8(captured.finish());
    EXPECT_TRUE(
        log.startsWith("solvane: desktop: could not create " + dir.filePath("file") + "/Solvane/desktop: "))
        << log.toStdString();
}

TEST_F(DesktopManager, ManifestNamesNeverLeaveTheFolderAndAScreenWithoutStillsSaysSo) {
    // A manifest written by someone else: names that would reach outside the desktop folder.
    struct Hostile {
        const char* id;
        const char* still;
        const char* stamp;
    };
    const Hostile hostile[] = {
        {"up", "up.png", "2026-12-07T20:00:00Z/../../../escaped"},
        {"..", "dots.png", "2026-12-07T20:00:00Z"},
        {"a/b", "ab.png", "2026-12-07T20:00:00Z"},
        {"far", "../../far.png", "2026-12-07T20:00:00Z"},
    };
    QJsonArray manifest;
    for (const Hostile& h : hostile) {
        CacheEntry entry;
        entry.id = h.id;
        entry.label = h.id;
        entry.video = "v.mp4";
        entry.updated = "2026-12-07T19:00:00Z";
        entry.still = h.still;
        entry.stillUpdated = h.stamp;
        manifest.append(entry.toJson());
    }
    CacheEntry good;
    good.id = "A";
    good.label = "A";
    good.video = "A.mp4";
    good.updated = "2026-12-07T19:00:00Z";
    good.still = "A.png";
    good.stillUpdated = "2026-12-07T20:00:00Z";
    manifest.append(good.toJson());
    writeFile(Cache::file("manifest.json"), QJsonDocument(manifest).toJson());
    writeFile(Cache::file("v.mp4"), "clip");
    writeFile(Cache::file("A.mp4"), "clip");
    for (const char* still : {"up.png", "dots.png", "ab.png", "A.png"})
        writeFile(Cache::file(still), "still");
    writeFile(dir.filePath("far.png"), "outside the cache");

    Settings::setProducts({"", "Z"}); // every product on the left; nothing of Z is cached
    CapturedLog captured;
    Desktop::apply();
    const QString log = QString::fromUtf8(captured.finish());
    EXPECT_EQ(placed(), (QStringList{"0:A-2026-12-07T20-00-00Z.png"}));
    EXPECT_TRUE(log.contains("desktop: RIGHT keeps its picture: no still cached for Z")) << log.toStdString();
    // Nothing was written anywhere but the desktop folder, under a plain name.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    QStringList written;
    QDirIterator it(data, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next().mid(data.size() + 1);
        if (name != "screens.json") written << name; // the test's own screen layout
    }
    EXPECT_EQ(written, QStringList{"Solvane/desktop/A-2026-12-07T20-00-00Z.png"});
}
