#pragma once
// The light pass: keeps the shown products' newest slots current between the scheduled passes (see
// Follow.h for when it runs). It reads only the end of today's listing (and yesterday's just after
// midnight), downloads the newest image of each slot newer than those held, and re-makes the clips
// whose slots changed; a playing screen takes the new clip file at its next loop. It never back-fills
// older gaps: that is the scheduled pass's work. A scheduled pass running at the moment makes it give
// way at once. Runs on the caller's thread; callers put it on a thread of its own.

#include "RemoteProduct.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace FollowPass {

struct Outcome {
    QString skipped; // why it did not run (another pass held the cache, no clip maker), in words
    bool reached = false;
    QString reason; // why NASA SDO was not reached, in words
    int newImages = 0;
    QStringList made;   // products given a new clip
    QStringList failed; // products whose clip could not be made, each logged with its reason
    QString newest;     // ISO 8601 UTC of the newest image now held among the products' channels
    // What it cost, as bytes on the wire.
    qint64 requests = 0;
    qint64 listingBytes = 0;
    qint64 imageBytes = 0;
};

// One light pass for `products` (catalogue ids) at `now` (the clock; benchmarks give their own).
Outcome run(const QSet<QString>& products, const QDateTime& now);

} // namespace FollowPass
