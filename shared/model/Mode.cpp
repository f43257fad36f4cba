#include "Mode.h"

namespace Modes {

QString rawValue(Mode mode) {
    switch (mode) {
    case Mode::wall:
        return QStringLiteral("wall");
    case Mode::saver:
        return QStringLiteral("saver");
    case Mode::kiosk:
        return QStringLiteral("kiosk");
    case Mode::desktop:
        return QStringLiteral("desktop");
    }
    return QStringLiteral("desktop");
}

std::optional<Mode> fromRawValue(const QString& raw) {
    for (Mode mode : allCases)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

int segment(Mode mode) {
    switch (mode) {
    case Mode::desktop:
        return 0;
    case Mode::saver:
        return 1;
    case Mode::wall:
        return 2;
    case Mode::kiosk:
        return 3;
    }
    return 0;
}

QString segmentTitle(Mode mode) {
    switch (mode) {
    case Mode::wall:
        return QStringLiteral("Wall");
    case Mode::saver:
        return QStringLiteral("Screen Saver");
    case Mode::kiosk:
        return QStringLiteral("Kiosk");
    case Mode::desktop:
        return QStringLiteral("Desktop");
    }
    return {};
}

std::optional<Mode> atSegment(int position) {
    for (Mode mode : allCases)
        if (segment(mode) == position) return mode;
    return std::nullopt;
}

QString helpLine(Mode mode) {
    switch (mode) {
    case Mode::wall:
        return QStringLiteral(
            "Starts when you open Solvane or click Start. Ends on its close button, which appears "
            "when you move the mouse.");
    case Mode::saver:
        // There is no Dock here; the tray menu is where the app is quit.
        return QStringLiteral(
            "Waits in the background and starts after the idle time. Any input dismisses it. "
            "Quit from the tray menu to stop waiting.");
    case Mode::kiosk:
        return QStringLiteral(
            "Starts at login and stays up. Offline, with all imagery downloaded first. Exit a "
            "running kiosk with Ctrl-Alt-Super-Q.");
    case Mode::desktop:
        // The tray is where a menu-bar app lives on this desktop.
        return QStringLiteral(
            "Keeps each screen's desktop picture current with the latest still. Leave Solvane "
            "running; it lives in the system tray.");
    }
    return {};
}

QString startTitle(Mode mode) {
    switch (mode) {
    case Mode::wall:
        return QStringLiteral("Start Wall");
    case Mode::saver:
        return QStringLiteral("Start Now");
    case Mode::kiosk:
        return QStringLiteral("Start Kiosk");
    case Mode::desktop:
        return QStringLiteral("Update Desktop Now");
    }
    return {};
}

QString armToolTip(Mode mode) {
    switch (mode) {
    case Mode::wall:
        return QStringLiteral(
            "Hide this window and wait for the idle timer below, then start the wall on its own.");
    case Mode::saver:
        return QStringLiteral(
            "Hide this window now, same as what Screen Saver mode already waits to do on its own.");
    case Mode::kiosk:
        return QStringLiteral(
            "Hide this window and wait for the idle timer below, then start the kiosk on its own.");
    case Mode::desktop:
        return QStringLiteral(
            "Hide this window and leave it running; the picture updates on its own schedule.");
    }
    return {};
}

QString presetNote(Mode mode) {
    if (mode != Mode::kiosk) return {};
    return QStringLiteral(
        "Kiosk mode turned these on, along with Offline below. Leaving Kiosk puts them back.");
}

} // namespace Modes
