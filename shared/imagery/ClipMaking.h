#pragma once
// What the refresh pass needs from the media code, which it must not link: making a clip and a still
// from downloaded images, and turning a JPEG still into a PNG. The program registers the makers at
// start-up (the media module's installClipMaking); a process that registers none (the screen-saver
// hack) never builds clips, and a pass there leaves the cache as it is.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ClipMaking {

// How a frame is made from the slot's images.
enum class Kind {
    single,      // one channel's image as published
    rainbow,     // the seven coronal channels in wedges around the disc
    ultraviolet, // 1700 red, 1600 green, 304 blue
};

struct Job {
    Kind kind = Kind::single;
    // Per slot, oldest first: the image files that make its frame (one for `single`; for the
    // composites one per channel in the order named above, an empty path for a channel missing).
    std::vector<QStringList> frames;
    QString clip;  // the MP4 to write (replaced only when complete)
    QString still; // the PNG of the newest slot's frame
    int framesPerSecond = 18;
    int size = 1024;
    // Where the clip's pieces are kept between runs, so that an encode stopped or killed part of the way
    // goes on from there, and a clip one slot newer encodes only its newest piece. Empty: one piece.
    QString pieces;
    // The first slot's number counted from the epoch, so that pieces line up from one window to the next.
    qint64 firstSlot = 0;
    QString name; // the product, for log lines
};

struct Outcome {
    bool ok = false;
    QString error;          // in words, when not ok
    QStringList unreadable; // image files that could not be decoded (the caller stops using them)
    // The system's reason when a file could not be written (a full disk): the images are not to blame.
    QString writeFailure;
    bool stopped = false; // a stop was asked for; the pieces made so far stay for the next run
};

using MakeClip = std::function<Outcome(const Job&)>;
// Converts an image file (a JPEG) to a PNG at `png`; false with the reason in `error`.
using ToPng = std::function<bool(const QString& image, const QString& png, QString& error)>;
// Whether an image file decodes as the clip maker will decode it; false with the reason in `error`.
using Decodes = std::function<bool(const QString& image, QString& error)>;

// Registered once at start-up, before any pass; any may be empty.
void install(MakeClip makeClip, ToPng toPng, Decodes decodes = {});
const MakeClip& makeClip();
const ToPng& toPng();
const Decodes& decodes();

} // namespace ClipMaking
