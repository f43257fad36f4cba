// Measures the refresh pass against nginx on loopback and prints it as ratios against the curl command
// doing the same requests in the same run:
//   1. a checked pass over 12 unchanged products (fixed keys, so every clip and still is revalidated:
//      25 conditional requests answered 304), against one curl process making the same 25 requests;
//   2. a full download of 12 clips of about 2 MB and their stills, against one curl process fetching
//      the same 25 objects to files.
// Usage: bench-cache [rounds]   (default 7; the median of the rounds is reported)
#include "Cache.h"
#include "Catalog.h"
#include "Log.h"
#include "MirrorServers.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double seconds(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

// The object keys a pass asks for, index first, in the pass's order.
QStringList keysOf() {
    QStringList keys{QStringLiteral("manifest/index.json")};
    for (const auto& product : Catalog::all()) {
        keys << QStringLiteral("video/rhef_%1_1k.mp4").arg(product.id);
        keys << QStringLiteral("img/rhef_%1_1k.png").arg(product.id);
    }
    return keys;
}

QString cacheName(const QString& key) {
    if (key == QLatin1String("manifest/index.json")) return QStringLiteral("index.json");
    const QString id = key.section(QLatin1Char('_'), 1, -2);
    return id + (key.endsWith(QLatin1String(".mp4")) ? QStringLiteral(".mp4") : QStringLiteral(".png"));
}

// One curl process for all keys, reusing its connection like the pass does; with `conditional` each
// request carries the ETag the cache holds. Bodies go to files in `out`.
bool curl(const QString& host, const QString& certificate, bool conditional, const QString& out) {
    QStringList arguments{"--silent", "--show-error", "--fail", "--cacert", certificate, "--noproxy", "*"};
    bool first = true;
    for (const QString& key : keysOf()) {
        if (!first)
            arguments << "--next"
                      << "--silent"
                      << "--show-error"
                      << "--cacert" << certificate << "--noproxy"
                      << "*";
        first = false;
        if (conditional) {
            const QString etag = QString::fromUtf8([&] {
                QFile file(Cache::file(cacheName(key) + QStringLiteral(".etag")));
                return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
            }());
            arguments << "-H" << QStringLiteral("If-None-Match: ") + etag;
        }
        arguments << "-o" << out + QLatin1Char('/') + cacheName(key)
                  << QStringLiteral("https://") + host + QLatin1Char('/') + key;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("curl"), arguments);
    return process.waitForFinished(120000) && process.exitCode() == 0;
}

void report(const char* what, double ours, double reference, const char* target) {
    std::printf("%-44s solvane %8.1f ms   curl %8.1f ms   ratio %.2f   (%s)\n", what, ours * 1000,
                reference * 1000, ours / reference, target);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir temp;
    const TestCertificate certificate = TestCertificate::make(temp.path());
    qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
    // The pass's log lines would drown the results.
    Log::redirectStandardError(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    Settings::d().useFile(temp.path() + QStringLiteral("/settings.plist"));

    std::printf("bench-cache: %d rounds, median of each\n", rounds);
    for (const auto& [label, bytes] : {std::pair{"checked pass, 12 unchanged products (25 x 304)", 0},
                                       std::pair{"download, 12 clips of ~2 MB and 12 stills", 2000000}}) {
        const QString root = temp.path() + QStringLiteral("/mirror-%1").arg(bytes);
        if (!makeMirror(root, {"--drop-versioned", "--clip-bytes", QString::number(bytes)})) return 1;
        QDir().mkpath(root + QStringLiteral("-nginx"));
        NginxMirror mirror(root, certificate, root + QStringLiteral("-nginx"));
        if (!mirror.running()) return 1;
        Settings::setImageryHost(mirror.host());
        const QString folder = root + QStringLiteral("-cache");
        const QString curlOut = root + QStringLiteral("-curl");
        QDir().mkpath(curlOut);
        Cache::setDir(folder);
        const bool checked = bytes == 0;
        if (checked) Cache::pass(true, true, true); // fill once; every later pass finds everything current
        std::vector<double> ours, theirs;
        for (int round = 0; round < rounds; ++round) {
            if (!checked) {
                QDir(folder).removeRecursively();
                Cache::setDir(folder);
            }
            ours.push_back(seconds([] { Cache::pass(true, true, true); }));
            theirs.push_back(
                seconds([&] { curl(mirror.host(), certificate.certificate, checked, curlOut); }));
        }
        const double mine = median(ours), reference = median(theirs);
        if (checked) {
            report(label, mine, reference, "time ratio, at most 1.50");
        } else {
            qint64 total = 0;
            for (const QString& key : keysOf())
                total += QFileInfo(Cache::file(cacheName(key))).size();
            report(label, mine, reference, "time ratio");
            std::printf("%-44s solvane %8.1f MB/s curl %8.1f MB/s ratio %.2f   (throughput, at least 0.80)\n",
                        "  throughput", double(total) / mine / 1e6, double(total) / reference / 1e6,
                        reference / mine);
        }
    }
    return 0;
}
