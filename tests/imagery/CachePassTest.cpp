// The refresh pass against nginx serving a generated mirror over HTTPS on loopback.
#include "CacheFixture.h"
#include "Catalog.h"
#include "MirrorServers.h"

#include <QJsonArray>
#include <QJsonObject>
#include <memory>

namespace {

QStringList matching(const QStringList& lines, const QString& text) {
    QStringList found;
    for (const QString& line : lines)
        if (line.contains(text)) found << line;
    return found;
}

} // namespace

class CachePass : public CacheFixture {
protected:
    TestCertificate certificate;
    QString root;
    std::unique_ptr<NginxMirror> mirror;

    void SetUp() override {
        CacheFixture::SetUp();
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
        qunsetenv("SOLVANE_ORIGIN_HOST");
        root = temp.path() + QStringLiteral("/mirror");
        ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z"}));
        QDir().mkpath(temp.path() + QStringLiteral("/nginx"));
        mirror = std::make_unique<NginxMirror>(root, certificate, temp.path() + QStringLiteral("/nginx"));
        ASSERT_TRUE(mirror->running());
        Settings::setImageryHost(mirror->host());
    }
    void TearDown() override {
        mirror.reset();
        qunsetenv("SOLVANE_ORIGIN_HOST");
        CacheFixture::TearDown();
    }
};

TEST_F(CachePass, PrimeFillsEverythingInCatalogueOrderWithSidecars) {
    std::vector<std::pair<int, int>> steps;
    CapturedLog captured;
    Cache::pass(true, true, true, [&](int done, int total) { steps.emplace_back(done, total); });
    const QString logged = QString::fromUtf8(captured.finish());
    EXPECT_TRUE(logged.contains(QStringLiteral("solvane: pass: checked, 12 clips moved, 0 products dropped")))
        << logged.toStdString();

    // Every product the mirror publishes; HMI's pictures it leaves to NASA SDO's archive (no clips are
    // made in this test program).
    QStringList catalogue;
    for (const auto& known : Catalog::all())
        if (known.id != QLatin1String("intensitygram") && known.id != QLatin1String("magnetogram"))
            catalogue << known.id;
    EXPECT_EQ(manifestIDs(), catalogue);
    EXPECT_EQ(read(QStringLiteral("171.mp4")), readFile(root + QStringLiteral("/v/171/20261001T054000.mp4")));
    EXPECT_EQ(text(QStringLiteral("171.mp4.src")), QStringLiteral("v/171/20261001T054000.mp4"));
    EXPECT_EQ(text(QStringLiteral("171.png.src")), QStringLiteral("v/171/20261001T054000.png"));
    EXPECT_FALSE(text(QStringLiteral("171.mp4.etag")).isEmpty());
    EXPECT_EQ(text(QStringLiteral("171.stamp")), QStringLiteral("2026-10-01T05:40:00Z"));
    EXPECT_EQ(text(QStringLiteral("171.png.stamp")), QStringLiteral("2026-10-01T05:40:00Z"));
    EXPECT_TRUE(exists(QStringLiteral("index.json.etag")));
    EXPECT_EQ(Cache::entries()[1].frameCount, 6);

    const auto pass = Cache::lastPass();
    ASSERT_TRUE(pass.has_value());
    EXPECT_TRUE(pass->check && pass->everything && !pass->usedOrigin);
    EXPECT_EQ(pass->host, mirror->host());
    EXPECT_EQ(pass->moved, 12);
    EXPECT_EQ(pass->listed, 12);
    EXPECT_TRUE(pass->failed.isEmpty());
    EXPECT_TRUE(Settings::lastCheck().secsTo(QDateTime::currentDateTimeUtc()) < 60);
    ASSERT_EQ(steps.size(), 13u);
    EXPECT_EQ(steps.front(), std::make_pair(0, 12));
    EXPECT_EQ(steps.back(), std::make_pair(12, 12));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CachePass, RevalidationAsksConditionallyAndFetchesOnlyNewerClips) {
    // One screen showing every product the mirror publishes: nothing to prune, nothing missing.
    Settings::setProducts({"rainbow,171,193,211,304,335,94,131,1600,1700,composite_uv,dem"});
    Cache::pass(true, true, true);
    mirror->clearRequests();
    const QByteArray lastPassBefore = read(QStringLiteral("lastpass.json"));

    // Nothing missing and not checking: no request at all, no record.
    Cache::pass(false, false, false);
    EXPECT_TRUE(mirror->requests().isEmpty()) << mirror->requests().join('\n').toStdString();
    EXPECT_EQ(read(QStringLiteral("lastpass.json")), lastPassBefore);

    // A check: the index is revalidated with its ETag and answered 304; held versioned keys are not asked.
    Cache::pass(true, true, true);
    QStringList requests = mirror->requests();
    ASSERT_EQ(requests.size(), 1) << requests.join('\n').toStdString();
    EXPECT_TRUE(requests[0].startsWith(QStringLiteral("GET /manifest/index.json 304 ")));
    EXPECT_FALSE(requests[0].endsWith(QStringLiteral(" -"))); // If-None-Match was sent

    // A newer clip of 171 appears: only it (and its still) is fetched, and stamped.
    mirror->clearRequests();
    ASSERT_TRUE(
        makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--product", "171=2026-10-01T07:00:00Z"}));
    CapturedLog captured;
    Cache::pass(true, true, true);
    EXPECT_TRUE(captured.finish().contains("solvane: pass: checked, 1 clips moved, 0 products dropped"));
    requests = mirror->requests();
    const QStringList clips = matching(requests, QStringLiteral(".mp4"));
    ASSERT_EQ(clips.size(), 1) << clips.join('\n').toStdString();
    EXPECT_TRUE(clips[0].startsWith(QStringLiteral("GET /v/171/20261001T070000.mp4 200 ")));
    EXPECT_EQ(text(QStringLiteral("171.stamp")), QStringLiteral("2026-10-01T07:00:00Z"));
    EXPECT_EQ(text(QStringLiteral("171.mp4.src")), QStringLiteral("v/171/20261001T070000.mp4"));
    EXPECT_EQ(Cache::entries()[1].updated, QStringLiteral("2026-10-01T07:00:00Z"));
}

// nginx's tags are the modification second and the size: two clips of equal size written in the same
// second share a tag, so the held tag must not be offered for a different key.
TEST_F(CachePass, ANewerClipWithTheSameTagIsStillFetched) {
    const QDateTime written = QDateTime::currentDateTimeUtc().addSecs(-60);
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/v/x")) && QDir().mkpath(Cache::dir()));
    for (const char* name : {"20261001T000000", "20261001T010000"}) {
        const QString path = root + QStringLiteral("/v/x/") + QLatin1String(name) + QStringLiteral(".mp4");
        writeFile(path, fakeClip(name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(written, QFileDevice::FileModificationTime));
    }
    const QString destination = cached(QStringLiteral("x.mp4"));
    ASSERT_EQ(Cache::fetch(QStringLiteral("v/x/20261001T000000.mp4"), destination, 1 << 20),
              Cache::Fetched::changed);
    ASSERT_EQ(Cache::fetch(QStringLiteral("v/x/20261001T010000.mp4"), destination, 1 << 20),
              Cache::Fetched::changed);
    EXPECT_EQ(read(QStringLiteral("x.mp4")), fakeClip("20261001T010000"));
    EXPECT_EQ(text(QStringLiteral("x.mp4.src")), QStringLiteral("v/x/20261001T010000.mp4"));
}

TEST_F(CachePass, TheMirrorBehindTheHeldClipIsNeverFollowedBack) {
    Cache::pass(true, true, true);
    const QByteArray held = read(QStringLiteral("304.mp4"));
    ASSERT_TRUE(
        makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--product", "304=2026-09-30T00:00:00Z"}));
    mirror->clearRequests();
    Cache::pass(true, true, true);
    EXPECT_TRUE(matching(mirror->requests(), QStringLiteral(".mp4")).isEmpty());
    EXPECT_EQ(read(QStringLiteral("304.mp4")), held);
}

TEST_F(CachePass, PruningFollowsTheScreensChoices) {
    Cache::pass(true, true, true);
    Settings::setProducts({QStringLiteral("171"), QStringLiteral("304,dem")});
    mirror->clearRequests();
    CapturedLog captured;
    Cache::pass(false, false, false);
    EXPECT_TRUE(mirror->requests().isEmpty());
    EXPECT_EQ(manifestIDs(), (QStringList{"171", "304", "dem"}));
    for (const char* name : {"rainbow.mp4", "rainbow.png", "rainbow.mp4.etag", "rainbow.mp4.src",
                             "rainbow.stamp", "rainbow.png.stamp", "rainbow.png.src", "193.mp4"})
        EXPECT_FALSE(exists(QString::fromLatin1(name))) << name;

    // A screen showing every product wants everything again: the missing ones come back.
    Settings::setProducts({QStringLiteral("171"), QString()});
    Cache::pass(false, false, false);
    EXPECT_EQ(manifestIDs().size(), 12);
    EXPECT_TRUE(
        captured.finish().contains("solvane: pass: filled missing, 9 clips moved, 0 products dropped"));
}

TEST_F(CachePass, OfflineRefreshRefusesWithoutAnyRequest) {
    Settings::setOffline(true);
    CapturedLog captured;
    Cache::refresh();
    EXPECT_TRUE(captured.finish().contains("solvane: offline or read-only, not refreshing the cache"));
    EXPECT_TRUE(mirror->requests().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(cached(QStringLiteral("lastpass.json"))));
    Settings::setOffline(false);
    Cache::setReadOnly(true);
    CapturedLog again;
    Cache::refresh();
    EXPECT_TRUE(again.finish().contains("solvane: offline or read-only, not refreshing the cache"));
    EXPECT_TRUE(mirror->requests().isEmpty());
}

TEST_F(CachePass, RefreshChecksOnlyWhenDueAndTheButtonOnlyOnceAnHour) {
    Settings::setLastCheck(QDateTime::currentDateTimeUtc());
    Cache::refresh(); // not due: fills what is missing from the host's list
    EXPECT_EQ(Cache::lastPass()->check, false);
    EXPECT_EQ(manifestIDs(), (QStringList{"rainbow", "171", "304"}));

    const auto first = Cache::refreshNow(false);
    EXPECT_FALSE(first.has_value());
    EXPECT_TRUE(Cache::lastPass()->check);
    const auto second = Cache::refreshNow(false);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(*second, Settings::lastManual().addSecs(3600));
}

TEST_F(CachePass, AStaleMirrorSendsThePassToTheOrigin) {
    QTemporaryDir originFolder;
    const QString originRoot = originFolder.path() + QStringLiteral("/tree");
    // Undated, so its index differs in size from the mirror's: nginx ETags are made of time and size.
    ASSERT_TRUE(makeMirror(originRoot, {"--updated", "2026-10-01T09:00:00Z", "--generated", "none"}));
    QDir().mkpath(originFolder.path() + QStringLiteral("/nginx"));
    NginxMirror origin(originRoot, certificate, originFolder.path() + QStringLiteral("/nginx"));
    ASSERT_TRUE(origin.running());
    qputenv("SOLVANE_ORIGIN_HOST", origin.host().toUtf8());

    const QString stale = QDateTime::currentDateTimeUtc().addSecs(-64801).toString(Qt::ISODate);
    ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--generated", stale}));
    CapturedLog captured;
    Cache::pass(true, false, true);
    const QString logged = QString::fromUtf8(captured.finish());
    EXPECT_TRUE(logged.contains(
        QStringLiteral("solvane: imagery host has stopped updating; using the origin for this pass")));
    const auto pass = Cache::lastPass();
    ASSERT_TRUE(pass.has_value());
    EXPECT_TRUE(pass->usedOrigin);
    EXPECT_EQ(pass->host, origin.host());
    EXPECT_EQ(text(QStringLiteral("171.stamp")), QStringLiteral("2026-10-01T09:00:00Z"));

    // A mirror 18 hours old exactly (give or take the test's own seconds) stays.
    const QString justInTime = QDateTime::currentDateTimeUtc().addSecs(-64800 + 30).toString(Qt::ISODate);
    ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--generated", justInTime}));
    Cache::pass(true, false, true);
    EXPECT_FALSE(Cache::lastPass()->usedOrigin);
    EXPECT_EQ(Cache::host(), mirror->host()); // the fall-back lasts one pass
}

TEST_F(CachePass, AMirrorThatDoesNotAnswerSendsThePassToTheOriginsFragments) {
    QTemporaryDir originFolder;
    const QString originRoot = originFolder.path() + QStringLiteral("/tree");
    ASSERT_TRUE(makeMirror(originRoot,
                           {"--updated", "2026-10-01T09:00:00Z", "--product", "171", "--product", "304"}));
    QFile::remove(originRoot + QStringLiteral("/manifest/index.json")); // the bucket has fragments only
    QDir().mkpath(originFolder.path() + QStringLiteral("/nginx"));
    NginxMirror origin(originRoot, certificate, originFolder.path() + QStringLiteral("/nginx"));
    ASSERT_TRUE(origin.running());
    qputenv("SOLVANE_ORIGIN_HOST", origin.host().toUtf8());
    Settings::setImageryHost(QStringLiteral("127.0.0.1:%1").arg(unusedPort()));

    CapturedLog captured;
    Cache::pass(true, false, true);
    const QString logged = QString::fromUtf8(captured.finish());
    EXPECT_TRUE(logged.contains(
        QStringLiteral("solvane: imagery host did not answer; using the origin for this pass")));
    const auto pass = Cache::lastPass();
    ASSERT_TRUE(pass.has_value());
    EXPECT_TRUE(pass->usedOrigin);
    EXPECT_EQ(pass->listed, 2);
    EXPECT_EQ(manifestIDs(), (QStringList{"171", "304"}));
}

TEST_F(CachePass, NoListAnywhereKeepsTheCache) {
    Settings::setProducts({QString()});
    Cache::pass(true, true, true);
    const QByteArray manifest = read(QStringLiteral("manifest.json"));
    QFile::remove(cached(QStringLiteral("index.json")));
    Settings::setImageryHost(QStringLiteral("127.0.0.1:%1").arg(unusedPort()));
    qputenv("SOLVANE_ORIGIN_HOST", QStringLiteral("127.0.0.1:%1").arg(unusedPort()).toUtf8());
    CapturedLog captured;
    Cache::pass(true, false, true);
    EXPECT_TRUE(captured.finish().contains("solvane: no product list from the server; keeping the cache"));
    EXPECT_EQ(read(QStringLiteral("manifest.json")), manifest);
    EXPECT_EQ(Cache::count(), 12);
    const auto pass = Cache::lastPass();
    ASSERT_TRUE(pass.has_value());
    EXPECT_EQ(pass->listed, 0);
    EXPECT_EQ(pass->moved, 0);
    EXPECT_TRUE(pass->usedOrigin);
}
