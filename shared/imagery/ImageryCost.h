#pragma once
// Roughly what the chosen products cost: bytes downloaded a day and bytes kept on disk, from averages
// measured on NASA SDO's archive. Pure; the Preferences window states it in one sentence.

#include <QSet>
#include <QString>
#include <QStringList>

namespace ImageryCost {

// The average 1024-pixel JPEG of a channel (see BrowseRules.h for the numbers HMI's pictures stand as):
// AIA 94 325 kB, 131 229, 171 172, 193 129, 211 140, 304 223, 335 375; the others the AIA average, 233.
qint64 averageImageBytes(int channel);

// One image per channel and 20-minute slot: 72 a day, 144 kept for the 48 hours.
inline constexpr int imagesPerDay = 72;
inline constexpr int imagesKept = 144;
// A 2048-pixel image weighs about four 1024-pixel ones.
inline constexpr int sharperFactor = 4;
// A day of listings, whichever products are shown: the light passes' ends of today's listing and the
// day's scheduled pass, from a host that does not compress (bench-follow measured 6.4 MB; 4.0 MB from one
// that does).
inline constexpr qint64 listingBytesPerDay = 6'000'000;
// A 48-hour clip and its still, made here (a clip of the stand-in's real imagery is 0.7 MB, of a busier
// synthetic picture 2.2 MB; a still 3.2 MB).
inline constexpr qint64 clipBytes = 2'000'000;
inline constexpr qint64 stillBytes = 3'000'000;

struct Estimate {
    qint64 downloadPerDay = 0;
    qint64 disk = 0;
};

// For `products` (catalogue ids; those made elsewhere, like the temperature map, cost nothing here);
// the products in `sharper` have 2048-pixel clips. A channel shared by several products counts once.
Estimate estimate(const QStringList& products, const QSet<QString>& sharper = {});

// "About 45 MB a day to download and 90 MB on disk for the chosen products."
QString sentence(const Estimate& estimate);

} // namespace ImageryCost
