#pragma once
// Lenient readers of NOAA SWPC's public GOES X-ray files. The bytes come from the network: each element
// is judged on its own, a damaged one is skipped and the rest stand, and values no instrument could give
// are dropped rather than shown.

#include "SpaceWeather.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace SwpcReader {

// The long channel, whose flux defines a flare's class.
inline constexpr const char* longChannel = "0.1-0.8nm";

// The flares of xray-flares-7-day.json, by when(), oldest first. A flare still in progress has a null
// max_class and "Unk" for its unknown times: its class is the larger of the class it began with
// (begin_class) and the class now (current_class). An element without a readable class or time, or
// whose peak lies before its begin, is skipped. Nothing when the document is not a JSON array.
std::optional<std::vector<SpaceWeather::Flare>> flares(const QByteArray& bytes);

// The long-channel samples of xrays-1-day.json up to `notAfter` from one satellite only, the primary:
// the satellite of the newest long-channel sample not after `notAfter` (on a tie, the one listed first
// at that time). Oldest first, one per time. Samples of other energies, of other satellites, without a
// time, after `notAfter`, or with a flux that is not a positive finite number within any flare ever
// measured are skipped. Nothing when the document is not a JSON array.
std::optional<std::vector<SpaceWeather::Sample>> longSamples(const QByteArray& bytes,
                                                             const QDateTime& notAfter);

// A time as these files write it: ISO 8601 in UTC with a trailing "Z" ("2026-12-08T14:07:00Z", seconds
// and fractions optional). Invalid for anything else, a time with another offset included.
QDateTime readTime(const QString& text);

} // namespace SwpcReader
