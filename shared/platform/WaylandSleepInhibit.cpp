#include "WaylandSleepInhibit.h"

#include "WaylandIdleTime.h"
#include "WaylandQt.h"
#include "WaylandRegistry.h"

#include <idle-inhibit-unstable-v1-client-protocol.h>
#include <wayland-client.h>

#include <QGuiApplication>

std::unique_ptr<WaylandSleepInhibit> WaylandSleepInhibit::open() {
    WaylandRegistry* registry = WaylandQt::registry();
    if (!registry) return nullptr;
    auto* manager =
        static_cast<zwp_idle_inhibit_manager_v1*>(registry->bind(&zwp_idle_inhibit_manager_v1_interface, 1));
    if (!manager) return nullptr;
    return std::unique_ptr<WaylandSleepInhibit>(new WaylandSleepInhibit(manager));
}

WaylandSleepInhibit::WaylandSleepInhibit(zwp_idle_inhibit_manager_v1* manager) : manager_(manager) {
    recheck_.setInterval(1000);
    connect(&recheck_, &QTimer::timeout, this, [this] { cover(); });
}

WaylandSleepInhibit::~WaylandSleepInhibit() {
    release();
    // Qt's connection may already be gone when the program ends; then there is nothing to tell.
    if (WaylandQt::display()) zwp_idle_inhibit_manager_v1_destroy(manager_);
}

bool WaylandSleepInhibit::inhibit(const QString&, const QString&) {
    holding_ = true;
    WaylandIdleTime::setOwnInhibit(true);
    cover();
    recheck_.start();
    return true;
}

void WaylandSleepInhibit::release() {
    if (!holding_) return;
    holding_ = false;
    recheck_.stop();
    for (const Inhibitor& held : inhibitors_)
        zwp_idle_inhibitor_v1_destroy(held.inhibitor);
    inhibitors_.clear();
    WaylandIdleTime::setOwnInhibit(false);
    if (wl_display* display = WaylandQt::display()) wl_display_flush(display);
}

void WaylandSleepInhibit::cover() {
    wl_display* display = WaylandQt::display();
    if (!display) return;
    // A window hidden or destroyed since loses its inhibitor (Qt makes a new surface at each show).
    std::erase_if(inhibitors_, [](const Inhibitor& held) {
        const bool current =
            held.window && held.window->isVisible() && WaylandQt::surface(held.window) == held.surface;
        if (!current) zwp_idle_inhibitor_v1_destroy(held.inhibitor);
        return !current;
    });
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->isVisible() || window->type() != Qt::Window) continue;
        wl_surface* surface = WaylandQt::surface(window);
        if (!surface) continue;
        const bool covered = std::any_of(inhibitors_.begin(), inhibitors_.end(),
                                         [&](const Inhibitor& held) { return held.surface == surface; });
        if (covered) continue;
        inhibitors_.push_back(
            {window, surface, zwp_idle_inhibit_manager_v1_create_inhibitor(manager_, surface)});
    }
    wl_display_flush(display);
}
