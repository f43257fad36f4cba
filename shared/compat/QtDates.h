#pragma once
// A date and time in UTC. Qt 6.5 gave QTimeZone a UTC that needs no time-zone backend and deprecated the
// Qt::TimeSpec forms; before 6.5 (Debian 12's 6.4) QTimeZone::utc() makes a zone-backed time whose
// timeSpec() is Qt::TimeZone, so there the Qt::UTC form is the one that means plain UTC.

#include <QDateTime>
#include <QTimeZone>
#include <QtGlobal>

namespace compat {

inline QDateTime utcDateTime(QDate date, QTime time) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QDateTime(date, time, QTimeZone::UTC);
#else
    return QDateTime(date, time, Qt::UTC);
#endif
}

} // namespace compat
