#pragma once
// Refreshes the space-weather file from NOAA SWPC's public files: the GOES X-ray flares of the last 7
// days and the newest long-channel sample, the planetary K index (3-hourly and the one-minute estimate),
// NOAA's scales now and the solar wind near Earth. Runs at the end of the imagery pass, on its thread
// and under its lock. Requests are conditional on the validators the file keeps, each body is limited
// in size and the whole refresh in time; a source that fails or answers something unreadable keeps
// what the file held from it, and one log line says why.

#include "Cache.h"
#include "SpaceWeather.h"

#include <QDateTime>
#include <QString>
#include <chrono>
#include <optional>
#include <vector>

namespace SpaceWeatherFetch {

// Where the files live below the base address, as on the real host.
inline constexpr const char* flaresPath = "/json/goes/primary/xray-flares-7-day.json";
inline constexpr const char* xraysPath = "/json/goes/primary/xrays-1-day.json";
inline constexpr const char* kpPath = "/products/noaa-planetary-k-index.json";
inline constexpr const char* kpNowPath = "/json/planetary_k_index_1m.json";
inline constexpr const char* scalesPath = "/products/noaa-scales.json";
inline constexpr const char* windPath = "/products/geospace/propagated-solar-wind-1-hour.json";

// How far back flares are kept.
inline constexpr std::chrono::hours keptFor{24 * 7};
// A single request's limits: no data for `stall` fails it, and so does the whole transfer passing
// `total` (Cache::timeLimits of a fragment: 20 s and 120 s).
Cache::TimeLimits timeLimits();
// For tests: requests get these limits instead; zero limits restore the usual ones.
void setTimeLimits(std::chrono::seconds stall, std::chrono::seconds total);
// The whole refresh's deadline, one and a half times a single request's (180 s): a source that answers
// slowly leaves the others their turn within it, and space weather never holds the pass for long.
std::chrono::seconds budget();
// A refresh asked for on the hour is skipped while the file is younger than this: the products change
// by the minute, but asking more often than hourly tells a person nothing new.
inline constexpr std::chrono::minutes spacing{50};

// The base address: SOLVANE_SWPC_BASE when set, else SpaceWeather::defaultBase, without a trailing
// slash. Nothing, with the reason, when it is not an https address.
std::optional<QString> base(QString* error = nullptr);

enum class Outcome {
    updated, // a source answered and the file was written
    kept,    // no source gave anything usable; the file (if any) is as it was, byte for byte
    skipped, // offline, read-only, stopping, or not due: nothing was asked
};

// Whether to ask now, or only when the file is older than `spacing`.
enum class When { now, due };

// One refresh at `now`. Skipped without a word when offline, when the cache is read-only, when the pass
// is stopping, or (with When::due) when the file was fetched within `spacing`.
Outcome refresh(const QDateTime& now = QDateTime::currentDateTimeUtc(), When when = When::now);

// The flares a record keeps from what the file listed at `now`: those of the last 7 days and not more
// than an hour ahead of the clock, one per flare (a flare listed twice, by two satellites or twice by
// one, is kept once, preferring `primary`'s listing), by when(), oldest first.
std::vector<SpaceWeather::Flare> kept(const std::vector<SpaceWeather::Flare>& listed, int primary,
                                      const QDateTime& now);

} // namespace SpaceWeatherFetch
