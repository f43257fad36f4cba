#include "WallFixture.h"

#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <chrono>

void HeldPlayerClock::waitUntil(double deadline, std::condition_variable& wake,
                                std::unique_lock<std::mutex>& lock) {
    if (now() >= deadline) return;
    // On the system clock: ThreadSanitizer sees pthread_cond_timedwait but not the steady clock's wait.
    wake.wait_until(lock, std::chrono::system_clock::now() + std::chrono::milliseconds(5));
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
    const ProcessResult ffmpeg =
        runProgram("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x64:r=18:d=8",
                              "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "18", path});
    EXPECT_EQ(ffmpeg.status, 0) << ffmpeg.err.toStdString();
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
                                                bool reduceMotion, ViewKind kind) {
    WallView::Environment environment;
    environment.clock = clock;
    environment.playerClock = playerClock;
    environment.reduceMotion = [reduceMotion] { return reduceMotion; };
    environment.entries = [cached] { return cached; };
    const QString path = clip();
    environment.clipPath = [path](const CacheEntry&) { return path; };
    environment.spaceWeather = [this] { return weather; };
    environment.lastPass = [this] { return lastPass; };
    WallView::Options options;
    options.products = products;
    options.attribution = QString("solvane.example");
    options.kind = kind;
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
