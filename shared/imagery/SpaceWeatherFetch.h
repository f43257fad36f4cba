#pragma once
// Refreshes the space-weather file from NOAA SWPC's public GOES X-ray files: the flares of the last 7
// days and the newest long-channel sample. Runs at the end of the imagery pass, on its thread and under
// its lock. Requests are conditional on the validators the file keeps; a source that fails or answers
// something unreadable leaves the last good file and one log line.

#include "SpaceWeather.h"

#include <QDateTime>
#include <QString>
#include <chrono>
#include <optional>
#include <vector>

namespace SpaceWeatherFetch {

// Where the two files live below the base address, as on the real host.
inline constexpr const char* flaresPath = "/json/goes/primary/xray-flares-7-day.json";
inline constexpr const char* xraysPath = "/json/goes/primary/xrays-1-day.json";

// How far back flares are kept.
inline constexpr std::chrono::hours keptFor{24 * 7};

// The base address: SOLVANE_SWPC_BASE when set, else SpaceWeather::defaultBase, without a trailing
// slash. Nothing, with the reason, when it is not an https address.
std::optional<QString> base(QString* error = nullptr);

enum class Outcome {
    updated, // a source answered and the file was written
    kept,    // no source gave anything usable; the file (if any) is as it was
    skipped, // offline, read-only, or stopping: nothing was asked
};

// One refresh at `now`. Skipped without a word when offline, when the cache is read-only or when the
// pass is stopping.
Outcome refresh(const QDateTime& now = QDateTime::currentDateTimeUtc());

// The flares a record keeps from what the file listed at `now`: those of the last 7 days and not more
// than an hour ahead of the clock, one per flare (a flare listed twice, by two satellites or twice by
// one, is kept once, preferring `primary`'s listing), by when(), oldest first.
std::vector<SpaceWeather::Flare> kept(const std::vector<SpaceWeather::Flare>& listed, int primary,
                                      const QDateTime& now);

} // namespace SpaceWeatherFetch
