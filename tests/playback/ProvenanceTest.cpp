#include "Provenance.h"
#include "Catalog.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

GlossaryMap aia171() {
    return {{"171", GlossaryEntry{"AIA", QString::fromUtf8("171 \u00C5"), "Fe IX", "5.8", "RHEF", "NASA/SDO",
                                  "AIA science team"}}};
}

const QDateTime frameTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());

} // namespace

TEST(Glossary, DecodesEveryField) {
    const QByteArray json = R"({"products":{"171":{"instrument":"AIA","channel":"171 Å","ions":"Fe IX",
        "logT":"5.8","processing":"p","source":"s","processingSource":"ps"}}})";
    const GlossaryMap map = Glossary::decode(json);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at("171"),
              (GlossaryEntry{"AIA", QString::fromUtf8("171 \u00C5"), "Fe IX", "5.8", "p", "s", "ps"}));
}

TEST(Glossary, UnreadableIsEmptyWithALogLine) {
    for (const QByteArray& bad :
         {QByteArray("{nope"), QByteArray(R"({"products":[]})"),
          QByteArray(R"({"products":{"171":{"instrument":"AIA"}}})"), QByteArray("[]")}) {
        CapturedLog captured;
        EXPECT_TRUE(Glossary::decode(bad).empty());
        EXPECT_TRUE(captured.finish().startsWith("solvane: glossary unreadable: ")) << bad.constData();
    }
}

TEST(Glossary, MissingFileSaysSo) {
    CapturedLog captured;
    EXPECT_TRUE(Glossary::load("/nonexistent/glossary.json").empty());
    EXPECT_EQ(captured.finish(),
              QByteArray("solvane: no glossary in the bundle; provenance reads unknown\n"));
}

TEST(Glossary, TheCarriedGlossaryCoversTheCatalogue) {
    const GlossaryMap& bundled = Glossary::bundled();
    EXPECT_EQ(bundled.size(), Catalog::all().size());
    for (const auto& product : Catalog::all()) {
        ASSERT_TRUE(bundled.count(product.id)) << product.id.toStdString();
        const GlossaryEntry& entry = bundled.at(product.id);
        for (const QString& field : {entry.instrument, entry.channel, entry.ions, entry.logT,
                                     entry.processing, entry.source, entry.processingSource})
            EXPECT_FALSE(field.isEmpty() || field == "unknown") << product.id.toStdString();
    }
    EXPECT_EQ(bundled.at("131").ions, QStringLiteral("Fe VIII, Fe XXI"));
    EXPECT_EQ(bundled.at("131").logT, QStringLiteral("5.6 and 7.0"));
    EXPECT_EQ(bundled.at("1700").logT, QStringLiteral("3.7"));
}

TEST(Provenance, TheEightLines) {
    const auto p =
        Provenance::make("171", "AIA 171 Å", 140, Integration{4, "mean"}, frameTime, 144, aia171());
    const QStringList lines = p.lines();
    ASSERT_EQ(lines.size(), Provenance::lineCount);
    EXPECT_EQ(lines[0], QStringLiteral("AIA 171 Å"));
    EXPECT_EQ(lines[1], QString::fromUtf8(
                            "AIA  \u00B7  171 \u00C5  \u00B7  ions Fe IX  \u00B7  characteristic log T 5.8"));
    EXPECT_EQ(lines[2], QStringLiteral("Frame JAN 2  03:04 UTC"));
    EXPECT_EQ(lines[3],
              QStringLiteral("140 of 144 frames are new observations; the rest hold the one before"));
    EXPECT_EQ(lines[4], QStringLiteral("Each frame combines 4 observations (mean)"));
    EXPECT_EQ(lines[5], QStringLiteral("Processing: RHEF"));
    EXPECT_EQ(lines[6], "Imagery: NASA/SDO, via " + Provenance::makerDomain() +
                            "  \u00B7  Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams");
    EXPECT_FALSE(p.text().contains(".example")) << "no placeholder host reaches a saved frame";
    EXPECT_EQ(lines[7], QStringLiteral("A visualization, not a calibrated radiance."));
    EXPECT_EQ(p.text(), lines.join('\n'));
}

TEST(Provenance, UnknownsSayUnknown) {
    const auto p = Provenance::make("999", "Mystery", 150, std::nullopt, std::nullopt, 144, aia171());
    EXPECT_EQ(p.entry, GlossaryEntry::unknown());
    const QStringList lines = p.lines();
    EXPECT_EQ(lines[1],
              QString::fromUtf8(
                  "unknown  \u00B7  unknown  \u00B7  ions unknown  \u00B7  characteristic log T unknown"));
    EXPECT_EQ(lines[2], QStringLiteral("Frame time unknown"));
    EXPECT_EQ(lines[3], QStringLiteral("New observations in this clip: unknown")); // 150 > 144
    EXPECT_EQ(lines[4], QStringLiteral("Observations per frame: unknown"));
    EXPECT_EQ(p.record("1.0").at("instrument"), QStringLiteral("unknown"));

    const auto noSlots =
        Provenance::make("171", "x", 140, std::nullopt, std::nullopt, std::nullopt, aia171());
    EXPECT_EQ(noSlots.lines()[3], QStringLiteral("New observations in this clip: unknown"));
    const auto empty = Provenance::make("171", "x", 1, std::nullopt, std::nullopt, 1, {});
    EXPECT_EQ(empty.entry, GlossaryEntry::unknown());
}

// The first line is the product's one name (the chooser's and the caption's), with where it was made when
// the cached label says so; a clip of one image says so.
TEST(Provenance, OneNameWithWhereItWasMade) {
    const std::pair<std::pair<const char*, const char*>, const char*> headings[] = {
        {{"rainbow", "Rainbow (made here from NASA SDO images)"}, "Rainbow, made here from NASA SDO images"},
        {{"rainbow", "Rainbow (RHEF composite)"}, "Rainbow, RHEF composite"},
        {{"composite_uv", "Composite 1700/1600/304 (made here from NASA SDO images)"},
         "Composite (1700/1600/304), made here from NASA SDO images"},
        {{"171", "AIA 171 Å"}, "AIA 171 Å"},
        {{"999", "Mystery"}, "Mystery"},
        {{"999", ""}, "999"},
    };
    for (const auto& [product, heading] : headings) {
        const auto p = Provenance::make(product.first, QString::fromUtf8(product.second), 1, std::nullopt,
                                        std::nullopt, 144, aia171());
        EXPECT_EQ(p.lines()[0], QString::fromUtf8(heading));
        EXPECT_EQ(p.lines()[3], QStringLiteral("1 image so far"));
    }
}

TEST(Provenance, RecordHasSevenKeys) {
    const auto p = Provenance::make("171", "AIA 171 Å", 140, std::nullopt, frameTime, 144, aia171());
    const auto record = p.record("0.1.0");
    ASSERT_EQ(record.size(), 7u);
    EXPECT_EQ(record.at("product"), QStringLiteral("solvane"));
    EXPECT_EQ(record.at("version"), QStringLiteral("0.1.0"));
    EXPECT_EQ(record.at("instrument"), QStringLiteral("AIA 171"));
    EXPECT_EQ(record.at("observed"), QStringLiteral("2026-01-02T03:04:05Z"));
    EXPECT_EQ(record.at("credit"),
              QStringLiteral("Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams"));
    EXPECT_EQ(record.at("rhef"), std::nullopt);
    EXPECT_EQ(record.at("citation"), std::nullopt);

    EXPECT_EQ(
        p.recordJSON("0.1.0"),
        QStringLiteral(
            "{\"citation\":null,\"credit\":\"Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams\","
            "\"instrument\":\"AIA 171\",\"observed\":\"2026-01-02T03:04:05Z\",\"product\":\"solvane\","
            "\"rhef\":null,\"version\":\"0.1.0\"}"));
    const auto undated =
        Provenance::make("171", "x", std::nullopt, std::nullopt, std::nullopt, 144, aia171());
    EXPECT_TRUE(
        QJsonDocument::fromJson(undated.recordJSON("1").toUtf8()).object().value("observed").isNull());
}

TEST(Provenance, RecordInstrumentRules) {
    GlossaryMap glossary{{"x", GlossaryEntry::unknown()}};
    glossary["x"].instrument = "AIA";
    auto p = Provenance::make("x", "x", std::nullopt, std::nullopt, std::nullopt, std::nullopt, glossary);
    EXPECT_EQ(p.record("1").at("instrument"), QStringLiteral("AIA")); // channel unknown: the instrument alone
    glossary["x"].channel = "rainbow composite";
    p = Provenance::make("x", "x", std::nullopt, std::nullopt, std::nullopt, std::nullopt, glossary);
    EXPECT_EQ(p.record("1").at("instrument"), QStringLiteral("AIA rainbow composite"));
}

TEST(Provenance, FileStem) {
    const QDateTime denverFrame = frameTime.toTimeZone(QTimeZone("America/Denver"));
    EXPECT_EQ(Provenance::make("171", "x", {}, {}, denverFrame, {}, {}).fileStem(),
              QStringLiteral("Solvane 171 2026-01-02 0304 UTC"));
    EXPECT_EQ(Provenance::make("171", "x", {}, {}, std::nullopt, {}, {}).fileStem(),
              QStringLiteral("Solvane 171"));
}
