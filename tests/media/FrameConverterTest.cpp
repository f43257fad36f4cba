#include "FrameConverter.h"

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

using FramePtr = std::unique_ptr<AVFrame, void (*)(AVFrame*)>;

// A 4:2:0 frame with what solar clips have: a bright disc with a sharp limb, fine detail in brightness
// and a tint that follows it.
FramePtr discFrame(int width, int height, AVPixelFormat format) {
    FramePtr frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return {nullptr, [](AVFrame*) {}};
    const double radius = 0.4 * std::min(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool disc = std::hypot(x - width / 2.0, y - height / 2.0) < radius;
            const double detail = std::sin(x / 3.0) * std::cos(y / 4.0);
            frame->data[0][y * frame->linesize[0] + x] = uint8_t(disc ? 140 + 80 * detail : 20);
            if (x % 2 == 0 && y % 2 == 0) {
                frame->data[1][y / 2 * frame->linesize[1] + x / 2] = uint8_t(disc ? 90 - 20 * detail : 128);
                frame->data[2][y / 2 * frame->linesize[2] + x / 2] = uint8_t(disc ? 170 + 20 * detail : 128);
            }
        }
    return frame;
}

// A frame played at another size is written where it belongs, with the colours the frame's range and
// coefficients give, and looks as converting it for a still does. Each case would show a converter that
// touches pixels beside the target, takes the range or the coefficients from the wrong size, or drops
// the chroma between lines.
TEST(FrameConverterPlayback, WritesOnlyTheTargetAndLooksLikeTheStill) {
    struct Case {
        QSize from;
        AVPixelFormat format;
        QSize to;
    };
    const Case cases[] = {
        {{160, 96}, AV_PIX_FMT_YUV420P, {240, 144}},  // up
        {{160, 96}, AV_PIX_FMT_YUVJ420P, {240, 144}}, // full range
        {{160, 96}, AV_PIX_FMT_YUV420P, {1280, 768}}, // untagged: BT.601 for the clip's size, not 709
        {{160, 96}, AV_PIX_FMT_YUV420P, {120, 72}},   // down
        {{160, 96}, AV_PIX_FMT_YUV420P, {200, 120}},  // half a run left over at the end of a row
        {{160, 96}, AV_PIX_FMT_YUV420P, {190, 114}},  // not whole runs of any converter
    };
    constexpr int guard = 16;
    constexpr QRgb sentinel = 0x5a5a5a5a;
    FrameConverter playback(FrameConverter::Use::playback);
    FrameConverter still(FrameConverter::Use::still);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.width() << "x" << c.from.height() << " format " << c.format
                                        << " to " << c.to.width() << "x" << c.to.height());
        const FramePtr frame = discFrame(c.from.width(), c.from.height(), c.format);
        ASSERT_TRUE(frame);
        QImage canvas(c.to.width() + guard, c.to.height() + 1, QImage::Format_RGB32);
        std::memset(canvas.bits(), 0x5a, size_t(canvas.sizeInBytes())); // fill() would set alpha
        ASSERT_TRUE(playback.write(frame.get(), c.to, canvas.bits(), canvas.bytesPerLine()));
        const QImage expected = still.convert(frame.get(), 0, c.to);
        ASSERT_EQ(expected.size(), c.to);
        double sum = 0;
        int worst = 0;
        int untouched = 0;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x) {
                // Read as stored: pixel() would report alpha 255 for any RGB32 pixel.
                const QRgb got = reinterpret_cast<const QRgb*>(canvas.constScanLine(y))[x];
                if (x >= c.to.width() || y >= c.to.height()) {
                    untouched += got == sentinel;
                    continue;
                }
                ASSERT_EQ(qAlpha(got), 255) << x << "," << y;
                const QRgb want = expected.pixel(x, y);
                for (const int d :
                     {qRed(got) - qRed(want), qGreen(got) - qGreen(want), qBlue(got) - qBlue(want)}) {
                    sum += std::abs(d);
                    worst = std::max(worst, std::abs(d));
                }
            }
        EXPECT_EQ(untouched, canvas.width() * canvas.height() - c.to.width() * c.to.height());
        EXPECT_LE(sum / (3.0 * c.to.width() * c.to.height()), 1.0);
        EXPECT_LE(worst, 8);
    }
}

} // namespace
