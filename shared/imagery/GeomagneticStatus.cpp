#include "GeomagneticStatus.h"

#include "SourceStatus.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace GeomagneticStatus {
namespace {

constexpr qint64 daySeconds = 86400;
const QChar minus(0x2212);

// "12:05 UTC" within a day of now, else the day: an hour alone would pass for today's.
QString moment(const QDateTime& when, const QDateTime& now) {
    static const QLocale posix(QLocale::C);
    if (when.secsTo(now) >= daySeconds) return SourceStatus::day(when);
    return posix.toString(when.toTimeZone(QTimeZone::utc()), QStringLiteral("HH:mm 'UTC'"));
}

// " at 12:05 UTC" while current, ", 3 h old" once not.
QString when(const QDateTime& time, const QDateTime& now, qint64 freshFor = Geomagnetic::freshSeconds) {
    return Geomagnetic::fresh(time, now, freshFor) ? QStringLiteral(" at ") + moment(time, now)
                                                   : QStringLiteral(", ") + age(time, now);
}

QString number(double value, int decimals) {
    return QLocale(QLocale::C).toString(value, 'f', decimals);
}

QString signedNumber(double value, QChar sign) {
    const QString text = number(std::abs(value), 1);
    return value < 0 && text != QLatin1String("0.0") ? sign + text : text;
}

QString scalesText(const Geomagnetic::Scales& scales) {
    QStringList parts;
    for (const auto& [letter, level] :
         {std::pair{'R', scales.r}, std::pair{'S', scales.s}, std::pair{'G', scales.g}})
        if (level) parts << QStringLiteral("%1%2").arg(QLatin1Char(letter)).arg(*level);
    return parts.join(QLatin1Char(' '));
}

QString windText(const Geomagnetic::SolarWind& wind, QChar sign, const QString& perCubicCm) {
    QStringList parts;
    if (wind.speed) parts << number(*wind.speed, 0) + QStringLiteral(" km/s");
    if (wind.density) parts << number(*wind.density, 1) + perCubicCm;
    if (wind.bz) parts << QStringLiteral("Bz ") + signedNumber(*wind.bz, sign) + QStringLiteral(" nT");
    return parts.join(QStringLiteral(", "));
}

// Kp's freshness: the estimate is a one-minute product, a 3-hourly interval is current for longer.
qint64 kpFreshFor(const Geomagnetic::Record& record, const Geomagnetic::Reading& kp) {
    return record.kpNow && *record.kpNow == kp ? Geomagnetic::freshSeconds
                                               : Geomagnetic::intervalFreshSeconds;
}

QString iso(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODate);
}

} // namespace

QString age(const QDateTime& when, const QDateTime& now) {
    const qint64 seconds = std::max<qint64>(when.secsTo(now), 0);
    if (seconds < 3600) return QStringLiteral("%1 min old").arg(seconds / 60);
    if (seconds < 2 * daySeconds) return QStringLiteral("%1 h old").arg(seconds / 3600);
    return QStringLiteral("%1 days old").arg(seconds / daySeconds);
}

QStringList cardLines(const Geomagnetic::Record& record, const QDateTime& now) {
    QStringList lines;
    if (const auto kp = Geomagnetic::latestKp(record)) {
        const bool current = Geomagnetic::fresh(kp->time, now, kpFreshFor(record, *kp));
        QString line = QStringLiteral("Kp ") + Geomagnetic::kpText(kp->value) +
                       when(kp->time, now, kpFreshFor(record, *kp));
        const auto highest = Geomagnetic::highestKp(record, now.addSecs(-daySeconds), now);
        if (current && highest)
            line += QStringLiteral(", highest ") + Geomagnetic::kpText(highest->value) +
                    QStringLiteral(" in the last 24 hours");
        lines << line;
    }
    if (record.scales && !scalesText(*record.scales).isEmpty())
        lines << QStringLiteral("NOAA scales ") + scalesText(*record.scales) + when(record.scales->time, now);
    if (record.wind && !windText(*record.wind, minus, QStringLiteral(" per cm³")).isEmpty())
        lines << QStringLiteral("Solar wind ") + windText(*record.wind, minus, QStringLiteral(" per cm³")) +
                     when(record.wind->time, now);
    return lines;
}

std::optional<int> stormNow(const Geomagnetic::Record& record, const QDateTime& now) {
    if (record.scales && record.scales->g && Geomagnetic::fresh(record.scales->time, now))
        return record.scales->g;
    const auto kp = Geomagnetic::latestKp(record);
    if (kp && Geomagnetic::fresh(kp->time, now, kpFreshFor(record, *kp)))
        return Geomagnetic::stormLevel(kp->value);
    return std::nullopt;
}

QString trayPhrase(const Geomagnetic::Record& record, const QDateTime& now) {
    const auto kp = Geomagnetic::latestKp(record);
    if (!kp) return {};
    const QString text = QStringLiteral("Kp ") + Geomagnetic::kpText(kp->value);
    if (!Geomagnetic::fresh(kp->time, now, kpFreshFor(record, *kp)))
        return text + QStringLiteral(", ") + age(kp->time, now);
    const std::optional<int> storm = stormNow(record, now);
    return storm && *storm > 0 ? text + QStringLiteral(", G%1 storm").arg(*storm) : text;
}

QStringList badgeLines(const Geomagnetic::Record& record, const QDateTime& now) {
    if (!record.scales || !Geomagnetic::fresh(record.scales->time, now)) return {};
    QStringList lines;
    const Geomagnetic::Scales& s = *record.scales;
    if (s.g && *s.g > 0) lines << QStringLiteral("G%1 geomagnetic storm").arg(*s.g);
    if (s.r && *s.r > 0) lines << QStringLiteral("R%1 radio blackout").arg(*s.r);
    if (s.s && *s.s > 0) lines << QStringLiteral("S%1 radiation storm").arg(*s.s);
    return lines;
}

QStringList reportLines(const std::optional<Geomagnetic::Record>& record, const QDateTime& now) {
    if (!record) return {QStringLiteral("  no space-weather file yet")};
    QStringList lines;
    if (const auto kp = Geomagnetic::latestKp(*record)) {
        const bool estimate = record->kpNow && *record->kpNow == *kp;
        lines << QStringLiteral("  latest Kp ") + number(kp->value, 2) +
                     (estimate ? QStringLiteral(" (estimate)") : QString()) + QStringLiteral(" at ") +
                     iso(kp->time) + QStringLiteral(", ") + SourceStatus::age(kp->time, now) +
                     (Geomagnetic::fresh(kp->time, now, kpFreshFor(*record, *kp))
                          ? QString()
                          : QStringLiteral(", stale"));
    } else {
        lines << QStringLiteral("  latest Kp unknown");
    }
    if (const auto highest = Geomagnetic::highestKp(*record, now.addSecs(-daySeconds), now))
        lines << QStringLiteral("  highest Kp of the last 24 hours ") + number(highest->value, 2) +
                     QStringLiteral(" at ") + iso(highest->time);
    else
        lines << QStringLiteral("  highest Kp of the last 24 hours unknown");
    auto level = [](const std::optional<int>& value) {
        return value ? QString::number(*value) : QStringLiteral("unknown");
    };
    if (record->scales)
        lines << QStringLiteral("  NOAA scales R ") + level(record->scales->r) + QStringLiteral(", S ") +
                     level(record->scales->s) + QStringLiteral(", G ") + level(record->scales->g) +
                     QStringLiteral(" at ") + iso(record->scales->time) +
                     (Geomagnetic::fresh(record->scales->time, now) ? QString() : QStringLiteral(", stale"));
    else
        lines << QStringLiteral("  NOAA scales unknown");
    if (record->wind)
        lines << QStringLiteral("  solar wind ") +
                     windText(*record->wind, QLatin1Char('-'), QStringLiteral(" per cm3")) +
                     QStringLiteral(" at ") + iso(record->wind->time) +
                     (Geomagnetic::fresh(record->wind->time, now) ? QString() : QStringLiteral(", stale"));
    else
        lines << QStringLiteral("  solar wind unknown");
    return lines;
}

} // namespace GeomagneticStatus
