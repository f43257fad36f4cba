#include "FrameConverter.h"

#include <QColorSpace>
#include <QTransform>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {

// Untagged video is treated the way players commonly do: HD sizes as BT.709, smaller ones as BT.601.
int colourCoefficients(const AVFrame* frame) {
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    default:
        return (frame->width >= 1280 || frame->height > 576) ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool fullRange(const AVFrame* frame) {
    switch (frame->format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
        return true;
    default:
        return frame->color_range == AVCOL_RANGE_JPEG;
    }
}

} // namespace

FrameConverter::~FrameConverter() {
    sws_freeContext(scaler_);
    sws_freeContext(resizer_);
    sws_freeContext(tailScaler_);
    av_frame_free(&resized_);
}

struct FrameConverter::Pool {
    std::mutex lock;
    std::vector<QImage> images;
};

FrameConverter::FrameConverter(Use use) : use_(use) {
    if (use_ != Use::playback) return;
    static std::mutex lock;
    static std::weak_ptr<Pool> shared;
    std::lock_guard guard(lock);
    pool_ = shared.lock();
    if (!pool_) shared = pool_ = std::make_shared<Pool>();
}

QImage FrameConverter::canvas(QSize size) {
    // Two players a screen, each with the frame on screen, the one waiting for it and the one being made.
    constexpr size_t poolSize = 8;
    if (!pool_) return QImage(size, QImage::Format_RGB32);
    std::lock_guard guard(pool_->lock);
    std::vector<QImage>& images = pool_->images;
    for (QImage& image : images)
        if (image.size() == size && image.isDetached()) {
            // The painter let go of it on its own thread: see its reads done before writing.
            std::atomic_thread_fence(std::memory_order_acquire);
            return image;
        }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    // Tagged before it is shared, as tagging a shared picture would copy it.
    image.setColorSpace(QColorSpace::SRgb);
    // When full, a free picture of another size (a screen resized, a clip of another size) makes room.
    if (images.size() >= poolSize)
        std::erase_if(images, [](const QImage& held) { return held.isDetached(); });
    if (images.size() < poolSize) images.push_back(image);
    return image;
}

QSize FrameConverter::fitted(QSize size, QSize bound) {
    if (size.isEmpty() || !bound.isValid() || bound.isEmpty()) return size;
    QSize result = size.scaled(bound, Qt::KeepAspectRatio);
    return result.expandedTo(QSize(1, 1));
}

const AVFrame* FrameConverter::scaledInYuv(const AVFrame* frame, QSize size) {
    // Scaling a 4:2:0 frame to 4:2:2 and then converting at the same size costs about two thirds of doing
    // both in one step (1024 to 1080: 1.1-1.5 ms against 1.9 ms), and looks the same: chroma is still
    // interpolated between lines (on solar clips within 4 levels of the one step, 0.3 on average).
    AVPixelFormat resized = AV_PIX_FMT_NONE;
    if (frame->format == AV_PIX_FMT_YUV420P) resized = AV_PIX_FMT_YUV422P;
    if (frame->format == AV_PIX_FMT_YUVJ420P) resized = AV_PIX_FMT_YUVJ422P;
    if (use_ != Use::playback || resized == AV_PIX_FMT_NONE || size == QSize(frame->width, frame->height))
        return nullptr;
    if (!resized_ || resized_->width != size.width() || resized_->height != size.height() ||
        resized_->format != resized) {
        av_frame_free(&resized_);
        resized_ = av_frame_alloc();
        if (!resized_) return nullptr;
        resized_->format = resized;
        resized_->width = size.width();
        resized_->height = size.height();
        if (av_frame_get_buffer(resized_, 0) < 0) {
            av_frame_free(&resized_);
            return nullptr;
        }
    }
    const int flags = size.width() < frame->width ? SWS_AREA : SWS_BILINEAR;
    resizer_ = sws_getCachedContext(resizer_, frame->width, frame->height, AVPixelFormat(frame->format),
                                    size.width(), size.height(), resized, flags, nullptr, nullptr, nullptr);
    if (!resizer_ || sws_scale(resizer_, frame->data, frame->linesize, 0, frame->height, resized_->data,
                               resized_->linesize) <= 0)
        return nullptr;
    return resized_;
}

bool FrameConverter::write(const AVFrame* frame, QSize size, uchar* bits, qsizetype stride) {
    if (!frame || frame->width <= 0 || frame->height <= 0 || size.isEmpty() || !bits) return false;
    // The colours follow the frame as decoded, whatever size is converted.
    const int* coefficients = sws_getCoefficients(colourCoefficients(frame));
    const int range = fullRange(frame) ? 1 : 0;
    const AVFrame* source = scaledInYuv(frame, size);
    if (!source) source = frame;
    // Accurate rounding keeps the scaler off its SIMD paths: at the clip's own size a 1024 x 1024 frame
    // then takes 1.5 ms instead of 0.34 ms, a third of what playing it costs, for nothing seen in motion.
    int flags = size.width() < source->width ? SWS_AREA : SWS_BILINEAR;
    if (use_ == Use::still) flags |= SWS_ACCURATE_RND;
    const auto run = [&](SwsContext*& scaler, const uint8_t* const planes[], QSize from, QSize to, uchar* out,
                         qsizetype outStride) {
        scaler =
            sws_getCachedContext(scaler, from.width(), from.height(), AVPixelFormat(source->format),
                                 to.width(), to.height(), AV_PIX_FMT_BGRA, flags, nullptr, nullptr, nullptr);
        if (!scaler) return false;
        sws_setColorspaceDetails(scaler, coefficients, range, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                 1 << 16, 1 << 16);
        uint8_t* outPlanes[4] = {out, nullptr, nullptr, nullptr};
        const int outStrides[4] = {int(outStride), 0, 0, 0};
        return sws_scale(scaler, planes, source->linesize, 0, from.height(), outPlanes, outStrides) > 0;
    };
    const auto copyRows = [&](const uchar* from, qsizetype fromStride, int columns, uchar* to) {
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(to + y * stride, from + y * fromStride, size_t(columns) * 4);
    };

    // The scaler writes whole runs of pixels, eight when it scales and sixteen when it only converts;
    // past the end of a row that would be the next row's pixels, or past the last row, in a window's.
    const QSize sourceSize(source->width, source->height);
    const bool sameSize = sourceSize == size;
    const int width = size.width();
    const int pixelRun = sameSize ? 16 : 8;
    const int whole = width - width % pixelRun;
    if (whole == width) return run(scaler_, source->data, sourceSize, size, bits, stride);
    const bool halfChroma = source->format == AV_PIX_FMT_YUV420P || source->format == AV_PIX_FMT_YUVJ420P ||
                            source->format == AV_PIX_FMT_YUV422P || source->format == AV_PIX_FMT_YUVJ422P;
    if (sameSize && halfChroma && whole > 0 && width % 2 == 0) {
        // Converting only: the whole runs go straight in, and the row's last run through a small picture.
        const QSize main(whole, size.height());
        if (!run(scaler_, source->data, main, main, bits, stride)) return false;
        const int from = width - pixelRun;
        const uint8_t* const last[4] = {source->data[0] + from, source->data[1] + from / 2,
                                        source->data[2] + from / 2, nullptr};
        const QSize tail(pixelRun, size.height());
        spare_.resize(size_t(pixelRun) * 4 * size_t(size.height()));
        if (!run(tailScaler_, last, tail, tail, spare_.data(), pixelRun * 4)) return false;
        copyRows(spare_.data() + (whole - from) * 4, pixelRun * 4, width - whole, bits + whole * 4);
        return true;
    }
    // Anything else goes through a picture with room for whole runs, and is copied.
    const int padded = (width + 15) / 16 * 16;
    spare_.resize(size_t(padded) * 4 * size_t(size.height()));
    if (!run(scaler_, source->data, sourceSize, size, spare_.data(), padded * 4)) return false;
    copyRows(spare_.data(), padded * 4, width, bits);
    return true;
}

QImage FrameConverter::convert(const AVFrame* frame, int rotationDegrees, QSize bound) {
    if (!frame || frame->width <= 0 || frame->height <= 0) return {};
    const bool sideways = rotationDegrees == 90 || rotationDegrees == 270;
    const QSize source(frame->width, frame->height);
    // Fit the upright size, then go back to the stored orientation for the scaler.
    QSize upright = fitted(sideways ? source.transposed() : source, bound);
    const QSize target = sideways ? upright.transposed() : upright;

    // BGRA in memory is what QImage's RGB32 holds on a little-endian machine.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "RGB32 pixel layout assumed little-endian");
    QImage image = canvas(target);
    if (image.isNull()) return {};
    // Written in place: a pooled picture is shared only with the pool here, so bits() copies nothing.
    if (!write(frame, target, const_cast<uchar*>(image.constBits()), image.bytesPerLine())) return {};
    if (rotationDegrees != 0) image = image.transformed(QTransform().rotate(rotationDegrees));
    if (image.colorSpace() != QColorSpace::SRgb) image.setColorSpace(QColorSpace::SRgb);
    return image;
}
