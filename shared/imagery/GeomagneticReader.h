#pragma once
// Lenient readers of NOAA SWPC's public geomagnetic and solar wind products. The bytes come from the
// network: each row is judged on its own, a damaged one is skipped and the rest stand, and values no
// instrument could give are refused. SWPC writes its tables in two shapes (an array of objects, or an
// array of arrays whose first row names the columns), numbers as numbers or as text, and null or "Unk"
// for what it does not know; all of them read here.

#include "Geomagnetic.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <optional>
#include <vector>

namespace GeomagneticReader {

// The rows of a table product, each as an object of its columns, in the order given. Nothing when the
// document is not a JSON array; rows that are neither objects nor arrays as long as the header are
// skipped.
std::optional<std::vector<QJsonObject>> rows(const QByteArray& bytes);

// A time as these products write it, always UTC: "2026-12-08T14:00:00", with or without a trailing
// "Z", with a space for the "T", with fractions of a second (dropped). Invalid for anything else.
QDateTime readTime(const QString& text);

// A number as these products give it: a JSON number or a plain decimal text ("4.67"). Nothing for null,
// "Unk", "", NaN or anything else.
std::optional<double> number(const QJsonValue& value);

// noaa-planetary-k-index.json: the 3-hourly Kp ("Kp"), oldest first, one per interval. Nothing when the
// document is not a table.
std::optional<std::vector<Geomagnetic::Reading>> kpIntervals(const QByteArray& bytes);

// planetary_k_index_1m.json: the one-minute estimates ("estimated_kp", else "kp_index"), oldest first.
// Nothing when the document is not a table.
std::optional<std::vector<Geomagnetic::Reading>> kpEstimates(const QByteArray& bytes);

// noaa-scales.json: the current entry ("0"), timed by its DateStamp and TimeStamp. Nothing when the
// document is not an object with a current entry and a readable time.
std::optional<Geomagnetic::Scales> scales(const QByteArray& bytes);

// The solar wind (propagated-solar-wind-1-hour.json, and the plasma, magnetic field and real-time
// products' columns as well): one reading per row that has a speed, a density or a Bz, oldest first;
// rows of a spacecraft marked inactive are skipped. Nothing when the document is not a table.
std::optional<std::vector<Geomagnetic::SolarWind>> solarWind(const QByteArray& bytes);

} // namespace GeomagneticReader
