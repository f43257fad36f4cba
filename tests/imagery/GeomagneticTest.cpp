// The readers of NOAA SWPC's geomagnetic and solar wind products on their real shapes and on odd rows,
// and the rules on what they give: storm levels, storms, and what the file keeps.
#include "Geomagnetic.h"
#include "GeomagneticReader.h"

#include <QJsonArray>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QString hhmm(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("dd hh:mm"));
}

QString text(const std::optional<std::vector<Geomagnetic::Reading>>& readings) {
    if (!readings) return QStringLiteral("unreadable");
    QStringList parts;
    for (const Geomagnetic::Reading& reading : *readings)
        parts << hhmm(reading.time) + QLatin1Char('=') + QString::number(reading.value);
    return parts.join(QLatin1Char(' '));
}

QString text(const std::optional<std::vector<Geomagnetic::SolarWind>>& readings) {
    if (!readings) return QStringLiteral("unreadable");
    auto value = [](const std::optional<double>& v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    QStringList parts;
    for (const Geomagnetic::SolarWind& w : *readings)
        parts << hhmm(w.time) + QLatin1Char('=') + value(w.speed) + QLatin1Char('/') + value(w.density) +
                     QLatin1Char('/') + value(w.bz);
    return parts.join(QLatin1Char(' '));
}

QString text(const std::optional<Geomagnetic::Scales>& scales) {
    if (!scales) return QStringLiteral("unreadable");
    auto level = [](const std::optional<int>& v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    return hhmm(scales->time) + QStringLiteral(" R") + level(scales->r) + QStringLiteral(" S") +
           level(scales->s) + QStringLiteral(" G") + level(scales->g);
}

} // namespace

TEST(GeomagneticReader, ReadsSwpcShapesRowByRow) {
    struct Row {
        const char* product;
        const char* document;
        const char* read;
    };
    const Row rows[] = {
        // The K index as SWPC serves it now (objects, numbers) and as it did (a header row, texts).
        {"kp", R"([{"time_tag": "2026-09-08T09:00:00", "Kp": 4.33, "a_running": 32, "station_count": 8},
                   {"time_tag": "2026-09-08T12:00:00", "Kp": 3.67, "a_running": 22, "station_count": 8}])",
         "08 09:00=4.33 08 12:00=3.67"},
        {"kp",
         R"([["time_tag", "Kp", "a_running", "station_count"], ["2024-05-10 21:00:00.000", "8.67", "207", "8"],
                   ["2024-05-10 18:00:00.000", "9.00", "300", "8"], ["2024-05-11 00:00:00.000", null, "9", "8"]])",
         "10 18:00=9 10 21:00=8.67"},
        // Values no index takes, times SWPC does not write, rows of the wrong length: skipped.
        {"kp",
         R"([{"time_tag": "2026-09-08T09:00:00", "Kp": 12}, {"time_tag": "2026-09-08T09:00:00", "Kp": -1},
                   {"time_tag": "2026-09-08T09:00:00", "Kp": "Unk"}, {"time_tag": "2026-09-08T09:00:00", "Kp": "nan"},
                   {"time_tag": "2026-09-08 09:00:00+02:00", "Kp": 3}, {"time_tag": "yesterday", "Kp": 3},
                   {"time_tag": 1757322000, "Kp": 3}, ["2026-09-08T09:00:00", 3], 7, null,
                   {"time_tag": "2026-09-08T12:00:00Z", "Kp": 1e400}, {"time_tag": "2026-09-08T15:00:00Z", "Kp": "2.33"}])",
         "08 15:00=2.33"},
        {"kp", R"({"time_tag": "2026-09-08T09:00:00", "Kp": 3})", "unreadable"},
        {"estimate", R"([{"time_tag": "2026-09-09T03:44:00", "kp_index": 1, "estimated_kp": 0.67, "kp": "1M"},
                         {"time_tag": "2026-09-09T03:45:00", "kp_index": 2, "estimated_kp": null, "kp": "2Z"},
                         {"time_tag": "2026-09-09T03:46:00", "kp_index": null, "estimated_kp": null, "kp": null}])",
         "09 03:44=0.67 09 03:45=2"},
        // The solar wind near Earth: a header row and numbers, a missing speed, a fill value, a gap.
        {"wind",
         R"([["time_tag", "speed", "density", "temperature", "bx", "by", "bz", "bt", "propagated_time_tag"],
                     ["2026-09-06T17:17:00Z", 339.2, 4.77, 117080.0, 4.67, -2.74, -4.25, 6.89, "2026-09-06T18:24:32Z"],
                     ["2026-09-06T17:18:00Z", null, 4.8, 117000.0, 4.6, -2.7, -9999.9, 6.9, "2026-09-06T18:25:00Z"],
                     ["2026-09-06T17:19:00Z", -9999.9, null, null, null, null, null, null, null]])",
         "06 17:17=339.2/4.77/-4.25 06 17:18=-/4.8/-"},
        // The real-time files: several spacecraft a minute, only the one in service counts.
        {"wind",
         R"([{"time_tag": "2026-09-06T17:20:00", "active": true, "source": "SOLAR1", "proton_speed": 340.9,
                      "proton_density": 4.82, "bz_gsm": -4.47},
                     {"time_tag": "2026-09-06T17:21:00", "active": false, "source": "ACE", "proton_speed": 451.7,
                      "proton_density": 3.0, "bz_gsm": 3.67}])",
         "06 17:20=340.9/4.82/-4.47"},
        // NOAA's scales: every number a text, null where none is stated, the current entry "0".
        {"scales", R"({"-1": {"DateStamp": "2026-09-05", "TimeStamp": "17:24:00", "G": {"Scale": "3"}},
                       "0": {"DateStamp": "2026-09-06", "TimeStamp": "17:24:00",
                             "R": {"Scale": "1", "Text": "minor", "MinorProb": null, "MajorProb": null},
                             "S": {"Scale": null, "Text": null, "Prob": "75"}, "G": {"Scale": "2", "Text": "moderate"}}})",
         "06 17:24 R1 S- G2"},
        {"scales", R"({"0": {"DateStamp": "2026-09-06", "TimeStamp": "17:24:00", "R": {"Scale": "6"},
                             "S": {"Scale": "1.5"}, "G": {"Scale": -1}}})",
         "06 17:24 R- S- G-"},
        {"scales", R"({"1": {"DateStamp": "2026-09-06", "TimeStamp": "17:24:00", "G": {"Scale": "2"}}})",
         "unreadable"},
        {"scales", R"({"0": {"DateStamp": "Unk", "TimeStamp": "17:24:00", "G": {"Scale": "2"}}})",
         "unreadable"},
    };
    for (const Row& row : rows) {
        const QByteArray bytes(row.document);
        const QString product = QString::fromLatin1(row.product);
        QString read;
        if (product == QLatin1String("kp")) read = text(GeomagneticReader::kpIntervals(bytes));
        if (product == QLatin1String("estimate")) read = text(GeomagneticReader::kpEstimates(bytes));
        if (product == QLatin1String("wind")) read = text(GeomagneticReader::solarWind(bytes));
        if (product == QLatin1String("scales")) read = text(GeomagneticReader::scales(bytes));
        EXPECT_EQ(read, QString::fromLatin1(row.read)) << row.document;
    }
}

TEST(Geomagnetic, StormLevelsStormsAndTheFile) {
    // NOAA's G levels count the minus thirds: 5- is a G1 storm, but only a full 9 is G5.
    const std::pair<double, int> levels[] = {{4.33, 0}, {4.67, 1}, {5.33, 1}, {5.67, 2},        {7.67, 4},
                                             {8.67, 4}, {9.0, 5},  {-1, 0},   {std::nan(""), 0}};
    for (const auto& [kp, level] : levels)
        EXPECT_EQ(Geomagnetic::stormLevel(kp), level) << kp;
    EXPECT_EQ(Geomagnetic::kpText(4.67), "5");

    // Two storms: one that rose to G3 and ended yesterday, one under way now (its estimate at G2 within
    // the current interval, whose 3-hourly value is still G1).
    const QDateTime now(QDate(2026, 12, 8), QTime(13, 30), QTimeZone::utc());
    auto at = [&now](double hours) { return now.addSecs(qint64(hours * 3600)); };
    Geomagnetic::Record record;
    record.kp = {{at(-28.5), 4.67}, {at(-25.5), 6.67}, {at(-22.5), 5.0}, {at(-19.5), 3.0},
                 {at(-7.5), 2.0},   {at(-4.5), 5.33},  {at(-1.5), 5.0}};
    record.kpNow = Geomagnetic::Reading{at(-0.1), 5.67};
    const auto storms = Geomagnetic::storms(record, now);
    ASSERT_EQ(storms.size(), 2u);
    EXPECT_EQ(storms[0].began, at(-28.5));
    EXPECT_EQ(storms[0].level, 3);
    EXPECT_EQ(storms[0].lastAt[3], at(-22.5));
    EXPECT_EQ(storms[0].lastAt[1], at(-19.5));
    EXPECT_EQ(storms[1].began, at(-4.5));
    EXPECT_EQ(storms[1].level, 2);
    EXPECT_EQ(storms[1].lastAt[2], at(-0.1));
    EXPECT_EQ(storms[1].lastAt[1], at(-0.1));
    EXPECT_FALSE(storms[1].lastAt[3].isValid());
    EXPECT_EQ(Geomagnetic::latestKp(record)->value, 5.67);
    EXPECT_EQ(Geomagnetic::highestKp(record, at(-24), now)->value, 5.67);
    EXPECT_EQ(Geomagnetic::highestKp(record, at(-30), now)->time, at(-25.5));
    EXPECT_TRUE(Geomagnetic::fresh(at(-3), now));
    EXPECT_FALSE(Geomagnetic::fresh(at(-3.1), now));

    // The file keeps every value with its time and refuses, element by element, what no product gives.
    record.scales = Geomagnetic::Scales{at(-0.2), 1, std::nullopt, 2};
    record.wind = Geomagnetic::SolarWind{at(-0.3), 612.5, 6.1, -11.2};
    record.kpEtag = QStringLiteral("\"k1\"");
    EXPECT_EQ(Geomagnetic::fromJson(Geomagnetic::toJson(record)), record);
    QJsonObject damaged = Geomagnetic::toJson(record);
    damaged.insert(QStringLiteral("kp"),
                   QJsonArray{QJsonObject{{"time", "2026-12-08T12:00:00Z"}, {"value", 10}},
                              QJsonObject{{"time", "noon"}, {"value", 3}}, 5,
                              QJsonObject{{"time", "2026-12-08T09:00:00Z"}, {"value", 3}}});
    damaged.insert(
        QStringLiteral("wind"),
        QJsonObject{{"time", "2026-12-08T13:00:00Z"}, {"speed", -9999.9}, {"density", "5"}, {"bz", -12.5}});
    damaged.insert(QStringLiteral("scales"), QJsonObject{{"time", "2026-12-08T13:00:00Z"}, {"g", 7}});
    damaged.insert(QStringLiteral("windEtag"), QStringLiteral("a\nb"));
    const Geomagnetic::Record back = Geomagnetic::fromJson(damaged);
    ASSERT_EQ(back.kp.size(), 1u);
    EXPECT_EQ(back.kp[0].value, 3);
    ASSERT_TRUE(back.wind);
    EXPECT_FALSE(back.wind->speed);
    EXPECT_FALSE(back.wind->density);
    EXPECT_EQ(back.wind->bz, -12.5);
    ASSERT_TRUE(back.scales);
    EXPECT_FALSE(back.scales->g);
    EXPECT_TRUE(back.windEtag.isEmpty());
}
