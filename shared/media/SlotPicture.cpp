#include "SlotPicture.h"

#include <QColor>
#include <cmath>
#include <numbers>

namespace {

// How far past the limb the corona is kept, in disc radii.
constexpr double coronaReach = 1.3;
// The ultraviolet channels show the disc only; a thin rim past the limb stays.
constexpr double rimReach = 1.03;

QImage fitted(const QImage& picture, int size) {
    if (picture.isNull()) return {};
    QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.width() != size || rgb.height() != size)
        rgb = rgb.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return rgb;
}

// Each channel fills one wedge of the disc, clockwise from the top, and the corona beyond it.
QImage rainbow(const std::vector<QImage>& pictures, int size) {
    QImage frame(size, size, QImage::Format_RGB32);
    frame.fill(Qt::black);
    const int wedges = int(pictures.size());
    if (wedges == 0) return frame;
    const double centre = (size - 1) / 2.0;
    const double reach = SlotPicture::discRadius(size) * coronaReach;
    for (int y = 0; y < size; ++y) {
        auto* out = reinterpret_cast<QRgb*>(frame.scanLine(y));
        const double dy = y - centre;
        for (int x = 0; x < size; ++x) {
            const double dx = x - centre;
            if (dx * dx + dy * dy > reach * reach) continue;
            double angle = std::atan2(dx, -dy); // 0 at the top, growing clockwise
            if (angle < 0) angle += 2 * std::numbers::pi;
            const int wedge = std::min(wedges - 1, int(angle / (2 * std::numbers::pi) * wedges));
            const QImage& source = pictures[size_t(wedge)];
            if (!source.isNull()) out[x] = reinterpret_cast<const QRgb*>(source.constScanLine(y))[x];
        }
    }
    return frame;
}

// Red, green and blue from the brightness of three channels.
QImage ultraviolet(const std::vector<QImage>& pictures, int size) {
    QImage frame(size, size, QImage::Format_RGB32);
    frame.fill(Qt::black);
    const double centre = (size - 1) / 2.0;
    const double reach = SlotPicture::discRadius(size) * rimReach;
    auto level = [&pictures](size_t channel, int x, int y) {
        if (channel >= pictures.size() || pictures[channel].isNull()) return 0;
        return qGray(reinterpret_cast<const QRgb*>(pictures[channel].constScanLine(y))[x]);
    };
    for (int y = 0; y < size; ++y) {
        auto* out = reinterpret_cast<QRgb*>(frame.scanLine(y));
        const double dy = y - centre;
        for (int x = 0; x < size; ++x) {
            const double dx = x - centre;
            if (dx * dx + dy * dy > reach * reach) continue;
            out[x] = qRgb(level(0, x, y), level(1, x, y), level(2, x, y));
        }
    }
    return frame;
}

} // namespace

double SlotPicture::discRadius(int size) {
    return size * 400.0 / 1024.0;
}

QImage SlotPicture::compose(ClipMaking::Kind kind, const std::vector<QImage>& pictures, int size) {
    std::vector<QImage> fit;
    for (const QImage& picture : pictures)
        fit.push_back(fitted(picture, size));
    switch (kind) {
    case ClipMaking::Kind::single:
        if (!fit.empty() && !fit.front().isNull()) return fit.front();
        break;
    case ClipMaking::Kind::rainbow:
        return rainbow(fit, size);
    case ClipMaking::Kind::ultraviolet:
        return ultraviolet(fit, size);
    }
    QImage black(size, size, QImage::Format_RGB32);
    black.fill(Qt::black);
    return black;
}
