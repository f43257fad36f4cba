#include "ClipFrames.h"

#include "FrameGrabber.h"
#include "Log.h"

ClipFrames::ClipFrames(QString path) : path_(std::move(path)) {}
ClipFrames::~ClipFrames() = default;

std::optional<QImage> ClipFrames::frameAt(qint64 value, qint32 timescale) {
    if (timescale <= 0 || failed_) return std::nullopt;
    if (!grabber_) {
        QString error;
        grabber_ = FrameGrabber::open(path_, &error);
        if (!grabber_) {
            // Logged once; the look then compares each frame with itself.
            failed_ = true;
            log("look: cannot read reference frames of " + path_ + ": " + error, LogArea::app);
            return std::nullopt;
        }
    }
    return grabber_->frame(static_cast<double>(value) / timescale, FrameGrabber::Tolerance::exact);
}
