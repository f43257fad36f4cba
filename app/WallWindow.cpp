#include "WallWindow.h"

#include "Platform.h"
#include "WallView.h"

#include <QCloseEvent>
#include <QScreen>
#include <QWindow>
#include <cmath>

WallWindow::WallWindow(QScreen* screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
}

void WallWindow::setWall(WallView* wall) {
    wall_ = wall;
    if (!wall_) return;
    wall_->setParent(this);
    wall_->setGeometry(rect());
    wall_->lower();
}

void WallWindow::setCornerControl(QWidget* control, double side, double margin) {
    corner_ = control;
    side_ = side;
    margin_ = margin;
    if (corner_) corner_->setParent(this);
    place();
}

void WallWindow::setHint(QWidget* hint) {
    hint_ = hint;
    if (hint_) hint_->setParent(this);
    place();
}

void WallWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (wall_) wall_->setGeometry(rect());
    place();
}

void WallWindow::place() {
    if (corner_) {
        const int side = static_cast<int>(std::lround(side_));
        const int margin = static_cast<int>(std::lround(margin_));
        corner_->setGeometry(width() - side - margin, margin, side, side);
        corner_->raise();
    }
    if (hint_) {
        // Near the top, as the close button it speaks of is: the bottom holds the caption, the flare row
        // and the timeline, which a hint there would cover on a small screen.
        const QSize size = hint_->sizeHint();
        hint_->setGeometry((width() - size.width()) / 2, static_cast<int>(height() * 0.06), size.width(),
                           size.height());
        hint_->raise();
    }
}

void WallWindow::present(Presentation presentation) {
    if (presentation == Presentation::onTop) {
        // Walls on some screens only leave the others to the user's work: they do not take the focus
        // (a click on a wall still gives it the keyboard).
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        if (QScreen* on = screen()) setGeometry(on->geometry());
        show();
        if (QScreen* on = screen()) Platform::placeFullScreen(windowHandle(), on->geometry());
        raise();
        return;
    }
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    showFullScreen();
    if (QScreen* on = screen()) Platform::placeFullScreen(windowHandle(), on->geometry());
    raise();
    activateWindow();
}

bool WallWindow::grabKeys() {
    if (grabbed_) return true;
    if (!isVisible() || !windowHandle()) return false;
    grabbed_ = Platform::keyboardHold()->hold(windowHandle());
    if (grabbed_) grabKeyboard(); // and inside the application, so key events come here first
    return grabbed_;
}

void WallWindow::releaseKeys() {
    if (!grabbed_) return;
    releaseKeyboard();
    Platform::keyboardHold()->release(windowHandle());
    grabbed_ = false;
}

void WallWindow::closeEvent(QCloseEvent* event) {
    // The program's own closing (quitting closes every window first) goes through; a request from the
    // window manager arrives as a spontaneous event.
    if (!event->spontaneous()) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    if (onCloseRequest) onCloseRequest();
}
