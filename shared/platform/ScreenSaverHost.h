#pragma once
// The port to the desktop's screen-saver host, which runs our hack: XScreenSaver on Linux. The installer
// registers the hack with it, makes it let go of an old copy, and opens its settings.
//
// Header only, so code that merely talks to the port needs no platform library. Main thread.

#include <QString>
#include <optional>

class ScreenSaverHost {
public:
    virtual ~ScreenSaverHost() = default;

    // Makes sure the host's list of screen savers holds one entry named `name` that runs `program`,
    // keeping every other entry and their order. Nothing on success, else the reason in words.
    virtual std::optional<QString> registerHack(const QString& name, const QString& program) = 0;
    // Makes the running host start new copies of its hacks from now on. Failures are only logged.
    virtual void restart() = 0;
    // Opens the host's settings, where the user picks a screen saver; false when there is nothing to open.
    virtual bool openSettings() = 0;
    // Whether this host is the screen saver running in this session (many desktops run their own).
    virtual bool isDesktopsSaver() const = 0;
};
