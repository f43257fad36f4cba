#pragma once
// Display sleep held off through zwp_idle_inhibit_manager_v1: one inhibitor on the surface of each of
// our shown top-level windows (the walls), which the compositor honours while that surface is visible.
// Walls rebuilt while held (a display change) get theirs within a second.

#include "SleepInhibit.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <vector>

struct wl_surface;
struct zwp_idle_inhibit_manager_v1;
struct zwp_idle_inhibitor_v1;

class WaylandSleepInhibit : public QObject, public SleepInhibit {
public:
    // Nothing off Qt's Wayland platform or when the compositor lacks the manager.
    static std::unique_ptr<WaylandSleepInhibit> open();
    ~WaylandSleepInhibit() override;

    bool inhibit(const QString& application, const QString& reason) override;
    void release() override;
    bool held() const override { return holding_; }
    QString name() const override { return QStringLiteral("zwp_idle_inhibit_manager_v1"); }
    // How many surfaces carry an inhibitor now.
    int surfaces() const { return int(inhibitors_.size()); }

private:
    explicit WaylandSleepInhibit(zwp_idle_inhibit_manager_v1* manager);
    // Puts an inhibitor on every shown window that has none and drops those of hidden ones.
    void cover();

    struct Inhibitor {
        QPointer<QWindow> window;
        wl_surface* surface;
        zwp_idle_inhibitor_v1* inhibitor;
    };
    zwp_idle_inhibit_manager_v1* manager_;
    std::vector<Inhibitor> inhibitors_;
    QTimer recheck_;
    bool holding_ = false;
};
