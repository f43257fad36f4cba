// The launch sequence of the running program, in its fixed order, and re-opening.

#include "App.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "CarryOver.h"
#include "FlareAlert.h"
#include "Follower.h"
#include "Log.h"
#include "NetworkCost.h"
#include "Platform.h"
#include "ScreenSizes.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "StormAlert.h"

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
    launched_ = true;
    watchNetwork();
    follower_->start();
    recordScreens();
    if (!Settings::offline())
        followNetwork();
    else
        parts_.applyDesktopPicture();
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
    if (options.autoQuit) quitAfter(*options.autoQuit);
}

void App::quitAfter(double seconds) {
    if (!std::isfinite(seconds)) return;
    const double milliseconds = std::clamp(seconds * 1000.0, 0.0, 2147483647.0);
    QTimer::singleShot(static_cast<int>(milliseconds), qApp, &QCoreApplication::quit);
}

QStringList App::handOverOptions(const Launch& request) {
    QStringList options;
    if (request.forceStart) options << QStringLiteral("--start");
    if (request.kioskSession) options << QStringLiteral("--kiosk");
    if (request.autoQuit)
        options << QStringLiteral("--seconds ") + QString::number(*request.autoQuit, 'g', 17);
    return options;
}

App::Launch App::fromHandOver(const QList<QUrl>& links, const QStringList& options) {
    Launch request;
    request.links = links;
    for (const QString& option : options) {
        if (option == QLatin1String("--start")) {
            request.forceStart = true;
        } else if (option == QLatin1String("--kiosk")) {
            request.kioskSession = true;
        } else if (option.startsWith(QLatin1String("--seconds "))) {
            bool ok = false;
            const double seconds = option.mid(10).toDouble(&ok);
            if (ok && std::isfinite(seconds) && seconds >= 0) request.autoQuit = seconds;
        }
    }
    return request;
}

void App::takeOver(const Launch& request) {
    if (!request.links.isEmpty()) openLinks(request.links);
    if (request.kioskSession && !kioskSession_) {
        // This run becomes the kiosk the later start asked for.
        kioskSession_ = true;
        if (showing_) hide();
    }
    if (request.forceStart || request.kioskSession)
        show(request.forceStart);
    else if (request.links.isEmpty())
        reopen();
    if (request.autoQuit) quitAfter(*request.autoQuit);
}

// The hourly refresh runs exactly while the program is online: going online later (Preferences, a hand
// edit) starts it with a pass at once, going offline stops it.
void App::followNetwork() {
    if (!launched_) return;
    const bool offline = Settings::offline();
    if (offline && hourly_.isActive()) {
        hourly_.stop();
        log("refresh: offline, the hourly refresh stops", LogArea::cache);
    } else if (!offline && !hourly_.isActive()) {
        log("refresh: now and every " + QString::number(refreshEverySeconds) + " s; " +
                Diagnostics::cadence(Settings::refreshMinutes()),
            LogArea::cache);
        startRefresh();
        hourly_.start();
    }
}

// One ordinary refresh on a thread of its own; the desktop picture follows on the GUI thread. A pass
// still running when the hour comes round again is not doubled (the pass itself also refuses); one that
// finds a light pass running waits for its end rather than give up for the hour.
void App::startRefresh() {
    if (follower_->busy()) {
        refreshAfterFollow_ = true;
        return;
    }
    if (refreshing_->exchange(true)) return;
    ScreenSizes::publish();
    stillsAtStart_ = stillsNow();
    firstLight_.start();
    parts_.statusChanged();
    QPointer<App> self(this);
    std::thread([self, flag = refreshing_] {
        Cache::refresh();
        flag->store(false);
        QMetaObject::invokeMethod(
            qApp,
            [self] {
                if (!self) return;
                self->firstLight_.stop();
                self->parts_.applyDesktopPicture();
                self->parts_.statusChanged();
                const FlareAlert::Send send = [notifier = Platform::notifier()](const QString& title,
                                                                                const QString& body) {
                    return notifier->notify(title, body);
                };
                const auto session =
                    self->mode() == Mode::kiosk ? FlareAlert::Session::kiosk : FlareAlert::Session::ordinary;
                FlareAlert::announce(send, session);
                StormAlert::announce(send, session);
                // The pass may have brought new flares and a new X-ray level.
                for (WallView* wall : self->walls_)
                    wall->reloadSpaceWeather();
            },
            Qt::QueuedConnection);
    }).detach();
}

std::optional<QDateTime> App::nextRefresh() const {
    if (!hourly_.isActive()) return std::nullopt;
    return QDateTime::currentDateTime().addMSecs(hourly_.remainingTime());
}

QString App::stillsNow() {
    QString key;
    for (const CacheEntry& entry : Cache::entries())
        if (entry.still)
            key += entry.id + QLatin1Char(' ') + entry.stillUpdated.value_or(entry.updated) + '\n';
    return key;
}

// A pass writes the first stills of a fresh cache long before it ends (first light): the desktop picture
// takes them at once rather than minutes later.
void App::watchFirstLight() {
    if (!refreshing() || !Settings::configured() || !Settings::desktopActive()) return;
    const QString now = stillsNow();
    if (now == stillsAtStart_) return;
    firstLight_.stop();
    log("desktop: new stills arrived during the refresh; setting the picture now", LogArea::desktop);
    parts_.applyDesktopPicture();
    parts_.statusChanged();
}

void App::reopen() {
    if (showing_) return;
    parts_.showPreferences();
}

bool App::meteredHolds() const {
    return env_.network && env_.network->metered() && !Settings::useMeteredNetwork();
}

// Passes on their own threads ask whether to hold back; the answer is kept where they can read it.
void App::watchNetwork() {
    if (!env_.network) return;
    auto apply = [this] {
        const bool metered = env_.network->metered();
        if (metered != CacheSettings::networkMetered())
            log(metered ? "network: metered" : "network: not metered", LogArea::cache);
        CacheSettings::setNetworkMetered(metered);
        parts_.statusChanged();
    };
    connect(env_.network.get(), &NetworkCost::changed, this, apply);
    apply();
}

// After a light pass: the desktop shows the newest stills, the tray and Preferences the newest time,
// and an hourly pass that waited runs now.
void App::followed(bool madeClips) {
    if (madeClips) parts_.followDesktopPicture();
    parts_.statusChanged();
    if (std::exchange(refreshAfterFollow_, false)) startRefresh();
}
