#pragma once
// What the Sun is doing to Earth, from NOAA SWPC beside the X-ray data: the planetary K index, NOAA's
// space weather scales now and the solar wind near Earth. Every value keeps the time it was measured,
// so whoever shows it can say how old it is. Kept in the space-weather file; pure rules on plain values.

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace Geomagnetic {

// A value and the time the product gives for it (not when it was fetched).
struct Reading {
    QDateTime time;
    double value = 0;
    bool operator==(const Reading&) const = default;
};

// NOAA's scales now, 0 to 5 each: R radio blackout, S solar radiation storm, G geomagnetic storm. A
// scale the product leaves null is absent, not 0.
struct Scales {
    QDateTime time;
    std::optional<int> r, s, g;
    bool operator==(const Scales&) const = default;
};

// The solar wind near Earth at one time: speed in km/s, proton density per cm³, the north-south
// component of the field (Bz, GSM) in nT; each absent when the product left it out.
struct SolarWind {
    QDateTime time;
    std::optional<double> speed, density, bz;
    bool operator==(const SolarWind&) const = default;
};

struct Record {
    std::vector<Reading> kp;       // the 3-hourly index, each at the start of its interval, oldest first
    std::optional<Reading> kpNow;  // the newest one-minute estimate
    std::optional<Scales> scales;  // the current entry
    std::optional<SolarWind> wind; // the newest reading with a speed
    // Validators for conditional requests, one per product, without control characters.
    QString kpEtag, kpNowEtag, scalesEtag, windEtag;
    bool operator==(const Record&) const = default;
};

// How long a value counts as current: three times the interval at which a fresh one normally reaches
// us. The passes ask hourly, so the one-minute products (the Kp estimate, the scales, the solar wind)
// reach us hourly; a 3-hourly Kp interval is current for three of its intervals.
inline constexpr qint64 freshSeconds = 3 * 3600;
inline constexpr qint64 intervalFreshSeconds = 3 * 3 * 3600;
// How far back the 3-hourly index is kept.
inline constexpr qint64 keptSeconds = 7 * 24 * 3600;

// The values an instrument can give; anything else (NaN, a -9999 fill, a typing slip) is refused.
bool kpInRange(double kp);          // 0 ... 9
bool scaleInRange(double level);    // a whole number 0 ... 5
bool speedInRange(double kmPerS);   // above 0, up to 3000
bool densityInRange(double perCm3); // above 0, up to 500
bool bzInRange(double nT);          // -500 ... 500

// The NOAA G level of a Kp value: G1 from Kp 5- (4.67), G2 from 6-, G3 from 7-, G4 from 8- and G5 only
// at Kp 9; 0 below a storm.
int stormLevel(double kp);
// Kp as people say it, a whole number: 4.67 is "5".
QString kpText(double kp);

// Whether a value measured at `time` still counts as current at `now` for `freshFor` seconds.
bool fresh(const QDateTime& time, const QDateTime& now, qint64 freshFor = freshSeconds);

// The newest Kp: the one-minute estimate, or the newest 3-hourly interval when it is newer.
std::optional<Reading> latestKp(const Record& record);
// The highest Kp of the intervals (and the estimate) measured in [from, to]; the earliest of equals.
std::optional<Reading> highestKp(const Record& record, const QDateTime& from, const QDateTime& to);

// A geomagnetic storm: a run of consecutive 3-hourly intervals at G1 or above (the one-minute estimate
// counting for the interval it falls in), named by when the run began.
struct Storm {
    QDateTime began;
    int level = 0; // the highest G level of the run so far
    // When the run was last seen at G n or above, by n (index 0 unused): an interval counts at its end
    // (or `now` while it runs), the estimate at its time. Invalid for a level never reached.
    std::array<QDateTime, 6> lastAt;
    bool operator==(const Storm&) const = default;
};
// The storms in the record up to `now`, oldest first.
std::vector<Storm> storms(const Record& record, const QDateTime& now);

// The record as the space-weather file holds it, and back; reading refuses element by element what no
// product could give.
QJsonObject toJson(const Record& record);
Record fromJson(const QJsonObject& object);

} // namespace Geomagnetic
