#pragma once
// The one-time hint on the first wall: white text with a soft black shadow, sized to fit, fading out.

#include <QImage>
#include <QWidget>

class HintLabel : public QWidget {
public:
    HintLabel(const QString& text, double points, QWidget* parent = nullptr);
    QString text() const { return text_; }
    QSize sizeHint() const override;
    void setOpacity(double opacity);
    double opacity() const { return opacity_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    double opacity_ = 1.0;
    QImage drawn_; // text and shadow at full opacity, for the size and pixel ratio it was drawn at
};
