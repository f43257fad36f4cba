#include "StormAlert.h"

#include "Log.h"
#include "Settings.h"
#include "SpaceWeather.h"

#include <QSet>

namespace StormAlert {
namespace {

QString clock(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("HH:mm")) + QStringLiteral(" UTC");
}

} // namespace

QString key(const Geomagnetic::Storm& storm) {
    return storm.began.toUTC().toString(Qt::ISODate);
}

std::vector<Geomagnetic::Storm> due(const std::vector<Geomagnetic::Storm>& storms, int threshold,
                                    const QStringList& announced, const QDateTime& now) {
    std::vector<Geomagnetic::Storm> chosen;
    if (threshold < 1 || threshold > 5) return chosen;
    const QSet<QString> done(announced.begin(), announced.end());
    const QDateTime since = now.addSecs(-qint64(std::chrono::seconds(FlareAlert::recent).count()));
    for (const Geomagnetic::Storm& storm : storms) {
        const QDateTime reached = storm.lastAt[size_t(threshold)];
        if (reached.isValid() && reached >= since && !done.contains(key(storm))) chosen.push_back(storm);
    }
    return chosen;
}

QString title(const Geomagnetic::Storm& storm) {
    return QStringLiteral("G%1 geomagnetic storm").arg(storm.level);
}

QString body(const Geomagnetic::Storm& storm, const Geomagnetic::Record& record) {
    QString text = QStringLiteral("Under way since %1").arg(clock(storm.began));
    if (const auto kp = Geomagnetic::latestKp(record))
        text += QStringLiteral("; Kp %1 at %2").arg(Geomagnetic::kpText(kp->value), clock(kp->time));
    return text + QStringLiteral(" (NOAA SWPC).");
}

int announce(const FlareAlert::Send& send, FlareAlert::Session session, const QDateTime& now) {
    const int threshold = int(Settings::notifyStorms());
    if (threshold < 1 || session == FlareAlert::Session::kiosk || Settings::offline() || !send) return 0;
    const std::optional<SpaceWeather::Record> record = SpaceWeather::load();
    if (!record) return 0;
    const QStringList announced = Settings::announcedStorms();
    QStringList kept;
    // Names older than the week of K index the file keeps can never come round again.
    for (const QString& name : announced) {
        const QDateTime time = QDateTime::fromString(name, Qt::ISODate);
        if (time.isValid() && time >= now.addSecs(-Geomagnetic::keptSeconds) && !kept.contains(name))
            kept << name;
    }
    int shown = 0;
    const auto storms = Geomagnetic::storms(record->geomagnetic, now);
    for (const Geomagnetic::Storm& storm : due(storms, threshold, kept, now)) {
        if (const std::optional<QString> failure = send(title(storm), body(storm, record->geomagnetic))) {
            log(QStringLiteral("storm notification: could not show the G%1 storm: %2")
                    .arg(storm.level)
                    .arg(*failure),
                LogArea::app);
            continue;
        }
        log(QStringLiteral("storm notification: G%1, began %2").arg(storm.level).arg(key(storm)),
            LogArea::app);
        kept << key(storm);
        ++shown;
    }
    if (kept != announced) Settings::setAnnouncedStorms(kept);
    return shown;
}

} // namespace StormAlert
