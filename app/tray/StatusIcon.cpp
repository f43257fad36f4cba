#include "StatusIcon.h"

#include "Resources.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

// The symbol as a last resort: a disc and eight rays, so the tray never shows an empty square.
QPixmap drawnSun(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor sun(0xf5, 0xa6, 0x23);
    const QPointF centre(side / 2.0, side / 2.0);
    painter.setPen(QPen(sun, std::max(1.0, side / 12.0), Qt::SolidLine, Qt::RoundCap));
    for (int ray = 0; ray < 8; ++ray) {
        const double angle = ray * M_PI / 4;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(centre + direction * (side * 0.34), centre + direction * (side * 0.47));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(sun);
    painter.drawEllipse(centre, side * 0.24, side * 0.24);
    return pixmap;
}

} // namespace

QIcon StatusIcon::sunSymbol() {
    if (const auto file = Resources::path(QStringLiteral("icons/solvane.svg"))) {
        QIcon icon(*file);
        // Without Qt's SVG plugin the icon loads but has nothing to draw.
        if (!icon.pixmap(QSize(22, 22)).isNull()) return icon;
    }
    QIcon icon;
    for (int side : {16, 22, 32, 48, 64})
        icon.addPixmap(drawnSun(side));
    return icon;
}

QImage StatusIcon::preview(const QImage& frame, qreal devicePixelRatio) {
    const int width = std::max(frame.width(), 1);
    const double heightPoints = double(frame.height()) * previewPoints / width;
    const QSize pixels(qRound(previewPoints * devicePixelRatio),
                       std::max(1, qRound(heightPoints * devicePixelRatio)));
    QImage image = frame.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QPixmap StatusIcon::roundCrop(const QImage& frame, qreal devicePixelRatio) {
    const int side = qRound(iconPoints * devicePixelRatio);
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const double inset = devicePixelRatio;
    const QRectF circle(inset, inset, side - 2 * inset, side - 2 * inset);
    QPainterPath clip;
    clip.addEllipse(circle);
    painter.setClipPath(clip);
    // Scaled first with area averaging: a painter's own sampling of a 320-pixel frame at 16 pixels
    // picks single pixels and gives a grainy, too dark icon.
    const QSize inner(side - 2 * qRound(inset), side - 2 * qRound(inset));
    painter.drawImage(circle, frame.scaled(inner, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon StatusIcon::liveIcon(const QImage& frame) {
    QIcon icon;
    icon.addPixmap(roundCrop(frame, 1));
    icon.addPixmap(roundCrop(frame, 2));
    return icon;
}
