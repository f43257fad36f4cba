#include "Share.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QByteArray plainPNG(QSize size = QSize(4, 3)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return bytes;
}

QByteArray bigEndian(quint32 value) {
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char(value >> shift));
    return bytes;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    return bigEndian(quint32(data.size())) + type + data + bigEndian(Share::crc32(type + data));
}

const QByteArray signature("\x89PNG\r\n\x1a\n", 8);

Provenance sample() {
    const QDateTime frame(QDate(2026, 12, 7), QTime(20, 40), QTimeZone::utc());
    return Provenance::make(QStringLiteral("171"), QStringLiteral("AIA 171 \u00C5 \u2014 corona"), 144,
                            std::nullopt, frame, 144, GlossaryMap{});
}

// The chunk types of a PNG in file order.
QStringList chunkTypes(const QByteArray& png) {
    QStringList types;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = (quint32(quint8(png[at])) << 24) | (quint32(quint8(png[at + 1])) << 16) |
                               (quint32(quint8(png[at + 2])) << 8) | quint32(quint8(png[at + 3]));
        types << QString::fromLatin1(png.mid(at + 4, 4));
        at += 12 + qsizetype(length);
    }
    return types;
}

// The keywords of the text chunks in file order.
QStringList textKeywords(const QByteArray& png) {
    QStringList keywords;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = (quint32(quint8(png[at])) << 24) | (quint32(quint8(png[at + 1])) << 16) |
                               (quint32(quint8(png[at + 2])) << 8) | quint32(quint8(png[at + 3]));
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "tEXt" || type == "iTXt" || type == "zTXt") {
            const QByteArray data = png.mid(at + 8, qsizetype(length));
            keywords << QString::fromLatin1(data.left(data.indexOf('\0')));
        }
        at += 12 + qsizetype(length);
    }
    return keywords;
}

TEST(ShareCrc, KnownValues) {
    EXPECT_EQ(Share::crc32(QByteArray("IEND")), 0xAE426082u);
    EXPECT_EQ(Share::crc32(QByteArray()), 0u);
    EXPECT_EQ(Share::crc32(QByteArray("123456789")), 0xCBF43926u); // the standard check value
    // Every byte value through the bit loop: the IHDR of any encoder's PNG carries a CRC we must match.
    const QByteArray png = plainPNG();
    EXPECT_EQ(bigEndian(Share::crc32(png.mid(12, 17))), png.mid(29, 4));
}

TEST(ShareChunks, RefusesWhatIsNoPNG) {
    const QByteArray png = plainPNG();
    EXPECT_FALSE(Share::addTextChunk(png.left(19), QStringLiteral("k"), QStringLiteral("v")));
    QByteArray unsigned_ = png;
    unsigned_[1] = 'X';
    EXPECT_FALSE(Share::addTextChunk(unsigned_, QStringLiteral("k"), QStringLiteral("v")));
    const QByteArray notEnding = png + chunk("tEXt", "a\0b");
    EXPECT_FALSE(Share::addTextChunk(notEnding, QStringLiteral("k"), QStringLiteral("v")));
    // A keyword a PNG cannot hold would make a broken file.
    EXPECT_FALSE(Share::addTextChunk(png, QString(), QStringLiteral("v")));
    EXPECT_FALSE(Share::addTextChunk(png, QString(80, QLatin1Char('k')), QStringLiteral("v")));
}

TEST(ShareChunks, AddedChunkReadsBackAndThePNGStillDecodes) {
    const QByteArray png = plainPNG();
    const QString text = QStringLiteral("{\"a\": \"\u00C5ngstr\u00F6m \u2014 \u2600\"}\nsecond line");
    const auto tagged = Share::addTextChunk(png, QStringLiteral("Orvelle-Provenance"), text);
    ASSERT_TRUE(tagged);
    const QByteArray data = "Orvelle-Provenance" + QByteArray(5, '\0') + text.toUtf8();
    EXPECT_EQ(*tagged, png.left(png.size() - 12) + chunk("iTXt", data) + png.right(12));
    EXPECT_EQ(Share::textChunks(*tagged).at(QStringLiteral("Orvelle-Provenance")), text);
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(*tagged, "png"));
    EXPECT_EQ(decoded.size(), QSize(4, 3));
}

TEST(ShareChunks, ReadsTextAndInternationalChunks) {
    QByteArray png = signature + chunk("IHDR", QByteArray(13, '\0'));
    png += chunk("tEXt", QByteArray("Title\0first", 11));
    png += chunk("iTXt", QByteArray("Note\0\0\0en\0Notiz\0caf\xc3\xa9", 21));
    png += chunk("tEXt", QByteArray("Broken\0a\xff", 9));
    png += chunk("tEXt", QByteArray("Title\0second", 12));
    png += chunk("zTXt", QByteArray("Packed\0\0xx", 10));
    const auto texts = Share::textChunks(png + chunk("IEND", {}));
    EXPECT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts.at(QStringLiteral("Title")), QStringLiteral("second"));
    EXPECT_EQ(texts.at(QStringLiteral("Note")), QStringLiteral("caf\u00E9"));
    EXPECT_EQ(texts.at(QStringLiteral("Broken")), QStringLiteral("a\uFFFD"));
}

TEST(ShareChunks, StopsAtTheLastWholeChunk) {
    QByteArray png = signature + chunk("tEXt", QByteArray("One\0x", 5));
    const QByteArray second = chunk("tEXt", QByteArray("Two\0y", 5));
    png += second.left(second.size() - 1);
    const auto texts = Share::textChunks(png);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts.count(QStringLiteral("One")), 1u);
    // A length that runs past the end stops the walk too.
    EXPECT_TRUE(Share::textChunks(signature + bigEndian(0xFFFFFFF0u) + "tEXt" + QByteArray(8, 'a')).empty());
    EXPECT_TRUE(Share::textChunks(QByteArray("\x89PN", 4)).empty());
    EXPECT_TRUE(Share::textChunks(QByteArray(40, 'x')).empty());
}

TEST(SharePng, CarriesTitleDescriptionSoftwareThenTheRecord) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    const Provenance provenance = sample();
    const auto png = Share::png(image, provenance);
    ASSERT_TRUE(png);

    const QStringList types = chunkTypes(*png);
    ASSERT_GE(types.size(), 7);
    EXPECT_EQ(types.mid(types.size() - 2), QStringList({"iTXt", "IEND"}));
    // The descriptive properties come ahead of the image data.
    const qsizetype data = types.indexOf(QStringLiteral("IDAT"));
    ASSERT_GE(data, 4);
    EXPECT_EQ(types.mid(data - 3, 3), QStringList({"iTXt", "iTXt", "iTXt"}));
    const QStringList keywords = textKeywords(*png);
    EXPECT_EQ(keywords, QStringList({"Title", "Description", "Software", "Orvelle-Provenance"}));
    const auto texts = Share::textChunks(*png);
    EXPECT_EQ(texts.at(QStringLiteral("Title")), provenance.fileStem());
    EXPECT_EQ(texts.at(QStringLiteral("Description")), provenance.text());
    EXPECT_EQ(texts.at(QStringLiteral("Software")), QStringLiteral("Solvane"));
    EXPECT_EQ(texts.at(QStringLiteral("Orvelle-Provenance")), provenance.recordJSON(Share::appVersion()));
    EXPECT_EQ(Share::pngDescription(*png), provenance.text());

    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(*png, "png"));
    EXPECT_EQ(decoded.text(QStringLiteral("Title")), provenance.fileStem());
    EXPECT_EQ(decoded.text(QStringLiteral("Software")), QStringLiteral("Solvane"));
    EXPECT_EQ(decoded.text(QStringLiteral("Description")).split(QLatin1Char('\n')).size(), 8);
    EXPECT_EQ(decoded.pixelColor(3, 3), QColor(Qt::darkYellow));
    const auto record = QJsonDocument::fromJson(texts.at(QStringLiteral("Orvelle-Provenance")).toUtf8());
    EXPECT_EQ(record.object().value(QStringLiteral("version")).toString(), Share::appVersion());
}

// A frame saved while flare marks were on its timeline names the X-ray data after the eight lines; the
// machine-readable record stays as it was.
TEST(SharePng, AFrameShownWithFlareMarksNamesItsXrayData) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::black);
    Provenance marked = sample();
    marked.xraySatellite = 16;
    const auto png = Share::png(image, marked);
    ASSERT_TRUE(png);
    const QStringList lines = Share::pngDescription(*png).value_or(QString()).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), Provenance::lineCount + 1);
    EXPECT_EQ(lines.last(), QStringLiteral("X-ray data: NOAA SWPC (GOES-16)"));
    EXPECT_EQ(Share::textChunks(*png).at(QStringLiteral("Orvelle-Provenance")),
              sample().recordJSON(Share::appVersion()));
}

TEST(SharePng, ExternalCheckerAcceptsIt) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    const auto png = Share::png(image, sample());
    ASSERT_TRUE(png);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("frame.png"));
    writeFile(path, *png);
    const ProcessResult check = runProgram(QStringLiteral("pngcheck"), {QStringLiteral("-t"), path});
    EXPECT_EQ(check.status, 0) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains("Orvelle-Provenance")) << check.out.toStdString();
}

TEST(SharePng, EncodingFailureIsLogged) {
    CapturedLog captured;
    EXPECT_FALSE(Share::png(QImage(), sample()));
    EXPECT_EQ(captured.finish(), QByteArray("solvane: save frame: PNG encoding failed\n"));
    EXPECT_FALSE(Share::pngDescription(plainPNG()));
}

TEST(ShareNames, SidecarAndMetadata) {
    EXPECT_EQ(Share::sidecarName(QStringLiteral("Solvane 171 2026-12-07 2040 UTC")),
              QStringLiteral("Solvane 171 2026-12-07 2040 UTC.provenance.json"));
    EXPECT_EQ(Share::sidecarName(QStringLiteral("a/b/c")), QStringLiteral("a-b-c.provenance.json"));

    const Provenance provenance = sample();
    const auto items = Share::clipMetadata(provenance);
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0], (Share::MetadataItem{QStringLiteral("title"), provenance.fileStem()}));
    EXPECT_EQ(items[1],
              (Share::MetadataItem{QStringLiteral("description"), QString::fromUtf8(Provenance::credit)}));
    EXPECT_EQ(items[2], (Share::MetadataItem{QStringLiteral("subject"), provenance.text()}));
    EXPECT_EQ(items[3], (Share::MetadataItem{QStringLiteral("software"), QStringLiteral("Solvane")}));
    for (const auto& item : items)
        EXPECT_EQ(item.extendedLanguageTag, QStringLiteral("und"));
}

} // namespace
