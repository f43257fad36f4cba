// The space-weather refresh end to end: nginx serving a stand-in of NOAA SWPC's files over HTTPS on
// loopback, then a misbehaving server in its place.
#include "SpaceWeatherFetch.h"
#include "CacheFixture.h"
#include "MirrorServers.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <memory>

namespace {

// The access log's lines for SWPC's files, in name order, one per line, with the quotes nginx escapes.
std::string spaceWeatherRequests(const QStringList& lines) {
    QStringList found;
    for (const QString& line : lines)
        if (line.contains(QLatin1String("/json/")) || line.contains(QLatin1String("/products/")))
            found << line;
    found.sort();
    return found.join(QLatin1Char('\n')).replace(QLatin1String("\\x22"), QLatin1String("\"")).toStdString();
}

// Each file's request line, in name order, with `status` and the validator the record keeps for it.
std::string expectedRequests(const SpaceWeather::Record& record, const char* status) {
    const std::pair<const char*, QString> files[] = {
        {SpaceWeatherFetch::flaresPath, record.flaresEtag},
        {SpaceWeatherFetch::xraysPath, record.xraysEtag},
        {SpaceWeatherFetch::kpNowPath, record.geomagnetic.kpNowEtag},
        {SpaceWeatherFetch::windPath, record.geomagnetic.windEtag},
        {SpaceWeatherFetch::kpPath, record.geomagnetic.kpEtag},
        {SpaceWeatherFetch::scalesPath, record.geomagnetic.scalesEtag}};
    QStringList lines;
    for (const auto& [path, etag] : files)
        lines << QStringLiteral("GET %1 %2 %3")
                     .arg(QLatin1String(path), QLatin1String(status),
                          etag.isEmpty() ? QStringLiteral("-") : etag);
    return lines.join(QLatin1Char('\n')).toStdString();
}

} // namespace

class SpaceWeatherRefresh : public CacheFixture {
protected:
    TestCertificate certificate;
    QString root;
    QJsonObject truth;
    std::unique_ptr<NginxMirror> host;
    QByteArray outerBase =
        qgetenv("SOLVANE_SWPC_BASE"); // the test run's, which keeps passes off the real host

    void SetUp() override {
        CacheFixture::SetUp();
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
        root = temp.path() + QStringLiteral("/swpc");
        const ProcessResult made =
            runProgram(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(SOLVANE_SOURCE_DIR "/tools/swpc/make_swpc.py"), root});
        ASSERT_EQ(made.status, 0) << made.err.toStdString();
        truth = QJsonDocument::fromJson(readFile(root + QStringLiteral("/.work/truth.json"))).object();
        QDir().mkpath(temp.path() + QStringLiteral("/nginx"));
        host = std::make_unique<NginxMirror>(root, certificate, temp.path() + QStringLiteral("/nginx"));
        ASSERT_TRUE(host->running());
        qputenv("SOLVANE_SWPC_BASE", ("https://" + host->host()).toUtf8());
        // The imagery part of the pass asks the same server, which holds no imagery, and so stays here.
        qputenv("SOLVANE_ORIGIN_HOST", host->host().toUtf8());
        Settings::setImageryHost(host->host());
    }
    void TearDown() override {
        host.reset();
        qunsetenv("SOLVANE_ORIGIN_HOST");
        qputenv("SOLVANE_SWPC_BASE", outerBase);
        CacheFixture::TearDown();
    }
};

TEST_F(SpaceWeatherRefresh, ThePassFetchesThenRevalidatesAndAFailingSourceKeepsTheFile) {
    // The first pass writes the file from what the stand-in lists.
    Cache::pass(true, false, false);
    std::optional<SpaceWeather::Record> record = SpaceWeather::load();
    ASSERT_TRUE(record);
    const QJsonObject latest = truth.value(QStringLiteral("latest")).toObject();
    ASSERT_TRUE(record->latest);
    EXPECT_EQ(record->latest->time.toString(Qt::ISODate), latest.value(QStringLiteral("time")).toString());
    EXPECT_EQ(record->latest->satellite, 18);
    EXPECT_EQ(SpaceWeather::classFromFlux(record->latest->flux),
              truth.value(QStringLiteral("latest_class")).toString());
    QStringList expected, got;
    for (const QJsonValue& flare : truth.value(QStringLiteral("flares")).toArray())
        expected << flare.toObject().value(QStringLiteral("class")).toString() + QLatin1Char(' ') +
                        flare.toObject().value(QStringLiteral("begin")).toString();
    for (const SpaceWeather::Flare& flare : record->flares) {
        got << flare.peakClass + QLatin1Char(' ') + flare.begin.toString(Qt::ISODate);
        EXPECT_EQ(flare.satellite, 18) << flare.peakClass.toStdString(); // the twin of GOES-16 is not kept
    }
    EXPECT_EQ(got.join(QLatin1Char('\n')).toStdString(),
              expected.join(QLatin1Char('\n'))
                  .toStdString()); // the malformed element and the absurd class are not among them
    EXPECT_EQ(record->flares.size(), 10u);
    EXPECT_TRUE(record->flares.back().inProgress());
    EXPECT_FALSE(record->flaresEtag.isEmpty());
    EXPECT_FALSE(record->xraysEtag.isEmpty());
    // What the Sun does to Earth: the K index, its estimate, NOAA's scales and the solar wind, each with
    // the time the product gives, as the stand-in made them.
    const QJsonObject geo = truth.value(QStringLiteral("geomagnetic")).toObject();
    const Geomagnetic::Record& geomagnetic = record->geomagnetic;
    ASSERT_FALSE(geomagnetic.kp.empty()); // the week up to now, of the stand-in's week and a half
    EXPECT_GE(geomagnetic.kp.front().time, record->fetched.addDays(-7));
    EXPECT_LE(geomagnetic.kp.front().time,
              record->fetched.addDays(-7).addSecs(3 * 3600)); // `fetched` is in whole seconds
    EXPECT_EQ(geomagnetic.kp.back().time.toString(Qt::ISODate),
              geo.value(QStringLiteral("kp_newest_interval")).toString());
    ASSERT_TRUE(geomagnetic.kpNow);
    EXPECT_EQ(geomagnetic.kpNow->value, geo.value(QStringLiteral("kp_latest")).toDouble());
    EXPECT_EQ(geomagnetic.kpNow->time.toString(Qt::ISODate),
              geo.value(QStringLiteral("kp_latest_time")).toString());
    EXPECT_EQ(Geomagnetic::highestKp(geomagnetic, record->fetched.addSecs(-86400), record->fetched)->value,
              geo.value(QStringLiteral("kp_max_24h")).toDouble());
    const QJsonObject scales = geo.value(QStringLiteral("scales")).toObject();
    ASSERT_TRUE(geomagnetic.scales);
    EXPECT_EQ(geomagnetic.scales->g, scales.value(QStringLiteral("G")).toInt());
    EXPECT_EQ(geomagnetic.scales->r, scales.value(QStringLiteral("R")).toInt());
    EXPECT_EQ(geomagnetic.scales->time.toString(Qt::ISODate),
              scales.value(QStringLiteral("time")).toString());
    const QJsonObject wind = geo.value(QStringLiteral("wind")).toObject();
    ASSERT_TRUE(geomagnetic.wind);
    EXPECT_EQ(geomagnetic.wind->time.toString(Qt::ISODate), wind.value(QStringLiteral("time")).toString());
    EXPECT_EQ(geomagnetic.wind->speed, wind.value(QStringLiteral("speed")).toDouble());
    EXPECT_EQ(geomagnetic.wind->bz, wind.value(QStringLiteral("bz")).toDouble());
    EXPECT_EQ(spaceWeatherRequests(host->requests()), expectedRequests(SpaceWeather::Record(), "200"));
    host->clearRequests();

    // The hourly pass asks again only once the file is an hour old.
    const QDateTime later = record->fetched.addSecs(600);
    EXPECT_EQ(SpaceWeatherFetch::refresh(later, SpaceWeatherFetch::When::due),
              SpaceWeatherFetch::Outcome::skipped);
    EXPECT_TRUE(host->requests().isEmpty());

    // The next one asks conditionally, learns nothing changed and only notes when it asked.
    EXPECT_EQ(SpaceWeatherFetch::refresh(later), SpaceWeatherFetch::Outcome::updated);
    EXPECT_EQ(spaceWeatherRequests(host->requests()), expectedRequests(*record, "304"));
    const auto revalidated = SpaceWeather::load();
    ASSERT_TRUE(revalidated);
    EXPECT_EQ(revalidated->fetched, later);
    EXPECT_EQ(revalidated->flares.size(), 10u);
    EXPECT_EQ(revalidated->latest->time, record->latest->time);
    // The week of Kp moves on with the clock: run in the ten minutes before a 3-hour mark, the oldest
    // interval has left it by `later`.
    Geomagnetic::Record week = record->geomagnetic;
    std::erase_if(week.kp, [&](const Geomagnetic::Reading& reading) {
        return reading.time < later.addSecs(-Geomagnetic::keptSeconds);
    });
    EXPECT_EQ(revalidated->geomagnetic, week);

    // A server failing every file its own way (an error status, an error page, a body past its limit, a
    // dropped connection): the file stays byte for byte, one line says why.
    QDir().mkpath(temp.path() + QStringLiteral("/faults"));
    FaultServer faulty(root, certificate, temp.path() + QStringLiteral("/faults"));
    ASSERT_TRUE(faulty.running());
    qputenv("SOLVANE_SWPC_BASE", ("https://" + faulty.host()).toUtf8());
    faulty.setFaults({{"xrays-1-day", QJsonObject{{"kind", "status"}, {"code", 500}}},
                      {"xray-flares", QJsonObject{{"kind", "wrongbody"}}},
                      {"noaa-planetary", QJsonObject{{"kind", "huge"}}},
                      {"k_index_1m", QJsonObject{{"kind", "status"}, {"code", 404}}},
                      {"noaa-scales", QJsonObject{{"kind", "wrongbody"}}},
                      {"propagated", QJsonObject{{"kind", "reset"}}}});
    const QByteArray before = read(QString::fromLatin1(SpaceWeather::fileName));
    CapturedLog captured;
    EXPECT_EQ(SpaceWeatherFetch::refresh(later.addSecs(600)), SpaceWeatherFetch::Outcome::kept);
    const QString logged = QString::fromUtf8(captured.finish());
    EXPECT_EQ(read(QString::fromLatin1(SpaceWeather::fileName)), before);
    EXPECT_TRUE(
        logged.contains(QStringLiteral("solvane: space weather: can't reach %1: the server answered with "
                                       "status 500; %1 gave an unreadable xray-flares-7-day.json (not a "
                                       "JSON list); can't reach %1: ")
                            .arg(faulty.host())))
        << logged.toStdString();
    EXPECT_TRUE(logged.contains(QStringLiteral("%1 gave an unreadable noaa-scales.json (no current scales in "
                                               "it); can't reach %1: ")
                                    .arg(faulty.host())))
        << logged.toStdString();
    EXPECT_TRUE(logged.contains("; keeping the file from " + later.toString(Qt::ISODate) + "\n"))
        << logged.toStdString();
    EXPECT_EQ(logged.count(QStringLiteral("space weather")), 1);

    // Slow answers: the whole refresh has one and a half request limits; what is left unasked is named.
    SpaceWeatherFetch::setTimeLimits(std::chrono::seconds(2), std::chrono::seconds(2));
    faulty.setFaults({{"/", QJsonObject{{"kind", "slow"}, {"delay", 4}}}});
    CapturedLog slow;
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(SpaceWeatherFetch::refresh(later.addSecs(700)), SpaceWeatherFetch::Outcome::kept);
    EXPECT_LT(elapsed.elapsed(), 5000);
    SpaceWeatherFetch::setTimeLimits(std::chrono::seconds(0), std::chrono::seconds(0));
    const QString cut = QString::fromUtf8(slow.finish());
    EXPECT_TRUE(cut.contains("noaa-planetary-k-index.json not asked: the 3 s for space weather ran out; "
                             "planetary_k_index_1m.json not asked"))
        << cut.toStdString();
    EXPECT_EQ(read(QString::fromLatin1(SpaceWeather::fileName)), before);

    // Only the X-ray level failing: the rest is taken, the level kept.
    faulty.setFaults({{"xrays-1-day", QJsonObject{{"kind", "reset"}}}});
    EXPECT_EQ(SpaceWeatherFetch::refresh(later.addSecs(900)), SpaceWeatherFetch::Outcome::updated);
    EXPECT_EQ(SpaceWeather::load()->latest->time, record->latest->time);

    // Offline, and a reader of the cache, ask nothing and write nothing.
    faulty.clearRequests();
    const QByteArray settled = read(QString::fromLatin1(SpaceWeather::fileName));
    Settings::setOffline(true);
    EXPECT_EQ(SpaceWeatherFetch::refresh(), SpaceWeatherFetch::Outcome::skipped);
    Settings::setOffline(false);
    Cache::setReadOnly(true);
    EXPECT_EQ(SpaceWeatherFetch::refresh(), SpaceWeatherFetch::Outcome::skipped);
    EXPECT_TRUE(faulty.requests().isEmpty());
    EXPECT_EQ(read(QString::fromLatin1(SpaceWeather::fileName)), settled);
}

TEST(SpaceWeatherFetch, KeepsAWeekOfFlaresOncePreferringThePrimarysListing) {
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-08T12:00:00Z"), Qt::ISODate);
    auto flare = [&](qint64 hoursAgo, const char* flareClass, int satellite) {
        return SpaceWeather::Flare{now.addSecs(-hoursAgo * 3600),
                                   now.addSecs(-hoursAgo * 3600 + 600),
                                   {},
                                   QString::fromLatin1(flareClass),
                                   satellite};
    };
    const auto kept =
        SpaceWeatherFetch::kept({flare(200, "X1.0", 18), flare(100, "C4.7", 16), flare(100, "C4.5", 18),
                                 flare(100, "C4.6", 18), flare(1, "M1.0", 16), flare(-3, "M2.0", 18)},
                                18, now);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].peakClass, QStringLiteral("C4.5"));
    EXPECT_EQ(kept[1].peakClass, QStringLiteral("M1.0"));
    const QByteArray outerBase = qgetenv("SOLVANE_SWPC_BASE");
    qputenv("SOLVANE_SWPC_BASE", "http://example.org");
    EXPECT_FALSE(SpaceWeatherFetch::base());
    qunsetenv("SOLVANE_SWPC_BASE");
    EXPECT_EQ(SpaceWeatherFetch::base(), QStringLiteral("https://services.swpc.noaa.gov"));
    qputenv("SOLVANE_SWPC_BASE", outerBase);
}
