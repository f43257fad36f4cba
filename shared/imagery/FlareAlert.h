#pragma once
// The optional desktop notification of a strong solar flare: once per flare, for flares of class M5 or
// above that peaked recently, when the notifyFlares setting is on. Which flares were announced is kept
// in the announcedFlares setting (the app's own store: the space-weather file is rewritten by whichever
// process runs a pass, and the saver never writes settings), so a restart announces nothing twice.

#include "SpaceWeather.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace FlareAlert {

// The weakest class announced.
inline constexpr double thresholdFlux = 5e-5; // M5.0
// A flare whose peak is older than this is history, not news, and is not announced.
inline constexpr std::chrono::hours recent{6};

// A flare's name among the announced: its begin time, which stays put while its class and peak still
// grow; its peak time when no begin is known. ISO 8601 UTC.
QString key(const SpaceWeather::Flare& flare);

// The flares to announce at `now`: class M5 or above (so far), when() within `recent` before `now` (or
// a little ahead of the clock), and not among `announced`. Oldest first.
std::vector<SpaceWeather::Flare> due(const std::vector<SpaceWeather::Flare>& flares,
                                     const QStringList& announced, const QDateTime& now);

// `announced` plus `sent`, less the names older than the flares the file keeps (7 days before `now`).
QStringList remember(const QStringList& announced, const std::vector<SpaceWeather::Flare>& sent,
                     const QDateTime& now);

// "M6.2 solar flare" and "Peak 14:07 UTC, seen by GOES-18 (NOAA SWPC)." (or, still rising, "In
// progress since 13:58 UTC, M6.2 so far, ...").
QString title(const SpaceWeather::Flare& flare);
QString body(const SpaceWeather::Flare& flare);

// Shows one notification; nothing once shown, else the reason in words (Notifier::notify).
using Send = std::function<std::optional<QString>(const QString& title, const QString& body)>;

// After a pass: when notifyFlares is on, sends each due flare of the space-weather file and remembers
// those shown. A notification that fails is logged and tried again after the next pass. Gives how many
// were shown. The caller's thread must be one the notifier may be used on (the GUI thread).
int announce(const Send& send, const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace FlareAlert
