// Faults injected by our own HTTPS server never lose data: the previous clip stays playable, the
// manifest stays valid, no temporary file is left, and the product is reported as failed.
#include "CacheFixture.h"
#include "HttpClient.h"
#include "MirrorServers.h"
#include "ResidentSize.h"

#include <QJsonObject>
#include <memory>

using namespace std::chrono_literals;

class CacheFaults : public CacheFixture {
protected:
    TestCertificate certificate;
    QString root;
    std::unique_ptr<FaultServer> server;

    void SetUp() override {
        CacheFixture::SetUp();
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
        root = temp.path() + QStringLiteral("/mirror");
        ASSERT_TRUE(
            makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--product", "171", "--product", "304"}));
        server = std::make_unique<FaultServer>(root, certificate, temp.path());
        ASSERT_TRUE(server->running());
        Settings::setImageryHost(server->host());
        Settings::setProducts({QStringLiteral("171,304")});
        // The origin is unreachable: these tests are about the mirror's answers.
        qputenv("SOLVANE_ORIGIN_HOST", QStringLiteral("127.0.0.1:%1").arg(unusedPort()).toUtf8());
        Cache::setTimeLimits(2s, 20s);
        Cache::pass(true, false, true);
        ASSERT_EQ(Cache::count(), 2);
        ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--product",
                                      "171=2026-10-01T07:00:00Z", "--product", "304"}));
    }
    void TearDown() override {
        Cache::setTimeLimits(0s, 0s);
        server.reset();
        qunsetenv("SOLVANE_ORIGIN_HOST");
        CacheFixture::TearDown();
    }

    // Runs a checking pass with `fault` on every key of 171's new clip and checks nothing was lost.
    void expectKept(const QJsonObject& fault) {
        const QByteArray clip = read(QStringLiteral("171.mp4"));
        const QByteArray etag = read(QStringLiteral("171.mp4.etag"));
        const QByteArray source = read(QStringLiteral("171.mp4.src"));
        const QByteArray stamp = read(QStringLiteral("171.stamp"));
        server->setFaults({{QStringLiteral("/v/171/20261001T070000.mp4"), fault},
                           {QStringLiteral("/video/rhef_171_1k.mp4"), fault}});
        Cache::pass(true, false, true);
        EXPECT_EQ(read(QStringLiteral("171.mp4")), clip);
        EXPECT_EQ(read(QStringLiteral("171.mp4.etag")), etag);
        EXPECT_EQ(read(QStringLiteral("171.mp4.src")), source);
        EXPECT_EQ(read(QStringLiteral("171.stamp")), stamp);
        EXPECT_EQ(manifestIDs(), (QStringList{"171", "304"}));
        EXPECT_EQ(Cache::entries()[0].updated, QStringLiteral("2026-10-01T05:40:00Z"));
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
        const auto pass = Cache::lastPass();
        ASSERT_TRUE(pass.has_value());
        EXPECT_EQ(pass->failed, QStringList{QStringLiteral("171")});
        EXPECT_EQ(pass->moved, 0);
    }
};

TEST_F(CacheFaults, WrongStatusCodes) {
    for (int code : {500, 404, 206, 403}) {
        SCOPED_TRACE(code);
        CapturedLog captured;
        expectKept({{"kind", "status"}, {"code", code}});
        EXPECT_TRUE(captured.finish().contains(
            QStringLiteral("solvane: fetch v/171/20261001T070000.mp4: HTTP %1").arg(code).toUtf8()));
    }
}

TEST_F(CacheFaults, ResetsAndTruncatedBodies) {
    expectKept({{"kind", "reset"}});
    expectKept({{"kind", "truncate"}});
}

TEST_F(CacheFaults, AnErrorPageInsteadOfAClip) {
    CapturedLog captured;
    expectKept({{"kind", "wrongbody"}});
    EXPECT_TRUE(captured.finish().contains(
        "solvane: fetch v/171/20261001T070000.mp4: the answer is not the file that was asked for"));
}

TEST_F(CacheFaults, SlowAndStalledAnswers) {
    expectKept({{"kind", "slow"}, {"delay", 4}});
    expectKept({{"kind", "stall"}, {"delay", 6}});
}

TEST_F(CacheFaults, AHugeBodyIsCutOff) {
    // The index is where a small limit applies; a clip may be large, so the index is the test.
    server->setFaults({{QStringLiteral("/manifest/index.json"), QJsonObject{{"kind", "huge"}}}});
    const QByteArray index = read(QStringLiteral("index.json"));
    CapturedLog captured;
    Cache::pass(true, false, true);
    const QString logged = QString::fromUtf8(captured.finish());
    EXPECT_TRUE(logged.contains(QStringLiteral("solvane: fetch manifest/index.json: ")))
        << logged.toStdString();
    EXPECT_EQ(read(QStringLiteral("index.json")), index);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_EQ(Cache::count(), 2);
}

TEST_F(CacheFaults, AVersionedKeyThatFailsFallsToTheFixedKey) {
    server->setFaults(
        {{QStringLiteral("/v/171/20261001T070000.mp4"), QJsonObject{{"kind", "status"}, {"code", 404}}}});
    Cache::pass(true, false, true);
    EXPECT_EQ(text(QStringLiteral("171.mp4.src")), QStringLiteral("video/rhef_171_1k.mp4"));
    EXPECT_EQ(text(QStringLiteral("171.stamp")), QStringLiteral("2026-10-01T07:00:00Z"));
    EXPECT_TRUE(Cache::lastPass()->failed.isEmpty());
}

TEST_F(CacheFaults, AStaleIndexFromTheServerGoesToTheOriginAndKeepsTheCache) {
    server->setFaults(
        {{QStringLiteral("/manifest/index.json"), QJsonObject{{"kind", "stale"}, {"age", 64801}}}});
    const QByteArray clip = read(QStringLiteral("171.mp4"));
    CapturedLog captured;
    Cache::pass(true, false, true);
    EXPECT_TRUE(captured.finish().contains(
        "solvane: imagery host has stopped updating; using the origin for this pass"));
    // The origin does not answer; the local copy of the index (just fetched) stands in.
    EXPECT_TRUE(Cache::lastPass()->usedOrigin);
    EXPECT_EQ(read(QStringLiteral("171.mp4")), clip);
    EXPECT_EQ(Cache::count(), 2);
}

TEST_F(CacheFaults, ARedirectToPlainHttpIsNotFollowed) {
    // A plain-http server holding a different index: the cache must never read it.
    LoopbackHttpServer plain(
        httpReply(200, R"({"products":[{"id":"171","updated":"x","video":"evil.mp4"}]})"));
    server->setFaults({{QStringLiteral("/manifest/index.json"),
                        QJsonObject{{"kind", "redirect"}, {"location", plain.url("/manifest/index.json")}}}});
    const QByteArray index = read(QStringLiteral("index.json"));
    CapturedLog captured;
    Cache::pass(true, false, true);
    const QString logged = QString::fromUtf8(captured.finish());
    EXPECT_EQ(plain.requests(), 0);
    EXPECT_EQ(read(QStringLiteral("index.json")), index);
    EXPECT_TRUE(logged.contains(QStringLiteral("solvane: fetch manifest/index.json: ")))
        << logged.toStdString();
    EXPECT_EQ(Cache::count(), 2);
}

TEST_F(CacheFaults, AnEndlessBodyStopsAtTheLimitWithMemoryNearIt) {
    server->setFaults({{QStringLiteral("/manifest/index.json"), QJsonObject{{"kind", "huge"}}}});
    // Resets the peak resident size, so the peak read afterwards is this transfer's.
    writeFile(QStringLiteral("/proc/self/clear_refs"), "5");
    const long before = peakKilobytes();
    QString error;
    const auto body =
        HttpClient::get(QStringLiteral("https://%1/manifest/index.json").arg(server->host()), &error);
    EXPECT_FALSE(body.has_value());
    EXPECT_EQ(error, QStringLiteral("the body is larger than 64 MiB"));
    // 64 MiB and the buffers the growth left behind; the old 1 GiB cap peaked past 2 GB.
    EXPECT_LT(peakKilobytes() - before, 400L * 1024);
}
