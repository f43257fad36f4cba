#include "CloseButton.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {

// Assistive technology sees a button it can press, not a bare drawing surface.
class AccessibleCloseButton : public QAccessibleWidget {
public:
    explicit AccessibleCloseButton(CloseButton* button) : QAccessibleWidget(button, QAccessible::Button) {}
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        auto* button = static_cast<CloseButton*>(widget());
        if (action == pressAction() && button->onClick) button->onClick();
    }
};

QAccessibleInterface* accessibleFor(const QString&, QObject* object) {
    if (auto* button = dynamic_cast<CloseButton*>(object)) return new AccessibleCloseButton(button);
    return nullptr;
}

} // namespace

CloseButton::CloseButton(QWidget* parent) : QWidget(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleName("Close the wall");
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::ArrowCursor);
}

CloseButton::Geometry CloseButton::geometry(QSizeF size) {
    const double side = std::min(size.width(), size.height());
    const double radius = std::max(0.0, (side - 12.0) / 2.0);
    return {radius, 0.42 * radius, radius * 3.5 / 26.0};
}

void CloseButton::setOpacity(double opacity) {
    opacity_ = std::clamp(opacity, 0.0, 1.0);
    update();
}

void CloseButton::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0.0) return;
    const Geometry g = geometry(QSizeF(size()));
    const QPointF centre(width() / 2.0, height() / 2.0);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity_);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40, 200));
    painter.drawEllipse(centre, g.discRadius, g.discRadius);
    QPen pen(Qt::white, g.lineWidth, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(centre + QPointF(-g.halfArm, -g.halfArm), centre + QPointF(g.halfArm, g.halfArm));
    painter.drawLine(centre + QPointF(-g.halfArm, g.halfArm), centre + QPointF(g.halfArm, -g.halfArm));
}

void CloseButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    if (onClick) onClick();
}
