#pragma once
// Idle time asked of a session-bus service that answers in milliseconds: GNOME's
// org.gnome.Mutter.IdleMonitor.GetIdletime (X11 and Wayland alike) or
// org.freedesktop.ScreenSaver.GetSessionIdleTime (KDE and others). An error reply (such as GNOME's
// NotSupported for the latter) means the service cannot tell.

#include "IdleTime.h"

class DBusIdleTime : public IdleTime {
public:
    DBusIdleTime(QString service, QString path, QString interface, QString method);

    static DBusIdleTime mutter();
    static DBusIdleTime screenSaver();

    std::optional<double> secondsIdle() override;
    QString name() const override { return service_; }

    // One call, with the error in words when there is no usable answer.
    std::optional<double> ask(QString* error = nullptr) const;

private:
    QString service_, path_, interface_, method_;
    bool failing_ = false; // logged once when a source that answered stops answering
};
