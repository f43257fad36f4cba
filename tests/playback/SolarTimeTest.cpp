#include "SolarTime.h"

#include <QTimeZone>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QDateTime end = QDateTime(QDate(2026, 12, 7), QTime(20, 40), QTimeZone::utc());
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

} // namespace

TEST(SolarTime, SlotsOfADuration) {
    EXPECT_EQ(SolarTime::slotCount(8.0), 144);
    EXPECT_EQ(SolarTime::slotCount(0.0275), std::nullopt); // 0.495 frames round to none
    EXPECT_EQ(SolarTime::slotCount(0.5, 1.0), 1);          // exactly half a frame rounds away from zero
    EXPECT_EQ(SolarTime::slotCount(2.5, 1.0), 3);
    EXPECT_EQ(SolarTime::slotCount(0.02), std::nullopt);
    EXPECT_EQ(SolarTime::slotCount(-1), std::nullopt);
    EXPECT_EQ(SolarTime::slotCount(notANumber), std::nullopt);
    EXPECT_EQ(SolarTime::slotCount(infinity), std::nullopt);
    EXPECT_EQ(SolarTime::slotCount(8.0, 0), std::nullopt);
    EXPECT_EQ(SolarTime::slotCount(1e300), std::nullopt);
}

TEST(SolarTime, SlotAtATimeIsClamped) {
    EXPECT_EQ(SolarTime::slot(8.0, 144), 143);
    EXPECT_EQ(SolarTime::slot(0.0, 144), 0);
    EXPECT_EQ(SolarTime::slot(1.0, 144), 18);
    EXPECT_EQ(SolarTime::slot(-3.0, 144), 0);
    EXPECT_EQ(SolarTime::slot(notANumber, 144), 0);
    EXPECT_EQ(SolarTime::slot(infinity, 144), 0);
    EXPECT_EQ(SolarTime::slot(1e300, 144), 143);
    EXPECT_EQ(SolarTime::slot(4.0, 0), 0);
}

TEST(SolarTime, FrameTimeCountsBackFromTheEnd) {
    EXPECT_EQ(SolarTime::frameTime(end, 143, 144), end);
    EXPECT_EQ(SolarTime::frameTime(end, 0, 144), end.addSecs(-143 * 1200));
    EXPECT_EQ(SolarTime::frameTime(end, 142, 144), end.addSecs(-1200));
    EXPECT_EQ(SolarTime::frameTime(end, 144, 144), std::nullopt);
    EXPECT_EQ(SolarTime::frameTime(end, -1, 144), std::nullopt);
    EXPECT_EQ(SolarTime::frameTime(end, 0, 0), std::nullopt);
}

TEST(SolarTime, SeekSecondsIsTheMiddleOfTheFrame) {
    EXPECT_DOUBLE_EQ(*SolarTime::seekSeconds(0, 144), 0.5 / 18);
    EXPECT_DOUBLE_EQ(*SolarTime::seekSeconds(143, 144), 143.5 / 18);
    EXPECT_EQ(SolarTime::seekSeconds(144, 144), std::nullopt);
    EXPECT_EQ(SolarTime::seekSeconds(-1, 144), std::nullopt);
    EXPECT_EQ(SolarTime::seekSeconds(0, 144, 0), std::nullopt);
    // A slot's middle maps back to the slot.
    for (int s : {0, 1, 71, 143})
        EXPECT_EQ(SolarTime::slot(*SolarTime::seekSeconds(s, 144), 144), s);
}

TEST(SolarTime, SameInstantFindsTheSlot) {
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(-20 * 60), end, 144), 142);
    EXPECT_EQ(SolarTime::sameInstant(end, end, 144), 143);
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(-9 * 60), end, 144), 143);  // nearer the last slot
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(-10 * 60), end, 144), 142); // a half rounds away
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(-143 * 1200), end, 144), 0);
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(-49 * 3600), end, 144), std::nullopt);
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(3600), end, 144), std::nullopt);
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(20 * 60), end, 144), std::nullopt); // one step past the end
    EXPECT_EQ(SolarTime::sameInstant(end.addSecs(-143 * 1200 - 1200), end, 144), std::nullopt); // one before
    EXPECT_EQ(SolarTime::sameInstant(end, end, 0), std::nullopt);
    EXPECT_EQ(SolarTime::sameInstant(end, end, 144, 0), std::nullopt);
}

TEST(SolarTime, TrustedAndProgress) {
    EXPECT_FALSE(SolarTime::trusted(150, 144));
    EXPECT_TRUE(SolarTime::trusted(144, 144));
    EXPECT_TRUE(SolarTime::trusted(std::nullopt, 144));
    EXPECT_FALSE(SolarTime::trusted(std::nullopt, 0));

    EXPECT_DOUBLE_EQ(SolarTime::progress(0, 1), 1.0);
    EXPECT_DOUBLE_EQ(SolarTime::progress(0, 144), 0.0);
    EXPECT_DOUBLE_EQ(SolarTime::progress(143, 144), 1.0);
    EXPECT_DOUBLE_EQ(SolarTime::progress(200, 144), 1.0);
    EXPECT_DOUBLE_EQ(SolarTime::progress(-5, 144), 0.0);
}

TEST(SolarTime, ClockIsEnglishUpperCaseUTC) {
    EXPECT_EQ(SolarTime::clock(end), QStringLiteral("DEC 7  20:40 UTC"));
    // The same instant given in another zone still reads in UTC.
    const QDateTime denver = end.toTimeZone(QTimeZone("America/Denver"));
    EXPECT_EQ(SolarTime::clock(denver), QStringLiteral("DEC 7  20:40 UTC"));
    EXPECT_EQ(SolarTime::clock(QDateTime(QDate(2026, 1, 2), QTime(3, 4), QTimeZone::utc())),
              QStringLiteral("JAN 2  03:04 UTC"));
}
