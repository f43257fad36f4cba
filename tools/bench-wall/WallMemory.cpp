// Resident size of a full-screen wall across forced clip changes: the wall plays the cached clips (the
// cache and settings folders come from the XDG variables, as for the app), steps to the next clip every
// 0.3 s and prints the resident size after a warm-up and after the changes. Run by bench-wall.sh under
// Xvfb; usage: bench-wall-memory [changes] (default 100).

#include "ResidentSize.h"
#include "WallView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <cstdio>

namespace {

void runEvents(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Steps to the next clip `count` times, leaving each long enough to decode and show frames.
// Gives the number of changes that reached the screen (a new clip and at least one redraw).
int changeClips(WallView& wall, int count) {
    int shown = 0;
    for (int i = 0; i < count; ++i) {
        const int clipsBefore = wall.state().clipsShown;
        const int redrawsBefore = wall.redraws();
        wall.step(1);
        runEvents(300);
        if (wall.state().clipsShown > clipsBefore && wall.redraws() > redrawsBefore) ++shown;
    }
    return shown;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "bench-wall-memory: no screen\n");
        return 1;
    }
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(screen->geometry());
    WallView::Options options;
    options.scale = screen->devicePixelRatio();
    auto* wall = new WallView(screen->geometry().size(), options, {}, &window);
    window.show();

    // Warm-up: fonts, the scaler, both slots and the allocator's arenas reach their working size.
    runEvents(1000);
    changeClips(*wall, 10);
    // The resident size after every quarter of the changes: flat means no trend, not just equal ends.
    const long before = residentKilobytes();
    QStringList steps{QString::number(before / 1024.0, 'f', 1)};
    int shown = 0;
    for (int done = 0; done < changes;) {
        const int batch = std::min(std::max(1, changes / 4), changes - done);
        shown += changeClips(*wall, batch);
        done += batch;
        steps << QString::number(residentKilobytes() / 1024.0, 'f', 1);
    }
    const long after = residentKilobytes();
    wall->stop();
    if (shown < changes) {
        std::fprintf(stderr, "bench-wall-memory: only %d of %d clip changes reached the screen\n", shown,
                     changes);
        return 1;
    }
    std::printf("memory over %d clip changes at %dx%d: resident %.1f MB before, %.1f MB after (%+.1f MB); "
                "every %d changes: %s MB\n",
                changes, screen->geometry().width(), screen->geometry().height(), before / 1024.0,
                after / 1024.0, (after - before) / 1024.0, std::max(1, changes / 4),
                qPrintable(steps.join(", ")));
    return 0;
}
