#include "WaylandIdleTime.h"

#include "Log.h"
#include "WaylandRegistry.h"

#include <ext-idle-notify-v1-client-protocol.h>
#include <idle-client-protocol.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <poll.h>

namespace {
bool ownInhibit = false;

void idled(void* data, ext_idle_notification_v1*);
void resumed(void* data, ext_idle_notification_v1*);
const ext_idle_notification_v1_listener notificationListener = {idled, resumed};
void kdeIdled(void* data, org_kde_kwin_idle_timeout*);
void kdeResumed(void* data, org_kde_kwin_idle_timeout*);
const org_kde_kwin_idle_timeout_listener timeoutListener = {kdeIdled, kdeResumed};
} // namespace

// The C listeners reach the adapter through this friend.
struct WaylandIdleTimeEvents {
    static void changed(void* data, bool idle) { static_cast<WaylandIdleTime*>(data)->changed(idle); }
};

namespace {
void idled(void* data, ext_idle_notification_v1*) {
    WaylandIdleTimeEvents::changed(data, true);
}
void resumed(void* data, ext_idle_notification_v1*) {
    WaylandIdleTimeEvents::changed(data, false);
}
void kdeIdled(void* data, org_kde_kwin_idle_timeout*) {
    WaylandIdleTimeEvents::changed(data, true);
}
void kdeResumed(void* data, org_kde_kwin_idle_timeout*) {
    WaylandIdleTimeEvents::changed(data, false);
}
} // namespace

void WaylandIdleTime::setOwnInhibit(bool held) {
    ownInhibit = held;
}

std::unique_ptr<WaylandIdleTime> WaylandIdleTime::open() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    auto source = std::unique_ptr<WaylandIdleTime>(new WaylandIdleTime());
    source->display_ = display;
    source->registry_ = std::make_unique<WaylandRegistry>(display);
    WaylandRegistry& registry = *source->registry_;
    source->seat_ = static_cast<wl_seat*>(registry.bind(&wl_seat_interface, 1));
    if (!source->seat_) return nullptr;
    if (auto* notifier =
            static_cast<ext_idle_notifier_v1*>(registry.bind(&ext_idle_notifier_v1_interface, 1))) {
        source->notifier_ = notifier;
        source->notification_ =
            ext_idle_notifier_v1_get_idle_notification(notifier, timeoutMs, source->seat_);
        ext_idle_notification_v1_add_listener(source->notification_, &notificationListener, source.get());
        source->protocol_ = QStringLiteral("ext-idle-notify-v1");
    } else if (auto* idle = static_cast<org_kde_kwin_idle*>(registry.bind(&org_kde_kwin_idle_interface, 1))) {
        source->kdeIdle_ = idle;
        source->kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(idle, source->seat_, timeoutMs);
        org_kde_kwin_idle_timeout_add_listener(source->kdeTimeout_, &timeoutListener, source.get());
        source->protocol_ = QStringLiteral("org_kde_kwin_idle");
    } else {
        return nullptr;
    }
    source->since_ = std::chrono::steady_clock::now();
    wl_display_flush(display);
    return source;
}

WaylandIdleTime::~WaylandIdleTime() {
    if (notification_) ext_idle_notification_v1_destroy(notification_);
    if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
    if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
    if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
    if (seat_) wl_seat_destroy(seat_);
    if (display_) wl_display_flush(display_);
    registry_.reset();
    if (display_) wl_display_disconnect(display_);
}

void WaylandIdleTime::changed(bool idle) {
    idle_ = idle;
    since_ = std::chrono::steady_clock::now();
    // Counted from the last input, which was one timeout before the compositor said so.
    if (idle) since_ -= std::chrono::milliseconds(timeoutMs);
}

void WaylandIdleTime::pump() {
    if (lost_) return;
    wl_event_queue* queue = registry_->queue();
    while (wl_display_prepare_read_queue(display_, queue) != 0)
        wl_display_dispatch_queue_pending(display_, queue);
    wl_display_flush(display_);
    pollfd ready = {wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0)
        wl_display_read_events(display_);
    else
        wl_display_cancel_read(display_);
    wl_display_dispatch_queue_pending(display_, queue);
    if (const int error = wl_display_get_error(display_)) {
        lost_ = true;
        log("idle time: the compositor closed our connection (" +
                QString::fromLocal8Bit(std::strerror(error)) + "); idle time is unknown from now on",
            LogArea::app);
    }
}

std::optional<double> WaylandIdleTime::secondsIdle() {
    pump();
    if (lost_ || ownInhibit) return std::nullopt;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - since_).count();
    // Not idle yet: the last input was within the timeout, though the compositor does not say when.
    return idle_ ? seconds : std::min(seconds, timeoutMs / 1000.0);
}
