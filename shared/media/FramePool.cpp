#include "FramePool.h"

#include <array>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

// What a decoder's own pool pads each plane with (16 bytes past the end and the widest SIMD alignment
// of this build of FFmpeg); 64 covers every x86 and ARM one.
constexpr int padding = 16 + 64 - 1;

// The buffers of one picture layout, laid out as FFmpeg's default does: dimensions aligned for the
// codec, then widened until every line length meets its plane's alignment.
struct Layout {
    AVCodecID codec;
    int format;
    int width;
    int height;
    std::array<int, 4> linesize{};
    std::array<AVBufferPool*, 4> pools{};
};

struct Registry {
    std::mutex lock;
    std::vector<Layout> layouts; // a handful: one per picture size and codec seen
    std::weak_ptr<void> users;

    // Buffers still out are freed when they come back.
    void close() {
        for (Layout& layout : layouts)
            for (AVBufferPool*& pool : layout.pools)
                av_buffer_pool_uninit(&pool);
        layouts.clear();
    }
};

// Never destroyed: buffers still held by frames return to their pools after the end of main.
Registry& registry() {
    static auto* instance = new Registry;
    return *instance;
}

bool makeLayout(AVCodecContext* context, const AVFrame* frame, Layout& layout) {
    int width = frame->width, height = frame->height;
    int alignment[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(context, &width, &height, alignment);
    int linesize[4] = {};
    for (bool unaligned = true; unaligned;) {
        if (av_image_fill_linesizes(linesize, AVPixelFormat(frame->format), width) < 0) return false;
        width += width & ~(width - 1); // the next try doubles the lowest bit set
        unaligned = false;
        for (int i = 0; i < 4; ++i)
            if (alignment[i] > 0 && linesize[i] % alignment[i] != 0) unaligned = true;
    }
    ptrdiff_t lines[4];
    size_t sizes[4];
    for (int i = 0; i < 4; ++i)
        lines[i] = linesize[i];
    if (av_image_fill_plane_sizes(sizes, AVPixelFormat(frame->format), height, lines) < 0) return false;
    for (int i = 0; i < 4; ++i) {
        layout.linesize[size_t(i)] = linesize[i];
        if (sizes[i] == 0) continue;
        if (sizes[i] > size_t(INT_MAX - padding)) return false;
        // Not cleared: a decoder writes every pixel it shows, and a reused buffer is not cleared either.
        layout.pools[size_t(i)] = av_buffer_pool_init(sizes[i] + padding, av_buffer_alloc);
        if (!layout.pools[size_t(i)]) return false;
    }
    return true;
}

} // namespace

std::shared_ptr<void> FramePool::use() {
    Registry& pools = registry();
    std::lock_guard guard(pools.lock);
    std::shared_ptr<void> users = pools.users.lock();
    if (!users) {
        // The registry stands for the users; the last one only closes its pools.
        users = std::shared_ptr<void>(&pools, [](void*) {
            Registry& closing = registry();
            std::lock_guard closingGuard(closing.lock);
            // A decoder opened meanwhile started a new use; its pools are made again on demand.
            closing.close();
        });
        pools.users = users;
    }
    return users;
}

int FramePool::getBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (context->codec_type != AVMEDIA_TYPE_VIDEO || !context->codec ||
        !(context->codec->capabilities & AV_CODEC_CAP_DR1) || !described ||
        (described->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)) || frame->width <= 0 ||
        frame->height <= 0)
        return avcodec_default_get_buffer2(context, frame, flags);

    Registry& pools = registry();
    std::array<AVBufferRef*, 4> buffers{};
    std::array<int, 4> linesize{};
    {
        std::lock_guard guard(pools.lock);
        Layout* layout = nullptr;
        for (Layout& known : pools.layouts)
            if (known.codec == context->codec_id && known.format == frame->format &&
                known.width == frame->width && known.height == frame->height)
                layout = &known;
        if (!layout) {
            Layout made{context->codec_id, frame->format, frame->width, frame->height};
            if (!makeLayout(context, frame, made)) {
                for (AVBufferPool*& pool : made.pools)
                    av_buffer_pool_uninit(&pool);
                return avcodec_default_get_buffer2(context, frame, flags);
            }
            pools.layouts.push_back(made);
            layout = &pools.layouts.back();
        }
        linesize = layout->linesize;
        for (size_t i = 0; i < 4 && layout->pools[i]; ++i) {
            buffers[i] = av_buffer_pool_get(layout->pools[i]);
            if (!buffers[i]) {
                for (AVBufferRef*& buffer : buffers)
                    av_buffer_unref(&buffer);
                return AVERROR(ENOMEM);
            }
        }
    }
    std::memset(frame->data, 0, sizeof(frame->data));
    std::memset(frame->linesize, 0, sizeof(frame->linesize));
    frame->extended_data = frame->data;
    for (size_t i = 0; i < 4 && buffers[i]; ++i) {
        frame->buf[i] = buffers[i];
        frame->data[i] = buffers[i]->data;
        frame->linesize[i] = linesize[i];
    }
    return 0;
}
