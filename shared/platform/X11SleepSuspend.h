#pragma once
// Display-sleep inhibit through the X server's screen-saver extension (XScreenSaverSuspend), for an X
// session without an org.freedesktop.ScreenSaver service. The server lifts the suspension itself when
// our connection closes.

#include "SleepInhibit.h"

class X11SleepSuspend : public SleepInhibit {
public:
    ~X11SleepSuspend() override;

    bool inhibit(const QString& application, const QString& reason) override;
    void release() override;
    bool held() const override { return suspended_; }
    QString name() const override { return QStringLiteral("the X server (XScreenSaverSuspend)"); }

private:
    void* display_ = nullptr; // Display*, opened on first use and kept: closing it ends the suspension
    bool suspended_ = false;
};
