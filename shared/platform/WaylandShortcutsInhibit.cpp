#include "WaylandShortcutsInhibit.h"

#include "WaylandQt.h"
#include "WaylandRegistry.h"

#include <keyboard-shortcuts-inhibit-unstable-v1-client-protocol.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <algorithm>

std::unique_ptr<WaylandShortcutsInhibit> WaylandShortcutsInhibit::open() {
    WaylandRegistry* registry = WaylandQt::registry();
    if (!registry || !registry->has(zwp_keyboard_shortcuts_inhibit_manager_v1_interface.name)) return nullptr;
    auto* seat = static_cast<wl_seat*>(registry->bind(&wl_seat_interface, 1));
    if (!seat) return nullptr;
    auto* manager = static_cast<zwp_keyboard_shortcuts_inhibit_manager_v1*>(
        registry->bind(&zwp_keyboard_shortcuts_inhibit_manager_v1_interface, 1));
    return std::unique_ptr<WaylandShortcutsInhibit>(new WaylandShortcutsInhibit(manager, seat));
}

WaylandShortcutsInhibit::~WaylandShortcutsInhibit() {
    if (!WaylandQt::display()) return; // Qt's connection is gone, and with it every object on it
    for (const Inhibitor& held : inhibitors_)
        zwp_keyboard_shortcuts_inhibitor_v1_destroy(held.inhibitor);
    zwp_keyboard_shortcuts_inhibit_manager_v1_destroy(manager_);
    wl_seat_destroy(seat_);
}

bool WaylandShortcutsInhibit::hold(QWindow* window) {
    if (!WaylandQt::surface(window)) return false;
    // The compositor honours an inhibitor only while its surface has the keyboard focus, and it may
    // focus any of the kiosk's walls: every shown window of ours gets one.
    std::erase_if(inhibitors_, [](const Inhibitor& held) {
        if (held.window && held.window->isVisible() && WaylandQt::surface(held.window) == held.surface)
            return false;
        zwp_keyboard_shortcuts_inhibitor_v1_destroy(held.inhibitor);
        return true;
    });
    for (QWindow* shown : QGuiApplication::topLevelWindows()) {
        if (!shown->isVisible() || shown->type() != Qt::Window) continue;
        wl_surface* surface = WaylandQt::surface(shown);
        // One inhibitor per surface: a second is a protocol error.
        if (!surface || std::any_of(inhibitors_.begin(), inhibitors_.end(),
                                    [surface](const Inhibitor& held) { return held.surface == surface; }))
            continue;
        inhibitors_.push_back(
            {shown, surface,
             zwp_keyboard_shortcuts_inhibit_manager_v1_inhibit_shortcuts(manager_, surface, seat_)});
    }
    wl_display_flush(WaylandQt::display());
    return true;
}

void WaylandShortcutsInhibit::release(QWindow*) {
    for (const Inhibitor& held : inhibitors_)
        zwp_keyboard_shortcuts_inhibitor_v1_destroy(held.inhibitor);
    inhibitors_.clear();
    if (wl_display* display = WaylandQt::display()) wl_display_flush(display);
}
