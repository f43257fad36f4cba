#include "App.h"

#include "Cache.h"
#include "CloseButton.h"
#include "Follower.h"
#include "HintLabel.h"
#include "IdleTime.h"
#include "Log.h"
#include "ModeBadge.h"
#include "MotionPreference.h"
#include "NetworkCost.h"
#include "ScreenLock.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SleepInhibit.h"
#include "TypeScale.h"
#include "WallKeys.h"
#include "WallWindow.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QKeyEvent>
#include <QScreen>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace {
constexpr double hintSeconds = 6.0;
constexpr double hintFadeSeconds = 1.2;

constexpr const char* fadeName = "solvane-fade";

// Fades a control's opacity with a short animation owned by the control. One fade per control: a new
// one stops the one still running, which would otherwise keep writing its own end value.
template <typename Control> void fade(Control* control, double to, double seconds) {
    if (!control) return;
    if (auto* running = control->template findChild<QVariantAnimation*>(QLatin1String(fadeName),
                                                                        Qt::FindDirectChildrenOnly)) {
        running->setObjectName(QString());
        running->stop(); // deletes itself
    }
    auto* animation = new QVariantAnimation(control);
    animation->setObjectName(QLatin1String(fadeName));
    animation->setStartValue(control->opacity());
    animation->setEndValue(to);
    animation->setDuration(static_cast<int>(std::lround(seconds * 1000)));
    QObject::connect(animation, &QVariantAnimation::valueChanged, control,
                     [control](const QVariant& value) { control->setOpacity(value.toDouble()); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
} // namespace

App::App(Environment environment) : env_(std::move(environment)) {
    parts_.fillMissing();
    lastInput_.start();
    rebuild_.setSingleShot(true);
    rebuild_.setInterval(static_cast<int>(rebuildDelaySeconds * 1000));
    connect(&rebuild_, &QTimer::timeout, this, [this] {
        if (launched_) recordScreens();
        layoutChanged(screenFrames());
    });
    // The tick starts with the launch sequence; tests drive it by hand.
    tick_.setInterval(250);
    connect(&tick_, &QTimer::timeout, this, &App::tick);
    hourly_.setInterval(refreshEverySeconds * 1000);
    connect(&hourly_, &QTimer::timeout, this, &App::startRefresh);
    Follower::Environment follow;
    follow.sunShown = [this] { return showing_ || parts_.sunShownElsewhere(); };
    follow.metered = [this] { return env_.network && env_.network->metered(); };
    follow.pass = env_.followPass;
    follower_ = new Follower(std::move(follow), this);
    connect(follower_, &Follower::followed, this,
            [this](const FollowPass::Outcome& outcome) { followed(!outcome.made.isEmpty()); });
    firstLight_.setInterval(2000);
    connect(&firstLight_, &QTimer::timeout, this, &App::watchFirstLight);
    watchScreens();
    qApp->installEventFilter(this);
    // Quitting never waits for a download: every pass (hourly, "Download all imagery now", "Update
    // now") stops at its next safe point.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [] {
        Cache::requestStop();
        QFile::remove(Diagnostics::screensRecord());
    });
}

App::~App() {
    qApp->removeEventFilter(this);
    hide();
    clearWalls();
}

void App::watchScreens() {
    auto watch = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &App::screensChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        screensChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &App::screensChanged);
}

std::vector<QRect> App::screenFrames() {
    std::vector<QRect> frames;
    for (QScreen* screen : QGuiApplication::screens())
        frames.push_back(screen->geometry());
    return frames;
}

double App::secondsIdle() const {
    if (env_.secondsIdle) return env_.secondsIdle();
    const double ours = static_cast<double>(lastInput_.elapsed()) / 1000.0;
    const std::optional<double> session = env_.idle ? env_.idle->secondsIdle() : std::nullopt;
    return session ? std::min(*session, ours) : ours;
}

bool App::hasIdleSource() const {
    if (env_.secondsIdle) return true;
    return env_.idle && !dynamic_cast<const NoIdleTime*>(env_.idle.get());
}

Mode App::mode() const {
    if (kioskSession_) return Mode::kiosk;
    const Mode stored = Settings::mode();
    return stored == Mode::desktop && forced_ ? Mode::wall : stored;
}

void App::show(bool force) {
    forced_ = force;
    const Mode mode = this->mode();
    if (mode == Mode::desktop) return;
    armedWaiting_ = false;
    parts_.hidePreferences();
    build();
    if (windows_.empty()) {
        nothingToShow();
        return;
    }
    showing_ = true;
    armed_ = false;
    setCursor(coversAll_);
    present();
    // The saver lets the displays sleep as the desktop's own saver would.
    if (mode != Mode::saver && env_.sleep) env_.sleep->inhibit("Solvane", "Solvane is displaying");
    if (coversAll_) {
        windows_.front()->raise();
        windows_.front()->activateWindow();
    }
    parts_.statusChanged();
    log("showing " + QString::number(windows_.size()) + " of " +
            QString::number(QGuiApplication::screens().size()) + " display(s), mode " + Modes::rawValue(mode),
        LogArea::app);
}

// Every screen is Off: a showing ends (releasing the inhibit and the pointer), and Preferences open
// where the choice can be changed.
void App::nothingToShow() {
    hide();
    forced_ = false;
    log("every screen is Off; nothing to show", LogArea::app);
    parts_.showPreferences();
    parts_.statusChanged();
}

void App::clearWalls() {
    for (WallView* wall : walls_)
        wall->stop();
    for (WallWindow* window : windows_) {
        window->releaseKeys();
        window->hide();
        window->deleteLater();
    }
    windows_.clear();
    walls_.clear();
    closeButtons_.clear();
    badges_.clear();
}

void App::build() {
    ++builds_;
    clearWalls();
    const Mode mode = this->mode();
    const QList<QScreen*> screens = QGuiApplication::screens();
    const bool hintWanted = mode == Mode::wall && !Settings::d().boolean(Settings::Key::wallHintShown);
    for (int index = 0; index < screens.size(); ++index) {
        if (!Settings::isEnabled(index)) continue;
        QScreen* screen = screens[index];
        WallView::Options options;
        options.products = Settings::productList(index);
        options.scale = screen->devicePixelRatio();
        if (Settings::attribution()) options.attribution = Settings::storeHost();
        auto* window = new WallWindow(screen);
        WallView::Environment wallEnvironment =
            env_.wallEnvironment ? env_.wallEnvironment() : WallView::Environment{};
        if (!wallEnvironment.reduceMotion && env_.motion)
            wallEnvironment.reduceMotion = [motion = env_.motion] { return motion->reduceMotion(); };
        auto* wall = new WallView(screen->geometry().size(), options, wallEnvironment, window);
        window->setWall(wall);
        walls_.push_back(wall);

        const double typeScale = TypeScale::factor(screen->geometry().height());
        const double side = typeScale * TypeScale::control;
        const double margin = typeScale * TypeScale::controlInset;
        const double alpha = buttonsVisible_ ? 1.0 : 0.0;
        if (mode == Mode::kiosk) {
            auto* badge = new ModeBadge("lock.fill", "Kiosk mode, locked", window);
            badge->setOpacity(alpha);
            window->setCornerControl(badge, side, margin);
            badges_.push_back(badge);
        } else if (mode == Mode::wall) {
            auto* button = new CloseButton(window);
            button->setOpacity(alpha);
            button->onClick = [this] { QTimer::singleShot(0, this, &App::dismiss); };
            window->setCornerControl(button, side, margin);
            closeButtons_.push_back(button);
            if (hintWanted) {
                auto* hint = new HintLabel("Move the mouse to reveal the close button",
                                           typeScale * TypeScale::hint, window);
                window->setHint(hint);
                QPointer<HintLabel> held(hint);
                QTimer::singleShot(static_cast<int>(hintSeconds * 1000), hint, [held] {
                    if (!held) return;
                    auto* animation = new QVariantAnimation(held);
                    animation->setStartValue(1.0);
                    animation->setEndValue(0.0);
                    animation->setDuration(static_cast<int>(hintFadeSeconds * 1000));
                    QObject::connect(animation, &QVariantAnimation::valueChanged, held,
                                     [held](const QVariant& v) { held->setOpacity(v.toDouble()); });
                    QObject::connect(animation, &QVariantAnimation::finished, held,
                                     [held] { held->deleteLater(); });
                    animation->start(QAbstractAnimation::DeleteWhenStopped);
                });
            }
        }
        if (mode == Mode::saver) window->setAttribute(Qt::WA_TransparentForMouseEvents);
        // A kiosk stays up whatever the window manager asks; elsewhere its close request dismisses.
        if (mode != Mode::kiosk)
            window->onCloseRequest = [this] { QTimer::singleShot(0, this, &App::dismiss); };
        windows_.push_back(window);
    }
    builtFor_ = screenFrames();
    coversAll_ = static_cast<int>(windows_.size()) == screens.size();
    present();
    if (mode == Mode::wall && !windows_.empty()) Settings::d().set(Settings::Key::wallHintShown, true);
}

// Kiosk: every wall full screen, on top, with the keyboard grabbed so the window manager's shortcuts
// do not leave it. Elsewhere full screen (panels hide) only when the walls cover every screen.
void App::present() {
    const Mode mode = this->mode();
    for (WallWindow* window : windows_) {
        const auto presentation = mode == Mode::kiosk ? WallWindow::Presentation::kiosk
                                  : coversAll_        ? WallWindow::Presentation::fullScreen
                                                      : WallWindow::Presentation::onTop;
        window->present(presentation);
    }
    if (mode == Mode::kiosk) holdKeys();
}

// The first wall takes the whole keyboard, so the window manager's shortcuts and other windows see no
// keys while a kiosk shows; only the exit chord leaves.
void App::holdKeys() {
    if (windows_.empty() || windows_.front()->keysGrabbed()) return;
    if (windows_.front()->grabKeys()) log("kiosk: holding the keyboard", LogArea::app);
}

void App::hide() {
    if (!showing_) return;
    showing_ = false;
    forced_ = false;
    armed_ = false;
    clearWalls();
    buttonsVisible_ = false;
    builtFor_.clear();
    if (cursorHidden_) setCursor(false);
    if (env_.sleep) env_.sleep->release();
    parts_.statusChanged();
}

void App::dismiss() {
    const Mode mode = this->mode();
    hide();
    log("dismissed, mode " + Modes::rawValue(mode), LogArea::app);
    if (mode == Mode::saver) {
        if (Settings::lockOnDismiss()) lockScreen();
    } else if (kioskSession_) {
        // A kiosk session has nothing behind it: leaving the kiosk ends the session.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    } else {
        parts_.showPreferences();
    }
}

void App::lockScreen() {
    if (env_.lock) env_.lock->lock();
}

void App::arm() {
    if (showing_) return;
    parts_.hidePreferences();
    const Mode mode = Settings::mode();
    if (mode == Mode::desktop) {
        log("armed: desktop keeps the picture current", LogArea::app);
        return;
    }
    armedWaiting_ = true;
    idleTried_ = false;
    parts_.statusChanged();
    if (!hasIdleSource())
        log("armed, but this desktop tells no idle time: nothing starts on its own", LogArea::app);
    const double minutes = Settings::idleMinutes();
    const QString whole =
        std::isfinite(minutes) ? QString::number(std::trunc(minutes), 'f', 0) : QString::number(minutes);
    log("armed: waiting for " + whole + " min idle, then " + Modes::rawValue(mode), LogArea::app);
}

void App::disarm() {
    if (!armedWaiting_) return;
    armedWaiting_ = false;
    parts_.statusChanged();
    log("disarmed", LogArea::app);
}

void App::screensChanged() {
    rebuild_.start();
}

void App::recordScreens() {
    QStringList screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << Diagnostics::screenText(screen->name(), screen->geometry().width(),
                                           screen->geometry().height());
    Diagnostics::recordScreens(screens);
}

void App::layoutChanged(const std::vector<QRect>& frames) {
    if (!showing_ || frames.empty() || frames == builtFor_) return;
    log("display layout changed (" + QString::number(builtFor_.size()) + " -> " +
            QString::number(frames.size()) + ")",
        LogArea::app);
    build();
    // The screens left are all Off: nothing shows, so nothing may stay held.
    if (windows_.empty()) nothingToShow();
}

void App::setCursor(bool hidden) {
    if (hidden == cursorHidden_) return;
    cursorHidden_ = hidden;
    if (hidden)
        QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void App::setButtons(bool visible) {
    if (visible == buttonsVisible_) return;
    buttonsVisible_ = visible;
    const bool kiosk = mode() == Mode::kiosk;
    if (!coversAll_)
        setCursor(false);
    else
        setCursor(!visible || kiosk);
    fadeControls(visible);
}

void App::fadeControls(bool visible) {
    const double to = visible ? 1.0 : 0.0;
    const double seconds = visible ? 0.15 : 0.8;
    for (CloseButton* button : closeButtons_)
        fade(button, to, seconds);
    for (ModeBadge* badge : badges_)
        fade(badge, to, seconds);
}

void App::tick() {
    followNetwork();
    if (!showing_) {
        // Without a source of the session's idle time, the user may be busy in other programs: nothing
        // starts on its own (Preferences say why).
        const bool waiting = armedWaiting_ || mode() == Mode::saver;
        if (!waiting || !hasIdleSource()) return;
        if (secondsIdle() < Settings::idleMinutes() * 60.0) {
            idleTried_ = false; // input came: a new idle period begins
            return;
        }
        // One try per idle period: when nothing can show (every screen Off) it is not retried, nor
        // logged, four times a second.
        if (idleTried_) return;
        idleTried_ = true;
        show();
        return;
    }
    const Mode mode = this->mode();
    if (mode == Mode::saver) {
        // The input that started the saver, or a mouse still moving as it appeared, does not end it:
        // only input after a quiet spell does.
        const double idle = secondsIdle();
        if (armed_ && idle < dismissIdleSeconds)
            dismiss();
        else if (!armed_ && idle >= settleSeconds)
            armed_ = true;
    } else if (mode == Mode::wall) {
        bool inside = coversAll_;
        if (!inside) {
            const QPoint pointer = QCursor::pos();
            for (WallWindow* window : windows_)
                inside = inside || window->geometry().contains(pointer);
        }
        setButtons(secondsIdle() < buttonFadeSeconds && inside);
        for (WallView* wall : walls_)
            wall->showTime(buttonsVisible_);
    } else if (mode == Mode::kiosk) {
        setButtons(secondsIdle() < buttonFadeSeconds);
        // A grab asked for before the window was mapped fails; keep asking.
        holdKeys();
    }
}

bool App::handleKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (!showing_) return false;
    const Mode mode = this->mode();
    const Qt::KeyboardModifiers chord =
        modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier);
    if (mode == Mode::wall || mode == Mode::desktop) {
        if (key == Qt::Key_Q && chord == Qt::ControlModifier) {
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            return true;
        }
        const bool plain = !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        const QString letter = text.toLower();
        const bool shift = modifiers & Qt::ShiftModifier;
        if (plain && (key == Qt::Key_I || letter == "i")) {
            for (WallView* wall : walls_)
                wall->toggleInfo();
            return true;
        }
        if (plain && (key == Qt::Key_L || letter == "l")) {
            for (WallView* wall : walls_)
                wall->cycleLook();
            return true;
        }
        if (key == Qt::Key_Escape && !chord) {
            QTimer::singleShot(0, this, &App::dismiss);
            return true;
        }
        if (key == Qt::Key_F1 || text == QLatin1String("?")) {
            WallKeys::toggleOverlay(windows_);
            return true;
        }
        if (key == Qt::Key_Space) {
            for (size_t i = 0; i < walls_.size(); ++i) {
                walls_[i]->togglePause();
                WallKeys::showPaused(windows_[i], walls_[i]->paused());
            }
            return true;
        }
        int delta = 0;
        if (key == Qt::Key_Left || key == Qt::Key_Down) delta = -1;
        if (key == Qt::Key_Right || key == Qt::Key_Up) delta = 1;
        if (delta != 0) {
            for (size_t i = 0; i < walls_.size(); ++i) {
                if (shift)
                    walls_[i]->stepFrame(delta);
                else
                    walls_[i]->step(delta);
                // Stepping a frame pauses the wall.
                WallKeys::showPaused(windows_[i], walls_[i]->paused());
            }
            return true;
        }
        return false;
    }
    // Saver and kiosk: only the exit chord, Ctrl+Alt+Super+Q.
    if (key == Qt::Key_Q && chord == (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QTimer::singleShot(0, this, &App::dismiss);
        return true;
    }
    return false;
}

bool App::handleScroll(QObject* target, QPointF pixelDelta, QPoint angleDelta) {
    if (!showing_ || mode() != Mode::wall) return false;
    double amount = 0;
    if (!pixelDelta.isNull()) {
        amount = std::fabs(pixelDelta.x()) > std::fabs(pixelDelta.y()) ? -pixelDelta.x() : pixelDelta.y();
    } else {
        // Notched wheels report eighths of a degree, 120 per notch: one notch moves one slot.
        const QPointF notches = QPointF(angleDelta) / 120.0;
        amount = (std::fabs(notches.x()) > std::fabs(notches.y()) ? -notches.x() : notches.y()) *
                 WallView::pointsPerSlot;
    }
    QWidget* widget = qobject_cast<QWidget*>(target);
    QWidget* window = widget ? widget->window() : nullptr;
    for (size_t i = 0; i < windows_.size(); ++i)
        if (windows_[i] == window) walls_[i]->scrub(amount);
    return true;
}

bool App::isWallTarget(QObject* target) const {
    if (auto* widget = qobject_cast<QWidget*>(target)) {
        QWidget* window = widget->window();
        return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
    }
    if (auto* window = qobject_cast<QWindow*>(target))
        return std::any_of(windows_.begin(), windows_.end(),
                           [window](WallWindow* wall) { return wall->windowHandle() == window; });
    return false;
}

bool App::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        lastInput_.restart();
        // Wall keys belong to the walls: typing in Preferences, a dialog or the mini player is theirs.
        if (!isWallTarget(watched)) break;
        auto* key = static_cast<QKeyEvent*>(event);
        if (handleKey(key->key(), key->modifiers(), key->text())) return true;
        break;
    }
    case QEvent::Wheel: {
        lastInput_.restart();
        if (!watched->isWidgetType() || !isWallTarget(watched)) break;
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (handleScroll(watched, wheel->pixelDelta(), wheel->angleDelta())) return true;
        break;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::KeyRelease:
        lastInput_.restart();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
