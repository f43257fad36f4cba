#include "HintLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
constexpr int shadowRadius = 4;
}

HintLabel::HintLabel(const QString& text, double points, QWidget* parent) : QWidget(parent), text_(text) {
    font_.setPixelSize(std::max(1, static_cast<int>(std::lround(points))));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(text);
}

QSize HintLabel::sizeHint() const {
    const QFontMetrics metrics(font_);
    return metrics.size(Qt::TextSingleLine, text_) + QSize(2 * shadowRadius, 2 * shadowRadius);
}

void HintLabel::setOpacity(double opacity) {
    opacity_ = std::clamp(opacity, 0.0, 1.0);
    update();
}

void HintLabel::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0.0) return;
    // Drawn once and then blended: the label sits over the video, so it is repainted with every frame
    // beneath it, and nine passes of text each time would cost more than the frame itself.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (pixels.isEmpty()) return;
    if (drawn_.size() != pixels || drawn_.devicePixelRatio() != ratio) {
        drawn_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        drawn_.setDevicePixelRatio(ratio);
        drawn_.fill(Qt::transparent);
        QPainter text(&drawn_);
        text.setFont(font_);
        // A cheap blur: the text in faint black around its place, then the white text on top.
        text.setPen(QColor(0, 0, 0, 60));
        for (int dx = -2; dx <= 2; dx += 2)
            for (int dy = -2; dy <= 2; dy += 2)
                text.drawText(rect().translated(dx, dy), Qt::AlignCenter, text_);
        text.setPen(Qt::white);
        text.drawText(rect(), Qt::AlignCenter, text_);
    }
    QPainter painter(this);
    painter.setOpacity(opacity_);
    painter.drawImage(QPointF(0, 0), drawn_);
}
