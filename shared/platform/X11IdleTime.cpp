#include "X11IdleTime.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

std::unique_ptr<X11IdleTime> X11IdleTime::open() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(display, &event, &error)) {
        XCloseDisplay(display);
        return nullptr;
    }
    auto source = std::unique_ptr<X11IdleTime>(new X11IdleTime(display));
    if (!source->secondsIdle()) return nullptr;
    return source;
}

X11IdleTime::~X11IdleTime() {
    XCloseDisplay(static_cast<Display*>(display_));
}

std::optional<double> X11IdleTime::secondsIdle() {
    auto* display = static_cast<Display*>(display_);
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return std::nullopt;
    std::optional<double> seconds;
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info))
        seconds = double(info->idle) / 1000.0;
    XFree(info);
    return seconds;
}
