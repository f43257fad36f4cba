#pragma once
// Still pictures from a clip: the exact frame at a time, or the nearest key frame when speed matters more.
// A grabber keeps its clip open between calls, so repeated grabs (a look's reference frames) stay cheap.
// Safe to call from any thread; calls on one grabber run one at a time.

#include "ClipAsset.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>

class Decoder;
class FrameConverter;

class FrameGrabber {
public:
    enum class Tolerance {
        exact,          // the frame whose presentation span holds the time (the last frame past the end)
        nearestKeyFrame // the key frame at or before the time: fast, approximate
    };

    // Opens the clip; nothing, with the reason in `error`, when it cannot be decoded.
    static std::unique_ptr<FrameGrabber> open(const QString& path, QString* error = nullptr);
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    const ClipAsset& asset() const { return asset_; }

    // The picture at `seconds` of clip time: upright, sRGB, and no larger than `maxSize` (aspect kept) when
    // that is valid. Nothing, with the reason in `error`, when no frame can be decoded.
    std::optional<QImage> frame(double seconds, Tolerance tolerance, QSize maxSize = {},
                                QString* error = nullptr);

    // One-shot convenience: opens the clip, grabs, closes.
    static std::optional<QImage> frameOf(const QString& path, double seconds, Tolerance tolerance,
                                         QSize maxSize = {}, QString* error = nullptr);

private:
    FrameGrabber() = default;

    ClipAsset asset_;
    std::mutex mutex_;
    std::unique_ptr<Decoder> decoder_;
    std::unique_ptr<FrameConverter> converter_;
};
