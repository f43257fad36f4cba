// GLib first: its headers use names that Qt's keywords would turn into macros.
#include <gio/gio.h>

#include "NetworkCost.h"

namespace {
// Called by GLib on the thread whose main context runs (Qt's GUI thread, through its GLib dispatcher).
void meteredChanged(GObject*, GParamSpec*, gpointer cost) {
    emit static_cast<GioNetworkCost*>(cost)->changed();
}
} // namespace

GioNetworkCost::GioNetworkCost(QObject* parent) : NetworkCost(parent) {
    // GLib picks the source once per process: the portal in a sandbox, NetworkManager when it runs,
    // else the kernel's routes, which know nothing of metering.
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    if (!monitor) return;
    monitor_ = g_object_ref(monitor);
    handler_ = g_signal_connect(monitor, "notify::network-metered", G_CALLBACK(meteredChanged), this);
}

GioNetworkCost::~GioNetworkCost() {
    if (!monitor_) return;
    g_signal_handler_disconnect(monitor_, handler_);
    g_object_unref(monitor_);
}

bool GioNetworkCost::metered() const {
    return monitor_ && g_network_monitor_get_network_metered(static_cast<GNetworkMonitor*>(monitor_));
}
