#pragma once
// The private parts of WallView shared by its two source files: a player slot and its frame mailbox.

#include "CacheEntry.h"
#include "FileSignature.h"
#include "FrameConverter.h"
#include "Player.h"
#include "WallView.h"

#include <QImage>
#include <memory>
#include <mutex>
#include <optional>
// Animated properties of the view.
enum WallViewKey {
    scrimKey,
    captionKey,
    attributionKey,
    clockKey,
    timelineKey,
    cardKey,
    qrKey,
    transitionKey,
    flareKey
};

// The latest frame a player handed over, waiting for the GUI thread.
struct WallView::Mailbox {
    std::mutex lock;
    std::optional<VideoFrame> latest;
    double seconds = 0; // the latest frame's time in the clip, kept when the frame is taken
    bool notified = false;
};

// A player slot. A slot without a player may still hold a frame: the last one of a clip whose player
// moved on to play the same file again, shown while the transition fades it out.
//
// A frame comes as decoded (the view writes it straight into the window when it is shown alone and whole)
// or as a picture (a look's); a decoded frame is converted to a picture only when it has to be blended or
// drawn in part, once.
struct WallView::Slot {
    std::unique_ptr<Player> player;
    quint64 id = 0;
    std::shared_ptr<Mailbox> mailbox;
    QImage frame;
    std::shared_ptr<const AVFrame> decoded;
    QSize size; // the frame's, in pixels
    // What the last frame written into the window left under the chrome band, for the chrome's fades to
    // repaint over between frames.
    QImage under;
    QRect underRect;
    FrameConverter converter{FrameConverter::Use::playback};
    CacheEntry entry;
    QString file;
    FileSignature stamp; // the version of the file the player opened: a pass renames a new clip over it
    bool still = false;  // its player moved on; the slot still fades out what it showed

    bool empty() const { return !decoded && frame.isNull(); }
    void take(VideoFrame&& next) {
        frame = std::move(next.image);
        decoded = std::move(next.decoded);
        size = next.size;
        under = QImage();
    }
    void clearFrame() {
        frame = QImage();
        decoded.reset();
        size = QSize();
        under = QImage();
    }
    // The frame as a picture, converted on first use.
    const QImage& picture() {
        if (frame.isNull() && decoded) frame = converter.convert(decoded.get(), 0, size);
        return frame;
    }
};
