#include "ClipEncoder.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

QString avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// The system's reason when FFmpeg's error is a file system's refusal, else empty.
QString systemFailure(int code) {
    for (int number : {ENOSPC, EDQUOT, EROFS, EACCES, EPERM, EIO, EFBIG})
        if (code == AVERROR(number)) return avError(code);
    return {};
}

void quietLog() {
    // The encoder's statistics are not for the log.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
}

struct Output {
    AVFormatContext* format = nullptr;
    ~Output() {
        if (!format) return;
        if (format->pb) avio_closep(&format->pb);
        avformat_free_context(format);
    }
};

struct Input {
    AVFormatContext* format = nullptr;
    ~Input() { avformat_close_input(&format); }
};

void freeFrame(AVFrame* frame) {
    av_frame_free(&frame);
}

// A JPEG's YCbCr spans 0-255; the clip's, as players expect, the video range (luma 16-235, chroma 16-240)
// of the same BT.601 matrix. Narrowing the range is all that a JPEG's own planes need: luma becomes
// 16 + 219/255 of itself, chroma 128 + 224/255 of its distance from 128, rounded. Sixteen pixels at a time
// in 16-bit lanes (x / 255 is (x + 1 + (x >> 8)) >> 8 for any x below 65535): this is most of what the
// clip costs beyond decoding and encoding.
using Bytes = uint8_t __attribute__((vector_size(16)));
using Words = uint16_t __attribute__((vector_size(32)));

template <unsigned scale, unsigned offset> uint8_t narrowed(unsigned level) {
    const unsigned x = level * scale + offset;
    return uint8_t((x + 1 + (x >> 8)) >> 8);
}

template <unsigned scale, unsigned offset>
void narrow(const uint8_t* from, int fromStride, uint8_t* to, int toStride, int width, int height) {
    constexpr int block = 16;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = from + ptrdiff_t(y) * fromStride;
        uint8_t* out = to + ptrdiff_t(y) * toStride;
        int x = 0;
        for (; x + block <= width; x += block) {
            Bytes bytes;
            std::memcpy(&bytes, in + x, sizeof bytes);
            Words words = __builtin_convertvector(bytes, Words) * uint16_t(scale) + uint16_t(offset);
            words = (words + 1 + (words >> 8)) >> 8;
            bytes = __builtin_convertvector(words, Bytes);
            std::memcpy(out + x, &bytes, sizeof bytes);
        }
        for (; x < width; ++x)
            out[x] = narrowed<scale, offset>(in[x]);
    }
}
constexpr unsigned lumaScale = 219, lumaOffset = 16 * 255 + 127;
constexpr unsigned chromaScale = 224, chromaOffset = 128 * (255 - 224) + 127;

// Puts the decoded JPEG `in` into `out` (yuv420p, the same size) in the video range.
bool toVideoRange(const AVFrame* in, AVFrame* out) {
    const int size = in->width;
    const int half = (size + 1) / 2;
    const auto format = AVPixelFormat(in->format);
    if (format == AV_PIX_FMT_YUVJ420P) {
        narrow<lumaScale, lumaOffset>(in->data[0], in->linesize[0], out->data[0], out->linesize[0], size,
                                      size);
        for (int plane = 1; plane < 3; ++plane)
            narrow<chromaScale, chromaOffset>(in->data[plane], in->linesize[plane], out->data[plane],
                                              out->linesize[plane], half, half);
        return true;
    }
    if (format == AV_PIX_FMT_GRAY8) {
        narrow<lumaScale, lumaOffset>(in->data[0], in->linesize[0], out->data[0], out->linesize[0], size,
                                      size);
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < half; ++y)
                std::memset(out->data[plane] + ptrdiff_t(y) * out->linesize[plane], 128, size_t(half));
        return true;
    }
    // Other subsamplings (4:4:4, 4:2:2): swscale resamples the chroma, from the full range.
    SwsContext* scaler = sws_getContext(size, size, format, size, size, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                        nullptr, nullptr, nullptr);
    if (!scaler) return false;
    const int* matrix = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler, matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
    sws_scale(scaler, in->data, in->linesize, 0, size, out->data, out->linesize);
    sws_freeContext(scaler);
    return true;
}

} // namespace

struct ClipPictureDecoder::State {
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> codec{
        nullptr, [](AVCodecContext* c) { avcodec_free_context(&c); }};
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet{av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); }};
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> decoded{av_frame_alloc(), freeFrame};
    // The last picture made: its memory is used again once no one else holds it.
    std::shared_ptr<AVFrame> last;

    bool open() {
        if (codec) return true;
        const AVCodec* mjpeg = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        if (!mjpeg || !packet || !decoded) return false;
        quietLog();
        codec.reset(avcodec_alloc_context3(mjpeg));
        if (!codec) return false;
        // One picture at a time: the clip's frames are decoded one after another on this thread.
        codec->thread_count = 1;
        if (avcodec_open2(codec.get(), mjpeg, nullptr) >= 0) return true;
        codec.reset();
        return false;
    }

    bool decode(const QByteArray& bytes) {
        av_frame_unref(decoded.get());
        if (av_new_packet(packet.get(), int(bytes.size())) < 0) return false;
        std::memcpy(packet->data, bytes.constData(), size_t(bytes.size()));
        int result = avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        if (result >= 0) result = avcodec_receive_frame(codec.get(), decoded.get());
        if (result == AVERROR(EAGAIN)) {
            // A decoder that holds its picture back gives it when drained, and must then start afresh.
            result = avcodec_send_packet(codec.get(), nullptr);
            if (result >= 0) result = avcodec_receive_frame(codec.get(), decoded.get());
            avcodec_flush_buffers(codec.get());
        }
        return result >= 0;
    }

    std::shared_ptr<AVFrame> blank(int size) {
        if (last && last.use_count() == 1 && av_frame_is_writable(last.get())) return last;
        std::shared_ptr<AVFrame> frame(av_frame_alloc(), freeFrame);
        if (!frame) return {};
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = size;
        frame->height = size;
        if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
        return frame;
    }
};

ClipPictureDecoder::ClipPictureDecoder() : state_(std::make_unique<State>()) {}
ClipPictureDecoder::~ClipPictureDecoder() = default;

ClipPicture ClipPictureDecoder::decode(const QString& path, int size) {
    ClipPicture picture;
    State& s = *state_;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return picture;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty() || !s.open() || !s.decode(bytes)) return picture;
    if (s.decoded->width != size || s.decoded->height != size) return picture;
    if (s.last && (s.last->width != size || s.last->height != size)) s.last.reset();
    std::shared_ptr<AVFrame> out = s.blank(size);
    if (!out || !toVideoRange(s.decoded.get(), out.get())) return picture;
    s.last = out;
    picture.frame_ = std::move(out);
    return picture;
}

struct ClipEncoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int size = 0;
    int64_t next = 0;
    QString writeFailure;

    QString failed(const QString& what, int code) {
        if (writeFailure.isEmpty()) writeFailure = systemFailure(code);
        return what + avError(code);
    }

    ~State() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    // Sends one frame (nullptr flushes) and writes every packet the encoder gives back.
    bool send(AVFrame* picture, QString& error) {
        int result = avcodec_send_frame(codec, picture);
        if (result < 0) {
            error = QStringLiteral("the encoder refused a frame: ") + avError(result);
            return false;
        }
        for (;;) {
            result = avcodec_receive_packet(codec, packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
            if (result < 0) {
                error = QStringLiteral("the encoder failed: ") + avError(result);
                return false;
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(format, packet);
            if (result < 0) {
                error = failed(QStringLiteral("could not write the clip: "), result);
                return false;
            }
        }
    }
};

ClipEncoder::ClipEncoder() = default;
ClipEncoder::~ClipEncoder() = default;

bool ClipEncoder::open(const QString& path, int size, int framesPerSecond, const QString& comment,
                       QString& error) {
    quietLog();
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.size = size;
    const QByteArray file = path.toUtf8();
    if (avformat_alloc_output_context2(&s.format, nullptr, "mp4", file.constData()) < 0 || !s.format) {
        error = QStringLiteral("no MP4 writer");
        return false;
    }
    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    if (!h264) h264 = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!h264) {
        error = QStringLiteral("no H.264 encoder in this FFmpeg");
        return false;
    }
    s.codec = avcodec_alloc_context3(h264);
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.codec || !s.frame || !s.packet) {
        error = QStringLiteral("out of memory");
        return false;
    }
    s.codec->width = size;
    s.codec->height = size;
    s.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    s.codec->time_base = AVRational{1, framesPerSecond};
    s.codec->framerate = AVRational{framesPerSecond, 1};
    s.codec->sample_aspect_ratio = AVRational{1, 1};
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(s.codec->priv_data, "preset", "veryfast", 0);
    av_opt_set(s.codec->priv_data, "crf", "20", 0);
    int result = avcodec_open2(s.codec, h264, nullptr);
    if (result < 0) {
        error = QStringLiteral("could not start the encoder: ") + avError(result);
        return false;
    }
    s.stream = avformat_new_stream(s.format, nullptr);
    if (!s.stream || avcodec_parameters_from_context(s.stream->codecpar, s.codec) < 0) {
        error = QStringLiteral("could not add the video stream");
        return false;
    }
    s.stream->time_base = s.codec->time_base;
    s.stream->avg_frame_rate = s.codec->framerate;
    if (!comment.isEmpty()) av_dict_set(&s.format->metadata, "comment", comment.toUtf8().constData(), 0);
    result = avio_open(&s.format->pb, file.constData(), AVIO_FLAG_WRITE);
    if (result < 0) {
        error = s.failed(QStringLiteral("could not create ") + path + QStringLiteral(": "), result);
        return false;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    result = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = s.failed(QStringLiteral("could not start the clip: "), result);
        return false;
    }
    s.frame->format = AV_PIX_FMT_YUV420P;
    s.frame->width = size;
    s.frame->height = size;
    if (av_frame_get_buffer(s.frame, 0) < 0) {
        error = QStringLiteral("out of memory");
        return false;
    }
    return true;
}

bool ClipEncoder::add(const QImage& picture, QString& error) {
    if (!state_ || !state_->codec) {
        error = QStringLiteral("the clip is not open");
        return false;
    }
    State& s = *state_;
    QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.width() != s.size || rgb.height() != s.size)
        rgb = rgb.scaled(s.size, s.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    s.scaler = sws_getCachedContext(s.scaler, s.size, s.size, AV_PIX_FMT_BGRA, s.size, s.size,
                                    AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    // The encoder may still hold the previous picture's buffer as a reference.
    if (!s.scaler || av_frame_make_writable(s.frame) < 0) {
        error = QStringLiteral("could not convert the frame");
        return false;
    }
    const uint8_t* source[1] = {rgb.constBits()};
    const int stride[1] = {int(rgb.bytesPerLine())};
    sws_scale(s.scaler, source, stride, 0, s.size, s.frame->data, s.frame->linesize);
    s.frame->pts = s.next++;
    return s.send(s.frame, error);
}

bool ClipEncoder::add(const ClipPicture& picture, QString& error) {
    if (!state_ || !state_->codec) {
        error = QStringLiteral("the clip is not open");
        return false;
    }
    State& s = *state_;
    if (picture.isNull() || picture.frame_->width != s.size || picture.frame_->height != s.size) {
        error = QStringLiteral("the picture does not fit the clip");
        return false;
    }
    // The encoder keeps its own reference: a picture repeated over several slots is never copied.
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), freeFrame);
    if (!frame || av_frame_ref(frame.get(), picture.frame_.get()) < 0) {
        error = QStringLiteral("out of memory");
        return false;
    }
    frame->pts = s.next++;
    return s.send(frame.get(), error);
}

bool ClipEncoder::finish(QString& error) {
    if (!state_ || !state_->codec) {
        error = QStringLiteral("the clip is not open");
        return false;
    }
    State& s = *state_;
    if (!s.send(nullptr, error)) return false;
    int result = av_write_trailer(s.format);
    if (result < 0) {
        error = s.failed(QStringLiteral("could not finish the clip: "), result);
        return false;
    }
    result = avio_closep(&s.format->pb);
    if (result < 0) {
        error = s.failed(QStringLiteral("could not close the clip: "), result);
        return false;
    }
    return true;
}

QString ClipEncoder::writeFailure() const {
    return state_ ? state_->writeFailure : QString();
}

bool ClipEncoder::join(const QStringList& parts, const QString& path, const QString& comment, QString& error,
                       QString& writeFailure) {
    quietLog();
    auto fail = [&](const QString& what, int code = 0) {
        error = code < 0 ? what + avError(code) : what;
        if (code < 0 && writeFailure.isEmpty()) writeFailure = systemFailure(code);
        return false;
    };
    if (parts.isEmpty()) return fail(QStringLiteral("nothing to join"));
    Output out;
    AVStream* stream = nullptr;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    if (!packet) return fail(QStringLiteral("out of memory"));
    const QByteArray file = path.toUtf8();
    // Each part's times start again at zero: they follow on from where the one before ended. A part's
    // decoding times may start below zero and a one-frame part may carry no duration, so a part is also
    // moved past the last decoding time written: the writer refuses times that do not increase.
    int64_t offset = 0;
    int64_t lastDts = AV_NOPTS_VALUE;
    for (const QString& part : parts) {
        Input in;
        int result = avformat_open_input(&in.format, part.toUtf8().constData(), nullptr, nullptr);
        if (result >= 0) result = avformat_find_stream_info(in.format, nullptr);
        if (result < 0) return fail(QStringLiteral("could not read ") + part + QStringLiteral(": "), result);
        const int index = av_find_best_stream(in.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (index < 0) return fail(QStringLiteral("no video in ") + part);
        const AVStream* source = in.format->streams[index];
        if (!stream) {
            if (avformat_alloc_output_context2(&out.format, nullptr, "mp4", file.constData()) < 0 ||
                !out.format)
                return fail(QStringLiteral("no MP4 writer"));
            stream = avformat_new_stream(out.format, nullptr);
            if (!stream || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0)
                return fail(QStringLiteral("could not add the video stream"));
            stream->codecpar->codec_tag = 0;
            stream->time_base = source->time_base;
            stream->avg_frame_rate = source->avg_frame_rate;
            if (!comment.isEmpty())
                av_dict_set(&out.format->metadata, "comment", comment.toUtf8().constData(), 0);
            result = avio_open(&out.format->pb, file.constData(), AVIO_FLAG_WRITE);
            if (result < 0)
                return fail(QStringLiteral("could not create ") + path + QStringLiteral(": "), result);
            AVDictionary* options = nullptr;
            av_dict_set(&options, "movflags", "+faststart", 0);
            result = avformat_write_header(out.format, &options);
            av_dict_free(&options);
            if (result < 0) return fail(QStringLiteral("could not start the clip: "), result);
        } else if (source->codecpar->codec_id != stream->codecpar->codec_id ||
                   source->codecpar->width != stream->codecpar->width ||
                   source->codecpar->height != stream->codecpar->height) {
            return fail(part + QStringLiteral(" does not match the parts before it"));
        }
        const int64_t frame =
            source->avg_frame_rate.num > 0
                ? std::max<int64_t>(1, av_rescale_q(1, av_inv_q(source->avg_frame_rate), stream->time_base))
                : 1;
        int64_t end = offset;
        bool first = true;
        while (av_read_frame(in.format, packet.get()) >= 0) {
            if (packet->stream_index != index) {
                av_packet_unref(packet.get());
                continue;
            }
            av_packet_rescale_ts(packet.get(), source->time_base, stream->time_base);
            if (packet->duration <= 0) packet->duration = frame;
            if (first && packet->dts != AV_NOPTS_VALUE && lastDts != AV_NOPTS_VALUE &&
                packet->dts + offset <= lastDts)
                offset = lastDts + 1 - packet->dts;
            first = false;
            if (packet->pts != AV_NOPTS_VALUE) packet->pts += offset;
            if (packet->dts != AV_NOPTS_VALUE) lastDts = packet->dts += offset;
            if (packet->pts != AV_NOPTS_VALUE) end = std::max(end, packet->pts + packet->duration);
            packet->stream_index = stream->index;
            packet->pos = -1;
            result = av_interleaved_write_frame(out.format, packet.get());
            if (result < 0) return fail(QStringLiteral("could not write the clip: "), result);
        }
        offset = end;
    }
    int result = av_write_trailer(out.format);
    if (result < 0) return fail(QStringLiteral("could not finish the clip: "), result);
    result = avio_closep(&out.format->pb);
    if (result < 0) return fail(QStringLiteral("could not close the clip: "), result);
    return true;
}
