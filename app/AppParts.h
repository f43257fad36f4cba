#pragma once
// The parts of the running program that the controller and the launch sequence call but do not own:
// the tray item and menus, the Preferences, welcome and mini-player windows, the desktop picture, the
// live desktop, the updater and the screen-saver installer. Each module fills its members once at start
// (in Wiring.cpp, the one place that wires them); a member left empty logs one line saying the part
// is not in this version and does nothing, so the application runs whole while parts are missing.
// GUI thread only, unless a member says otherwise.

#include "Mode.h"

#include <QString>
#include <functional>

class QWidget;

struct AppParts {
    // Creates the tray item and its menus (once, at launch).
    std::function<void()> buildStatusItem;
    // Something the tray shows has changed (mode, showing, cache): retitle and re-hide its items.
    std::function<void()> statusChanged;
    // Gives one of our windows (Preferences, welcome, mini player) the main menu as its menu bar.
    std::function<void(QWidget* window)> installMainMenu;

    // The Preferences window: open it (and bring it to the front), or take it off screen without closing it.
    std::function<void()> showPreferences;
    std::function<void()> hidePreferences;
    // Whether the Preferences window is on screen (an update waits while it is).
    std::function<bool()> preferencesVisible;
    // The welcome window of a first launch.
    std::function<void()> showWelcome;
    // The small always-on-top player in the corner.
    std::function<void()> toggleMiniPlayer;

    // Puts each screen's next still on the desktop (after a refresh pass, and at launch when offline).
    std::function<void()> applyDesktopPicture;
    // Puts back the desktop pictures remembered before the program first set one (the desktop picture
    // switched off, Turn Off and Quit).
    std::function<void()> restoreDesktopPicture;
    // Brings the live desktop in line with the settings (started, stopped or rebuilt).
    std::function<void()> syncLiveDesktop;
    // Whether the Sun shows outside the walls: the live desktop or the mini player.
    std::function<bool()> sunShownElsewhere;
    // Puts each screen's newest still of the product it shows on the desktop, without moving along the
    // rotation (after a light pass brought newer images).
    std::function<void()> followDesktopPicture;

    // Starts the update machinery at launch; asks it to check now (the tray's "Check for Updates…").
    std::function<void()> startUpdater;
    std::function<void()> checkForUpdates;

    // Replaces the installed screen-saver hack when the program carries a newer one (at launch).
    std::function<void()> refreshInstalledSaver;
    // Installs the carried hack for the user (the Preferences button) and gives the note to show under the
    // button: what to do next, or why it could not install. Empty when there is nothing to say.
    std::function<QString()> installSaver;

    // Every empty member becomes a stub that logs "<part>: not in this version" on each call (the calls
    // made in passing, statusChanged and hidePreferences, do nothing).
    void fillMissing();
};
