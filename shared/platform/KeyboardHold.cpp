#include "KeyboardHold.h"

#include "Log.h"

#include <QWindow>

bool X11KeyboardGrab::hold(QWindow* window) {
    return window && window->setKeyboardGrabEnabled(true);
}

void X11KeyboardGrab::release(QWindow* window) {
    if (window) window->setKeyboardGrabEnabled(false);
}

bool NoKeyboardHold::hold(QWindow*) {
    if (!said_)
        log("kiosk: this compositor cannot hold the keyboard, so its own shortcuts still work while the "
            "kiosk "
            "shows; a kiosk compositor such as cage, or a sway kiosk configuration, can",
            LogArea::app);
    said_ = true;
    return false;
}
