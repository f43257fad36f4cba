#pragma once
// A decoded frame's duration: AVFrame.duration from libavutil 57.30 (FFmpeg 6), pkt_duration before it
// (deprecated since, and gone in FFmpeg 7).

extern "C" {
#include <libavutil/frame.h>
}

namespace compat {

// In the stream's time base; 0 or less when unknown.
inline int64_t frameDuration(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    return frame->duration;
#else
    return frame->pkt_duration;
#endif
}

} // namespace compat
