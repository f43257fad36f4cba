#include "GeomagneticReader.h"

#include "JsonNumbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <map>

namespace GeomagneticReader {
namespace {

// The number in the first of `keys` the row gives a value for (null counts as none), when it is a
// number and passes `valid`.
std::optional<double> column(const QJsonObject& row, std::initializer_list<const char*> keys,
                             bool (*valid)(double)) {
    for (const char* key : keys) {
        const QJsonValue value = row.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) continue;
        const std::optional<double> read = number(value);
        return read && valid(*read) ? read : std::nullopt;
    }
    return std::nullopt;
}

QDateTime timeOf(const QJsonObject& row) {
    const QJsonValue value = row.value(QLatin1String("time_tag"));
    return value.isString() ? readTime(value.toString()) : QDateTime();
}

// Readings by time, one per time (the first listed), oldest first.
std::vector<Geomagnetic::Reading> byTime(const std::vector<Geomagnetic::Reading>& readings) {
    std::map<QDateTime, Geomagnetic::Reading> once;
    for (const Geomagnetic::Reading& reading : readings)
        once.emplace(reading.time, reading);
    std::vector<Geomagnetic::Reading> sorted;
    sorted.reserve(once.size());
    for (const auto& [time, reading] : once)
        sorted.push_back(reading);
    return sorted;
}

std::optional<std::vector<Geomagnetic::Reading>> readings(const QByteArray& bytes,
                                                          std::initializer_list<const char*> keys) {
    const auto table = rows(bytes);
    if (!table) return std::nullopt;
    std::vector<Geomagnetic::Reading> found;
    for (const QJsonObject& row : *table) {
        const QDateTime time = timeOf(row);
        const std::optional<double> kp = column(row, keys, Geomagnetic::kpInRange);
        if (time.isValid() && kp) found.push_back({time, *kp});
    }
    return byTime(found);
}

} // namespace

std::optional<std::vector<QJsonObject>> rows(const QByteArray& bytes) {
    const QJsonDocument document = JsonNumbers::parse(bytes, nullptr);
    if (!document.isArray()) return std::nullopt;
    const QJsonArray items = document.array();
    std::vector<QJsonObject> found;
    // A first row of texts names the columns of the rows after it.
    QStringList header;
    if (!items.isEmpty() && items.first().isArray()) {
        const QJsonArray names = items.first().toArray();
        if (std::all_of(names.begin(), names.end(), [](const QJsonValue& v) { return v.isString(); }))
            for (const QJsonValue& name : names)
                header << name.toString();
    }
    for (qsizetype i = header.isEmpty() ? 0 : 1; i < items.size(); ++i) {
        const QJsonValue item = items.at(i);
        if (item.isObject()) {
            found.push_back(item.toObject());
        } else if (item.isArray() && !header.isEmpty() && item.toArray().size() == header.size()) {
            const QJsonArray cells = item.toArray();
            QJsonObject row;
            for (qsizetype c = 0; c < header.size(); ++c)
                row.insert(header[c], cells.at(c));
            found.push_back(row);
        }
    }
    return found;
}

QDateTime readTime(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?Z?$)"));
    if (text.size() > 40) return {};
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) return {};
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    // Fractions of a second tell nothing at these products' minute cadence, and the file keeps seconds.
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, QTimeZone::utc());
}

std::optional<double> number(const QJsonValue& value) {
    if (value.isDouble())
        return std::isfinite(value.toDouble()) ? std::optional<double>(value.toDouble()) : std::nullopt;
    if (!value.isString()) return std::nullopt;
    static const QRegularExpression plain(QStringLiteral(R"(^\s*[-+]?\d{1,9}(\.\d{0,9})?\s*$)"));
    const QString text = value.toString();
    if (text.size() > 32 || !plain.match(text).hasMatch()) return std::nullopt;
    return text.trimmed().toDouble();
}

std::optional<std::vector<Geomagnetic::Reading>> kpIntervals(const QByteArray& bytes) {
    return readings(bytes, {"Kp", "kp"});
}

std::optional<std::vector<Geomagnetic::Reading>> kpEstimates(const QByteArray& bytes) {
    return readings(bytes, {"estimated_kp", "kp_index"});
}

std::optional<Geomagnetic::Scales> scales(const QByteArray& bytes) {
    const QJsonDocument document = JsonNumbers::parse(bytes, nullptr);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject current = document.object().value(QLatin1String("0")).toObject();
    const QJsonValue day = current.value(QLatin1String("DateStamp"));
    const QJsonValue clock = current.value(QLatin1String("TimeStamp"));
    if (!day.isString() || !clock.isString()) return std::nullopt;
    const QDateTime time = readTime(day.toString() + QLatin1Char('T') + clock.toString());
    if (!time.isValid()) return std::nullopt;
    auto level = [&current](const char* scale) -> std::optional<int> {
        const std::optional<double> value =
            number(current.value(QLatin1String(scale)).toObject().value(QLatin1String("Scale")));
        return value && Geomagnetic::scaleInRange(*value) ? std::optional<int>(int(*value)) : std::nullopt;
    };
    return Geomagnetic::Scales{time, level("R"), level("S"), level("G")};
}

std::optional<std::vector<Geomagnetic::SolarWind>> solarWind(const QByteArray& bytes) {
    const auto table = rows(bytes);
    if (!table) return std::nullopt;
    std::map<QDateTime, Geomagnetic::SolarWind> once;
    for (const QJsonObject& row : *table) {
        // The real-time files interleave several spacecraft; only the one in service speaks for now.
        if (row.value(QLatin1String("active")).isBool() && !row.value(QLatin1String("active")).toBool())
            continue;
        Geomagnetic::SolarWind reading{
            timeOf(row), column(row, {"speed", "proton_speed"}, Geomagnetic::speedInRange),
            column(row, {"density", "proton_density"}, Geomagnetic::densityInRange),
            column(row, {"bz", "bz_gsm"}, Geomagnetic::bzInRange)};
        if (reading.time.isValid() && (reading.speed || reading.density || reading.bz))
            once.emplace(reading.time, reading);
    }
    std::vector<Geomagnetic::SolarWind> sorted;
    for (const auto& [time, reading] : once)
        sorted.push_back(reading);
    return sorted;
}

} // namespace GeomagneticReader
