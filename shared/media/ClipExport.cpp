#include "ClipExport.h"

#include "AvSideData.h"
#include "Decoder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

// Owns the contexts of one remux so every exit path frees them.
struct Remux {
    AVFormatContext* input = nullptr;
    AVFormatContext* output = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVDictionary* options = nullptr;
    ~Remux() {
        av_dict_free(&options);
        av_packet_free(&packet);
        if (output) {
            if (output->pb) avio_closep(&output->pb);
            avformat_free_context(output);
        }
        avformat_close_input(&input);
    }
};

bool copyStreams(Remux& job, std::vector<int>& mapping) {
    mapping.assign(job.input->nb_streams, -1);
    int next = 0;
    for (unsigned i = 0; i < job.input->nb_streams; ++i) {
        const AVStream* in = job.input->streams[i];
        const AVMediaType type = in->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
        if (in->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        AVStream* out = avformat_new_stream(job.output, nullptr);
        if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) return false;
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        out->disposition = in->disposition;
        // The display matrix travels as side data; without it a turned clip would play sideways.
        if (!compat::copyStreamSideData(in, out)) return false;
        mapping[i] = next++;
    }
    return next > 0;
}

bool writeAll(Remux& job, const std::vector<int>& mapping, QString* error) {
    for (;;) {
        int result = av_read_frame(job.input, job.packet);
        if (result == AVERROR_EOF) break;
        if (result < 0) {
            setError(error, QStringLiteral("cannot read the clip: %1").arg(mediaError(result)));
            return false;
        }
        const int index = job.packet->stream_index;
        if (index < 0 || index >= int(mapping.size()) || mapping[size_t(index)] < 0) {
            av_packet_unref(job.packet);
            continue;
        }
        AVStream* out = job.output->streams[mapping[size_t(index)]];
        av_packet_rescale_ts(job.packet, job.input->streams[index]->time_base, out->time_base);
        job.packet->stream_index = out->index;
        job.packet->pos = -1;
        result = av_interleaved_write_frame(job.output, job.packet);
        av_packet_unref(job.packet);
        if (result < 0) {
            setError(error, QStringLiteral("cannot write the clip: %1").arg(mediaError(result)));
            return false;
        }
    }
    const int result = av_write_trailer(job.output);
    if (result < 0) {
        setError(error, QStringLiteral("cannot write the clip: %1").arg(mediaError(result)));
        return false;
    }
    return true;
}

bool remuxInto(const QString& source, const QString& temporary, const QList<ClipExport::MetadataItem>& items,
               QString* error) {
    quietMediaLibrary();
    Remux job;
    if (!job.packet) return false;
    const QByteArray in = source.toUtf8();
    int result = avformat_open_input(&job.input, in.constData(), nullptr, nullptr);
    if (result < 0) {
        job.input = nullptr;
        setError(error, QStringLiteral("cannot open %1: %2").arg(source, mediaError(result)));
        return false;
    }
    result = avformat_find_stream_info(job.input, nullptr);
    if (result < 0) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(source, mediaError(result)));
        return false;
    }
    const QByteArray out = temporary.toUtf8();
    result = avformat_alloc_output_context2(&job.output, nullptr, "mp4", out.constData());
    if (result < 0 || !job.output) {
        setError(error, QStringLiteral("cannot make an MP4 file: %1").arg(mediaError(result)));
        return false;
    }
    std::vector<int> mapping;
    if (!copyStreams(job, mapping)) {
        setError(error, QStringLiteral("no video track in %1").arg(source));
        return false;
    }
    for (const auto& item : items)
        av_dict_set(&job.output->metadata, item.key.toUtf8().constData(), item.value.toUtf8().constData(), 0);
    // Named metadata keys rather than the fixed iTunes atoms: the atoms have no place for a subject.
    av_dict_set(&job.options, "movflags", "use_metadata_tags", 0);
    result = avio_open(&job.output->pb, out.constData(), AVIO_FLAG_WRITE);
    if (result < 0) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(temporary, mediaError(result)));
        return false;
    }
    result = avformat_write_header(job.output, &job.options);
    if (result < 0) {
        setError(error, QStringLiteral("cannot write the clip: %1").arg(mediaError(result)));
        return false;
    }
    if (!writeAll(job, mapping, error)) return false;
    result = avio_closep(&job.output->pb);
    if (result < 0) {
        setError(error, QStringLiteral("cannot write the clip: %1").arg(mediaError(result)));
        return false;
    }
    return true;
}

// The process's umask, read without changing it (umask() would, for a moment, for every thread).
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) return mode_t(mask & 0777);
            }
    return 022;
}

} // namespace

bool ClipExport::remux(const QString& source, const QString& destination, const QList<MetadataItem>& items,
                       QString* error) {
    const QFileInfo target(destination);
    QTemporaryFile reserve(
        target.absoluteDir().filePath(QStringLiteral(".") + target.fileName() + QStringLiteral(".XXXXXX")));
    if (!reserve.open()) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(destination, reserve.errorString()));
        return false;
    }
    reserve.close();
    const QString temporary = reserve.fileName();
    if (!remuxInto(source, temporary, items, error)) return false;
    // The reservation is private (0600); the clip takes the mode of the file it replaces, or that of
    // any new file (0666 less the umask).
    const QByteArray temporaryName = QFile::encodeName(temporary);
    struct stat old {};
    const mode_t mode = ::stat(QFile::encodeName(destination).constData(), &old) == 0
                            ? (old.st_mode & 07777)
                            : (0666 & ~currentUmask());
    ::chmod(temporaryName.constData(), mode);
    // rename() swaps the finished file in over any old one in one step.
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(destination).constData()) !=
        0) {
        setError(
            error,
            QStringLiteral("cannot write %1: %2").arg(destination, QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    reserve.setAutoRemove(false);
    return true;
}
