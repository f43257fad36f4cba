#include "DisplayGeometry.h"

#include <algorithm>

namespace DisplayGeometry {

QString tileLabel(const QStringList& ids) {
    if (ids.isEmpty()) return QStringLiteral("off");
    if (ids.size() == 1) return ids.front();
    return ids.front() + " +" + QString::number(ids.size() - 1);
}

std::vector<QRectF> layout(const std::vector<QRectF>& frames, const QRectF& into) {
    if (frames.empty()) return {};
    QRectF all = frames.front();
    for (const QRectF& frame : frames)
        all = all.united(frame);
    if (all.width() <= 0 || all.height() <= 0 || into.width() <= 0 || into.height() <= 0) return {};
    const double scale = std::min(into.width() / all.width(), into.height() / all.height());
    const double left = into.x() + (into.width() - all.width() * scale) / 2;
    const double top = into.y() + (into.height() - all.height() * scale) / 2;
    std::vector<QRectF> tiles;
    for (const QRectF& frame : frames)
        tiles.emplace_back(left + (frame.x() - all.x()) * scale, top + (frame.y() - all.y()) * scale,
                           frame.width() * scale, frame.height() * scale);
    return tiles;
}

} // namespace DisplayGeometry
