// Which flares are announced, and that each is announced once.
#include "FlareAlert.h"
#include "CacheFixture.h"

#include <QTimeZone>

namespace {

const QDateTime now(QDate(2026, 12, 8), QTime(12, 0), QTimeZone::utc());

SpaceWeather::Flare flare(double hoursAgo, const char* flareClass, bool ended = true) {
    const QDateTime begin = now.addSecs(qint64(-hoursAgo * 3600));
    return {begin, begin.addSecs(600), ended ? begin.addSecs(1800) : QDateTime(),
            QString::fromLatin1(flareClass), 18};
}

} // namespace

using FlareAlertRules = CacheFixture;

TEST_F(FlareAlertRules, FlaresOfTheChosenClassAreAnnouncedOnceEachWhileNews) {
    struct Row {
        SpaceWeather::Flare flare;
        const char* noticeClass;
        bool due;
    };
    const Row rows[] = {
        {flare(1, "M5.0"), "M5", true},
        {flare(1, "M4.9"), "M5", false},
        {flare(1, "X1.0"), "M5", true},
        {flare(0.2, "M7.1", false), "M5", true}, // in progress, by its class so far
        {flare(1, "C1.0"), "C", true},
        {flare(1, "B9.9"), "C", false},
        {flare(1, "M1.0"), "M1", true},
        {flare(1, "C9.9"), "M1", false},
        {flare(1, "X1.0"), "X1", true},
        {flare(1, "M9.9"), "X1", false},
        {flare(1, "M5.0"), "Q", true},
        {flare(1, "M4.0"), "", false}, // anything else reads as M5
        {flare(1.4, "X3.0"), "M5", true},
        {flare(1.6, "X3.0"), "M5", false}, // news until an hour after its end
        {flare(11, "X3.0", false), "M5", true},
        {flare(13, "X3.0", false), "M5", false}, // a stale listing
        {flare(-0.5, "M5.5"), "M5", true},
        {flare(-2, "M5.5"), "M5", false}, // a clock a little behind
    };
    for (const Row& row : rows)
        EXPECT_EQ(FlareAlert::due({row.flare}, FlareAlert::thresholdFlux(row.noticeClass), {}, now).size(),
                  row.due ? 1u : 0u)
            << row.flare.peakClass.toStdString() << " " << row.noticeClass << " "
            << row.flare.when().toString(Qt::ISODate).toStdString();
    const SpaceWeather::Flare grown = flare(0.5, "M6.0", false);
    EXPECT_TRUE(
        FlareAlert::due({grown}, FlareAlert::thresholdFlux("M5"), {FlareAlert::key(grown)}, now).empty());
    EXPECT_EQ(FlareAlert::key(grown), QStringLiteral("2026-12-08T11:30:00Z")); // its begin, which stays put
    EXPECT_EQ(FlareAlert::remember({"2026-11-30T00:00:00Z", "2026-12-07T00:00:00Z", "junk"}, {grown}, now),
              QStringList({"2026-12-07T00:00:00Z", "2026-12-08T11:30:00Z"}));
    EXPECT_EQ(FlareAlert::title(grown), QStringLiteral("M6.0 solar flare"));
    EXPECT_EQ(FlareAlert::body(grown),
              QStringLiteral("In progress since 11:30 UTC, M6.0 so far, seen by GOES-18 (NOAA SWPC)."));
    EXPECT_EQ(FlareAlert::body(flare(2, "X1.2")),
              QStringLiteral("Peak 10:10 UTC, seen by GOES-18 (NOAA SWPC)."));

    // Through the file and the settings: nothing while the setting is off (the default), then each
    // flare of the chosen class once, across later passes and a failed notification; none offline or in
    // a kiosk.
    SpaceWeather::Record record;
    record.fetched = now;
    record.flares = {flare(1, "M6.2"), flare(0.9, "C3.0"), flare(0.3, "M5.1", false)};
    ASSERT_TRUE(SpaceWeather::save(record));
    QStringList titles;
    bool failing = true;
    const FlareAlert::Send send = [&](const QString& title, const QString&) -> std::optional<QString> {
        if (failing && title.startsWith(QLatin1String("M5.1")))
            return QStringLiteral("no notification service");
        titles << title;
        return std::nullopt;
    };
    using FlareAlert::Session;
    EXPECT_EQ(FlareAlert::announce(send, Session::ordinary, now), 0);
    Settings::setNotifyFlares(true);
    Settings::setOffline(true);
    EXPECT_EQ(FlareAlert::announce(send, Session::ordinary, now), 0);
    Settings::setOffline(false);
    EXPECT_EQ(FlareAlert::announce(send, Session::kiosk, now), 0);
    CapturedLog captured;
    EXPECT_EQ(FlareAlert::announce(send, Session::ordinary, now), 1);
    EXPECT_TRUE(captured.finish().contains(
        "solvane: flare notification: could not show the M5.1 flare: no notification service"));
    failing = false;
    EXPECT_EQ(FlareAlert::announce(send, Session::ordinary, now.addSecs(600)), 1);
    record.flares[2].peakClass = QStringLiteral("X1.4"); // the same flare, grown
    ASSERT_TRUE(SpaceWeather::save(record));
    EXPECT_EQ(FlareAlert::announce(send, Session::ordinary, now.addSecs(1200)), 0);
    Settings::setFlareNoticeClass(QStringLiteral("C"));
    EXPECT_EQ(FlareAlert::announce(send, Session::ordinary, now.addSecs(1200)), 1);
    EXPECT_EQ(titles, QStringList({"M6.2 solar flare", "M5.1 solar flare", "C3.0 solar flare"}));
    EXPECT_EQ(Settings::announcedFlares().size(), 3);
}
