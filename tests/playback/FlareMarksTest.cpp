#include "FlareMarks.h"
#include "SolarTime.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

// A clip of 144 frames 20 minutes apart ending at noon: its timeline runs from 47 h 40 min before.
const QDateTime end(QDate(2026, 12, 8), QTime(12, 0), QTimeZone::utc());
constexpr int slotTotal = 144;
constexpr double cadence = SolarTime::cadence;
const QDateTime first = end.addSecs(-143 * 1200);

QDateTime at(qint64 minutesFromEnd) {
    return end.addSecs(minutesFromEnd * 60);
}

SpaceWeather::Flare flare(const char* flareClass, std::optional<qint64> begin, std::optional<qint64> peak,
                          std::optional<qint64> finish, const QDateTime& from = end) {
    SpaceWeather::Flare f;
    if (begin) f.begin = from.addSecs(*begin * 60);
    if (peak) f.peak = from.addSecs(*peak * 60);
    if (finish) f.end = from.addSecs(*finish * 60);
    f.peakClass = QString::fromLatin1(flareClass);
    f.satellite = 16;
    return f;
}

} // namespace

// Which flares get a mark and where, which one the playhead is in, and what the caption band says.
TEST(FlareMarks, MarksPlacesAndNamesTheFlaresOfAClip) {
    const std::vector<SpaceWeather::Flare> flares = {
        flare("C1.0", -20, -15, -10, first),        // a quarter hour before the first frame: off the clip
        flare("C2.0", std::nullopt, -5, -1, first), // within half a frame of the first: at its start
        flare("M1.2", -24 * 60 - 10, -24 * 60, -24 * 60 + 15),
        flare("M1.0", -24 * 60 - 5, -24 * 60 + 5, -24 * 60 + 10), // inside the M1.2, smaller
        flare("B9.0", -10 * 60 - 5, -10 * 60, -10 * 60 + 5),      // B: no mark
        flare("X2.1", -40 * 60 - 20, -40 * 60, -40 * 60 + 30),
        flare("C3.0", -50, -30, std::nullopt),         // in progress, peak so far known
        flare("M2.0", -5, std::nullopt, std::nullopt), // in progress, no peak yet
        flare("X1.0", std::nullopt, 5, std::nullopt),  // half a frame after the last
        flare("X3.0", 10, 15, 20),                     // after the clip
    };
    const std::vector<FlareMarks::Mark> marks = FlareMarks::marks(flares, end, slotTotal, cadence);
    struct Placed {
        const char* flareClass;
        double fraction;
        FlareMarks::Band band;
    };
    const double span = 143 * 1200.0;
    const Placed placed[] = {
        {"C2.0", 0.0, FlareMarks::Band::c},
        {"X2.1", (span - 40 * 3600) / span, FlareMarks::Band::x},
        {"M1.2", (span - 24 * 3600) / span, FlareMarks::Band::m},
        {"M1.0", (span - 24 * 3600 + 300) / span, FlareMarks::Band::m},
        {"C3.0", (span - 1800) / span, FlareMarks::Band::c},
        {"M2.0", (span - 300) / span, FlareMarks::Band::m},
        {"X1.0", 1.0, FlareMarks::Band::x},
    };
    ASSERT_EQ(marks.size(), std::size(placed));
    for (size_t i = 0; i < marks.size(); ++i) {
        EXPECT_EQ(marks[i].flare.peakClass, placed[i].flareClass) << i;
        EXPECT_NEAR(marks[i].fraction, placed[i].fraction, 1e-9) << placed[i].flareClass;
        EXPECT_EQ(marks[i].band, placed[i].band) << placed[i].flareClass;
    }
    // The slot of a peak sits where its mark is.
    const auto slot = SolarTime::sameInstant(at(-24 * 60), end, slotTotal);
    ASSERT_TRUE(slot);
    EXPECT_NEAR(SolarTime::progress(*slot, slotTotal), marks[2].fraction, 1e-9);

    struct Under {
        QDateTime when;
        const char* flareClass; // nullptr: none
    };
    const Under under[] = {
        {at(-24 * 60), "M1.2"},      // inside both: the larger class
        {at(-24 * 60 + 24), "M1.2"}, // its end and half a frame after
        {at(-24 * 60 - 19), "M1.2"}, // half a frame before its begin
        {at(-24 * 60 - 21), nullptr},
        {at(-40 * 60 + 40), "X2.1"},
        {at(-40 * 60 + 41), nullptr},
        {at(-10 * 60), nullptr}, // a B flare is never named
        {at(-1), "X1.0"},        // three open flares: the largest
        {at(-65), "C3.0"},       // still within half an hour and half a frame of its peak so far
        {first, "C2.0"},         // a flare without a begin counts half an hour before its peak
        {QDateTime(), nullptr},  // no time, no flare
    };
    for (const Under& row : under) {
        const auto found = FlareMarks::under(marks, row.when, cadence);
        const std::string when = row.when.toString(Qt::ISODate).toStdString();
        if (!row.flareClass) {
            EXPECT_FALSE(found) << when;
            continue;
        }
        ASSERT_TRUE(found) << when;
        EXPECT_EQ(found->flare.peakClass, row.flareClass) << when;
    }

    // A flare of another day than today names its day: an hour alone would pass for today's.
    EXPECT_EQ(FlareMarks::caption(marks[2].flare, end), "M1.2 flare, peak 7 Dec 12:00 UTC");
    EXPECT_EQ(FlareMarks::caption(marks[2].flare, at(-24 * 60)), "M1.2 flare, peak 12:00 UTC");
    EXPECT_EQ(FlareMarks::caption(marks[4].flare, end), "C3.0 flare in progress, peak so far 11:30 UTC");
    EXPECT_EQ(FlareMarks::caption(marks[5].flare, end), "M2.0 flare in progress, began 11:55 UTC");
    EXPECT_TRUE(FlareMarks::marks(flares, QDateTime(), slotTotal, cadence).empty());
    EXPECT_TRUE(FlareMarks::marks(flares, end, 0, cadence).empty());
}
