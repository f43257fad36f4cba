#pragma once
// Writes square RGB pictures as an H.264 MP4 clip that plays everywhere: yuv420p, a fixed frame rate,
// the index at the front (faststart). One encoder per clip; not thread-safe.

#include <QImage>
#include <QString>
#include <QStringList>
#include <memory>

class ClipEncoder {
public:
    ClipEncoder();
    ~ClipEncoder();
    ClipEncoder(const ClipEncoder&) = delete;
    ClipEncoder& operator=(const ClipEncoder&) = delete;

    // Opens `path` for a clip of `size` x `size` pixels at `framesPerSecond`, with `comment` in its
    // metadata. False with the reason in `error`.
    bool open(const QString& path, int size, int framesPerSecond, const QString& comment, QString& error);
    // Appends one frame (any format; scaled when it is not the clip's size).
    bool add(const QImage& picture, QString& error);
    // Flushes the encoder and writes the index; the file is complete only after this succeeds.
    bool finish(QString& error);
    // The system's reason when the clip could not be written (a full disk, no permission); empty when
    // nothing failed or the failure was not the file system's.
    QString writeFailure() const;

    // Joins clips this class made with the same size and rate into one at `path`, one after another,
    // without encoding them again (the index at the front). False with the reason in `error`, and the
    // system's in `writeFailure` when it was the writing that failed.
    static bool join(const QStringList& parts, const QString& path, const QString& comment, QString& error,
                     QString& writeFailure);

private:
    struct State;
    std::unique_ptr<State> state_;
};
