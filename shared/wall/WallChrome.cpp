#include "WallChrome.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {
constexpr double cardPaddingPoints = 14.0;
constexpr double cardLineGap = 1.25;

// Draws one line, elided to its box, with an optional shadow a pixel below; at the painter's opacity.
void drawLine(QPainter& painter, const QRectF& rect, const QString& text, int flags, bool shadow) {
    const QFontMetricsF metrics(painter.font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
    if (shadow) {
        painter.setPen(QColor(0, 0, 0, 204));
        painter.drawText(rect.translated(0, 1), flags, shown);
    }
    painter.setPen(Qt::white);
    painter.drawText(rect, flags, shown);
}

// The scrim: black from alpha 0.55 at the lower edge to clear at the top.
void fillScrim(QPainter& painter, const QRectF& rect) {
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    gradient.setColorAt(0.0, QColor(0, 0, 0, 140));
    gradient.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.fillRect(rect, gradient);
}

void drawShadowedText(QPainter& painter, ChromeCache* cache, ChromeCache::Line line, const QRectF& rect,
                      const QString& text, int flags, double opacity, bool shadow) {
    if (opacity <= 0.0 || text.isEmpty()) return;
    painter.setOpacity(opacity);
    if (cache)
        cache->drawText(painter, line, rect, text, flags, shadow);
    else
        drawLine(painter, rect, text, flags, shadow);
}
} // namespace

void ChromeCache::drawText(QPainter& painter, Line line, const QRectF& rect, const QString& text, int flags,
                           bool shadow) {
    Drawn& entry = lines_[static_cast<size_t>(line)];
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (entry.image.isNull() || entry.text != text || entry.font != painter.font() || entry.flags != flags ||
        entry.size != rect.size() || entry.shadow != shadow || entry.ratio != ratio) {
        // One pixel taller than the box, for the shadow below the last row.
        const QSizeF box(rect.width(), rect.height() + 1.0);
        QImage image(QSize(qCeil(box.width() * ratio), qCeil(box.height() * ratio)).expandedTo(QSize(1, 1)),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter lines(&image);
        lines.setFont(painter.font());
        drawLine(lines, QRectF(QPointF(0, 0), rect.size()), text, flags, shadow);
        lines.end();
        entry = Drawn{text, painter.font(), flags, rect.size(), shadow, ratio, std::move(image)};
    }
    // On whole device pixels, so the cached glyphs are copied, never resampled.
    const QPointF at(std::round(rect.left() * ratio) / ratio, std::round(rect.top() * ratio) / ratio);
    painter.drawImage(at, entry.image);
}

void ChromeCache::drawScrim(QPainter& painter, const QRectF& rect) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels(qCeil(rect.width() * ratio), qCeil(rect.height() * ratio));
    if (pixels.isEmpty()) return;
    if (scrim_.size() != pixels || scrim_.devicePixelRatio() != ratio) {
        scrim_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        scrim_.setDevicePixelRatio(ratio);
        scrim_.fill(Qt::transparent);
        QPainter fill(&scrim_);
        fillScrim(fill, QRectF(QPointF(0, 0), rect.size()));
    }
    const QPointF at(std::round(rect.left() * ratio) / ratio, std::round(rect.top() * ratio) / ratio);
    painter.drawImage(at, scrim_);
}

namespace WallChrome {

QFont font(double points, QFont::Weight weight) {
    QFont f;
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points))));
    f.setWeight(weight);
    return f;
}

double qrPlateSide(QSizeF bounds) {
    return std::max(0.1 * bounds.height(), 72.0);
}

QSizeF cardSize(const QStringList& lines, const ChromeSizes& sizes, double widthLimit) {
    if (lines.isEmpty()) return {};
    const QFontMetricsF metrics(font(sizes.caption));
    double width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double padding = cardPaddingPoints * sizes.caption / 15.0;
    const double lineHeight = metrics.height() * cardLineGap;
    return {std::min(width + 2 * padding, widthLimit), lines.size() * lineHeight + 2 * padding};
}

ChromeLayout layout(QSizeF bounds, const ChromeSizes& sizes, double progress, bool qrShown, QSizeF card) {
    const double w = bounds.width(), h = bounds.height(), gap = sizes.qrGap;
    ChromeLayout l;
    const double scrimHeight = std::max(0.14 * h, 90.0);
    l.scrim = QRectF(0, h - scrimHeight, w, scrimHeight);

    // From the bottom: the timeline in the margin, the attribution line, then the caption line.
    const double thickness = std::max(sizes.timeline, 1.0);
    const double trackWidth = 0.45 * w;
    const double trackY = h - gap * 0.5 - thickness / 2.0;
    l.track = QRectF((w - trackWidth) / 2.0, trackY, trackWidth, thickness);
    const double head = std::max(sizes.playhead, 2.0);
    const double headX = l.track.left() + std::clamp(progress, 0.0, 1.0) * trackWidth;
    l.playhead = QRectF(headX - head / 2.0, trackY + thickness / 2.0 - head / 2.0, head, head);

    l.attribution = QRectF(gap, h - gap - sizes.attributionHeight, 0.4 * w, sizes.attributionHeight);
    l.caption = QRectF(gap, l.attribution.top() - sizes.captionHeight, 0.66 * w, sizes.captionHeight);

    const double side = qrPlateSide(bounds);
    l.qrPlate = QRectF(w - gap - side, h - gap - side, side, side);
    l.qrCode = l.qrPlate.adjusted(qrInset, qrInset, -qrInset, -qrInset);

    // The clock sits on the caption's row, right-aligned, clear of the QR plate when it shows.
    const double clockRight = qrShown ? l.qrPlate.left() - gap : w - gap;
    const double clockWidth = std::max(0.0, std::min(0.3 * w, clockRight - l.caption.left()));
    l.clock = QRectF(clockRight - clockWidth, l.caption.bottom() - sizes.clockHeight, clockWidth,
                     sizes.clockHeight);

    // The card rests above the caption on the left.
    if (!card.isEmpty())
        l.card = QRectF(gap, std::max(gap, l.caption.top() - gap * 0.5 - card.height()), card.width(),
                        card.height());
    return l;
}

void paint(QPainter& painter, const ChromeLayout& l, const ChromeState& s, const ChromeSizes& sizes,
           ChromeCache* cache) {
    painter.save();
    if (s.scrimOpacity > 0.0) {
        painter.setOpacity(s.scrimOpacity);
        if (cache)
            cache->drawScrim(painter, l.scrim);
        else
            fillScrim(painter, l.scrim);
    }
    if (s.timelineOpacity > 0.0) {
        painter.setOpacity(s.timelineOpacity);
        painter.fillRect(l.track, QColor(255, 255, 255, 89));
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(l.playhead);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    painter.setFont(font(sizes.caption, QFont::Medium));
    drawShadowedText(painter, cache, ChromeCache::Line::caption, l.caption, s.caption,
                     Qt::AlignLeft | Qt::AlignVCenter, s.captionOpacity, false);
    painter.setFont(font(sizes.attribution));
    drawShadowedText(painter, cache, ChromeCache::Line::attribution, l.attribution, s.attribution,
                     Qt::AlignLeft | Qt::AlignVCenter, s.attributionOpacity, true);
    painter.setFont(font(sizes.clock));
    drawShadowedText(painter, cache, ChromeCache::Line::clock, l.clock, s.clock,
                     Qt::AlignRight | Qt::AlignVCenter, s.clockOpacity, true);

    if (s.cardOpacity > 0.0 && !l.card.isEmpty()) {
        painter.setOpacity(s.cardOpacity);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 184));
        painter.drawRoundedRect(l.card, 8, 8);
        painter.setRenderHint(QPainter::Antialiasing, false);
        const QFont cardFont = font(sizes.caption);
        painter.setFont(cardFont);
        painter.setPen(Qt::white);
        const QFontMetricsF metrics(cardFont);
        const double padding = cardPaddingPoints * sizes.caption / 15.0;
        const double lineHeight = metrics.height() * cardLineGap;
        double y = l.card.top() + padding;
        for (const QString& line : s.card) {
            const QRectF row(l.card.left() + padding, y, l.card.width() - 2 * padding, lineHeight);
            painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(line, Qt::ElideRight, row.width()));
            y += lineHeight;
        }
    }
    if (s.qrOpacity > 0.0 && !s.qr.isNull()) {
        painter.setOpacity(s.qrOpacity);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(l.qrPlate, 6, 6);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawImage(l.qrCode, s.qr);
    }
    painter.restore();
}

} // namespace WallChrome
