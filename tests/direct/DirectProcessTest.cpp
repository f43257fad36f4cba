// The command line against the browse stand-in as separate processes: what --refresh says and exits with
// when a wanted product gets no clip and when the disk is full (a small tmpfs in a namespace of its own),
// and a rainbow encode killed part of the way that the next run finishes.
#include "CacheFixture.h"
#include "MirrorServers.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <csignal>
#include <memory>

class DirectProcess : public ::testing::Test {
protected:
    QTemporaryDir temp;
    TestCertificate certificate;
    QString home;
    std::unique_ptr<NginxMirror> archive;

    void serve(const QString& channels, const QString& hours) {
        ASSERT_TRUE(temp.isValid());
        home = temp.path() + QStringLiteral("/home");
        QDir().mkpath(home + QStringLiteral("/.config"));
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        const QString root = temp.path() + QStringLiteral("/archive");
        const QString now =
            QDateTime::currentDateTimeUtc().addSecs(-7200).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        ASSERT_EQ(runProgram(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral(SOLVANE_SOURCE_DIR "/tools/mirror/make_browse.py"), root,
                              "--now", now, "--channels", channels, "--hours", hours})
                      .status,
                  0);
        // Today's folder exists from midnight, empty until its first image.
        const QString today = root + QStringLiteral("/assets/img/browse/") +
                              QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy/MM/dd"));
        if (!QFileInfo::exists(today + QStringLiteral("/index.html"))) {
            QDir().mkpath(today);
            writeFile(today + QStringLiteral("/index.html"), "<html><body></body></html>\n");
        }
        QDir().mkpath(temp.path() + QStringLiteral("/nginx"));
        archive = std::make_unique<NginxMirror>(root, certificate, temp.path() + QStringLiteral("/nginx"));
        ASSERT_TRUE(archive->running());
    }
    void products(const QStringList& ids) const {
        SettingsStore(home + QStringLiteral("/.config/example.tessly.solvane.plist"))
            .set(QStringLiteral("products"), ids);
    }
    QString cacheFolder() const { return home + QStringLiteral("/.cache/Solvane"); }
    QStringList environment() const {
        return {"HOME=" + home, "XDG_CACHE_HOME=" + home + "/.cache", "XDG_CONFIG_HOME=" + home + "/.config",
                "SSL_CERT_FILE=" + certificate.certificate, "SOLVANE_SDO_BASE=https://" + archive->host()};
    }
    std::unique_ptr<QProcess> start(const QStringList& arguments) const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : environment())
            variables.insert(entry.section('=', 0, 0), entry.section('=', 1));
        process->setProcessEnvironment(variables);
        process->start(QStringLiteral(SOLVANE_BINARY), arguments);
        process->waitForStarted();
        return process;
    }
};

TEST_F(DirectProcess, NoClipAndAFullDiskAreToldOnceWithTheirExitStatus) {
    serve(QStringLiteral("171"), QStringLiteral("8"));
    // The temperature map needs a mirror: the source answers, the product gets no clip.
    products({"dem"});
    ProcessResult result = runSolvane({"--refresh"}, {}, environment());
    EXPECT_EQ(result.status, 3) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("solvane: refresh failed: no playable clip for dem\n"))
        << result.err.toStdString();

    // A cache on a file system with room for the built-in clip and a few images. Mounting needs a mount
    // namespace: unshare gives one to any user the system lets have a user namespace.
    products({"171"});
    const QString script = QStringLiteral(
        "mkdir -p \"$XDG_CACHE_HOME\" && mount -t tmpfs -o size=360k tmpfs \"$XDG_CACHE_HOME\" || exit 99; "
        "\"$0\" --refresh; echo \"exit $?\"; \"$0\" --diagnose");
    result = runProgram(QStringLiteral("/usr/bin/unshare"),
                        {"--user", "--map-root-user", "--mount", "sh", "-c", script, SOLVANE_BINARY}, {},
                        environment());
    if (result.status == 99 || result.err.contains("unshare: "))
        GTEST_SKIP() << "no mount namespace here: " << result.err.toStdString();
    const QString err = QString::fromUtf8(result.err);
    const QString out = QString::fromUtf8(result.out);
    const QString cause = QStringLiteral("can't write to ~/.cache/Solvane: No space left on device");
    EXPECT_EQ(err.count("solvane: direct: " + cause + "; no more downloads or clips in this pass"), 1)
        << err.toStdString();
    EXPECT_FALSE(err.contains("could not be written")) << err.toStdString();
    EXPECT_FALSE(err.contains("did not answer")) << err.toStdString();
    EXPECT_TRUE(out.contains("exit 5\n")) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(out.contains("  source NASA SDO, answered\n  " + cause + "\n")) << out.toStdString();
}

TEST_F(DirectProcess, ARainbowEncodeKilledPartOfTheWayGoesOnFromItsPieces) {
    serve(QStringLiteral("94,131,171,193,211,304,335"), QStringLiteral("4"));
    products({"rainbow"});
    const QDir pieces(cacheFolder() + QStringLiteral("/direct/pieces/rainbow"));
    auto first = start({"--refresh"});
    // The first-light clip is made first; once it is in place, a new piece belongs to the full clip.
    QSet<QString> firstLight;
    bool killed = false;
    for (int i = 0; i < 6000 && !killed && !first->waitForFinished(20); ++i) {
        const QStringList now = pieces.entryList({"*.mp4"}, QDir::Files);
        if (!QFileInfo::exists(cacheFolder() + QStringLiteral("/rainbow.mp4"))) {
            firstLight = QSet<QString>(now.begin(), now.end());
            continue;
        }
        for (const QString& name : now)
            killed = killed || !firstLight.contains(name);
    }
    ASSERT_TRUE(killed) << "a piece of the full clip appeared while the first run was making it";
    ::kill(pid_t(first->processId()), SIGKILL);
    first->waitForFinished();

    const ProcessResult second = runSolvane({"--refresh"}, {}, environment());
    const QString err = QString::fromUtf8(second.err);
    EXPECT_EQ(second.status, 0) << err.toStdString();
    EXPECT_TRUE(
        err.contains(QRegularExpression("solvane: direct: rainbow: going on from [1-9][0-9]* of [0-9]+ "
                                        "pieces made before\n")))
        << err.toStdString();
    const ProcessResult probe =
        runProgram(QStringLiteral("ffprobe"),
                   {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=nb_read_frames", "-of", "csv=p=0", cacheFolder() + "/rainbow.mp4"});
    EXPECT_EQ(probe.out.trimmed(), "144");
}
