#include "Preferences.h"
#include "ScreenSizes.h"

#include "Catalog.h"
#include "Controller.h"
#include "DesktopManager.h"
#include "Diagnostics.h"
#include "Log.h"
#include "Platform.h"
#include "PreferencesRules.h"
#include "SaverInstaller.h"
#include "ScreenGrid.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SpaceWeatherCard.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QThread>
#include <cmath>

namespace {
// A save asks for a scheduled refresh this long after the last change, so a burst of clicks runs one.
constexpr int refreshDelayMs = 2000;
constexpr int statusFollowMs = 5000;
// Wide enough that every note in a column wraps to two or three lines.
constexpr int comfortableWidth = 860;
// The smallest the window may be made by hand; the page scrolls below it.
constexpr int minimumWidth = 640;
constexpr int minimumHeight = 420;
// No taller than this, whatever the screen: the page scrolls rather than the window reaching down.
constexpr int tallest = 620;
// Room left for the window manager's title bar and frame when the window is as tall as the screen.
constexpr int titleBarAllowance = 40;

int wholeMinutes(double minutes) {
    return static_cast<int>(std::clamp(std::lround(minutes), 1L, 120L));
}

void selectData(QComboBox* popup, const QVariant& data) {
    const int index = popup->findData(data);
    popup->setCurrentIndex(index < 0 ? 0 : index);
}
} // namespace

Preferences::Preferences(Controller& controller, Environment environment)
    : controller_(controller), env_(std::move(environment)) {
    if (!env_.refreshNow)
        env_.refreshNow = [](bool everything, const Cache::Progress& progress) {
            return Cache::refreshNow(everything, progress);
        };
    if (!env_.refresh) env_.refresh = [] { Cache::refresh(); };
    if (!env_.checkMirror) env_.checkMirror = [](const QString& typed) { return MirrorCheck::check(typed); };
    if (!env_.downloading) env_.downloading = [&controller] { return controller.refreshing(); };
    if (!env_.quit) env_.quit = [] { QCoreApplication::quit(); };
    if (!env_.stop) env_.stop = [] { Cache::requestStop(); };
    if (!env_.lockScreenChanged) env_.lockScreenChanged = [] { Desktop::syncLockScreen(); };
    if (!env_.confirm)
        env_.confirm = [this](const QString& title, const QString& text) {
            // The question is the alert's text; a title bar would cut it short.
            QMessageBox alert(QMessageBox::Warning, QStringLiteral("Solvane"), title, QMessageBox::NoButton,
                              window_.get());
            alert.setInformativeText(text);
            QPushButton* go = alert.addButton(QStringLiteral("Turn Off and Quit"), QMessageBox::AcceptRole);
            alert.setDefaultButton(alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
            alert.exec();
            return alert.clickedButton() == go;
        };
    refreshLater_.setSingleShot(true);
    refreshLater_.setInterval(refreshDelayMs);
    connect(&refreshLater_, &QTimer::timeout, this, [this] {
        if (!Settings::offline()) background(env_.refresh);
    });
    // A pass running in the background changes what the cache line says (downloading, then its outcome).
    statusFollow_.setInterval(statusFollowMs);
    connect(&statusFollow_, &QTimer::timeout, this, [this] {
        if (!window_->isVisible()) return;
        if (refused_ && *refused_ <= QDateTime::currentDateTime()) refused_.reset();
        refreshCacheStatus(refused_);
    });
    statusFollow_.start();
    primeFollow_.setInterval(1000);
    connect(&primeFollow_, &QTimer::timeout, this, &Preferences::showPrimeProgress);
    build();
    wire();
    for (QScreen* screen : QGuiApplication::screens())
        connect(screen, &QScreen::geometryChanged, this, &Preferences::rebuildScreens);
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &Preferences::rebuildScreens);
        rebuildScreens();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this,
            [this] { QTimer::singleShot(0, this, &Preferences::rebuildScreens); });
}

Preferences::~Preferences() {
    // This goes with the program: a download still running stops at its next safe point (files in
    // place stay), and reports to this object, so wait for that.
    const bool running = std::any_of(workers_.begin(), workers_.end(), [](const QPointer<QThread>& worker) {
        return worker && worker->isRunning();
    });
    if (running) env_.stop();
    for (const QPointer<QThread>& worker : workers_)
        if (worker) worker->wait();
}

void Preferences::background(std::function<void()> work) {
    // A pass started from here makes what the screens need as they are now.
    ScreenSizes::publish();
    QThread* thread = QThread::create(std::move(work));
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    std::erase_if(workers_, [](const QPointer<QThread>& worker) { return worker.isNull(); });
    workers_.emplace_back(thread);
    thread->start();
}

bool Preferences::carriesSaver() const {
    if (env_.carriesSaver) return env_.carriesSaver();
    return SaverInstaller::bundledSaver().has_value();
}

void Preferences::open() {
    controller_.disarm();
    load();
    applyAppearance();
    fitWindow();
    window_->show();
    // Only a shown window has settled geometry for its nested layouts (the per-screen rows).
    window_->layout()->activate();
    orderTabs();
    window_->raise();
    window_->activateWindow();
}

void Preferences::fitWindow() {
    // Wrapped notes ask for height by width, which a top-level window does not do on its own: give it
    // a comfortable width and the height its page needs there, but no taller than tallest nor than the
    // screen offers; the page scrolls inside what is left.
    auto* scroll = window_->findChild<QScrollArea*>(QStringLiteral("cards"));
    QWidget* page = scroll->widget();
    QLayout* layout = window_->layout();
    const QRect screen = window_->screen() ? window_->screen()->availableGeometry() : QRect(0, 0, 1280, 720);
    const int bar = scroll->verticalScrollBar()->sizeHint().width();
    const int width =
        std::min(std::max(comfortableWidth, page->minimumSizeHint().width() + bar), screen.width());
    const int pageHeight =
        page->hasHeightForWidth() ? page->heightForWidth(width - bar) : page->sizeHint().height();
    const int chrome = layout->sizeHint().height() - scroll->sizeHint().height();
    // A window manager's title bar takes some of the available height too.
    const int height = std::min({chrome + pageHeight, tallest, screen.height() - titleBarAllowance});
    window_->setMinimumSize(std::min(width, minimumWidth), std::min(height, minimumHeight));
    window_->resize(width, height);
}

void Preferences::orderTabs() {
    // Reading order: the mode on top, then the left column and the right column each top to bottom,
    // then the bottom row; the per-screen rows are made after the rest and would otherwise come last.
    // Positions are read below: let every pending layout (the rebuilt per-screen rows) settle first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    auto* scroll = window_->findChild<QScrollArea*>(QStringLiteral("cards"));
    QWidget* page = scroll->widget();
    const int middle = page->width() / 2;
    // The columns begin under the mode card.
    const QWidget* modeCard = c_.modeHelp->parentWidget();
    const int columnsTop = modeCard->mapTo(page, QPoint(0, modeCard->height())).y();
    struct Stop {
        int section, y, x;
        QWidget* widget;
    };
    std::vector<Stop> stops;
    for (QWidget* widget : window_->findChildren<QWidget*>()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || widget->focusProxy()) continue;
        if (qobject_cast<QScrollBar*>(widget) || widget == scroll) continue;
        int section = 3;
        QPoint at;
        if (page->isAncestorOf(widget)) {
            at = widget->mapTo(page, QPoint(0, widget->height() / 2));
            section = at.y() < columnsTop ? 0 : at.x() < middle ? 1 : 2;
        } else {
            at = widget->mapTo(window_.get(), QPoint(0, widget->height() / 2));
        }
        stops.push_back({section, at.y(), at.x(), widget});
    }
    // Rows a few pixels apart are one row (a label's centre sits lower than a button's).
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
        if (a.section != b.section) return a.section < b.section;
        if (std::abs(a.y - b.y) > 8) return a.y < b.y;
        return a.x < b.x;
    });
    for (size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1].widget, stops[i].widget);
}

void Preferences::hide() {
    window_->hide();
}

void Preferences::chooseMode(Mode mode) {
    c_.mode->button(Modes::segment(mode))->setChecked(true);
    modeChanged();
}

void Preferences::applyAppearance() {
    const QString appearance = Settings::d().string(Settings::Key::appearance).value_or(QString());
    QPalette palette = QApplication::palette();
    if (appearance == "dark") {
        palette = QPalette(QColor(53, 53, 53), QColor(42, 42, 42));
        palette.setColor(QPalette::Text, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::ButtonText, Qt::white);
        palette.setColor(QPalette::Button, QColor(60, 60, 60));
        palette.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
        palette.setColor(QPalette::ToolTipText, Qt::white);
        palette.setColor(QPalette::ToolTipBase, QColor(42, 42, 42));
    } else if (appearance == "light") {
        palette = QPalette(QColor(239, 239, 239), QColor(255, 255, 255));
        palette.setColor(QPalette::Text, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::black);
        palette.setColor(QPalette::ButtonText, Qt::black);
    }
    window_->setPalette(palette);
}

void Preferences::load() {
    loading_ = true;
    // Before a mode is chosen none shows as chosen: the default is no choice of the user's.
    c_.mode->setExclusive(false);
    for (QAbstractButton* segment : c_.mode->buttons())
        segment->setChecked(Settings::configured() &&
                            c_.mode->id(segment) == Modes::segment(Settings::mode()));
    c_.mode->setExclusive(true);
    c_.idle->setValue(wholeMinutes(Settings::idleMinutes()));
    c_.lockBox->setChecked(Settings::lockOnDismiss());
    c_.loginBox->setChecked(Settings::openAtLogin());
    c_.attributionBox->setChecked(Settings::attribution());
    c_.captionUTCBox->setChecked(Settings::captionUTC());
    c_.frameClockBox->setChecked(Settings::frameClock());
    (Settings::offline() ? c_.offlineRadio : c_.onlineRadio)->setChecked(true);
    selectData(c_.refreshPopup, int(Settings::refreshMinutes()));
    c_.shuffleBox->setChecked(Settings::shuffle());
    c_.loops->setValue(int(std::clamp<qint64>(Settings::loops(), 1, 20)));
    selectData(c_.transitionPopup, Transitions::rawValue(Settings::transition()));
    selectData(c_.lookPopup, Looks::rawValue(Settings::look()));
    selectData(c_.lagPopup, int(Settings::runningLagSlots()));
    c_.statusIconBox->setChecked(Settings::liveStatusIcon());
    c_.spaceWeather->load();
    // Desktop mode keeps the picture current whatever the setting says; the box shows that.
    c_.desktopBox->setChecked(Settings::desktop() || desktopMode());
    c_.liveBox->setChecked(Settings::liveDesktop());
    c_.batteryBox->setChecked(Settings::pauseOnBattery());
    c_.lockScreenBox->setChecked(Settings::sunOnLockScreen());
    rebuildScreens();
    loadSource();
    loadFollowing();
    applyMode();
    refreshCacheStatus();
    loading_ = false;
}

void Preferences::save() {
    if (loading_) return;
    SettingsStore::Batch batch(Settings::d());
    // Only what differs is written, so keys whose default follows the mode (attribution) stay absent
    // until the user sets them, and a hand-set fraction of a minute survives an unrelated click.
    auto put = [](bool shown, bool held, void (*set)(bool)) {
        if (shown != held) set(shown);
    };
    if (c_.idle->value() != wholeMinutes(Settings::idleMinutes())) Settings::setIdleMinutes(c_.idle->value());
    put(c_.lockBox->isChecked(), Settings::lockOnDismiss(), Settings::setLockOnDismiss);
    put(c_.attributionBox->isChecked(), Settings::attribution(), Settings::setAttribution);
    put(c_.captionUTCBox->isChecked(), Settings::captionUTC(), Settings::setCaptionUTC);
    put(c_.frameClockBox->isChecked(), Settings::frameClock(), Settings::setFrameClock);
    put(c_.offlineRadio->isChecked(), Settings::offline(), Settings::setOffline);
    if (c_.refreshPopup->currentData().toInt() != int(Settings::refreshMinutes()))
        Settings::setRefreshMinutes(c_.refreshPopup->currentData().toInt());
    put(c_.shuffleBox->isChecked(), Settings::shuffle(), Settings::setShuffle);
    if (c_.loops->value() != Settings::loops()) Settings::setLoops(c_.loops->value());
    if (auto transition = Transitions::fromRawValue(c_.transitionPopup->currentData().toString()))
        if (*transition != Settings::transition()) Settings::setTransition(*transition);
    if (auto look = Looks::fromRawValue(c_.lookPopup->currentData().toString()))
        if (*look != Settings::look()) Settings::setLook(*look);
    if (c_.lagPopup->currentData().toInt() != Settings::runningLagSlots())
        Settings::setRunningLagSlots(c_.lagPopup->currentData().toInt());
    put(c_.statusIconBox->isChecked(), Settings::liveStatusIcon(), Settings::setLiveStatusIcon);
    if (!desktopMode()) put(c_.desktopBox->isChecked(), Settings::desktop(), Settings::setDesktop);
    put(c_.liveBox->isChecked(), Settings::liveDesktop(), Settings::setLiveDesktop);
    put(c_.batteryBox->isChecked(), Settings::pauseOnBattery(), Settings::setPauseOnBattery);
    put(c_.lockScreenBox->isChecked(), Settings::sunOnLockScreen(), Settings::setSunOnLockScreen);
    const QStringList products =
        PreferencesRules::savedProducts(Settings::products(), c_.screensGrid->lists());
    if (products != Settings::products()) Settings::setProducts(products);
    // Only choosing a mode is the consent to change the desktop (modeChanged); a setting changed before
    // that is kept, nothing more.
    refreshCost();
    // A screen turned Off or given other products changes behind the windows at once.
    controller_.syncLiveDesktop();
    scheduleRefresh();
}

void Preferences::scheduleRefresh() {
    refreshLater_.start();
}

bool Preferences::desktopMode() {
    // The stored default is no one's choice until a mode is chosen.
    return Settings::configured() && Settings::mode() == Mode::desktop;
}

void Preferences::applyMode() {
    const Mode mode = Settings::mode();
    const bool chosen = Settings::configured();
    c_.modeHelp->setText(chosen
                             ? Modes::helpLine(mode)
                             : QStringLiteral("No mode chosen yet. Choose one above: nothing on your desktop "
                                              "changes until you do."));
    c_.startButton->setEnabled(chosen);
    c_.armButton->setEnabled(chosen);
    c_.startButton->setText(Modes::startTitle(mode));
    // What a screen reader says is what the button shows.
    c_.startButton->setAccessibleName(Modes::startTitle(mode));
    c_.armButton->setToolTip(Modes::armToolTip(mode));
    c_.armNote->setText(PreferencesRules::armNote(mode, Settings::idleMinutes()));
    c_.presetNote->setText(mode == Mode::kiosk && !Platform::keyboardHold()->possible()
                               ? Modes::presetNote(mode) + QLatin1Char(' ') + Platform::keyboardHoldNote()
                               : Modes::presetNote(mode));
    c_.presetNote->setVisible(mode == Mode::kiosk);
    c_.idleNote->setVisible(!controller_.hasIdleSource());

    const bool waits = mode != Mode::desktop;
    c_.idleRow->setEnabled(waits);
    c_.lockBox->setEnabled(mode == Mode::saver);
    c_.lockNote->setVisible(mode != Mode::saver);
    // In Desktop mode the picture is kept current whatever the box says.
    c_.desktopBox->setEnabled(!desktopMode());
    const bool live = Platform::liveDesktopUnavailable().isEmpty();
    c_.liveBox->setEnabled(desktopMode() && live);
    c_.liveNote->setVisible(!live);
    c_.batteryBox->setEnabled(desktopMode() && live && Settings::liveDesktop());
    const bool lockable = c_.lockScreenNote->text().isEmpty();
    c_.lockScreenBox->setEnabled(lockable);
    c_.lockScreenNote->setVisible(!lockable);
    // Nothing changes the desktop before a mode is chosen.
    c_.desktopNow->setEnabled(chosen && Settings::desktopActive());
    c_.refreshPopup->setEnabled(!Settings::offline());
    c_.cadenceNote->setText(QStringLiteral("Solvane ") + Diagnostics::cadence(Settings::refreshMinutes()) +
                            QLatin1Char('.'));
    // Offline, a download would break the promise of the radio button; a kiosk's own download (its preset
    // is offline) stays available.
    const bool mayDownload = !Settings::offline() || mode == Mode::kiosk;
    c_.primeButton->setEnabled(mayDownload && !priming_);
    c_.primeButton->setToolTip(mayDownload ? QString()
                                           : QStringLiteral("Offline is on: choose Keep imagery updated to "
                                                            "download."));
    if (!priming_)
        c_.primeNote->setText(mayDownload ? QString()
                                          : QStringLiteral("Offline is on: choose Keep imagery updated to "
                                                           "download."));
    c_.primeNote->setVisible(!c_.primeNote->text().isEmpty());
}

void Preferences::modeChanged() {
    if (loading_) return;
    const auto chosen = Modes::atSegment(c_.mode->checkedId());
    if (!chosen) return;
    const Mode was = Settings::mode();
    Settings::setMode(*chosen);
    // Choosing a mode is the consent the desktop picture and the live desktop wait for.
    Settings::setConfigured(true);
    controller_.syncLiveDesktop();
    if (*chosen == Mode::desktop) {
        controller_.hide();
        controller_.applyDesktopPicture();
    } else if (was == Mode::desktop && !Settings::desktop()) {
        controller_.restoreDesktopPicture();
    }
    if (*chosen == Mode::kiosk) {
        Settings::enterKioskPreset(was);
        if (Cache::count() < int(Catalog::all().size())) prime();
    } else if (was == Mode::kiosk) {
        Settings::leaveKioskPreset();
    }
    load();
}

void Preferences::networkChanged() {
    if (loading_) return;
    save();
    applyMode();
    refreshCacheStatus();
}

void Preferences::rebuildScreens() {
    QStringList names;
    std::vector<QStringList> lists;
    const QStringList products = Settings::products();
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int index = 0; index < screens.size(); ++index) {
        const QRect frame = screens[index]->geometry();
        names << Diagnostics::screenText(screens[index]->name(), frame.width(), frame.height());
        lists.push_back(products.isEmpty() ? QStringList{}
                                           : Settings::choice(products[index % products.size()]));
    }
    c_.screensGrid->rebuild(names, std::move(lists));
    if (window_->isVisible()) {
        window_->layout()->activate();
        orderTabs();
    }
}

void Preferences::showPrimeProgress() {
    // What the full download fetches: every product NASA SDO gives directly, or all from a mirror.
    const bool direct = Settings::imageryHost().isEmpty();
    int wanted = 0, held = 0;
    for (const CatalogProduct& product : Catalog::all()) {
        if (direct && Catalog::needsMirror(product.id)) continue;
        ++wanted;
        if (QFileInfo::exists(Cache::file(product.id + QStringLiteral(".mp4")))) ++held;
    }
    c_.primeNote->setText(QStringLiteral("%1 of %2 products").arg(held).arg(wanted));
    c_.primeNote->setVisible(true);
}

void Preferences::prime() {
    if (priming_) return;
    priming_ = true;
    c_.primeButton->setEnabled(false);
    c_.busy->setRange(0, 100);
    c_.busy->setValue(0);
    c_.busy->show();
    showPrimeProgress();
    primeFollow_.start();
    auto report = [this](int done, int total) {
        QMetaObject::invokeMethod(
            this,
            [this, done, total] {
                c_.busy->setRange(0, std::max(total, 1));
                c_.busy->setValue(std::min(done, total));
                showPrimeProgress();
            },
            Qt::QueuedConnection);
    };
    background([this, report] {
        const std::optional<QDateTime> refused = env_.refreshNow(true, report);
        QMetaObject::invokeMethod(
            this,
            [this, refused] {
                priming_ = false;
                primeFollow_.stop();
                c_.busy->hide();
                c_.primeNote->clear();
                applyMode();
                refreshCacheStatus(refused);
                emit primed();
            },
            Qt::QueuedConnection);
    });
}

void Preferences::updateDesktopNow() {
    auto apply = [this](std::optional<QDateTime> refused) {
        controller_.applyDesktopPicture();
        controller_.statusChanged();
        refreshCacheStatus(refused);
    };
    // What is cached goes on the desktop at once; the check that follows may wait for a running pass.
    apply(std::nullopt);
    if (Settings::offline()) return;
    background([this, apply] {
        const std::optional<QDateTime> refused = env_.refreshNow(false, {});
        if (refused)
            log("update: checked recently, next check allowed at " + refused->toString(Qt::ISODate),
                LogArea::app);
        QMetaObject::invokeMethod(
            this, [apply, refused] { apply(refused); }, Qt::QueuedConnection);
    });
}

void Preferences::loginToggled() {
    if (loading_) return;
    Settings::setOpenAtLogin(c_.loginBox->isChecked());
    // Show what the desktop will really do, which differs when registering failed.
    const QSignalBlocker blocker(c_.loginBox);
    c_.loginBox->setChecked(Settings::openAtLogin());
    save();
}

void Preferences::deactivate() {
    const bool desktopActive = Settings::desktopActive();
    const bool opensAtLogin = Settings::openAtLogin();
    const QString text = PreferencesRules::deactivateText(
        desktopActive && Settings::previousDesktop().has_value(), opensAtLogin, carriesSaver());
    if (!env_.confirm(QStringLiteral("Turn Solvane off and quit?"), text)) return;
    save();
    controller_.hide();
    if (desktopActive) {
        Settings::setDesktop(false);
        controller_.restoreDesktopPicture();
    }
    if (opensAtLogin) Settings::setOpenAtLogin(false);
    log("deactivated and quit at the user's request", LogArea::app);
    env_.quit();
}
