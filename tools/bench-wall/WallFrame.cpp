// One still picture of a wall, for comparing how builds draw it: a WallView at the given size over the
// cached clips (the XDG variables name the cache and settings folders, as for the app), its players held
// on their first frame and its animations moved on by hand, grabbed to a PNG. Given a reference picture
// it also writes their difference (each channel's absolute difference, times 16 so small ones show) and
// prints how many pixels differ and by how much.
//
// usage: wall-frame <width>x<height> <out.png> [<reference.png> <difference.png>]

#include "PlayerClock.h"
#include "ViewClock.h"
#include "WallView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Never moves: every player stays on the first frame it shows when it opens.
class FrozenClock final : public PlayerClock {
public:
    double now() const override { return 0; }
    void waitUntil(double, std::condition_variable& wake, std::unique_lock<std::mutex>& lock) override {
        wake.wait_for(lock, std::chrono::milliseconds(20));
    }
};

bool runUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Prints the count of differing pixels, the largest and the mean channel difference, and writes the
// amplified difference picture. Gives false when the pictures cannot be compared.
bool compare(const QImage& shot, const QString& referencePath, const QString& differencePath) {
    const QImage reference = QImage(referencePath).convertToFormat(QImage::Format_RGB32);
    if (reference.size() != shot.size()) {
        std::fprintf(stderr, "wall-frame: %s is not %dx%d\n", qPrintable(referencePath), shot.width(),
                     shot.height());
        return false;
    }
    QImage difference(shot.size(), QImage::Format_RGB32);
    long differing = 0;
    int largest = 0;
    double total = 0;
    for (int y = 0; y < shot.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(difference.scanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            const int dr = std::abs(qRed(a[x]) - qRed(b[x]));
            const int dg = std::abs(qGreen(a[x]) - qGreen(b[x]));
            const int db = std::abs(qBlue(a[x]) - qBlue(b[x]));
            differing += (dr | dg | db) != 0;
            largest = std::max({largest, dr, dg, db});
            total += dr + dg + db;
            out[x] = qRgb(std::min(255, dr * 16), std::min(255, dg * 16), std::min(255, db * 16));
        }
    }
    const double pixels = double(shot.width()) * shot.height();
    std::printf("difference: %ld of %.0f pixels differ (%.2f %%), largest %d levels, mean %.4f levels a "
                "channel\n",
                differing, pixels, 100.0 * differing / pixels, largest, total / (3 * pixels));
    return difference.save(differencePath);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList size = argc > 2 ? QString(argv[1]).split('x') : QStringList();
    if (size.size() != 2 || (argc != 3 && argc != 5)) {
        std::fprintf(stderr,
                     "usage: wall-frame <width>x<height> <out.png> [<reference.png> <difference.png>]\n");
        return 2;
    }
    const QSize extent(size[0].toInt(), size[1].toInt());
    auto clock = std::make_shared<ManualClock>();
    WallView::Environment environment;
    environment.clock = clock;
    environment.playerClock = std::make_shared<FrozenClock>();
    WallView view(extent, WallView::Options{}, environment);
    view.show();
    // The first frame in, then the transition and the caption's fade run to the same point every time.
    if (!runUntil([&] { return view.redraws() > 0 && view.state().hasPlayer[size_t(view.state().active)]; },
                  10000) ||
        !runUntil([&] { return !view.grab().toImage().isNull(); }, 1000)) {
        std::fprintf(stderr, "wall-frame: no clip played\n");
        return 1;
    }
    runUntil([] { return false; }, 1500); // the decode thread hands over its first frame
    // The first frame can be decoded before the view has told the player its size; held on the same
    // frame again, it is made the way every later frame is.
    view.stepFrame(0);
    runUntil([] { return false; }, 1500);
    clock->advance(3.0);
    runUntil([] { return false; }, 200);
    const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    view.stop();
    if (!shot.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "wall-frame: cannot save %s\n", argv[2]);
        return 1;
    }
    if (argc == 5 && !compare(shot, QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4])))
        return 1;
    return 0;
}
