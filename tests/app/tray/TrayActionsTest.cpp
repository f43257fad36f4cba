// The tray's frame actions and live icon against a real cache (the bundled seed clip) in a temporary
// folder, with a test save panel and a PDF printer.
#include "App.h"
#include "Cache.h"
#include "FakeController.h"
#include "FrameActions.h"
#include "Log.h"
#include "RecordingFileSharer.h"
#include "RecordingNotifier.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "Share.h"
#include "ShownNow.h"
#include "SpaceWeather.h"
#include "StatusIcon.h"
#include "TestSupport.h"
#include "Tray.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs the event loop until `done` holds or a minute is up.
bool waitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

class TrayActions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings::d().useFile(dir.filePath("settings.plist"));
        Cache::setDir(dir.filePath("cache"));
        Cache::seedIfEmpty();
        ASSERT_FALSE(Cache::entries().empty());
    }
    void TearDown() override { Settings::d().useFile(dir.filePath("after.plist")); }

    // Actions whose save panel answers `chosen` and remembers what it proposed.
    FrameActions* actions(const QString& chosen) {
        FrameActions::Environment env;
        env.chooseSaveFile = [this, chosen](const QString& proposed, const QString&) {
            proposals << proposed;
            return chosen;
        };
        env.preparePrinter = [this](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath("day.pdf"));
            return true;
        };
        env.sharer = sharer;
        env.temporaryFolder = dir.path();
        return new FrameActions([] { return shownNow({}); }, env, qApp);
    }

    QTemporaryDir dir;
    QStringList proposals;
    std::shared_ptr<RecordingFileSharer> sharer = std::make_shared<RecordingFileSharer>();
};

TEST_F(TrayActions, SaveWritesACheckedPngAndTheSameRecordBesideIt) {
    const auto shown = shownNow({});
    ASSERT_TRUE(shown);
    const QString stem = shown->provenance.fileStem();
    CapturedLog captured;
    actions(dir.filePath("frame.png"))->saveFrame();
    EXPECT_EQ(captured.finish(), "solvane: saved frame frame.png\n");
    ASSERT_EQ(proposals.size(), 1);
    EXPECT_TRUE(proposals[0].endsWith("/" + stem + ".png")) << proposals[0].toStdString();

    const ProcessResult check = runProgram("pngcheck", {dir.filePath("frame.png")});
    EXPECT_EQ(check.status, 0) << check.out.toStdString();
    const QByteArray png = readFile(dir.filePath("frame.png"));
    const QByteArray sidecar = readFile(dir.filePath(Share::sidecarName("frame")));
    ASSERT_FALSE(sidecar.isEmpty());
    EXPECT_EQ(Share::textChunks(png)[Share::provenanceKeyword], QString::fromUtf8(sidecar));
    EXPECT_EQ(QString::fromUtf8(sidecar), shown->provenance.recordJSON(Share::appVersion()));

    // Cancelling the panel writes nothing and says nothing.
    CapturedLog quiet;
    actions(QString())->saveFrame();
    EXPECT_EQ(quiet.finish(), "");
}

TEST_F(TrayActions, ExportCarriesTheFourMetadataItems) {
    FrameActions* exporter = actions(dir.filePath("clip.mp4"));
    std::optional<bool> finished;
    QObject::connect(exporter, &FrameActions::exportFinished, [&](bool ok) { finished = ok; });
    CapturedLog captured;
    exporter->exportClip();
    ASSERT_TRUE(waitFor([&] { return finished.has_value(); }));
    EXPECT_TRUE(*finished);
    EXPECT_EQ(captured.finish(), "solvane: exported clip clip.mp4\n");
    EXPECT_TRUE(proposals.value(0).endsWith(".mp4"));

    const ProcessResult probe = runProgram("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of",
                                                       "default=nw=1", dir.filePath("clip.mp4")});
    ASSERT_EQ(probe.status, 0);
    const QString tags = QString::fromUtf8(probe.out);
    const auto shown = shownNow({});
    EXPECT_TRUE(tags.contains("TAG:title=" + shown->provenance.fileStem())) << tags.toStdString();
    EXPECT_TRUE(tags.contains(QString("TAG:description=") + Provenance::credit));
    EXPECT_TRUE(tags.contains("TAG:subject=" + shown->provenance.lines().first()));
    EXPECT_TRUE(tags.contains("TAG:software=Solvane"));
}

TEST_F(TrayActions, PrintPutsTheProvenanceLinesUnderTheFrame) {
    CapturedLog captured;
    actions(QString())->printThisDay();
    const auto shown = shownNow({});
    EXPECT_EQ(captured.finish(), "solvane: printed frame " + shown->provenance.fileStem().toUtf8() + "\n");
    const ProcessResult text = runProgram("pdftotext", {dir.filePath("day.pdf"), "-"});
    ASSERT_EQ(text.status, 0);
    const QString printed = QString::fromUtf8(text.out).simplified();
    for (const QString& line : shown->provenance.lines())
        EXPECT_TRUE(printed.contains(line.simplified())) << line.toStdString() << "\n"
                                                         << printed.toStdString();
}

TEST_F(TrayActions, ShareOffersThePngElseCopiesIt) {
    FrameActions* sharing = actions(QString());
    sharing->shareFrame();
    ASSERT_EQ(sharer->offered.size(), 1);
    EXPECT_EQ(runProgram("pngcheck", {sharer->offered[0]}).status, 0);

    sharer->refusal = "no share service";
    CapturedLog captured;
    sharing->shareFrame();
    EXPECT_EQ(captured.finish(),
              "solvane: share: no chooser (no share service), the frame is on the clipboard\n");
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasImage());
    EXPECT_EQ(data->urls().value(0).toLocalFile(), sharer->offered[1]);
}

TEST_F(TrayActions, AnEmptyCacheHasNothingToTake) {
    Cache::setDir(dir.filePath("empty"));
    CapturedLog captured;
    FrameActions* none = actions(dir.filePath("never.png"));
    none->saveFrame();
    none->exportClip();
    none->shareFrame();
    none->printThisDay();
    EXPECT_EQ(captured.finish(),
              "solvane: save frame: nothing to save\nsolvane: export clip: nothing to export\n"
              "solvane: share: nothing to share\nsolvane: print: nothing to print\n");
    EXPECT_TRUE(proposals.isEmpty());
}

TEST_F(TrayActions, LiveIconIsARoundCropOfTheNewestFrame) {
    Settings::setLiveStatusIcon(true);
    FakeController app;
    Tray tray(app);
    bool drawn = false;
    QObject::connect(&tray, &Tray::statusIconDrawn, [&] { drawn = true; });
    tray.build();
    ASSERT_TRUE(waitFor([&] { return drawn; }));
    const QImage icon =
        tray.item()->icon().pixmap(QSize(18, 18)).toImage().convertToFormat(QImage::Format_ARGB32);
    const auto frame = Share::newestFrameImage(Settings::productList(0), 320);
    ASSERT_TRUE(frame);
    // The frame fills the circle 16 pixels across, one pixel in from the edge.
    const QColor expected =
        frame->scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(8, 8);
    const QColor centre = icon.pixelColor(9, 9);
    EXPECT_LE(std::abs(centre.red() - expected.red()) + std::abs(centre.green() - expected.green()) +
                  std::abs(centre.blue() - expected.blue()),
              40)
        << centre.name().toStdString() << " " << expected.name().toStdString();
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0); // outside the circle
    EXPECT_EQ(tray.item()->toolTip(), "Solvane, the Sun");
    // The menu opens with the picture on top.
    tray.menuNeedsUpdate();
    EXPECT_EQ(tray.menu()->actions().value(0)->text(), "The Sun, latest picture");

    // Turned off: the symbol comes back at the next refresh, and the preview row goes.
    Settings::setLiveStatusIcon(false);
    tray.refreshStatusIcon(false);
    tray.menuNeedsUpdate();
    EXPECT_EQ(tray.item()->toolTip(), "Solvane");
    EXPECT_NE(tray.menu()->actions().value(0)->text(), "The Sun, latest picture");
}

TEST_F(TrayActions, SavedNamesGetTheirSuffixTheUsualModeAndSharedFramesStayPrivate) {
    const mode_t before = ::umask(022);
    struct Case {
        QString typed, written;
        bool clip;
    };
    const Case cases[] = {
        {"frame", "frame.png", false}, {"loud.PNG", "loud.PNG", false},  {"day.2026", "day.2026.png", false},
        {"clip", "clip.mp4", true},    {"movie.mp4", "movie.mp4", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        FrameActions* taker = actions(dir.filePath(c.typed));
        if (c.clip) {
            std::optional<bool> finished;
            QObject::connect(taker, &FrameActions::exportFinished, [&](bool ok) { finished = ok; });
            taker->exportClip();
            ASSERT_TRUE(waitFor([&] { return finished.has_value(); }));
        } else {
            taker->saveFrame();
        }
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(c.written)).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u);
    }
    ::umask(before);

    // Shared frames go to a folder only this user can read, and go when the program does.
    FrameActions::Environment env;
    env.sharer = sharer;
    auto* sharing = new FrameActions([] { return shownNow({}); }, env);
    sharing->shareFrame();
    ASSERT_EQ(sharer->offered.size(), 1);
    const QString shared = sharer->offered[0];
    const QString folder = QFileInfo(shared).absolutePath();
    EXPECT_EQ(folder, QDir(QDir::tempPath()).filePath("solvane-" + QString::number(::getuid())));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(QFile::exists(shared));
    delete sharing;
    EXPECT_FALSE(QFile::exists(shared));
}

TEST_F(TrayActions, TheMenuFollowsAKioskSessionNotOnlyTheStoredMode) {
    Settings::setMode(Mode::desktop);
    App app;
    Tray tray(app);
    tray.build();
    EXPECT_EQ(tray.statusLine(), "No mode chosen yet");
    Settings::setConfigured(true);
    EXPECT_EQ(tray.statusLine(), "Desktop: waiting for today's Sun");
    Settings::setConfigured(false);
    const auto visible = [&tray](const QString& title) {
        for (QAction* action : tray.menu()->actions())
            if (action->text() == title) return action->isVisible();
        return false;
    };
    app.takeOver(App::fromHandOver({}, {"--kiosk"})); // a later `solvane --kiosk`
    ASSERT_TRUE(app.showing());
    EXPECT_EQ(tray.statusLine(), "Kiosk: on screen");
    tray.menuNeedsUpdate();
    EXPECT_TRUE(visible("Start Kiosk Now"));
    EXPECT_FALSE(visible("Save This Frame…"));
    app.hide();
    EXPECT_EQ(tray.statusLine(), "Kiosk: ready");
}

// The menu says where the imagery comes from; its frame items need a frame to take; and on a desktop
// without a tray the last window closing is told once in a notification.
TEST_F(TrayActions, TheImageryLineFrameItemsAndTheNoTrayNotice) {
    Settings::setOffline(true);
    FakeController app;
    Tray::Environment env;
    bool trayShown = false;
    env.trayAvailable = [&trayShown] { return trayShown; };
    auto notifier = std::make_shared<RecordingNotifier>();
    env.notifier = notifier;
    Tray tray(app, env);
    tray.build();
    tray.menuNeedsUpdate();
    QStringList texts;
    for (QAction* action : tray.menu()->actions())
        texts << action->text();
    EXPECT_EQ(texts.value(1), "Offline. Showing the built-in clip from 24 Jun 2013.");
    // With the space-weather file, the line ends with the X-ray level, its age told once it is old, and
    // the Kp with the storm level now.
    SpaceWeather::Record weather;
    weather.fetched = QDateTime::currentDateTimeUtc().addSecs(-5 * 3600 - 60);
    weather.latest = SpaceWeather::Sample{weather.fetched, 2.34e-6, 16};
    const QDateTime recent = QDateTime::currentDateTimeUtc().addSecs(-300);
    weather.geomagnetic.kpNow = Geomagnetic::Reading{recent, 4.67};
    weather.geomagnetic.scales = Geomagnetic::Scales{recent, 0, 0, 1};
    ASSERT_TRUE(SpaceWeather::save(weather));
    tray.menuNeedsUpdate();
    EXPECT_EQ(tray.menu()->actions().value(1)->text(),
              "Offline. Showing the built-in clip from 24 Jun 2013. X-ray C2.3 at " +
                  weather.fetched.toString("HH:mm") + " UTC, 5 hours old. Kp 5, G1 storm.");
    for (QAction* action : tray.menu()->actions()) {
        if (action->text() == "Save This Frame…") {
            EXPECT_TRUE(action->isEnabled());
        }
    }

    // A source that could not be reached: one plain sentence with the next try, and Try Again.
    Settings::setOffline(false);
    Cache::LastPass unreached;
    unreached.finished = "2026-12-08T14:00:00Z";
    unreached.host = "sdo.gsfc.nasa.gov (direct)";
    unreached.reached = false;
    unreached.reason = "Failed to connect to 127.0.0.1 port 9 after 0 ms: Couldn't connect to server";
    Cache::recordPass(unreached);
    app.next = QDateTime::currentDateTime().addSecs(1800);
    tray.menuNeedsUpdate();
    EXPECT_TRUE(tray.menu()->actions().value(1)->text().startsWith(
        "Can't reach NASA SDO (no connection). Trying again at " +
        QLocale().toString(app.next->time(), QLocale::ShortFormat) + ". X-ray"))
        << tray.menu()->actions().value(1)->text().toStdString();
    ASSERT_TRUE(tray.tryAgainItem()->isVisible());
    tray.tryAgainItem()->trigger();
    EXPECT_EQ(app.calls["try again"], 1);
    app.isRefreshing = true;
    tray.menuNeedsUpdate();
    EXPECT_FALSE(tray.tryAgainItem()->isVisible());

    // An empty cache: nothing to save, export, share or print.
    QDir(Cache::dir()).removeRecursively();
    tray.menuNeedsUpdate();
    for (QAction* action : tray.menu()->actions()) {
        if (action->text().endsWith("Frame…") || action->text() == "Print This Day" ||
            action->text() == "Export This Clip…") {
            EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        }
    }

    trayShown = true;
    tray.lastWindowClosed();
    EXPECT_TRUE(notifier->titles.isEmpty()) << "the tray shows that Solvane runs";
    trayShown = false;
    CapturedLog captured;
    tray.lastWindowClosed();
    tray.lastWindowClosed();
    EXPECT_EQ(notifier->titles, QStringList{"Solvane keeps running"});
    EXPECT_TRUE(notifier->bodies.value(0).contains("start it from the applications menu"));
    EXPECT_TRUE(
        captured.finish().contains("tray: no tray; a notification says how to reopen or quit Solvane"));
}

} // namespace
