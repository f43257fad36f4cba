#include "X11SleepSuspend.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

X11SleepSuspend::~X11SleepSuspend() {
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

bool X11SleepSuspend::inhibit(const QString&, const QString&) {
    if (suspended_) return true;
    if (!display_) display_ = XOpenDisplay(nullptr);
    auto* display = static_cast<Display*>(display_);
    if (!display) return false;
    int event = 0, error = 0, major = 0, minor = 0;
    // Suspending needs version 1.1 of the extension.
    if (!XScreenSaverQueryExtension(display, &event, &error) ||
        !XScreenSaverQueryVersion(display, &major, &minor) || (major < 1 || (major == 1 && minor < 1)))
        return false;
    XScreenSaverSuspend(display, True);
    XFlush(display);
    suspended_ = true;
    return true;
}

void X11SleepSuspend::release() {
    if (!suspended_) return;
    auto* display = static_cast<Display*>(display_);
    XScreenSaverSuspend(display, False);
    XFlush(display);
    suspended_ = false;
}
