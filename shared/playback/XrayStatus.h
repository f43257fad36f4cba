#pragma once
// The Sun's X-ray level in words, for the wall's card and the tray: the current class and its time, the
// largest flare of the last day, and whose data it is. Old data says its age rather than passing for
// the present. Pure functions on plain values.

#include "SpaceWeather.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace XrayStatus {

// A level read longer ago than this is shown with its age.
inline constexpr qint64 staleSeconds = 3 * 3600;

// "X-ray C2.3 at 14:05 UTC"; when the newest sample is old, "X-ray C2.3 at 14:05 UTC, 5 hours old", or
// from a day on "X-ray C2.3 on 5 Dec 2026, 2 days old". Empty without a sample.
QString level(const SpaceWeather::Record& record, const QDateTime& now);

// "Largest flare in the last 24 hours: M1.2, peak 14:07 UTC", or "No flare in the last 24 hours". With
// old data the day is the one up to the newest sample (or the fetch) and says so: "... in the 24 hours
// before that: ...".
QString largestFlare(const SpaceWeather::Record& record, const QDateTime& now);

// The satellite the data comes from: the newest sample's, else the newest flare's that names one; 0
// when none does.
int satellite(const SpaceWeather::Record& record);

// "X-ray data: NOAA SWPC (GOES-16)", or without the parenthesis for satellite 0.
QString source(int satellite);

// The card's lines: the level (when there is a sample), the largest flare, and the source.
QStringList cardLines(const SpaceWeather::Record& record, const QDateTime& now);

} // namespace XrayStatus
