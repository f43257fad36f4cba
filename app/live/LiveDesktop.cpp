#include "LiveDesktop.h"

#include "LivePolicy.h"
#include "LivePower.h"
#include "Log.h"
#include "Platform.h"
#include "Settings.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QWidget* makeWindow(QScreen* screen) {
    auto* window = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                                            Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
    window->setWindowTitle(QStringLiteral("Solvane live desktop"));
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::black);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setScreen(screen);
    window->setGeometry(screen->geometry());
    window->winId(); // the native window exists from here on, not yet mapped
    Platform::markDesktopWindow(window->windowHandle()); // before the window manager first sees it
    return window;
}

} // namespace

LiveDesktop& LiveDesktop::shared() {
    static LiveDesktop* live = [] {
        auto* made = new LiveDesktop;
        made->timer_.setInterval(powerTickMs);
        connect(&made->timer_, &QTimer::timeout, made, &LiveDesktop::apply);
        // The windows go before the application object does.
        connect(qGuiApp, &QCoreApplication::aboutToQuit, made, &LiveDesktop::stop);
        return made;
    }();
    return *live;
}

LiveDesktop::Layout LiveDesktop::wantedLayout() {
    Layout layout;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i)
        layout.emplace_back(screens[i]->geometry(), Settings::isEnabled(i)
                                                        ? Settings::productList(i)
                                                        : QStringList{QStringLiteral("off")});
    return layout;
}

void LiveDesktop::sync() {
    if (!LivePolicy::runs(Settings::liveDesktop(), Channel::allowsLiveDesktop, Settings::mode())) {
        stop();
        return;
    }
    if (const QString why = Platform::liveDesktopUnavailable(); !why.isEmpty()) {
        stop();
        static bool said = false; // once a run: the reason does not change
        if (!said) log("live desktop: off: " + why, LogArea::desktop);
        said = true;
        return;
    }
    if (running() && wantedLayout() == built_) {
        apply(); // pauseOnBattery may have changed
        return;
    }
    start();
}

void LiveDesktop::start() {
    stop();
    built_ = wantedLayout();
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i) {
        if (!Settings::isEnabled(i)) continue;
        QScreen* screen = screens[i];
        QWidget* window = makeWindow(screen);

        WallView::Options options;
        options.products = Settings::productList(i);
        options.scale = screen->devicePixelRatio();
        options.skipOnScreen = true;
        auto* wall = new WallView(screen->size(), options,
                                  wallEnvironment_ ? wallEnvironment_() : WallView::Environment{}, window);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(wall);

        WindowOcclusion* occlusion = Platform::windowOcclusion(window->windowHandle(), window);
        // Where Qt's window cannot be a desktop window (Wayland), a surface of the platform's shows the
        // hidden wall below the windows, never focused; a paused wall's picture goes only now and then.
        std::shared_ptr<PaintedSurface> layer = Platform::liveDesktopSurface(
            [wall](QPainter& painter, QSize size) {
                if (wall->size() != size) wall->setGeometry(QRect(QPoint(), size));
                wall->render(&painter);
            },
            screen);
        if (layer)
            layer->setActiveWhen([wall] { return !wall->state().policyPaused; });
        else
            window->show();
        pairs_.push_back({window, wall, occlusion, screen->name(), layer});
        observers_.push_back(connect(occlusion, &WindowOcclusion::changed, this, &LiveDesktop::apply));
    }
    observers_.push_back(connect(&LivePower::source(), &PowerSource::changed, this, &LiveDesktop::apply));
    // A changed screen list rebuilds everything, once the screen change itself is over.
    observers_.push_back(
        connect(qGuiApp, &QGuiApplication::screenAdded, this, &LiveDesktop::sync, Qt::QueuedConnection));
    observers_.push_back(
        connect(qGuiApp, &QGuiApplication::screenRemoved, this, &LiveDesktop::sync, Qt::QueuedConnection));
    for (QScreen* screen : screens)
        observers_.push_back(
            connect(screen, &QScreen::geometryChanged, this, &LiveDesktop::sync, Qt::QueuedConnection));
    timer_.start();
    log("live desktop: " + QString::number(pairs_.size()) + " screen(s)", LogArea::desktop);
    apply();
}

void LiveDesktop::keepBelowIcons() {
    std::vector<quint32> ours;
    for (const Pair& pair : pairs_)
        ours.push_back(quint32(pair.window->winId()));
    for (const Pair& pair : pairs_)
        Platform::keepBelowDesktopIcons(pair.window->windowHandle(), ours);
}

void LiveDesktop::apply() {
    // A desktop shell that (re)started puts its icons' window above ours; each look puts ours back.
    keepBelowIcons();
    for (Pair& pair : pairs_) {
        const bool play = LivePower::shouldPlay(pair.occlusion->occluded());
        if (pair.wall->state().policyPaused == !play) continue;
        pair.wall->setPaused(!play);
        log("live desktop: " + pair.screen + (play ? " playing" : " paused"), LogArea::desktop);
    }
}

void LiveDesktop::stop() {
    if (pairs_.empty() && !timer_.isActive()) return;
    timer_.stop();
    for (const QMetaObject::Connection& observer : observers_)
        disconnect(observer);
    observers_.clear();
    for (Pair& pair : pairs_) {
        pair.layer.reset();
        pair.wall->stop();
        pair.window->hide();
        delete pair.window; // the wall and the occlusion watcher are its children
    }
    pairs_.clear();
    built_.clear();
    log("live desktop: stopped", LogArea::desktop);
}
