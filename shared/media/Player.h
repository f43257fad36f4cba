#pragma once
// Plays one clip: decodes on a thread of its own and hands finished frames to its owner at the times a
// clock and a playback rate give. It never touches widgets.
//
// Contract
// - Threads. The player is driven from one owner thread (the GUI thread for a wall): open, play, pause,
//   setRate, seek, setFrameHook, setTargetSize, stop and the destructor. Each player has one decode thread,
//   which opens nothing and shares nothing with other players.
//   * frameHook: on the decode thread, once per decoded frame, before scaling, converted to the very pixels
//     FrameGrabber gives for it; it may return a replacement picture (a look) or nothing to keep the frame.
//     It must not call back into the player. Frames played without a hook may differ slightly in colour.
//   * Callbacks::frame (the sink): on the decode thread, once per presented frame. It must be thread-safe
//     and quick: hand the frame over (a queued call, a mailbox) and return. A sink that converts frames
//     itself (Conversion::bySink) gets them as decoded, to write straight into what it shows.
//   * Callbacks::time, Callbacks::end and seek completions: queued to the thread of Callbacks::context and
//     dropped once the player is stopped; with no context they run on the decode thread. The context must
//     outlive the player or stop it first (a wall is the context of its own players).
// - Timing. A frame of clip time s is presented at anchor + (s - anchorClip) / rate on the clock, where the
//   anchor is set by play, seek and rate changes. `time` fires when a presented frame reaches the next
//   multiple of 1/9 s of clip time, and after every seek. `end` fires once each time playback reaches the
//   end of the clip (the last frame's span elapsed); the player then pauses there. play() at the end starts
//   again from the beginning.
// - Ownership. The owner owns the player; the player owns its decoder, its buffers and its thread, and
//   frees them all in stop() (also run by the destructor). Frames handed out are implicitly shared QImages
//   that the receiver may keep. After stop() no callback runs and the player stays inert.
// - A new player shows its first frame once the decode thread has opened it, paused, at clip time 0.

#include "ClipAsset.h"
#include "PlayerClock.h"

#include <QImage>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>

class QObject;
struct AVFrame;

struct VideoFrame {
    QImage image; // upright, sRGB, after the hook, fitted in the target size when one is set; null when
                  // the frame comes as decoded instead
    // The frame as decoded, for a sink that converts frames itself: unrotated, with no hook applied, and
    // sharing the decoder's buffer (read-only). Converted at `size` with FrameConverter.
    std::shared_ptr<const AVFrame> decoded;
    QSize size;         // the size it is shown at: the image's, or the decoded frame's fitted in the target
    double seconds = 0; // the frame's presentation time in the clip
    double presentedAt = 0; // the clock's time when it was handed over
};

class Player {
public:
    using FrameHook = std::function<std::optional<QImage>(double seconds, const QImage& image)>;

    enum class Conversion {
        byPlayer, // every frame comes as a picture, converted on the decode thread
        bySink    // frames with no hook to apply and no rotation come as decoded, for the sink to convert
    };

    struct Callbacks {
        std::function<void(const VideoFrame& frame)> frame; // decode thread; thread-safe, quick
        std::function<void(double seconds)> time; // context thread: clip time every 1/9 s and on seeks
        std::function<void()> end;                // context thread: once per play reaching the end
        QObject* context = nullptr;               // where time, end and seek completions run
        Conversion conversion = Conversion::byPlayer;
    };

    // Opens the clip (a header read on the calling thread) and starts the decode thread, paused at 0.
    // Nothing, with the reason in `error`, when the clip cannot be decoded. Without a clock the player
    // uses a steady clock. `target` is the first setTargetSize, in force from the very first frame.
    static std::unique_ptr<Player> open(const QString& path, Callbacks callbacks,
                                        std::shared_ptr<PlayerClock> clock = {}, QString* error = nullptr,
                                        QSize target = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const ClipAsset& asset() const { return asset_; }

    void play();            // at the current rate
    void play(double rate); // sets the rate, then plays
    void pause();
    void setRate(double rate); // > 0; keeps the current position
    bool isPlaying() const;
    double rate() const;

    // Goes to the frame that covers `seconds` (zero tolerance), presents it at once whether playing or
    // paused, and continues from there; a player at the end of its clip is no longer there, so a play()
    // that follows starts from `seconds`. `completion(true)` once it is shown; false when a newer seek
    // superseded it or the frame could not be decoded. Not called at all once the player is stopped.
    void seek(double seconds, std::function<void(bool finished)> completion = {});

    // Replaces the per-frame hook; it applies from the next decoded frame. An empty hook removes it.
    void setFrameHook(FrameHook hook);
    // Frames are fitted inside this size (aspect kept) on the decode thread; an invalid size keeps them
    // at the clip's own size.
    void setTargetSize(QSize size);

    // The clip time of the playback position: the last presented frame, moved on by the clock while playing.
    double currentSeconds() const;

    // Ends playback for good: joins the decode thread and frees every buffer. Safe to call twice.
    void stop();

private:
    struct Engine;
    Player() = default;

    ClipAsset asset_;
    std::shared_ptr<Engine> engine_;
};
