#pragma once
// The private parts of WallView shared by its two source files: a player slot and its frame mailbox.

#include "CacheEntry.h"
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

struct WallView::Slot {
    std::unique_ptr<Player> player;
    quint64 id = 0;
    std::shared_ptr<Mailbox> mailbox;
    QImage frame;
    CacheEntry entry;
    QString file;
};
