#pragma once
// A surface of our own in one of the compositor's layers (zwlr_layer_shell_v1: sway, Plasma, Hyprland):
// the bottom layer (above the wallpaper, which sway keeps in the background layer, below every window)
// for the live desktop and a desktop picture of our own, the overlay layer above the windows for the
// mini player. Qt 6.4 gives its windows no way into a layer, so the caller's content
// (a hidden widget, a still) is painted into shared memory and handed to the compositor: at a steady
// rate, or for a still only when something changed. The surface takes no input and never the keyboard.

#include "PaintedSurface.h"

#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QScreen;
struct wl_buffer;
struct wl_surface;
struct zwlr_layer_surface_v1;

class WaylandLayerSurface : public PaintedSurface {
    Q_OBJECT
public:
    enum class Layer { background = 0, bottom = 1, overlay = 3 };
    struct Placement {
        Layer layer = Layer::background;
        QScreen* screen = nullptr;
        // Zero: the whole output. Otherwise this size, `margin` in from the output's top-right corner.
        QSize size;
        int margin = 0;
    };

    // Whether the compositor offers layers (on Qt's Wayland platform).
    static bool available();
    // Nothing when the compositor has no layers. `purpose` names the surface to the compositor.
    static std::unique_ptr<WaylandLayerSurface> create(Painter paint, const Placement& placement,
                                                       const QString& purpose);
    ~WaylandLayerSurface() override;

    // A still: from now on a frame goes only when the compositor gives a new size or `redraw` asks for
    // one, and the compositor's events are read a few times a second instead of at the frame rate. A
    // still steps aside (its surface goes, and comes back) while a moving surface of ours fills its
    // output in the same layer.
    void holdStill();
    // Hands over a fresh frame now (at the next tick while the compositor still reads both buffers).
    void redraw();

private:
    WaylandLayerSurface() = default;
    friend struct WaylandLayerSurfaceEvents;
    static std::vector<WaylandLayerSurface*>& ours();
    void map();
    void unmap();
    bool moving() const;
    void configured(uint32_t serial, uint32_t width, uint32_t height);
    void draw();
    bool makeBuffers(QSize size);
    void dropBuffers();

    struct Buffer {
        wl_buffer* buffer = nullptr;
        QImage image; // over the shared memory
        bool busy = false;
    };
    Painter paint_;
    Placement placement_;
    QPointer<QScreen> screen_;
    QByteArray purpose_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    Buffer buffers_[2];
    void* memory_ = nullptr;
    size_t memorySize_ = 0;
    QTimer tick_;
    int scale_ = 1; // the output's scale: buffers have that many pixels to a logical one
    bool configuredOnce_ = false;
    bool still_ = false;
    bool stale_ = true; // a still whose current picture is not handed over yet
};
