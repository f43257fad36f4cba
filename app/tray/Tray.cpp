#include "Tray.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "Controller.h"
#include "DesktopManager.h"
#include "GeomagneticStatus.h"
#include "Log.h"
#include "PlainCause.h"
#include "Platform.h"
#include "Settings.h"
#include "Share.h"
#include "ShownNow.h"
#include "SourceStatus.h"
#include "StatusIcon.h"
#include "XrayStatus.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QWidgetAction>

namespace {
// How often the menu follows settings changed elsewhere (Preferences, another process, a hand edit).
constexpr int followMilliseconds = 2000;
// The live picture is cut at most this large before it is scaled for the icon and the preview.
constexpr int frameSide = 320;
} // namespace

Tray::Tray(Controller& controller, Environment environment, QObject* parent)
    : QObject(parent), controller_(controller), env_(std::move(environment)) {
    if (!env_.now) env_.now = [] { return QDateTime::currentDateTimeUtc(); };
    if (!env_.trayAvailable) env_.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    if (!env_.notifier) env_.notifier = Platform::notifier();
    connect(qApp, &QGuiApplication::lastWindowClosed, this, &Tray::lastWindowClosed);
    actions_ = new MenuActions(controller, env_.menu, this);
    frames_ = new FrameActions([&controller] { return shownNow(controller.walls()); }, env_.frames, this);
}

Tray::~Tray() {
    // Qt 6.8's D-Bus tray gives each entry a platform item that only removing the entry frees.
    if (menu_) menu_->clear();
    delete menu_;
}

QAction* Tray::addAction(const QString& title, std::function<void()> action) {
    QAction* item = menu_->addAction(title);
    connect(item, &QAction::triggered, this, [action = std::move(action)] { action(); });
    return item;
}

void Tray::build() {
    if (item_) return;
    menu_ = new QMenu;
    menuLine_ = menu_->addAction(QString());
    menuLine_->setEnabled(false);
    imageryLine_ = menu_->addAction(QString());
    imageryLine_->setEnabled(false);
    tryAgainItem_ = addAction(QStringLiteral("Try Again"), [this] {
        controller_.tryAgain();
        menuNeedsUpdate();
    });
    menu_->addSeparator();
    startItem_ = addAction(QStringLiteral("Start Now"), [this] { actions_->startFromMenu(); });
    desktopItem_ =
        addAction(QStringLiteral("Update Desktop Now"), [this] { actions_->updateDesktopFromMenu(); });
    // Hidden with the mode's items, so a menu before a mode is chosen shows no doubled line.
    modeSeparator_ = menu_->addSeparator();
    shareItems_ = {
        addAction(QStringLiteral("Save This Frame…"), [this] { frames_->saveFrame(); }),
        addAction(QStringLiteral("Export This Clip…"), [this] { frames_->exportClip(); }),
        addAction(QStringLiteral("Share This Frame…"), [this] { frames_->shareFrame(); }),
        addAction(QStringLiteral("Print This Day"), [this] { frames_->printThisDay(); }),
    };
    // Hidden with the items it separates, so a kiosk menu shows no doubled line.
    shareSeparator_ = menu_->addSeparator();
    addAction(QStringLiteral("Settings…"), [this] { controller_.showPreferences(); });
    updateItem_ = addAction(QStringLiteral("Check for Updates…"), [this] { controller_.checkForUpdates(); });
    menu_->addSeparator();
    addAction(QStringLiteral("Quit Solvane"), [] { QCoreApplication::quit(); });
    // Opening the menu also applies a live-icon setting changed since the last 300 s tick.
    connect(menu_, &QMenu::aboutToShow, this, [this] {
        refreshStatusIcon(false);
        menuNeedsUpdate();
    });

    if (!QSystemTrayIcon::isSystemTrayAvailable())
        log(QStringLiteral("tray: this desktop shows no tray; launch Solvane again to open its settings"),
            LogArea::app);
    if (QGuiApplication::windowIcon().isNull()) QGuiApplication::setWindowIcon(StatusIcon::sunSymbol());
    item_ = new QSystemTrayIcon(this);
    item_->setContextMenu(menu_);
    // A left click opens the same menu, as people expect of a tray item that has no window of its own.
    connect(item_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !menu_->isVisible()) menu_->popup(QCursor::pos());
    });
    showSymbol();
    menuNeedsUpdate();
    item_->show();

    refreshStatusIcon(true);
    iconTimer_.setInterval(iconTickSeconds * 1000);
    connect(&iconTimer_, &QTimer::timeout, this, [this] { refreshStatusIcon(false); });
    iconTimer_.start();
    follow_.setInterval(followMilliseconds);
    connect(&follow_, &QTimer::timeout, this, &Tray::menuNeedsUpdate);
    follow_.start();
}

bool Tray::modeChosen() const {
    // A --kiosk session is a choice made on the command line.
    return Settings::configured() || controller_.mode() == Mode::kiosk;
}

QString Tray::statusLine() const {
    StatusState state;
    // The controller's mode: a --kiosk session is a kiosk whatever the stored mode says.
    state.mode = controller_.mode();
    state.showing = controller_.showing();
    state.armedWaiting = controller_.armedWaiting();
    state.idleMinutes = Settings::idleMinutes();
    state.offline = Settings::offline();
    state.configured = modeChosen();
    const Desktop::Applied picture = Desktop::lastApplied();
    state.pictureSet = picture.at;
    state.pictureFailure = picture.failure;
    return ::statusLine(state);
}

void Tray::lastWindowClosed() {
    if (noticeGiven_ || env_.trayAvailable()) return;
    noticeGiven_ = true;
    const auto refused = env_.notifier->notify(
        QStringLiteral("Solvane keeps running"),
        QStringLiteral("This desktop shows no tray icon for it. To open Solvane again, start it from the "
                       "applications menu; to stop it, choose Turn Off and Quit in its settings."));
    if (refused)
        log(QStringLiteral("tray: no tray and no notification (") + *refused +
                QStringLiteral("); start Solvane again to open its settings"),
            LogArea::app);
    else
        log(QStringLiteral("tray: no tray; a notification says how to reopen or quit Solvane"), LogArea::app);
}

SourceStatus::State Tray::sourceState() const {
    return SourceStatus::current(controller_.refreshing(), env_.now());
}

QString Tray::imageryLine() const {
    const SourceStatus::State state = sourceState();
    // A source that could not be reached is one plain sentence with the next try; the transfer
    // library's own words stay in the log and the diagnostics report.
    const QString imagery = PlainCause::imageryLine(state, controller_.nextRefresh());
    const auto& weather = spaceWeather_.current();
    QString line = imagery;
    for (const QString& phrase :
         {weather ? XrayStatus::level(*weather, state.now) : QString(),
          weather ? GeomagneticStatus::trayPhrase(weather->geomagnetic, state.now) : QString()})
        if (!phrase.isEmpty())
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + phrase + QLatin1Char('.');
    return line;
}

void Tray::menuNeedsUpdate() {
    if (!menu_) return;
    updatePreview();
    // Setting an unchanged text or visibility is free: Qt only reports real changes to the host.
    menuLine_->setText(statusLine());
    const QString imagery = imageryLine();
    imageryLine_->setText(imagery);
    tryAgainItem_->setVisible(PlainCause::showsUnreachable(sourceState()));
    const MenuLook look = menuLook(controller_.mode(), Settings::desktopActive(), modeChosen());
    updateItem_->setVisible(look.updateVisible);
    if (look.startTitle) startItem_->setText(*look.startTitle);
    startItem_->setVisible(look.startVisible);
    desktopItem_->setVisible(look.desktopVisible);
    modeSeparator_->setVisible(look.startVisible || look.desktopVisible);
    // With nothing cached there is no frame to save, export, share or print.
    const bool haveFrame = !controller_.walls().empty() || Cache::count() > 0;
    for (QAction* item : shareItems_) {
        item->setVisible(look.shareVisible);
        item->setEnabled(haveFrame);
    }
    shareSeparator_->setVisible(look.shareVisible);
}

void Tray::updatePreview() {
    const bool wanted = Settings::liveStatusIcon() && statusThumb_;
    if (!wanted) {
        if (preview_) {
            menu_->removeAction(preview_);
            delete preview_;
            preview_ = nullptr;
        }
        return;
    }
    if (preview_ && preview_->data().value<qint64>() == statusThumbAt_->toMSecsSinceEpoch()) return;
    if (preview_) {
        menu_->removeAction(preview_);
        delete preview_;
    }
    const qreal ratio = qApp->devicePixelRatio();
    const QImage picture = StatusIcon::preview(*statusThumb_, ratio);
    preview_ = new QWidgetAction(menu_);
    // The row is our picture in a local menu; a host that draws the menu itself shows the text and icon.
    auto* label = new QLabel;
    label->setPixmap(QPixmap::fromImage(picture));
    label->setAccessibleName(QStringLiteral("The Sun, latest picture"));
    preview_->setDefaultWidget(label);
    preview_->setText(QStringLiteral("The Sun, latest picture"));
    preview_->setIcon(QIcon(QPixmap::fromImage(picture)));
    preview_->setEnabled(false);
    // Remembers which thumbnail the row shows, so an unchanged one is not rebuilt at every opening.
    preview_->setData(statusThumbAt_->toMSecsSinceEpoch());
    preview_->setProperty("tag", previewTag);
    menu_->insertAction(menu_->actions().value(0), preview_);
}

void Tray::showSymbol() {
    item_->setIcon(StatusIcon::sunSymbol());
    item_->setToolTip(QStringLiteral("Solvane"));
}

void Tray::refreshStatusIcon(bool force) {
    if (!item_) return;
    if (!Settings::liveStatusIcon()) {
        showSymbol();
        return;
    }
    if (!force && !StatusThumb::due(statusThumbAt_, env_.now())) return;
    if (drawing_) return;
    drawing_ = true;
    QPointer<Tray> self(this);
    const QStringList ids = Settings::productList(0);
    QThreadPool::globalInstance()->start([self, ids] {
        std::optional<QImage> frame = Share::newestFrameImage(ids, frameSide);
        QMetaObject::invokeMethod(
            qApp,
            [self, frame = std::move(frame)] {
                if (!self) return;
                self->drawing_ = false;
                // No frame cached yet, or the live icon was turned off meanwhile: the icon stays.
                if (!frame || frame->isNull() || !Settings::liveStatusIcon()) return;
                self->statusThumb_ = StatusIcon::preview(*frame);
                self->statusThumbAt_ = self->env_.now();
                self->item_->setIcon(StatusIcon::liveIcon(*frame));
                self->item_->setToolTip(QStringLiteral("Solvane, the Sun"));
                emit self->statusIconDrawn();
            },
            Qt::QueuedConnection);
    });
}
