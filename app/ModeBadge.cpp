#include "ModeBadge.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

// Read as a line of text (its label), not as a drawing surface.
QAccessibleInterface* accessibleFor(const QString&, QObject* object) {
    if (auto* badge = dynamic_cast<ModeBadge*>(object))
        return new QAccessibleWidget(badge, QAccessible::StaticText);
    return nullptr;
}

} // namespace

ModeBadge::ModeBadge(const QString& symbol, const QString& label, QWidget* parent)
    : QWidget(parent), symbol_(symbol), label_(label) {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleName(label);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ModeBadge::setOpacity(double opacity) {
    opacity_ = std::clamp(opacity, 0.0, 1.0);
    update();
}

void ModeBadge::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0.0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity_);
    const double side = std::min(width(), height());
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = std::max(0.0, (side - 12.0) / 2.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40, 200));
    painter.drawEllipse(centre, radius, radius);
    if (symbol_ != "lock.fill") return;
    // A padlock drawn at the symbol's size (0.32 of the badge width): a body and a shackle.
    const double s = 0.32 * width();
    const QRectF body(centre.x() - s * 0.45, centre.y() - s * 0.05, s * 0.9, s * 0.65);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(body, s * 0.1, s * 0.1);
    QPen shackle(Qt::white, s * 0.14, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(shackle);
    painter.setBrush(Qt::NoBrush);
    const QRectF arc(centre.x() - s * 0.28, centre.y() - s * 0.55, s * 0.56, s * 0.75);
    QPainterPath path;
    path.moveTo(arc.left(), centre.y() - s * 0.05);
    path.arcTo(arc, 180, -180);
    path.lineTo(arc.right(), centre.y() - s * 0.05);
    painter.drawPath(path);
}
