#include "WaylandQt.h"

#include "WaylandRegistry.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

namespace WaylandQt {

wl_display* display() {
    if (!qGuiApp || qGuiApp->platformName() != QLatin1String("wayland")) return nullptr;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display")) : nullptr;
}

WaylandRegistry* registry() {
    wl_display* qt = display();
    if (!qt) return nullptr;
    // Lives as long as the process: Qt may close its connection before static destructors run.
    static WaylandRegistry* globals = nullptr;
    static wl_display* of = nullptr;
    if (of != qt) {
        globals = new WaylandRegistry(qt);
        of = qt;
    }
    return globals;
}

wl_surface* surface(QWindow* window) {
    if (!window || !display() || !window->handle()) return nullptr;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window));
}

} // namespace WaylandQt
