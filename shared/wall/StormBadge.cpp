#include "StormBadge.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace StormBadge {
namespace {

double padding(const ChromeSizes& sizes) {
    return 10.0 * sizes.caption / 15.0;
}

double lineHeight(const ChromeSizes& sizes) {
    return QFontMetricsF(WallChrome::font(sizes.caption, QFont::DemiBold)).height() * 1.35;
}

// The level a line names: the digit after its scale letter ("G2 ..." is 2).
int levelOf(const QString& line) {
    return line.size() > 1 && line[1].isDigit() ? line[1].digitValue() : 1;
}

bool reachesDisc(const QRectF& box, const QRectF& picture) {
    const QPointF centre = picture.center();
    const double radius = discFraction * std::min(picture.width(), picture.height()) / 2.0;
    // The point of the box nearest the disc's centre.
    const double x = std::clamp(centre.x(), box.left(), box.right());
    const double y = std::clamp(centre.y(), box.top(), box.bottom());
    return std::hypot(x - centre.x(), y - centre.y()) < radius;
}

} // namespace

QSizeF size(const QStringList& lines, const ChromeSizes& sizes) {
    if (lines.isEmpty()) return {};
    const QFontMetricsF metrics(WallChrome::font(sizes.caption, QFont::DemiBold));
    double width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double mark = lineHeight(sizes) * 0.5;
    return {width + mark * 1.8 + 2 * padding(sizes),
            lines.size() * lineHeight(sizes) + 2 * padding(sizes) * 0.6};
}

std::optional<QRectF> place(QSizeF bounds, const QRectF& picture, QSizeF badge, double gap) {
    if (badge.isEmpty()) return std::nullopt;
    QRectF shown = picture;
    if (shown.isEmpty()) {
        const double side = std::min(bounds.width(), bounds.height());
        shown = QRectF((bounds.width() - side) / 2, (bounds.height() - side) / 2, side, side);
    }
    const QRectF box(gap, gap, badge.width(), badge.height());
    if (box.right() > bounds.width() || box.bottom() > bounds.height() || reachesDisc(box, shown))
        return std::nullopt;
    return box;
}

QColor levelColour(int level) {
    switch (std::clamp(level, 1, 5)) {
    case 1:
        return {246, 235, 20};
    case 2:
        return {255, 200, 0};
    case 3:
        return {255, 150, 0};
    case 4:
        return {255, 40, 20};
    default:
        return {200, 0, 0};
    }
}

void paint(QPainter& painter, const QRectF& rect, const QStringList& lines, const ChromeSizes& sizes,
           double opacity) {
    if (opacity <= 0.0 || lines.isEmpty() || rect.isEmpty()) return;
    painter.save();
    painter.setOpacity(opacity);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 184));
    painter.drawRoundedRect(rect, 8, 8);
    const double pad = padding(sizes), height = lineHeight(sizes), mark = height * 0.5;
    painter.setFont(WallChrome::font(sizes.caption, QFont::DemiBold));
    double y = rect.top() + pad * 0.6;
    for (const QString& line : lines) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(levelColour(levelOf(line)));
        painter.drawRoundedRect(QRectF(rect.left() + pad, y + (height - mark) / 2, mark, mark), 2, 2);
        painter.setPen(Qt::white);
        painter.drawText(
            QRectF(rect.left() + pad + mark * 1.8, y, rect.width() - 2 * pad - mark * 1.8, height),
            Qt::AlignLeft | Qt::AlignVCenter, line);
        y += height;
    }
    painter.restore();
}

} // namespace StormBadge
