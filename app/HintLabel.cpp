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
    QPainter painter(this);
    painter.setFont(font_);
    painter.setOpacity(opacity_);
    // A cheap blur: the text in faint black around its place, then the white text on top.
    painter.setPen(QColor(0, 0, 0, 60));
    for (int dx = -2; dx <= 2; dx += 2)
        for (int dy = -2; dy <= 2; dy += 2)
            painter.drawText(rect().translated(dx, dy), Qt::AlignCenter, text_);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, text_);
}
