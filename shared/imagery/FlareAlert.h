#pragma once
// The optional desktop notification of a solar flare: once per flare, for flares of the class the
// person chose (flareNoticeClass, M5 unless set) or above, in progress or ended within the hour, when the
// notifyFlares setting is on; never in a kiosk or while offline. Which flares were announced is kept in
// the announcedFlares setting (the app's own store: the space-weather file is rewritten by whichever
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

// The flux of a notice class the setting names ("C", "M1", "M5", "X1"); M5's for anything else.
double thresholdFlux(const QString& noticeClass);
// An event older than this is history, not news, and is not announced.
inline constexpr std::chrono::hours recent{1};

// A flare's name among the announced: its begin time, which stays put while its class and peak still
// grow; its peak time when no begin is known. ISO 8601 UTC.
QString key(const SpaceWeather::Flare& flare);

// The flares to announce at `now`: of `threshold` flux or above (so far), in progress or ended within
// `recent` before `now`, and not among `announced`. Oldest first.
std::vector<SpaceWeather::Flare> due(const std::vector<SpaceWeather::Flare>& flares, double threshold,
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

// Where the notices would show: a kiosk's public screen gets none.
enum class Session { ordinary, kiosk };

// After a pass: when notifyFlares is on, outside a kiosk and not offline, sends each due flare of the
// space-weather file and remembers those shown. A notification that fails is logged and tried again
// after the next pass. Gives how many were shown. The caller's thread must be one the notifier may be
// used on (the GUI thread).
int announce(const Send& send, Session session, const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace FlareAlert
