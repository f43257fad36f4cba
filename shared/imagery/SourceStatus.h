#pragma once
// Where the imagery comes from and how old it is, in words a person reads: the Preferences cache line,
// the tray and the diagnostics report share these texts. Pure functions on plain values.

#include "CacheEntry.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace SourceStatus {
// What a pass records as its host when it read NASA SDO's public folders itself.
inline constexpr const char* directHost = "sdo.gsfc.nasa.gov (direct)";

// The host a pass would use for the `imageryHost` setting: empty means the direct source.
QString configuredHost(const QString& imageryHost);

// Who the imagery comes from, for people: "NASA SDO" for the direct source, else the mirror's host.
QString sourceName(const QString& host);

// "less than a minute old", "5 minutes old", "3 hours old", "4 days old"; a time in the future reads
// as the newest possible.
QString age(const QDateTime& when, const QDateTime& now);

// A day in English with the year, as "24 Jun 2013" (UTC).
QString day(const QDateTime& when);

// The newest imagery time on disk: the greatest `updated` of the entries that are not the built-in
// clip, or the pass's `newest` when that is later. Nothing when only the built-in clip is held.
std::optional<QDateTime> newestImagery(const std::vector<CacheEntry>& entries,
                                       const std::optional<Cache::LastPass>& pass);

struct State {
    std::optional<Cache::LastPass> pass; // the last pass recorded, if any
    std::vector<CacheEntry> entries;     // what is on disk
    QString imageryHost;                 // the setting, for when no pass has run yet
    bool offline = false;
    bool downloading = false; // a pass is running now
    QDateTime now;
    bool meteredHolds = false; // a metered network holds back new images
};

// The state as the cache and the settings hold it now; whether a pass runs is the caller's to say.
State current(bool downloading, const QDateTime& now);

// When `after` is a pass record other than `before` and no source answered it: "can't reach <source>:
// <reason>", for the one line a failed --refresh or --prime prints. Nothing otherwise.
std::optional<QString> unreached(const std::optional<Cache::LastPass>& before,
                                 const std::optional<Cache::LastPass>& after);

// What stopped the last pass early although its source answered, as one plain sentence: "Can't write to
// ~/.cache/Solvane: No space left on device." or "The last check was cut short after 2 minutes, the
// time a pass may take: 40 of 300 images not fetched." Nothing when nothing did.
std::optional<QString> problem(const Cache::LastPass& pass);

// What is on screen when nothing new arrives: "Showing imagery from 5 Dec 2026, 3 days old.", "Showing
// the built-in clip from 24 Jun 2013.", or empty when nothing is on disk.
QString showing(const State& state);

// One or two sentences: what is being shown, from where, how old, and when the last pass found no
// source, that it could not reach it and why; or what stopped it early (problem()).
QString line(const State& state);
// On a metered network that holds back new images, a sentence saying so; else empty.
QString meteredNote(const State& state);
// line(), followed on a metered network that holds back new images by a sentence saying so.
QString lineWithNetwork(const State& state);
} // namespace SourceStatus
