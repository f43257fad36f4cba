#pragma once
// Stills as sharp as large screens: a screen wider than 1440 device pixels gets its desktop picture from
// NASA's 2048-pixel image of the same time as the product's still (4096 beyond 2560 px), fetched for the
// still alone. Only single channels have them: the composites are made here from 1024-pixel images.
// The image is kept as NASA sent it, "<id>.<size>.jpg", beside a stamp holding the still's time.

#include "CacheEntry.h"

#include <QString>
#include <QStringList>

namespace LargeStills {

inline constexpr int sharpAbove = 1440;    // device pixels
inline constexpr int sharpestAbove = 2560; // device pixels

// The still size for a screen `width` device pixels wide: 1024 up to 1440, 2048 up to 2560, 4096 beyond.
int sizeFor(int width);

// "171.2048.jpg".
QString fileName(const QString& id, int size);

// The file (in the cache folder) to show on a screen `width` device pixels wide: the large still of the
// size it needs (or the other large size) when it holds the same time as the entry's still, else the
// still itself. Nothing when the entry has no still.
std::optional<QString> stillFor(const CacheEntry& entry, int width);

// What making them cost.
struct Cost {
    qint64 requests = 0;
    qint64 bytes = 0;
};
// For each single-channel product of `ids` whose still changed since its large still was made, fetches
// NASA's `size` image of the still's time (size 1024 removes large stills). An image NASA does not have
// leaves the product without one. Under the pass lock, on the caller's thread.
Cost make(const QStringList& ids, int size);

} // namespace LargeStills
