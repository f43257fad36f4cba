// The command-line actions as separate processes against nginx on loopback: --prime, --refresh, two
// (and six) refreshes at once, --prime killed at random moments or stopped by a signal, and --diagnose.
#include "CacheFixture.h"
#include "MirrorServers.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QThread>
#include <QTimeZone>
#include <csignal>
#include <memory>

namespace {

struct Finished {
    int status = -1;
    QString err;
    QString out;
};

} // namespace

class CacheProcess : public ::testing::Test {
protected:
    QTemporaryDir temp;
    TestCertificate certificate;
    QString root;
    QString home;
    std::unique_ptr<NginxMirror> mirror;

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        home = temp.path() + QStringLiteral("/home");
        QDir().mkpath(home + QStringLiteral("/.config"));
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        root = temp.path() + QStringLiteral("/mirror");
        ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z"}));
        QDir().mkpath(temp.path() + QStringLiteral("/nginx"));
        mirror = std::make_unique<NginxMirror>(root, certificate, temp.path() + QStringLiteral("/nginx"));
        ASSERT_TRUE(mirror->running());
        setting(QStringLiteral("imageryHost"), mirror->host());
    }

    QString cacheFolder() const { return home + QStringLiteral("/.cache/Solvane"); }
    QByteArray cached(const QString& name) const { return readFile(cacheFolder() + QLatin1Char('/') + name); }

    void setting(const QString& key, const QVariant& value) const {
        SettingsStore store(home + QStringLiteral("/.config/example.tessly.solvane.plist"));
        store.set(key, value);
    }

    std::unique_ptr<QProcess> start(const QStringList& arguments) const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("SSL_CERT_FILE"), certificate.certificate);
        environment.insert(QStringLiteral("SOLVANE_ORIGIN_HOST"),
                           QStringLiteral("127.0.0.1:%1").arg(unusedPort()));
        // The products a mirror does not publish (HMI's) are asked of NASA SDO's archive: here, of nothing.
        environment.insert(QStringLiteral("SOLVANE_SDO_BASE"),
                           QStringLiteral("https://127.0.0.1:%1").arg(unusedPort()));
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(SOLVANE_BINARY), arguments);
        process->waitForStarted();
        return process;
    }

    static Finished finish(QProcess& process) {
        Finished result;
        if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
            result.status = process.exitCode();
        result.err = QString::fromUtf8(process.readAllStandardError());
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        return result;
    }
    Finished run(const QStringList& arguments) const { return finish(*start(arguments)); }
};

TEST_F(CacheProcess, PrimeFillsAndAnImmediateRefreshAsksNothing) {
    Finished primed = run({"--prime"});
    ASSERT_EQ(primed.status, 0) << primed.err.toStdString();
    EXPECT_TRUE(
        primed.err.contains(QStringLiteral("solvane: cache was empty, seeded with the bundled clip")));
    EXPECT_TRUE(
        primed.err.contains(QStringLiteral("solvane: pass: checked, 12 clips moved, 0 products dropped")));
    EXPECT_FALSE(primed.err.contains(QStringLiteral("priming the cache"))); // no terminal, no progress
    const auto manifest = CacheEntry::list(cached(QStringLiteral("manifest.json")));
    ASSERT_TRUE(manifest.has_value());
    EXPECT_EQ(manifest->size(), 12u);
    EXPECT_EQ(manifest->front().id, QStringLiteral("rainbow"));
    EXPECT_FALSE(cached(QStringLiteral("lastpass.json")).isEmpty());

    // Keep every product on screen so nothing is pruned, then refresh at once: not due, nothing missing.
    setting(QStringLiteral("products"), QStringList{QString()});
    mirror->clearRequests();
    Finished refreshed = run({"--refresh"});
    EXPECT_EQ(refreshed.status, 0);
    EXPECT_TRUE(mirror->requests().isEmpty()) << mirror->requests().join('\n').toStdString();
    // Both switches: only the ordinary refresh runs (a full pass would check the index).
    for (const QStringList& both :
         {QStringList{"--prime", "--refresh"}, QStringList{"--refresh", "--prime"}}) {
        EXPECT_EQ(run(both).status, 0);
        EXPECT_TRUE(mirror->requests().isEmpty()) << mirror->requests().join('\n').toStdString();
    }

    // Due: the index is revalidated (304) and no held versioned clip is asked for again.
    setting(QStringLiteral("lastCheck"), QDateTime::currentDateTimeUtc().addDays(-2));
    Finished due = run({"--refresh"});
    EXPECT_EQ(due.status, 0);
    const QStringList requests = mirror->requests();
    ASSERT_EQ(requests.size(), 1) << requests.join('\n').toStdString();
    EXPECT_TRUE(requests[0].startsWith(QStringLiteral("GET /manifest/index.json 304 ")));
}

TEST_F(CacheProcess, TwoRefreshesAtOnceRunOnePass) {
    // A slow mirror keeps the first pass busy while the second starts.
    FaultServer slow(root, certificate, temp.path());
    ASSERT_TRUE(slow.running());
    slow.setFaults({{QStringLiteral("/manifest/index.json"), QJsonObject{{"kind", "slow"}, {"delay", 3}}}});
    setting(QStringLiteral("imageryHost"), slow.host());
    ASSERT_EQ(run({"--diagnose"}).status, 0); // the cache folder exists before the race
    auto first = start({"--refresh"});
    auto second = start({"--refresh"});
    const Finished a = finish(*first);
    const Finished b = finish(*second);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    const QString busy = QStringLiteral("solvane: a refresh is already running");
    EXPECT_NE(a.err.contains(busy), b.err.contains(busy)) << a.err.toStdString() << "\n---\n"
                                                          << b.err.toStdString();
    // The second waited for the first and took its result: the index was asked for once.
    const QString waited = QStringLiteral("solvane: refresh: waiting for it to finish (at most 20 minutes)");
    EXPECT_EQ(a.err.contains(waited), a.err.contains(busy));
    EXPECT_EQ(slow.requests().filter(QStringLiteral("/manifest/index.json")).size(), 1)
        << slow.requests().join('\n').toStdString();
}

TEST_F(CacheProcess, APrimeKilledAtAnyMomentLeavesOnlyCompleteClipsListed) {
    ASSERT_TRUE(makeMirror(root, {"--updated", "2026-10-01T05:40:00Z", "--clip-bytes", "400000"}));
    const QByteArray seed = readFile(QStringLiteral("resources/seed.mp4"));
    QString published = QStringLiteral("2026-10-01T05:40:00Z");
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        if (run % 2 == 0) {
            QDir(cacheFolder()).removeRecursively();
        } else {
            // Later runs replace clips already held with newer ones.
            published = QStringLiteral("2026-10-02T%1:00:00Z").arg(run, 2, 10, QLatin1Char('0'));
            ASSERT_TRUE(makeMirror(root, {"--updated", published, "--clip-bytes", "400000"}));
        }
        auto prime = start({"--prime"});
        QThread::msleep(QRandomGenerator::global()->bounded(100, 1600));
        prime->kill();
        prime->waitForFinished();

        const QByteArray bytes = cached(QStringLiteral("manifest.json"));
        if (bytes.isEmpty()) continue; // killed before the seed: nothing listed, nothing to check
        const auto entries = CacheEntry::list(bytes);
        ASSERT_TRUE(entries.has_value()) << bytes.toStdString();
        for (const CacheEntry& entry : *entries) {
            const QByteArray clip = cached(entry.video);
            if (entry.video == QStringLiteral("seed.mp4")) {
                // The seed entry is written after the copy is in place; a missing copy hides the entry.
                EXPECT_TRUE(clip.isEmpty() || clip == seed);
                continue;
            }
            const QString source = QString::fromUtf8(cached(entry.video + QStringLiteral(".src"))).trimmed();
            ASSERT_FALSE(clip.isEmpty()) << entry.video.toStdString();
            // The clip is one the mirror published, byte for byte.
            bool whole = false;
            for (const QString& file :
                 QDir(root + QStringLiteral("/v/") + entry.id).entryList({QStringLiteral("*.mp4")}))
                whole = whole ||
                        readFile(root + QStringLiteral("/v/") + entry.id + QLatin1Char('/') + file) == clip;
            EXPECT_TRUE(whole) << entry.video.toStdString() << " from " << source.toStdString();
        }
    }
}

TEST_F(CacheProcess, DiagnoseShowsTheHomeAsTilde) {
    Finished fresh = run({"--diagnose"});
    ASSERT_EQ(fresh.status, 0);
    EXPECT_TRUE(fresh.out.contains(QStringLiteral("\n  folder ~/.cache/Solvane\n  0 product(s) on disk\n")));
    EXPECT_TRUE(fresh.out.contains(QStringLiteral("\nLast pass\n  none recorded\n")));
    EXPECT_FALSE(fresh.out.contains(home));
    ASSERT_EQ(run({"--prime"}).status, 0);
    Finished after = run({"--diagnose"});
    EXPECT_TRUE(after.out.contains(
        QStringLiteral("\n  12 product(s) on disk\n  rainbow: clip through 2026-10-01T05:40:00Z, "
                       "still 2026-10-01T05:40:00Z, 6 real frames\n")));
    EXPECT_TRUE(after.out.contains(QStringLiteral("\n  host ") + mirror->host() +
                                   QStringLiteral("\n  listed 12, moved 12, pruned 0, failed intensitygram "
                                                  "magnetogram\n")));
}

TEST_F(CacheProcess, SixRefreshesOnAnEmptyCacheSeedOnce) {
    std::vector<std::unique_ptr<QProcess>> running;
    for (int i = 0; i < 6; ++i)
        running.push_back(start({"--refresh"}));
    QString everything;
    for (auto& process : running) {
        const Finished done = finish(*process);
        EXPECT_EQ(done.status, 0) << done.err.toStdString();
        everything += done.err;
    }
    EXPECT_EQ(everything.count(QStringLiteral("seeded with the bundled clip")), 1)
        << everything.toStdString();
    EXPECT_FALSE(everything.contains(QStringLiteral("could not copy"))) << everything.toStdString();
    EXPECT_FALSE(everything.contains(QStringLiteral("manifest not written"))) << everything.toStdString();
    EXPECT_TRUE(QFileInfo(cacheFolder() + QStringLiteral("/CACHEDIR.TAG")).isFile());
}

TEST_F(CacheProcess, ASignalStopsAPassCleanly) {
    FaultServer stalling(root, certificate, temp.path());
    ASSERT_TRUE(stalling.running());
    // Every clip sends half and then stalls for a minute: the signal arrives mid-download.
    stalling.setFaults({{QStringLiteral(".mp4"), QJsonObject{{"kind", "stall"}, {"delay", 60}}}});
    setting(QStringLiteral("imageryHost"), stalling.host());
    const QDir folder(cacheFolder());
    for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        SCOPED_TRACE(status);
        auto prime = start({"--prime"});
        // Wait (generously) until a download is in hand.
        for (int i = 0; i < 600 && folder.entryList({QStringLiteral("*.mp4.tmp")}, QDir::Files).isEmpty();
             ++i)
            QThread::msleep(100);
        ASSERT_FALSE(folder.entryList({QStringLiteral("*.mp4.tmp")}, QDir::Files).isEmpty());
        ::kill(pid_t(prime->processId()), signal);
        const Finished done = finish(*prime);
        EXPECT_EQ(done.status, status) << done.err.toStdString();
        EXPECT_TRUE(done.err.contains(QStringLiteral("solvane: pass: stopped, "))) << done.err.toStdString();
        EXPECT_EQ(folder.entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden), QStringList());
        EXPECT_TRUE(CacheEntry::list(cached(QStringLiteral("manifest.json"))).has_value());
    }
    // A temporary file of ours that a killed process left is removed by the next pass; others stay.
    writeFile(cacheFolder() + QStringLiteral("/171.mp4.tmp"), "half");
    writeFile(cacheFolder() + QStringLiteral("/notes.txt.tmp"), "mine");
    stalling.setFaults({});
    const Finished refreshed = run({"--prime"});
    EXPECT_EQ(refreshed.status, 0) << refreshed.err.toStdString();
    EXPECT_TRUE(refreshed.err.contains(QStringLiteral("removed a temporary file left behind: 171.mp4.tmp")));
    EXPECT_EQ(folder.entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("notes.txt.tmp")});
}

TEST_F(CacheProcess, NoSourceAnsweringExitsTwoWithTheReasonAndKeepsTheCache) {
    setting(QStringLiteral("imageryHost"), QStringLiteral("127.0.0.1:%1").arg(unusedPort()));
    Finished primed = run({"--prime"});
    EXPECT_EQ(primed.status, 2) << primed.err.toStdString();
    EXPECT_TRUE(primed.err.contains(QStringLiteral("\nsolvane: prime failed: can't reach 127.0.0.1:")))
        << primed.err.toStdString();
    const QByteArray seeded = cached(QStringLiteral("manifest.json"));
    EXPECT_TRUE(seeded.contains("seed.mp4"));
    QString error;
    const auto recorded = Cache::LastPass::fromJson(
        QJsonDocument::fromJson(cached(QStringLiteral("lastpass.json"))).object(), error);
    ASSERT_TRUE(recorded.has_value());
    EXPECT_FALSE(recorded->reached);

    setting(QStringLiteral("lastCheck"), QDateTime::currentDateTimeUtc().addDays(-2));
    Finished refreshed = run({"--refresh"});
    EXPECT_EQ(refreshed.status, 2) << refreshed.err.toStdString();
    EXPECT_TRUE(refreshed.err.contains(QStringLiteral("solvane: refresh failed: can't reach ")));
    EXPECT_EQ(cached(QStringLiteral("manifest.json")), seeded);

    // Offline, a refresh runs no pass and is no failure; a source answering again is success.
    setting(QStringLiteral("offline"), true);
    EXPECT_EQ(run({"--refresh"}).status, 0);
    setting(QStringLiteral("offline"), false);
    setting(QStringLiteral("imageryHost"), mirror->host());
    EXPECT_EQ(run({"--prime"}).status, 0);
}
