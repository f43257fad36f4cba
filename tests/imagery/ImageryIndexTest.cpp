#include "ImageryIndex.h"
#include "Cache.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

const QByteArray goodIndex =
    R"({"generated":"2026-10-01T06:00:00Z","products":[{"id":"171","updated":"2026-10-01T05:40:00Z","video_v":"v/171/20261001T054000.mp4","video":"video/rhef_171_1k.mp4"}]})";
const QByteArray badIndex =
    R"({"products":[{"id":"304","video":"video/rhef_304_1k.mp4"},{"id":"193","updated":"2026-10-01T05:40:00Z"},{"video":"x.mp4"},7]})";

QStringList verdictsOf(const QJsonArray& products) {
    const QByteArray bytes = QJsonDocument(QJsonObject{{"products", products}}).toJson();
    return Cache::indexVerdicts(bytes).value_or(QStringList{QStringLiteral("<no list>")});
}

QJsonObject entry(std::initializer_list<QPair<QString, QJsonValue>> extra) {
    QJsonObject object{
        {"id", "171"}, {"updated", "2026-10-01T05:40:00Z"}, {"video", "video/rhef_171_1k.mp4"}};
    for (const auto& [key, value] : extra)
        object.insert(key, value);
    return object;
}

} // namespace

TEST(IndexVerdicts, SamplesGiveExactlyTheirVerdicts) {
    EXPECT_EQ(goodIndex.size(), 165);
    EXPECT_EQ(badIndex.size(), 125);
    EXPECT_EQ(Cache::indexVerdicts(goodIndex), QStringList{"ok 171 v/171/20261001T054000.mp4"});
    EXPECT_EQ(Cache::indexVerdicts(badIndex),
              (QStringList{"reject 304 no updated", "reject 193 no video or video_v", "reject ? no id",
                           "reject ? not an object"}));
    const auto bad = ImageryIndex::parse(badIndex);
    ASSERT_TRUE(bad);
    EXPECT_TRUE(bad->products.empty());
}

TEST(IndexVerdicts, DocumentsWithoutAProductsArrayFailWhole) {
    for (const QByteArray& bytes :
         {QByteArray(R"({"generated":"2026-10-01T06:00:00Z"})"), QByteArray("not json"), QByteArray("[1,2]"),
          QByteArray(R"({"products":{"id":"171"}})"), QByteArray(""), QByteArray("\"products\"")})
        EXPECT_FALSE(Cache::indexVerdicts(bytes).has_value()) << bytes.constData();
    EXPECT_FALSE(Cache::indexVerdicts(std::nullopt).has_value());
    EXPECT_EQ(Cache::indexVerdicts(QByteArray(R"({"products":[]})")), QStringList{});
}

TEST(IndexVerdicts, StepOrderDecidesTheReason) {
    EXPECT_EQ(verdictsOf({QJsonObject{{"label", "x"}}}), QStringList{"reject ? no id"});
    EXPECT_EQ(verdictsOf({QJsonObject{{"id", "9"}}}), QStringList{"reject 9 no updated"});
    // Wrong types for the required keys count as missing.
    EXPECT_EQ(verdictsOf({QJsonObject{{"id", 171}, {"updated", "t"}, {"video", "v"}}}),
              QStringList{"reject ? no id"});
    EXPECT_EQ(verdictsOf({QJsonObject{{"id", QJsonValue::Null}}}), QStringList{"reject ? no id"});
    EXPECT_EQ(verdictsOf({QJsonObject{{"id", "171"}, {"updated", 5}, {"video", "v"}}}),
              QStringList{"reject 171 no updated"});
    EXPECT_EQ(verdictsOf({QJsonObject{{"id", "171"}, {"updated", "t"}, {"video_v", 3}}}),
              QStringList{"reject 171 no video or video_v"});
    EXPECT_EQ(verdictsOf({QJsonArray{}, QJsonValue("x"), QJsonValue::Null, true}),
              QStringList(4, "reject ? not an object"));
}

TEST(IndexVerdicts, EmptyVideoKeyCountsAsPresent) {
    EXPECT_EQ(verdictsOf({entry({{"video_v", ""}})}), QStringList{"ok 171 "});
    EXPECT_EQ(verdictsOf({QJsonObject{{"id", "171"}, {"updated", "t"}, {"video", ""}}}),
              QStringList{"ok 171 "});
}

TEST(IndexVerdicts, UnsafeIdsAreRejectedBeforeTheUpdatedCheck) {
    for (const QString& id : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
                              QStringLiteral("../etc"), QStringLiteral("x\ny"), QString(QChar(0)) + "x",
                              QStringLiteral("tab\there"), QString(QChar(0x7f))}) {
        EXPECT_EQ(verdictsOf({QJsonObject{{"id", id}}}), QStringList{"reject ? unsafe id"})
            << id.toStdString();
    }
    EXPECT_EQ(verdictsOf({entry({{"id", "composite_uv"}})}),
              QStringList{"ok composite_uv video/rhef_171_1k.mp4"});
    EXPECT_EQ(verdictsOf({entry({{"id", "..."}})}), QStringList{"ok ... video/rhef_171_1k.mp4"});
}

TEST(ImageryIndex, OptionalKeysOfTheWrongTypeAreAbsent) {
    const QJsonArray products{
        entry({{"frame_count", "144"}, {"integration", QJsonObject{{"frames", 3}}}, {"label", 5}}),
        entry({{"id", "193"},
               {"frame_count", 144},
               {"integration", QJsonObject{{"frames", 3}, {"method", "mean"}}}}),
        entry({{"id", "304"},
               {"frame_count", 14.5},
               {"integration", "mean"},
               {"still_v", "v/304/a.jpg"},
               {"img1k", "img/304.jpg"}})};
    const QByteArray bytes = QJsonDocument(QJsonObject{{"generated", 7},
                                                       {"mirrored", "m"},
                                                       {"failed", QJsonArray{"94", 3, "131"}},
                                                       {"products", products},
                                                       {"extra", "ignored"}})
                                 .toJson();
    CapturedLog captured;
    const auto index = ImageryIndex::decode(bytes);
    EXPECT_EQ(captured.finish(), QByteArray()); // nothing rejected, nothing logged
    ASSERT_TRUE(index);
    EXPECT_FALSE(index->generated);
    EXPECT_EQ(index->mirrored, QStringLiteral("m"));
    EXPECT_EQ(index->failed, (QStringList{"94", "131"}));
    ASSERT_EQ(index->products.size(), 3u);
    EXPECT_FALSE(index->products[0].frameCount);
    EXPECT_FALSE(index->products[0].integration);
    EXPECT_FALSE(index->products[0].label);
    EXPECT_EQ(index->products[1].frameCount, 144);
    EXPECT_EQ(index->products[1].integration, (Integration{3, "mean"}));
    EXPECT_FALSE(index->products[2].frameCount);
    EXPECT_EQ(index->products[2].stills(), (QStringList{"v/304/a.jpg", "img/304.jpg"}));
    EXPECT_EQ(index->products[2].videos(), QStringList{"video/rhef_171_1k.mp4"});
}

TEST(ImageryIndex, DecodeLogsFailuresAndRejections) {
    {
        CapturedLog captured;
        EXPECT_FALSE(ImageryIndex::decode("{}"));
        EXPECT_EQ(captured.finish(),
                  QByteArray("solvane: index unreadable: the document has no products array\n"));
    }
    {
        CapturedLog captured;
        const auto index = ImageryIndex::decode(badIndex);
        ASSERT_TRUE(index);
        EXPECT_EQ(captured.finish(),
                  QByteArray("solvane: index: reject 304 no updated; reject 193 no video or "
                             "video_v; reject ? no id; reject ? not an object\n"));
    }
}

TEST(RemoteProductFragment, DecodesOrLogsWhy) {
    CapturedLog captured;
    const auto product = RemoteProduct::decode(R"({"id":"171","updated":"t","video_v":"v/171/1.mp4"})");
    ASSERT_TRUE(product);
    EXPECT_EQ(product->videos(), QStringList{"v/171/1.mp4"});
    EXPECT_FALSE(RemoteProduct::decode(R"({"id":"171","video":"v"})"));
    EXPECT_FALSE(RemoteProduct::decode(R"({"id":"../x","updated":"t","video":"v"})"));
    EXPECT_FALSE(RemoteProduct::decode("[]"));
    const QList<QByteArray> lines = captured.finish().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "solvane: fragment rejected: 171 no updated");
    EXPECT_EQ(lines[1], "solvane: fragment rejected: ? unsafe id");
    EXPECT_TRUE(lines[2].startsWith("solvane: fragment unreadable: "));
}

TEST(RemoteProductFragment, RoundTripsThroughJson) {
    RemoteProduct product;
    product.id = "171";
    product.updated = "2026-10-01T05:40:00Z";
    product.videoV = "v/171/20261001T054000.mp4";
    product.stillV = "v/171/20261001T054000.jpg";
    product.frameCount = 144;
    product.integration = Integration{2, "sum"};
    EXPECT_EQ(RemoteProduct::decode(QJsonDocument(product.toJson()).toJson()), product);
}

TEST(IndexVerdicts, PathologicalInputEndsCleanly) {
    // Nesting far past any sane depth: refused by the parser, never a stack overflow.
    QByteArray deep = "{\"products\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}";
    EXPECT_FALSE(Cache::indexVerdicts(deep).has_value());
    // Invalid UTF-8 inside a string.
    EXPECT_FALSE(Cache::indexVerdicts(QByteArray("{\"products\":[{\"id\":\"\xff\xfe\"}]}")).has_value());
    // A large document with many elements, good and bad.
    QByteArray big = "{\"products\":[";
    const QByteArray element =
        R"({"id":"171","updated":"t","video":"v","thumb":")" + QByteArray(400, 'x') + "\"},";
    while (big.size() < 50 * 1024 * 1024)
        big += element;
    big += "7]}";
    const auto verdicts = Cache::indexVerdicts(big);
    ASSERT_TRUE(verdicts);
    EXPECT_EQ(verdicts->last(), QStringLiteral("reject ? not an object"));
    EXPECT_EQ(verdicts->first(), QStringLiteral("ok 171 v"));
}

TEST(ImageryIndex, ANumberTooLargeForADoubleIsAbsentNotFatal) {
    const auto index = ImageryIndex::parse(
        R"({"generated":"t","products":[{"id":"171","updated":"t","video":"v","frame_count":1e400},)"
        R"({"id":"304","updated":"t","video":"w","frame_count":-1E+999,"label":"1e400 stays text"},)"
        R"({"id":"193","updated":"t","video":"x","frame_count":144,"integration":{"frames":2e308,"method":"m"}}]})");
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(index->verdicts, (QStringList{"ok 171 v", "ok 304 w", "ok 193 x"}));
    ASSERT_EQ(index->products.size(), 3u);
    EXPECT_EQ(index->products[0].frameCount, std::nullopt);
    EXPECT_EQ(index->products[1].label, QStringLiteral("1e400 stays text"));
    EXPECT_EQ(index->products[2].frameCount, 144);
    EXPECT_EQ(index->products[2].integration, std::nullopt);
    // A number that is simply malformed still fails the document.
    EXPECT_FALSE(ImageryIndex::parse(R"({"products":[{"id":"171","frame_count":1e}]})"));
}
