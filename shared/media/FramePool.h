#pragma once
// Internal to this module: the picture buffers every decoder of the process draws from. A decoder's own
// pool dies with it, so each clip start (a loop of the same clip, a new product) had the kernel map and
// clear its frames afresh; buffers of a size one decoder let go are here taken by the next.

struct AVCodecContext;
struct AVFrame;

namespace FramePool {

// For AVCodecContext::get_buffer2: FFmpeg's own default for what it does not cover (paletted pictures,
// decoders that cannot take buffers from outside). Thread-safe, as frame threads call it.
int getBuffer(AVCodecContext* context, AVFrame* frame, int flags);

} // namespace FramePool
