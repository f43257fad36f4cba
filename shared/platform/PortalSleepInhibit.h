#pragma once
// Display sleep held off through the desktop portal's org.freedesktop.portal.Inhibit (the idle flag):
// the portal answers with a request object, and closing that object lets the displays sleep again.
// Sandboxed and GNOME Wayland sessions answer here when no protocol of the compositor does.

#include "SleepInhibit.h"

class PortalSleepInhibit : public SleepInhibit {
public:
    bool inhibit(const QString& application, const QString& reason) override;
    void release() override;
    bool held() const override { return !handle_.isEmpty(); }
    QString name() const override { return QStringLiteral("org.freedesktop.portal.Inhibit"); }

    // The portal's flag for "keep the session from going idle".
    static constexpr quint32 idleFlag = 8;

private:
    QString handle_; // the request object's path while held
};
