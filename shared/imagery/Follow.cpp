#include "Follow.h"

#include "BrowseRules.h"

#include <QTimeZone>
#include <cstdlib>

QDateTime Follow::nextStart(const QDateTime& now) {
    const qint64 seconds = now.toSecsSinceEpoch();
    const qint64 offset = latency.count();
    // The boundary plus latency at or before now, then the next one.
    qint64 start = seconds - offset;
    start -= ((start % Browse::slotSeconds) + Browse::slotSeconds) % Browse::slotSeconds;
    start += offset;
    while (start <= seconds)
        start += Browse::slotSeconds;
    return QDateTime::fromSecsSinceEpoch(start, QTimeZone::utc());
}

std::vector<QDate> Follow::folders(const QDateTime& now) {
    const QDateTime utc = now.toUTC();
    const QDate today = utc.date();
    const qint64 sinceMidnight = QDateTime(today, QTime(0, 0), QTimeZone::utc()).secsTo(utc);
    if (sinceMidnight < yesterdayFor.count()) return {today.addDays(-1), today};
    return {today};
}

std::optional<std::chrono::seconds> Follow::periodOverride() {
    const char* text = std::getenv("SOLVANE_FOLLOW_SECONDS");
    if (!text || !*text) return std::nullopt;
    bool ok = false;
    const qint64 seconds = QString::fromLatin1(text).toLongLong(&ok);
    if (!ok || seconds <= 0) return std::nullopt;
    return std::chrono::seconds(seconds);
}

std::optional<QString> Follow::whyNot(const Conditions& c) {
    if (!c.followNasa) return QStringLiteral("following NASA is off");
    if (c.offline) return QStringLiteral("offline");
    if (c.mirror) return QStringLiteral("a mirror keeps its own cadence");
    if (c.metered && !c.meteredAllowed) return QStringLiteral("the network is metered");
    if (!c.sunShown && !c.desktopPicture) return QStringLiteral("the Sun is not shown");
    return std::nullopt;
}
