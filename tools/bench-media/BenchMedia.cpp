// Prints CPU-time ratios of our media work against the ffmpeg command line on the same file, in one run:
// decoding a 1024 x 1024, 144-frame H.264 clip through the player with no presentation wait, against
// `ffmpeg -i clip -f null -`; for that clip and for the bundled seed clip, one newest-frame PNG export, in
// process (and the exact grab within it) and through the program's --export-frame, against ffmpeg writing
// that frame with its default threads and with one thread, against ffmpeg decoding only the frames the
// grab needs, and against the program's own start and exit; the resident size across 1000 player
// starts and stops; and composing one frame of each composite made on this computer from the archive
// stand-in's real imagery, against decoding one of its JPEGs.

#include "Cache.h"
#include "FrameGrabber.h"
#include "Player.h"
#include "ResidentSize.h"
#include "Share.h"
#include "SlotPicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sys/resource.h>
#include <time.h>

namespace {

double selfCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds a child process spent, or a negative value when it failed or ended with another status.
double runChild(const QString& program, const QStringList& arguments, const QStringList& environment = {},
                int status = 0) {
    QProcess process;
    if (!environment.isEmpty()) process.setEnvironment(QProcess::systemEnvironment() + environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double before = childrenCpuSeconds();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != status) return -1;
    return childrenCpuSeconds() - before;
}

// Plays the clip to its end on a virtual clock (no waiting); gives our CPU seconds and the frame count.
// With a target size the player scales every frame to it, as a wall's player does to the wall's size.
std::pair<double, int> playThrough(const QString& clip, QSize target = {}) {
    std::mutex mutex;
    std::condition_variable done;
    int frames = 0;
    bool ended = false;
    Player::Callbacks callbacks;
    callbacks.frame = [&](const VideoFrame&) {
        std::lock_guard lock(mutex);
        ++frames;
    };
    callbacks.end = [&] {
        std::lock_guard lock(mutex);
        ended = true;
        done.notify_all();
    };
    const double before = selfCpuSeconds();
    auto player = Player::open(clip, callbacks, std::make_shared<VirtualClock>(), nullptr, target);
    if (!player) return {-1, 0};
    player->play(1.0);
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return ended; });
    }
    player->stop();
    return {selfCpuSeconds() - before, frames};
}

double best(int rounds, const std::function<double()>& measure) {
    double least = -1;
    for (int i = 0; i < rounds; ++i) {
        const double value = measure();
        if (value >= 0 && (least < 0 || value < least)) least = value;
    }
    return least;
}

// The rainbow and the ultraviolet composite: the CPU of one frame, of the work done once per clip, and
// of decoding one of the 1k JPEGs the frames are made from (the reference), in milliseconds.
bool composeFrames() {
    QTemporaryDir folder;
    if (runChild(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(SOLVANE_SOURCE_DIR "/tools/mirror/sun_pictures.py"), folder.path()}) < 0) {
        std::fprintf(stderr, "bench-media: could not draw the stand-in's pictures\n");
        return false;
    }
    auto picture = [&](const char* code) {
        QImageReader reader(folder.filePath(QString::fromLatin1(code) + QStringLiteral(".jpg")));
        return reader.read();
    };
    const double decode = best(9, [&] {
        const double before = selfCpuSeconds();
        return picture("0171").isNull() ? -1 : selfCpuSeconds() - before;
    });
    const struct {
        const char* name;
        ClipMaking::Kind kind;
        std::vector<const char*> codes;
    } composites[] = {
        {"rainbow", ClipMaking::Kind::rainbow, {"0094", "0131", "0171", "0193", "0211", "0304", "0335"}},
        {"composite_uv", ClipMaking::Kind::ultraviolet, {"1700", "1600", "0304"}}};
    for (const auto& composite : composites) {
        std::vector<QImage> pictures;
        for (const char* code : composite.codes)
            pictures.push_back(picture(code));
        const int size = 1024;
        const double setUp = best(3, [&] {
            const double before = selfCpuSeconds();
            SlotPicture::Composer composer(composite.kind, int(pictures.size()), size);
            composer.stretchFrom(pictures);
            return selfCpuSeconds() - before;
        });
        SlotPicture::Composer composer(composite.kind, int(pictures.size()), size);
        composer.stretchFrom(pictures);
        const int frames = 50;
        const double frame = best(3, [&] {
            const double before = selfCpuSeconds();
            for (int i = 0; i < frames; ++i)
                if (composer.compose(pictures).isNull()) return -1.0;
            return (selfCpuSeconds() - before) / frames;
        });
        // What the frames read of each picture: the rainbow's wedges need only their bounds decoded.
        const double whole = best(3, [&] {
            const double before = selfCpuSeconds();
            for (const char* code : composite.codes)
                if (picture(code).isNull()) return -1.0;
            return selfCpuSeconds() - before;
        });
        const double parts = best(3, [&] {
            const double before = selfCpuSeconds();
            for (size_t i = 0; i < composite.codes.size(); ++i) {
                QImageReader reader(
                    folder.filePath(QString::fromLatin1(composite.codes[i]) + QStringLiteral(".jpg")));
                reader.setClipRect(composer.region(int(i)));
                if (reader.read().isNull()) return -1.0;
            }
            return selfCpuSeconds() - before;
        });
        std::printf("%s: decoding its %zu pictures %.1f ms CPU whole, %.1f ms only what frames show\n",
                    composite.name, composite.codes.size(), whole * 1000, parts * 1000);
        std::printf("%s: composing a frame %.2f ms CPU (goal 5 ms), ratio %.2f against decoding one 1k JPEG "
                    "(%.2f ms); once per clip %.1f ms\n",
                    composite.name, frame * 1000, frame / decode, decode * 1000, setUp * 1000);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!composeFrames()) return 1;
    const QString solvane = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SOLVANE_BINARY);
    QTemporaryDir folder;
    const QString cache = folder.filePath(QStringLiteral("cache/Solvane"));
    QDir().mkpath(cache);
    QDir().mkpath(folder.filePath(QStringLiteral("config")));
    const QString clip = QDir(cache).filePath(QStringLiteral("171.mp4"));
    if (runChild(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc2=s=1024x1024:r=18"),
                  QStringLiteral("-frames:v"), QStringLiteral("144"), QStringLiteral("-c:v"),
                  QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), clip}) <
        0) {
        std::fprintf(stderr, "bench-media: ffmpeg could not make the clip\n");
        return 1;
    }

    const double reference = best(3, [&] {
        return runChild(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), clip,
                         QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    });
    int frames = 0;
    const double ours = best(3, [&] {
        const auto [seconds, count] = playThrough(clip);
        frames = count;
        return seconds;
    });
    std::printf(
        "decode 1024x1024 x144 H.264: player %.0f ms CPU (%d frames), ffmpeg -f null %.0f ms CPU, ratio %.2f "
        "(aim <= 1.05)\n",
        ours * 1000, frames, reference * 1000, ours / reference);

    // A sharper clip: the same picture at 2048 x 2048, both shown on a 2560 x 1440 screen (1440 x 1440).
    const QString sharp = folder.filePath(QStringLiteral("sharp.mp4"));
    if (runChild(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), clip,
                  QStringLiteral("-vf"), QStringLiteral("scale=2048:2048"), QStringLiteral("-c:v"),
                  QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), sharp}) >=
        0) {
        const QSize shown(1440, 1440);
        const double small = best(3, [&] { return playThrough(clip, shown).first; });
        const double large = best(3, [&] { return playThrough(sharp, shown).first; });
        std::printf(
            "decode and scale to 1440x1440, x144: 1024 clip %.0f ms CPU, 2048 clip %.0f ms CPU, ratio %.2f; "
            "files %.1f MB and %.1f MB\n",
            small * 1000, large * 1000, large / small, double(QFileInfo(clip).size()) / 1e6,
            double(QFileInfo(sharp).size()) / 1e6);
    }

    // Two products: the synthetic clip above, whose motion makes every frame depend on the one before, and
    // the bundled seed clip, real solar imagery, whose PNG costs more to compress than its frames to decode.
    const QString seed = QStringLiteral(SOLVANE_SEED_CLIP);
    QFile::copy(seed, QDir(cache).filePath(QStringLiteral("seed.mp4")));
    const QJsonArray manifest{
        QJsonObject{{QStringLiteral("id"), QStringLiteral("171")},
                    {QStringLiteral("label"), QStringLiteral("AIA 171")},
                    {QStringLiteral("video"), QStringLiteral("171.mp4")},
                    {QStringLiteral("updated"), QStringLiteral("2026-12-07T20:40:00Z")}},
        QJsonObject{{QStringLiteral("id"), QStringLiteral("193")},
                    {QStringLiteral("label"), QStringLiteral("AIA 193")},
                    {QStringLiteral("video"), QStringLiteral("seed.mp4")},
                    {QStringLiteral("updated"), QStringLiteral("2013-06-24T17:31:30Z")}}};
    QFile file(QDir(cache).filePath(QStringLiteral("manifest.json")));
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(manifest).toJson());
    file.close();
    Cache::setDir(cache);

    const QStringList environment{
        QStringLiteral("HOME=") + folder.path(),
        QStringLiteral("XDG_CACHE_HOME=") + folder.filePath(QStringLiteral("cache")),
        QStringLiteral("XDG_CONFIG_HOME=") + folder.filePath(QStringLiteral("config"))};
    const bool haveProgram = QFileInfo(solvane).isExecutable();
    // What the program costs before and after any frame: start, settings, cache manifest, exit.
    const double fixed = !haveProgram ? -1 : best(5, [&] {
        return runChild(solvane,
                        {QStringLiteral("--export-frame"), QStringLiteral("uncached"),
                         folder.filePath(QStringLiteral("none.png"))},
                        environment, 1);
    });

    for (const auto& [id, video] : {std::pair{QStringLiteral("171"), QStringLiteral("171.mp4")},
                                    std::pair{QStringLiteral("193"), QStringLiteral("seed.mp4")}}) {
        const QString path = QDir(cache).filePath(video);
        const auto opened = FrameGrabber::open(path);
        if (!opened || !opened->asset().frameCount) {
            std::fprintf(stderr, "bench-media: cannot open %s\n", qPrintable(path));
            return 1;
        }
        const int last = *opened->asset().frameCount - 1;
        const double rate = opened->asset().frameRate;
        const QString select = QStringLiteral("select=eq(n\\,%1)").arg(last);
        const double inProcess = best(5, [&] {
            const double before = selfCpuSeconds();
            const auto png = Share::newestFramePNG(id);
            return png ? selfCpuSeconds() - before : -1;
        });
        // The frame time newestFramePNG takes: the middle of the last slot.
        const double grab = best(5, [&] {
            const double before = selfCpuSeconds();
            const auto image =
                FrameGrabber::frameOf(path, (last + 0.5) / rate, FrameGrabber::Tolerance::exact);
            return image ? selfCpuSeconds() - before : -1;
        });
        const double ffmpegFrame = best(5, [&] {
            return runChild(QStringLiteral("ffmpeg"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                             QStringLiteral("-i"), path, QStringLiteral("-vf"), select,
                             QStringLiteral("-frames:v"), QStringLiteral("1"),
                             folder.filePath(QStringLiteral("ffmpeg.png"))});
        });
        // The same frame from ffmpeg on one thread, as we decode: every frame up to it is decoded.
        const double ffmpegOneThread = best(5, [&] {
            return runChild(QStringLiteral("ffmpeg"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                             QStringLiteral("-threads"), QStringLiteral("1"), QStringLiteral("-i"), path,
                             QStringLiteral("-vf"), select, QStringLiteral("-frames:v"), QStringLiteral("1"),
                             folder.filePath(QStringLiteral("ffmpeg1.png"))});
        });
        // The least any exact grab of the last frame decodes: every frame something refers to, on one
        // thread, with nothing converted or written.
        const double ffmpegFloor = best(5, [&] {
            return runChild(QStringLiteral("ffmpeg"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-threads"),
                             QStringLiteral("1"), QStringLiteral("-skip_frame"), QStringLiteral("noref"),
                             QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("null"),
                             QStringLiteral("-")});
        });
        std::printf(
            "%s newest frame PNG in process: %.0f ms CPU (exact grab %.0f ms, the rest %.0f ms); ffmpeg "
            "frame %d to PNG %.0f ms CPU, ratio %.2f; on one thread %.0f ms CPU, ratio %.2f; ffmpeg "
            "decoding only the frames the grab needs %.0f ms CPU\n",
            qPrintable(video), inProcess * 1000, grab * 1000, (inProcess - grab) * 1000, last,
            ffmpegFrame * 1000, inProcess / ffmpegFrame, ffmpegOneThread * 1000, inProcess / ffmpegOneThread,
            ffmpegFloor * 1000);
        if (!haveProgram) continue;
        const double whole = best(5, [&] {
            return runChild(
                solvane, {QStringLiteral("--export-frame"), id, folder.filePath(QStringLiteral("out.png"))},
                environment);
        });
        std::printf(
            "%s solvane --export-frame end to end: %.0f ms CPU (goal < 200), ratio %.2f against ffmpeg's "
            "frame, %.2f against ffmpeg on one thread, %.2f against ffmpeg's decoding alone; start and "
            "exit alone %.0f ms CPU\n",
            qPrintable(video), whole * 1000, whole / ffmpegFrame, whole / ffmpegOneThread,
            whole / ffmpegFloor, fixed * 1000);
    }

    long warm = 0;
    for (int i = 0; i < 1000; ++i) {
        auto player = Player::open(clip, {}, std::make_shared<VirtualClock>());
        if (!player) return 1;
        player->stop();
        if (i == 99) warm = residentKilobytes();
    }
    std::printf("1000 player starts and stops: resident %ld kB after 100, %ld kB after 1000\n", warm,
                residentKilobytes());
    return 0;
}
