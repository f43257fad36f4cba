#include "XrayStatus.h"
#include "Provenance.h"

#include <QTimeZone>
#include <gtest/gtest.h>

// The words of the card and the tray, fresh and old, and the source line a frame with marks carries.
TEST(XrayStatus, SaysTheLevelItsTimeAndAgeTheLargestFlareAndWhoseDataItIs) {
    const QDateTime now(QDate(2026, 12, 8), QTime(14, 10), QTimeZone::utc());
    SpaceWeather::Record record;
    record.fetched = now.addSecs(-240);
    record.latest = SpaceWeather::Sample{now.addSecs(-300), 2.34e-6, 18};
    SpaceWeather::Flare m12{now.addSecs(-7 * 3600), now.addSecs(-7 * 3600 + 420), now.addSecs(-6 * 3600),
                            QStringLiteral("M1.2"), 16};
    SpaceWeather::Flare x1{now.addSecs(-30 * 3600), now.addSecs(-30 * 3600 + 600), now.addSecs(-29 * 3600),
                           QStringLiteral("X1.0"), 16};
    record.flares = {x1, m12};

    struct Row {
        qint64 hoursLater; // the same record read this much later
        const char* level;
        const char* largest;
    };
    const Row rows[] = {
        {0, "X-ray C2.3 at 14:05 UTC", "Largest flare in the last 24 hours: M1.2, peak 07:17 UTC"},
        {2, "X-ray C2.3 at 14:05 UTC", "Largest flare in the last 24 hours: M1.2, peak 07:17 UTC"},
        {5, "X-ray C2.3 at 14:05 UTC, 5 hours old",
         "Largest flare in the 24 hours to 14:05 UTC: M1.2, peak 07:17 UTC"},
        {48, "X-ray C2.3 on 8 Dec 2026, 2 days old",
         "Largest flare in the 24 hours to 8 Dec 2026: M1.2, peak 8 Dec 2026"},
    };
    for (const Row& row : rows) {
        const QDateTime later = now.addSecs(row.hoursLater * 3600);
        EXPECT_EQ(XrayStatus::level(record, later), row.level) << row.hoursLater;
        EXPECT_EQ(XrayStatus::largestFlare(record, later), row.largest) << row.hoursLater;
    }

    // A flare still in progress, and a record with flares only.
    SpaceWeather::Record going;
    going.fetched = now;
    going.flares = {SpaceWeather::Flare{now.addSecs(-600), {}, {}, QStringLiteral("C4.0"), 0}};
    EXPECT_EQ(XrayStatus::level(going, now), "");
    EXPECT_EQ(XrayStatus::largestFlare(going, now),
              "Largest flare in the last 24 hours: C4.0 in progress, began 14:00 UTC");
    EXPECT_EQ(XrayStatus::cardLines(going, now),
              QStringList({"Largest flare in the last 24 hours: C4.0 in progress, began 14:00 UTC",
                           "X-ray data: NOAA SWPC"}));
    going.flares.clear();
    EXPECT_EQ(XrayStatus::largestFlare(going, now), "No flare in the last 24 hours");

    // The newest sample names the satellite; without one, the newest flare that names one.
    EXPECT_EQ(XrayStatus::satellite(record), 18);
    record.latest.reset();
    EXPECT_EQ(XrayStatus::satellite(record), 16);

    Provenance plain = Provenance::make("171", "AIA 171", 144, std::nullopt, now, 144, {});
    Provenance marked = plain;
    marked.xraySatellite = 16;
    EXPECT_EQ(plain.lines().size(), Provenance::lineCount);
    ASSERT_EQ(marked.lines().size(), Provenance::lineCount + 1);
    EXPECT_EQ(marked.lines().mid(0, Provenance::lineCount), plain.lines());
    EXPECT_EQ(marked.lines().last(), "X-ray data: NOAA SWPC (GOES-16)");
    EXPECT_EQ(marked.recordJSON("1.0"), plain.recordJSON("1.0")); // the stored record keeps its seven keys
}
