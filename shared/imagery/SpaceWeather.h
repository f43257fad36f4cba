#pragma once
// The Sun's X-ray activity from NOAA's Space Weather Prediction Center (GOES satellites), and what it
// does to Earth (Geomagnetic.h), kept beside the imagery as one small file in the cache folder. The pass
// refreshes it; walls, tray, card and the saver only read it. Pure rules on plain values, and the file.

#include "Geomagnetic.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace SpaceWeather {

inline constexpr const char* fileName = "spaceweather.json";
// Where the public files live; SOLVANE_SWPC_BASE replaces it for tests.
inline constexpr const char* defaultBase = "https://services.swpc.noaa.gov";

struct Flare {
    QDateTime begin;   // invalid when not given
    QDateTime peak;    // the time of the maximum; invalid while not yet known
    QDateTime end;     // invalid while the flare is in progress
    QString peakClass; // "M1.2": the maximum class, or while in progress the class so far
    int satellite = 0; // GOES number, 0 when unknown

    bool inProgress() const { return !end.isValid(); }
    // The peak time, or the begin time while no peak is known: where the flare stands on a timeline.
    QDateTime when() const { return peak.isValid() ? peak : begin; }
};

// One long-channel (0.1-0.8 nm) flux sample, in W/m².
struct Sample {
    QDateTime time;
    double flux = 0;
    int satellite = 0;
};

struct Record {
    QDateTime fetched;            // when a source last answered with something readable
    std::vector<Flare> flares;    // by when(), oldest first
    std::optional<Sample> latest; // the newest long-channel sample
    QString flaresEtag;           // validators for conditional requests, without control characters
    QString xraysEtag;
    Geomagnetic::Record geomagnetic; // the K index, NOAA's scales and the solar wind
};

// The class of a long-channel flux: A < 1e-7 <= B < 1e-6 <= C < 1e-5 <= M < 1e-4 <= X, with one decimal
// of the multiplier ("C2.3", "X12.0"). A multiplier that rounds to 10 moves up a class ("M1.0"). Empty
// for a flux that is not a positive finite number, reads below A0.1, or reaches X100.0 (beyond any
// flare ever measured).
QString classFromFlux(double wattsPerSquareMetre);

// The flux a class names ("M1.2" is 1.2e-5), for comparing and sizing. Nothing for text that is not a
// class letter (A, B, C, M, X) followed by a plain decimal multiplier within that letter's range: 1 to
// below 10 (A from above 0, X to below 100), whose class as classFromFlux writes it exists.
std::optional<double> fluxFromClass(const QString& flareClass);

// "GOES-16"; empty for 0.
QString satelliteName(int satellite);

// Whose data it is: "NOAA SWPC (GOES-16)", or "NOAA SWPC" for satellite 0.
QString sourceName(int satellite);

// The flares whose when() lies in [from, to], oldest first.
std::vector<Flare> within(const std::vector<Flare>& flares, const QDateTime& from, const QDateTime& to);

// The flare with the largest class among `flares` (the earliest of equals); nothing when none has a
// readable class.
std::optional<Flare> largest(const std::vector<Flare>& flares);

// The record as the file holds it, and back. Reading is lenient: a damaged flare is dropped, the rest
// stand; nothing only when the document is not a JSON object.
QByteArray encode(const Record& record);
std::optional<Record> decode(const QByteArray& bytes);

// The cache folder's file (Cache::file(fileName)): read, and written atomically. load() gives nothing,
// silently, when there is no file, and with one log line when it is unreadable.
std::optional<Record> load();
bool save(const Record& record);

} // namespace SpaceWeather
