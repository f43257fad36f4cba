// The refresh pass reading a stand-in of NASA SDO's browse archive (nginx over HTTPS on loopback),
// making real clips with FFmpeg, from an empty cache, incrementally, through faults and a mirror.
#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "CacheFixture.h"
#include "CacheSettings.h"
#include "DirectClips.h"
#include "DirectSource.h"
#include "FollowPass.h"
#include "LargeStills.h"
#include "MirrorServers.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QSet>
#include <QTimeZone>
#include <map>
#include <memory>

namespace {

const QString python = QStringLiteral("/usr/bin/python3");
const QString standInTool = QStringLiteral(SOLVANE_SOURCE_DIR "/tools/mirror/make_browse.py");

QDateTime utcOf(const QString& name) {
    QDateTime moment = QDateTime::fromString(name.left(15), QStringLiteral("yyyyMMdd_HHmmss"));
    moment.setTimeZone(QTimeZone::utc());
    return moment.toUTC();
}

// Counted without the pass's code: distinct 20-minute slots among the 144 ending at the newest one.
int slotsWithImages(const QStringList& names) {
    QSet<qint64> filled;
    const qint64 last = utcOf(names.last()).toSecsSinceEpoch() / 1200;
    for (const QString& name : names) {
        const qint64 slot = utcOf(name).toSecsSinceEpoch() / 1200;
        if (slot > last - 144) filled.insert(slot);
    }
    return int(filled.size());
}

QStringList imageRequests(const QStringList& lines) {
    QStringList found;
    for (const QString& line : lines)
        if (line.startsWith(QLatin1String("GET ")) && line.contains(QLatin1String(".jpg")))
            found << line.section(QLatin1Char(' '), 1, 1).section(QLatin1Char('/'), -1);
    return found;
}

QJsonObject probe(const QString& clip) {
    const ProcessResult result = runProgram(
        QStringLiteral("ffprobe"),
        {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames", "-of", "json", clip});
    return QJsonDocument::fromJson(result.out).object().value("streams").toArray().at(0).toObject();
}

// Every frame of a clip as 128 x 128 grey bytes: fine enough to see the Sun turn over a few slots.
std::vector<QByteArray> greyFrames(const QString& clip) {
    const ProcessResult result =
        runProgram(QStringLiteral("ffmpeg"),
                   {"-v", "error", "-i", clip, "-vf", "scale=128:128,format=gray", "-f", "rawvideo", "-"});
    std::vector<QByteArray> frames;
    for (qsizetype at = 0; at + 128 * 128 <= result.out.size(); at += 128 * 128)
        frames.push_back(result.out.mid(at, 128 * 128));
    return frames;
}

int largestDifference(const QByteArray& a, const QByteArray& b) {
    int largest = 0;
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i)
        largest = std::max(largest, std::abs(int(uchar(a[i])) - int(uchar(b[i]))));
    return largest;
}

} // namespace

class DirectPass : public CacheFixture {
protected:
    TestCertificate certificate;
    QString root;
    std::unique_ptr<NginxMirror> archive;

    void SetUp() override {
        CacheFixture::SetUp();
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
        qunsetenv("SOLVANE_ORIGIN_HOST");
        DirectClips::install();
        BrowseFetch::setFirstPause(std::chrono::milliseconds(50));
        root = temp.path() + QStringLiteral("/archive");
    }
    void TearDown() override {
        archive.reset();
        qunsetenv("SOLVANE_SDO_BASE");
        DirectSource::setBudgets(Browse::fillBudget, Browse::shortestBudget);
        BrowseFetch::setMinimumSpeed(1024, std::chrono::seconds(30));
        CacheFixture::TearDown();
    }

    // Lays out the stand-in ending at `end`, by default two hours ago (so added images are never in the
    // future), and serves it, with `serverLines` in nginx's server block.
    void serve(const QStringList& arguments, const QString& serverLines = {}, QDateTime end = {}) {
        if (!end.isValid()) end = QDateTime::currentDateTimeUtc().addSecs(-7200);
        const QString now = end.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        ASSERT_EQ(runProgram(python, QStringList{standInTool, root, "--now", now} + arguments).status, 0);
        // The host's folder for today exists from midnight, empty until its first image: in the first two
        // hours of a day the stand-in has none there yet.
        const QString today = root + QStringLiteral("/assets/img/browse/") +
                              QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy/MM/dd"));
        QFile listing(today + QStringLiteral("/index.html"));
        if (!listing.exists()) {
            ASSERT_TRUE(QDir().mkpath(today));
            ASSERT_TRUE(listing.open(QIODevice::WriteOnly));
            listing.write("<html><body><h1>Index of /</h1></body></html>\n");
        }
        QDir().mkpath(temp.path() + QStringLiteral("/nginx"));
        archive = std::make_unique<NginxMirror>(root, certificate, temp.path() + QStringLiteral("/nginx"),
                                                serverLines);
        ASSERT_TRUE(archive->running());
        qputenv("SOLVANE_SDO_BASE", ("https://" + archive->host()).toUtf8());
    }
    // Yesterday at 00:10 UTC, an end that puts the archive's newest image in a day folder of its own.
    static QDateTime justPastMidnight() {
        return QDateTime(QDateTime::currentDateTimeUtc().date().addDays(-1), QTime(0, 10), QTimeZone::utc());
    }
    void add(const QString& channelAndCount) {
        ASSERT_EQ(runProgram(python, {standInTool, root, "--add", channelAndCount}).status, 0);
    }
    QJsonObject truth() const {
        return QJsonDocument::fromJson(readFile(root + QStringLiteral("/.work/truth.json"))).object();
    }
    QStringList images(const QString& channel) const {
        QStringList names;
        for (const auto& name : truth().value("images").toObject().value(channel).toArray())
            names << name.toString();
        return names;
    }
    QString imagePath(const QString& name) const {
        return root + QStringLiteral("/assets/img/browse/") +
               utcOf(name).toString(QStringLiteral("yyyy/MM/dd/")) + name;
    }
    std::optional<CacheEntry> entry(const QString& id) const {
        for (const CacheEntry& e : Cache::entries())
            if (e.id == id) return e;
        return std::nullopt;
    }
};

TEST_F(DirectPass, FirstPassFromAnEmptyCacheWithDefaultSettings) {
    serve({"--channels", "94,131,171,193,211,304,335", "--hours", "9", "--gap", "5:1.5"});
    EXPECT_EQ(Settings::imageryHost(), QString()) << "no mirror by default";
    Cache::seedIfEmpty();
    CapturedLog captured;
    const auto record = Cache::pass(true, false, false);
    const QString logged = QString::fromUtf8(captured.finish());
    ASSERT_TRUE(record.has_value()) << logged.toStdString();
    EXPECT_TRUE(record->reached);
    EXPECT_EQ(record->host, QStringLiteral("sdo.gsfc.nasa.gov (direct)"));
    EXPECT_FALSE(record->usedOrigin);
    EXPECT_TRUE(record->failed.isEmpty()) << record->failed.join(' ').toStdString();
    EXPECT_EQ(record->moved, 3);
    EXPECT_EQ(record->listed, 3);
    EXPECT_TRUE(logged.contains("solvane: direct: first light, 3 product(s) playable"))
        << logged.toStdString();
    EXPECT_EQ(Cache::lastPass(), record);

    // The default screens' products, in catalogue order, replacing the seed.
    EXPECT_EQ(manifestIDs(), (QStringList{"rainbow", "171", "304"}));
    const QStringList names = images("171");
    const QDateTime newest = utcOf(names.last());
    const auto e171 = entry("171");
    ASSERT_TRUE(e171.has_value());
    EXPECT_EQ(e171->updated, newest.toString(Qt::ISODate));
    EXPECT_EQ(e171->frameCount, slotsWithImages(names));
    EXPECT_LT(*e171->frameCount, 144) << "nine hours with a gap do not fill 48";
    ASSERT_TRUE(e171->integration.has_value());
    EXPECT_EQ(e171->integration->frames, 1);
    EXPECT_EQ(entry("rainbow")->integration->frames, 7);
    EXPECT_TRUE(entry("rainbow")->label.contains("made here from NASA SDO images"));
    QString newestOfAll;
    for (const char* channel : {"171", "304", "94", "131", "193", "211", "335"})
        newestOfAll = std::max(newestOfAll, utcOf(images(channel).last()).toString(Qt::ISODate));
    EXPECT_EQ(record->newest, newestOfAll);
    EXPECT_EQ(text("171.mp4.src"), "v/171/" + newest.toString("yyyyMMddTHHmmss") + ".mp4");
    EXPECT_EQ(text("171.png.src"), "v/171/" + newest.toString("yyyyMMddTHHmmss") + ".png");
    EXPECT_EQ(text("171.stamp"), newest.toString(Qt::ISODate));
    EXPECT_FALSE(exists("171.mp4.etag"));
    EXPECT_TRUE(leftovers().isEmpty());

    // The clip: H.264, yuv420p, 1024 square, 18 fps, 144 frames, the index before the media data.
    const QJsonObject stream = probe(cached("171.mp4"));
    EXPECT_EQ(stream.value("codec_name").toString(), "h264");
    EXPECT_EQ(stream.value("pix_fmt").toString(), "yuv420p");
    EXPECT_EQ(stream.value("width").toInt(), 1024);
    EXPECT_EQ(stream.value("height").toInt(), 1024);
    EXPECT_EQ(stream.value("r_frame_rate").toString(), "18/1");
    EXPECT_EQ(stream.value("nb_read_frames").toString(), "144");
    const QByteArray clip = read("171.mp4");
    EXPECT_LT(clip.indexOf("moov"), clip.indexOf("mdat"));

    // The still is the newest image, decoded.
    const QImage still = QImage(cached("171.png")).convertToFormat(QImage::Format_RGB32);
    const QImage newestImage = QImage(imagePath(names.last())).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(newestImage.isNull());
    EXPECT_EQ(still, newestImage);

    // The gap holds the frame before it: the slots inside it look like the last slot before it, and
    // the first slot after it does not.
    const auto frames = greyFrames(cached("171.mp4"));
    ASSERT_EQ(frames.size(), 144u);
    const qint64 lastSlot = newest.toSecsSinceEpoch() / 1200;
    auto slotOf = [&](const QString& name) {
        return int(143 - (lastSlot - utcOf(name).toSecsSinceEpoch() / 1200));
    };
    int widest = 0;
    for (int i = 1; i < names.size(); ++i)
        if (utcOf(names[i - 1]).secsTo(utcOf(names[i])) >
            utcOf(names[widest]).secsTo(utcOf(names[widest + 1])))
            widest = i - 1;
    const int before = slotOf(names[widest]);
    const int after = slotOf(names[widest + 1]);
    ASSERT_GE(after - before, 4) << "the stand-in has a gap of several slots";
    for (int slot = before + 1; slot < after; ++slot)
        EXPECT_LE(largestDifference(frames[size_t(before)], frames[size_t(slot)]), 12) << "slot " << slot;
    EXPECT_GT(largestDifference(frames[size_t(before)], frames[size_t(after)]), 40);
}

TEST_F(DirectPass, LaterPassesFetchOnlyNewImagesAndDropOldOnes) {
    serve({"--channels", "171", "--hours", "50"});
    Settings::setProducts({"171"});
    ASSERT_TRUE(Cache::pass(true, false, false).has_value());
    const QStringList before = images("171");
    EXPECT_EQ(entry("171")->frameCount, slotsWithImages(before));
    const QString firstKey = text("171.mp4.src");

    // Three new images, one per new slot: exactly those are fetched, the listings conditionally.
    add("171:3");
    archive->clearRequests();
    auto record = Cache::pass(true, false, false);
    ASSERT_TRUE(record.has_value());
    const QStringList after = images("171");
    QStringList added = after.mid(before.size());
    QStringList fetched = imageRequests(archive->requests());
    fetched.sort();
    EXPECT_EQ(fetched, added);
    EXPECT_EQ(record->moved, 1);
    EXPECT_TRUE(Cache::isNewer(text("171.mp4.src"), firstKey));
    EXPECT_EQ(entry("171")->updated, utcOf(after.last()).toString(Qt::ISODate));
    EXPECT_EQ(entry("171")->frameCount, slotsWithImages(after));

    // Nothing older than the window is kept.
    const QDateTime windowStart = QDateTime::fromSecsSinceEpoch(
        (utcOf(after.last()).toSecsSinceEpoch() / 1200 - 143) * 1200, QTimeZone::utc());
    const QStringList held = QDir(cached("direct/0171")).entryList({"*.jpg"}, QDir::Files);
    EXPECT_LE(held.size(), 144);
    for (const QString& name : held)
        EXPECT_GE(utcOf(name), windowStart) << name.toStdString();

    // Nothing new: a few conditional listing requests, no image, no clip made.
    archive->clearRequests();
    record = Cache::pass(true, false, false);
    ASSERT_TRUE(record.has_value());
    const QStringList requests = archive->requests();
    EXPECT_TRUE(imageRequests(requests).isEmpty());
    EXPECT_LE(requests.size(), 2) << requests.join('\n').toStdString();
    for (const QString& line : requests)
        EXPECT_TRUE(line.contains(" 304 ")) << line.toStdString();
    EXPECT_EQ(record->moved, 0);
}

TEST_F(DirectPass, UntrustedArchiveDamagedImagesOddNamesAndAMissingDay) {
    // Ending just past a midnight: the damaged image, from the slot before the newest, is in the day
    // folder before the newest one's.
    serve({"--channels", "171", "--hours", "50", "--damaged", "--odd"}, {}, justPastMidnight());
    Settings::setProducts({"171"});
    const QString damaged = truth().value("damaged").toString();
    ASSERT_FALSE(damaged.isEmpty());
    ASSERT_LT(utcOf(damaged).date(), utcOf(images("171").last()).date());
    // The day folder where the 48 hours before the newest image begin is gone from the host. (The oldest
    // image's day, 50 hours back, lies outside the window at some hours of the day and is never asked for.)
    const QDate gone = utcOf(images("171").last()).addSecs(-(48 * 3600 - 20 * 60)).date();
    QDir(root + "/assets/img/browse/" + gone.toString("yyyy/MM/dd")).removeRecursively();

    CapturedLog captured;
    const auto record = Cache::pass(true, false, false);
    const QString logged = QString::fromUtf8(captured.finish());
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(record->reached);
    EXPECT_TRUE(record->failed.isEmpty());
    EXPECT_TRUE(logged.contains("solvane: direct: skipped a damaged image " + damaged + ": cut short"))
        << logged.toStdString();
    EXPECT_TRUE(logged.contains("solvane: direct: day folder " + gone.toString("yyyy/MM/dd") + ": HTTP 404"));
    EXPECT_TRUE(exists("171.mp4"));

    // Every request stayed in a listed day folder; no odd name was asked for.
    const QStringList requests = archive->requests();
    for (const QString& line : requests) {
        const QString path = line.section(' ', 1, 1);
        EXPECT_TRUE(path.startsWith("/assets/img/browse/")) << line.toStdString();
        if (path.endsWith(".jpg")) {
            EXPECT_TRUE(path.endsWith("_1024_0171.jpg") && !path.contains("2999") &&
                        !path.contains("1345_990000_"))
                << line.toStdString();
        }
    }
    EXPECT_TRUE(imageRequests(requests).contains(damaged));

    // The damaged image is asked for once more, and after failing again never.
    for (const bool again : {true, false}) {
        archive->clearRequests();
        ASSERT_TRUE(Cache::pass(true, false, false).has_value());
        EXPECT_EQ(imageRequests(archive->requests()).contains(damaged), again);
    }
}

// Images that are whole but do not decode are all set aside in the pass that finds them, and for good when
// they fail again; an error page served once is forgiven; a killed write's leftovers go; a slow archive
// costs a pass its budget, and the next scheduled check goes on.
TEST_F(DirectPass, FaultsAreJudgedOnceForgivenWhenPassingAndBoundedInTime) {
    // One image a slot, mostly: an image that does not decode then leaves its slot without one of its own.
    // The archive's newest image is just past a midnight, so the faulty ones lie in the day folder before
    // the newest one's, which the next pass must list again to ask for them.
    serve({"--channels", "171,304", "--hours", "10", "--cadence", "1200"},
          R"(location ~ _0304\.jpg$ { limit_rate 300; })", justPastMidnight().addSecs(15 * 60));
    Settings::setProducts({"171"});
    const QStringList names = images("171");
    std::map<qint64, int> perSlot;
    for (const QString& name : names)
        ++perSlot[utcOf(name).toSecsSinceEpoch() / 1200];
    QStringList undecodable; // each the only image of its slot, and not the newest
    for (qsizetype i = names.size() - 3; i > 0 && undecodable.size() < 7; --i)
        if (perSlot[utcOf(names[i]).toSecsSinceEpoch() / 1200] == 1) undecodable << names[i];
    ASSERT_EQ(undecodable.size(), 7);
    for (const QString& name : undecodable)
        ASSERT_LT(utcOf(name).date(), utcOf(names.last()).date()) << name.toStdString();
    const QString errorPage = undecodable.takeLast();
    for (const QString& name : undecodable) {
        QByteArray bytes = readFile(imagePath(name));
        bytes[bytes.indexOf("\xFF\xC0") + 4] = 2; // a sample precision no decoder knows
        writeFile(imagePath(name), bytes);
    }
    const QByteArray good = readFile(imagePath(errorPage));
    writeFile(imagePath(errorPage), "<html><body>502 Bad Gateway</body></html>");
    QDir().mkpath(cached("direct/listings"));
    put("direct/rejected.txt.tmp", "half");
    put("direct/listings/20261208.html.etag.tmp", "half");

    QString logged;
    auto pass = [&logged] {
        CapturedLog captured;
        auto record = Cache::pass(true, false, false);
        logged = QString::fromUtf8(captured.finish());
        return record;
    };
    auto record = pass();
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(record->failed.isEmpty()) << logged.toStdString();
    for (const QString& name : undecodable)
        EXPECT_EQ(logged.count("direct: skipped a damaged image " + name + ": it does not decode"), 1)
            << logged.toStdString();
    EXPECT_TRUE(logged.contains("direct: skipped a damaged image " + errorPage +
                                ": not a JPEG; asking once more on the next pass"));
    EXPECT_EQ(entry("171")->frameCount, slotsWithImages(names) - 7);
    EXPECT_EQ(probe(cached("171.mp4")).value("nb_read_frames").toString(), "144");
    EXPECT_TRUE(logged.contains("solvane: removed a temporary file left behind: direct/rejected.txt.tmp"));
    EXPECT_FALSE(
        QDirIterator(cached("direct"), {"*.tmp"}, QDir::Files, QDirIterator::Subdirectories).hasNext());

    // The error page is an image again; the six still do not decode.
    writeFile(imagePath(errorPage), good);
    archive->clearRequests();
    record = pass();
    ASSERT_TRUE(record.has_value());
    QStringList fetched = imageRequests(archive->requests());
    EXPECT_TRUE(fetched.contains(errorPage));
    for (const QString& name : undecodable) {
        EXPECT_TRUE(fetched.contains(name)) << name.toStdString();
        EXPECT_TRUE(logged.contains(name + ": it does not decode")) << logged.toStdString();
    }
    EXPECT_EQ(logged.count(" again; never asking for it again"), 6) << logged.toStdString();
    EXPECT_EQ(entry("171")->frameCount, slotsWithImages(names) - 6);

    // 304's images trickle in at 300 bytes a second: each fails at the minimum speed, and the pass ends
    // at its budget with one line, keeps what it has and leaves the check due.
    Settings::setProducts({"171", "304"});
    DirectSource::setBudgets(std::chrono::seconds(4), std::chrono::seconds(4));
    BrowseFetch::setMinimumSpeed(1024, std::chrono::seconds(2));
    const QDateTime checked = Settings::lastCheck();
    archive->clearRequests();
    QElapsedTimer clock;
    clock.start();
    record = pass();
    const qint64 took = clock.elapsed();
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(record->reached);
    EXPECT_TRUE(record->cutShort.startsWith("cut short after 4 seconds, the time a pass may take: "))
        << record->cutShort.toStdString();
    EXPECT_EQ(logged.count("solvane: direct: cut short after 4 seconds"), 1) << logged.toStdString();
    EXPECT_TRUE(logged.contains("Operation too slow")) << logged.toStdString();
    EXPECT_LT(took, 40000) << "bounded by the budget, not by the trickle";
    EXPECT_EQ(Settings::lastCheck(), checked);
    EXPECT_TRUE(exists("171.mp4"));
    fetched = imageRequests(archive->requests());
    for (const QString& name : undecodable)
        EXPECT_FALSE(fetched.contains(name)) << name.toStdString();
}

TEST_F(DirectPass, AnUnreachableSourceKeepsTheCacheAndSaysWhy) {
    serve({"--channels", "171", "--hours", "6"});
    Settings::setProducts({"171"});
    ASSERT_TRUE(Cache::pass(true, false, false).has_value());
    const QByteArray clip = read("171.mp4");
    const QByteArray manifest = read("manifest.json");
    ASSERT_FALSE(clip.isEmpty());

    archive.reset();
    qputenv("SOLVANE_SDO_BASE", QStringLiteral("https://127.0.0.1:%1").arg(unusedPort()).toUtf8());
    const auto record = Cache::pass(true, false, false);
    ASSERT_TRUE(record.has_value());
    EXPECT_FALSE(record->reached);
    EXPECT_TRUE(record->reason.contains("connect", Qt::CaseInsensitive)) << record->reason.toStdString();
    EXPECT_EQ(record->host, QStringLiteral("sdo.gsfc.nasa.gov (direct)"));
    EXPECT_EQ(read("171.mp4"), clip);
    EXPECT_EQ(read("manifest.json"), manifest);
    EXPECT_EQ(Cache::lastPass()->reached, false);

    // A fresh cache with only the seed keeps the seed.
    Cache::setDir(temp.path() + "/fresh");
    Cache::seedIfEmpty();
    const QStringList seeded = manifestIDs();
    CapturedLog captured;
    const auto fresh = Cache::pass(true, false, false);
    const QString logged = QString::fromUtf8(captured.finish());
    ASSERT_TRUE(fresh.has_value());
    // One line says why; products with nothing to make from do not repeat it.
    EXPECT_EQ(logged.count("direct: NASA SDO did not answer: "), 1) << logged.toStdString();
    EXPECT_FALSE(logged.contains("no clip made")) << logged.toStdString();
    EXPECT_FALSE(fresh->reached);
    EXPECT_EQ(manifestIDs(), seeded);
    EXPECT_TRUE(exists("seed.mp4"));
}

TEST_F(DirectPass, AMirrorIsPreferredWhenSetAndTheArchiveTakesOverWhenItStops) {
    serve({"--channels", "171,HMIB", "--hours", "6"});
    Settings::setProducts({"171,magnetogram"});
    const QString mirrorRoot = temp.path() + "/mirror";
    const QString updated =
        QDateTime::currentDateTimeUtc().addSecs(-3 * 3600).toString("yyyy-MM-ddTHH:mm:ssZ");
    ASSERT_TRUE(makeMirror(mirrorRoot, {"--product", "171=" + updated}));
    // This mirror publishes its still as JPEG: it is converted to PNG on arrival.
    const QString stillKey =
        QJsonDocument::fromJson(readFile(mirrorRoot + "/manifest/index.json"))["products"][0]["still_v"]
            .toString();
    writeFile(mirrorRoot + "/" + stillKey, readFile(imagePath(images("171").first())));
    QDir().mkpath(temp.path() + "/mirror-nginx");
    auto mirror = std::make_unique<NginxMirror>(mirrorRoot, certificate, temp.path() + "/mirror-nginx");
    ASSERT_TRUE(mirror->running());
    Settings::setImageryHost(mirror->host());

    auto record = Cache::pass(true, false, false);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->host, mirror->host());
    EXPECT_TRUE(record->reached && !record->usedOrigin);
    EXPECT_TRUE(text("171.mp4.src").startsWith("v/171/"));
    EXPECT_EQ(read("171.png").left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(QImage(cached("171.png")).convertToFormat(QImage::Format_RGB32),
              QImage(imagePath(images("171").first())).convertToFormat(QImage::Format_RGB32));
    // The mirror does not publish HMI's magnetogram: it comes from the archive in the same pass.
    ASSERT_TRUE(entry("magnetogram").has_value());
    EXPECT_EQ(entry("magnetogram")->updated, utcOf(images("HMIB").last()).toString(Qt::ISODate));
    EXPECT_TRUE(record->failed.isEmpty()) << record->failed.join(' ').toStdString();
    const QString mirrorKey = text("171.mp4.src");

    // The mirror stops answering: the pass reads the archive itself and says so.
    mirror.reset();
    CapturedLog captured;
    record = Cache::pass(true, false, false);
    const QString logged = QString::fromUtf8(captured.finish());
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(logged.contains("imagery host did not answer; using the origin for this pass"))
        << logged.toStdString();
    EXPECT_EQ(record->host, QStringLiteral("sdo.gsfc.nasa.gov (direct)"));
    EXPECT_TRUE(record->usedOrigin && record->reached);
    EXPECT_TRUE(Cache::isNewer(text("171.mp4.src"), mirrorKey));
    EXPECT_EQ(entry("171")->updated, utcOf(images("171").last()).toString(Qt::ISODate));
}

TEST_F(DirectPass, TheLightPassReadsTheEndOfTodaysListingAndTakesOnlyNewSlots) {
    // Mid-day, so that the light pass reads one day's listing, whatever the hour the test runs at.
    serve({"--channels", "171,HMIIC", "--hours", "6"}, {},
          QDateTime(QDateTime::currentDateTimeUtc().date().addDays(-1), QTime(12, 0), QTimeZone::utc()));
    Settings::setProducts({"171", "intensitygram"});
    ASSERT_TRUE(Cache::pass(true, false, false).has_value());
    ASSERT_TRUE(entry("intensitygram").has_value()) << "HMI's intensitygram from the archive";
    EXPECT_EQ(entry("intensitygram")->label, QStringLiteral("HMI Intensitygram"));
    const QStringList before = images("171");
    add("171:2");
    add("HMIIC:1");
    const QStringList added =
        images("171").mid(before.size()) + images("HMIIC").mid(images("HMIIC").size() - 1);
    const QDateTime newest = utcOf(images("171").last());
    // NASA's 2048-pixel image of the newest 171 exists; the intensitygram's does not.
    QImage large(2048, 2048, QImage::Format_RGB32);
    large.fill(Qt::darkYellow);
    ASSERT_TRUE(large.save(imagePath(images("171").last()).replace("_1024_", "_2048_"), "JPEG"));
    CacheSettings::setScreens(2048, {});

    archive->clearRequests();
    CapturedLog captured;
    // The clock stands just after the newest image, wherever the test's day is.
    FollowPass::Outcome outcome = FollowPass::run({"171", "intensitygram"}, newest.addSecs(600));
    QString logged = QString::fromUtf8(captured.finish());
    QStringList requests = archive->requests();
    QStringList fetched = imageRequests(requests).filter("_1024_");
    EXPECT_EQ(QSet<QString>(fetched.begin(), fetched.end()), QSet<QString>(added.begin(), added.end()));
    for (const QString& line : requests.filter("/index.html "))
        EXPECT_TRUE(line.contains(" 206 ")) << "only the listing's end: " << line.toStdString();
    // The realistic listing names every channel at every size: its end is still a small part of it.
    const qint64 whole = QFileInfo(QFileInfo(imagePath(images("171").last())).path() + "/index.html").size();
    EXPECT_LT(outcome.listingBytes, whole / 4) << whole;
    EXPECT_EQ(outcome.newImages, 3);
    EXPECT_EQ(outcome.made, (QStringList{"171", "intensitygram"}));
    EXPECT_EQ(entry("171")->updated, newest.toString(Qt::ISODate));
    EXPECT_TRUE(logged.contains(
        "solvane: follow: 171, intensitygram: 3 new image(s), 171, intensitygram re-made; "
        "newest " +
        QDateTime::fromString(outcome.newest, Qt::ISODate).toUTC().toString("HH:mm") + " UTC"))
        << logged.toStdString();
    // The desktop's still for a large screen: NASA's larger image of the same time, where there is one.
    EXPECT_EQ(text("171.2048.jpg.stamp"), text("171.png.stamp"));
    EXPECT_EQ(LargeStills::stillFor(*entry("171"), 1920), "171.2048.jpg");
    EXPECT_EQ(LargeStills::stillFor(*entry("171"), 1280), "171.png");
    EXPECT_EQ(LargeStills::stillFor(*entry("intensitygram"), 1920), "intensitygram.png");
    EXPECT_TRUE(logged.contains("solvane: direct: no 2048-pixel still of intensitygram: HTTP 404"));
    CacheSettings::setScreens(1024, {});

    // Nothing new: the listing's end again, no image, no clip.
    archive->clearRequests();
    outcome = FollowPass::run({"171", "intensitygram"}, newest.addSecs(900));
    EXPECT_TRUE(imageRequests(archive->requests()).isEmpty());
    EXPECT_EQ(outcome.newImages, 0);
    EXPECT_TRUE(outcome.made.isEmpty());
    EXPECT_FALSE(exists("171.2048.jpg")) << "no large still without a large screen";

    // A held copy that no longer matches the listing's beginning: the whole listing is read once.
    const QString held = cached("direct/listings/" + newest.toString("yyyyMMdd") + ".html");
    writeFile(held, readFile(held).mid(1));
    add("171:1");
    archive->clearRequests();
    outcome = FollowPass::run({"171"}, newest.addSecs(1800));
    requests = archive->requests();
    EXPECT_EQ(requests.filter("/index.html 200 ").size(), 1) << requests.join('\n').toStdString();
    EXPECT_EQ(outcome.newImages, 1);

    // A clip that cannot be made says so, with the maker's reason, instead of a bare "no clip re-made".
    ClipMaking::install(
        [](const ClipMaking::Job&) {
            ClipMaking::Outcome failed;
            failed.error = QStringLiteral("could not write the clip: Invalid argument");
            return failed;
        },
        ClipMaking::toPng(), ClipMaking::decodes());
    add("171:1");
    CapturedLog failing;
    outcome = FollowPass::run({"171"}, newest.addSecs(2400));
    logged = QString::fromUtf8(failing.finish());
    DirectClips::install();
    EXPECT_EQ(outcome.failed, QStringList{"171"});
    EXPECT_TRUE(
        logged.contains("solvane: direct: 171: no clip made: could not write the clip: Invalid argument"))
        << logged.toStdString();
    EXPECT_TRUE(logged.contains("new image(s), no clip re-made, no clip made for 171"))
        << logged.toStdString();
}

TEST_F(DirectPass, AMeteredNetworkGetsFirstLightOnly) {
    // The newest image begins a day folder: the rest of the window lies in the one before.
    serve({"--channels", "171", "--hours", "6"}, {}, justPastMidnight());
    Settings::setProducts({"171"});
    CacheSettings::setNetworkMetered(true);
    CapturedLog captured;
    const auto record = Cache::pass(true, false, false);
    const QString logged = QString::fromUtf8(captured.finish());
    CacheSettings::setNetworkMetered(false);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(imageRequests(archive->requests()), QStringList{images("171").last()});
    EXPECT_TRUE(logged.contains("solvane: direct: the network is metered; ")) << logged.toStdString();
    EXPECT_EQ(entry("171")->frameCount, 1);

    // Allowed in Preferences: the 48 hours come.
    Settings::setUseMeteredNetwork(true);
    CacheSettings::setNetworkMetered(true);
    ASSERT_TRUE(Cache::pass(true, false, false).has_value());
    CacheSettings::setNetworkMetered(false);
    EXPECT_EQ(entry("171")->frameCount, slotsWithImages(images("171")));
}

TEST_F(DirectPass, SharperClipsAreMadeFromNasasLargerImages) {
    serve({"--channels", "171", "--hours", "3"});
    Settings::setProducts({"171"});
    // NASA's 2048-pixel image of every observation, listed beside the 1024-pixel one.
    for (const QString& name : images("171")) {
        const QString large = QString(name).replace("_1024_", "_2048_");
        ASSERT_TRUE(QImage(imagePath(name)).scaled(2048, 2048).save(imagePath(large), "JPEG"));
        QFile listing(QFileInfo(imagePath(name)).path() + "/index.html");
        ASSERT_TRUE(listing.open(QIODevice::Append));
        listing.write(("<a href=\"" + large + "\">" + large + "</a>\n").toUtf8());
    }
    CacheSettings::setScreens(1024, {"171"});
    const auto record = Cache::pass(true, false, false);
    CacheSettings::setScreens(1024, {});
    ASSERT_TRUE(record.has_value());
    EXPECT_TRUE(record->failed.isEmpty());
    const QStringList fetched = imageRequests(archive->requests());
    EXPECT_TRUE(fetched.filter("_1024_").isEmpty()) << "no 1024-pixel image for a product made sharper";
    EXPECT_EQ(fetched.filter("_2048_").size(), slotsWithImages(images("171")));
    const QJsonObject stream = probe(cached("171.mp4"));
    EXPECT_EQ(stream.value("width").toInt(), 2048);
    EXPECT_EQ(stream.value("nb_read_frames").toString(), "144");
    EXPECT_EQ(entry("171")->frameCount, slotsWithImages(images("171")));
}
