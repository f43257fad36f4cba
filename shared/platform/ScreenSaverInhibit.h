#pragma once
// Display-sleep inhibit through org.freedesktop.ScreenSaver on the session bus: Inhibit gives a cookie,
// UnInhibit hands it back. The service also drops the request when our bus connection closes.

#include "SleepInhibit.h"

#include <optional>

class ScreenSaverInhibit : public SleepInhibit {
public:
    bool inhibit(const QString& application, const QString& reason) override;
    void release() override;
    bool held() const override { return cookie_.has_value(); }
    QString name() const override { return QStringLiteral("org.freedesktop.ScreenSaver"); }

private:
    std::optional<quint32> cookie_;
};
