#pragma once
// What the Sun is doing to Earth in words, for the wall's card and badge, the tray and the diagnostics
// report. A value past its freshness says its age instead of its time, and the badge shows only current
// values. Pure functions on plain values.

#include "Geomagnetic.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace GeomagneticStatus {

// "3 min old", "3 h old", "2 days old".
QString age(const QDateTime& when, const QDateTime& now);

// The card's lines, each left out when there is no such value: "Kp 6 at 12:05 UTC, highest 6 in the
// last 24 hours" (old: "Kp 4, 3 h old"), "NOAA scales R1 S0 G2 at 12:07 UTC" (old: "..., 5 h old"),
// "Solar wind 572 km/s, 5.8 per cm³, Bz −8.7 nT at 12:01 UTC" (old: "..., 4 h old").
QStringList cardLines(const Geomagnetic::Record& record, const QDateTime& now);

// The G level now: NOAA's scale while it is current, else the level of a current Kp; nothing when
// neither is current.
std::optional<int> stormNow(const Geomagnetic::Record& record, const QDateTime& now);

// The tray's words: "Kp 5, G1 storm", "Kp 2", "Kp 4, 3 h old"; empty without a Kp.
QString trayPhrase(const Geomagnetic::Record& record, const QDateTime& now);

// The wall's badge, one line per NOAA scale at 1 or more while the scales are current: "G2 geomagnetic
// storm", "R3 radio blackout", "S1 radiation storm"; empty otherwise.
QStringList badgeLines(const Geomagnetic::Record& record, const QDateTime& now);

// The diagnostics report's "Geomagnetic" lines (indented, without the heading): the latest Kp and its
// time, the highest Kp of the last 24 hours, NOAA's scales now and the solar wind.
QStringList reportLines(const std::optional<Geomagnetic::Record>& record, const QDateTime& now);

} // namespace GeomagneticStatus
