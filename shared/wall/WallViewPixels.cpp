#include "WallViewPixels.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <cmath>

std::optional<WallViewPixels> WallViewPixels::at(QPainter& painter, const QRect& target, QSize size) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    // A widget paints into its window's backing store: on raster platforms a picture in memory (shared
    // with the window server on X11 and Wayland).
    if (!device || device->devType() != QInternal::Image) return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    switch (image->format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break; // BGRA in memory; opaque pixels are the same in all three
    default:
        return std::nullopt;
    }
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxScale) return std::nullopt;
    const QRectF mapped = transform.mapRect(QRectF(target));
    const QRect pixels(QPoint(qRound(mapped.x()), qRound(mapped.y())), size);
    const auto near = [](double a, double b) { return std::abs(a - b) < 0.01; };
    if (!near(mapped.x(), pixels.x()) || !near(mapped.y(), pixels.y()) ||
        !near(mapped.width(), size.width()) || !near(mapped.height(), size.height()) ||
        !image->rect().contains(pixels))
        return std::nullopt;
    return WallViewPixels{image, pixels};
}

uchar* WallViewPixels::bits() const {
    // The painter writes into these same bytes; asking for bits() would detach a shared picture from them.
    return const_cast<uchar*>(device->constBits()) + pixels.y() * device->bytesPerLine() + pixels.x() * 4;
}

qsizetype WallViewPixels::stride() const {
    return device->bytesPerLine();
}

QImage WallViewPixels::copy(QPainter& painter, const QRect& part) const {
    const QRect within = painter.deviceTransform().mapRect(QRectF(part)).toAlignedRect() & pixels;
    return within.isEmpty() ? QImage() : device->copy(within);
}
