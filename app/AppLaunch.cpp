// The launch sequence of the running program, in its fixed order, and re-opening.

#include "App.h"

#include "Cache.h"
#include "CarryOver.h"
#include "Log.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <cmath>
#include <thread>

namespace {
// The `appearance` setting: "dark" or "light" forces that look on every window; anything else leaves
// the desktop's choice. Qt 6.4 cannot force the desktop's own scheme, so a forced look uses Fusion
// with a palette of that brightness.
void applyAppearance() {
    const QString appearance = Settings::d().string(Settings::Key::appearance).value_or(QString());
    if (appearance != "dark" && appearance != "light") return;
    QStyle* fusion = QStyleFactory::create("Fusion");
    if (!fusion) return;
    QApplication::setStyle(fusion);
    QPalette palette = fusion->standardPalette();
    if (appearance == "dark") {
        const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), accent(42, 130, 218);
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::AlternateBase, window);
        palette.setColor(QPalette::ToolTipBase, base);
        palette.setColor(QPalette::ToolTipText, text);
        palette.setColor(QPalette::Text, text);
        palette.setColor(QPalette::Button, window);
        palette.setColor(QPalette::ButtonText, text);
        palette.setColor(QPalette::Highlight, accent);
        palette.setColor(QPalette::HighlightedText, Qt::white);
        palette.setColor(QPalette::Link, accent.lighter(130));
        palette.setColor(QPalette::Disabled, QPalette::Text, text.darker(170));
        palette.setColor(QPalette::Disabled, QPalette::WindowText, text.darker(170));
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, text.darker(170));
    }
    QApplication::setPalette(palette);
}
} // namespace

void App::launch(const Launch& options) {
    kioskSession_ = options.kioskSession;
    applyAppearance();
    // Carry-over comes before the seed: a seeded cache would hide carried clips for good offline.
    CarryOver::run();
    parts_.refreshInstalledSaver();
    Cache::seedIfEmpty();
    parts_.buildStatusItem();
    // Screen changes and the key and scroll monitors are watched from construction on.
    tick_.start();
    if (!Settings::offline()) {
        log("refresh: now and every " + QString::number(refreshEverySeconds) + " s", LogArea::cache);
        startRefresh();
        hourly_.setInterval(refreshEverySeconds * 1000);
        connect(&hourly_, &QTimer::timeout, this, &App::startRefresh);
        hourly_.start();
    } else {
        parts_.applyDesktopPicture();
    }
    parts_.startUpdater();
    parts_.syncLiveDesktop();

    const Mode mode = kioskSession_ ? Mode::kiosk : Settings::mode();
    const bool configured = Settings::configured();
    if (options.forceStart || kioskSession_ || (configured && (mode == Mode::wall || mode == Mode::kiosk)))
        show(options.forceStart);
    else if (configured && mode == Mode::desktop)
        log("desktop mode: resident, no windows", LogArea::app);
    else if (!configured)
        parts_.showWelcome();
    else
        parts_.showPreferences();

    if (!options.links.isEmpty()) openLinks(options.links);
    if (options.autoQuit && std::isfinite(*options.autoQuit)) {
        const double milliseconds = std::clamp(*options.autoQuit * 1000.0, 0.0, 2147483647.0);
        QTimer::singleShot(static_cast<int>(milliseconds), qApp, &QCoreApplication::quit);
    }
}

// One ordinary refresh on a thread of its own; the desktop picture follows on the GUI thread. A pass
// still running when the hour comes round again is not doubled (the pass itself also refuses).
void App::startRefresh() {
    if (refreshing_->exchange(true)) return;
    QPointer<App> self(this);
    std::thread([self, flag = refreshing_] {
        Cache::refresh();
        flag->store(false);
        QMetaObject::invokeMethod(
            qApp,
            [self] {
                if (self) self->parts_.applyDesktopPicture();
            },
            Qt::QueuedConnection);
    }).detach();
}

void App::reopen() {
    if (showing_) return;
    parts_.showPreferences();
}
