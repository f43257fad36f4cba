// The readers of NOAA SWPC's X-ray files on odd elements, one row per oddity.
#include "SwpcReader.h"
#include "CacheFixture.h"

#include <gtest/gtest.h>

namespace {

QString text(const SpaceWeather::Flare& flare) {
    auto time = [](const QDateTime& t) {
        return t.isValid() ? t.toString(QStringLiteral("hh:mm")) : QStringLiteral("-");
    };
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(flare.peakClass, time(flare.begin), time(flare.peak), time(flare.end))
        .arg(flare.satellite);
}

} // namespace

TEST(SwpcReader, FlaresAreReadElementByElement) {
    struct Row {
        const char* element;
        const char* read; // "" when the element is skipped
    };
    const Row rows[] = {
        {R"({"begin_time": "2026-12-08T14:01:00Z", "begin_class": "C1.0", "max_time": "2026-12-08T14:07:00Z",
             "max_class": "M1.2", "max_xrlong": 1.2e-5, "end_time": "2026-12-08T14:30:00Z", "satellite": 18})",
         "M1.2 14:01 14:07 14:30 18"},
        // In progress: the maximum so far, else the class it began with.
        {R"({"begin_time": "2026-12-08T14:01:00Z", "begin_class": "C1.0", "max_time": "2026-12-08T14:09:00Z",
             "max_class": "M2.0", "end_time": null, "satellite": 18})",
         "M2.0 14:01 14:09 - 18"},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "begin_class": "C1.4", "max_time": null, "max_class": null,
             "end_time": null, "end_class": null, "satellite": 16})",
         "C1.4 14:01 - - 16"},
        // As SWPC writes one in progress: "Unk" times, no maximum yet, the level now above where it began.
        {R"({"time_tag": "2026-12-08T14:40:00Z", "satellite": 18, "current_class": "M1.3", "begin_time":
             "2026-12-08T14:01:00Z", "begin_class": "B7.8", "max_time": "Unk", "max_class": null,
             "end_time": "Unk", "end_class": null})",
         "M1.3 14:01 - - 18"},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "begin_class": "C2.0", "current_class": "B9.9",
             "max_class": "Unk"})",
         "C2.0 14:01 - - 0"},
        // Written loosely but still a class; a satellite given as text.
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": " x2 ", "satellite": "16"})",
         "X2.0 14:01 - - 16"},
        {R"({"begin_time": "2026-12-08T14:01:00.500Z", "max_class": "C9.96"})", "M1.0 14:01 - - 0"},
        // Absurd or unreadable classes, and no class at all.
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "X999.9", "begin_class": "C1.0"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": null, "begin_class": "Q1"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "M10.0"})", ""},
        // Classes at the limit: beyond any flare measured, or a number the letter cannot carry.
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "X100"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "X99.96"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "X1e2"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "C1.0e-300"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": "X99.9"})", "X99.9 14:01 - - 0"},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_class": ["M1.0"]})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z"})", ""},
        // Times that are not UTC with a Z, or not times, and times out of order.
        {R"({"begin_time": "2026-12-08T14:01:00+02:00", "max_class": "M1.0"})", ""},
        {R"({"begin_time": "2026-12-08 14:01", "max_class": "M1.0"})", ""},
        {R"({"begin_time": 1733650000, "max_class": "M1.0"})", ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "max_time": "2026-12-08T13:00:00Z", "max_class": "M1.0"})",
         ""},
        {R"({"begin_time": "2026-12-08T14:01:00Z", "end_time": "2026-12-08T14:00:00Z", "max_class": "M1.0"})",
         ""},
        // A satellite number no GOES has: unknown, the flare stands.
        {R"({"max_time": "2026-12-08T14:07:00Z", "max_class": "C5.0", "satellite": 1e300})",
         "C5.0 - 14:07 - 0"},
        {R"("a flare")", ""},
        {R"(null)", ""},
    };
    for (const Row& row : rows) {
        const auto flares = SwpcReader::flares("[" + QByteArray(row.element) + "]");
        ASSERT_TRUE(flares) << row.element;
        EXPECT_EQ(flares->empty() ? QString() : text(flares->front()), QString::fromLatin1(row.read))
            << row.element;
    }
    for (const char* document : {"", "{}", "\"[]\"", "[1,", "null"})
        EXPECT_FALSE(SwpcReader::flares(document)) << document;
    EXPECT_TRUE(SwpcReader::flares("[]")->empty());
}

TEST(SwpcReader, SamplesComeFromThePrimarySatellitesLongChannelOnly) {
    const QByteArray document = R"([
        {"time_tag": "2026-12-08T11:58:00Z", "satellite": 16, "flux": 9e-6, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T11:59:00Z", "satellite": 18, "flux": 2.34e-6, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T11:58:00Z", "satellite": 18, "flux": 2.0e-6, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T11:58:00Z", "satellite": 18, "flux": 3.0e-6, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T12:00:00Z", "satellite": 18, "flux": 5e-7, "energy": "0.05-0.4nm"},
        {"time_tag": "2026-12-08T12:00:00Z", "satellite": 18, "flux": null, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T12:00:00Z", "satellite": 18, "flux": -99999, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T12:00:00Z", "satellite": 18, "flux": 1e400, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T12:00:00Z", "satellite": 18, "flux": 0.5, "energy": "0.1-0.8nm"},
        {"time_tag": "yesterday", "satellite": 16, "flux": 1e-6, "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T11:57:00Z", "satellite": 18, "flux": "1e-6", "energy": "0.1-0.8nm"},
        {"time_tag": "2026-12-08T14:30:00Z", "satellite": 16, "flux": 1e-6, "energy": "0.1-0.8nm"},
        ["not", "a", "sample"], 42
    ])";
    // The GOES-16 sample stamped ahead of the clock neither counts nor makes GOES-16 the primary.
    const QDateTime notAfter = SwpcReader::readTime(QStringLiteral("2026-12-08T13:00:00Z"));
    const auto samples = SwpcReader::longSamples(document, notAfter);
    ASSERT_TRUE(samples);
    ASSERT_EQ(samples->size(), 2u); // 11:58 once (its first reading) and 11:59, both of GOES-18
    EXPECT_EQ(samples->front().flux, 2.0e-6);
    EXPECT_EQ(samples->back().time, SwpcReader::readTime(QStringLiteral("2026-12-08T11:59:00Z")));
    EXPECT_EQ(SpaceWeather::classFromFlux(samples->back().flux), QStringLiteral("C2.3"));
    for (const auto& sample : *samples)
        EXPECT_EQ(sample.satellite, 18);
    EXPECT_TRUE(SwpcReader::longSamples(R"([{"time_tag": "2026-12-08T11:59:00Z", "flux": 1e-6}])", notAfter)
                    ->empty());
    EXPECT_FALSE(SwpcReader::longSamples(R"({"time_tag": "2026-12-08T11:59:00Z"})", notAfter));
}
