#include "DirectClips.h"

#include "ClipEncoder.h"
#include "SlotPicture.h"

#include <QFile>
#include <QHash>
#include <QImageReader>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// Clips are made in the background: the desktop stays responsive while frames are encoded.
constexpr int lowerPriorityBy = 10;
const char* const credit = "Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams";

bool replace(const QString& from, const QString& to, QString& error) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) return true;
    error = QStringLiteral("could not put ") + to + QStringLiteral(" in place: ") +
            QString::fromLocal8Bit(std::strerror(errno));
    QFile::remove(from);
    return false;
}

bool savePng(const QImage& picture, const QString& png, QString& error) {
    const QString partial = png + QStringLiteral(".tmp");
    // Light compression: a still is written once per clip, and its size matters little beside the clip.
    if (!picture.save(partial, "PNG", 90)) {
        QFile::remove(partial);
        error = QStringLiteral("could not write ") + partial;
        return false;
    }
    return replace(partial, png, error);
}

// Decodes an image, only the part `region` of it (placed by its offset) when it has the clip's size.
QImage decode(const QString& path, const QRect& region = {}, int size = 0) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    if (!region.isValid() || reader.size() != QSize(size, size) || region == QRect(0, 0, size, size))
        return reader.read();
    reader.setClipRect(region);
    QImage part = reader.read();
    part.setOffset(region.topLeft());
    return part;
}

// The newest picture of each channel in the job, for the composite's stretch.
std::vector<QImage> newestPictures(const ClipMaking::Job& job) {
    std::vector<QImage> pictures(job.frames.back().size());
    for (size_t channel = 0; channel < pictures.size(); ++channel)
        for (auto slot = job.frames.rbegin(); slot != job.frames.rend(); ++slot)
            if (channel < size_t(slot->size()) && !slot->at(qsizetype(channel)).isEmpty()) {
                pictures[channel] = decode(slot->at(qsizetype(channel)));
                break;
            }
    return pictures;
}

ClipMaking::Outcome makeHere(const ClipMaking::Job& job) {
    ClipMaking::Outcome outcome;
    if (job.frames.empty()) {
        outcome.error = QStringLiteral("no frames");
        return outcome;
    }
    const QString partial = job.clip + QStringLiteral(".tmp");
    QFile::remove(partial);
    ClipEncoder encoder;
    if (!encoder.open(partial, job.size, job.framesPerSecond, QString::fromLatin1(credit), outcome.error)) {
        QFile::remove(partial);
        return outcome;
    }
    // What does not change between frames is worked out once; a composite is stretched as its newest
    // slot shows each channel, so that the still and the last frame agree.
    SlotPicture::Composer composer(job.kind, int(job.frames.front().size()), job.size);
    if (job.kind == ClipMaking::Kind::ultraviolet) composer.stretchFrom(newestPictures(job));
    // A held slot repeats the frame before it: decode and compose only when the slot's files change.
    QHash<QString, QImage> decoded;
    QStringList previousFiles;
    QImage frame;
    for (const QStringList& files : job.frames) {
        if (files != previousFiles || frame.isNull()) {
            std::vector<QImage> pictures;
            QHash<QString, QImage> keep;
            for (const QString& file : files) {
                QImage picture;
                if (!file.isEmpty()) {
                    picture = decoded.contains(file)
                                  ? decoded.value(file)
                                  : decode(file, composer.region(int(pictures.size())), job.size);
                    if (picture.isNull()) outcome.unreadable << file;
                    keep.insert(file, picture);
                }
                pictures.push_back(picture);
            }
            decoded = std::move(keep);
            frame = composer.compose(pictures);
            previousFiles = files;
        }
        if (!outcome.unreadable.isEmpty()) break;
        if (!encoder.add(frame, outcome.error)) break;
    }
    if (!outcome.unreadable.isEmpty()) {
        outcome.unreadable.removeDuplicates();
        outcome.error =
            QStringLiteral("an image does not decode: ") + outcome.unreadable.join(QStringLiteral(", "));
    }
    if (!outcome.error.isEmpty() || !encoder.finish(outcome.error)) {
        QFile::remove(partial);
        return outcome;
    }
    // The still first: a clip in place always has its still beside it.
    if (!savePng(frame, job.still, outcome.error) || !replace(partial, job.clip, outcome.error)) {
        QFile::remove(partial);
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

} // namespace

ClipMaking::Outcome DirectClips::make(const ClipMaking::Job& job) {
    ClipMaking::Outcome outcome;
    std::thread worker([&job, &outcome] {
        // Nice is per thread on Linux, and threads the encoder starts inherit it.
        const id_t self = id_t(::gettid());
        errno = 0;
        const int now = ::getpriority(PRIO_PROCESS, self);
        if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, now + lowerPriorityBy));
        outcome = makeHere(job);
    });
    worker.join();
    return outcome;
}

bool DirectClips::toPng(const QString& image, const QString& png, QString& error) {
    const QImage picture = decode(image);
    if (picture.isNull()) {
        error = QStringLiteral("the image does not decode");
        return false;
    }
    return savePng(picture, png, error);
}

void DirectClips::install() {
    ClipMaking::install(&DirectClips::make, &DirectClips::toPng);
}
