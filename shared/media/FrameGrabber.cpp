#include "FrameGrabber.h"

#include "Decoder.h"
#include "FrameConverter.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

} // namespace

std::unique_ptr<FrameGrabber> FrameGrabber::open(const QString& path, QString* error) {
    auto decoder = Decoder::open(path, Decoder::Threads::single, error);
    if (!decoder) return nullptr;
    std::unique_ptr<FrameGrabber> grabber(new FrameGrabber);
    grabber->asset_.path = path;
    grabber->asset_.durationSeconds = decoder->durationSeconds();
    grabber->asset_.size = decoder->codedSize();
    grabber->asset_.rotationDegrees = decoder->rotationDegrees();
    grabber->asset_.frameCount = decoder->frameCount();
    grabber->asset_.frameRate = decoder->frameRate();
    grabber->decoder_ = std::move(decoder);
    grabber->converter_ = std::make_unique<FrameConverter>();
    return grabber;
}

FrameGrabber::~FrameGrabber() = default;

std::optional<QImage> FrameGrabber::frame(double seconds, Tolerance tolerance, QSize maxSize,
                                          QString* error) {
    std::lock_guard lock(mutex_);
    if (!std::isfinite(seconds)) seconds = 0;
    seconds = std::max(seconds, 0.0);
    QString reason;
    if (!decoder_->seekBefore(seconds, &reason)) {
        if (error) *error = reason;
        return std::nullopt;
    }
    // The frame that covers the time is the last one starting at or before it; only that one is converted.
    FramePtr held(av_frame_alloc());
    bool haveHeld = false;
    const long long target = decoder_->ticks(seconds);
    // Frames ending before the time may be skipped, but never the clip's final frames, which serve any
    // time past the end.
    std::optional<double> skipBefore;
    if (tolerance == Tolerance::exact && asset_.frameRate > 0)
        skipBefore = std::min(seconds, asset_.durationSeconds - 2.0 / asset_.frameRate);
    for (;;) {
        const Decoder::Step step = decoder_->step(&reason, skipBefore);
        if (step == Decoder::Step::failed) {
            if (haveHeld) break;
            if (error) *error = reason;
            return std::nullopt;
        }
        if (step == Decoder::Step::end) break;
        const bool startsAfter = decoder_->ticks(decoder_->frameSeconds()) > target;
        if (haveHeld && startsAfter) break;
        av_frame_unref(held.get());
        av_frame_move_ref(held.get(), decoder_->frame());
        haveHeld = true;
        if (tolerance == Tolerance::nearestKeyFrame || startsAfter) break;
    }
    if (!haveHeld) {
        if (error) *error = QStringLiteral("no frame at %1 s").arg(seconds);
        return std::nullopt;
    }
    QImage image = converter_->convert(held.get(), asset_.rotationDegrees, maxSize);
    if (image.isNull()) {
        if (error) *error = QStringLiteral("cannot convert the frame to a picture");
        return std::nullopt;
    }
    return image;
}

std::optional<QImage> FrameGrabber::frameOf(const QString& path, double seconds, Tolerance tolerance,
                                            QSize maxSize, QString* error) {
    const auto grabber = open(path, error);
    if (!grabber) return std::nullopt;
    return grabber->frame(seconds, tolerance, maxSize, error);
}
