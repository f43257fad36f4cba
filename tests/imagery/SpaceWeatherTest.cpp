#include "SpaceWeather.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(SpaceWeather, FluxAndClassReadEachOtherAtTheBoundaries) {
    struct Row {
        double flux;
        const char* text;
    };
    const Row rows[] = {
        {1e-8, "A1.0"},     {9.9e-8, "A9.9"},
        {1e-7, "B1.0"},     {2.34e-6, "C2.3"},
        {9.96e-6, "M1.0"},  {1.2e-5, "M1.2"},
        {1e-4, "X1.0"},     {2.8e-3, "X28.0"},
        {1e-9, "A0.1"},     {0, ""},
        {9.994e-3, "X99.9"}, {9.996e-3, ""}, // X100.0 is beyond any flare measured
        {4e-10, ""},        {1e-300, ""},  // below A0.1 no instrument reads
        {-1e-6, ""},        {2e-2, ""},
        {std::nan(""), ""}, {std::numeric_limits<double>::infinity(), ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SpaceWeather::classFromFlux(row.flux), row.text) << row.flux;

    EXPECT_DOUBLE_EQ(*SpaceWeather::fluxFromClass(QStringLiteral("M1.2")), 1.2e-5);
    EXPECT_DOUBLE_EQ(*SpaceWeather::fluxFromClass(QStringLiteral(" X17.2 ")), 17.2e-4);
    for (const char* bad : {"", "M", "Z1.0", "M10.0", "C0", "C-1", "X1000", "m1.2", "M1.2x", "Mnan", "Minf",
                            "X100", "X99.96", "X1e2", "C1.0e-300", "C0.5", "A0.01", "M+1.2"})
        EXPECT_FALSE(SpaceWeather::fluxFromClass(QString::fromLatin1(bad))) << bad;
}

TEST(SpaceWeather, TheFileKeepsWhatMattersAndDropsDamagedFlares) {
    SpaceWeather::Record record;
    record.fetched = QDateTime::fromString(QStringLiteral("2026-12-08T10:00:00Z"), Qt::ISODate);
    record.latest = SpaceWeather::Sample{record.fetched.addSecs(-60), 2.3e-6, 16};
    record.flaresEtag = QStringLiteral("\"abc\"");
    SpaceWeather::Flare done{record.fetched.addSecs(-7200), record.fetched.addSecs(-7000),
                             record.fetched.addSecs(-6000), QStringLiteral("M1.2"), 16};
    SpaceWeather::Flare going{record.fetched.addSecs(-600), {}, {}, QStringLiteral("C3.0"), 18};
    record.flares = {going, done};

    std::optional<SpaceWeather::Record> back = SpaceWeather::decode(SpaceWeather::encode(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->fetched, record.fetched);
    ASSERT_EQ(back->flares.size(), 2u);
    EXPECT_EQ(back->flares[0].peakClass, QStringLiteral("M1.2")); // ordered by when()
    EXPECT_TRUE(back->flares[1].inProgress());
    EXPECT_EQ(back->flares[1].when(), going.begin);
    EXPECT_EQ(back->latest->satellite, 16);
    EXPECT_EQ(back->flaresEtag, record.flaresEtag);
    EXPECT_EQ(SpaceWeather::largest(back->flares)->peakClass, QStringLiteral("M1.2"));

    QByteArray damaged = R"({"fetched": 5, "flares": [{"peak": "2026-12-08T09:00:00Z", "class": "Q9"},
        {"peak": "not a time", "class": "M1.0"}, 7, {"begin": "2026-12-08T08:00:00Z", "class": "X2.1"}],
        "latest": {"time": "2026-12-08T09:59:00Z", "flux": 1e400}, "xraysEtag": "a\nb"})";
    back = SpaceWeather::decode(damaged);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->fetched.isValid());
    ASSERT_EQ(back->flares.size(), 1u);
    EXPECT_EQ(back->flares[0].peakClass, QStringLiteral("X2.1"));
    EXPECT_FALSE(back->latest);
    EXPECT_TRUE(back->xraysEtag.isEmpty());
    EXPECT_FALSE(SpaceWeather::decode("[1, 2]"));
}
