#pragma once
// The texts of a wall's caption line: the product name with its look, and the moment the clip runs up
// to, formatted for the user's locale (ICU skeletons, so each locale keeps its own order and clock).

#include "LookRules.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <optional>

// Whether times are shown in UTC or in local time.
enum class TimeBasis { local, utc };

namespace Caption {
// A product's one name, the same in the chooser, on the wall and in saved files: the catalogue's label
// for a known id, else the cached label, else the id.
QString productName(const QString& id, const QString& label);

// The name alone for natural, else name + "  ·  " + the look's label.
QString name(const QString& name, Look look);

// Imagery older than this before `now` is shown with its year, so an old clip never passes for today's.
inline constexpr qint64 yearAfterSeconds = 2 * 86400;
// Whether `date` is old enough at `now` to be shown with its year (never without a `now`).
bool showsYear(const QDateTime& date, const std::optional<QDateTime>& now);

// With utc: the date in UTC from the localized skeleton "MMMdHHmm", then " UTC". Otherwise the skeleton
// "MMMdjmm" (the locale's own 12- or 24-hour clock) in the given time zone, or the system's. With the
// year ("yMMMd...") when showsYear(date, now).
QString time(const QDateTime& date, const QLocale& locale = QLocale(), TimeBasis basis = TimeBasis::local,
             const std::optional<QTimeZone>& timeZone = std::nullopt,
             const std::optional<QDateTime>& now = std::nullopt);

// The day alone, from the skeleton "MMMd" ("yMMMd" when showsYear), in UTC or in the given (else the
// system's) time zone.
QString day(const QDateTime& date, const QLocale& locale = QLocale(), TimeBasis basis = TimeBasis::local,
            const std::optional<QTimeZone>& timeZone = std::nullopt,
            const std::optional<QDateTime>& now = std::nullopt);

// The caption line: name + "  ·  48 HR TO " + when, upper-cased.
QString shown(const QString& name, const QString& when);
// The same for screen readers: name + ", the 48 hours up to " + when.
QString spoken(const QString& name, const QString& when);
} // namespace Caption
