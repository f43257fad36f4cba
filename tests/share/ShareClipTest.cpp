#include "../media/IndexClip.h"
#include "Cache.h"
#include "Share.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimeZone>
#include <future>
#include <gtest/gtest.h>

namespace {

Provenance sample() {
    const QDateTime frame(QDate(2026, 12, 7), QTime(20, 40), QTimeZone::utc());
    return Provenance::make(QStringLiteral("171"), QStringLiteral("AIA 171"), 144, std::nullopt, frame, 144,
                            GlossaryMap{});
}

class ShareClips : public IndexClipSuite {};

TEST_F(ShareClips, FramePNGHoldsTheExactFrame) {
    for (int slot : {0, 71, 143}) {
        const auto png = Share::framePNG(*clip, (slot + 0.5) / 18.0, sample());
        ASSERT_TRUE(png);
        QImage image;
        ASSERT_TRUE(image.loadFromData(*png, "png"));
        EXPECT_EQ(frameIndex(image), slot);
        EXPECT_EQ(Share::textChunks(*png).count(QStringLiteral("Orvelle-Provenance")), 1u);
    }
}

TEST_F(ShareClips, FramePNGOfAMissingClipSaysWhy) {
    CapturedLog captured;
    EXPECT_FALSE(Share::framePNG(folder->filePath(QStringLiteral("gone.mp4")), 1.0, sample()));
    const QByteArray said = captured.finish();
    EXPECT_TRUE(said.startsWith("solvane: save frame: ")) << said.toStdString();
    EXPECT_TRUE(said.contains("gone.mp4")) << said.toStdString();
}

struct Probe {
    QString codec;
    QStringList hashes;
    std::map<QString, QString> tags;
};

Probe probe(const QString& path) {
    Probe result;
    result.codec =
        QString::fromUtf8(runTool(QStringLiteral("ffprobe"),
                                  {QStringLiteral("-v"), QStringLiteral("error"),
                                   QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                                   QStringLiteral("-show_entries"), QStringLiteral("stream=codec_name"),
                                   QStringLiteral("-of"), QStringLiteral("csv=p=0"), path}))
            .trimmed();
    const QString packets = QString::fromUtf8(
        runTool(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_packets"),
                 QStringLiteral("-show_data_hash"), QStringLiteral("md5"), path}));
    for (const QString& line : packets.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("data_hash="))) result.hashes << line;
    const QString tags = QString::fromUtf8(
        runTool(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"),
                                            QStringLiteral("-show_entries"), QStringLiteral("format_tags"),
                                            QStringLiteral("-of"), QStringLiteral("default=nw=1"), path}));
    for (const QString& line : tags.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("TAG:"))) continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        result.tags[line.mid(4, equals - 4)] = line.mid(equals + 1);
    }
    return result;
}

bool exportAndWait(const QString& source, const QString& destination, const Provenance& provenance) {
    std::promise<bool> outcome;
    Share::exportClip(source, destination, provenance, [&](bool done) { outcome.set_value(done); });
    return outcome.get_future().get();
}

TEST_F(ShareClips, ExportCopiesEveryPacketAndAddsTheMetadata) {
    const QString out = folder->filePath(QStringLiteral("export.mp4"));
    writeFile(out, "an older file in the way");
    const Provenance provenance = sample();
    ASSERT_TRUE(exportAndWait(*clip, out, provenance));

    const Probe source = probe(*clip);
    Probe copy = probe(out);
    EXPECT_EQ(copy.codec, QStringLiteral("h264"));
    EXPECT_EQ(copy.codec, source.codec);
    EXPECT_EQ(copy.hashes.size(), 144);
    EXPECT_EQ(copy.hashes, source.hashes); // stream copy: not one packet re-encoded
    EXPECT_EQ(copy.tags["title"], provenance.fileStem());
    EXPECT_EQ(copy.tags["description"], QString::fromUtf8(Provenance::credit));
    EXPECT_EQ(copy.tags["software"], QStringLiteral("Solvane"));
    // ffprobe prints a multi-line value's first line on the tag's own line.
    EXPECT_EQ(copy.tags["subject"], provenance.lines().first());
    // No half-written temporaries left beside it.
    EXPECT_EQ(
        QDir(folder->path()).entryList({QStringLiteral(".export.mp4*")}, QDir::Files | QDir::Hidden).size(),
        0);
}

TEST_F(ShareClips, ExportFailuresAreReportedAndKeepTheOldFile) {
    CapturedLog captured;
    const QString out = folder->filePath(QStringLiteral("kept.mp4"));
    writeFile(out, "keep me");
    EXPECT_FALSE(exportAndWait(folder->filePath(QStringLiteral("nothing.mp4")), out, sample()));
    EXPECT_EQ(readFile(out), QByteArray("keep me"));
    EXPECT_FALSE(exportAndWait(*clip, folder->filePath(QStringLiteral("no/such/folder/out.mp4")), sample()));
    const QByteArray said = captured.finish();
    EXPECT_TRUE(said.startsWith("solvane: export clip: no export session\nsolvane: export clip: "))
        << said.toStdString();
}

// A cache folder with a manifest of the given entries, whose clips are copies of test clips.
class ShareNewest : public ShareClips {
protected:
    void SetUp() override {
        cacheFolder = std::make_unique<QTemporaryDir>();
        Cache::setDir(cacheFolder->path());
    }
    void cache(const QString& id, const QString& sourceClip,
               const QString& updated = QStringLiteral("2026-12-07T20:40:00Z")) {
        ASSERT_TRUE(QFile::copy(sourceClip, Cache::file(id + QStringLiteral(".mp4"))));
        QJsonObject entry{{QStringLiteral("id"), id},
                          {QStringLiteral("label"), QStringLiteral("Label ") + id},
                          {QStringLiteral("video"), id + QStringLiteral(".mp4")},
                          {QStringLiteral("updated"), updated}};
        manifest.append(entry);
        writeFile(Cache::file(QStringLiteral("manifest.json")), QJsonDocument(manifest).toJson());
    }
    std::unique_ptr<QTemporaryDir> cacheFolder;
    QJsonArray manifest;
};

TEST_F(ShareNewest, NewestFramePNGIsTheLastSlotOfThatProduct) {
    IndexClipOptions other;
    other.frames = 36;
    cache(QStringLiteral("304"), makeIndexClip(folder->path(), QStringLiteral("other.mp4"), other));
    cache(QStringLiteral("171"), *clip);
    const auto png = Share::newestFramePNG(QStringLiteral("171"));
    ASSERT_TRUE(png);
    QImage image;
    ASSERT_TRUE(image.loadFromData(*png, "png"));
    EXPECT_EQ(frameIndex(image), 143);
    const QString description = *Share::pngDescription(*png);
    // Headed by the product's one name, whatever the cache labels it.
    EXPECT_TRUE(description.startsWith(QString::fromUtf8("AIA 171 \u00C5\n"))) << description.toStdString();
    EXPECT_TRUE(description.contains(QStringLiteral("Frame DEC 7  20:40 UTC"))) << description.toStdString();
    EXPECT_FALSE(Share::newestFramePNG(QStringLiteral("17")));
    EXPECT_FALSE(Share::newestFramePNG(QStringLiteral("211")));
}

TEST_F(ShareNewest, AClipTooShortForASlotGivesItsFirstFrame) {
    IndexClipOptions one;
    one.frames = 1;
    one.fps = 25; // 0.04 s: under half a slot at 18 frames per second
    cache(QStringLiteral("171"), makeIndexClip(folder->path(), QStringLiteral("one.mp4"), one));
    const auto png = Share::newestFramePNG(QStringLiteral("171"));
    ASSERT_TRUE(png);
    QImage image;
    ASSERT_TRUE(image.loadFromData(*png, "png"));
    EXPECT_EQ(frameIndex(image), 0);
}

TEST_F(ShareNewest, NewestFrameImagePrefersTheFirstCachedIdElseTheFirstEntry) {
    EXPECT_FALSE(Share::newestFrameImage({QStringLiteral("171")}, 32));
    IndexClipOptions other;
    other.frames = 40;
    other.keyInterval = 10;
    cache(QStringLiteral("304"), makeIndexClip(folder->path(), QStringLiteral("other40.mp4"), other));
    cache(QStringLiteral("171"), *clip);
    const auto preferred = Share::newestFrameImage({QStringLiteral("211"), QStringLiteral("171")}, 32);
    ASSERT_TRUE(preferred);
    EXPECT_EQ(preferred->size(), QSize(32, 16));
    EXPECT_EQ(frameIndex(*preferred), 108); // the key frame before the clip's last 0.1 s
    const auto fallback = Share::newestFrameImage({QStringLiteral("211")}, 64);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(frameIndex(*fallback), 30);
}

} // namespace
