#include "ClipEncoder.h"

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

} // namespace

struct ClipEncoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int size = 0;
    int64_t next = 0;

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
                error = QStringLiteral("could not write the clip: ") + avError(result);
                return false;
            }
        }
    }
};

ClipEncoder::ClipEncoder() = default;
ClipEncoder::~ClipEncoder() = default;

bool ClipEncoder::open(const QString& path, int size, int framesPerSecond, const QString& comment,
                       QString& error) {
    // The encoder's statistics are not for the log.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
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
        error = QStringLiteral("could not create ") + path + QStringLiteral(": ") + avError(result);
        return false;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    result = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = QStringLiteral("could not start the clip: ") + avError(result);
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

bool ClipEncoder::finish(QString& error) {
    if (!state_ || !state_->codec) {
        error = QStringLiteral("the clip is not open");
        return false;
    }
    State& s = *state_;
    if (!s.send(nullptr, error)) return false;
    const int result = av_write_trailer(s.format);
    if (result < 0) {
        error = QStringLiteral("could not finish the clip: ") + avError(result);
        return false;
    }
    if (avio_closep(&s.format->pb) < 0) {
        error = QStringLiteral("could not close the clip");
        return false;
    }
    return true;
}
