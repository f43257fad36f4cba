#include "Caption.h"
#include "Store.h"
#include "TypeScale.h"

#include <QUrlQuery>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QDateTime evening = QDateTime(QDate(2026, 12, 7), QTime(20, 40), QTimeZone::utc());
const QLocale us(QStringLiteral("en_US"));
const QLocale german(QStringLiteral("de_DE"));

// ICU puts a narrow no-break space before AM/PM; compare with plain spaces.
QString plain(QString text) {
    return text.replace(QChar(0x202F), QLatin1Char(' ')).replace(QChar(0x00A0), QLatin1Char(' '));
}

} // namespace

TEST(Caption, NameCarriesTheLook) {
    EXPECT_EQ(Caption::name("AIA 171", Look::natural), QStringLiteral("AIA 171"));
    EXPECT_EQ(Caption::name("AIA 171", Look::running), QStringLiteral("AIA 171  \u00B7  Running difference"));
    EXPECT_EQ(Caption::name("AIA 171", Look::detail), QStringLiteral("AIA 171  \u00B7  Detail"));
}

TEST(Caption, TimeFollowsTheLocaleClock) {
    const QTimeZone newYork("America/New_York"), berlin("Europe/Berlin");
    EXPECT_EQ(plain(Caption::time(evening, us, TimeBasis::local, newYork)), QStringLiteral("Dec 7, 3:40 PM"));
    EXPECT_EQ(plain(Caption::time(evening, german, TimeBasis::local, berlin)),
              QStringLiteral("7. Dez., 21:40"));
    // UTC uses a 24-hour clock even where the locale's own clock has 12 hours.
    EXPECT_EQ(plain(Caption::time(evening, us, TimeBasis::utc, newYork)), QStringLiteral("Dec 7, 20:40 UTC"));
    EXPECT_EQ(plain(Caption::time(evening, german, TimeBasis::utc)), QStringLiteral("7. Dez., 20:40 UTC"));
}

TEST(Caption, DayAloneInTheRightZone) {
    const QDateTime lateUTC(QDate(2026, 12, 8), QTime(2, 0), QTimeZone::utc());
    EXPECT_EQ(Caption::day(lateUTC, us, TimeBasis::utc), QStringLiteral("Dec 8"));
    // Still the 7th in Denver.
    EXPECT_EQ(Caption::day(lateUTC, us, TimeBasis::local, QTimeZone("America/Denver")),
              QStringLiteral("Dec 7"));
    EXPECT_EQ(plain(Caption::day(lateUTC, german, TimeBasis::utc)), QStringLiteral("8. Dez."));
}

// Imagery more than two days older than now carries its year, so an old clip never passes for today's.
TEST(Caption, OldImageryShowsItsYear) {
    struct Case {
        QDateTime now;
        TimeBasis basis;
        const char* time;
        const char* day;
    };
    const Case cases[] = {
        {evening.addSecs(2 * 86400), TimeBasis::utc, "Dec 7, 20:40 UTC", "Dec 7"},
        {evening.addSecs(2 * 86400 + 1), TimeBasis::utc, "Dec 7, 2026, 20:40 UTC", "Dec 7, 2026"},
        {QDateTime(QDate(2027, 1, 1), QTime(0, 0), QTimeZone::utc()), TimeBasis::local,
         "Dec 7, 2026, 3:40 PM", "Dec 7, 2026"},
    };
    const QTimeZone newYork("America/New_York");
    for (const Case& c : cases) {
        EXPECT_EQ(plain(Caption::time(evening, us, c.basis, newYork, c.now)), QLatin1String(c.time));
        EXPECT_EQ(plain(Caption::day(evening, us, c.basis, newYork, c.now)), QLatin1String(c.day));
    }
    EXPECT_FALSE(Caption::showsYear(evening, std::nullopt));
}

TEST(Caption, ShownAndSpokenLines) {
    EXPECT_EQ(Caption::shown("AIA 171", "Dec 7, 3:40 PM"),
              QStringLiteral("AIA 171  \u00B7  48 HR TO DEC 7, 3:40 PM"));
    EXPECT_EQ(Caption::spoken("AIA 171", "Dec 7, 3:40 PM"),
              QStringLiteral("AIA 171, the 48 hours up to Dec 7, 3:40 PM"));
}

TEST(TypeScale, FactorGrowsWithTallScreensOnly) {
    EXPECT_DOUBLE_EQ(TypeScale::factor(720), 1.0);
    EXPECT_DOUBLE_EQ(TypeScale::factor(1080), 1.0);
    EXPECT_DOUBLE_EQ(TypeScale::factor(1620), 1.5);
    EXPECT_DOUBLE_EQ(TypeScale::factor(2160), 2.0);
    EXPECT_DOUBLE_EQ(TypeScale::factor(4320), 2.0);
    EXPECT_DOUBLE_EQ(TypeScale::factor(2160, ViewKind::preview), 1.0);
    // The mini player scales its text down with its window, to three quarters at the least.
    EXPECT_NEAR(TypeScale::factor(180, ViewKind::mini), 180.0 / 216, 1e-12);
    EXPECT_DOUBLE_EQ(TypeScale::factor(90, ViewKind::mini), 0.75);
    EXPECT_DOUBLE_EQ(TypeScale::factor(1080, ViewKind::mini), 1.0);
    EXPECT_DOUBLE_EQ(TypeScale::factor(std::numeric_limits<double>::infinity()), 1.0);
    EXPECT_DOUBLE_EQ(TypeScale::factor(std::numeric_limits<double>::quiet_NaN()), 1.0);
}

TEST(TypeScale, PointsRoundToHalves) {
    EXPECT_DOUBLE_EQ(TypeScale::points(15, 1.5), 22.5);
    EXPECT_DOUBLE_EQ(TypeScale::points(13, 1.1), 14.5);
    EXPECT_DOUBLE_EQ(TypeScale::points(13, 1.0), 13.0);
    EXPECT_DOUBLE_EQ(TypeScale::points(9, 1.25), 11.5); // 11.25 -> 22.5 doubled -> 23 -> 11.5
}

TEST(StoreLink, QueryItemsInOrder) {
    const auto plainLink = Store::link("rainbow", std::nullopt, "solvane.example");
    ASSERT_TRUE(plainLink);
    EXPECT_EQ(plainLink->toString(), QStringLiteral("https://solvane.example/?utm_source=solvane"));
    // Only a whole number is a channel: an id with a trailing line feed gets no "wl".
    EXPECT_EQ(Store::link("171\n", std::nullopt, "solvane.example"), plainLink);

    const auto full = Store::link("171", evening, "solvane.example");
    ASSERT_TRUE(full);
    const auto items = QUrlQuery(*full).queryItems();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0], (QPair<QString, QString>{"utm_source", "solvane"}));
    EXPECT_EQ(items[1], (QPair<QString, QString>{"d", "2026-12-07"}));
    EXPECT_EQ(items[2], (QPair<QString, QString>{"t", "20:40"}));
    EXPECT_EQ(items[3], (QPair<QString, QString>{"wl", "171"}));
    EXPECT_EQ(full->host(), QStringLiteral("solvane.example"));
    EXPECT_EQ(full->scheme(), QStringLiteral("https"));
}

TEST(StoreLink, FrameIsWrittenInUTC) {
    const auto link = Store::link("304", evening.toTimeZone(QTimeZone("Asia/Tokyo")), "solvane.example");
    ASSERT_TRUE(link);
    EXPECT_EQ(QUrlQuery(*link).queryItemValue("d"), QStringLiteral("2026-12-07"));
    EXPECT_EQ(QUrlQuery(*link).queryItemValue("t"), QStringLiteral("20:40"));
}

TEST(StoreLink, ForAClipUsesItsEndTime) {
    CacheEntry cached;
    cached.id = "193";
    cached.updated = "2026-10-01T05:40:00Z";
    const auto link = Store::link(cached, "solvane.example");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->toString(),
              QStringLiteral("https://solvane.example/?utm_source=solvane&d=2026-10-01&t=05:40&wl=193"));
    cached.updated = "not a date";
    const auto undated = Store::link(cached, "solvane.example");
    ASSERT_TRUE(undated);
    EXPECT_EQ(undated->toString(), QStringLiteral("https://solvane.example/?utm_source=solvane&wl=193"));
}

TEST(StoreLink, BadHostsGiveNoLink) {
    EXPECT_FALSE(Store::link("171", std::nullopt, ""));
    EXPECT_FALSE(Store::link("171", std::nullopt, "bad host"));
    EXPECT_FALSE(Store::link("171", std::nullopt, "a?b"));
}
