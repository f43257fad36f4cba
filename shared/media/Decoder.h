#pragma once
// Internal to this module: one clip's video stream opened for decoding, in presentation order. Not
// thread-safe; each grabber and each player owns its own. FFmpeg types stay out of the public headers.

#include <QSize>
#include <QString>
#include <memory>
#include <optional>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

class Decoder {
public:
    enum class Threads { single, automatic };
    enum class Step { frame, end, failed };

    // Opens the first video stream of a file; nothing (with the reason in `error`) when it cannot.
    static std::unique_ptr<Decoder> open(const QString& path, Threads threads, QString* error);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    double durationSeconds() const { return duration_; }
    QSize codedSize() const;
    int rotationDegrees() const { return rotation_; } // clockwise, to apply for display: 0, 90, 180, 270
    std::optional<int> frameCount() const { return frameCount_; }
    double frameRate() const { return frameRate_; }

    // Goes to the key frame at or before `seconds`; the next `step` decodes from there.
    bool seekBefore(double seconds, QString* error);
    // Decodes the next frame. Frames whose span ends at or before `skipBefore` seconds are not needed
    // by the caller, so they may be dropped cheaply when nothing else refers to them.
    Step step(QString* error, std::optional<double> skipBefore = std::nullopt);

    // The last decoded frame, and its presentation span in clip seconds (0 = the first frame's start).
    AVFrame* frame() const { return frame_; }
    double frameSeconds() const { return secondsOf(frame_); }
    double frameEndSeconds() const { return endSecondsOf(frame_); }
    // The same for a frame taken from this decoder earlier.
    double secondsOf(const AVFrame* frame) const;
    double endSecondsOf(const AVFrame* frame) const;
    // Clip seconds to the stream's ticks and back, rounded to the nearest tick.
    long long ticks(double seconds) const;
    double seconds(long long ticks) const;

private:
    Decoder() = default;
    bool readPacket(QString* error, bool* ended);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    std::shared_ptr<void> framePool_; // the frame buffers' pools, kept while this decoder lives
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
    long long startTicks_ = 0;
    long long defaultFrameTicks_ = 0;
    int tbNum_ = 1, tbDen_ = 1;
    double duration_ = 0;
    double frameRate_ = 0;
    int rotation_ = 0;
    std::optional<int> frameCount_;
    bool draining_ = false;
};

// An FFmpeg error code in words.
QString mediaError(int code);

// FFmpeg's own console chatter is silenced once per process: our failures are reported through `log`.
void quietMediaLibrary();
