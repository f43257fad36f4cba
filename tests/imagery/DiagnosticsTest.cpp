#include "Diagnostics.h"
#include "CacheFixture.h"
#include "SpaceWeather.h"

#include <QTimeZone>
#include <limits>
#include <sys/utsname.h>

namespace {

QStringList linesOf(const QString& report) {
    return report.split(QLatin1Char('\n'));
}

} // namespace

using DiagnosticsReport = CacheFixture;

TEST_F(DiagnosticsReport, AFreshInstallation) {
    // One screen connected; the default settings name a product for three.
    const QStringList lines = linesOf(Diagnostics::report(
        QDateTime(QDate(2026, 10, 1), QTime(6, 0), QTimeZone::utc()), QStringList{"LEFT, 1280x720"}));
    ASSERT_GE(lines.size(), 31);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Solvane 0.1.0 (")));
    EXPECT_EQ(lines[1], Diagnostics::operatingSystem());
    EXPECT_FALSE(lines[1].startsWith(QStringLiteral("macOS")));
    EXPECT_EQ(lines[2], QStringLiteral("report 2026-10-01T06:00:00Z"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("update feed ")));
    EXPECT_EQ(lines[4], QStringLiteral("log: journalctl -t solvane shows every log line with its time (add "
                                       "SOLVANE_CATEGORY=desktop for the desktop picture alone)"));
    EXPECT_EQ(lines[5], QString());
    EXPECT_EQ(lines[6], QStringLiteral("Settings"));
    EXPECT_EQ(lines[7], QStringLiteral("  mode desktop"));
    EXPECT_EQ(lines[8], QStringLiteral("  1 screen connected"));
    EXPECT_EQ(lines[9], QStringLiteral("  screen 1 (LEFT, 1280x720): rainbow"));
    EXPECT_EQ(lines[10], QStringLiteral("  screen 2: 171 (not connected)"));
    EXPECT_EQ(lines[12], QStringLiteral("  idle minutes 5.0, lock on dismiss true"));
    EXPECT_EQ(lines[13],
              QStringLiteral("  offline false, checks every hour; fetches new images once a day, sooner "
                             "after a failed check or for a missing product (1440 min)"));
    EXPECT_EQ(lines[14], QStringLiteral("  desktop picture false, previous picture remembered false"));
    EXPECT_EQ(lines[15], QStringLiteral("  attribution false, shuffle false, loops 1, transition black"));
    EXPECT_EQ(lines[16],
              QStringLiteral("  imagery host none (NASA SDO, direct at https://sdo.gsfc.nasa.gov), "
                             "store host none"));
    EXPECT_EQ(lines[17], QStringLiteral("  last scheduled check never, last button check never"));
    EXPECT_EQ(lines[19], QStringLiteral("Cache"));
    EXPECT_EQ(lines[21], QStringLiteral("  0 product(s) on disk"));
    EXPECT_EQ(lines[22], QStringLiteral("  newest image: none downloaded"));
    EXPECT_EQ(lines[24], QStringLiteral("Index"));
    EXPECT_EQ(lines[25], QStringLiteral("  none on disk"));
    EXPECT_EQ(lines[27], QStringLiteral("Last pass"));
    EXPECT_EQ(lines[28], QStringLiteral("  none recorded"));
    EXPECT_EQ(lines[30], QStringLiteral("Space weather"));
    EXPECT_EQ(lines[31], QStringLiteral("  no space-weather file yet"));
    EXPECT_EQ(lines[33], QStringLiteral("Geomagnetic"));
    EXPECT_EQ(lines[34], QStringLiteral("  no space-weather file yet"));
    EXPECT_EQ(lines.size(), 35);
}

// Connected screens come from the running program's record: a record whose writer has ended says
// nothing, and then the stored choices stand alone.
TEST_F(DiagnosticsReport, ScreensAreTheConnectedOnesAndTheRestAreMarked) {
    Settings::setProducts({QString(), QStringLiteral("off"), QStringLiteral("171,304")});
    const QString record = cached(QStringLiteral("screens"));
    ASSERT_TRUE(Diagnostics::recordScreens({"DP-1, 1920x1080", "HDMI-1, 1280x1024"}, record));
    const auto screens = Diagnostics::connectedScreens(record);
    ASSERT_TRUE(screens.has_value());
    EXPECT_TRUE(Diagnostics::report(QDateTime::currentDateTimeUtc(), screens)
                    .contains(QStringLiteral("\n  2 screens connected\n"
                                             "  screen 1 (DP-1, 1920x1080): every product\n"
                                             "  screen 2 (HDMI-1, 1280x1024): off\n"
                                             "  screen 3: 171,304 (not connected)\n  idle minutes")));
    put(QStringLiteral("screens"), "pid 999999999\nDP-1, 1920x1080\n");
    EXPECT_FALSE(Diagnostics::connectedScreens(record).has_value());
    EXPECT_FALSE(Diagnostics::connectedScreens(cached(QStringLiteral("missing"))).has_value());
    EXPECT_TRUE(Diagnostics::report(QDateTime::currentDateTimeUtc(), std::nullopt)
                    .contains(QStringLiteral("\n  connected screens not known: Solvane is not running\n"
                                             "  screen 1: every product\n  screen 2: off\n"
                                             "  screen 3: 171,304\n  idle minutes")));
}

TEST_F(DiagnosticsReport, CraftedSettingsAndAPass) {
    Settings::setProducts({QString(), QStringLiteral("off"), QStringLiteral("171,304")});
    Settings::setIdleMinutes(2.5);
    Settings::setRefreshMinutes(720);
    Settings::setLastCheck(QDateTime(QDate(2026, 10, 1), QTime(5, 0), QTimeZone::utc()));
    put(QStringLiteral("171.mp4"), fakeClip());
    put(QStringLiteral("manifest.json"), R"([{"id":"171","video":"171.mp4","updated":"2026-10-01T05:40:00Z",
        "still":"171.png","frame_count":288}, {"id":"","video":"171.mp4","updated":""}])");
    put(QStringLiteral("171.png"), "png");
    put(QStringLiteral("index.json"), R"({"generated":"2026-10-01T06:00:00Z","failed":[],"products":[]})");
    Cache::recordPass({"2026-10-01T06:01:00Z", true, true, "mirror.example", true, 3, 1, 12, {"304", "94"}});

    const QString report =
        Diagnostics::report(QDateTime(QDate(2026, 10, 1), QTime(8, 10), QTimeZone::utc()), std::nullopt);
    const QStringList lines = linesOf(report);
    EXPECT_EQ(lines[12], QStringLiteral("  idle minutes 2.5, lock on dismiss true"));
    EXPECT_TRUE(lines[13].startsWith(QStringLiteral("  offline false, checks every hour; fetches new images "
                                                    "twice a day")))
        << lines[13].toStdString();
    EXPECT_EQ(lines[17],
              QStringLiteral("  last scheduled check 2026-10-01T05:00:00Z, last button check never"));
    EXPECT_TRUE(report.contains(
        QStringLiteral("\n  2 product(s) on disk\n"
                       "  171: clip through 2026-10-01T05:40:00Z, still unknown, 288 real frames\n"
                       "  unknown: clip through unknown, no still\n"
                       "  newest image 2026-10-01T05:40:00Z, 2 hours old\n")));
    EXPECT_TRUE(report.contains(
        QStringLiteral("\n  generated 2026-10-01T06:00:00Z, mirrored not recorded, failed none\n")));
    EXPECT_TRUE(
        report.contains(QStringLiteral("Last pass\n  finished 2026-10-01T06:01:00Z, checked, everything\n"
                                       "  host mirror.example (origin fallback)\n"
                                       "  listed 12, moved 3, pruned 1, failed 304 94\n"
                                       "  source mirror.example, answered\n")));

    Cache::LastPass unreached;
    unreached.finished = QStringLiteral("2026-10-01T06:01:00Z");
    unreached.check = true;
    unreached.host = QStringLiteral("sdo.gsfc.nasa.gov (direct)");
    unreached.reached = false;
    unreached.reason = QStringLiteral("Could not resolve host: sdo.gsfc.nasa.gov");
    Cache::recordPass(unreached);
    EXPECT_TRUE(Diagnostics::report().contains(
        QStringLiteral("\n  source NASA SDO, not reached: Could not resolve host: sdo.gsfc.nasa.gov\n")));
    // The direct source's address is the one in use, a stand-in's when SOLVANE_SDO_BASE names one.
    qputenv("SOLVANE_SDO_BASE", "https://127.0.0.1:8443/");
    const QString standIn = Diagnostics::report();
    qunsetenv("SOLVANE_SDO_BASE");
    EXPECT_TRUE(
        standIn.contains(QStringLiteral("\n  imagery host none (NASA SDO, direct at https://127.0.0.1:8443 "
                                        "from SOLVANE_SDO_BASE), store host none\n")))
        << standIn.toStdString();
    EXPECT_TRUE(
        standIn.contains(QStringLiteral("\n  host https://127.0.0.1:8443 from SOLVANE_SDO_BASE (direct)\n")))
        << standIn.toStdString();

    put(QStringLiteral("index.json"), "[1,2");
    EXPECT_TRUE(Diagnostics::report().contains(QStringLiteral("\nIndex\n  unreadable: ")));
}

TEST_F(DiagnosticsReport, HomesAreRedactedLongestFirst) {
    EXPECT_EQ(Diagnostics::redact(QStringLiteral("folder /home/ann/box/home/ann/.cache and /home/ann/x"),
                                  {QStringLiteral("/home/ann"), QStringLiteral("/home/ann/box/home/ann"),
                                   QStringLiteral("/")}),
              QStringLiteral("folder ~/.cache and ~/x"));
    EXPECT_EQ(Diagnostics::homes().size(), 3);
    const QString home = QDir::homePath();
    Cache::setDir(home + QStringLiteral("/.cache/SolvaneDiagnosticsTest"));
    EXPECT_TRUE(
        Diagnostics::report().contains(QStringLiteral("\n  folder ~/.cache/SolvaneDiagnosticsTest\n")));
    QDir(home + QStringLiteral("/.cache/SolvaneDiagnosticsTest")).removeRecursively();
}

TEST_F(DiagnosticsReport, OperatingSystemFromOsRelease) {
    put(QStringLiteral("os-release"),
        "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    EXPECT_EQ(Diagnostics::operatingSystem(cached(QStringLiteral("os-release"))),
              QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    put(QStringLiteral("os-release"), "NAME=Fedora\nVERSION_ID=40\n");
    EXPECT_EQ(Diagnostics::operatingSystem(cached(QStringLiteral("os-release"))),
              QStringLiteral("Fedora 40"));
    utsname system{};
    ASSERT_EQ(::uname(&system), 0);
    EXPECT_EQ(Diagnostics::operatingSystem(cached(QStringLiteral("missing"))),
              QStringLiteral("Linux ") + QString::fromLocal8Bit(system.release));
}

// Hand-edited files: any double as idle minutes (infinities would be undefined through an integer), and
// index header fields of the wrong kind.
TEST_F(DiagnosticsReport, OddValuesAreWrittenSafely) {
    const std::pair<double, const char*> minutes[] = {{std::numeric_limits<double>::infinity(), "inf"},
                                                      {1e300, "1e+300"},
                                                      {9.3e18, "9.3e+18"},
                                                      {std::numeric_limits<double>::quiet_NaN(), "5.0"},
                                                      {12, "12.0"}};
    for (const auto& [value, written] : minutes) {
        Settings::setIdleMinutes(value);
        EXPECT_TRUE(Diagnostics::report().contains(QStringLiteral("\n  idle minutes ") +
                                                   QLatin1String(written) + QLatin1Char(',')))
            << written;
    }
    const std::pair<const char*, const char*> indexes[] = {
        {R"({"generated":"2026-10-01T06:00:00Z","failed":[1,{}]})",
         "  generated 2026-10-01T06:00:00Z, mirrored not recorded, failed not recorded"},
        {R"({"failed":[7,"304"]})", "  generated unknown, mirrored not recorded, failed 304"},
        {R"({"generated":20261001,"failed":[]})", "  unreadable: generated is not a text"},
    };
    for (const auto& [index, line] : indexes) {
        put(QStringLiteral("index.json"), index);
        EXPECT_TRUE(Diagnostics::report().contains(QStringLiteral("\nIndex\n") + QLatin1String(line) +
                                                   QLatin1Char('\n')))
            << index;
    }
}

TEST_F(DiagnosticsReport, SpaceWeatherCountsTheFlaresOfTwoDaysByClass) {
    const QDateTime now(QDate(2026, 12, 8), QTime(12, 0), QTimeZone::utc());
    auto flare = [&](double hoursAgo, const char* flareClass, bool ended = true, bool peaked = true) {
        const QDateTime begin = now.addSecs(qint64(-hoursAgo * 3600));
        return SpaceWeather::Flare{begin, peaked ? begin.addSecs(600) : QDateTime(),
                                   ended ? begin.addSecs(1800) : QDateTime(), QString::fromLatin1(flareClass),
                                   18};
    };
    SpaceWeather::Record record;
    record.fetched = now.addSecs(-300);
    record.latest = SpaceWeather::Sample{now.addSecs(-360), 2.34e-6, 18};
    // Within the 48 hours: three C (one still rising, counted by its class so far), two M, no X; an A
    // and a B that are not counted; outside them an X of three days ago.
    record.flares = {
        flare(72, "X2.0"), flare(47, "C4.0"), flare(30, "M6.2"),       flare(20, "B5.0"),
        flare(10, "A3.0"), flare(6, "C1.2"),  flare(1, "M1.1", false), flare(0.2, "C1.4", false, false)};
    // The geomagnetic section: the latest Kp (the estimate), the highest of the day, the scales now and
    // an old solar wind reading marked as such.
    record.geomagnetic.kp = {{now.addSecs(-30 * 3600), 7.33}, {now.addSecs(-9 * 3600), 5.0}};
    record.geomagnetic.kpNow = Geomagnetic::Reading{now.addSecs(-240), 4.67};
    record.geomagnetic.scales = Geomagnetic::Scales{now.addSecs(-300), 1, 0, std::nullopt};
    record.geomagnetic.wind = Geomagnetic::SolarWind{now.addSecs(-4 * 3600), 612.4, std::nullopt, -7.24};
    ASSERT_TRUE(SpaceWeather::save(record));
    EXPECT_TRUE(Diagnostics::report(now).endsWith(
        QStringLiteral("\n\nSpace weather\n"
                       "  source NOAA SWPC (GOES-18), file from 2026-12-08T11:55:00Z, 5 minutes old\n"
                       "  X-ray level C2.3 at 2026-12-08T11:54:00Z\n"
                       "  flares in the last 48 hours: C 3, M 2, X 0\n"
                       "  largest M6.2, peak 2026-12-07T06:10:00Z\n"
                       "\n"
                       "Geomagnetic\n"
                       "  latest Kp 4.67 (estimate) at 2026-12-08T11:56:00Z, 4 minutes old\n"
                       "  highest Kp of the last 24 hours 5.00 at 2026-12-08T03:00:00Z\n"
                       "  NOAA scales R 1, S 0, G unknown at 2026-12-08T11:55:00Z\n"
                       "  solar wind 612 km/s, Bz -7.2 nT at 2026-12-08T08:00:00Z, stale")))
        << Diagnostics::report(now).toStdString();

    record.flares = {flare(0.5, "M1.0", false)};
    record.latest.reset();
    ASSERT_TRUE(SpaceWeather::save(record));
    EXPECT_TRUE(Diagnostics::report(now).contains(
        QStringLiteral("  X-ray level unknown\n"
                       "  flares in the last 48 hours: C 0, M 1, X 0\n"
                       "  largest M1.0, peak so far 2026-12-08T11:40:00Z\n\nGeomagnetic\n")));
}
