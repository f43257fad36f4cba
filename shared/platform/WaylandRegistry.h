#pragma once
// The globals a Wayland compositor advertises, read with one round trip on an event queue of our own, so
// it can share Qt's connection without taking part in Qt's dispatching. Binds what callers ask for on
// that queue.
//
// SOLVANE_WAYLAND_IGNORE (a comma-separated list of interface names) makes globals count as absent: it
// shows what a compositor without them gets.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_interface;
struct wl_registry;

class WaylandRegistry {
public:
    // Reads the globals of `display`; a null display gives an empty registry.
    explicit WaylandRegistry(wl_display* display);
    ~WaylandRegistry();
    WaylandRegistry(const WaylandRegistry&) = delete;
    WaylandRegistry& operator=(const WaylandRegistry&) = delete;

    bool has(const char* interface) const;
    // A proxy for the first global of that interface at the lower of its version and `version`, on
    // our queue; nullptr when absent. The caller destroys it.
    void* bind(const wl_interface* interface, uint32_t version);
    // Delivers the events that arrived for our proxies (nothing blocks).
    void dispatchPending();

    wl_display* display() const { return display_; }
    wl_event_queue* queue() const { return queue_; }
    QStringList interfaces() const;

    // The names SOLVANE_WAYLAND_IGNORE lists.
    static QStringList ignored();

private:
    struct Global {
        uint32_t name;
        QString interface;
        uint32_t version;
    };
    static void announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
                          uint32_t version);
    static void removed(void* data, wl_registry* registry, uint32_t name);

    wl_display* display_ = nullptr;
    wl_event_queue* queue_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<Global> globals_;
    QStringList ignored_;
};
