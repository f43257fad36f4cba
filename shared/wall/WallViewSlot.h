#pragma once
// The private parts of WallView shared by its two source files: a player slot and its frame mailbox.

#include "CacheEntry.h"
#include "FileSignature.h"
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
    std::optional<QImage> latest;
    bool notified = false;
};

// A player slot. A slot without a player may still hold a frame: the last one of a clip whose player
// moved on to play the same file again, shown while the transition fades it out.
struct WallView::Slot {
    std::unique_ptr<Player> player;
    quint64 id = 0;
    std::shared_ptr<Mailbox> mailbox;
    QImage frame;
    CacheEntry entry;
    QString file;
    FileSignature stamp; // the version of the file the player opened: a pass renames a new clip over it
    bool still = false;  // its player moved on; the slot still fades out what it showed
};
