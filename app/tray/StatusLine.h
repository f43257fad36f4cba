#pragma once
// The pure rules behind the tray menu: the status line's words, which items a mode shows, and when the
// live icon is due again. Plain inputs, so tests call them on fixed values.

#include "Mode.h"

#include <QDateTime>
#include <QString>
#include <optional>

// What the status line is made of, read from the controller and the settings at the moment of asking.
struct StatusState {
    Mode mode = Mode::wall;
    bool showing = false;
    bool armedWaiting = false;
    double idleMinutes = 5;
    bool offline = false;
    bool configured = true; // a mode has been chosen (the welcome window or Preferences)
    // Desktop mode: when this run last set the desktop picture, or why it could not.
    std::optional<QDateTime> pictureSet;
    QString pictureFailure;
};

// One line telling in words what the program is doing (the first line of the tray menu).
QString statusLine(const StatusState& state);

// The tray menu's changing parts for a mode: the start item's title and which items show. Before a mode
// is chosen there is nothing to start or update.
struct MenuLook {
    std::optional<QString> startTitle; // nothing in desktop mode: the hidden item keeps its title
    bool startVisible = true;
    bool desktopVisible = false;
    bool updateVisible = true;
    bool shareVisible = true;
};
MenuLook menuLook(Mode mode, bool desktopActive, bool configured = true);

namespace StatusThumb {
// The live icon is redrawn at most this often.
inline constexpr qint64 intervalSeconds = 1200;
// True without a last time, or when `now` is at least the interval after `last`.
bool due(const std::optional<QDateTime>& last, const QDateTime& now);
} // namespace StatusThumb
