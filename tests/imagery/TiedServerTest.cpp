// A test that dies with nginx running (a sanitizer's abort, a crash) takes the server with it at once:
// an orphaned nginx kept ctest's output pipe open, and ctest waited out the test's time-out.
#include "MirrorServers.h"
#include "RunningProgram.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

const char* const folderVariable = "SOLVANE_TIED_FOLDER";

// The processes whose parent is `parent`, from /proc.
QStringList childrenOf(qint64 parent) {
    QStringList found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(entry));
        for (const QByteArray& line : status.split('\n'))
            if (line.startsWith("PPid:") && line.mid(5).trimmed().toLongLong() == parent) found << entry;
    }
    return found;
}

// Gone, or a zombie that nobody has reaped yet (outside a test's own process tree, init reaps late).
bool ended(const QString& pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || stat.mid(close + 2, 1) == "Z";
}

} // namespace

// Run only by the test below, in a process of its own: starts nginx, notes its processes, and aborts.
TEST(TiedServer, DISABLED_AbortsWithNginxRunning) {
    const QString folder = qEnvironmentVariable(folderVariable);
    ASSERT_FALSE(folder.isEmpty());
    const TestCertificate certificate{folder + QStringLiteral("/cert.pem"),
                                      folder + QStringLiteral("/key.pem")};
    NginxMirror mirror(folder + QStringLiteral("/root"), certificate, folder + QStringLiteral("/nginx"));
    ASSERT_TRUE(mirror.running());
    QStringList pids;
    ASSERT_TRUE(pollUntil(
        [&] {
            pids = childrenOf(mirror.pid());
            return !pids.isEmpty();
        },
        10000));
    pids << QString::number(mirror.pid());
    writeFile(folder + QStringLiteral("/pids"), pids.join(QLatin1Char(' ')).toUtf8());
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore); // no core file left in the source tree
    std::abort();
}

TEST(TiedServer, NginxEndsWithATestThatAborts) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("root"))));
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("nginx"))));
    ASSERT_FALSE(TestCertificate::make(temp.path()).certificate.isEmpty());

    QElapsedTimer clock;
    clock.start();
    // Waits for the end of the child's output, as ctest does.
    const ProcessResult aborted = runProgram(
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(),
        {"--gtest_also_run_disabled_tests", "--gtest_filter=TiedServer.DISABLED_AbortsWithNginxRunning"}, {},
        {QStringLiteral("%1=%2").arg(folderVariable, temp.path())}, 60000);
    EXPECT_LT(clock.elapsed(), 30000) << "the aborted test's output stayed open";

    const QStringList pids = QString::fromUtf8(readFile(temp.filePath(QStringLiteral("pids")))).split(' ');
    ASSERT_GE(pids.size(), 2) << aborted.out.toStdString() << aborted.err.toStdString();
    EXPECT_TRUE(pollUntil([&] { return std::all_of(pids.begin(), pids.end(), ended); }, 15000))
        << "nginx outlived the test: " << pids.join(' ').toStdString();
}
