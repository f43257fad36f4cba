#include "FollowCost.h"

#include "Cache.h"
#include "ClipAsset.h"
#include "DirectClips.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cmath>
#include <sys/resource.h>
#include <utility>

namespace {

QSet<QString> pieceFiles(const QString& folder) {
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.mp4")}, QDir::Files);
    return QSet<QString>(names.begin(), names.end());
}

int framesIn(const QString& clip) {
    const auto asset = ClipAsset::open(clip);
    if (!asset) return 0;
    return asset->frameCount.value_or(int(std::lround(asset->durationSeconds * asset->frameRate)));
}

} // namespace

double FollowCost::cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

ClipMaking::Outcome FollowCost::Maker::make(const ClipMaking::Job& job) {
    const double start = cpuSeconds(RUSAGE_SELF);
    ClipMaking::Outcome outcome;
    if (mode_ == Mode::recorded) {
        // Stand-ins for the files a real maker would write; its pieces are left as they were.
        for (const QString& path : {job.clip, job.still})
            Cache::writeAtomically(path, "made in the benchmark");
        outcome.ok = true;
        primed_.remove(job.name);
    } else {
        const QSet<QString> before = pieceFiles(job.pieces);
        outcome = DirectClips::make(job);
        const double spent = cpuSeconds(RUSAGE_SELF) - start;
        if (outcome.ok && primed_.contains(job.name)) {
            int frames = 0;
            for (const QString& name : pieceFiles(job.pieces) - before)
                frames += framesIn(job.pieces + QLatin1Char('/') + name);
            Remake& remake = remakes_[job.name];
            ++remake.count;
            remake.cpuSeconds += (spent - remake.cpuSeconds) / remake.count;
            remake.framesEncoded += (frames - remake.framesEncoded) / remake.count;
            remake.frames = job.frames;
        }
        if (outcome.ok)
            primed_.insert(job.name);
        else
            primed_.remove(job.name);
    }
    if (counting_) ++counts_[job.name];
    inside_ += cpuSeconds(RUSAGE_SELF) - start;
    return outcome;
}

std::map<QString, int> FollowCost::Maker::takeCounts() {
    return std::exchange(counts_, {});
}

double FollowCost::ffmpegSeconds(const QStringList& images, const QString& work) {
    QDir folder(work);
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("."));
    for (int index = 0; index < images.size(); ++index)
        QFile::link(images[index], folder.filePath(QString::asprintf("%05d.jpg", index)));
    const double start = cpuSeconds(RUSAGE_CHILDREN);
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-nostdin", "-y", "-framerate", "18", "-pattern_type", "glob", "-i",
                  folder.filePath(QStringLiteral("*.jpg")), "-c:v", "libx264", "-preset", "veryfast", "-crf",
                  "20", folder.filePath(QStringLiteral("ffmpeg.mp4"))});
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0)
        return -1;
    return cpuSeconds(RUSAGE_CHILDREN) - start;
}
