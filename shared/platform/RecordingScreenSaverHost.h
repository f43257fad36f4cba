#pragma once
// A screen-saver host for tests: records every request and fails registration on demand.

#include "ScreenSaverHost.h"

#include <QStringList>

class RecordingScreenSaverHost : public ScreenSaverHost {
public:
    std::optional<QString> registerHack(const QString& name, const QString& program) override {
        registered << name + QStringLiteral(" ") + program;
        return registerFailure;
    }
    void restart() override { ++restarts; }
    bool openSettings() override {
        ++settingsOpened;
        return true;
    }
    bool isDesktopsSaver() const override { return desktopsSaver; }

    QStringList registered;
    int restarts = 0;
    int settingsOpened = 0;
    bool desktopsSaver = true;
    std::optional<QString> registerFailure;
};
