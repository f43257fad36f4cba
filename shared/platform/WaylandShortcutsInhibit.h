#pragma once
// The kiosk's keyboard on Wayland: zwp_keyboard_shortcuts_inhibit_manager_v1 asks the compositor to pass
// every key to the kiosk's surfaces while one has the keyboard focus, its own shortcuts included. A hold
// covers every shown window of ours; a release lets go of all.

#include "KeyboardHold.h"

#include <QPointer>
#include <QWindow>
#include <memory>
#include <vector>

struct wl_seat;
struct wl_surface;
struct zwp_keyboard_shortcuts_inhibit_manager_v1;
struct zwp_keyboard_shortcuts_inhibitor_v1;

class WaylandShortcutsInhibit : public KeyboardHold {
public:
    // Nothing off Qt's Wayland platform or when the compositor lacks the manager or a seat.
    static std::unique_ptr<WaylandShortcutsInhibit> open();
    ~WaylandShortcutsInhibit() override;

    bool hold(QWindow* window) override;
    void release(QWindow* window) override;
    bool possible() const override { return true; }
    QString name() const override { return QStringLiteral("zwp_keyboard_shortcuts_inhibit_manager_v1"); }

private:
    WaylandShortcutsInhibit(zwp_keyboard_shortcuts_inhibit_manager_v1* manager, wl_seat* seat)
        : manager_(manager), seat_(seat) {}

    struct Inhibitor {
        QPointer<QWindow> window;
        wl_surface* surface;
        zwp_keyboard_shortcuts_inhibitor_v1* inhibitor;
    };
    zwp_keyboard_shortcuts_inhibit_manager_v1* manager_;
    wl_seat* seat_;
    std::vector<Inhibitor> inhibitors_;
};
