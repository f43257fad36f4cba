#pragma once
// A borderless, always-on-top window covering one screen that still takes the keyboard. It holds the
// screen's WallView filling it and the controls above it (close button or badge, the first-run hint),
// and keeps them in place when the screen's size changes. The window manager's close request never
// closes it: it goes to `onCloseRequest` (nothing for a kiosk).

#include <QWidget>
#include <functional>

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

    enum class Presentation {
        onTop,      // borderless on its screen, above other windows
        fullScreen, // the window manager's full screen: panels hide
        kiosk,      // full screen and above everything
    };
    // Shows the window the given way.
    void present(Presentation presentation);
    // Takes the whole keyboard from the window server (X11) or has the compositor's shortcuts
    // inhibited on this window (Wayland), so no other window or shortcut sees keys; true when held (a
    // grab fails until the window is mapped, so callers ask again).
    bool grabKeys();
    void releaseKeys();
    bool keysGrabbed() const { return grabbed_; }

    std::function<void()> onCloseRequest;

    WallView* wall() const { return wall_; }
    QWidget* cornerControl() const { return corner_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void place();

    WallView* wall_ = nullptr;
    QWidget* corner_ = nullptr;
    QWidget* hint_ = nullptr;
    double side_ = 0, margin_ = 0;
    bool grabbed_ = false;
};
