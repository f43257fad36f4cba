#include "Caption.h"

#include "Catalog.h"

#include <memory>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace {

QString fromUnicode(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// The zone to format in: UTC, the one given, or the system's.
icu::TimeZone* zoneFor(TimeBasis basis, const std::optional<QTimeZone>& timeZone) {
    if (basis == TimeBasis::utc) return icu::TimeZone::getGMT()->clone();
    if (timeZone && timeZone->isValid()) {
        const QByteArray id = timeZone->id();
        return icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id.toStdString()));
    }
    return icu::TimeZone::createDefault();
}

// Formats from a skeleton with the locale's best pattern. On an ICU failure falls back to Qt's own
// medium format, so a caption never goes blank.
QString format(const QDateTime& date, const char* skeleton, const QLocale& locale, TimeBasis basis,
               const std::optional<QTimeZone>& timeZone) {
    const icu::Locale icuLocale(locale.name().toUtf8().constData());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(icuLocale, status));
    icu::UnicodeString pattern;
    if (U_SUCCESS(status)) pattern = generator->getBestPattern(icu::UnicodeString(skeleton), status);
    std::unique_ptr<icu::SimpleDateFormat> formatter;
    if (U_SUCCESS(status)) formatter = std::make_unique<icu::SimpleDateFormat>(pattern, icuLocale, status);
    if (U_FAILURE(status) || !formatter) {
        const QDateTime shownDate = basis == TimeBasis::utc ? date.toUTC()
                                    : timeZone              ? date.toTimeZone(*timeZone)
                                                            : date.toLocalTime();
        return locale.toString(shownDate, QLocale::ShortFormat);
    }
    formatter->adoptTimeZone(zoneFor(basis, timeZone));
    icu::UnicodeString out;
    formatter->format(UDate(date.toMSecsSinceEpoch()), out);
    return fromUnicode(out);
}

} // namespace

QString Caption::productName(const QString& id, const QString& label) {
    if (const auto known = Catalog::label(id)) return *known;
    return label.isEmpty() ? id : label;
}

QString Caption::name(const QString& name, Look look) {
    if (look == Look::natural) return name;
    return name + QStringLiteral("  \u00B7  ") + Looks::label(look);
}

bool Caption::showsYear(const QDateTime& date, const std::optional<QDateTime>& now) {
    return now && date.isValid() && now->isValid() && date.secsTo(*now) > yearAfterSeconds;
}

QString Caption::time(const QDateTime& date, const QLocale& locale, TimeBasis basis,
                      const std::optional<QTimeZone>& timeZone, const std::optional<QDateTime>& now) {
    const bool year = showsYear(date, now);
    if (basis == TimeBasis::utc)
        return format(date, year ? "yMMMdHHmm" : "MMMdHHmm", locale, basis, timeZone) +
               QStringLiteral(" UTC");
    return format(date, year ? "yMMMdjmm" : "MMMdjmm", locale, basis, timeZone);
}

QString Caption::day(const QDateTime& date, const QLocale& locale, TimeBasis basis,
                     const std::optional<QTimeZone>& timeZone, const std::optional<QDateTime>& now) {
    return format(date, showsYear(date, now) ? "yMMMd" : "MMMd", locale, basis, timeZone);
}

QString Caption::shown(const QString& name, const QString& when) {
    return name + QStringLiteral("  \u00B7  48 HR TO ") + when.toUpper();
}

QString Caption::spoken(const QString& name, const QString& when) {
    return name + QStringLiteral(", the 48 hours up to ") + when;
}
