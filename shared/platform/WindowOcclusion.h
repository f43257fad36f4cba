#pragma once
// The port that tells whether a window of ours is fully covered by others, so what plays in it can
// pause. Qt has no such notion (a covered window stays "exposed"), so the adapter asks the window
// system. Lives on the GUI thread; `changed` is emitted there when the answer may have changed.

#include <QObject>
#include <QRect>
#include <vector>

class QWindow;

class WindowOcclusion : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~WindowOcclusion() override = default;
    virtual bool occluded() const = 0;

    // A window stacked above ours, as a compositor-aware check sees it.
    struct Above {
        QRect frame;
        bool fullScreen = false;
        bool maximized = false; // both ways
        bool hidden = false;
    };
    // Whether one of the windows above covers `screen` whole: a visible full-screen window whose frame
    // contains the screen's rectangle, or a visible maximised one whose frame (decorations included)
    // contains the screen's work area, the part the desktop's panels leave to windows. What the panels
    // keep shows the desktop's own panels, not ours.
    static bool covers(const QRect& screen, const QRect& workArea, const std::vector<Above>& above) {
        const QRect usable = workArea.isValid() ? (workArea & screen) : screen;
        for (const Above& window : above) {
            if (window.hidden) continue;
            if (window.fullScreen && window.frame.contains(screen)) return true;
            if (window.maximized && !usable.isEmpty() && window.frame.contains(usable)) return true;
        }
        return false;
    }
    static bool covers(const QRect& screen, const std::vector<Above>& above) {
        return covers(screen, screen, above);
    }

signals:
    void changed();
};

// Where the window system cannot tell: never covered.
class NeverOccluded : public WindowOcclusion {
    Q_OBJECT
public:
    using WindowOcclusion::WindowOcclusion;
    bool occluded() const override { return false; }
};
