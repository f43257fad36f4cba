#include "XWaylandDesktopSurface.h"

#include "Log.h"

#include <QPainter>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

void setText(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
             const QByteArray& text) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 8, uint32_t(text.size()),
                        text.constData());
}

} // namespace

std::unique_ptr<XWaylandDesktopSurface> XWaylandDesktopSurface::create(Painter paint, const QRect& geometry,
                                                                       const QString& title) {
    if (!paint || geometry.isEmpty()) return nullptr;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        log("live desktop: XWayland does not answer at DISPLAY \"" + qEnvironmentVariable("DISPLAY") + "\"",
            LogArea::desktop);
        return nullptr;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    auto made = std::unique_ptr<XWaylandDesktopSurface>(new XWaylandDesktopSurface());
    made->paint_ = std::move(paint);
    made->connection_ = c;
    made->depth_ = screen->root_depth;
    made->window_ = xcb_generate_id(c);
    const uint32_t values[] = {screen->black_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, made->window_, screen->root, int16_t(geometry.x()),
                      int16_t(geometry.y()), uint16_t(geometry.width()), uint16_t(geometry.height()), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
    const xcb_atom_t desktop = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, made->window_, atom(c, "_NET_WM_WINDOW_TYPE"),
                        XCB_ATOM_ATOM, 32, 1, &desktop);
    setText(c, made->window_, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), title.toUtf8());
    setText(c, made->window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title.toLatin1());
    setText(c, made->window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, QByteArray("solvane\0Solvane\0", 16));
    // WM_HINTS: input (flag 1) false, so a click never gives it the keyboard.
    const uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, made->window_, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9,
                        hints);
    made->gc_ = xcb_generate_id(c);
    xcb_create_gc(c, made->gc_, made->window_, 0, nullptr);
    xcb_map_window(c, made->window_);
    xcb_flush(c);

    made->size_ = geometry.size();
    made->image_ = QImage(geometry.size(), QImage::Format_RGB32);
    made->tick_.setInterval(frameMs);
    connect(&made->tick_, &QTimer::timeout, made.get(), [self = made.get()] { self->draw(); });
    made->tick_.start();
    made->draw();
    return made;
}

XWaylandDesktopSurface::~XWaylandDesktopSurface() {
    tick_.stop();
    if (!connection_) return;
    xcb_free_gc(connection_, gc_);
    xcb_destroy_window(connection_, window_);
    xcb_flush(connection_);
    xcb_disconnect(connection_);
}

void XWaylandDesktopSurface::draw() {
    // Nothing is asked of the server's events; they are only kept from piling up.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
        std::free(event);
    if (xcb_connection_has_error(connection_)) {
        tick_.stop();
        log("live desktop: the connection to XWayland broke", LogArea::desktop);
        emit closed();
        return;
    }
    if (!dueNow()) return;
    image_.fill(Qt::black);
    {
        QPainter painter(&image_);
        paint_(painter, size_);
    }
    // In bands that fit one request (the server's limit, in 4-byte units, less the request's header).
    const int stride = int(image_.bytesPerLine());
    const uint32_t limit = xcb_get_maximum_request_length(connection_) * 4 - 64;
    const int rows = std::max(1, int(limit / uint32_t(stride)));
    for (int top = 0; top < image_.height(); top += rows) {
        const int band = std::min(rows, image_.height() - top);
        xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, uint16_t(image_.width()),
                      uint16_t(band), 0, int16_t(top), 0, depth_, uint32_t(stride * band),
                      image_.constScanLine(top));
    }
    xcb_flush(connection_);
    ++frames_;
}
