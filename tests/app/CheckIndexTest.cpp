// --check-index end to end: the real program on files and on a loopback HTTP server.

#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CheckIndex : ::testing::Test {
    QTemporaryDir folder;

    ProcessResult check(const QByteArray& document) {
        const QString path = folder.filePath(QStringLiteral("index.json"));
        writeFile(path, document);
        return runSolvane({"--check-index", path});
    }
    QString path() const { return folder.filePath(QStringLiteral("index.json")); }
};

} // namespace

TEST_F(CheckIndex, TheContractFixtureJudgesEveryProductOk) {
    const auto result = runSolvane({"--check-index", "infra/contract/contract-v1/index.json"});
    EXPECT_EQ(result.status, 0) << result.err.constData();
    const QList<QByteArray> lines = result.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 14);
    EXPECT_EQ(lines[0], "ok rainbow v/rainbow/20261001T054000.mp4");
    EXPECT_EQ(lines[13], "ok dem v/dem/20261001T054000.mp4");
}

TEST_F(CheckIndex, VerdictsAndStatusForGoodAndBadDocuments) {
    auto result = check(
        R"({"generated":"2026-10-01T06:00:00Z","products":[{"id":"171","updated":"2026-10-01T05:40:00Z","video_v":"v/171/20261001T054000.mp4","video":"video/rhef_171_1k.mp4"}]})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "ok 171 v/171/20261001T054000.mp4\n");

    result = check(
        R"({"products":[{"id":"304","video":"video/rhef_304_1k.mp4"},{"id":"193","updated":"2026-10-01T05:40:00Z"},{"video":"x.mp4"},7]})");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(
        result.out,
        "reject 304 no updated\nreject 193 no video or video_v\nreject ? no id\nreject ? not an object\n");

    result = check(R"({"products":[]})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");

    result = check(
        R"({"products":[{"id":"171","updated":"t","video_v":""},{"id":"193","updated":"t","video":"v","frame_count":"144","integration":{"frames":1}}]})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "ok 171 \nok 193 v\n");

    result = check(
        R"({"products":[{"id":7,"updated":"t","video":"v"},{"id":"9","updated":[],"video":"v"},{"id":"8","updated":"t","video_v":{}}]})");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "reject ? no id\nreject 9 no updated\nreject 8 no video or video_v\n");

    result = check(R"({"products":[{"id":"../../etc","updated":"t","video":"v"}]})");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "reject ? unsafe id\n");
}

TEST_F(CheckIndex, WholeDocumentFailures) {
    for (const QByteArray& document : {QByteArray(R"({"generated":"2026-10-01T06:00:00Z"})"),
                                       QByteArray("<html>"), QByteArray("\xff\xfe{\"products\":[]}")}) {
        const auto result = check(document);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "reject ? no products array in " + path().toUtf8() + "\n");
    }
    const QString missing = folder.filePath(QStringLiteral("missing.json"));
    const auto result = runSolvane({"--check-index", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "reject ? cannot read " + missing.toUtf8() + "\n");
    const auto directory = runSolvane({"--check-index", folder.path()});
    EXPECT_EQ(directory.out, "reject ? cannot read " + folder.path().toUtf8() + "\n");
}

TEST_F(CheckIndex, PathologicalFilesEndQuickly) {
    QByteArray deep = "{\"products\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}";
    auto result = check(deep);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.startsWith("reject ? no products array in "));

    QByteArray big = "{\"products\":[";
    while (big.size() < 50 * 1024 * 1024)
        big += R"({"id":"171","updated":"t","video":"v"},)";
    big += "null]}";
    result = check(big);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.endsWith("ok 171 v\nreject ? not an object\n"));
}

TEST(CheckIndexOverHttp, ReadsAUrlAndTreatsNon2xxAsUnreadable) {
    {
        LoopbackHttpServer server(httpReply(200, R"({"products":[{"id":"171","updated":"t","video":"v"}]})"));
        const auto result = runSolvane({"--check-index", server.url("/manifest/index.json")});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "ok 171 v\n");
        EXPECT_EQ(server.requests(), 1);
    }
    {
        LoopbackHttpServer server(httpReply(404, R"({"products":[]})"));
        const QString url = server.url("/manifest/index.json");
        const auto result = runSolvane({"--check-index", url});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "reject ? cannot read " + url.toUtf8() + "\n");
    }
    const auto result = runSolvane({"--check-index", "https://"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "reject ? cannot read https://\n");
}

TEST_F(CheckIndex, UntrustedKeysPrintAsOneEscapedLine) {
    const auto result =
        check("{\"products\":[{\"id\":\"171\",\"updated\":\"t\",\"video\":\"v\\nok 304 forged\"},"
              "{\"id\":\"193\",\"updated\":\"t\",\"video\":\"\\u001b[2J\\r\\tx\\u0085\"}]}");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "ok 171 v\\nok 304 forged\nok 193 \\x1b[2J\\r\\tx\\x85\n");
}

TEST_F(CheckIndex, EndlessFilesStopAtTheIndexLimit) {
    // /dev/zero never ends; before the limit it was read until memory ran out.
    const auto result = runSolvane({"--check-index", "/dev/zero"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "reject ? cannot read /dev/zero\n");
    EXPECT_EQ(result.err, "solvane: check-index: cannot read /dev/zero: the file is larger than 64 MiB\n");
}
