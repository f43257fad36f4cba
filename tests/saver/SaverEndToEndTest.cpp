// The hack end to end: Debian's xscreensaver on an Xvfb with two X screens, in a sandbox home of a user
// made for the test (xscreensaver refuses to run hacks as root, and the saver finds the home through the
// user database). The app's installer installs and registers the hack; xscreensaver runs it on both
// screens; the app's cache stays byte-identical.

#include "Cache.h"
#include "SaverInstaller.h"
#include "TestSupport.h"
#include "TiedChild.h"
#include "XScreenSaverHost.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A program left running in the background with its output in a file; killed when dropped.
class Background {
public:
    // Standard output goes to `output`, standard error to `errors` (the same file when not given).
    Background(const QStringList& command, const QStringList& environment, const QString& output,
               const QString& errors = {}) {
        const auto open = [](const QString& path) {
            return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                          0644);
        };
        const int out = open(output);
        const int err = errors.isEmpty() ? -1 : open(errors);
        CStrings argv(command), envp(environment);
        pid_ = spawnTied(argv.data(), environment.isEmpty() ? environ : envp.data(), {out, err});
        if (out >= 0) ::close(out);
        if (err >= 0) ::close(err);
    }
    ~Background() {
        if (pid_ > 0) stop(SIGKILL);
    }
    pid_t pid() const { return pid_; }
    // Sends the signal and waits for the end: the exit status, or -1 when it died of a signal or outlived the
    // wait.
    int stop(int signal = SIGTERM, int milliseconds = 30000) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        QDeadlineTimer deadline(milliseconds);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (deadline.hasExpired()) {
                ::kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                pid_ = -1;
                return -1;
            }
            QThread::msleep(50);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

bool waitFor(const std::function<bool()>& condition, int milliseconds = 60000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(100);
    }
    return true;
}

// Whether a process of the user runs our hack, from /proc (no procps on a bare machine).
bool hackRunning(uid_t uid) {
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QFileInfo process("/proc/" + pid);
        if (!pid.front().isDigit() || process.ownerId() != uid) continue;
        if (readFile(process.filePath() + "/cmdline").contains("solvane-saver")) return true;
    }
    return false;
}

// The real host for files and restarts; its settings window is not opened in a test.
class HostWithoutWindow : public XScreenSaverHost {
public:
    using XScreenSaverHost::XScreenSaverHost;
    bool openSettings() override { return true; }
};

class SaverEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "makes a user of its own for xscreensaver, which needs root";
        ASSERT_FALSE(QStandardPaths::findExecutable("xscreensaver").isEmpty())
            << "scripts/bootstrap installs xscreensaver";
        QFile::setPermissions(sandbox.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                  QFile::ExeOther);
        home = sandbox.filePath("home");
        QDir().mkpath(home);
        user = "slvsaver" + QString::number(getpid());
        const ProcessResult added = runProgram("useradd", {"--system", "--no-create-home", "--home-dir", home,
                                                           "--shell", "/bin/sh", "--user-group", user});
        ASSERT_EQ(added.status, 0) << added.err.constData();
        made = true;
        const passwd* entry = getpwnam(user.toLocal8Bit().constData());
        ASSERT_NE(entry, nullptr);
        uid = entry->pw_uid;
        gid = entry->pw_gid;
    }
    void TearDown() override {
        for (Background* program : {xscreensaver.get(), xvfb.get()})
            if (program) program->stop(SIGTERM, 10000);
        // xscreensaver's helpers may take a moment to go after it; the user goes with the last of them.
        if (made && !waitFor([&] { return runProgram("userdel", {user}).status == 0; }, 20000))
            runProgram("userdel", {"--force", user});
    }

    // Runs a program as the test's user: xscreensaver's own environment, nothing of ours.
    QStringList asUser(const QStringList& command) const {
        return QStringList{"setpriv", "--reuid=" + QString::number(uid), "--regid=" + QString::number(gid),
                           "--clear-groups"} +
               command;
    }
    QStringList userEnvironment() const {
        QStringList environment{"HOME=" + home,
                                "USER=" + user,
                                "LOGNAME=" + user,
                                "SHELL=/bin/sh",
                                "PATH=/usr/local/bin:/usr/bin:/bin",
                                "DISPLAY=" + display};
        // The hack is a sanitizer build: its options come along.
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(name))
                environment << QString(name) + "=" + qEnvironmentVariable(name);
        return environment;
    }
    ProcessResult command(const QString& what) const {
        const QStringList line = asUser({"xscreensaver-command", what});
        return runProgram(line.front(), line.mid(1), {}, {"DISPLAY=" + display, "HOME=" + home}, 30000);
    }
    QString log() const { return QString::fromUtf8(readFile(sandbox.filePath("xscreensaver.log"))); }
    // A picture of each X screen; its centre pixel.
    std::vector<QRgb> centres() const {
        const ProcessResult shot = runProgram(SOLVANE_WALL_SHOT, {sandbox.filePath("shot")}, {},
                                              {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}, 60000);
        std::vector<QRgb> result;
        for (int n = 0; n < 2; ++n) {
            const QImage image(sandbox.filePath("shot-" + QString::number(n) + ".png"));
            result.push_back(image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2));
        }
        return result;
    }

    QTemporaryDir sandbox;
    QString home, user, display;
    uid_t uid = 0;
    gid_t gid = 0;
    bool made = false;
    std::unique_ptr<Background> xvfb, xscreensaver;
};

} // namespace

TEST_F(SaverEndToEnd, XScreenSaverRunsTheInstalledHackOnTheAppsCacheReadOnly) {
    // The app's side: a primed cache and settings that play 193 on screen 0 and nothing on screen 1.
    const QString appCache = home + "/.cache/Solvane";
    Cache::setReadOnly(false);
    Cache::setDir(appCache);
    Cache::seedIfEmpty();
    QDir().mkpath(home + "/.config");
    writeFile(home + "/.config/example.tessly.solvane.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>products</key>"
              "<array><string>193</string><string>off</string></array></dict></plist>\n");
    // The user's xscreensaver settings: two hacks, and the third (ours, once installed) chosen.
    writeFile(home + "/.xscreensaver",
              "fade:\t\tFalse\nunfade:\t\tFalse\nlock:\t\tFalse\nmode:\t\tone\nselected:\t2\n"
              "programs:\t\\\n\t\t\t\tmaze --root \\n\\\n-\t\t\t\tqix --root \\n\n");
    ASSERT_EQ(runProgram("chown", {"-R", user + ":" + user, home}).status, 0);
    const QByteArray cacheBefore = folderFingerprint(appCache);
    const QByteArray settingsBefore = folderFingerprint(home + "/.config");

    xvfb = std::make_unique<Background>(
        QStringList{"Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-screen", "1", "640x480x24",
                    "-nolisten", "tcp", "-noreset"},
        QStringList{}, sandbox.filePath("display"), sandbox.filePath("xvfb.log"));
    ASSERT_TRUE(waitFor([&] { return readFile(sandbox.filePath("display")).contains('\n'); }));
    display = ":" + QString::fromUtf8(readFile(sandbox.filePath("display"))).section('\n', 0, 0).trimmed();
    xscreensaver = std::make_unique<Background>(asUser({"xscreensaver", "-no-splash", "-verbose"}),
                                                userEnvironment(), sandbox.filePath("xscreensaver.log"));
    ASSERT_TRUE(waitFor([&] { return command("-version").status == 0; })) << qPrintable(log());

    // Installed from the app's installer; the restart it asks for goes to this display.
    qputenv("DISPLAY", display.toLocal8Bit());
    auto host = std::make_shared<HostWithoutWindow>(XScreenSaverHost::Places{
        home + "/.xscreensaver", "/etc/X11/app-defaults/XScreenSaver", "xscreensaver-command"});
    const QString installed = home + "/.local/share/Solvane/Screen Savers/Solvane.saver";
    EXPECT_EQ(SaverInstaller::installSaver({QString(SOLVANE_SAVER_BUNDLE), installed, host}),
              "Installed. In XScreenSaver's settings, pick Solvane.");
    qunsetenv("DISPLAY");
    const QString settings = QString::fromUtf8(readFile(home + "/.xscreensaver"));
    EXPECT_TRUE(settings.contains(
        "programs:\t\\\n\t\t\t\tmaze --root \\n\\\n-\t\t\t\tqix --root \\n\\\n\t\t\t\t\"Solvane\"\t'" +
        installed + "/solvane-saver' --root \\n\n"))
        << qPrintable(settings);
    // The restart re-runs xscreensaver in the same process, which then says so again.
    ASSERT_TRUE(waitFor([&] {
        return log().count(": running in process ") == 2 && command("-version").status == 0;
    })) << qPrintable(log());

    // Activated, xscreensaver runs our hack on both screens: the Sun on screen 0, black on screen 1.
    ASSERT_EQ(command("-activate").status, 0) << qPrintable(log());
    const QString cacheLine = "solvane: saver: cache " + appCache + " (the app's, read-only)\n";
    EXPECT_TRUE(waitFor([&] {
        return log().count(cacheLine) == 2 &&
               log().contains("solvane: saver: screen 1 is Off, staying black\n") &&
               log().contains("solvane: playing AIA 193");
    })) << qPrintable(log());
    std::vector<QRgb> centre;
    EXPECT_TRUE(waitFor([&] {
        centre = centres();
        return qGray(centre[0]) > 16;
    })) << "screen 0's centre stayed black";
    EXPECT_EQ(qGray(centre[1]), 0) << "screen 1 is off";

    EXPECT_TRUE(hackRunning(uid));

    // Deactivated, the hacks go; the app's cache and settings are as they were.
    ASSERT_EQ(command("-deactivate").status, 0);
    EXPECT_TRUE(waitFor([&] { return !hackRunning(uid); }));
    EXPECT_EQ(folderFingerprint(appCache), cacheBefore);
    EXPECT_EQ(folderFingerprint(home + "/.config"), settingsBefore);
    EXPECT_FALSE(log().contains("runtime error")) << qPrintable(log());

    // What xscreensaver sends when showing ends, SIGTERM, stops the wall and ends the hack with status 0.
    Background direct(asUser({installed + "/solvane-saver", "--root"}), userEnvironment(),
                      sandbox.filePath("direct.log"));
    EXPECT_TRUE(waitFor([&] { return readFile(sandbox.filePath("direct.log")).contains("playing AIA 193"); }))
        << readFile(sandbox.filePath("direct.log")).constData();
    EXPECT_EQ(direct.stop(SIGTERM), 0) << readFile(sandbox.filePath("direct.log")).constData();
}
