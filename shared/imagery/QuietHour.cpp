#include "QuietHour.h"

#include <optional>

namespace {

// The first instant whose wall-clock reading in `zone` is `date` at `wall`, or nothing when that
// reading does not exist (it falls in a daylight-saving gap).
std::optional<QDateTime> firstInstant(const QDate& date, const QTime& wall, const QTimeZone& zone) {
    const QDateTime asUtc(date, wall, QTimeZone::utc());
    // The offsets in force around that day cover every way the reading could map to an instant.
    std::optional<QDateTime> best;
    for (int hours : {-36, -12, 0, 12, 36}) {
        const int offset = zone.offsetFromUtc(asUtc.addSecs(qint64(hours) * 3600));
        const QDateTime instant = asUtc.addSecs(-offset);
        if (zone.offsetFromUtc(instant) != offset) continue;
        if (!best || instant < *best) best = instant;
    }
    return best;
}

// 03:00 on `date`, or the next wall-clock time that exists that day when 03:00 is skipped.
QDateTime threeOClock(const QDate& date, const QTimeZone& zone) {
    const QTime three(3, 0);
    for (int minutes = 0; minutes < 21 * 60; ++minutes)
        if (auto instant = firstInstant(date, three.addSecs(minutes * 60), zone))
            return instant->toTimeZone(zone);
    // Never reached with real zones: no day skips twenty hours.
    return QDateTime(date, three, zone);
}

} // namespace

QDateTime QuietHour::next(const QDateTime& after, const QTimeZone& calendar) {
    const QDateTime local = after.toTimeZone(calendar);
    const int hour = local.time().hour();
    if (hour == 3 || hour == 4) return local;
    const QDateTime today = threeOClock(local.date(), calendar);
    if (today > after) return today;
    return threeOClock(local.date().addDays(1), calendar);
}
