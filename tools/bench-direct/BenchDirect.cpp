// Measures the pass that reads NASA SDO's browse archive, against a stand-in served by nginx on
// loopback at 2.5 MB/s (1250 kB/s per connection; the pass opens at most two):
//   1. first light: from an empty cache with default settings (rainbow, 171, 304), the seconds and bytes
//      until the manifest lists a playable product of ours, against the goal of 60 s; then the whole pass;
//   2. the CPU of assembling one 144-slot clip (decode, compose, encode), against the ffmpeg command
//      encoding the same frames with the same settings;
//   3. a pass with nothing new: its CPU and requests, against the goal of under 1 s of CPU;
//   4. a refresh from a fresh home that makes the rainbow, against one that makes a single channel (171)
//      from the same archive (served without a rate limit): the CPU of each whole pass.
// Also for 2: the same clip through RGB as single channels were made before, and the still's PNG at the old
// and the new compression (size and time).
// Usage: bench-direct [hours] [--clip]   (default 50; seven channels of real imagery at their real sizes;
//        with --clip only 2, on 171 alone, default 24 hours: 144 slots)
#include "BrowseFetch.h"
#include "Cache.h"
#include "DirectClips.h"
#include "MirrorServers.h"
#include "Settings.h"
#include "SettingsStore.h"

#include "ClipEncoder.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace {

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool firstLightShown(const QString& manifest) {
    QFile file(manifest);
    if (!file.open(QIODevice::ReadOnly)) return false;
    for (const auto& entry : QJsonDocument::fromJson(file.readAll()).array())
        if (entry.toObject().value("video").toString() != "seed.mp4") return true;
    return false;
}

double childCpu(const QString& program, const QStringList& arguments, const QString& folder) {
    const double before = cpuSeconds(RUSAGE_CHILDREN);
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    process.waitForFinished(600000);
    return cpuSeconds(RUSAGE_CHILDREN) - before;
}

// Writes `picture` as PNG at `quality` (QImageWriter's: 0 is zlib's strongest level) three times: the
// size in bytes and the fastest time in milliseconds.
std::pair<qint64, double> pngCost(const QImage& picture, int quality) {
    qint64 bytes = 0;
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QElapsedTimer clock;
        clock.start();
        QImageWriter writer(&buffer, "PNG");
        writer.setQuality(quality);
        writer.write(picture);
        best = std::min(best, double(clock.nsecsElapsed()) / 1e6);
        bytes = buffer.size();
    }
    return {bytes, best};
}

// One clip of a single channel from `paths` (one image a slot), against the ffmpeg command on the same
// frames; the still's PNG at the old and the new compression.
void oneClip(const QStringList& paths, const QString& work) {
    ClipMaking::Job job;
    QDir frames(work + "/frames");
    frames.mkpath(".");
    for (int slot = 0; slot < paths.size(); ++slot) {
        job.frames.push_back({paths[slot]});
        QFile::link(paths[slot], frames.filePath(QString::asprintf("%05d.jpg", slot)));
    }
    job.clip = work + "/ours.mp4";
    job.still = work + "/ours.png";
    double cpu = cpuSeconds(RUSAGE_SELF);
    const ClipMaking::Outcome made = DirectClips::make(job);
    const double oursCpu = cpuSeconds(RUSAGE_SELF) - cpu;
    const double ffmpegCpu = childCpu("ffmpeg",
                                      {"-v",
                                       "error",
                                       "-nostdin",
                                       "-y",
                                       "-framerate",
                                       "18",
                                       "-i",
                                       frames.filePath("%05d.jpg"),
                                       "-frames:v",
                                       QString::number(paths.size()),
                                       "-c:v",
                                       "libx264",
                                       "-preset",
                                       "veryfast",
                                       "-crf",
                                       "20",
                                       "-pix_fmt",
                                       "yuv420p",
                                       "-r",
                                       "18",
                                       "-movflags",
                                       "+faststart",
                                       work + "/ffmpeg.mp4"},
                                      work);
    std::printf("one %lld-slot clip: %.2f s CPU, ffmpeg %.2f s CPU: ratio %.2f%s\n", qint64(paths.size()),
                oursCpu, ffmpegCpu, oursCpu / ffmpegCpu, made.ok ? "" : " (our clip FAILED)");
    // The plain command, as one would type it in the folder of JPEGs: it keeps the JPEGs' full range.
    const double plainCpu =
        childCpu("ffmpeg",
                 {"-v", "error", "-nostdin", "-y", "-framerate", "18", "-pattern_type", "glob", "-i", "*.jpg",
                  "-c:v", "libx264", "-preset", "veryfast", "-crf", "20", work + "/ffmpeg-plain.mp4"},
                 frames.path());
    std::printf("one %lld-slot clip: %.2f s CPU, ffmpeg -framerate 18 -pattern_type glob -i '*.jpg' -c:v "
                "libx264 -preset veryfast -crf 20: %.2f s CPU: ratio %.2f\n",
                qint64(paths.size()), oursCpu, plainCpu, oursCpu / plainCpu);
    // The way a single channel was encoded before: each JPEG decoded to RGB, converted to YUV.
    cpu = cpuSeconds(RUSAGE_SELF);
    {
        ClipEncoder encoder;
        QString error;
        bool ok = encoder.open(work + "/rgb.mp4", job.size, job.framesPerSecond, QString(), error);
        for (const QString& path : paths) {
            QImageReader reader(path);
            reader.setAutoTransform(false);
            ok = ok && encoder.add(reader.read().convertToFormat(QImage::Format_RGB32), error);
        }
        ok = ok && encoder.finish(error);
        const double rgbCpu = cpuSeconds(RUSAGE_SELF) - cpu;
        std::printf("the same clip through RGB (as before): %.2f s CPU: ratio %.2f against the first ffmpeg, "
                    "%.2f against the plain one%s\n",
                    rgbCpu, rgbCpu / ffmpegCpu, rgbCpu / plainCpu, ok ? "" : " (FAILED)");
    }
    QImageReader newest(paths.back());
    newest.setAutoTransform(false);
    const QImage still = newest.read().convertToFormat(QImage::Format_RGB32);
    const auto before = pngCost(still, 90);
    const auto after = pngCost(still, 50);
    std::printf("still PNG by quality:");
    for (const int quality : {90, 80, 60, 50, 40, 30, 20, 0}) {
        const auto cost = pngCost(still, quality);
        std::printf(" %d: %lld bytes %.1f ms;", quality, cost.first, cost.second);
    }
    std::printf("\n");
    QImage written(job.still);
    std::printf(
        "still PNG: before (quality 90) %lld bytes in %.1f ms, now (quality 50) %lld bytes in %.1f ms: "
        "%.2f of the size, %.2f of the time; ours.png %lld bytes, %s the newest JPEG's pixels\n",
        before.first, before.second, after.first, after.second, double(after.first) / double(before.first),
        after.second / before.second, QFileInfo(job.still).size(), written == still ? "exactly" : "NOT");
}

} // namespace

int main(int argc, char** argv) {
    const bool clipOnly = argc > 1 && QByteArray(argv[argc - 1]) == "--clip";
    const int given = argc - (clipOnly ? 2 : 1);
    const QString hours =
        given > 0 ? QString::fromLocal8Bit(argv[1]) : QString::fromLatin1(clipOnly ? "24" : "50");
    QTemporaryDir temp;
    Settings::d().useFile(temp.path() + "/settings.plist");
    Cache::setDir(temp.path() + "/cache");
    const TestCertificate certificate = TestCertificate::make(temp.path());
    qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
    qunsetenv("SOLVANE_ORIGIN_HOST");
    const QString root = temp.path() + "/archive";
    QProcess layout;
    layout.setProcessChannelMode(QProcess::ForwardedChannels);
    layout.start("/usr/bin/python3", {SOLVANE_SOURCE_DIR "/tools/mirror/make_browse.py", root, "--channels",
                                      clipOnly ? "171" : "94,131,171,193,211,304,335", "--hours", hours});
    if (!layout.waitForFinished(600000) || layout.exitCode() != 0) {
        std::fprintf(stderr, "bench-direct: could not lay out the stand-in\n");
        return 1;
    }
    if (clipOnly) {
        // Section 2 alone, on the stand-in's own files: every 171 image at 1024 pixels, oldest first.
        QStringList paths;
        QDirIterator found(root + "/assets/img/browse", {"*_1024_0171.jpg"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (found.hasNext())
            paths << found.next();
        paths.sort();
        oneClip(paths, temp.path());
        return 0;
    }
    QDir().mkpath(temp.path() + "/nginx");
    NginxMirror archive(root, certificate, temp.path() + "/nginx", "limit_rate 1250k;");
    if (!archive.running()) {
        std::fprintf(stderr, "bench-direct: nginx did not start\n");
        return 1;
    }
    qputenv("SOLVANE_SDO_BASE", ("https://" + archive.host()).toUtf8());
    DirectClips::install();
    Cache::seedIfEmpty();

    // 1. First light and the whole first pass.
    std::atomic<bool> done{false};
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    std::thread pass([&done] {
        Cache::pass(true, false, true);
        done = true;
    });
    double firstLight = -1;
    BrowseFetch::Counters atFirstLight;
    while (!done) {
        if (firstLight < 0 && firstLightShown(Cache::file("manifest.json"))) {
            firstLight = double(clock.nsecsElapsed()) / 1e9;
            atFirstLight = BrowseFetch::counters();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pass.join();
    const double whole = double(clock.nsecsElapsed()) / 1e9;
    const double wholeCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    const BrowseFetch::Counters afterFirst = BrowseFetch::counters();
    std::printf("first light: %.1f s (goal 60 s: %.2f of it), %lld requests, %.1f MB\n", firstLight,
                firstLight / 60.0, atFirstLight.requests, double(atFirstLight.bytes) / 1e6);
    std::printf("whole first pass: %.1f s, %lld requests, %.1f MB, %.1f s CPU\n", whole, afterFirst.requests,
                double(afterFirst.bytes) / 1e6, wholeCpu);

    // 2. One 144-slot clip from the 171 images the pass kept, against ffmpeg on the same frames.
    QStringList names = QString::fromUtf8([&] {
                            QFile f(Cache::file("direct/171.frames"));
                            f.open(QIODevice::ReadOnly);
                            return f.readAll();
                        }())
                            .split('\n', Qt::SkipEmptyParts);
    QStringList paths;
    for (const QString& name : names)
        paths << Cache::file("direct/0171/" + name);
    oneClip(paths, temp.path());

    // 3. A pass with nothing new.
    const BrowseFetch::Counters before = BrowseFetch::counters();
    const double cpu = cpuSeconds(RUSAGE_SELF);
    clock.restart();
    Cache::pass(true, false, true);
    const double idleCpu = cpuSeconds(RUSAGE_SELF) - cpu;
    const BrowseFetch::Counters after = BrowseFetch::counters();
    std::printf(
        "pass with nothing new: %.3f s CPU (goal 1 s: %.2f of it), %.2f s, %lld requests, %lld bytes\n",
        idleCpu, idleCpu, double(clock.nsecsElapsed()) / 1e9, after.requests - before.requests,
        after.bytes - before.bytes);

    // 4. Fresh homes, one product each.
    QDir().mkpath(temp.path() + "/nginx-fast");
    NginxMirror fast(root, certificate, temp.path() + "/nginx-fast");
    if (!fast.running()) {
        std::fprintf(stderr, "bench-direct: nginx did not start\n");
        return 1;
    }
    qputenv("SOLVANE_SDO_BASE", ("https://" + fast.host()).toUtf8());
    auto freshRefresh = [&](const QString& product) {
        Cache::setDir(temp.path() + "/fresh-" + product);
        Settings::setProducts({product});
        const double start = cpuSeconds(RUSAGE_SELF);
        const auto record = Cache::pass(true, false, true);
        const double spent = cpuSeconds(RUSAGE_SELF) - start;
        return record && record->failed.isEmpty() ? spent : -1.0;
    };
    const double single = freshRefresh("171");
    const double rainbow = freshRefresh("rainbow");
    std::printf(
        "refresh from a fresh home: rainbow %.2f s CPU, 171 alone %.2f s CPU: ratio %.2f (goal 4)%s\n",
        rainbow, single, rainbow / single, single < 0 || rainbow < 0 ? " (a pass FAILED)" : "");
    return 0;
}
