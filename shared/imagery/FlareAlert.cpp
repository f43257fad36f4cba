#include "FlareAlert.h"

#include "Log.h"
#include "Settings.h"
#include "SpaceWeatherFetch.h"

#include <QSet>

namespace FlareAlert {
namespace {

// A clock a little behind the host's still takes its newest flares.
constexpr qint64 aheadSeconds = 3600;
// Long-duration flares run for a few hours; none for half a day.
constexpr qint64 longestRunSeconds = 12 * 3600;

QString clock(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("HH:mm")) + QStringLiteral(" UTC");
}

QString seenBy(const SpaceWeather::Flare& flare) {
    return flare.satellite > 0
               ? QStringLiteral("seen by %1 (NOAA SWPC).").arg(SpaceWeather::satelliteName(flare.satellite))
               : QStringLiteral("reported by NOAA SWPC.");
}

} // namespace

QString key(const SpaceWeather::Flare& flare) {
    const QDateTime start = flare.begin.isValid() ? flare.begin : flare.peak;
    return start.isValid() ? start.toUTC().toString(Qt::ISODate) : QString();
}

double thresholdFlux(const QString& noticeClass) {
    if (noticeClass == QLatin1String("C")) return 1e-6;
    if (noticeClass == QLatin1String("M1")) return 1e-5;
    if (noticeClass == QLatin1String("X1")) return 1e-4;
    return 5e-5; // M5
}

std::vector<SpaceWeather::Flare> due(const std::vector<SpaceWeather::Flare>& flares, double threshold,
                                     const QStringList& announced, const QDateTime& now) {
    const QSet<QString> done(announced.begin(), announced.end());
    std::vector<SpaceWeather::Flare> chosen;
    const QDateTime since = now.addSecs(-qint64(std::chrono::seconds(recent).count()));
    // The widest a flare could be in progress: one listed as running longer is a stale listing.
    const QDateTime runningSince = now.addSecs(-longestRunSeconds);
    for (const SpaceWeather::Flare& flare :
         SpaceWeather::within(flares, runningSince, now.addSecs(aheadSeconds))) {
        // A flare is news until an hour after it ended; one in progress is news now.
        const bool current = flare.inProgress() ? flare.when() >= runningSince : flare.end >= since;
        const std::optional<double> flux = SpaceWeather::fluxFromClass(flare.peakClass);
        // The class is written with one decimal, so M5.0 reads as exactly M5's threshold or a hair below.
        if (!current || !flux || *flux < threshold * (1 - 1e-9) || key(flare).isEmpty() ||
            done.contains(key(flare)))
            continue;
        chosen.push_back(flare);
    }
    return chosen;
}

QStringList remember(const QStringList& announced, const std::vector<SpaceWeather::Flare>& sent,
                     const QDateTime& now) {
    const QDateTime oldest = now.addSecs(-qint64(std::chrono::seconds(SpaceWeatherFetch::keptFor).count()));
    QStringList kept;
    for (const QString& name : announced) {
        const QDateTime time = QDateTime::fromString(name, Qt::ISODate);
        if (time.isValid() && time >= oldest && !kept.contains(name)) kept << name;
    }
    for (const SpaceWeather::Flare& flare : sent)
        if (!kept.contains(key(flare))) kept << key(flare);
    return kept;
}

QString title(const SpaceWeather::Flare& flare) {
    return flare.peakClass + QStringLiteral(" solar flare");
}

QString body(const SpaceWeather::Flare& flare) {
    if (flare.inProgress())
        return QStringLiteral("In progress since %1, %2 so far, ")
                   .arg(clock(flare.begin.isValid() ? flare.begin : flare.peak), flare.peakClass) +
               seenBy(flare);
    return QStringLiteral("Peak %1, ").arg(clock(flare.when())) + seenBy(flare);
}

int announce(const Send& send, Session session, const QDateTime& now) {
    if (!Settings::notifyFlares() || session == Session::kiosk || Settings::offline() || !send) return 0;
    const std::optional<SpaceWeather::Record> record = SpaceWeather::load();
    if (!record) return 0;
    const QStringList announced = Settings::announcedFlares();
    std::vector<SpaceWeather::Flare> shown;
    const double threshold = thresholdFlux(Settings::flareNoticeClass());
    for (const SpaceWeather::Flare& flare : due(record->flares, threshold, announced, now)) {
        if (const std::optional<QString> failure = send(title(flare), body(flare))) {
            log(QStringLiteral("flare notification: could not show the %1 flare: %2")
                    .arg(flare.peakClass, *failure),
                LogArea::app);
            continue;
        }
        log(QStringLiteral("flare notification: %1, began %2").arg(flare.peakClass, key(flare)),
            LogArea::app);
        shown.push_back(flare);
    }
    const QStringList kept = remember(announced, shown, now);
    if (kept != announced) Settings::setAnnouncedFlares(kept);
    return int(shown.size());
}

} // namespace FlareAlert
