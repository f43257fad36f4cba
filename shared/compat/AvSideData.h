#pragma once
// Stream side data (the display matrix among it) moved in FFmpeg 6.1 (libavcodec 60.30) from the stream to
// its codec parameters (codecpar->coded_side_data), and the stream's accessors were deprecated; FFmpeg 7.1
// demuxers leave the stream's copy empty.

#include <cstdint>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#define SOLVANE_AV_CODED_SIDE_DATA (LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100))

namespace compat {

// The stream's display matrix (nine 32-bit values), or null when it has none.
inline const int32_t* displayMatrix(const AVStream* stream) {
    constexpr size_t matrixBytes = 9 * sizeof(int32_t);
#if SOLVANE_AV_CODED_SIDE_DATA
    const AVCodecParameters* parameters = stream->codecpar;
    const AVPacketSideData* side = av_packet_side_data_get(
        parameters->coded_side_data, parameters->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    if (!side || side->size < matrixBytes) return nullptr;
    return reinterpret_cast<const int32_t*>(side->data);
#else
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < matrixBytes) return nullptr;
    return reinterpret_cast<const int32_t*>(matrix);
#endif
}

// Gives `out` the stream-level side data of `in`, after avcodec_parameters_copy(out->codecpar, in->codecpar);
// false when memory ran out. Where the side data lives in the codec parameters, that copy carried it already.
inline bool copyStreamSideData([[maybe_unused]] const AVStream* in, [[maybe_unused]] AVStream* out) {
#if SOLVANE_AV_CODED_SIDE_DATA
    return true;
#else
    for (int s = 0; s < in->nb_side_data; ++s) {
        const AVPacketSideData& side = in->side_data[s];
        uint8_t* copy = av_stream_new_side_data(out, side.type, side.size);
        if (!copy) return false;
        std::memcpy(copy, side.data, side.size);
    }
    return true;
#endif
}

} // namespace compat
