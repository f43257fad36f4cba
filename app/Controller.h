#pragma once
// What the Preferences window, the tray and the main menu may ask of the controller: what the imagery is
// doing, putting it on screen or taking it off, and the other parts of the program the controller
// reaches (the desktop picture, the live desktop, the tray's titles, the other windows). The windows are
// handed one at construction and include only this, so each can be built and tested without the whole
// controller; App implements it, tests give a fake. Settings are not here: windows read and write them
// through Settings themselves. GUI thread only.

#include "Mode.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

class WallView;

class Controller {
public:
    virtual ~Controller() = default;

    // The mode the walls follow now (a --kiosk session is a kiosk whatever the stored mode says).
    virtual Mode mode() const = 0;
    virtual bool showing() const = 0;
    // Armed and waiting for the idle time.
    virtual bool armedWaiting() const = 0;
    // A refresh pass is running.
    virtual bool refreshing() const = 0;
    // When the hourly refresh runs next; nothing while it does not run (offline, before the launch).
    virtual std::optional<QDateTime> nextRefresh() const = 0;
    // Whether the session's idle time can be known; without it nothing starts after idle time.
    virtual bool hasIdleSource() const = 0;
    // The walls on screen now, empty when nothing shows.
    virtual const std::vector<WallView*>& walls() const = 0;

    // Puts the imagery on screen for the mode (`force`: even in desktop mode), or takes it off.
    virtual void show(bool force = false) = 0;
    virtual void hide() = 0;
    // Waits for the idle time, then shows the mode; disarm stops waiting.
    virtual void arm() = 0;
    virtual void disarm() = 0;

    // Runs the ordinary refresh now, as the hourly one would (Try Again after the source could not be
    // reached); nothing while one runs.
    virtual void tryAgain() = 0;
    // Something the tray shows has changed: retitle and re-hide its items.
    virtual void statusChanged() = 0;
    // Each screen's next still on the desktop; the pictures from before Solvane put back.
    virtual void applyDesktopPicture() = 0;
    virtual void restoreDesktopPicture() = 0;
    // The live desktop brought in line with the settings.
    virtual void syncLiveDesktop() = 0;
    // Installs the carried screen-saver hack; the note to show under the button, or empty.
    virtual QString installSaver() = 0;
    virtual void checkForUpdates() = 0;
    // The other windows: Preferences, the welcome window, the mini player (on or off).
    virtual void showPreferences() = 0;
    virtual void showWelcome() = 0;
    virtual void toggleMiniPlayer() = 0;
};
