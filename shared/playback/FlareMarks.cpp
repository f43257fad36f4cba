#include "FlareMarks.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace FlareMarks {

std::optional<Band> band(const QString& flareClass) {
    if (!SpaceWeather::fluxFromClass(flareClass)) return std::nullopt;
    switch (flareClass.trimmed().at(0).unicode()) {
    case 'C':
        return Band::c;
    case 'M':
        return Band::m;
    case 'X':
        return Band::x;
    default:
        return std::nullopt;
    }
}

std::vector<Mark> marks(const std::vector<SpaceWeather::Flare>& flares, const QDateTime& end, int slotCount,
                        double cadenceSeconds) {
    std::vector<Mark> out;
    if (!end.isValid() || slotCount < 1 || !(cadenceSeconds > 0)) return out;
    const double spanMs = double(slotCount - 1) * cadenceSeconds * 1000.0;
    const qint64 halfFrameMs = qint64(std::llround(cadenceSeconds * 500.0));
    const QDateTime first = end.addMSecs(-qint64(std::llround(spanMs)));
    for (const SpaceWeather::Flare& flare :
         SpaceWeather::within(flares, first.addMSecs(-halfFrameMs), end.addMSecs(halfFrameMs))) {
        const std::optional<Band> b = band(flare.peakClass);
        if (!b) continue;
        const double fraction = spanMs > 0 ? double(first.msecsTo(flare.when())) / spanMs : 1.0;
        out.push_back(Mark{std::clamp(fraction, 0.0, 1.0), *b, flare});
    }
    return out;
}

std::optional<Mark> under(const std::vector<Mark>& marks, const QDateTime& at, double cadenceSeconds) {
    if (!at.isValid()) return std::nullopt;
    const qint64 halfFrameMs = qint64(std::llround(std::max(cadenceSeconds, 0.0) * 500.0));
    std::optional<Mark> best;
    double bestFlux = 0;
    qint64 bestDistance = 0;
    for (const Mark& mark : marks) {
        const SpaceWeather::Flare& f = mark.flare;
        const QDateTime when = f.when();
        const bool closed = f.begin.isValid() && f.end.isValid() && f.begin <= f.end;
        const QDateTime from = (closed ? f.begin : when.addSecs(-openSeconds)).addMSecs(-halfFrameMs);
        const QDateTime to = (closed ? f.end : when.addSecs(openSeconds)).addMSecs(halfFrameMs);
        if (at < from || at > to) continue;
        const double flux = SpaceWeather::fluxFromClass(f.peakClass).value_or(0);
        const qint64 distance = std::abs(when.msecsTo(at));
        if (!best || flux > bestFlux || (flux == bestFlux && distance < bestDistance)) {
            best = mark;
            bestFlux = flux;
            bestDistance = distance;
        }
    }
    return best;
}

QString utcTime(const QDateTime& time) {
    static const QLocale posix(QLocale::C);
    return posix.toString(time.toTimeZone(QTimeZone::utc()), QStringLiteral("HH:mm 'UTC'"));
}

QString caption(const SpaceWeather::Flare& flare, const QDateTime& now) {
    // An hour alone passes for today's: a flare of another day names its day.
    auto at = [&now](const QDateTime& time) {
        static const QLocale posix(QLocale::C);
        const QDateTime utc = time.toTimeZone(QTimeZone::utc());
        if (!now.isValid() || utc.date() == now.toTimeZone(QTimeZone::utc()).date()) return utcTime(time);
        return posix.toString(utc, QStringLiteral("d MMM HH:mm 'UTC'"));
    };
    const QString name = flare.peakClass.trimmed() + QStringLiteral(" flare");
    if (!flare.inProgress()) return name + QStringLiteral(", peak ") + at(flare.when());
    if (flare.peak.isValid()) return name + QStringLiteral(" in progress, peak so far ") + at(flare.peak);
    return name + QStringLiteral(" in progress, began ") + at(flare.begin);
}

} // namespace FlareMarks
