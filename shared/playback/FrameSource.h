#pragma once
// Where a look gets the earlier frames it compares against: one frame of the clip being played, taken
// at an exact time. The media module implements it with the decoder.

#include <QImage>
#include <QtGlobal>
#include <optional>

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // The frame shown at exactly value / timescale seconds (no tolerance either side), with the track's
    // orientation applied; nothing when it cannot be decoded. Called from the rendering thread, never
    // concurrently for one source, and never while LookState holds its lock.
    virtual std::optional<QImage> frameAt(qint64 value, qint32 timescale) = 0;
};
