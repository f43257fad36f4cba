#pragma once
// Where a picture of a given size can be written straight into the pixels a painter paints: the window's
// backing store (or any picture being painted), so a wall's frame reaches the window without a copy.

#include <QRect>
#include <QSize>
#include <optional>

class QImage;
class QPainter;

struct WallViewPixels {
    QImage* device = nullptr; // what the painter paints into
    QRect pixels;             // the target there, in device pixels

    // The 32-bit BGRA pixels that `target` (in the painter's logical coordinates) covers, when they are
    // exactly `size` device pixels of a 32-bit RGB picture; nothing otherwise (a pixmap or printer, another
    // pixel format, a scale that does not fit), and the caller draws as usual. Valid while the painter is
    // active; the painter's clip is the caller's to respect.
    static std::optional<WallViewPixels> at(QPainter& painter, const QRect& target, QSize size);

    uchar* bits() const;      // the target's top-left pixel
    qsizetype stride() const; // bytes from one row to the next
    // A copy of the part of the target that `part` (logical, as `target` was) covers.
    QImage copy(QPainter& painter, const QRect& part) const;
};
