#pragma once
// A borderless, always-on-top window covering one screen that still takes the keyboard. It holds the
// screen's WallView filling it and the controls above it (close button or badge, the first-run hint),
// and keeps them in place when the screen's size changes.

#include <QWidget>

class QScreen;
class WallView;

class WallWindow : public QWidget {
public:
    explicit WallWindow(QScreen* screen);

    void setWall(WallView* wall);
    // A control kept in the top-right corner, `side` square, `margin` from both edges.
    void setCornerControl(QWidget* control, double side, double margin);
    // A label kept centred horizontally with its bottom at 0.08 of the height from the lower edge.
    void setHint(QWidget* hint);

    WallView* wall() const { return wall_; }
    QWidget* cornerControl() const { return corner_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    WallView* wall_ = nullptr;
    QWidget* corner_ = nullptr;
    QWidget* hint_ = nullptr;
    double side_ = 0, margin_ = 0;
};
