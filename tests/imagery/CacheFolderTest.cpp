#include "CacheEntry.h"
#include "CacheFixture.h"
#include "Catalog.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cerrno>
#include <cstring>

namespace {

QByteArray manifestOf(const QJsonArray& entries) {
    return QJsonDocument(entries).toJson();
}

} // namespace

using CacheFolder = CacheFixture;

TEST_F(CacheFolder, LenientEntriesSkipOnlyTheMalformedOne) {
    CapturedLog captured;
    const auto list = CacheEntry::list(R"([{"id":"171","video":"171.mp4","updated":"u"},
        {"id":"304","label":"AIA 304"}, {"video":"x.mp4","frame_count":"many","integration":{"frames":2}},
        7])");
    const QString logged = QString::fromUtf8(captured.finish());
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].label, QStringLiteral("171")); // no label: the id
    EXPECT_EQ((*list)[1].id, QString());                // no id: empty
    EXPECT_EQ((*list)[1].label, QString());
    EXPECT_EQ((*list)[1].updated, QString());
    EXPECT_FALSE((*list)[1].frameCount.has_value());
    EXPECT_FALSE((*list)[1].integration.has_value());
    EXPECT_TRUE(logged.contains(QStringLiteral("solvane: skipped a malformed CacheEntry: no video")));
    EXPECT_FALSE(CacheEntry::list("{}").has_value());

    CapturedLog again;
    EXPECT_FALSE(CacheEntry::decode(R"({"id":"171"})").has_value());
    EXPECT_TRUE(again.finish().contains("solvane: cache entry unreadable: no video"));
}

TEST_F(CacheFolder, EntriesFollowTheFilesOnDisk) {
    put(QStringLiteral("manifest.json"),
        manifestOf({QJsonObject{{"id", "171"}, {"video", "171.mp4"}, {"updated", "a"}, {"still", "171.png"}},
                    QJsonObject{{"id", "304"},
                                {"video", "304.mp4"},
                                {"updated", "b"},
                                {"still", "304.png"},
                                {"stillUpdated", "c"}}}));
    put(QStringLiteral("171.mp4"), fakeClip());
    put(QStringLiteral("171.png"), "png");
    put(QStringLiteral("304.mp4"), fakeClip());
    EXPECT_EQ(Cache::count(), 2);
    auto entries = Cache::entries();
    EXPECT_EQ(entries[0].still, QStringLiteral("171.png"));
    EXPECT_FALSE(entries[1].still.has_value()); // its still file is gone
    EXPECT_EQ(entries[1].stillUpdated, QStringLiteral("c"));

    QFile::remove(cached(QStringLiteral("171.mp4")));
    entries = Cache::entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, QStringLiteral("304"));

    put(QStringLiteral("manifest.json"), "not json");
    CapturedLog captured;
    EXPECT_TRUE(Cache::entries().empty());
    EXPECT_TRUE(captured.finish().contains("solvane: manifest unreadable: "));
    EXPECT_TRUE(Cache::isPrimed());
}

TEST_F(CacheFolder, RewriteWalksTheCatalogueAndTakesClipDetailsOnlyFromTheSameClip) {
    for (const char* id : {"304", "171", "dem"}) {
        put(QString::fromLatin1(id) + ".mp4", fakeClip());
        put(QString::fromLatin1(id) + ".stamp", "2026-10-01T05:40:00Z\n");
    }
    put(QStringLiteral("171.png"), "png");
    put(QStringLiteral("171.png.stamp"), "2026-10-01T05:41:00Z");
    put(QStringLiteral("zzz.mp4"), fakeClip()); // not a catalogue product
    RemoteProduct listed;
    listed.id = QStringLiteral("171");
    listed.label = QStringLiteral("Listed 171");
    listed.updated = QStringLiteral("2026-10-01T05:40:00Z");
    listed.frameCount = 288;
    listed.integration = Integration{3, QStringLiteral("mean")};
    RemoteProduct other = listed;
    other.id = QStringLiteral("304");
    other.label.reset();
    other.updated = QStringLiteral("2026-10-02T00:00:00Z"); // a different clip than the one on disk
    Cache::rewriteManifest(std::vector<RemoteProduct>{listed, other});

    const auto entries = Cache::entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].id, QStringLiteral("171")); // catalogue order
    EXPECT_EQ(entries[0].label, QStringLiteral("Listed 171"));
    EXPECT_EQ(entries[0].frameCount, 288);
    EXPECT_EQ(entries[0].stillUpdated, QStringLiteral("2026-10-01T05:41:00Z"));
    EXPECT_EQ(entries[1].id, QStringLiteral("304"));
    EXPECT_EQ(entries[1].label, QStringLiteral("304")); // listed without a label: its id
    EXPECT_FALSE(entries[1].frameCount.has_value());
    EXPECT_FALSE(entries[1].integration.has_value());
    EXPECT_EQ(entries[2].label, Catalog::label(QStringLiteral("dem")));

    // Keys sorted, slashes unescaped.
    const QByteArray manifest = read(QStringLiteral("manifest.json"));
    EXPECT_LT(manifest.indexOf("\"frame_count\""), manifest.indexOf("\"id\""));
    EXPECT_FALSE(manifest.contains("\\/"));

    // Without a list, a later rebuild keeps what the previous manifest knew about the same clip.
    Cache::rewriteManifest();
    EXPECT_EQ(Cache::entries()[0].frameCount, 288);
    EXPECT_EQ(Cache::entries()[0].label, QStringLiteral("Listed 171"));
}

TEST_F(CacheFolder, ARebuildThatFindsNothingKeepsTheManifest) {
    const QByteArray before = manifestOf({QJsonObject{{"id", "171"}, {"video", "seed.mp4"}}});
    put(QStringLiteral("manifest.json"), before);
    CapturedLog captured;
    Cache::rewriteManifest();
    EXPECT_TRUE(
        captured.finish().contains("solvane: nothing on disk to list; keeping the existing manifest"));
    EXPECT_EQ(read(QStringLiteral("manifest.json")), before);
}

TEST_F(CacheFolder, LastPassRoundTripsAndReadOnlyWritesNothing) {
    Cache::LastPass pass{"2026-10-01T06:00:00Z", true, false, "mirror", false, 2, 1, 12, {"304", "94"},
                         false, "Could not resolve hostname", "2026-10-01T05:40:00Z"};
    Cache::recordPass(pass);
    EXPECT_EQ(Cache::lastPass(), pass);

    // A file written before the source's answer was recorded still reads, as a pass that was answered.
    put(QStringLiteral("lastpass.json"),
        R"({"finished":"x","check":true,"everything":false,"host":"h","usedOrigin":false,)"
        R"("moved":0,"pruned":0,"listed":1,"failed":[]})");
    const auto older = Cache::lastPass();
    ASSERT_TRUE(older.has_value());
    EXPECT_TRUE(older->reached);
    EXPECT_TRUE(older->newest.isEmpty());
    Cache::recordPass(pass);
    Cache::setReadOnly(true);
    Cache::recordPass(Cache::LastPass{});
    EXPECT_EQ(Cache::lastPass(), pass);
    Cache::setReadOnly(false);

    put(QStringLiteral("lastpass.json"), R"({"finished":"x"})");
    CapturedLog captured;
    EXPECT_FALSE(Cache::lastPass().has_value());
    EXPECT_TRUE(captured.finish().contains("solvane: lastpass.json unreadable: "));
}

TEST_F(CacheFolder, SeedFillsAnEmptyCacheOnce) {
    CapturedLog captured;
    Cache::seedIfEmpty();
    EXPECT_TRUE(captured.finish().contains(
        "solvane: cache was empty, seeded with the bundled clip (2013-06-24T17:31:30Z)"));
    auto entries = Cache::entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, QStringLiteral("193"));
    EXPECT_EQ(entries[0].video, QStringLiteral("seed.mp4"));
    EXPECT_EQ(entries[0].frameCount, 1);
    EXPECT_EQ(read(QStringLiteral("seed.mp4")), readFile(QStringLiteral("resources/seed.mp4")));

    // With a manifest in place nothing happens, even when the clip is gone.
    QFile::remove(cached(QStringLiteral("seed.mp4")));
    CapturedLog quiet;
    Cache::seedIfEmpty();
    EXPECT_TRUE(quiet.finish().isEmpty());
    EXPECT_FALSE(exists(QStringLiteral("seed.mp4")));
}

// The log carries the system's own reason, not a made-up one.
TEST_F(CacheFolder, FailuresToCreateOrSeedSayWhy) {
    put(QStringLiteral("plain"), "a file");
    const QString plain = cached(QStringLiteral("plain"));
    CapturedLog captured;
    Cache::setDir(plain + QStringLiteral("/inner"));
    Cache::setDir(plain);
    const QString logged = QString::fromUtf8(captured.finish());
    const QString notAFolder = QString::fromLocal8Bit(std::strerror(ENOTDIR));
    for (const QString& folder : {plain + QStringLiteral("/inner"), plain})
        EXPECT_TRUE(logged.contains(QStringLiteral("solvane: cache: could not create ") + folder +
                                    QStringLiteral(": ") + notAFolder + QLatin1Char('\n')))
            << logged.toStdString();

    // A folder where the partial copy would go: the copy fails even for root.
    Cache::setDir(temp.path() + QStringLiteral("/seeded"));
    ASSERT_TRUE(QDir().mkpath(cached(QStringLiteral("seed.mp4.tmp"))));
    CapturedLog seeding;
    Cache::seedIfEmpty();
    EXPECT_TRUE(seeding.finish().contains(QByteArray("solvane: seed: could not copy the bundled clip: ") +
                                          std::strerror(EISDIR)));
}

TEST_F(CacheFolder, NoteReportsAFailedWrite) {
    EXPECT_TRUE(Cache::note(QStringLiteral("v/171/a.mp4"), cached(QStringLiteral("171.mp4.src"))));
    EXPECT_EQ(text(QStringLiteral("171.mp4.src")), QStringLiteral("v/171/a.mp4"));
    CapturedLog captured;
    EXPECT_FALSE(Cache::note(QStringLiteral("x"), temp.path() + QStringLiteral("/no/such/folder/file.src")));
    EXPECT_TRUE(captured.finish().contains("solvane: could not write file.src: "));
}

TEST_F(CacheFolder, ManifestPathsReachNothingOutsideTheFolder) {
    // Real files outside the cache folder that a doctored manifest names.
    writeFile(temp.path() + QStringLiteral("/outside.mp4"), fakeClip());
    writeFile(temp.path() + QStringLiteral("/outside.png"), "png");
    put(QStringLiteral("171.mp4"), fakeClip());
    put(QStringLiteral("manifest.json"),
        R"([{"id":"304","video":"../outside.mp4","updated":"u"},
            {"id":"193","video":"/etc/hostname","updated":"u"},
            {"id":"171","video":"171.mp4","updated":"u","still":"../outside.png"}])");
    CapturedLog captured;
    const auto entries = Cache::entries();
    const QString logged = QString::fromUtf8(captured.finish());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, QStringLiteral("171"));
    EXPECT_FALSE(entries[0].still.has_value());
    EXPECT_EQ(logged.count(QStringLiteral("the video is not a plain file name")), 2) << logged.toStdString();
}

TEST_F(CacheFolder, AFolderOfSomeoneElsesFilesIsNeitherPrunedNorWritten) {
    // cacheHome pointed at the user's own folder, which happens to hold files of our names.
    const QString own = temp.path() + QStringLiteral("/mine");
    const QStringList names{"171.mp4", "171.png", "171.stamp", "lastpass.json"};
    ASSERT_TRUE(QDir().mkpath(own));
    for (const QString& name : names)
        writeFile(own + QLatin1Char('/') + name, "the user's " + name.toUtf8());
    Cache::setDir(own);
    Settings::setProducts({QStringLiteral("304")}); // 171 is not wanted: a pass would prune it
    CapturedLog captured;
    Cache::seedIfEmpty();
    Cache::pass(true, false, true);
    Cache::pass(false, false, true);
    EXPECT_EQ(captured.finish(),
              "solvane: cache: " + QFile::encodeName(own) +
                  " holds files that are not ours (no CACHEDIR.TAG, no manifest.json); not "
                  "pruning or writing there\n");
    EXPECT_EQ(QDir(own).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), names);
    for (const QString& name : names)
        EXPECT_EQ(readFile(own + QLatin1Char('/') + name), "the user's " + name.toUtf8());

    // An empty folder, a folder we create, and an old cache with our manifest are ours, and get the tag.
    const QString empty = temp.path() + QStringLiteral("/empty");
    ASSERT_TRUE(QDir().mkpath(empty));
    const QString old = temp.path() + QStringLiteral("/old");
    ASSERT_TRUE(QDir().mkpath(old));
    writeFile(old + QStringLiteral("/manifest.json"), "[]");
    for (const QString& folder : {empty, old, temp.path() + QStringLiteral("/new")}) {
        Cache::setDir(folder);
        EXPECT_TRUE(Cache::claimFolder());
        EXPECT_TRUE(readFile(folder + QStringLiteral("/CACHEDIR.TAG"))
                        .startsWith("Signature: 8a477f597d28d172789f06886806bc55\n"));
    }
}
