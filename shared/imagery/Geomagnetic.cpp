#include "Geomagnetic.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <map>

namespace Geomagnetic {
namespace {

constexpr qint64 intervalSeconds = 3 * 3600;

QDateTime readTime(const QJsonValue& value) {
    if (!value.isString() || value.toString().size() > 40) return {};
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QJsonValue writeTime(const QDateTime& time) {
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

// A stored number, when it is one and passes `valid`.
std::optional<double> readNumber(const QJsonValue& value, bool (*valid)(double)) {
    if (!value.isDouble() || !valid(value.toDouble())) return std::nullopt;
    return value.toDouble();
}

QJsonValue writeNumber(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

std::optional<Reading> readReading(const QJsonValue& value) {
    const QJsonObject item = value.toObject();
    const QDateTime time = readTime(item.value(QLatin1String("time")));
    const std::optional<double> kp = readNumber(item.value(QLatin1String("value")), kpInRange);
    if (!time.isValid() || !kp) return std::nullopt;
    return Reading{time, *kp};
}

QJsonObject writeReading(const Reading& reading) {
    return QJsonObject{{QStringLiteral("time"), writeTime(reading.time)},
                       {QStringLiteral("value"), reading.value}};
}

QString validator(const QJsonValue& value) {
    const QString text = value.toString();
    const bool clean = text.size() <= 256 && std::none_of(text.begin(), text.end(), [](QChar c) {
                           return c.unicode() < 0x20 || c.unicode() == 0x7f;
                       });
    return clean ? text : QString();
}

QDateTime intervalStart(const QDateTime& time) {
    const qint64 seconds = time.toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(
        seconds - ((seconds % intervalSeconds) + intervalSeconds) % intervalSeconds, QTimeZone::utc());
}

} // namespace

bool kpInRange(double kp) {
    return std::isfinite(kp) && kp >= 0 && kp <= 9;
}

bool scaleInRange(double level) {
    return std::isfinite(level) && level >= 0 && level <= 5 && level == std::trunc(level);
}

bool speedInRange(double kmPerS) {
    return std::isfinite(kmPerS) && kmPerS > 0 && kmPerS <= 3000;
}

bool densityInRange(double perCm3) {
    return std::isfinite(perCm3) && perCm3 > 0 && perCm3 <= 500;
}

bool bzInRange(double nT) {
    return std::isfinite(nT) && nT >= -500 && nT <= 500;
}

int stormLevel(double kp) {
    if (!kpInRange(kp)) return 0;
    // Kp comes in thirds: 8.67 is 9-, still G4; only a full 9 is G5.
    if (kp >= 9 - 1e-6) return 5;
    return int(std::clamp<long>(std::lround(kp) - 4, 0, 4));
}

QString kpText(double kp) {
    return QString::number(std::lround(std::clamp(kp, 0.0, 9.0)));
}

bool fresh(const QDateTime& time, const QDateTime& now, qint64 freshFor) {
    return time.isValid() && now.isValid() && time.secsTo(now) <= freshFor;
}

std::optional<Reading> latestKp(const Record& record) {
    std::optional<Reading> latest = record.kpNow;
    if (!record.kp.empty() && (!latest || record.kp.back().time > latest->time)) latest = record.kp.back();
    return latest;
}

std::optional<Reading> highestKp(const Record& record, const QDateTime& from, const QDateTime& to) {
    std::optional<Reading> highest;
    auto consider = [&](const Reading& reading) {
        if (reading.time < from || reading.time > to) return;
        if (!highest || reading.value > highest->value ||
            (reading.value == highest->value && reading.time < highest->time))
            highest = reading;
    };
    for (const Reading& reading : record.kp)
        consider(reading);
    if (record.kpNow) consider(*record.kpNow);
    return highest;
}

std::vector<Storm> storms(const Record& record, const QDateTime& now) {
    // Each interval's level and when it was seen at it; the estimate raises the interval it falls in.
    struct Seen {
        int level = 0;
        QDateTime at;
    };
    std::map<QDateTime, Seen> intervals;
    for (const Reading& reading : record.kp) {
        if (reading.time > now) continue;
        const QDateTime start = intervalStart(reading.time);
        Seen& seen = intervals[start];
        seen.level = std::max(seen.level, stormLevel(reading.value));
        seen.at = std::min(start.addSecs(intervalSeconds), now);
    }
    if (record.kpNow && record.kpNow->time <= now) {
        // The estimate is newer than the interval's value: a level it raises dates from the estimate.
        Seen& seen = intervals[intervalStart(record.kpNow->time)];
        const int level = stormLevel(record.kpNow->value);
        if (level > seen.level) seen = Seen{level, record.kpNow->time};
    }
    std::vector<Storm> found;
    QDateTime previous;
    for (const auto& [start, seen] : intervals) {
        const bool continues =
            !found.empty() && previous.isValid() && previous.secsTo(start) == intervalSeconds;
        previous = start;
        if (seen.level < 1) {
            previous = QDateTime(); // a quiet interval ends the run
            continue;
        }
        if (!continues) found.push_back(Storm{start, 0, {}});
        Storm& storm = found.back();
        storm.level = std::max(storm.level, seen.level);
        for (int level = 1; level <= seen.level; ++level)
            storm.lastAt[size_t(level)] = std::max(storm.lastAt[size_t(level)], seen.at);
    }
    return found;
}

QJsonObject toJson(const Record& record) {
    QJsonArray kp;
    for (const Reading& reading : record.kp)
        kp.append(writeReading(reading));
    QJsonObject root{{QStringLiteral("kp"), kp},
                     {QStringLiteral("kpEtag"), record.kpEtag},
                     {QStringLiteral("kpNowEtag"), record.kpNowEtag},
                     {QStringLiteral("scalesEtag"), record.scalesEtag},
                     {QStringLiteral("windEtag"), record.windEtag}};
    if (record.kpNow) root.insert(QStringLiteral("kpNow"), writeReading(*record.kpNow));
    if (record.scales) {
        auto level = [](const std::optional<int>& value) {
            return value ? QJsonValue(*value) : QJsonValue();
        };
        root.insert(QStringLiteral("scales"),
                    QJsonObject{{QStringLiteral("time"), writeTime(record.scales->time)},
                                {QStringLiteral("r"), level(record.scales->r)},
                                {QStringLiteral("s"), level(record.scales->s)},
                                {QStringLiteral("g"), level(record.scales->g)}});
    }
    if (record.wind)
        root.insert(QStringLiteral("wind"),
                    QJsonObject{{QStringLiteral("time"), writeTime(record.wind->time)},
                                {QStringLiteral("speed"), writeNumber(record.wind->speed)},
                                {QStringLiteral("density"), writeNumber(record.wind->density)},
                                {QStringLiteral("bz"), writeNumber(record.wind->bz)}});
    return root;
}

Record fromJson(const QJsonObject& root) {
    Record record;
    for (const QJsonValue& value : root.value(QLatin1String("kp")).toArray())
        if (const auto reading = readReading(value)) record.kp.push_back(*reading);
    std::stable_sort(record.kp.begin(), record.kp.end(),
                     [](const Reading& a, const Reading& b) { return a.time < b.time; });
    record.kpNow = readReading(root.value(QLatin1String("kpNow")));
    const QJsonObject scales = root.value(QLatin1String("scales")).toObject();
    if (const QDateTime time = readTime(scales.value(QLatin1String("time"))); time.isValid()) {
        auto level = [&scales](const char* key) -> std::optional<int> {
            const auto value = readNumber(scales.value(QLatin1String(key)), scaleInRange);
            return value ? std::optional<int>(int(*value)) : std::nullopt;
        };
        record.scales = Scales{time, level("r"), level("s"), level("g")};
    }
    const QJsonObject wind = root.value(QLatin1String("wind")).toObject();
    if (const QDateTime time = readTime(wind.value(QLatin1String("time"))); time.isValid()) {
        SolarWind reading{time, readNumber(wind.value(QLatin1String("speed")), speedInRange),
                          readNumber(wind.value(QLatin1String("density")), densityInRange),
                          readNumber(wind.value(QLatin1String("bz")), bzInRange)};
        if (reading.speed || reading.density || reading.bz) record.wind = reading;
    }
    record.kpEtag = validator(root.value(QLatin1String("kpEtag")));
    record.kpNowEtag = validator(root.value(QLatin1String("kpNowEtag")));
    record.scalesEtag = validator(root.value(QLatin1String("scalesEtag")));
    record.windEtag = validator(root.value(QLatin1String("windEtag")));
    return record;
}

} // namespace Geomagnetic
