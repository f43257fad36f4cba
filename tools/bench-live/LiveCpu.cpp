// The CPU a paused live desktop costs, against the same live desktop playing, in one run: a private
// Xvfb, the bundled seed clip on every screen, the pause brought by the power saver profile. Prints the
// share of one core each used and their ratio; the goal is under 1 % of a core while paused.
#include "DesktopSession.h"
#include "LiveDesktop.h"
#include "LivePower.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `seconds` and gives the share of one core the process used meanwhile.
double coreShare(double seconds) {
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return clock.elapsed() >= qint64(seconds * 1000); }, int(seconds * 1000) + 1000);
    return (cpuSeconds() - before) / (double(clock.elapsed()) / 1000.0);
}

double argument(const QStringList& arguments, const QString& name, double fallback) {
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toDouble() : fallback;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const double pausedSeconds = argument(arguments, "--seconds", 30);
    const double referenceSeconds = argument(arguments, "--reference", 10);

    PrivateDisplay display("1920x1080x24");
    if (display.display().isEmpty()) {
        std::fprintf(stderr, "bench-live: could not start Xvfb\n");
        return 1;
    }
    qputenv("DISPLAY", display.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QTemporaryDir home;
    QApplication application(argc, argv);
    Settings::d().useFile(home.filePath("settings.plist"));
    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    Settings::setProducts({""});

    auto power = std::make_shared<FixedPowerSource>();
    LivePower::useSource(power);
    CacheEntry seed;
    seed.id = "171";
    seed.label = "AIA 171";
    seed.video = "seed.mp4";
    seed.updated = "2013-06-24T17:31:30Z";
    const QString clip = QStringLiteral(SOLVANE_SOURCE_DIR) + "/resources/seed.mp4";
    LiveDesktop& live = LiveDesktop::shared();
    live.setWallEnvironment([seed, clip] {
        WallView::Environment environment;
        environment.entries = [seed] { return std::vector<CacheEntry>{seed}; };
        environment.clipPath = [clip](const CacheEntry&) { return clip; };
        return environment;
    });
    live.sync();
    if (live.pairs().empty()) return 1;
    WallView& wall = *live.pairs().front().wall;
    waitUntil([&] { return wall.state().playing; }, 30000);
    coreShare(2); // past the first frames
    const double playing = coreShare(referenceSeconds);

    power->set(false, true); // the power saver profile: the wall pauses
    waitUntil([&] { return wall.state().policyPaused; }, 5000);
    coreShare(2);
    const double paused = coreShare(pausedSeconds);
    live.stop();

    std::printf("bench-live: playing  %6.2f %% of a core over %.0f s (reference)\n", playing * 100,
                referenceSeconds);
    std::printf("bench-live: paused   %6.2f %% of a core over %.0f s (goal: under 1 %%)\n", paused * 100,
                pausedSeconds);
    std::printf("bench-live: paused / playing = %.4f\n", playing > 0 ? paused / playing : 0.0);
    return paused < 0.01 ? 0 : 2;
}
