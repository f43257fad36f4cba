// What people are told about where the imagery comes from, and the check a typed mirror host passes
// before it is saved (against nginx on loopback, and a port where nothing answers).
#include "SourceStatus.h"
#include "CacheFixture.h"
#include "MirrorCheck.h"
#include "MirrorServers.h"

#include <QTimeZone>

namespace {

const QDateTime now(QDate(2026, 12, 8), QTime(20, 0), QTimeZone::utc());

CacheEntry entry(const QString& id, const QString& updated, const QString& video = {}) {
    CacheEntry e;
    e.id = id;
    e.updated = updated;
    e.video = video.isEmpty() ? id + QStringLiteral(".mp4") : video;
    return e;
}

Cache::LastPass pass(const QString& host, bool reached, const QString& reason = {},
                     const QString& writeFailure = {}, const QString& cutShort = {}) {
    Cache::LastPass p;
    p.finished = QStringLiteral("2026-12-08T19:00:00Z");
    p.host = host;
    p.reached = reached;
    p.reason = reason;
    p.writeFailure = writeFailure;
    p.cutShort = cutShort;
    return p;
}

} // namespace

TEST(SourceStatus, TheLineSaysWhereFromHowOldAndWhyNot) {
    const CacheEntry seed =
        entry(QStringLiteral("193"), QStringLiteral("2013-06-24T17:31:30Z"), QStringLiteral("seed.mp4"));
    const std::vector<CacheEntry> fresh{entry(QStringLiteral("171"), QStringLiteral("2026-12-08T17:40:00Z")),
                                        entry(QStringLiteral("304"), QStringLiteral("2026-12-08T18:20:00Z"))};
    const std::vector<CacheEntry> old{entry(QStringLiteral("171"), QStringLiteral("2026-12-05T08:00:00Z"))};
    const QString direct = QString::fromLatin1(SourceStatus::directHost);
    struct Case {
        const char* name;
        std::optional<Cache::LastPass> pass;
        std::vector<CacheEntry> entries;
        QString imageryHost;
        bool offline, downloading;
        QString line;
    };
    const Case cases[] = {
        {"direct, answered",
         pass(direct, true),
         fresh,
         {},
         false,
         false,
         "Imagery from NASA SDO; the newest image is 100 minutes old."},
        {"mirror, answered", pass("mirror.example.org", true), old, "mirror.example.org", false, false,
         "Imagery from mirror.example.org; the newest image is 3 days old."},
        {"direct, unreachable, seed only",
         pass(direct, false, "Could not resolve host: sdo.gsfc.nasa.gov."),
         {seed},
         {},
         false,
         false,
         "Can't reach NASA SDO: Could not resolve host: sdo.gsfc.nasa.gov. Showing the built-in clip from "
         "24 Jun 2013."},
        {"mirror, unreachable, older imagery", pass("mirror.example.org", false, "Connection refused"), old,
         "mirror.example.org", false, false,
         "Can't reach mirror.example.org: Connection refused. Showing imagery from 5 Dec 2026, 3 days old."},
        {"unreachable without a reason",
         pass(direct, false),
         {},
         {},
         false,
         false,
         "Can't reach NASA SDO: no answer."},
        {"no pass yet, direct by setting",
         std::nullopt,
         {seed},
         {},
         false,
         false,
         "Nothing from NASA SDO yet. Showing the built-in clip from 24 Jun 2013."},
        {"no pass yet, mirror by setting",
         std::nullopt,
         {seed},
         "mirror.example.org",
         false,
         false,
         "Nothing from mirror.example.org yet. Showing the built-in clip from 24 Jun 2013."},
        {"downloading",
         pass(direct, false, "timeout"),
         {seed},
         {},
         false,
         true,
         "Downloading imagery from NASA SDO…"},
        {"offline",
         pass(direct, true),
         fresh,
         {},
         true,
         false,
         "Offline. Showing imagery from 8 Dec 2026, 100 minutes old."},
        {"direct, answered, but the disk is full",
         pass(direct, true, {}, "can't write to ~/.cache/Solvane: No space left on device"),
         old,
         {},
         false,
         false,
         "Can't write to ~/.cache/Solvane: No space left on device. Showing imagery from 5 Dec 2026, 3 days "
         "old."},
        {"direct, answered, cut short",
         pass(direct, true, {}, {},
              "cut short after 15 minutes, the time a pass may take: 40 of 300 images not fetched"),
         fresh,
         {},
         false,
         false,
         "The last check was cut short after 15 minutes, the time a pass may take: 40 of 300 images not "
         "fetched. Showing imagery from 8 Dec 2026, 100 minutes old."},
        {"the seed beside fresh imagery does not age it",
         pass(direct, true),
         {seed, entry(QStringLiteral("171"), QStringLiteral("2026-12-08T19:59:30Z"))},
         {},
         false,
         false,
         "Imagery from NASA SDO; the newest image is less than a minute old."},
    };
    for (const Case& c : cases) {
        SourceStatus::State state{c.pass, c.entries, c.imageryHost, c.offline, c.downloading, now};
        EXPECT_EQ(SourceStatus::line(state), c.line) << c.name;
        // A metered network that holds back new images adds a sentence, unless offline or downloading.
        state.meteredHolds = true;
        EXPECT_EQ(SourceStatus::lineWithNetwork(state),
                  c.offline || c.downloading
                      ? c.line
                      : c.line + " On a metered network: new images wait until Settings allows them.")
            << c.name;
    }
    EXPECT_EQ(SourceStatus::age(now.addSecs(-7200), now), QStringLiteral("2 hours old"));
    EXPECT_EQ(SourceStatus::age(now.addSecs(-3 * 86400 + 1), now), QStringLiteral("2 days old"));
    EXPECT_EQ(SourceStatus::age(now.addSecs(600), now), QStringLiteral("less than a minute old"));
    EXPECT_EQ(SourceStatus::sourceName(QString()), QStringLiteral("NASA SDO"));
}

class MirrorCheckRun : public CacheFixture {};

TEST_F(MirrorCheckRun, AHostIsJudgedByItsIndexVerdicts) {
    const TestCertificate certificate = TestCertificate::make(temp.path());
    ASSERT_FALSE(certificate.certificate.isEmpty());
    qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
    const QString root = temp.path() + QStringLiteral("/mirror");
    ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z"}));
    QDir().mkpath(temp.path() + QStringLiteral("/nginx"));
    NginxMirror mirror(root, certificate, temp.path() + QStringLiteral("/nginx"));
    ASSERT_TRUE(mirror.running());

    // Typed as a URL with a trailing slash: checked and saved as the plain host.
    MirrorCheck::Outcome outcome = MirrorCheck::check(QStringLiteral(" https://") + mirror.host() + "/ ");
    EXPECT_TRUE(outcome.usable) << outcome.text.toStdString();
    EXPECT_EQ(outcome.host, mirror.host());
    EXPECT_EQ(outcome.text, mirror.host() + QStringLiteral(" answers with 12 products."));
    EXPECT_TRUE(mirror.requests().join('\n').contains(QStringLiteral("GET /manifest/index.json 200")));

    // An index whose every product is refused is not worth saving.
    writeFile(root + QStringLiteral("/manifest/index.json"),
              R"({"generated":"2026-10-01T06:00:00Z","products":[{"id":"../x","video":"v/x.mp4"}]})");
    outcome = MirrorCheck::check(mirror.host());
    EXPECT_FALSE(outcome.usable);
    EXPECT_EQ(outcome.text,
              mirror.host() + QStringLiteral(" lists no usable products, 1 refused. Not saved."));

    writeFile(root + QStringLiteral("/manifest/index.json"), "<html>not json</html>");
    EXPECT_EQ(MirrorCheck::check(mirror.host()).text,
              mirror.host() + QStringLiteral(" answers, but with no imagery index. Not saved."));

    const QString nobody = QStringLiteral("127.0.0.1:%1").arg(unusedPort());
    outcome = MirrorCheck::check(nobody);
    EXPECT_FALSE(outcome.usable);
    EXPECT_TRUE(outcome.text.startsWith(QStringLiteral("Can't reach ") + nobody + QStringLiteral(": ")))
        << outcome.text.toStdString();
    EXPECT_TRUE(outcome.text.endsWith(QStringLiteral(". Not saved.")));

    EXPECT_FALSE(MirrorCheck::check(QStringLiteral("  ")).usable);
    EXPECT_FALSE(MirrorCheck::check(QStringLiteral("a host/with space")).usable);
    qunsetenv("SSL_CERT_FILE");
}
