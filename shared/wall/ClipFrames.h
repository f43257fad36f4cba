#pragma once
// The earlier frames a look compares against, taken from the clip file itself. The grabber is opened on
// first use, on the rendering thread, so starting a clip never waits for a second decoder.

#include "FrameSource.h"

#include <QString>
#include <memory>

class FrameGrabber;

class ClipFrames final : public FrameSource {
public:
    explicit ClipFrames(QString path);
    ~ClipFrames() override;
    std::optional<QImage> frameAt(qint64 value, qint32 timescale) override;

private:
    QString path_;
    bool failed_ = false;
    std::unique_ptr<FrameGrabber> grabber_;
};
