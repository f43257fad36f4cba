#include "Decoder.h"

#include "AvFrame.h"
#include "AvSideData.h"
#include "FramePool.h"

#include <cmath>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

QString mediaError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

void quietMediaLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

namespace {

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

// The display matrix says how far the picture is turned counter-clockwise; we want the clockwise turn that
// puts it upright, snapped to a quarter turn.
int uprightRotation(const AVStream* stream) {
    const int32_t* matrix = compat::displayMatrix(stream);
    if (!matrix) return 0;
    const double theta = av_display_rotation_get(matrix);
    if (!std::isfinite(theta)) return 0;
    const long quarter = std::lround(-theta / 90.0);
    return int(((quarter % 4) + 4) % 4) * 90;
}

// An MP4 file's header already names the codec, the picture size and the frame timing; probing the stream
// on top of that decodes frames only to learn the same, which is most of the cost of a one-frame grab.
bool describedByContainer(const AVFormatContext* format) {
    if (!format->iformat || !QByteArray(format->iformat->name).contains("mp4")) return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        if (parameters->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (parameters->codec_id == AV_CODEC_ID_NONE || parameters->width <= 0 || parameters->height <= 0 ||
            stream->avg_frame_rate.num <= 0 || stream->avg_frame_rate.den <= 0)
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<Decoder> Decoder::open(const QString& path, Threads threads, QString* error) {
    quietMediaLibrary();
    std::unique_ptr<Decoder> decoder(new Decoder);
    const QByteArray file = path.toUtf8();
    int result = avformat_open_input(&decoder->format_, file.constData(), nullptr, nullptr);
    if (result < 0) {
        decoder->format_ = nullptr;
        setError(error, QStringLiteral("cannot open %1: %2").arg(path, mediaError(result)));
        return nullptr;
    }
    if (!describedByContainer(decoder->format_)) {
        result = avformat_find_stream_info(decoder->format_, nullptr);
        if (result < 0) {
            setError(error, QStringLiteral("cannot read %1: %2").arg(path, mediaError(result)));
            return nullptr;
        }
    }
    const AVCodec* codec = nullptr;
    decoder->stream_ = av_find_best_stream(decoder->format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (decoder->stream_ < 0 || !codec) {
        setError(error, QStringLiteral("no video track in %1").arg(path));
        return nullptr;
    }
    for (unsigned i = 0; i < decoder->format_->nb_streams; ++i)
        if (int(i) != decoder->stream_) decoder->format_->streams[i]->discard = AVDISCARD_ALL;

    AVStream* stream = decoder->format_->streams[decoder->stream_];
    decoder->codec_ = avcodec_alloc_context3(codec);
    if (!decoder->codec_ || avcodec_parameters_to_context(decoder->codec_, stream->codecpar) < 0) {
        setError(error, QStringLiteral("cannot decode %1").arg(path));
        return nullptr;
    }
    decoder->codec_->thread_count = threads == Threads::single ? 1 : 0;
    decoder->codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    decoder->framePool_ = FramePool::use();
    decoder->codec_->get_buffer2 = FramePool::getBuffer;
    result = avcodec_open2(decoder->codec_, codec, nullptr);
    if (result < 0) {
        setError(error, QStringLiteral("cannot decode %1: %2").arg(path, mediaError(result)));
        return nullptr;
    }
    decoder->frame_ = av_frame_alloc();
    decoder->packet_ = av_packet_alloc();
    if (!decoder->frame_ || !decoder->packet_) {
        setError(error, QStringLiteral("out of memory"));
        return nullptr;
    }

    decoder->tbNum_ = stream->time_base.num;
    decoder->tbDen_ = stream->time_base.den;
    if (decoder->tbNum_ <= 0 || decoder->tbDen_ <= 0) {
        setError(error, QStringLiteral("no time base in %1").arg(path));
        return nullptr;
    }
    decoder->startTicks_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        decoder->duration_ = double(stream->duration) * decoder->tbNum_ / decoder->tbDen_;
    else if (decoder->format_->duration != AV_NOPTS_VALUE && decoder->format_->duration > 0)
        decoder->duration_ = double(decoder->format_->duration) / AV_TIME_BASE;
    const AVRational rate = av_guess_frame_rate(decoder->format_, stream, nullptr);
    if (rate.num > 0 && rate.den > 0) {
        decoder->frameRate_ = av_q2d(rate);
        decoder->defaultFrameTicks_ =
            std::llround(double(decoder->tbDen_) / (double(decoder->tbNum_) * decoder->frameRate_));
    }
    if (stream->nb_frames > 0 && stream->nb_frames < (1 << 30)) decoder->frameCount_ = int(stream->nb_frames);
    decoder->rotation_ = uprightRotation(stream);
    return decoder;
}

Decoder::~Decoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

QSize Decoder::codedSize() const {
    return QSize(codec_->width, codec_->height);
}

long long Decoder::ticks(double seconds) const {
    return std::llround(seconds * tbDen_ / tbNum_) + startTicks_;
}

double Decoder::seconds(long long ticks) const {
    return double(ticks - startTicks_) * tbNum_ / tbDen_;
}

double Decoder::secondsOf(const AVFrame* frame) const {
    const int64_t pts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    return pts == AV_NOPTS_VALUE ? 0.0 : seconds(pts);
}

double Decoder::endSecondsOf(const AVFrame* frame) const {
    long long length = compat::frameDuration(frame);
    if (length <= 0) length = defaultFrameTicks_;
    return secondsOf(frame) + double(length) * tbNum_ / tbDen_;
}

bool Decoder::seekBefore(double seconds, QString* error) {
    const long long target = ticks(std::max(seconds, 0.0));
    int result = av_seek_frame(format_, stream_, target, AVSEEK_FLAG_BACKWARD);
    if (result < 0) result = av_seek_frame(format_, stream_, startTicks_, AVSEEK_FLAG_BACKWARD);
    if (result < 0) {
        setError(error, QStringLiteral("cannot seek: %1").arg(mediaError(result)));
        return false;
    }
    avcodec_flush_buffers(codec_);
    draining_ = false;
    return true;
}

bool Decoder::readPacket(QString* error, bool* ended) {
    for (;;) {
        const int result = av_read_frame(format_, packet_);
        if (result == AVERROR_EOF) {
            *ended = true;
            return true;
        }
        if (result < 0) {
            setError(error, QStringLiteral("cannot read the clip: %1").arg(mediaError(result)));
            return false;
        }
        if (packet_->stream_index == stream_) return true;
        av_packet_unref(packet_);
    }
}

Decoder::Step Decoder::step(QString* error, std::optional<double> skipBefore) {
    for (;;) {
        int result = avcodec_receive_frame(codec_, frame_);
        if (result == 0) return Step::frame;
        if (result == AVERROR_EOF) return Step::end;
        if (result != AVERROR(EAGAIN)) {
            setError(error, QStringLiteral("cannot decode a frame: %1").arg(mediaError(result)));
            return Step::failed;
        }
        if (draining_) return Step::end;
        bool ended = false;
        if (!readPacket(error, &ended)) return Step::failed;
        if (ended) {
            draining_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        // A frame that ends before the wanted time and that no other frame refers to need not be decoded.
        bool unneeded = false;
        if (skipBefore && packet_->pts != AV_NOPTS_VALUE) {
            const long long length = packet_->duration > 0 ? packet_->duration : defaultFrameTicks_;
            unneeded = packet_->pts + length <= ticks(*skipBefore);
        }
        codec_->skip_frame = unneeded ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        result = avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
        // A damaged packet costs one picture, not the clip; the decoder resynchronises by itself.
        if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_INVALIDDATA) {
            setError(error, QStringLiteral("cannot decode the clip: %1").arg(mediaError(result)));
            return Step::failed;
        }
    }
}
