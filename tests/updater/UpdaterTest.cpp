// The updater end to end against nginx over HTTPS (a feed, signed tarballs, a per-user install tree in a
// temporary folder), its refusals, and the three moments an update installs at.

#include "Updater.h"
#include "Appcast.h"
#include "BuildInfo.h"
#include "MirrorServers.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "UpdateFiles.h"
#include "UserInstall.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// Starts a program without waiting for it; its pid, or -1.
pid_t spawnProgram(const QString& program, const QStringList& arguments) {
    CStrings argv(QStringList{program} + arguments);
    pid_t pid = -1;
    return posix_spawn(&pid, argv.data()[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Every path under `root` with its kind and link target: what "nothing changed on disk" compares.
QStringList listing(const QString& root) {
    QStringList lines;
    QDir::Filters filters = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    std::function<void(const QString&)> walk = [&](const QString& folder) {
        for (const QFileInfo& info : QDir(folder).entryInfoList(filters, QDir::Name)) {
            lines << info.filePath() + (info.isSymLink() ? " -> " + info.symLinkTarget() : QString());
            if (info.isDir() && !info.isSymLink()) walk(info.filePath());
        }
    };
    walk(root);
    return lines;
}

TEST(UpdaterRules, FeedVersionsAndTheMomentOfInstalling) {
    const QByteArray feed =
        R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
      <item><sparkle:version>3</sparkle:version><sparkle:shortVersionString>1.3</sparkle:shortVersionString>
        <enclosure url="https://example.org/3.tar.gz" length="10" sparkle:edSignature="c2ln"/></item>
      <item><sparkle:version>9</sparkle:version><enclosure url="https://example.org/9.tar.gz" length="10"/></item>
      <item><sparkle:version>8</sparkle:version>
        <enclosure url="http://example.org/8.tar.gz" length="10" sparkle:edSignature="c2ln"/></item>
      <item><enclosure url="https://example.org/2.tar.gz" length="10" sparkle:version="2"
        sparkle:shortVersionString="1.2" sparkle:edSignature="c2ln"/></item>
    </channel></rss>)";
    const std::vector<AppcastItem> items = Appcast::parse(feed);
    ASSERT_EQ(items.size(), 2u) << "an item without a signature or over plain http is no update";
    EXPECT_EQ(items[1].displayVersion, QStringLiteral("1.2"));
    EXPECT_EQ(Appcast::newest(items, "2")->displayVersion, QStringLiteral("1.3"));
    EXPECT_FALSE(Appcast::newest(items, "3"));
    QString error;
    EXPECT_TRUE(Appcast::parse("<rss><channel><item>", &error).empty());
    EXPECT_FALSE(error.isEmpty());

    const struct {
        const char* a;
        const char* b;
        int sign;
    } versions[] = {
        {"1.10", "1.9", 1}, {"2", "2.0", 0}, {"12", "13", -1}, {"1.2b", "1.2a", 1}, {"0.1.0", "0.1", 0}};
    for (const auto& row : versions)
        EXPECT_EQ((Appcast::compareVersions(row.a, row.b) > 0) - (Appcast::compareVersions(row.a, row.b) < 0),
                  row.sign)
            << row.a << " vs " << row.b;

    const struct {
        QString version;
        bool usable;
    } names[] = {{"2.0", true},  {"1.2.3+b4", true}, {"v_1-rc", true},   {QString(64, 'a'), true},
                 {"", false},    {".", false},       {"..", false},      {".x", false},
                 {"a/b", false}, {"-x", false},      {"current", false}, {QString(65, 'a'), false},
                 {"a b", false}, {"2.0\n", false}};
    for (const auto& row : names)
        EXPECT_EQ(UserInstall::usableVersion(row.version), row.usable) << row.version.toStdString();

    const struct {
        const char* url;
        bool usable;
    } feeds[] = {{"https://updates.example.org/appcast.xml", true},
                 {"", false},
                 {"https://updates.solvane.example/appcast.xml", false},
                 {"https://example/appcast.xml", false},
                 {"https://feed.invalid/a", false},
                 {"https://feed.TEST/a", false},
                 {"https://localhost:8443/a", false},
                 {"https://a.localhost/a", false},
                 {"http://updates.example.org/appcast.xml", false},
                 {"updates.example.org/appcast.xml", false}};
    for (const auto& row : feeds)
        EXPECT_EQ(Updater::usableBuiltInFeed(row.url), row.usable) << row.url;
    EXPECT_TRUE(Updater::usableKey(SigningKey::make().publicKey));
    for (const char* key : {"", "c2ln", "not base64 at all!!", "AAAA"})
        EXPECT_FALSE(Updater::usableKey(key)) << key;

    EXPECT_EQ(
        Updater::relaunchArguments({"--kiosk", "solvane://settings", "--seconds", "5", "SOLVANE:look/x"}),
        (QStringList{"--kiosk", "--seconds", "5"}));
    EXPECT_TRUE(Updater::relaunchInPlace({"--start", "--kiosk"}));
    EXPECT_FALSE(Updater::relaunchInPlace({"--start"}));

    using W = Updater::When;
    const struct {
        bool controller, installNow;
        Mode mode;
        bool showing, preferences;
        W when;
    } moments[] = {
        {false, true, Mode::kiosk, false, false, W::onQuit},
        {true, true, Mode::wall, true, true, W::now},
        {true, false, Mode::kiosk, true, false, W::overnight},
        {true, false, Mode::desktop, false, false, W::now},
        {true, false, Mode::desktop, false, true, W::onQuit},
        {true, false, Mode::desktop, true, false, W::onQuit},
        {true, false, Mode::wall, false, false, W::onQuit},
        {true, false, Mode::saver, false, false, W::onQuit},
    };
    for (const auto& row : moments)
        EXPECT_EQ(updateMoment(row.controller, row.installNow, row.mode, row.showing, row.preferences),
                  row.when);
}

class UpdaterOverHttps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        Settings::d().useFile(temp.filePath("settings.plist"));
        served = temp.filePath("served");
        ASSERT_TRUE(QDir().mkpath(served));
        QFile::setPermissions(temp.path(),
                              QFile::permissions(temp.path()) | QFile::ReadOther | QFile::ExeOther);
        certificate = TestCertificate::make(temp.path());
        ASSERT_FALSE(certificate.certificate.isEmpty());
        QDir().mkpath(temp.filePath("nginx"));
        mirror = std::make_unique<NginxMirror>(served, certificate, temp.filePath("nginx"));
        ASSERT_TRUE(mirror->running());
        qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
        Settings::d().set(Settings::Key::updateFeed, "https://" + mirror->host() + "/appcast.xml");
        root = temp.filePath("opt");
        makeUserInstall(root, "1");
    }
    void TearDown() override {
        qunsetenv("SSL_CERT_FILE");
        Settings::d().useFile(temp.filePath("after.plist"));
    }

    // Serves `tarball` under a name, and a feed naming it with the given length and signature.
    void serve(const QByteArray& tarball, const QString& version, const QString& display, qint64 length,
               const QString& signature) {
        mirror->clearRequests();
        writeFile(served + "/solvane.tar.gz", tarball);
        const QString url = "https://" + mirror->host() + "/solvane.tar.gz";
        writeFile(served + "/appcast.xml", appcast({{version, display, url, length, signature, {}}}));
    }

    std::unique_ptr<Updater> updater(Updater::When when) {
        Updater::Environment environment;
        environment.now = [this] { return clock; };
        environment.calendar = QTimeZone::utc();
        environment.publicKey = key.publicKey;
        environment.currentVersion = "1";
        environment.install = UserInstall(root);
        environment.arguments = QStringList{"--kiosk", "solvane://settings"};
        environment.relaunch = [this](const QString& executable, const QStringList& arguments) {
            relaunched << (QStringList{executable} + arguments).join(' ');
        };
        environment.tell = [this](const QString& text) { told << text; };
        auto made = std::make_unique<Updater>(std::move(environment));
        made->when = [when] { return when; };
        return made;
    }

    // Asks as the person would and waits for the answer.
    void checkNow(Updater& target) {
        int finished = 0;
        const QMetaObject::Connection connection =
            QObject::connect(&target, &Updater::checkFinished, [&finished] { ++finished; });
        target.checkNow();
        QElapsedTimer waited;
        waited.start();
        while (finished == 0 && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QObject::disconnect(connection);
        ASSERT_EQ(finished, 1);
    }

    QTemporaryDir temp;
    QString served, root;
    TestCertificate certificate;
    std::unique_ptr<NginxMirror> mirror;
    SigningKey key = SigningKey::make();
    QDateTime clock = QDateTime(QDate(2026, 12, 8), QTime(14, 0), QTimeZone::utc());
    QStringList relaunched, told;
};

bool downloaded(const NginxMirror& mirror) {
    return mirror.requests().join('\n').contains("/solvane.tar.gz");
}

TEST_F(UpdaterOverHttps, RefusesWhatItCannotTrustAndChangesNothing) {
    const QByteArray good = installTree("2.0");
    const QByteArray climbing = makeTarball({{"bin/solvane", "#!/bin/sh\n"}, {"../escaped", "x"}});
    const QByteArray absolute =
        makeTarball({{"bin/solvane", "#!/bin/sh\n"}, {temp.filePath("absolute"), "x"}});
    const QByteArray leaving =
        makeTarball({{"bin/solvane", "#!/bin/sh\n"}, {"share/up", {}, TarEntry::Kind::link, "../../.."}});
    const QByteArray oneLevelOut =
        makeTarball({{"bin/solvane", "#!/bin/sh\n"}, {"share/up", {}, TarEntry::Kind::link, "../.."}});
    // Each link stays inside when read alone; together the second climbs through the first.
    const QByteArray chained = makeTarball({{"bin/solvane", "#!/bin/sh\n"},
                                            {"a/up", {}, TarEntry::Kind::link, ".."},
                                            {"a/b/c/out2", {}, TarEntry::Kind::link, "../../up/../.."},
                                            {"a/b/c/out2/escaped", "x"}});
    const QByteArray belowALink = makeTarball({{"bin/solvane", "#!/bin/sh\n"},
                                               {"share/lib", {}, TarEntry::Kind::link, "../bin"},
                                               {"share/lib/extra", "x"}});
    const QByteArray twice = makeTarball({{"bin/solvane", "#!/bin/sh\n"},
                                          {"share/solvane", {}, TarEntry::Kind::link, "../bin"},
                                          {"share/solvane", {}, TarEntry::Kind::folder}});
    const QByteArray unnamed = makeTarball({{"bin/solvane", "#!/bin/sh\n"}});
    const QByteArray older = installTree("0.9");
    const struct {
        const char* name;
        QByteArray served;
        QString version;
        qint64 length;
        QString signature;
        const char* line;
        QString display = "2.0";
    } cases[] = {
        {"bad signature", good, "2", good.size(), key.sign(good + "x"),
         "update: refused 2.0: the signature does not match the download"},
        {"wrong length", good, "2", good.size() + 1, key.sign(good), "update: refused 2.0: the download is"},
        {"truncated download", good.left(good.size() / 2), "2", good.size(), key.sign(good),
         "update: refused 2.0: the download is"},
        {"lower version", good, "0", good.size(), key.sign(good), "update: 1 is the newest version"},
        {"dot-dot path", climbing, "2", climbing.size(), key.sign(climbing),
         "update: could not install 2.0: the tarball names a path outside its tree: ../escaped"},
        {"absolute path", absolute, "2", absolute.size(), key.sign(absolute),
         "update: could not install 2.0: the tarball names a path outside its tree: /"},
        {"link out of the tree", leaving, "2", leaving.size(), key.sign(leaving),
         "update: could not install 2.0: the tarball holds a link that leaves its tree: share/up"},
        {"link one level out", oneLevelOut, "2", oneLevelOut.size(), key.sign(oneLevelOut),
         "update: could not install 2.0: the tarball holds a link that leaves its tree: share/up"},
        {"a chain of links", chained, "2", chained.size(), key.sign(chained),
         "update: could not install 2.0: the tarball holds"},
        {"a file below a link", belowALink, "2", belowALink.size(), key.sign(belowALink),
         "update: could not install 2.0: the tarball holds an entry below its link share/lib: "
         "share/lib/extra"},
        {"one path twice", twice, "2", twice.size(), key.sign(twice),
         "update: could not install 2.0: the tarball names a path twice: share/solvane"},
        {"signed as another version", older, "2", older.size(), key.sign(older),
         "update: could not install 2.0: the download holds version 0.9, the feed says 2.0"},
        {"the feed names the link current", unnamed, "2", unnamed.size(), key.sign(unnamed),
         "update: could not install current: the version \"current\" cannot name a folder", "current"},
        {"the feed names the parent folder", unnamed, "2", unnamed.size(), key.sign(unnamed),
         "update: could not install ..: the version \"..\" cannot name a folder", ".."},
    };
    writeFile(temp.filePath("beside"), "the person's file\n");
    const QStringList before = listing(temp.filePath("opt"));
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        serve(row.served, row.version, row.display, row.length, row.signature);
        auto target = updater(Updater::When::now);
        CapturedLog log;
        checkNow(*target);
        const QByteArray text = log.finish();
        EXPECT_TRUE(text.contains(row.line)) << text.constData();
        EXPECT_EQ(listing(temp.filePath("opt")), before);
        EXPECT_EQ(runProgram(root + "/current/bin/solvane", {}).out, QByteArray("1\n"));
        EXPECT_EQ(readFile(temp.filePath("beside")), QByteArray("the person's file\n"));
        EXPECT_FALSE(QFileInfo::exists(temp.filePath("escaped")) ||
                     QFileInfo::exists(temp.filePath("absolute")));
        EXPECT_TRUE(relaunched.isEmpty());
        EXPECT_EQ(told.size(), 1) << "a person who asked hears the outcome";
        told.clear();
    }

    {
        SCOPED_TRACE("a build without a usable key checks but downloads nothing");
        const QByteArray good = installTree("2.0");
        serve(good, "2", "2.0", good.size(), key.sign(good));
        const QString kept = key.publicKey;
        key.publicKey = "c2ln";
        auto target = updater(Updater::When::now);
        key.publicKey = kept;
        CapturedLog log;
        checkNow(*target);
        EXPECT_TRUE(log.finish().contains("update: 2.0 is available; this build carries no key to check "
                                          "downloads with, so it does not download it"));
        EXPECT_FALSE(downloaded(*mirror));
        EXPECT_EQ(listing(temp.filePath("opt")), before);
        told.clear();
    }
    Settings::d().remove(Settings::Key::updateFeed);
    if (!Updater::usableBuiltInFeed(QString::fromLatin1(BuildInfo::feedURL))) {
        SCOPED_TRACE("a build without a feed reads nothing");
        mirror->clearRequests();
        auto target = updater(Updater::When::now);
        CapturedLog log;
        checkNow(*target);
        EXPECT_TRUE(log.finish().contains("update: no update feed in this build"));
        EXPECT_TRUE(mirror->requests().isEmpty());
        EXPECT_EQ(told.size(), 1);
        told.clear();
    }

    Settings::setOffline(true);
    auto target = updater(Updater::When::now);
    CapturedLog log;
    checkNow(*target);
    const QString offline = "Offline is on in Solvane's Settings, so it is not checking for updates.";
    EXPECT_TRUE(log.finish().contains(("update: " + offline).toUtf8()));
    EXPECT_EQ(told, QStringList{offline});
}

TEST_F(UpdaterOverHttps, InstallsNowOvernightOrOnQuit) {
    const QByteArray good = installTree("2.0");
    serve(good, "2", "2.0", good.size(), key.sign(good));
    const auto current = [this] { return QFileInfo(root + "/current").symLinkTarget(); };
    const auto runs = [this] { return runProgram(root + "/current/bin/solvane", {}).out; };

    {
        SCOPED_TRACE("now");
        auto target = updater(Updater::When::now);
        CapturedLog log;
        checkNow(*target);
        EXPECT_TRUE(log.finish().contains("update: installing 2.0 now and relaunching"));
        EXPECT_EQ(current(), root + "/2.0");
        EXPECT_EQ(runs(), QByteArray("2.0\n"));
        EXPECT_EQ(relaunched, QStringList{root + "/current/bin/solvane --kiosk"})
            << "relaunched with this run's switches, not its links";
        EXPECT_TRUE(QFileInfo::exists(root + "/1/bin/solvane"))
            << "the previous version stays for a rollback";
        EXPECT_TRUE(QFileInfo(root + "/2.0/share/solvane/latest").isSymLink());
    }

    makeUserInstall(root, "1");
    relaunched.clear();
    {
        SCOPED_TRACE("on quit");
        auto target = updater(Updater::When::onQuit);
        CapturedLog log;
        checkNow(*target);
        EXPECT_TRUE(log.finish().contains("update: 2.0 downloaded; installs on quit"));
        EXPECT_EQ(current(), root + "/1");
        mirror->clearRequests();
        CapturedLog again;
        checkNow(*target);
        EXPECT_TRUE(again.finish().contains("update: 2.0 is downloaded already and waits to install"));
        EXPECT_FALSE(downloaded(*mirror)) << "what waits for quit is not downloaded at every check";
        target->installOnQuit();
        EXPECT_EQ(current(), root + "/2.0");
        EXPECT_TRUE(relaunched.isEmpty());
    }

    makeUserInstall(root, "1");
    {
        SCOPED_TRACE("overnight, through a missed quiet hour, then at 03:00");
        Updater::When when = Updater::When::overnight;
        auto target = updater(when);
        target->when = [&when] { return when; };
        CapturedLog log;
        checkNow(*target);
        const QDateTime night = QDateTime(QDate(2026, 12, 9), QTime(3, 0), QTimeZone::utc());
        EXPECT_EQ(target->nightlyAt(), night);
        clock = night.addSecs(-1); // the timer woke a moment early: it waits the rest
        target->installIfStillQuiet();
        EXPECT_EQ(current(), root + "/1");
        EXPECT_EQ(target->nightlyAt(), night);
        clock = QDateTime(QDate(2026, 12, 9), QTime(5, 10), QTimeZone::utc()); // slept through it
        target->installIfStillQuiet();
        EXPECT_EQ(current(), root + "/1");
        EXPECT_EQ(target->nightlyAt(), night.addDays(1));
        clock = night.addDays(1);
        target->installIfStillQuiet();
        const QByteArray text = log.finish();
        EXPECT_EQ(text.count("update: 2.0 downloaded; this kiosk installs it at 2026-12-09T03:00:00+00:00"),
                  1);
        EXPECT_TRUE(
            text.contains("update: 2.0 downloaded; this kiosk installs it at 2026-12-10T03:00:00+00:00"));
        EXPECT_EQ(current(), root + "/2.0");
        EXPECT_EQ(relaunched.size(), 1);

        SCOPED_TRACE("the kiosk became a wall before the night: it waits for quit");
        makeUserInstall(root, "1");
        when = Updater::When::overnight;
        clock = QDateTime(QDate(2026, 12, 10), QTime(14, 0), QTimeZone::utc());
        checkNow(*target);
        when = Updater::When::onQuit;
        clock = target->nightlyAt().value_or(QDateTime());
        target->installIfStillQuiet();
        EXPECT_EQ(current(), root + "/1");
        target->installOnQuit();
        EXPECT_EQ(current(), root + "/2.0");
        EXPECT_EQ(relaunched.size(), 1);
    }
}

// A portable install takes the portable build from a feed that also offers the install tree (a newer
// one, here), unpacked from its folder; an install tree takes the install tree.
TEST_F(UpdaterOverHttps, APortableInstallTakesOnlyThePortableBuild) {
    const QByteArray tree = installTree("3.0");
    const QByteArray portable = installTree("2.0", "solvane-2.0", Compression::xz);
    writeFile(served + "/solvane-3.0.tar.gz", tree);
    writeFile(served + "/solvane-2.0-linux-x86_64.tar.xz", portable);
    const QString base = "https://" + mirror->host() + "/";
    writeFile(served + "/appcast.xml",
              appcast({{"3", "3.0", base + "solvane-3.0.tar.gz", tree.size(), key.sign(tree), {}},
                       {"2", "2.0", base + "solvane-2.0-linux-x86_64.tar.xz", portable.size(),
                        key.sign(portable), Appcast::portableOs}}));
    for (const bool isPortable : {true, false}) {
        SCOPED_TRACE(isPortable ? "portable" : "install tree");
        QDir(root).removeRecursively();
        makeUserInstall(root, "1");
        if (isPortable && QDir().mkpath(root + "/1/share/solvane"))
            writeFile(root + "/1/share/solvane/bundle", "");
        checkNow(*updater(Updater::When::now));
        const QString version = isPortable ? "2.0" : "3.0";
        EXPECT_EQ(QFileInfo(root + "/current").symLinkTarget(), root + "/" + version);
        EXPECT_EQ(runProgram(root + "/current/bin/solvane", {}).out, (version + "\n").toUtf8());
        EXPECT_TRUE(QFileInfo(root + "/current/share/solvane/latest").isSymLink());
    }
}

// An install killed at any moment leaves `current` naming a whole version; the next install succeeds.
TEST(UserInstallSwap, KilledAtAnyMomentLeavesAWorkingCurrent) {
    QTemporaryDir temp;
    const QString root = temp.filePath("opt");
    makeUserInstall(root, "1");
    const QString tarball = temp.filePath("update.tar.gz");
    std::vector<TarEntry> entries{{"bin/solvane", "#!/bin/sh\necho new\n"}};
    for (int i = 0; i < 200; ++i)
        entries.push_back(
            {QStringLiteral("share/solvane/file%1").arg(i), QByteArray(4096, char('a' + i % 26))});
    writeFile(tarball, makeTarball(entries));
    for (int round = 0; round < 24; ++round) {
        const QString version = QStringLiteral("v%1").arg(round);
        const pid_t child = spawnProgram(QStringLiteral(UPDATE_INSTALL_CHILD), {root, tarball, version});
        ASSERT_GT(child, 0);
        QThread::usleep(quint64(round % 12) * 2500);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const QFileInfo current(root + "/current/bin/solvane");
        ASSERT_TRUE(current.isExecutable()) << "round " << round;
    }
    const ProcessResult finished = runProgram(QStringLiteral(UPDATE_INSTALL_CHILD), {root, tarball, "last"});
    EXPECT_EQ(finished.status, 0) << finished.err.toStdString();
    EXPECT_EQ(QFileInfo(root + "/current").symLinkTarget(), root + "/last");
    EXPECT_EQ(runProgram(root + "/current/bin/solvane", {}).out, QByteArray("new\n"));
    const QStringList left = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_LE(left.size(), 3) << left.join(' ').toStdString() << ": the new, the previous and current";
}

} // namespace
