#pragma once
// A surface outside Qt's windows that shows what a hidden widget paints, handed over at a steady rate:
// a Wayland layer surface, or a desktop-type window on XWayland. Whoever shows it does not need to know
// which. GUI thread only.

#include <QObject>
#include <QSize>
#include <functional>

class QPainter;

class PaintedSurface : public QObject {
    Q_OBJECT
public:
    // Paints one frame of the given size (in the screen's logical pixels).
    using Painter = std::function<void(QPainter& painter, QSize size)>;

    using QObject::QObject;
    ~PaintedSurface() override = default;

    // While `active` says no (a paused wall), a frame is handed over only every few seconds.
    void setActiveWhen(std::function<bool()> active) { active_ = std::move(active); }
    // The size the surface shows (logical pixels); empty before it is known.
    QSize size() const { return size_; }
    // Frames handed over so far.
    int frames() const { return frames_; }

signals:
    // The surface was taken away (its output went).
    void closed();

protected:
    static constexpr int frameMs = 40; // 25 frames a second, as the clips are made
    // Whether this tick hands over a frame: always while active, else one every 2 s.
    bool dueNow() {
        if (frames_ == 0 || !active_ || active_()) return true;
        return ++idleTicks_ % (2000 / frameMs) == 0;
    }

    std::function<bool()> active_;
    QSize size_;
    int frames_ = 0;
    int idleTicks_ = 0;
};
