#pragma once
// Qt's own Wayland connection, for the protocols that act on our windows' surfaces (idle inhibit,
// keyboard-shortcuts inhibit). Empty answers when Qt runs on another platform.

class QWindow;
class WaylandRegistry;
struct wl_display;
struct wl_surface;

namespace WaylandQt {
// Qt's connection, or nullptr when its platform is not Wayland.
wl_display* display();
// The globals on Qt's connection, read once per process; nullptr off Wayland.
WaylandRegistry* registry();
// The surface of a shown window; nullptr before Qt made it or off Wayland.
wl_surface* surface(QWindow* window);
} // namespace WaylandQt
