#pragma once
// The optional desktop notification of a geomagnetic storm: once per storm, when it reaches the G level
// the person chose (notifyStorms, 1 ... 5; 0 is off) within the hour; never in a kiosk or while
// offline. Which storms were announced is kept in the announcedStorms setting, as for flares.

#include "FlareAlert.h"
#include "Geomagnetic.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace StormAlert {

// A storm's name among the announced: when it began, ISO 8601 UTC.
QString key(const Geomagnetic::Storm& storm);

// The storms to announce at `now`: those that reached G `threshold` (1 ... 5) and were last seen there
// within FlareAlert::recent before `now`, not among `announced`. Oldest first; none for threshold 0.
std::vector<Geomagnetic::Storm> due(const std::vector<Geomagnetic::Storm>& storms, int threshold,
                                    const QStringList& announced, const QDateTime& now);

// "G2 geomagnetic storm" and "Under way since 09:00 UTC; Kp 6 at 13:24 UTC (NOAA SWPC)."
QString title(const Geomagnetic::Storm& storm);
QString body(const Geomagnetic::Storm& storm, const Geomagnetic::Record& record);

// After a pass: sends each due storm of the space-weather file, as FlareAlert::announce does flares,
// and remembers those shown in announcedStorms (a week of them). Gives how many were shown.
int announce(const FlareAlert::Send& send, FlareAlert::Session session,
             const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace StormAlert
