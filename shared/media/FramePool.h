#pragma once
// Internal to this module: the picture buffers every decoder of the process draws from. A decoder's own
// pool dies with it, so each clip start (a loop of the same clip, a new product) had the kernel map and
// clear its frames afresh; buffers of a size one decoder let go are here taken by the next.

#include <memory>

struct AVCodecContext;
struct AVFrame;

namespace FramePool {

// Held by every decoder that takes its buffers here: the pools last while one does, and their buffers
// are freed once the last decoder is gone and its frames let go.
std::shared_ptr<void> use();

// For AVCodecContext::get_buffer2 of a decoder holding use(): FFmpeg's own default for what it does not cover
// (paletted pictures, decoders that cannot take buffers from outside). Thread-safe, as frame threads call it.
int getBuffer(AVCodecContext* context, AVFrame* frame, int flags);

} // namespace FramePool
