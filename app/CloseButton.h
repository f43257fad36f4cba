#pragma once
// The round close button in the top-right corner of a wall window: a dark disc with a white X. A left
// mouse press in it, or the accessibility press action, calls onClick. Its opacity fades with the
// controller's control visibility.

#include <QWidget>
#include <functional>

class CloseButton : public QWidget {
public:
    explicit CloseButton(QWidget* parent = nullptr);

    std::function<void()> onClick = [] {};

    void setOpacity(double opacity);
    double opacity() const { return opacity_; }

    // The X's geometry for a button of this size: the disc's radius, the half-arm and the stroke width.
    struct Geometry {
        double discRadius, halfArm, lineWidth;
    };
    static Geometry geometry(QSizeF size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    double opacity_ = 1.0;
};
