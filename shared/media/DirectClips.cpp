#include "DirectClips.h"

#include "Cache.h"
#include "ClipEncoder.h"
#include "Log.h"
#include "SlotPicture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QImageWriter>
#include <QSet>
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
// A piece is eight hours of slots: a window is six or seven of them, so an encode stopped part of the way
// keeps most of its work, and a clip a few slots newer encodes only its newest piece (and the oldest).
constexpr int pieceSlots = 24;
// Changes whenever the way a piece is encoded changes, so that older pieces are not joined to newer ones.
// A single channel's JPEGs go to the encoder in their own YCbCr; composites are made in RGB.
const char* pieceFormat(ClipMaking::Kind kind) {
    return kind == ClipMaking::Kind::single ? "h264 crf20 veryfast 2 jpeg-yuv" : "h264 crf20 veryfast 1";
}
const QString unfinishedNote = QStringLiteral("unfinished");
// The PNG writer's quality, which sets zlib's level (lossless at any; 90 stored the pixels uncompressed,
// 0 is the strongest level). On a 1024-pixel still 50 writes a third of the bytes of 90 in about 0.1 s,
// within 2% of 0's size at a seventh of its time: 0 would add some 0.75 s to a day's clip of about 2 s.
constexpr int stillQuality = 50;

bool replace(const QString& from, const QString& to, QString& error, QString& writeFailure) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) return true;
    writeFailure = QString::fromLocal8Bit(std::strerror(errno));
    error = QStringLiteral("could not put ") + to + QStringLiteral(" in place: ") + writeFailure;
    QFile::remove(from);
    return false;
}

bool savePng(const QImage& picture, const QString& png, QString& error, QString& writeFailure) {
    const QString partial = png + QStringLiteral(".tmp");
    QFile out(partial);
    bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (written) {
        QImageWriter writer(&out, "PNG");
        // Compressed for size: a still is written once per clip and kept, read many times.
        writer.setQuality(stillQuality);
        written = writer.write(picture) && out.flush();
    }
    if (!written) {
        if (out.error() != QFileDevice::NoError) writeFailure = out.errorString();
        error = QStringLiteral("could not write ") + partial +
                (writeFailure.isEmpty() ? QString() : QStringLiteral(": ") + writeFailure);
        out.close();
        QFile::remove(partial);
        return false;
    }
    out.close();
    return replace(partial, png, error, writeFailure);
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

// The frames of a job, slot by slot: a slot with the same files as the one before repeats its frame, so
// each image is decoded and each frame composed once however many slots hold it. What does not change
// between frames is worked out once; a composite is stretched as its newest slot shows each channel, so
// that the still and the last frame agree.
class Frames {
public:
    explicit Frames(const ClipMaking::Job& job)
        : job_(job), composer_(job.kind, int(job.frames.front().size()), job.size) {
        if (job.kind == ClipMaking::Kind::ultraviolet) composer_.stretchFrom(newestPictures(job));
    }

    const SlotPicture::Composer& composer() const { return composer_; }

    // The frame of `slot` decoded straight to the clip's pixels, for a single channel; a null picture
    // when it must go through RGB (a composite, a channel missing, another size, FFmpeg refusing it).
    const ClipPicture& direct(int slot) {
        const QStringList& files = job_.frames[size_t(slot)];
        if (directMade_ && files == directFiles_) return direct_;
        // Let go of the last picture first: the decoder then uses its memory again.
        direct_ = ClipPicture();
        if (job_.kind == ClipMaking::Kind::single && files.size() == 1 && !files.front().isEmpty())
            direct_ = decoder_.decode(files.front(), job_.size);
        directFiles_ = files;
        directMade_ = true;
        return direct_;
    }

    // The frame of `slot`; a null image when one of its files does not decode (named in `unreadable`).
    const QImage& at(int slot) {
        const QStringList& files = job_.frames[size_t(slot)];
        if (composed_ && files == previous_) return frame_;
        std::vector<QImage> pictures;
        QHash<QString, QImage> keep;
        bool whole = true;
        for (const QString& file : files) {
            QImage picture;
            if (!file.isEmpty()) {
                picture = decoded_.contains(file)
                              ? decoded_.value(file)
                              : decode(file, composer_.region(int(pictures.size())), job_.size);
                if (picture.isNull()) {
                    whole = false;
                    if (!unreadable.contains(file)) unreadable << file;
                }
                keep.insert(file, picture);
            }
            pictures.push_back(picture);
        }
        decoded_ = std::move(keep);
        frame_ = whole ? composer_.compose(pictures) : QImage();
        previous_ = files;
        composed_ = true;
        return frame_;
    }

    QStringList unreadable;

private:
    const ClipMaking::Job& job_;
    SlotPicture::Composer composer_;
    QHash<QString, QImage> decoded_;
    QStringList previous_;
    QImage frame_;
    bool composed_ = false;
    QStringList directFiles_;
    ClipPictureDecoder decoder_;
    ClipPicture direct_;
    bool directMade_ = false;
};

struct Piece {
    int from = 0;
    int count = 0;
    QString file;
};

// A piece's file is named after everything that decides its frames (the composite's stretch included), so
// a piece on disk is reused only for exactly the same frames.
QString pieceName(const ClipMaking::Job& job, const SlotPicture::Composer& composer, int from, int count) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray(pieceFormat(job.kind)) + ' ' + QByteArray::number(int(job.kind)) + ' ' +
                 QByteArray::number(job.size) + ' ' + QByteArray::number(job.framesPerSecond) + '\n');
    for (const SlotPicture::Stretch& stretch : composer.stretches())
        hash.addData(
            QByteArrayView(reinterpret_cast<const char*>(stretch.data()), qsizetype(stretch.size())));
    for (int slot = from; slot < from + count; ++slot) {
        for (const QString& file : job.frames[size_t(slot)])
            hash.addData(QFileInfo(file).fileName().toUtf8() + ' ' +
                         QByteArray::number(file.isEmpty() ? 0 : QFileInfo(file).size()) + ';');
        hash.addData("\n");
    }
    return QString::fromLatin1(hash.result().toHex().left(24)) + QStringLiteral(".mp4");
}

// The job's slots in pieces whose edges fall on whole multiples of pieceSlots counted from the epoch.
std::vector<Piece> piecesOf(const ClipMaking::Job& job, const SlotPicture::Composer& composer) {
    std::vector<Piece> pieces;
    const int total = int(job.frames.size());
    for (int from = 0; from < total;) {
        const qint64 slot = job.firstSlot + from;
        const int count =
            std::min<int>(total - from, pieceSlots - int(((slot % pieceSlots) + pieceSlots) % pieceSlots));
        pieces.push_back(
            {from, count, job.pieces + QLatin1Char('/') + pieceName(job, composer, from, count)});
        from += count;
    }
    return pieces;
}

// Encodes slots [from, from + count) into `path` (replaced only when complete); false with the reason in
// the outcome, which names every image of those slots that does not decode.
bool encode(const ClipMaking::Job& job, Frames& frames, int from, int count, const QString& path,
            ClipMaking::Outcome& outcome) {
    const QString partial = path + QStringLiteral(".tmp");
    QFile::remove(partial);
    ClipEncoder encoder;
    bool ok =
        encoder.open(partial, job.size, job.framesPerSecond, QString::fromLatin1(credit), outcome.error);
    for (int slot = from; ok && slot < from + count; ++slot) {
        if (const ClipPicture& picture = frames.direct(slot); !picture.isNull()) {
            ok = encoder.add(picture, outcome.error);
            continue;
        }
        const QImage& frame = frames.at(slot);
        ok = !frame.isNull() && encoder.add(frame, outcome.error);
    }
    ok = ok && encoder.finish(outcome.error);
    if (!ok) {
        outcome.writeFailure = encoder.writeFailure();
        QFile::remove(partial);
        return false;
    }
    return replace(partial, path, outcome.error, outcome.writeFailure);
}

ClipMaking::Outcome makeHere(const ClipMaking::Job& job) {
    ClipMaking::Outcome outcome;
    if (job.frames.empty()) {
        outcome.error = QStringLiteral("no frames");
        return outcome;
    }
    Frames frames(job);
    const QString partial = job.clip + QStringLiteral(".tmp");
    QFile::remove(partial);
    bool made = false;
    if (job.pieces.isEmpty()) {
        made = encode(job, frames, 0, int(job.frames.size()), partial, outcome);
    } else {
        QDir().mkpath(job.pieces);
        const std::vector<Piece> pieces = piecesOf(job, frames.composer());
        QSet<QString> wanted;
        for (const Piece& piece : pieces)
            wanted.insert(QFileInfo(piece.file).fileName());
        for (const QString& name : QDir(job.pieces).entryList({QStringLiteral("*.mp4")}, QDir::Files))
            if (!wanted.contains(name)) QFile::remove(job.pieces + QLatin1Char('/') + name);
        QSet<QString> ready;
        for (const QString& name : wanted)
            if (QFileInfo::exists(job.pieces + QLatin1Char('/') + name)) ready.insert(name);
        // A run that was stopped or killed left this note: say how far it had come.
        const QString note = job.pieces + QLatin1Char('/') + unfinishedNote;
        if (QFileInfo::exists(note) && !ready.isEmpty())
            log(QStringLiteral("direct: %1: going on from %2 of %3 pieces made before")
                    .arg(job.name)
                    .arg(ready.size())
                    .arg(wanted.size()),
                LogArea::cache);
        // Written quietly: on a full disk the piece that follows says so.
        Cache::writeAtomically(note, QByteArrayLiteral("a clip is being made from these pieces\n"));
        made = true;
        for (const Piece& piece : pieces) {
            const QString name = QFileInfo(piece.file).fileName();
            if (ready.contains(name)) continue;
            if (Cache::stopRequested()) {
                outcome.stopped = true;
                outcome.error = QStringLiteral("stopped");
                log(QStringLiteral("direct: %1: %2 of %3 pieces made before the stop; the next pass goes on "
                                   "from there")
                        .arg(job.name)
                        .arg(ready.size())
                        .arg(wanted.size()),
                    LogArea::cache);
                return outcome;
            }
            if (!encode(job, frames, piece.from, piece.count, piece.file, outcome)) {
                made = false;
                break;
            }
            ready.insert(name);
        }
        QStringList files;
        for (const Piece& piece : pieces)
            files << piece.file;
        made = made && ClipEncoder::join(files, partial, QString::fromLatin1(credit), outcome.error,
                                         outcome.writeFailure);
    }
    if (!frames.unreadable.isEmpty()) {
        // Every image that does not decode is named at once, so that one pass sets them all aside.
        for (int slot = 0; slot < int(job.frames.size()); ++slot)
            frames.at(slot);
        outcome.unreadable = frames.unreadable;
        outcome.error =
            QStringLiteral("an image does not decode: ") + outcome.unreadable.join(QStringLiteral(", "));
    }
    if (!made || !outcome.unreadable.isEmpty()) {
        QFile::remove(partial);
        return outcome;
    }
    // The still first: a clip in place always has its still beside it.
    const QImage& newest = frames.at(int(job.frames.size()) - 1);
    if (newest.isNull() || !savePng(newest, job.still, outcome.error, outcome.writeFailure) ||
        !replace(partial, job.clip, outcome.error, outcome.writeFailure)) {
        if (newest.isNull()) outcome.unreadable = frames.unreadable;
        QFile::remove(partial);
        return outcome;
    }
    if (!job.pieces.isEmpty()) QFile::remove(job.pieces + QLatin1Char('/') + unfinishedNote);
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
    QString writeFailure;
    return savePng(picture, png, error, writeFailure);
}

bool DirectClips::decodes(const QString& image, QString& error) {
    QImageReader reader(image);
    reader.setAutoTransform(false);
    // A small size is enough to find what a decoder refuses, and the JPEG decoder then skips most of
    // its work: every byte of the scan is still read.
    reader.setScaledSize(QSize(128, 128));
    if (!reader.read().isNull()) return true;
    error = QStringLiteral("it does not decode (") + reader.errorString() + QLatin1Char(')');
    return false;
}

void DirectClips::install() {
    ClipMaking::install(&DirectClips::make, &DirectClips::toPng, &DirectClips::decodes);
}
