#include "WaylandLayerSurface.h"

#include "Log.h"
#include "WaylandQt.h"
#include "WaylandRegistry.h"

#include <wayland-client.h>
#include <wlr-layer-shell-unstable-v1-client-protocol.h>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QtMath>
#include <qpa/qplatformnativeinterface.h>

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    zwlr_layer_shell_v1* shell = nullptr;
};

// Bound once per process on Qt's connection; they live as long as it.
Globals* globals() {
    static Globals bound;
    static bool tried = false;
    WaylandRegistry* registry = WaylandQt::registry();
    if (!registry) return nullptr;
    if (!tried) {
        tried = true;
        if (registry->has(zwlr_layer_shell_v1_interface.name)) {
            bound.compositor = static_cast<wl_compositor*>(registry->bind(&wl_compositor_interface, 4));
            bound.shm = static_cast<wl_shm*>(registry->bind(&wl_shm_interface, 1));
            bound.shell =
                static_cast<zwlr_layer_shell_v1*>(registry->bind(&zwlr_layer_shell_v1_interface, 1));
        }
    }
    return bound.compositor && bound.shm && bound.shell ? &bound : nullptr;
}
} // namespace

struct WaylandLayerSurfaceEvents {
    static void configure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width,
                          uint32_t height) {
        static_cast<WaylandLayerSurface*>(data)->configured(serial, width, height);
    }
    static void closed(void* data, zwlr_layer_surface_v1*) {
        auto* self = static_cast<WaylandLayerSurface*>(data);
        QMetaObject::invokeMethod(self, &WaylandLayerSurface::closed, Qt::QueuedConnection);
    }
    static void release(void* data, wl_buffer*) { *static_cast<bool*>(data) = false; }
};

namespace {
const zwlr_layer_surface_v1_listener layerListener = {WaylandLayerSurfaceEvents::configure,
                                                      WaylandLayerSurfaceEvents::closed};
const wl_buffer_listener bufferListener = {WaylandLayerSurfaceEvents::release};
} // namespace

bool WaylandLayerSurface::available() {
    return globals() != nullptr;
}

std::vector<WaylandLayerSurface*>& WaylandLayerSurface::ours() {
    // Never destroyed: surfaces held by static owners may go after the statics of this file.
    static auto* surfaces = new std::vector<WaylandLayerSurface*>;
    return *surfaces;
}

std::unique_ptr<WaylandLayerSurface> WaylandLayerSurface::create(Painter paint, const Placement& placement,
                                                                 const QString& purpose) {
    if (!globals() || !paint) return nullptr;
    auto made = std::unique_ptr<WaylandLayerSurface>(new WaylandLayerSurface());
    made->paint_ = std::move(paint);
    made->placement_ = placement;
    made->screen_ = placement.screen;
    made->purpose_ = purpose.toUtf8();
    made->map();
    ours().push_back(made.get());
    made->tick_.setInterval(frameMs);
    connect(&made->tick_, &QTimer::timeout, made.get(), [self = made.get()] { self->draw(); });
    made->tick_.start();
    return made;
}

void WaylandLayerSurface::map() {
    Globals* bound = globals();
    surface_ = wl_compositor_create_surface(bound->compositor);
    wl_output* output = nullptr;
    if (screen_) {
        output = static_cast<wl_output*>(
            QGuiApplication::platformNativeInterface()->nativeResourceForScreen("output", screen_));
        if (!output)
            log("layer surface: Qt names no Wayland output for " + screen_->name() +
                    "; the compositor places it",
                LogArea::app);
    }
    // On a scaled output (HiDPI) the buffers carry the output's pixels, not the logical ones.
    if (screen_) scale_ = std::max(1, qCeil(screen_->devicePixelRatio()));
    wl_surface_set_buffer_scale(surface_, scale_);
    layer_ = zwlr_layer_shell_v1_get_layer_surface(bound->shell, surface_, output, uint32_t(placement_.layer),
                                                   purpose_.constData());
    zwlr_layer_surface_v1_add_listener(layer_, &layerListener, this);
    if (placement_.size.isEmpty()) {
        zwlr_layer_surface_v1_set_anchor(
            layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                        ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(layer_, 0, 0);
        zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1); // under panels too
    } else {
        zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(layer_, uint32_t(placement_.size.width()),
                                       uint32_t(placement_.size.height()));
        zwlr_layer_surface_v1_set_margin(layer_, placement_.margin, placement_.margin, 0, 0);
    }
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, 0);
    // Pointer and touch pass through to whatever is below.
    wl_region* none = wl_compositor_create_region(bound->compositor);
    wl_surface_set_input_region(surface_, none);
    wl_region_destroy(none);
    wl_surface_commit(surface_);
    wl_display_flush(WaylandQt::display());
}

void WaylandLayerSurface::unmap() {
    if (WaylandQt::display()) {
        dropBuffers();
        if (layer_) zwlr_layer_surface_v1_destroy(layer_);
        if (surface_) wl_surface_destroy(surface_);
        wl_display_flush(WaylandQt::display());
    }
    layer_ = nullptr;
    surface_ = nullptr;
    size_ = QSize();
    configuredOnce_ = false;
    stale_ = true;
}

WaylandLayerSurface::~WaylandLayerSurface() {
    tick_.stop();
    std::erase(ours(), this);
    unmap();
    if (memory_) munmap(memory_, memorySize_);
}

void WaylandLayerSurface::holdStill() {
    still_ = true;
    tick_.setInterval(250);
    if (moving()) unmap();
}

bool WaylandLayerSurface::moving() const {
    // A surface of ours that plays over this still's whole output in the same layer (a live desktop):
    // the still steps aside, since which of two surfaces of one layer lies on top is the compositor's.
    return std::any_of(ours().begin(), ours().end(), [this](const WaylandLayerSurface* other) {
        return other != this && !other->still_ && other->layer_ && other->screen_ == screen_ &&
               other->placement_.layer == placement_.layer && other->placement_.size.isEmpty() &&
               placement_.size.isEmpty();
    });
}

void WaylandLayerSurface::redraw() {
    stale_ = true;
    draw();
}

void WaylandLayerSurface::configured(uint32_t serial, uint32_t width, uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    const QSize asked{int(width), int(height)};
    if (!asked.isEmpty() && asked != size_) {
        size_ = asked;
        stale_ = true;
        if (!makeBuffers(size_ * scale_)) return;
    }
    configuredOnce_ = true;
    // The first picture goes at once, so the surface shows.
    if (frames_ == 0) {
        idleTicks_ = 0;
        draw();
    }
}

bool WaylandLayerSurface::makeBuffers(QSize size) {
    dropBuffers();
    Globals* bound = globals();
    const int stride = size.width() * 4;
    const size_t one = size_t(stride) * size_t(size.height());
    const int fd = memfd_create("solvane-layer", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(one * 2)) != 0) {
        if (fd >= 0) close(fd);
        log("layer surface: no shared memory for " + QString::number(size.width()) + "x" +
                QString::number(size.height()),
            LogArea::app);
        return false;
    }
    memory_ = mmap(nullptr, one * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    memorySize_ = one * 2;
    if (memory_ == MAP_FAILED) {
        memory_ = nullptr;
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(bound->shm, fd, int32_t(one * 2));
    for (int n = 0; n < 2; ++n) {
        Buffer& b = buffers_[n];
        b.buffer = wl_shm_pool_create_buffer(pool, int32_t(one) * n, size.width(), size.height(), stride,
                                             WL_SHM_FORMAT_XRGB8888);
        wl_buffer_add_listener(b.buffer, &bufferListener, &b.busy);
        b.image = QImage(static_cast<uchar*>(memory_) + one * size_t(n), size.width(), size.height(), stride,
                         QImage::Format_RGB32);
        b.image.setDevicePixelRatio(scale_); // painters draw in logical pixels
        b.busy = false;
    }
    wl_shm_pool_destroy(pool);
    close(fd);
    return true;
}

void WaylandLayerSurface::dropBuffers() {
    for (Buffer& b : buffers_) {
        if (b.buffer) wl_buffer_destroy(b.buffer);
        b = Buffer{};
    }
    if (memory_) munmap(memory_, memorySize_);
    memory_ = nullptr;
    memorySize_ = 0;
}

void WaylandLayerSurface::draw() {
    if (WaylandRegistry* registry = WaylandQt::registry()) registry->dispatchPending();
    if (still_) {
        const bool aside = moving();
        if (aside && layer_) unmap();
        if (!aside && !layer_ && (screen_ || !placement_.screen)) map();
    }
    if (!layer_ || !configuredOnce_ || size_.isEmpty()) return;
    // A still goes again only once it changed; an inactive surface shows one frame every 2 s, which
    // keeps the picture current without playing.
    if (still_ ? !stale_ : !dueNow()) return;
    Buffer* free = nullptr;
    for (Buffer& b : buffers_)
        if (b.buffer && !b.busy) free = &b;
    if (!free) return; // the compositor still reads both; the next tick tries again
    free->image.fill(Qt::black);
    {
        QPainter painter(&free->image);
        paint_(painter, size_);
    }
    free->busy = true;
    wl_surface_attach(surface_, free->buffer, 0, 0);
    wl_surface_damage(surface_, 0, 0, size_.width(), size_.height());
    wl_surface_commit(surface_);
    wl_display_flush(WaylandQt::display());
    ++frames_;
    stale_ = false;
}
