#include "LayerDesktopPicture.h"

#include "DesktopCanvas.h"
#include "Log.h"
#include "WaylandLayerSurface.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QScreen>
#include <QThread>

namespace {
QScreen* screenNamed(const QString& name) {
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == name) return screen;
    return nullptr;
}
} // namespace

LayerDesktopPicture::LayerDesktopPicture() {
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &LayerDesktopPicture::screenAdded);
    connect(qGuiApp, &QCoreApplication::aboutToQuit, this, [this] { shown_.clear(); });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* screen) {
        const auto found = shown_.find(screen->name());
        if (found != shown_.end()) found->second.surface.reset();
    });
}

LayerDesktopPicture::~LayerDesktopPicture() = default;

QStringList LayerDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QStringList none;
    for (size_t i = 0; i < screens.size(); ++i)
        none << QString();
    return none;
}

std::vector<std::optional<QString>>
LayerDesktopPicture::set(const std::vector<DesktopScreen>& screens,
                         const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers;
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [&] { answers = set(screens, placements); }, Qt::BlockingQueuedConnection);
        return answers;
    }
    for (const PicturePlacement& placement : placements) {
        if (placement.screen < 0 || size_t(placement.screen) >= screens.size()) {
            answers.emplace_back(QStringLiteral("no such screen"));
            continue;
        }
        const QString name = screens[size_t(placement.screen)].name;
        if (placement.fit == PictureFit::asRecorded) {
            shown_.erase(name);
            answers.emplace_back(std::nullopt);
            continue;
        }
        QScreen* screen = screenNamed(name);
        if (!screen) {
            answers.emplace_back(QStringLiteral("no output named %1").arg(name));
            continue;
        }
        answers.push_back(place(screen, placement.picture.toLocalFile()));
    }
    return answers;
}

void LayerDesktopPicture::release() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this] { release(); }, Qt::BlockingQueuedConnection);
        return;
    }
    shown_.clear();
}

QStringList LayerDesktopPicture::showing() const {
    QStringList names;
    for (const auto& [name, shown] : shown_)
        if (shown.surface) names << name;
    return names;
}

std::optional<QString> LayerDesktopPicture::place(QScreen* screen, const QString& file) {
    // Read once: the surface paints it again only when the output's size changes.
    QImageReader reader(file);
    QImage picture = reader.read();
    if (picture.isNull()) return QStringLiteral("could not read %1: %2").arg(file, reader.errorString());
    const QString name = screen->name();
    Shown& shown = shown_[name];
    shown.picture = std::move(picture);
    if (shown.surface) {
        shown.surface->redraw();
        return std::nullopt;
    }
    makeSurface(screen);
    if (shown_[name].surface) return std::nullopt;
    shown_.erase(name);
    return QStringLiteral("the compositor gave no surface below the windows on %1").arg(name);
}

void LayerDesktopPicture::makeSurface(QScreen* screen) {
    const QString name = screen->name();
    auto surface = WaylandLayerSurface::create(
        [this, name](QPainter& painter, QSize size) {
            const auto found = shown_.find(name);
            DesktopCanvas::drawFitted(painter, QRect(QPoint(), size),
                                      found != shown_.end() ? found->second.picture : QImage());
        },
        {WaylandLayerSurface::Layer::bottom, screen, {}, 0}, QStringLiteral("solvane-desktop-picture"));
    if (!surface) return;
    surface->holdStill();
    // The compositor takes a surface away with its output; the picture waits for the output's return.
    // Queued, so the surface is not deleted while it signals; by then a newer one may stand there.
    connect(
        surface.get(), &PaintedSurface::closed, this,
        [this, name, gone = surface.get()] {
            const auto found = shown_.find(name);
            if (found != shown_.end() && found->second.surface.get() == gone) found->second.surface.reset();
        },
        Qt::QueuedConnection);
    shown_[name].surface = std::move(surface);
}

void LayerDesktopPicture::screenAdded(QScreen* screen) {
    const auto found = shown_.find(screen->name());
    if (found == shown_.end() || found->second.surface) return;
    makeSurface(screen);
    if (found->second.surface)
        log("desktop: " + screen->name() + " is back, with its picture", LogArea::desktop);
}
