#pragma once
// The live desktop on a Wayland desktop without layers (GNOME): a desktop-type window on XWayland, which
// Mutter keeps below every window, X11's and Wayland's alike. The program itself runs on Qt's Wayland
// platform, so the window is made on a connection of our own to XWayland and what the hidden widget
// paints is put into it at a steady rate. It never takes the keyboard.

#include "PaintedSurface.h"

#include <QImage>
#include <QRect>
#include <QTimer>
#include <memory>

struct xcb_connection_t;

class XWaylandDesktopSurface : public PaintedSurface {
    Q_OBJECT
public:
    // A window covering `geometry` (XWayland's pixels) titled `title`; nothing when no X server answers
    // at DISPLAY.
    static std::unique_ptr<XWaylandDesktopSurface> create(Painter paint, const QRect& geometry,
                                                          const QString& title);
    ~XWaylandDesktopSurface() override;

    // The X11 window's id.
    quint32 window() const { return window_; }

private:
    XWaylandDesktopSurface() = default;
    void draw();

    Painter paint_;
    xcb_connection_t* connection_ = nullptr;
    quint32 window_ = 0;
    quint32 gc_ = 0;
    quint8 depth_ = 24;
    QImage image_;
    QTimer tick_;
};
