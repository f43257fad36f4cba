#include "Cache.h"
#include "QuietHour.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

} // namespace

TEST(CacheRules, ForwardOnlyComparesVersionedStemsAndLeavesFixedKeysToTheETag) {
    const QString later = QStringLiteral("v/171/20260924T204216.mp4");
    const QString earlier = QStringLiteral("v/171/20260924T182303.mp4");
    const QString fixed = QStringLiteral("video/rhef_171_1k.mp4");
    EXPECT_TRUE(Cache::isNewer(later, earlier));
    EXPECT_FALSE(Cache::isNewer(earlier, later));
    EXPECT_FALSE(Cache::isNewer(earlier, earlier));
    EXPECT_TRUE(Cache::isNewer(earlier, std::nullopt));
    EXPECT_TRUE(Cache::isNewer(earlier, fixed));
    EXPECT_TRUE(Cache::isNewer(fixed, earlier));
    EXPECT_TRUE(Cache::isNewer(fixed, fixed));
    // Stems decide, not the folder or the extension.
    EXPECT_FALSE(Cache::isNewer(QStringLiteral("v/171/20260924T182303.png"), earlier));
}

TEST(CacheRules, OriginFallBackAfterEighteenHoursOrNoAnswer) {
    const QDateTime now = utc("2026-10-01T06:00:00Z");
    EXPECT_TRUE(Cache::shouldUseOrigin(false, std::nullopt, now));
    EXPECT_TRUE(Cache::shouldUseOrigin(false, now, now));
    EXPECT_FALSE(Cache::shouldUseOrigin(true, std::nullopt, now));
    EXPECT_FALSE(Cache::shouldUseOrigin(true, now.addSecs(-21600), now));
    EXPECT_FALSE(Cache::shouldUseOrigin(true, now.addSecs(-64800), now));
    EXPECT_TRUE(Cache::shouldUseOrigin(true, now.addSecs(-64801), now));
    // A generated time in the future is not stale.
    EXPECT_FALSE(Cache::shouldUseOrigin(true, now.addSecs(3600), now));
}

TEST(CacheRules, GeneratedIsStrictIsoWithAZone) {
    const QDateTime six = utc("2026-10-01T06:00:00Z");
    const std::pair<const char*, std::optional<QDateTime>> cases[] = {
        {"2026-10-01T06:00:00Z", six},
        {"2026-10-01T08:00:00+02:00", six},
        {"2026-10-01T06:00:00.250Z", six.addMSecs(250)},
        {"2026-10-01T06:00:00", std::nullopt}, // no zone: not read as local time
        {"2026-10-01 06:00:00Z", std::nullopt},
        {"2026-10-01T06:00Z", std::nullopt},
        {"2026-13-01T06:00:00Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Cache::generatedTime(QString::fromLatin1(text)), expected) << text;
}

TEST(CacheRules, TimeLimitsPerKindOfRequest) {
    const std::tuple<Cache::Request, std::chrono::seconds, std::chrono::seconds> cases[] = {
        {Cache::Request::index, 20s, 600s},
        {Cache::Request::file, 60s, 660s},
        {Cache::Request::fragment, 20s, 120s}};
    for (const auto& [kind, stall, total] : cases) {
        EXPECT_EQ(Cache::timeLimits(kind).stall, stall) << int(kind);
        EXPECT_EQ(Cache::timeLimits(kind).total, total) << int(kind);
    }
}

TEST(CacheRules, DueWhenTheIntervalHasPassedOrNeverChecked) {
    const QDateTime t0 = utc("2026-10-01T06:00:00Z");
    EXPECT_TRUE(Cache::isDue(QDateTime(), 86400s, t0));
    EXPECT_TRUE(Cache::isDue(QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc()), 86400s, t0));
    EXPECT_FALSE(Cache::isDue(t0, 86400s, t0.addSecs(43199)));
    EXPECT_TRUE(Cache::isDue(t0, 86400s, t0.addSecs(86400)));
    EXPECT_FALSE(Cache::isDue(t0, Cache::manualSpacing, t0.addSecs(3599)));
    EXPECT_TRUE(Cache::isDue(t0, Cache::manualSpacing, t0.addSecs(3600)));
}

TEST(QuietHourTest, NextThreeInTheMorningInDenver) {
    const QTimeZone denver("America/Denver");
    ASSERT_TRUE(denver.isValid());
    auto at = [&](int day, int hour, int minute) {
        return QDateTime(QDate(2026, 10, day), QTime(hour, minute), denver);
    };
    EXPECT_EQ(QuietHour::next(at(5, 15, 0), denver), at(6, 3, 0));
    EXPECT_EQ(QuietHour::next(at(5, 14, 0), denver), at(6, 3, 0));
    EXPECT_EQ(QuietHour::next(at(5, 1, 30), denver), at(5, 3, 0));
    EXPECT_EQ(QuietHour::next(at(5, 3, 45), denver), at(5, 3, 45));
    EXPECT_EQ(QuietHour::next(at(5, 4, 59), denver), at(5, 4, 59));
    EXPECT_EQ(QuietHour::next(at(5, 5, 0), denver), at(6, 3, 0));
    // The answer does not depend on the zone the input is expressed in.
    EXPECT_EQ(QuietHour::next(at(5, 15, 0).toUTC(), denver), at(6, 3, 0));
}

TEST(QuietHourTest, DaylightSavingDays) {
    // Helsinki skips 03:00-03:59 on the last Sunday of March: the next existing time, 04:00, is taken.
    const QTimeZone helsinki("Europe/Helsinki");
    ASSERT_TRUE(helsinki.isValid());
    const QDateTime evening(QDate(2026, 3, 28), QTime(22, 0), helsinki);
    EXPECT_EQ(QuietHour::next(evening, helsinki), QDateTime(QDate(2026, 3, 29), QTime(4, 0), helsinki));
    // Helsinki repeats 03:00-03:59 on the last Sunday of October: the first 03:00 is taken.
    const QDateTime night(QDate(2026, 10, 25), QTime(1, 0), helsinki);
    const QDateTime first = QuietHour::next(night, helsinki);
    EXPECT_EQ(first.toUTC(), QDateTime(QDate(2026, 10, 25), QTime(0, 0), QTimeZone::utc()));
    // Denver's autumn night: 03:00 exists once; a day of 25 hours still lands on 03:00 the next day.
    const QTimeZone denver("America/Denver");
    const QDateTime before(QDate(2026, 10, 31), QTime(12, 0), denver);
    const QDateTime answer = QuietHour::next(before, denver);
    EXPECT_EQ(answer.toTimeZone(denver).time(), QTime(3, 0));
    EXPECT_EQ(answer.toTimeZone(denver).date(), QDate(2026, 11, 1));
}
