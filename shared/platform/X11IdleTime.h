#pragma once
// Idle time from the X server's MIT-SCREEN-SAVER extension (XScreenSaverQueryInfo on the root window),
// over a connection of its own so it works whatever Qt's platform is.

#include "IdleTime.h"

#include <memory>

class X11IdleTime : public IdleTime {
public:
    // Nothing when there is no X display or it lacks the extension.
    static std::unique_ptr<X11IdleTime> open();
    ~X11IdleTime() override;

    std::optional<double> secondsIdle() override;
    QString name() const override { return QStringLiteral("the X server (MIT-SCREEN-SAVER)"); }

private:
    explicit X11IdleTime(void* display) : display_(display) {}
    void* display_; // Display*, kept out of this header so X11's macros stay out of Qt code
};
