#include "X11WindowOcclusion.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::vector<quint32> windowsProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                     xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 4096), nullptr),
        &std::free);
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return std::vector<quint32>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

} // namespace

X11WindowOcclusion::X11WindowOcclusion(QWindow* window, QObject* parent)
    : WindowOcclusion(parent), window_(window), id_(quint32(window->winId())) {
    xcb_connection_t* c = connection();
    if (!c) return;
    // Add visibility (ours) and property changes (the root's stacking list) to what Qt already selects.
    for (const auto& [target, extra] :
         {std::pair{xcb_window_t(id_), uint32_t(XCB_EVENT_MASK_VISIBILITY_CHANGE)},
          std::pair{rootOf(c), uint32_t(XCB_EVENT_MASK_PROPERTY_CHANGE)}}) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, target), nullptr), &std::free);
        if (!attributes) continue;
        const uint32_t mask = attributes->your_event_mask | extra;
        xcb_change_window_attributes(c, target, XCB_CW_EVENT_MASK, &mask);
    }
    xcb_flush(c);
    qGuiApp->installNativeEventFilter(this);
}

X11WindowOcclusion::~X11WindowOcclusion() {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

void X11WindowOcclusion::markDesktopWindow(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c) return;
    const xcb_atom_t desktop = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                        atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &desktop);
    xcb_flush(c);
}

bool X11WindowOcclusion::keepBelowOtherDesktopWindows(QWindow* window, const std::vector<quint32>& ours) {
    xcb_connection_t* c = connection();
    if (!c || !window) return false;
    const xcb_window_t root = rootOf(c);
    const xcb_window_t id = xcb_window_t(window->winId());
    const xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t desktop = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    const std::vector<quint32> stack =
        windowsProperty(c, root, atom(c, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
    // The lowest other desktop window, and whether ours already lies below it (bottom to top).
    std::optional<xcb_window_t> lowest;
    bool oursFirst = false;
    for (quint32 client : stack) {
        if (client == id) {
            if (!lowest) oursFirst = true;
            continue;
        }
        if (lowest || std::find(ours.begin(), ours.end(), client) != ours.end()) continue;
        const std::vector<quint32> types = windowsProperty(c, client, type, XCB_ATOM_ATOM);
        if (std::find(types.begin(), types.end(), desktop) != types.end()) lowest = client;
    }
    if (!lowest || oursFirst) return true;
    // _NET_RESTACK_WINDOW from a pager (source 2): ours Below (1) the sibling.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = atom(c, "_NET_RESTACK_WINDOW");
    message.data.data32[0] = 2;
    message.data.data32[1] = *lowest;
    message.data.data32[2] = XCB_STACK_MODE_BELOW;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    return true;
}

bool X11WindowOcclusion::occluded() const {
    return obscured_ || (compositing() && coveredUnderCompositor());
}

bool X11WindowOcclusion::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    bool look = false;
    if (type == XCB_VISIBILITY_NOTIFY) {
        const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
        if (visibility->window != id_) return false;
        obscured_ = visibility->state == XCB_VISIBILITY_FULLY_OBSCURED;
        look = true;
    } else if (type == XCB_PROPERTY_NOTIFY) {
        static const xcb_atom_t stacking = atom(connection(), "_NET_CLIENT_LIST_STACKING");
        static const xcb_atom_t active = atom(connection(), "_NET_ACTIVE_WINDOW");
        const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
        look = (property->atom == stacking || property->atom == active) && compositing();
    }
    if (look) {
        const bool now = occluded();
        if (now != last_ || type == XCB_VISIBILITY_NOTIFY) {
            last_ = now;
            emit changed();
        }
    }
    return false; // Qt handles the event as well
}

bool X11WindowOcclusion::compositing() const {
    xcb_connection_t* c = connection();
    if (!c) return false;
    static const xcb_atom_t selection = atom(c, "_NET_WM_CM_S0");
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr), &std::free);
    return owner && owner->owner != XCB_NONE;
}

bool X11WindowOcclusion::coveredUnderCompositor() const {
    xcb_connection_t* c = connection();
    const QScreen* screen = window_->screen();
    if (!c || !screen) return false;
    const xcb_window_t root = rootOf(c);
    const xcb_atom_t stateAtom = atom(c, "_NET_WM_STATE");
    const xcb_atom_t fullScreen = atom(c, "_NET_WM_STATE_FULLSCREEN");
    const xcb_atom_t vertical = atom(c, "_NET_WM_STATE_MAXIMIZED_VERT");
    const xcb_atom_t horizontal = atom(c, "_NET_WM_STATE_MAXIMIZED_HORZ");
    const xcb_atom_t hidden = atom(c, "_NET_WM_STATE_HIDDEN");
    const xcb_atom_t frameExtents = atom(c, "_NET_FRAME_EXTENTS");
    const std::vector<quint32> stack =
        windowsProperty(c, root, atom(c, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);

    std::vector<Above> above;
    bool seenOurs = false;
    for (quint32 client : stack) { // bottom to top
        if (client == id_) {
            seenOurs = true;
            continue;
        }
        if (!seenOurs) continue;
        Above window;
        const std::vector<quint32> states = windowsProperty(c, client, stateAtom, XCB_ATOM_ATOM);
        const auto has = [&](xcb_atom_t wanted) {
            return std::find(states.begin(), states.end(), wanted) != states.end();
        };
        window.fullScreen = has(fullScreen);
        window.hidden = has(hidden);
        window.maximized = has(vertical) && has(horizontal);
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, client), nullptr), &std::free);
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, client, root, 0, 0), nullptr),
            &std::free);
        if (!geometry || !origin) continue;
        window.frame = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        // The window manager's decorations are part of what covers: left, right, top, bottom.
        const std::vector<quint32> extents = windowsProperty(c, client, frameExtents, XCB_ATOM_CARDINAL);
        if (extents.size() == 4)
            window.frame.adjust(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
        above.push_back(window);
    }
    const qreal ratio = screen->devicePixelRatio();
    const auto device = [ratio](const QRect& r) {
        return QRect(qRound(r.x() * ratio), qRound(r.y() * ratio), qRound(r.width() * ratio),
                     qRound(r.height() * ratio));
    };
    return covers(device(screen->geometry()), device(screen->availableGeometry()), above);
}
