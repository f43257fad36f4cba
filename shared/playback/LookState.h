#pragma once
// The per-clip state of a look while a clip plays: the recent frames a running difference compares
// against and the clip's first frame for a base difference. One per clip, shared between the view and
// the rendering thread; it dies with the clip.

#include "FrameSource.h"
#include "Look.h"

#include <QImage>
#include <QRect>
#include <map>
#include <memory>
#include <mutex>

class LookState {
public:
    // The frame to render and its composition time in the clip.
    struct Request {
        QImage source;
        double seconds = 0;
    };

    // look and lag are fixed for the life of the state; frames can be null (every reference then comes
    // from the history or is the frame itself).
    LookState(std::shared_ptr<FrameSource> frames, Look look, int lag);

    Look look() const { return look_; }
    int lag() const { return lag_; }

    // The frame in this look. Called on the rendering thread; safe to call from several threads.
    QImage render(const Request& request);

    // The decoded frame of a slot, taken exactly at slot / fps; nothing when decoding fails.
    std::optional<QImage> fetch(int slot);

    // The difference of a against b over rect, in display tone.
    static QImage difference(const QImage& a, const QImage& b, const QRect& rect);

    // How many frames the history holds now, and which slots (for tests and diagnostics).
    size_t historySize() const;
    std::vector<int> historySlots() const;
    bool hasBase() const;

private:
    QImage runningDifference(const QImage& source, double seconds);
    QImage baseDifference(const QImage& source);

    const std::shared_ptr<FrameSource> frames_;
    const Look look_;
    const int lag_;
    mutable std::mutex lock_;
    std::mutex fetchLock_; // the source is not asked from two threads at once
    std::map<int, QImage> history_;
    std::optional<QImage> base_;
};
