#include "XrayStatus.h"

#include "FlareMarks.h"
#include "SourceStatus.h"

namespace XrayStatus {
namespace {

constexpr qint64 daySeconds = 86400;

// The moment the record speaks for: its newest sample, else when it was fetched; invalid without either.
QDateTime asOf(const SpaceWeather::Record& record) {
    if (record.latest && record.latest->time.isValid()) return record.latest->time;
    return record.fetched;
}

bool stale(const QDateTime& when, const QDateTime& now) {
    return when.isValid() && when.secsTo(now) > staleSeconds;
}

// "14:05 UTC" within a day of now, else the day: an hour alone would pass for today's.
QString moment(const QDateTime& when, const QDateTime& now) {
    return when.secsTo(now) < daySeconds ? FlareMarks::utcTime(when) : SourceStatus::day(when);
}

} // namespace

QString level(const SpaceWeather::Record& record, const QDateTime& now) {
    if (!record.latest) return {};
    const SpaceWeather::Sample& sample = *record.latest;
    const QString flareClass = SpaceWeather::classFromFlux(sample.flux);
    if (flareClass.isEmpty() || !sample.time.isValid()) return {};
    const QString text = QStringLiteral("X-ray ") + flareClass;
    if (!stale(sample.time, now)) return text + QStringLiteral(" at ") + FlareMarks::utcTime(sample.time);
    const QString when = sample.time.secsTo(now) < daySeconds
                             ? QStringLiteral(" at ") + FlareMarks::utcTime(sample.time)
                             : QStringLiteral(" on ") + SourceStatus::day(sample.time);
    return text + when + QStringLiteral(", ") + SourceStatus::age(sample.time, now);
}

QString largestFlare(const SpaceWeather::Record& record, const QDateTime& now) {
    const QDateTime reference = asOf(record);
    const bool old = stale(reference, now);
    const QDateTime to = old ? reference : now;
    const QString span = old ? QStringLiteral("in the 24 hours to ") + moment(reference, now)
                             : QStringLiteral("in the last 24 hours");
    const auto largest =
        SpaceWeather::largest(SpaceWeather::within(record.flares, to.addSecs(-daySeconds), to));
    if (!largest) return QStringLiteral("No flare ") + span;
    QString when = largest->peak.isValid() ? QStringLiteral(", peak ") : QStringLiteral(", began ");
    if (largest->inProgress()) when = QStringLiteral(" in progress") + when;
    return QStringLiteral("Largest flare ") + span + QStringLiteral(": ") + largest->peakClass.trimmed() +
           when + moment(largest->when(), now);
}

int satellite(const SpaceWeather::Record& record) {
    if (record.latest && record.latest->satellite > 0) return record.latest->satellite;
    for (auto flare = record.flares.rbegin(); flare != record.flares.rend(); ++flare)
        if (flare->satellite > 0) return flare->satellite;
    return 0;
}

QString source(int satellite) {
    return QStringLiteral("X-ray data: ") + SpaceWeather::sourceName(satellite);
}

QStringList cardLines(const SpaceWeather::Record& record, const QDateTime& now) {
    QStringList lines;
    if (const QString current = level(record, now); !current.isEmpty()) lines << current;
    lines << largestFlare(record, now);
    lines << source(satellite(record));
    return lines;
}

} // namespace XrayStatus
