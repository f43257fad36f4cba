#include "Player.h"

#include "Decoder.h"
#include "FrameConverter.h"

#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

constexpr double timeInterval = 1.0 / 9.0;

// The first multiple of the time interval strictly after `seconds` (with a hair of slack for rounding).
double tickAfter(double seconds) {
    return (std::floor(seconds / timeInterval + 1e-6) + 1) * timeInterval;
}

} // namespace

struct Player::Engine {
    struct SeekRequest {
        double seconds = 0;
        std::function<void(bool)> completion;
    };

    // Fixed after open.
    std::unique_ptr<Decoder> decoder;
    FrameConverter converter{FrameConverter::Use::playback};
    // A look compares frames with reference frames the grabber takes from the same clip; converted alike,
    // an unchanged picture differs by nothing.
    FrameConverter lookConverter{FrameConverter::Use::still};
    std::shared_ptr<PlayerClock> clock;
    Callbacks callbacks;
    int rotation = 0;
    double duration = 0;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
    std::thread thread;

    // Shared with the owner thread, under `mutex`.
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool playing = false;
    bool atEnd = false;
    double rate = 1.0;
    double anchorClock = 0; // the clock's time at which playback was at anchorClip
    double anchorClip = 0;
    double position = 0; // clip time when not playing
    std::optional<SeekRequest> pendingSeek;
    FrameHook hook;
    QSize target;

    // Decode thread only.
    std::optional<VideoFrame> ready; // decoded and finished, waiting for its time
    double readyEnd = 0;
    FramePtr lookahead{av_frame_alloc()}; // decoded past a seek target, not yet finished
    bool haveLookahead = false;
    bool decoderDone = false;
    double lastEnd = 0; // end of the last presented frame's span
    double nextTick = 0;

    double positionLocked() const {
        if (!playing) return position;
        const double moved = anchorClip + (clock->now() - anchorClock) * rate;
        return std::clamp(moved, 0.0, std::max(duration, anchorClip));
    }

    // Calls waiting for the owner's thread. They wait here, under a lock of ours, rather than inside
    // Qt's posted event, so that the hand-off between threads is one a race detector can follow; one
    // posted event drains every call queued since the last.
    struct Outbox {
        std::mutex lock;
        std::vector<std::function<void()>> calls;
    };
    std::shared_ptr<Outbox> outbox = std::make_shared<Outbox>();

    void deliver(std::function<void()> call) {
        if (!call) return;
        if (!callbacks.context) {
            if (alive->load()) call();
            return;
        }
        bool first = false;
        {
            std::lock_guard guard(outbox->lock);
            first = outbox->calls.empty();
            outbox->calls.push_back(std::move(call));
        }
        if (!first) return;
        QMetaObject::invokeMethod(
            callbacks.context,
            [alive = alive, outbox = outbox] {
                std::vector<std::function<void()>> calls;
                {
                    std::lock_guard guard(outbox->lock);
                    calls.swap(outbox->calls);
                }
                for (const auto& queued : calls)
                    if (alive->load()) queued();
            },
            Qt::QueuedConnection);
    }

    VideoFrame finish(const AVFrame* frame, const FrameHook& frameHook, QSize bound) {
        VideoFrame result;
        result.seconds = decoder->secondsOf(frame);
        if (!frameHook && rotation == 0 && callbacks.conversion == Conversion::bySink) {
            // A reference to the decoder's buffer, which it never writes again once the frame is out.
            if (AVFrame* shared = av_frame_clone(frame)) {
                result.decoded = std::shared_ptr<const AVFrame>(shared, [](const AVFrame* held) {
                    AVFrame* owned = const_cast<AVFrame*>(held);
                    av_frame_free(&owned);
                });
                result.size = FrameConverter::fitted(QSize(frame->width, frame->height), bound);
                return result;
            }
        }
        if (!frameHook) {
            result.image = converter.convert(frame, rotation, bound);
            result.size = result.image.size();
            return result;
        }
        QImage image = lookConverter.convert(frame, rotation, {});
        if (auto replaced = frameHook(result.seconds, image)) image = std::move(*replaced);
        const QSize size = FrameConverter::fitted(image.size(), bound);
        if (size != image.size()) image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        result.image = std::move(image);
        result.size = result.image.size();
        return result;
    }

    // Decodes the next frame into `ready`; at the end of the clip sets decoderDone.
    void produce(const FrameHook& frameHook, QSize bound) {
        if (haveLookahead) {
            haveLookahead = false;
            readyEnd = decoder->endSecondsOf(lookahead.get());
            ready = finish(lookahead.get(), frameHook, bound);
            av_frame_unref(lookahead.get());
            return;
        }
        QString error;
        if (decoder->step(&error) != Decoder::Step::frame) {
            decoderDone = true; // a damaged tail ends the clip where it breaks
            return;
        }
        readyEnd = decoder->frameEndSeconds();
        ready = finish(decoder->frame(), frameHook, bound);
    }

    // Decodes the frame covering `seconds` into `ready`, keeping the frame after it for playback.
    bool seekTo(double seconds, const FrameHook& frameHook, QSize bound) {
        ready.reset();
        haveLookahead = false;
        av_frame_unref(lookahead.get());
        decoderDone = false;
        QString error;
        if (!decoder->seekBefore(seconds, &error)) return false;
        FramePtr held(av_frame_alloc());
        bool haveHeld = false;
        const long long target = decoder->ticks(seconds);
        std::optional<double> skipBefore;
        if (decoder->frameRate() > 0) skipBefore = std::min(seconds, duration - 2.0 / decoder->frameRate());
        for (;;) {
            const Decoder::Step step = decoder->step(&error, skipBefore);
            if (step != Decoder::Step::frame) {
                decoderDone = true;
                break;
            }
            const bool startsAfter = decoder->ticks(decoder->frameSeconds()) > target;
            if (haveHeld && startsAfter) {
                av_frame_move_ref(lookahead.get(), decoder->frame());
                haveLookahead = true;
                break;
            }
            av_frame_unref(held.get());
            av_frame_move_ref(held.get(), decoder->frame());
            haveHeld = true;
            if (startsAfter) break;
        }
        if (!haveHeld) return false;
        readyEnd = decoder->endSecondsOf(held.get());
        ready = finish(held.get(), frameHook, bound);
        return !ready->image.isNull() || ready->decoded;
    }

    void run() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (pendingSeek) {
                SeekRequest request = std::move(*pendingSeek);
                pendingSeek.reset();
                const FrameHook frameHook = hook;
                const QSize bound = target;
                lock.unlock();
                const bool found = seekTo(request.seconds, frameHook, bound);
                lock.lock();
                if (stopping) break;
                if (pendingSeek || !found) {
                    // A newer seek wins; a frame that cannot be decoded leaves the position as it was.
                    if (found) ready.reset();
                    auto completion = std::move(request.completion);
                    lock.unlock();
                    if (completion) deliver([completion] { completion(false); });
                    lock.lock();
                    continue;
                }
                const double at = std::clamp(request.seconds, 0.0, std::max(duration, 0.0));
                anchorClock = clock->now();
                anchorClip = at;
                position = at;
                atEnd = false;
                VideoFrame shown = std::move(*ready);
                ready.reset();
                shown.presentedAt = anchorClock;
                lastEnd = readyEnd;
                nextTick = tickAfter(at);
                lock.unlock();
                if (callbacks.frame) callbacks.frame(shown);
                if (callbacks.time) deliver([time = callbacks.time, at] { time(at); });
                if (request.completion)
                    deliver([completion = std::move(request.completion)] { completion(true); });
                lock.lock();
                continue;
            }
            if (!playing) {
                wake.wait(lock);
                continue;
            }
            if (!ready && !decoderDone) {
                const FrameHook frameHook = hook;
                const QSize bound = target;
                lock.unlock();
                produce(frameHook, bound);
                lock.lock();
                continue;
            }
            const double due = ready ? ready->seconds : std::max(lastEnd, anchorClip);
            const double deadline = anchorClock + (due - anchorClip) / rate;
            if (clock->now() < deadline) {
                clock->waitUntil(deadline, wake, lock);
                continue;
            }
            if (ready) {
                VideoFrame shown = std::move(*ready);
                ready.reset();
                shown.presentedAt = clock->now();
                lastEnd = readyEnd;
                const bool tick = shown.seconds >= nextTick - 1e-6;
                if (tick) nextTick = tickAfter(shown.seconds);
                lock.unlock();
                if (callbacks.frame) callbacks.frame(shown);
                if (tick && callbacks.time)
                    deliver([time = callbacks.time, at = shown.seconds] { time(at); });
                lock.lock();
                continue;
            }
            // The last frame's span has elapsed: the clip has played to its end.
            playing = false;
            atEnd = true;
            position = due;
            lock.unlock();
            if (callbacks.end) deliver(callbacks.end);
            lock.lock();
        }
    }
};

std::unique_ptr<Player> Player::open(const QString& path, Callbacks callbacks,
                                     std::shared_ptr<PlayerClock> clock, QString* error, QSize target) {
    // One decoding thread: it keeps pace at the wall's rate, and two players per screen stay light.
    auto decoder = Decoder::open(path, Decoder::Threads::single, error);
    if (!decoder) return nullptr;
    std::unique_ptr<Player> player(new Player);
    player->asset_.path = path;
    player->asset_.durationSeconds = decoder->durationSeconds();
    player->asset_.size = decoder->codedSize();
    player->asset_.rotationDegrees = decoder->rotationDegrees();
    player->asset_.frameCount = decoder->frameCount();
    player->asset_.frameRate = decoder->frameRate();

    auto engine = std::make_shared<Engine>();
    engine->decoder = std::move(decoder);
    engine->clock = clock ? std::move(clock) : std::make_shared<SteadyClock>();
    engine->callbacks = std::move(callbacks);
    engine->rotation = player->asset_.rotationDegrees;
    engine->duration = player->asset_.durationSeconds;
    engine->target = target;
    engine->pendingSeek = Engine::SeekRequest{};
    engine->thread = std::thread([raw = engine.get()] { raw->run(); });
    player->engine_ = std::move(engine);
    return player;
}

Player::~Player() {
    stop();
}

void Player::stop() {
    if (!engine_) return;
    {
        std::lock_guard lock(engine_->mutex);
        engine_->stopping = true;
        engine_->alive->store(false);
    }
    engine_->wake.notify_all();
    if (engine_->thread.joinable()) engine_->thread.join();
    engine_.reset();
    // The decode thread's frames were freed into its own malloc arena, which keeps the pages; hand them
    // back, or every clip change leaves a few megabytes behind.
    malloc_trim(0);
}

void Player::play() {
    if (!engine_) return;
    {
        std::lock_guard lock(engine_->mutex);
        Engine& e = *engine_;
        if (e.atEnd) {
            e.atEnd = false;
            e.pendingSeek = Engine::SeekRequest{};
        }
        if (!e.playing) {
            e.anchorClock = e.clock->now();
            e.anchorClip = e.position;
            e.playing = true;
        }
    }
    engine_->wake.notify_all();
}

void Player::play(double rate) {
    setRate(rate);
    play();
}

void Player::pause() {
    if (!engine_) return;
    {
        std::lock_guard lock(engine_->mutex);
        engine_->position = engine_->positionLocked();
        engine_->playing = false;
    }
    engine_->wake.notify_all();
}

void Player::setRate(double rate) {
    if (!engine_ || !(rate > 0) || !std::isfinite(rate)) return;
    {
        std::lock_guard lock(engine_->mutex);
        Engine& e = *engine_;
        if (e.playing) {
            e.anchorClip = e.positionLocked();
            e.anchorClock = e.clock->now();
        }
        e.rate = rate;
    }
    engine_->wake.notify_all();
}

bool Player::isPlaying() const {
    if (!engine_) return false;
    std::lock_guard lock(engine_->mutex);
    return engine_->playing;
}

double Player::rate() const {
    if (!engine_) return 1.0;
    std::lock_guard lock(engine_->mutex);
    return engine_->rate;
}

void Player::seek(double seconds, std::function<void(bool)> completion) {
    if (!engine_) return;
    if (!std::isfinite(seconds)) seconds = 0;
    std::optional<Engine::SeekRequest> superseded;
    {
        std::lock_guard lock(engine_->mutex);
        Engine& e = *engine_;
        superseded = std::move(e.pendingSeek);
        e.pendingSeek = Engine::SeekRequest{seconds, std::move(completion)};
        e.atEnd = false;
        if (e.playing) {
            e.anchorClip = seconds;
            e.anchorClock = e.clock->now();
        }
        e.position = seconds;
    }
    engine_->wake.notify_all();
    if (superseded && superseded->completion)
        engine_->deliver([completion = std::move(superseded->completion)] { completion(false); });
}

void Player::setFrameHook(FrameHook hook) {
    if (!engine_) return;
    std::lock_guard lock(engine_->mutex);
    engine_->hook = std::move(hook);
}

void Player::setTargetSize(QSize size) {
    if (!engine_) return;
    std::lock_guard lock(engine_->mutex);
    engine_->target = size;
}

double Player::currentSeconds() const {
    if (!engine_) return 0;
    std::lock_guard lock(engine_->mutex);
    return engine_->positionLocked();
}
