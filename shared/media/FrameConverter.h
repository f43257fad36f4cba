#pragma once
// Decoded frames to upright sRGB pictures, scaled on the way, or written straight into pixels someone shows
// (a wall writes a player's frames into its window). Keeps its scaler between calls; not thread-safe, one
// per thread that converts.

#include <QImage>
#include <QSize>
#include <memory>
#include <vector>

struct AVFrame;
struct SwsContext;

class FrameConverter {
public:
    enum class Use {
        still,   // a picture looked at closely or saved: chroma interpolated between lines, exact rounding
        playback // frames shown for a moment: the scaler's SIMD paths; at the clip's own size each chroma
                 // line serves two rows as it stands (on solar imagery under one level apart on average)
    };

    explicit FrameConverter(Use use = Use::still);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // The frame as an upright RGB32 picture tagged sRGB, fitted inside `bound` (aspect kept) when `bound`
    // is valid, else at its own size. A null image when the frame cannot be converted.
    QImage convert(const AVFrame* frame, int rotationDegrees, QSize bound);
    // Writes the frame, as stored (no rotation) and scaled to `size`, as 32-bit BGRA (alpha 255) into
    // `bits`, whose rows lie `stride` bytes apart and have room for `size`. The same pixels convert()
    // gives for that size. False when the frame cannot be converted.
    bool write(const AVFrame* frame, QSize size, uchar* bits, qsizetype stride);

    // The size a picture of `size` takes when fitted inside `bound` (aspect kept, at least 1 x 1).
    static QSize fitted(QSize size, QSize bound);

private:
    struct Pool;
    // For playback at another size: a 4:2:0 frame scaled to `size` as 4:2:2, which the scaler then turns
    // into BGRA on its fast same-size path. Nothing when that path does not apply.
    const AVFrame* scaledInYuv(const AVFrame* frame, QSize size);
    // A picture of `size` to write into: for playback one of the few the players made that nobody holds
    // any more, so a frame, or the first frames of the next clip, cost no fresh pages for the kernel to
    // map and clear.
    QImage canvas(QSize size);

    Use use_;
    SwsContext* scaler_ = nullptr;
    SwsContext* resizer_ = nullptr; // the frame to `resized_`, for playback at another size
    AVFrame* resized_ = nullptr;
    SwsContext* tailScaler_ = nullptr; // the last pixels of each row, when the width is not whole runs
    std::vector<uchar> spare_;         // where those, or a whole frame of such a width, are written first
    std::shared_ptr<Pool> pool_;       // shared by the playback converters alive, gone with the last
};
