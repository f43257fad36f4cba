#pragma once
// The step of the direct source that the light pass and sharper clips share: from the images that day
// folders' listings name at one size, download the newest image of each slot the store lacks (newest
// first), then make the clips whose slots changed. A product with no clip yet gets one from the newest
// images before the rest are fetched. Under the pass lock, on the caller's thread.

#include "DirectSource.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace SlotFill {

// How far back it fills: only slots from the newest one held on (the light pass), or the whole 48-hour
// window (a scheduled pass making sharper clips).
enum class Reach { newSlots, window };

struct Listing {
    QDate day;
    QByteArray bytes;
};

struct Result {
    int newImages = 0;
    qint64 requests = 0;
    qint64 bytes = 0; // on the wire
    DirectSource::Made made;
    QString newest; // ISO 8601 UTC of the newest image held among the products' channels
};

// `base` is the archive's address; `now` the clock.
Result run(const QStringList& ids, int size, const std::vector<Listing>& listings, Reach reach,
           const QString& base, const QDateTime& now);

// The listings the cache holds of the day folders that can hold images of the 48 hours before `now`.
std::vector<Listing> held(const QDateTime& now);

} // namespace SlotFill
