#pragma once
// Writes square pictures as an H.264 MP4 clip that plays everywhere: yuv420p, a fixed frame rate, the
// index at the front (faststart). One encoder per clip; not thread-safe.

#include <QImage>
#include <QString>
#include <QStringList>
#include <memory>

struct AVFrame;

// A picture decoded from an image file straight into a clip's pixels (yuv420p, square), without a round
// trip through RGB: a JPEG's own YCbCr needs only its range narrowed. Read-only once made; copies share it.
class ClipPicture {
public:
    bool isNull() const { return !frame_; }

private:
    friend class ClipEncoder;
    friend class ClipPictureDecoder;
    std::shared_ptr<AVFrame> frame_;
};

// Makes clip pictures from image files one after another, keeping its decoder, and the memory of the last
// picture for the next once nothing else holds it. Not thread-safe.
class ClipPictureDecoder {
public:
    ClipPictureDecoder();
    ~ClipPictureDecoder();
    ClipPictureDecoder(const ClipPictureDecoder&) = delete;
    ClipPictureDecoder& operator=(const ClipPictureDecoder&) = delete;

    // `path` decoded for a clip of `size` x `size` pixels; a null picture when FFmpeg cannot decode it or
    // it has another size (the caller then goes through RGB, which scales as the clip always has).
    ClipPicture decode(const QString& path, int size);

private:
    struct State;
    std::unique_ptr<State> state_;
};

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
    // Appends one frame already in the clip's pixels (made for this clip's size).
    bool add(const ClipPicture& picture, QString& error);
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
