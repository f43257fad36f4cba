// How long the Preferences and welcome windows take from the call that opens them to their first paint,
// against the floor of any window here: a plain window with a label and a button, measured the same way
// in the same run. Cold opens build the window (a new Preferences, the welcome window's first show with
// its preview); warm opens show a window that was built before. Medians of `runs` opens.
//
// Usage: bench-windows [runs] [--shots <folder>]
// Run it on a real X server (bench-windows.sh starts Xvfb at 1920 x 1080). With --shots it also saves a
// screenshot of the Preferences window in each mode and of the welcome window.

#include "App.h"
#include "Cache.h"
#include "Mode.h"
#include "Preferences.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "Welcome.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Notes the first paint event of one window.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Milliseconds from calling `open` until `window()` is painted for the first time.
double openToPaint(const std::function<void()>& open, const std::function<QWidget*()>& window) {
    FirstPaint watch;
    QElapsedTimer timer;
    timer.start();
    open();
    QWidget* shown = window();
    shown->installEventFilter(&watch);
    const QDeadlineTimer deadline(10000);
    while (!watch.painted && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    shown->removeEventFilter(&watch);
    return watch.painted ? ms : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void settle(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void shoot(const QString& path) {
    settle(600);
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("screenshot %s\n", qPrintable(path));
}

void report(const char* what, double ms, double reference) {
    std::printf("%-34s %8.1f ms   %5.2f x the plain window\n", what, ms, reference > 0 ? ms / reference : 0);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int runs = 15;
    QString shots;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == "--shots" && i + 1 < argc)
            shots = QString::fromLocal8Bit(argv[++i]);
        else if (argument.toInt() > 0)
            runs = argument.toInt();
    }

    QTemporaryDir folder;
    Settings::d().useFile(folder.filePath("settings.plist"));
    Cache::setDir(folder.filePath("cache"));
    Cache::seedIfEmpty();
    Settings::setMode(Mode::wall);

    App app;
    Preferences::Environment quiet;
    quiet.refreshNow = [](bool, const Cache::Progress&) { return std::optional<QDateTime>(); };
    quiet.refresh = [] {};
    quiet.carriesSaver = [] { return true; };

    std::vector<double> plain, coldPreferences, warmPreferences, coldWelcome, warmWelcome;
    for (int run = 0; run < runs; ++run) {
        std::unique_ptr<QWidget> window;
        plain.push_back(openToPaint(
            [&] {
                window = std::make_unique<QWidget>();
                auto* layout = new QVBoxLayout(window.get());
                layout->addWidget(new QLabel(QStringLiteral("The Sun, the last 48 hours")));
                layout->addWidget(new QPushButton(QStringLiteral("Start")));
                window->show();
            },
            [&] { return window.get(); }));
        window.reset();

        std::unique_ptr<Preferences> preferences;
        coldPreferences.push_back(openToPaint(
            [&] {
                preferences = std::make_unique<Preferences>(app, quiet);
                preferences->open();
            },
            [&] { return preferences->window(); }));
        preferences->hide();
        settle(50);
        warmPreferences.push_back(openToPaint([&] { preferences->open(); }, [&] { return preferences->window(); }));
        preferences->hide();

        std::unique_ptr<Welcome> welcome;
        coldWelcome.push_back(openToPaint(
            [&] {
                welcome = std::make_unique<Welcome>(*preferences, app);
                welcome->show();
            },
            [&] { return welcome->window(); }));
        welcome->close();
        settle(50);
        warmWelcome.push_back(openToPaint([&] { welcome->show(); }, [&] { return welcome->window(); }));
        welcome->close();
        welcome.reset();
        preferences.reset();
        settle(50);
    }

    const double reference = median(plain);
    std::printf("open to first paint, median of %d\n", runs);
    report("plain window (reference)", reference, reference);
    report("Preferences, first open", median(coldPreferences), reference);
    report("Preferences, open again", median(warmPreferences), reference);
    report("welcome, first show", median(coldWelcome), reference);
    report("welcome, shown again", median(warmWelcome), reference);

    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        Preferences preferences(app, quiet);
        for (Mode mode : Modes::allCases) {
            Settings::setMode(mode);
            preferences.open();
            preferences.window()->move(0, 0);
            shoot(QDir(shots).filePath("preferences-" + Modes::rawValue(mode) + ".png"));
        }
        preferences.hide();
        Welcome welcome(preferences, app);
        welcome.show();
        settle(1500);
        shoot(QDir(shots).filePath("welcome.png"));
        welcome.close();
    }
    return 0;
}
