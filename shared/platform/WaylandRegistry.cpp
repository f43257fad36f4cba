#include "WaylandRegistry.h"

#include <wayland-client.h>

#include <algorithm>

WaylandRegistry::WaylandRegistry(wl_display* display) : display_(display), ignored_(ignored()) {
    if (!display_) return;
    queue_ = wl_display_create_queue(display_);
    // A wrapper puts the registry on our queue from its creation, so no event of it reaches Qt's.
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue_);
    registry_ = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    static const wl_registry_listener listener = {&WaylandRegistry::announced, &WaylandRegistry::removed};
    wl_registry_add_listener(registry_, &listener, this);
    wl_display_roundtrip_queue(display_, queue_);
}

WaylandRegistry::~WaylandRegistry() {
    if (registry_) wl_registry_destroy(registry_);
    if (queue_) wl_event_queue_destroy(queue_);
}

QStringList WaylandRegistry::ignored() {
    QStringList names;
    for (const QString& name : qEnvironmentVariable("SOLVANE_WAYLAND_IGNORE").split(',', Qt::SkipEmptyParts))
        names << name.trimmed();
    return names;
}

void WaylandRegistry::announced(void* data, wl_registry*, uint32_t name, const char* interface,
                                uint32_t version) {
    auto* self = static_cast<WaylandRegistry*>(data);
    const QString text = QString::fromLatin1(interface);
    if (self->ignored_.contains(text)) return;
    self->globals_.push_back({name, text, version});
}

void WaylandRegistry::removed(void* data, wl_registry*, uint32_t name) {
    auto& globals = static_cast<WaylandRegistry*>(data)->globals_;
    globals.erase(
        std::remove_if(globals.begin(), globals.end(), [name](const Global& g) { return g.name == name; }),
        globals.end());
}

bool WaylandRegistry::has(const char* interface) const {
    const QString text = QString::fromLatin1(interface);
    return std::any_of(globals_.begin(), globals_.end(),
                       [&](const Global& g) { return g.interface == text; });
}

void* WaylandRegistry::bind(const wl_interface* interface, uint32_t version) {
    const QString text = QString::fromLatin1(interface->name);
    for (const Global& global : globals_) {
        if (global.interface != text) continue;
        return wl_registry_bind(registry_, global.name, interface,
                                std::min({version, global.version, uint32_t(interface->version)}));
    }
    return nullptr;
}

void WaylandRegistry::dispatchPending() {
    if (display_ && queue_) wl_display_dispatch_queue_pending(display_, queue_);
}

QStringList WaylandRegistry::interfaces() const {
    QStringList names;
    for (const Global& global : globals_)
        names << global.interface;
    return names;
}
