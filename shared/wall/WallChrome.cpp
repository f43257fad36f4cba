#include "WallChrome.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr double cardPaddingPoints = 14.0;
constexpr double cardLineGap = 1.25;
constexpr double shadowBlur = 2.0;   // radius of the text shadow's blur, in points
constexpr double shadowOffset = 1.0; // the shadow sits this far below the text
constexpr int shadowAlpha = 204;     // black at 0.8

// Blurs an alpha mask in place with a Gaussian of the given radius (standard deviation half of it),
// separably: a row pass, then a column pass.
void blur(QImage& mask, double radius) {
    const int reach = std::max(1, qCeil(radius));
    const double sigma = radius / 2.0;
    std::vector<double> kernel(size_t(2 * reach + 1));
    double sum = 0;
    for (int i = -reach; i <= reach; ++i)
        sum += kernel[size_t(i + reach)] = std::exp(-(i * i) / (2 * sigma * sigma));
    for (double& k : kernel)
        k /= sum;
    const int w = mask.width(), h = mask.height();
    uchar* const bits = mask.bits(); // once: scanLine() on a writable picture checks for sharing each call
    const qsizetype stride = mask.bytesPerLine();
    std::vector<double> line(size_t(std::max(w, h)));
    // `count` lines of `length` pixels, `step` apart, their pixels `along` apart; the taps outside a line
    // are left out rather than tested one by one.
    auto pass = [&](int count, int length, qsizetype step, qsizetype along) {
        for (int n = 0; n < count; ++n) {
            uchar* const start = bits + n * step;
            for (int i = 0; i < length; ++i) {
                double value = 0;
                const int last = std::min(reach, length - 1 - i);
                for (int k = std::max(-reach, -i); k <= last; ++k)
                    value += kernel[size_t(k + reach)] * start[(i + k) * along];
                line[size_t(i)] = value;
            }
            for (int i = 0; i < length; ++i)
                start[i * along] = uchar(std::clamp(std::lround(line[size_t(i)]), 0L, 255L));
        }
    };
    pass(h, w, stride, 1);
    pass(w, h, 1, stride);
}

// The part of `rect` that `shown` takes there, with room to spare each side, trimmed from the box by whole
// device pixels so the glyphs keep their places. The shadow's blur and the cached line cover that part
// only: the clock's box is a third of the screen wide for a few words, and its line changes every frame.
QRectF inkedPart(const QRectF& rect, const QFont& font, int flags, const QString& shown, qreal ratio) {
    const QRectF ink = QFontMetricsF(font).boundingRect(rect, flags, shown).adjusted(-2, 0, 2, 0);
    const double left = std::max(0.0, std::floor((ink.left() - rect.left()) * ratio) / ratio);
    const double right = std::max(0.0, std::floor((rect.right() - ink.right()) * ratio) / ratio);
    return left + right < rect.width() ? rect.adjusted(left, 0, -right, 0) : rect;
}

// A blurred black shadow of `shown` in `rect`, drawn a point below it.
void drawShadow(QPainter& painter, const QRectF& rect, const QString& shown, int flags) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const double margin = shadowBlur + 1.0;
    const QRectF part = inkedPart(rect, painter.font(), flags, shown, ratio);
    const QRectF box = part.adjusted(-margin, -margin, margin, margin);
    QImage mask(QSize(qCeil(box.width() * ratio), qCeil(box.height() * ratio)).expandedTo(QSize(1, 1)),
                QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter text(&mask);
        text.scale(ratio, ratio);
        text.setFont(painter.font());
        text.setPen(QColor(0, 0, 0, 255));
        text.drawText(QRectF(QPointF(margin - (part.left() - rect.left()), margin), rect.size()), flags,
                      shown);
    }
    blur(mask, shadowBlur * ratio);
    QImage shadow(mask.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(QColor(0, 0, 0, shadowAlpha));
    {
        QPainter combine(&shadow);
        combine.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        combine.drawImage(0, 0, mask);
    }
    shadow.setDevicePixelRatio(ratio);
    painter.drawImage(box.topLeft() + QPointF(0, shadowOffset), shadow);
}

// Draws one line, elided to its box, with an optional shadow; at the painter's opacity.
void drawLine(QPainter& painter, const QRectF& rect, const QString& text, int flags, bool shadow) {
    const QFontMetricsF metrics(painter.font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
    if (shadow) drawShadow(painter, rect, shown, flags);
    painter.setPen(Qt::white);
    painter.drawText(rect, flags, shown);
}

// The card's lines broken into rows that fit `width`, at word boundaries where there are any.
QStringList cardRows(const QStringList& lines, const QFont& font, double width) {
    QStringList rows;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& line : lines) {
        QTextLayout layout(line, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
            row.setLineWidth(std::max(1.0, width));
            rows << line.mid(row.textStart(), row.textLength()).trimmed();
        }
        layout.endLayout();
        if (line.isEmpty()) rows << QString();
    }
    return rows;
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
        const QString shown = QFontMetricsF(painter.font()).elidedText(text, Qt::ElideRight, rect.width());
        const QRectF part = inkedPart(rect, painter.font(), flags, shown, ratio);
        // With room around the line for the shadow's blur and offset.
        const QSizeF box(part.width() + 2 * WallChrome::textMargin,
                         part.height() + 2 * WallChrome::textMargin);
        QImage image(QSize(qCeil(box.width() * ratio), qCeil(box.height() * ratio)).expandedTo(QSize(1, 1)),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter lines(&image);
        lines.setFont(painter.font());
        const QPointF origin(WallChrome::textMargin - (part.left() - rect.left()), WallChrome::textMargin);
        drawLine(lines, QRectF(origin, rect.size()), text, flags, shadow);
        lines.end();
        entry = Drawn{text,
                      painter.font(),
                      flags,
                      rect.size(),
                      shadow,
                      ratio,
                      part.left() - rect.left(),
                      std::move(image)};
    }
    // On whole device pixels, so the cached glyphs are copied, never resampled.
    const QPointF at(std::round((rect.left() - WallChrome::textMargin) * ratio) / ratio + entry.offset,
                     std::round((rect.top() - WallChrome::textMargin) * ratio) / ratio);
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
    // A pixel size would round 14.5 to a whole pixel; a point size keeps the half, converted so that one
    // point is one logical pixel.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen && screen->logicalDotsPerInchY() > 0 ? screen->logicalDotsPerInchY() : 96.0;
    QFont f;
    f.setPointSizeF(std::max(1.0, points) * 72.0 / dpi);
    f.setWeight(weight);
    return f;
}

QRectF markRect(const QRectF& track, const FlareMarks::Mark& mark, const ChromeSizes& sizes) {
    const double unit = std::max(sizes.playhead, 2.0) / 9.0; // one point at the reference size
    double height = 8.0, width = 3.0;
    if (mark.band == FlareMarks::Band::m) height = 11.0, width = 3.5;
    if (mark.band == FlareMarks::Band::x) height = 15.0, width = 4.0;
    height *= unit;
    width *= unit;
    const double x = track.left() + std::clamp(mark.fraction, 0.0, 1.0) * track.width();
    return {x - width / 2.0, track.center().y() - height, width, height};
}

QColor markColour(FlareMarks::Band band) {
    switch (band) {
    case FlareMarks::Band::c:
        return {160, 210, 250};
    case FlareMarks::Band::m:
        return {246, 190, 84};
    case FlareMarks::Band::x:
        return {246, 112, 92};
    }
    return Qt::white;
}

double qrPlateSide(QSizeF bounds) {
    return std::max(0.1 * bounds.height(), 72.0);
}

QSizeF cardSize(const QStringList& lines, const ChromeSizes& sizes, double widthLimit) {
    if (lines.isEmpty()) return {};
    const QFont cardFont = font(sizes.caption);
    const QFontMetricsF metrics(cardFont);
    double width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double padding = cardPaddingPoints * sizes.caption / 15.0;
    const double lineHeight = metrics.height() * cardLineGap;
    const double outer = std::min(width + 2 * padding, widthLimit);
    const qsizetype rows = cardRows(lines, cardFont, outer - 2 * padding).size();
    return {outer, rows * lineHeight + 2 * padding};
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
    l.flare = l.caption.translated(0, -sizes.captionHeight);

    const double side = qrPlateSide(bounds);
    l.qrPlate = QRectF(w - gap - side, h - gap - side, side, side);
    l.qrCode = l.qrPlate.adjusted(qrInset, qrInset, -qrInset, -qrInset);

    // The clock sits on the caption's row, right-aligned, clear of the QR plate when it shows.
    const double clockRight = qrShown ? l.qrPlate.left() - gap : w - gap;
    const double clockWidth = std::max(0.0, std::min(0.3 * w, clockRight - l.caption.left()));
    l.clock = QRectF(clockRight - clockWidth, l.caption.bottom() - sizes.clockHeight, clockWidth,
                     sizes.clockHeight);

    // The card rests above the caption and the flare row on the left.
    if (!card.isEmpty())
        l.card = QRectF(gap, std::max(gap, l.flare.top() - gap * 0.5 - card.height()), card.width(),
                        card.height());
    return l;
}

void paint(QPainter& painter, const ChromeLayout& l, const ChromeState& s, const ChromeSizes& sizes,
           ChromeCache* cache) {
    painter.save();
    if (s.scrimOpacity > 0.0 && (!s.scrimWithin || !s.scrimWithin->isEmpty())) {
        painter.save();
        painter.setOpacity(s.scrimOpacity);
        if (s.scrimWithin) painter.setClipRect(*s.scrimWithin, Qt::IntersectClip);
        if (cache)
            cache->drawScrim(painter, l.scrim);
        else
            fillScrim(painter, l.scrim);
        painter.restore();
    }
    if (s.timelineOpacity > 0.0) {
        painter.setOpacity(s.timelineOpacity);
        painter.fillRect(l.track, QColor(255, 255, 255, 89));
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        for (const FlareMarks::Mark& mark : s.marks) {
            // A dark rim keeps a mark legible where the track crosses bright corona.
            const QRectF bar = markRect(l.track, mark, sizes);
            const double rim = std::max(0.75, sizes.timeline * 0.4);
            painter.setBrush(QColor(0, 0, 0, 110));
            painter.drawRoundedRect(bar.adjusted(-rim, -rim, rim, 0), bar.width() / 2 + rim,
                                    bar.width() / 2 + rim);
            painter.setBrush(markColour(mark.band));
            painter.drawRoundedRect(bar, bar.width() / 2, bar.width() / 2);
        }
        painter.setBrush(Qt::white);
        painter.drawEllipse(l.playhead);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    painter.setFont(font(sizes.caption));
    drawShadowedText(painter, cache, ChromeCache::Line::caption, l.caption, s.caption,
                     Qt::AlignLeft | Qt::AlignVCenter, s.captionOpacity, false);
    painter.setFont(font(sizes.attribution));
    drawShadowedText(painter, cache, ChromeCache::Line::attribution, l.attribution, s.attribution,
                     Qt::AlignLeft | Qt::AlignVCenter, s.attributionOpacity, true);
    // The flare's name at the caption's size, shadowed: it often shows after the scrim has faded.
    painter.setFont(font(sizes.caption));
    drawShadowedText(painter, cache, ChromeCache::Line::flare, l.flare, s.flare,
                     Qt::AlignLeft | Qt::AlignVCenter, s.flareOpacity, true);
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
        const double inner = l.card.width() - 2 * padding;
        double y = l.card.top() + padding;
        for (const QString& text : cardRows(s.card, cardFont, inner)) {
            painter.drawText(QRectF(l.card.left() + padding, y, inner, lineHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, text);
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
