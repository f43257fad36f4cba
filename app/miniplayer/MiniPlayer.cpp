#include "MiniPlayer.h"

#include "LivePower.h"
#include "Platform.h"
#include "Settings.h"
#include "WaylandLayerSurface.h"
#include "WindowOcclusion.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {
bool visibleEnough(QWindow* window) {
    if (!window) return false;
    const QWindow::Visibility visibility = window->visibility();
    return visibility != QWindow::Hidden && visibility != QWindow::Minimized;
}
} // namespace

MiniPlayer::MiniPlayer(PlayPolicy shouldPlay, std::function<WallView::Environment()> wallEnvironment)
    : shouldPlay_(std::move(shouldPlay)), wallEnvironment_(std::move(wallEnvironment)) {
    if (!shouldPlay_) shouldPlay_ = [](bool occluded) { return LivePower::shouldPlay(occluded); };
}

MiniPlayer::~MiniPlayer() {
    close();
}

void MiniPlayer::toggle() {
    if (isOpen())
        close();
    else
        open();
}

void MiniPlayer::open() {
    window_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    window_->setWindowTitle(QStringLiteral("Solvane"));
    window_->setAccessibleName(QStringLiteral("Solvane mini player"));
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->resize(width, height);
    // Black behind the wall through the palette: a style sheet would also paint the wall's caption
    // label (there for screen readers) as a black bar over the picture.
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, Qt::black);
    window_->setPalette(palette);
    window_->setAutoFillBackground(true);
    window_->installEventFilter(this);

    QScreen* screen = QGuiApplication::primaryScreen();
    WallView::Options options;
    options.products = Settings::productList(0);
    options.scale = screen ? screen->devicePixelRatio() : 2.0;
    // Only the frame clock, scaled to the window: the wall's captions do not fit a corner player.
    options.kind = ViewKind::mini;
    wall_ = new WallView(QSize(width, height), options,
                         wallEnvironment_ ? wallEnvironment_() : WallView::Environment{}, window_.get());
    wall_->setGeometry(window_->rect());

    // On a compositor with layers: above every window in the output's top-right corner, never focused.
    layer_ = WaylandLayerSurface::create(
        [wall = wall_](QPainter& painter, QSize size) {
            if (!wall) return;
            if (wall->size() != size) wall->setGeometry(QRect(QPoint(), size));
            wall->render(&painter);
        },
        {WaylandLayerSurface::Layer::overlay, screen, QSize(width, height), inset},
        QStringLiteral("solvane-mini-player"));
    if (layer_) {
        connect(&LivePower::source(), &PowerSource::changed, this, &MiniPlayer::apply);
        apply();
        return;
    }
    if (screen) {
        const QRect usable = screen->availableGeometry();
        window_->move(usable.right() + 1 - width - inset, usable.top() + inset);
    }
    if (onWindowMade) onWindowMade(window_.get());
    window_->show();
    window_->raise();
    if (QWindow* handle = window_->windowHandle()) {
        connect(handle, &QWindow::visibilityChanged, this, &MiniPlayer::apply);
        occlusion_ = Platform::windowOcclusion(handle, window_.get());
        if (occlusion_) connect(occlusion_, &WindowOcclusion::changed, this, &MiniPlayer::apply);
    }
    connect(&LivePower::source(), &PowerSource::changed, this, &MiniPlayer::apply);
    apply();
}

void MiniPlayer::close() {
    if (!window_ || closing_) return;
    closing_ = true;
    if (QWindow* handle = window_->windowHandle()) disconnect(handle, nullptr, this, nullptr);
    disconnect(&LivePower::source(), nullptr, this, nullptr);
    occlusion_ = nullptr; // owned by the window
    if (wall_) wall_->stop();
    layer_.reset();
    window_->removeEventFilter(this);
    window_->hide();
    window_.reset();
    closing_ = false;
}

void MiniPlayer::apply() {
    if (!wall_ || !window_) return;
    QWindow* handle = window_->windowHandle();
    // An overlay surface is never covered.
    const bool occluded = !layer_ && (!visibleEnough(handle) || (occlusion_ && occlusion_->occluded()));
    wall_->setPaused(!shouldPlay_(occluded));
}

bool MiniPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (window_ && watched == window_.get()) {
        if (event->type() == QEvent::Resize && wall_) wall_->setGeometry(window_->rect());
        // Its own close button ends the player as the menu item would; the window goes later, not
        // inside its own event.
        if (event->type() == QEvent::Close) QTimer::singleShot(0, this, &MiniPlayer::close);
    }
    return QObject::eventFilter(watched, event);
}
