#pragma once
// Idle time from the compositor on Wayland sessions: ext-idle-notify-v1 where it is advertised (sway 1.8
// and later, Plasma, Hyprland), else org_kde_kwin_idle (sway 1.7, older KWin). Both only say when the
// seat has been idle for a set time and when input came back, so the adapter asks to hear after one
// second and counts on from there. Over a connection of its own, so it answers whatever Qt's platform
// is (XWayland included); the tick's calls read what arrived, nothing blocks.

#include "IdleTime.h"

#include <chrono>
#include <memory>

class WaylandRegistry;
struct wl_display;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

class WaylandIdleTime : public IdleTime {
public:
    static constexpr unsigned timeoutMs = 1000;

    // Nothing when no compositor answers on WAYLAND_DISPLAY or it advertises neither protocol.
    static std::unique_ptr<WaylandIdleTime> open();
    ~WaylandIdleTime() override;

    std::optional<double> secondsIdle() override;
    QString name() const override { return protocol_; }

    // While our own surfaces keep the session from idling the compositor reports nothing; the
    // adapter then cannot tell (the display-sleep adapter says when).
    static void setOwnInhibit(bool held);

private:
    friend struct WaylandIdleTimeEvents;
    WaylandIdleTime() = default;
    void pump();
    void changed(bool idle);

    wl_display* display_ = nullptr;
    std::unique_ptr<WaylandRegistry> registry_;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* notifier_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
    QString protocol_;
    bool idle_ = false;
    bool lost_ = false;
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
};
