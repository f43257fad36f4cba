#pragma once
// The quiet hour: the two clock hours from 03:00 local time, when an unattended kiosk may install an
// update.

#include <QDateTime>
#include <QTimeZone>

namespace QuietHour {
// `after` itself when its hour in `calendar` is 3 or 4; otherwise the next 03:00 there (today's when it
// is still to come, else tomorrow's). On a day without 03:00 the next existing time is taken; of a
// repeated 03:00, the first. The result is in the calendar's time zone.
QDateTime next(const QDateTime& after, const QTimeZone& calendar);
} // namespace QuietHour
