#include "WallFixture.h"

#include "Settings.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <chrono>

void HeldPlayerClock::waitUntil(double deadline, std::condition_variable& wake,
                                std::unique_lock<std::mutex>& lock) {
    if (now() >= deadline) return;
    wake.wait_for(lock, std::chrono::milliseconds(5));
}

void WallFixture::SetUp() {
    ASSERT_TRUE(dir.isValid());
    Settings::d().useFile(dir.filePath("settings.plist"));
    Settings::setMode(Mode::wall);
    Settings::setTransition(Transition::black);
    Settings::setLoops(1);
    Settings::setShuffle(false);
    Settings::setInfoEvery(0);
}

void WallFixture::TearDown() {
    Settings::d().useFile(dir.filePath("after.plist"));
}

QString WallFixture::clip() {
    static QTemporaryDir clips;
    const QString path = clips.filePath("slots.mp4");
    if (QFile::exists(path)) return path;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x64:r=18:d=8", "-pix_fmt",
                            "yuv420p", "-c:v", "libx264", "-g", "18", path});
    ffmpeg.waitForFinished(60000);
    EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    return path;
}

std::vector<CacheEntry> WallFixture::entries(const QStringList& ids, std::optional<int> frameCount) const {
    std::vector<CacheEntry> list;
    for (const QString& id : ids) {
        CacheEntry entry;
        entry.id = id;
        entry.label = "AIA " + id + " Å";
        entry.video = id + ".mp4";
        entry.updated = updated;
        entry.frameCount = frameCount;
        list.push_back(entry);
    }
    return list;
}

std::unique_ptr<WallView> WallFixture::makeView(std::vector<CacheEntry> cached, QStringList products,
                                                bool reduceMotion) {
    WallView::Environment environment;
    environment.clock = clock;
    environment.playerClock = playerClock;
    environment.reduceMotion = [reduceMotion] { return reduceMotion; };
    environment.entries = [cached] { return cached; };
    const QString path = clip();
    environment.clipPath = [path](const CacheEntry&) { return path; };
    WallView::Options options;
    options.products = products;
    options.attribution = QString("solvane.example");
    return std::make_unique<WallView>(QSize(640, 360), options, environment);
}

bool WallFixture::waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 15000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
